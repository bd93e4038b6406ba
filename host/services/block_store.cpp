#include "host/services/block_store.h"

#include <charconv>
#include <new>
#include <system_error>

#include "host/base/number_text.h"
#include "host/loader/unprovided.h"

namespace tarrow::host {
namespace {

constexpr size_t kIndentPerLevel = 2;

// Bytes that separate words; every other byte but braces and quotes may stand in a word.
bool isSpace(char c) noexcept { return static_cast<unsigned char>(c) <= 0x20; }
bool isWordByte(char c) noexcept { return !isSpace(c) && c != '{' && c != '}' && c != '"'; }

// A block's token as written: its text when that is a single word, otherwise (null, empty or
// holding separators) the block's identifier characters, so that the text stays well formed.
std::string tokenOf(const LWBlockIdent* ident) {
  std::string token = ident != nullptr && ident->token != nullptr ? ident->token : "";
  for (char& c : token) {
    if (!isWordByte(c)) c = '_';
  }
  if (!token.empty()) return token;
  const LWID id = ident != nullptr ? ident->id : 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((id >> shift) & 0xff);
    token += isWordByte(c) ? c : '_';
  }
  return token;
}

template <typename T>
bool parseNumber(std::string_view word, T& value) noexcept {
  const char* end = word.data() + word.size();
  const auto [stop, failure] = std::from_chars(word.data(), end, value);
  return failure == std::errc() && stop == end;
}

// Digits of either case, leading zeros or none; no sign and no "0x".
bool parseHex(std::string_view word, unsigned int& value) noexcept {
  const char* end = word.data() + word.size();
  const auto [stop, failure] = std::from_chars(word.data(), end, value, 16);
  return failure == std::errc() && stop == end;
}

// A text may hold only what its quotes can carry on one line.
char textByte(char c) noexcept {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || c == '"' ? '_' : c;
}

// What a problem shows of the text found: enough to recognise it.
constexpr size_t kShownBytes = 40;
constexpr const char* kUnsignedExpected = "an unsigned number in hexadecimal";
constexpr size_t kKeptUnsignedMisses = 8;

}  // namespace

// ---- writer ----

LWSaveState BlockWriter::record(int ioMode, BlockWriter* writer) noexcept {
  return LWSaveState{
      .ioMode = ioMode,
      .writeData = writer,
      .write = TARROW_UNPROVIDED(LWSaveState, write),
      .writeI1 = TARROW_UNPROVIDED(LWSaveState, writeI1),
      .writeI2 = TARROW_UNPROVIDED(LWSaveState, writeI2),
      .writeI4 = &writeI4,
      .writeU1 = TARROW_UNPROVIDED(LWSaveState, writeU1),
      .writeU2 = TARROW_UNPROVIDED(LWSaveState, writeU2),
      .writeU4 = &writeU4,
      .writeFP = &writeFP,
      .writeStr = &writeStr,
      .writeID = TARROW_UNPROVIDED(LWSaveState, writeID),
      .beginBlk = &beginBlk,
      .endBlk = &endBlk,
      .depth = &depthOf,
      .writeDP = &writeDP,
  };
}

BlockWriter::BlockWriter(int ioMode) : frames_{Frame{false, false, false}}, state_(record(ioMode, this)) {}

std::string BlockWriter::text() const { return frames_.front().lineOpen ? out_ + '\n' : out_; }

template <typename Write>
void BlockWriter::guarded(Write&& write) noexcept {
  if (outOfMemory_) return;  // a text with a hole in it would read back wrong; keep it cut short
  try {
    write();
  } catch (const std::bad_alloc&) {
    outOfMemory_ = true;
  }
}

void BlockWriter::beginValue() {
  Frame& frame = frames_.back();
  if (frame.lineOpen) {
    out_ += ' ';
  } else {
    out_.append(static_cast<size_t>(depth()) * kIndentPerLevel, ' ');
    frame.lineOpen = true;
  }
}

