// The block store behind the host's LWSaveState and LWLoadState: instances write and read
// named blocks of typed values, kept as the text that scene files carry.
//
// The text form:
//   - a leaf block is one line, `{ Token v1 v2 ... }`;
//   - a block with inner blocks opens with `{ Token` on its own line, may carry values of its
//     own on that line (`{ Token v1 v2`), has its inner blocks indented two spaces further, and
//     closes with `}` on a line of its own at the block's indentation. A block opened as a
//     non-leaf keeps this form even when nothing is written inside it. Values written after an
//     inner block go on a line of their own at the inner indentation;
//   - signed integers are decimal; unsigned integers are hexadecimal, upper case without
//     leading zeros (an item id 0x10000003 is `10000003`), and read in either case with or
//     without leading zeros; doubles and floats are the shortest text that reads back to the same
//     value (`nan`, `inf`, `-inf` included);
//   - texts are in double quotes, without escapes: a text holds bytes 32 to 255 other than the
//     quote itself, and any other byte (a control character, a quote) is written as `_`.
// This is the form Layout's own writer gives a plug-in's data in a text scene, so that a state
// saved by Layout loads here and one saved here loads in Layout. A reader takes values in the
// order they stand in the text, whatever the line breaks.
//
// Writer and reader provide 4-byte integers, floats, doubles, texts and blocks; the byte, 2-byte,
// raw and identifier members hold stoppers (host/loader/unprovided.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sdk/lwio.h"

namespace tarrow::host {

class BlockWriter {
 public:
  explicit BlockWriter(int ioMode = LWIO_SCENE);
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;

  // The record handed to a module's save entry; it points back at this writer.
  const LWSaveState* state() noexcept { return &state_; }
  std::string text() const;
  // False once memory ran out while writing: the text then lacks what came after.
  bool complete() const noexcept { return !outOfMemory_; }
  int depth() const noexcept { return static_cast<int>(frames_.size()) - 1; }

 private:
  struct Frame {
    bool leaf;
    bool hasInner;  // an inner block was written, so the block closes on a line of its own
    bool lineOpen;  // the block's current line takes further values
  };

  template <typename Write>
  void guarded(Write&& write) noexcept;
  void beginValue();
  void beginBlock(const LWBlockIdent* ident, bool leaf);
  void endBlock();
  void writeString(const char* text);
  template <typename T>
  void writeNumbers(const T* values, int count);

  static LWSaveState record(int ioMode, BlockWriter* writer) noexcept;
  static void writeI4(void* data, const int* values, int count) noexcept;
  static void writeU4(void* data, const unsigned int* values, int count) noexcept;
  static void writeFP(void* data, const float* values, int count) noexcept;
  static void writeDP(void* data, const double* values, int count) noexcept;
  static void writeStr(void* data, const char* text) noexcept;
  static void beginBlk(void* data, const LWBlockIdent* ident, int leaf) noexcept;
  static void endBlk(void* data) noexcept;
  static int depthOf(void* data) noexcept;

  std::string out_;
  std::vector<Frame> frames_;  // the first frame is the text's top level, not a block
  bool outOfMemory_ = false;
  LWSaveState state_;
};

// Reads text in the form above. Malformed or truncated text never makes it read out of
// bounds or loop: a value that cannot be read leaves its destination unchanged and is not
// counted, a block cut off by the end of the text simply ends there. readStr returns the bytes
// it delivered (at most size - 1, then the terminator), or -1 with the buffer untouched when
// the next value is not a complete text; a text too long for the buffer is consumed whole.
//
// What the text held that a load could not take whole is noted for the host to report: a value
// of another kind than the one asked for, a block or text the text ends inside, and text outside
// any block or left after the load.
class BlockReader {
 public:
  enum class Flaw { WrongKind, NeverClosed, Stray };
  struct Problem {
    Flaw flaw;
    size_t offset;              // where in the text, from 0
    std::string word;           // the value or text found there, at most a few dozen bytes
    const char* expected = "";  // for WrongKind: what was asked for ("a hexadecimal number")
  };

  explicit BlockReader(std::string text, int ioMode = LWIO_SCENE);
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  // The record handed to a module's load entry; it points back at this reader.
  const LWLoadState* state() noexcept { return &state_; }
  int depth() const noexcept { return depth_; }
  // What is neither read nor skipped yet.
  std::string_view unread() const noexcept { return std::string_view(text_).substr(pos_); }
  // The first thing the text held that could not be taken whole, and how many there were.
  const std::optional<Problem>& firstProblem() const noexcept { return firstProblem_; }
  int problemCount() const noexcept { return problemCount_; }
  // The words readU4 met that were not unsigned hexadecimal numbers (the first few), so that the
  // host can tell an item id written in decimal from any other slip.
  const std::vector<Problem>& unsignedMisses() const noexcept { return unsignedMisses_; }
  // Notes text that is left once a load is over (the module stopped reading early).
  void noteLeftOver() noexcept;
  // "line 3, column 12" of an offset in the text.
  std::string placeOf(size_t offset) const;

 private:
  void skipSpace() noexcept;
  std::string_view wordAt(size_t at) const noexcept;
  std::string_view nextValueWord() noexcept;
  bool stringEnd(size_t& end) const noexcept;
  bool skipRestOfBlock() noexcept;
  void note(Flaw flaw, size_t offset, std::string_view word, const char* expected = "") noexcept;
  void noteWrongKind(const char* expected) noexcept;
  LWID findBlock(const LWBlockIdent* table) noexcept;
  void endBlock() noexcept;
  int readString(char* buffer, int size) noexcept;
  template <typename T>
  int readNumbers(T* values, int count, const char* expected) noexcept;
  int readUnsigned(unsigned int* values, int count) noexcept;

  static LWLoadState record(int ioMode, BlockReader* reader) noexcept;
  static int readI4(void* data, int* values, int count) noexcept;
  static int readU4(void* data, unsigned int* values, int count) noexcept;
  static int readFP(void* data, float* values, int count) noexcept;
  static int readDP(void* data, double* values, int count) noexcept;
  static int readStr(void* data, char* buffer, int size) noexcept;
  static LWID findBlk(void* data, const LWBlockIdent* table) noexcept;
  static void endBlk(void* data) noexcept;
  static int depthOf(void* data) noexcept;

  std::string text_;
  size_t pos_ = 0;
  int depth_ = 0;
  std::optional<Problem> firstProblem_;
  std::optional<std::pair<Flaw, size_t>> lastNoted_;
  int problemCount_ = 0;
  std::vector<Problem> unsignedMisses_;
  LWLoadState state_;
};

}  // namespace tarrow::host