void BlockWriter::beginBlock(const LWBlockIdent* ident, bool leaf) {
  Frame& parent = frames_.back();
  if (parent.lineOpen) out_ += '\n';
  parent.lineOpen = false;
  parent.hasInner = true;
  out_.append(static_cast<size_t>(depth()) * kIndentPerLevel, ' ');
  out_ += "{ ";
  out_ += tokenOf(ident);
  frames_.push_back(Frame{leaf, false, true});
}

void BlockWriter::endBlock() {
  if (frames_.size() == 1) return;  // nothing open
  const Frame closing = frames_.back();
  frames_.pop_back();
  if (closing.leaf && !closing.hasInner) {
    out_ += " }\n";
    return;
  }
  if (closing.lineOpen) out_ += '\n';
  out_.append(static_cast<size_t>(depth()) * kIndentPerLevel, ' ');
  out_ += "}\n";
}

void BlockWriter::writeString(const char* text) {
  beginValue();
  out_ += '"';
  for (const char* c = text != nullptr ? text : ""; *c != '\0'; ++c) out_ += textByte(*c);
  out_ += '"';
}

template <typename T>
void BlockWriter::writeNumbers(const T* values, int count) {
  if (values == nullptr) return;
  for (int i = 0; i < count; ++i) {
    beginValue();
    appendNumber(out_, values[i]);
  }
}

void BlockWriter::writeI4(void* data, const int* values, int count) noexcept {
  auto* self = static_cast<BlockWriter*>(data);
  self->guarded([&] { self->writeNumbers(values, count); });
}
void BlockWriter::writeU4(void* data, const unsigned int* values, int count) noexcept {
  auto* self = static_cast<BlockWriter*>(data);
  self->guarded([&] {
    for (int i = 0; values != nullptr && i < count; ++i) {
      self->beginValue();
      self->out_ += hexDigits(values[i]);
    }
  });
}
void BlockWriter::writeFP(void* data, const float* values, int count) noexcept {
  auto* self = static_cast<BlockWriter*>(data);
  self->guarded([&] { self->writeNumbers(values, count); });
}
void BlockWriter::writeDP(void* data, const double* values, int count) noexcept {
  auto* self = static_cast<BlockWriter*>(data);
  self->guarded([&] { self->writeNumbers(values, count); });
}
void BlockWriter::writeStr(void* data, const char* text) noexcept {
  auto* self = static_cast<BlockWriter*>(data);
  self->guarded([&] { self->writeString(text); });
}
void BlockWriter::beginBlk(void* data, const LWBlockIdent* ident, int leaf) noexcept {
  auto* self = static_cast<BlockWriter*>(data);
  self->guarded([&] { self->beginBlock(ident, leaf != 0); });
}
void BlockWriter::endBlk(void* data) noexcept {
  auto* self = static_cast<BlockWriter*>(data);
  self->guarded([&] { self->endBlock(); });
}
int BlockWriter::depthOf(void* data) noexcept { return static_cast<BlockWriter*>(data)->depth(); }

// ---- reader ----

LWLoadState BlockReader::record(int ioMode, BlockReader* reader) noexcept {
  return LWLoadState{
      .ioMode = ioMode,
      .readData = reader,
      .read = TARROW_UNPROVIDED(LWLoadState, read),
      .readI1 = TARROW_UNPROVIDED(LWLoadState, readI1),
      .readI2 = TARROW_UNPROVIDED(LWLoadState, readI2),
      .readI4 = &readI4,
      .readU1 = TARROW_UNPROVIDED(LWLoadState, readU1),
      .readU2 = TARROW_UNPROVIDED(LWLoadState, readU2),
      .readU4 = &readU4,
      .readFP = &readFP,
      .readStr = &readStr,
      .readID = TARROW_UNPROVIDED(LWLoadState, readID),
      .findBlk = &findBlk,
      .endBlk = &endBlk,
      .depth = &depthOf,
      .readDP = &readDP,
  };
}

BlockReader::BlockReader(std::string text, int ioMode)
    : text_(std::move(text)), state_(record(ioMode, this)) {}

void BlockReader::skipSpace() noexcept {
  while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
}

std::string_view BlockReader::wordAt(size_t at) const noexcept {
  size_t end = at;
  while (end < text_.size() && isWordByte(text_[end])) ++end;
  return std::string_view(text_).substr(at, end - at);
}

// The next value of the current block, or nothing when a block, the block's end, a text or
// the end of the text comes first.
std::string_view BlockReader::nextValueWord() noexcept {
  skipSpace();
  return wordAt(pos_);
}

// With a quoted text at pos_, finds the position just past its closing quote (texts hold no
// quote of their own).
bool BlockReader::stringEnd(size_t& end) const noexcept {
  const size_t close = text_.find('"', pos_ + 1);
  if (close == std::string::npos) return false;
  end = close + 1;
  return true;
}

void BlockReader::note(Flaw flaw, size_t offset, std::string_view word, const char* expected) noexcept {
  // The end of a cut-off text is met by every level it leaves open: one problem.
  if (lastNoted_ && lastNoted_->first == flaw && lastNoted_->second == offset) return;
  lastNoted_ = std::pair{flaw, offset};
  ++problemCount_;
  if (firstProblem_) return;
  try {
    firstProblem_ = Problem{flaw, offset, std::string(word.substr(0, kShownBytes)), expected};
  } catch (const std::bad_alloc&) {
    firstProblem_ = Problem{flaw, offset, {}, expected};
  }
}

// Called with pos_ at the start of a value that a read of another kind gave up on.
void BlockReader::noteWrongKind(const char* expected) noexcept {
  if (pos_ >= text_.size() || text_[pos_] == '{' || text_[pos_] == '}') return;  // no value left: short
  size_t end = pos_ + wordAt(pos_).size();
  if (text_[pos_] == '"' && !stringEnd(end)) end = text_.size();
  note(Flaw::WrongKind, pos_, std::string_view(text_).substr(pos_, end - pos_), expected);
}

// From inside a block, moves past the brace that closes it (or to the end of a cut-off text,
// then false), stepping over inner blocks and over braces inside quoted texts.
bool BlockReader::skipRestOfBlock() noexcept {
  size_t open = 1;
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    if (c == '"') {
      size_t end = 0;
      if (!stringEnd(end)) {
        note(Flaw::NeverClosed, pos_, std::string_view(text_).substr(pos_));
        end = text_.size();
      }
      pos_ = end;
      continue;
    }
    ++pos_;
    if (c == '{') {
      ++open;
    } else if (c == '}' && --open == 0) {
      return true;
    }
  }
  note(Flaw::NeverClosed, text_.size(), {});
  return false;
}

void BlockReader::noteLeftOver() noexcept {
  skipSpace();
  if (pos_ >= text_.size()) return;
  const size_t lineEnd = text_.find('\n', pos_);
  note(Flaw::Stray, pos_,
       std::string_view(text_).substr(pos_, lineEnd == std::string::npos ? lineEnd : lineEnd - pos_));
}

std::string BlockReader::placeOf(size_t offset) const {
  size_t line = 1;
  size_t column = 1;
  for (size_t i = 0; i < offset && i < text_.size(); ++i) {
    if (text_[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

LWID BlockReader::findBlock(const LWBlockIdent* table) noexcept {
  for (;;) {
    skipSpace();
    if (pos_ >= text_.size()) {
      if (depth_ > 0) note(Flaw::NeverClosed, pos_, {});
      return 0;
    }
    const char c = text_[pos_];
    if (c == '}') {
      if (depth_ > 0) return 0;      // the end of this level; endBlk steps past it
      note(Flaw::Stray, pos_, "}");  // a stray brace at the top level closes nothing
      ++pos_;
      continue;
    }
    if (c == '"') {  // a value of this block that nobody read (of no block: stray)
      size_t end = 0;
      const bool closed = stringEnd(end);
      if (!closed) end = text_.size();
      const std::string_view text = std::string_view(text_).substr(pos_, end - pos_);
      if (!closed) {
        note(Flaw::NeverClosed, pos_, text);
      } else if (depth_ == 0) {
        note(Flaw::Stray, pos_, text);
      }
      pos_ = end;
      continue;
    }
    if (c != '{') {  // a value of this block that nobody read (of no block: stray)
      const std::string_view word = wordAt(pos_);
      if (depth_ == 0) note(Flaw::Stray, pos_, word.empty() ? std::string_view(text_).substr(pos_, 1) : word);
      pos_ += word.empty() ? 1 : word.size();
      continue;
    }
    ++pos_;
    skipSpace();
    const std::string_view token = wordAt(pos_);
    pos_ += token.size();
    for (const LWBlockIdent* entry = table;
         !token.empty() && entry != nullptr && entry->id != 0 && entry->token != nullptr; ++entry) {
      if (token == entry->token) {
        ++depth_;
        return entry->id;
      }
    }
    skipRestOfBlock();
  }
}

void BlockReader::endBlock() noexcept {
  if (depth_ == 0) return;
  skipRestOfBlock();
  --depth_;
}

template <typename T>
int BlockReader::readNumbers(T* values, int count, const char* expected) noexcept {
  if (values == nullptr) return 0;
  int delivered = 0;
  while (delivered < count) {
    const std::string_view word = nextValueWord();
    T value{};
    if (word.empty() || !parseNumber(word, value)) {
      noteWrongKind(expected);
      break;
    }
    values[delivered++] = value;
    pos_ += word.size();
  }
  return delivered;
}

int BlockReader::readUnsigned(unsigned int* values, int count) noexcept {
  if (values == nullptr) return 0;
  int delivered = 0;
  while (delivered < count) {
    const std::string_view word = nextValueWord();
    unsigned int value = 0;
    if (word.empty() || !parseHex(word, value)) {
      const int before = problemCount_;
      noteWrongKind(kUnsignedExpected);
      if (problemCount_ != before && unsignedMisses_.size() < kKeptUnsignedMisses) {
        try {
          unsignedMisses_.push_back(
              Problem{Flaw::WrongKind, pos_, std::string(word.substr(0, kShownBytes)), kUnsignedExpected});
        } catch (const std::bad_alloc&) {
          // The miss stays counted; only the decimal-id check loses it.
        }
      }
      break;
    }
    values[delivered++] = value;
    pos_ += word.size();
  }
  return delivered;
}

int BlockReader::readString(char* buffer, int size) noexcept {
  skipSpace();
  size_t end = 0;
  if (pos_ >= text_.size() || text_[pos_] != '"') {
    noteWrongKind("a text in quotes");
    return -1;
  }
  if (!stringEnd(end)) {
    note(Flaw::NeverClosed, pos_, std::string_view(text_).substr(pos_));
    return -1;
  }
  int delivered = 0;
  if (buffer != nullptr && size > 0) {
    for (size_t at = pos_ + 1; at + 1 < end && delivered < size - 1; ++at) buffer[delivered++] = text_[at];
    buffer[delivered] = '\0';
  }
  pos_ = end;
  return delivered;
}

int BlockReader::readI4(void* data, int* values, int count) noexcept {
  return static_cast<BlockReader*>(data)->readNumbers(values, count, "a whole number");
}
int BlockReader::readU4(void* data, unsigned int* values, int count) noexcept {
  return static_cast<BlockReader*>(data)->readUnsigned(values, count);
}
int BlockReader::readFP(void* data, float* values, int count) noexcept {
  return static_cast<BlockReader*>(data)->readNumbers(values, count, "a number");
}
int BlockReader::readDP(void* data, double* values, int count) noexcept {
  return static_cast<BlockReader*>(data)->readNumbers(values, count, "a number");
}
int BlockReader::readStr(void* data, char* buffer, int size) noexcept {
  return static_cast<BlockReader*>(data)->readString(buffer, size);
}
LWID BlockReader::findBlk(void* data, const LWBlockIdent* table) noexcept {
  return static_cast<BlockReader*>(data)->findBlock(table);
}
void BlockReader::endBlk(void* data) noexcept { static_cast<BlockReader*>(data)->endBlock(); }
int BlockReader::depthOf(void* data) noexcept { return static_cast<BlockReader*>(data)->depth(); }

}  // namespace tarrow::host
