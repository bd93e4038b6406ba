#include "host/services/block_store.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace tarrow::host {
namespace {

constexpr LWID IVER = LWID_('I', 'V', 'E', 'R');
constexpr LWID LAGR = LWID_('L', 'A', 'G', 'R');
constexpr LWID WMAP = LWID_('W', 'M', 'A', 'P');
constexpr LWID NODT = LWID_('N', 'O', 'D', 'T');
constexpr LWID INNR = LWID_('I', 'N', 'N', 'R');
constexpr LWID PITM = LWID_('P', 'I', 'T', 'M');

const LWBlockIdent blocks[] = {
    {IVER, "Version"}, {LAGR, "LagRate"},   {WMAP, "WeightMap"}, {NODT, "NodeTree"},
    {INNR, "Inner"},   {PITM, "PivotItem"}, {0, nullptr},
};
const LWBlockIdent& version = blocks[0];
const LWBlockIdent& lagRate = blocks[1];
const LWBlockIdent& weightMap = blocks[2];
const LWBlockIdent& nodeTree = blocks[3];
const LWBlockIdent& inner = blocks[4];

TEST(BlockWriter, LaysOutLeafAndNestedBlocksExactly) {
  BlockWriter writer;
  const LWSaveState* save = writer.state();
  const int32_t one = 1, seven = 7, nine = 9;
  const int32_t pair[] = {1, -2};
  const uint32_t ids[] = {0x10000003u, 0xabcdefu, 0u, 0xFFFFFFFFu};
  const double rate = 0.25;

  save->beginBlk(save->writeData, &version, 1);
  save->writeI4(save->writeData, &one, 1);
  save->endBlk(save->writeData);
  save->beginBlk(save->writeData, &lagRate, 1);
  save->writeDP(save->writeData, &rate, 1);
  save->endBlk(save->writeData);
  save->beginBlk(save->writeData, &weightMap, 1);
  save->writeStr(save->writeData, "a \"b\" \\c");
  save->endBlk(save->writeData);
  save->beginBlk(save->writeData, &nodeTree, 0);
  save->writeI4(save->writeData, &seven, 1);
  save->beginBlk(save->writeData, &inner, 1);
  save->writeI4(save->writeData, pair, 2);
  save->writeU4(save->writeData, ids, 4);
  EXPECT_EQ(save->depth(save->writeData), 2);
  save->endBlk(save->writeData);
  save->beginBlk(save->writeData, &inner, 0);
  save->endBlk(save->writeData);
  save->writeI4(save->writeData, &nine, 1);
  save->endBlk(save->writeData);
  save->beginBlk(save->writeData, &version, 1);
  save->endBlk(save->writeData);
  EXPECT_EQ(save->depth(save->writeData), 0);

  EXPECT_EQ(writer.text(),
            "{ Version 1 }\n"
            "{ LagRate 0.25 }\n"
            "{ WeightMap \"a _b_ \\c\" }\n"
            "{ NodeTree 7\n"
            "  { Inner 1 -2 10000003 ABCDEF 0 FFFFFFFF }\n"
            "  { Inner\n"
            "  }\n"
            "  9\n"
            "}\n"
            "{ Version }\n");
  EXPECT_TRUE(writer.complete());
}

TEST(BlockWriter, KeepsTheTextWellFormedWhateverItIsGiven) {
  const LWBlockIdent spaced{IVER, "two words{}"};
  const LWBlockIdent untitled{LAGR, nullptr};
  const LWBlockIdent empty{LWID_('A', ' ', '{', 'B'), ""};
  BlockWriter writer;
  const LWSaveState* save = writer.state();
  save->endBlk(save->writeData);  // nothing open: ignored
  save->beginBlk(save->writeData, &spaced, 1);
  save->writeStr(save->writeData, nullptr);
  save->endBlk(save->writeData);
  save->beginBlk(save->writeData, &untitled, 1);
  save->writeI4(save->writeData, nullptr, 3);
  save->endBlk(save->writeData);
  save->beginBlk(save->writeData, &empty, 1);
  save->endBlk(save->writeData);
  EXPECT_EQ(writer.text(), "{ two_words__ \"\" }\n{ LAGR }\n{ A__B }\n");
}

// Writes values of one kind into a leaf block and reads them back through the whole table.
class BlockRoundTrip : public ::testing::Test {
 protected:
  template <typename T, typename Write, typename Read>
  std::vector<T> roundTrip(const std::vector<T>& values, Write write, Read read) {
    BlockWriter writer;
    const LWSaveState* save = writer.state();
    save->beginBlk(save->writeData, &lagRate, 1);
    (save->*write)(save->writeData, values.data(), static_cast<int>(values.size()));
    save->endBlk(save->writeData);
    text = writer.text();

    BlockReader reader(text);
    const LWLoadState* load = reader.state();
    EXPECT_EQ(load->findBlk(load->readData, blocks), LAGR);
    std::vector<T> back(values.size());
    EXPECT_EQ((load->*read)(load->readData, back.data(), static_cast<int>(back.size())),
              static_cast<int>(values.size()))
        << text;
    load->endBlk(load->readData);
    EXPECT_EQ(load->findBlk(load->readData, blocks), 0u);
    return back;
  }
  std::string text;
};

template <typename T>
void expectSameBits(const std::vector<T>& expected, const std::vector<T>& actual, const std::string& text) {
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    if (std::isnan(expected[i])) {
      EXPECT_TRUE(std::isnan(actual[i])) << "value " << i << " of " << text;
    } else {
      EXPECT_EQ(std::memcmp(&expected[i], &actual[i], sizeof(T)), 0)
          << "value " << i << " of " << text << " came back as " << actual[i];
    }
  }
}

TEST_F(BlockRoundTrip, DoublesComeBackBitForBit) {
  using limits = std::numeric_limits<double>;
  const std::vector<double> values{0.1,
                                   -0.0,
                                   0.0,
                                   1e-300,
                                   limits::denorm_min(),
                                   2.2e-310,
                                   limits::min(),
                                   limits::max(),
                                   limits::lowest(),
                                   1.0 / 3.0,
                                   -123456.789,
                                   limits::quiet_NaN(),
                                   limits::infinity(),
                                   -limits::infinity()};
  expectSameBits(values, roundTrip(values, &LWSaveState::writeDP, &LWLoadState::readDP), text);
}

TEST_F(BlockRoundTrip, FloatsComeBackBitForBit) {
  using limits = std::numeric_limits<float>;
  const std::vector<float> values{0.1f,
                                  -0.0f,
                                  limits::denorm_min(),
                                  limits::max(),
                                  limits::lowest(),
                                  1.0f / 3.0f,
                                  limits::quiet_NaN(),
                                  limits::infinity(),
                                  -limits::infinity()};
  expectSameBits(values, roundTrip(values, &LWSaveState::writeFP, &LWLoadState::readFP), text);
}

TEST_F(BlockRoundTrip, IntegersKeepTheirFullRange) {
  const std::vector<int32_t> signedValues{std::numeric_limits<int32_t>::min(), -1, 0, 1,
                                          std::numeric_limits<int32_t>::max()};
  EXPECT_EQ(roundTrip(signedValues, &LWSaveState::writeI4, &LWLoadState::readI4), signedValues);
  const std::vector<uint32_t> unsignedValues{0u, 1u, 0x80000000u, std::numeric_limits<uint32_t>::max()};
  EXPECT_EQ(roundTrip(unsignedValues, &LWSaveState::writeU4, &LWLoadState::readU4), unsignedValues);
}

// Texts of bytes 32 to 255 but the quote come back byte for byte; the host's text form has no
// way to carry a quote or a control character, which are written as "_".
TEST(BlockStoreText, TextsComeBackByteForByteAndHideTheirBraces) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"with \"quotes\" inside", "with _quotes_ inside"},
      {"back\\slash\\", "back\\slash\\"},
      {"C:\\Objects\\", "C:\\Objects\\"},
      {"{ braces } } { \"{", "{ braces } } { _{"},
      {"line\nbreak\ttab\x1f\x7f", "line_break_tab_\x7f"},
      {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},  // UTF-8
      // Shift-JIS, including bytes that are ASCII brackets
      {"\x83\x89\x83O\x83\x8C\x81[\x83g", "\x83\x89\x83O\x83\x8C\x81[\x83g"},
      {std::string(300, 'w'), std::string(300, 'w')},
  };
  for (const auto& [original, expected] : cases) {
    BlockWriter writer;
    const LWSaveState* save = writer.state();
    const int32_t marker = 5;
    save->beginBlk(save->writeData, &weightMap, 1);
    save->writeStr(save->writeData, original.c_str());
    save->writeI4(save->writeData, &marker, 1);
    save->endBlk(save->writeData);
    save->beginBlk(save->writeData, &version, 1);
    save->endBlk(save->writeData);

    BlockReader reader(writer.text());
    const LWLoadState* load = reader.state();
    ASSERT_EQ(load->findBlk(load->readData, blocks), WMAP) << writer.text();
    std::vector<char> buffer(512, 'x');
    EXPECT_EQ(load->readStr(load->readData, buffer.data(), static_cast<int>(buffer.size())),
              static_cast<int>(expected.size()));
    EXPECT_EQ(std::string(buffer.data()), expected);
    int32_t back = 0;
    EXPECT_EQ(load->readI4(load->readData, &back, 1), 1);
    EXPECT_EQ(back, marker);
    load->endBlk(load->readData);
    // Skipping the whole block must not be fooled by braces and quotes inside the text either.
    BlockReader skipping(writer.text());
    const LWBlockIdent onlyVersion[] = {version, {0, nullptr}};
    EXPECT_EQ(skipping.state()->findBlk(skipping.state()->readData, onlyVersion), IVER) << writer.text();
    EXPECT_EQ(load->findBlk(load->readData, blocks), IVER);
  }
}

TEST(BlockReader, ReadStrTruncatesAndAlwaysTerminates) {
  BlockReader reader("\"abcdef\" \"abcdef\" \"abcdef\" \"abcdef\" 11 \"abcdef\"");
  const LWLoadState* load = reader.state();
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(load->readStr(load->readData, buffer, 4), 3);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], 'x');
  EXPECT_EQ(load->readStr(load->readData, buffer, 1), 0);
  EXPECT_STREQ(buffer, "");
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(load->readStr(load->readData, buffer, 0), 0);
  EXPECT_EQ(load->readStr(load->readData, buffer, -5), 0);
  EXPECT_EQ(buffer[0], 'x');
  // Not a text: nothing is delivered and the value stays for a reader of the right kind.
  EXPECT_EQ(load->readStr(load->readData, buffer, 8), -1);
  EXPECT_EQ(buffer[0], 'x');
  int32_t number = 0;
  EXPECT_EQ(load->readI4(load->readData, &number, 1), 1);
  EXPECT_EQ(number, 11);
  EXPECT_EQ(load->readStr(load->readData, buffer, 8), 6);
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(load->readStr(load->readData, buffer, 8), -1);
}

TEST(BlockReader, UnreadableValuesLeaveTheirDestinationAlone) {
  struct Case {
    const char* text;
    int expectedCount;
  };
  const Case cases[] = {
      {"1 2 x", 2},         {"1.5", 0}, {"2147483648", 0}, {"-2147483649", 0}, {"12a", 0}, {"\"7\"", 0},
      {"{ Version 1 }", 0}, {"}", 0},   {"", 0},           {"0x10", 0},        {"+1", 0},  {"3 4 5 6", 3},
  };
  for (const Case& c : cases) {
    BlockReader reader(c.text);
    int32_t values[3] = {-7, -7, -7};
    EXPECT_EQ(reader.state()->readI4(reader.state()->readData, values, 3), c.expectedCount) << c.text;
    for (int i = c.expectedCount; i < 3; ++i) EXPECT_EQ(values[i], -7) << c.text;
  }
  BlockReader negative("-1 1e300 1e300");
  const LWLoadState* load = negative.state();
  uint32_t unsignedValue = 9;
  EXPECT_EQ(load->readU4(load->readData, &unsignedValue, 1), 0);
  EXPECT_EQ(unsignedValue, 9u);
  int32_t signedValue = 0;
  EXPECT_EQ(load->readI4(load->readData, &signedValue, 1), 1);
  float narrow = 2.0f;
  EXPECT_EQ(load->readFP(load->readData, &narrow, 1), 0);  // out of a float's range
  EXPECT_EQ(narrow, 2.0f);
  double wide = 0.0;
  EXPECT_EQ(load->readDP(load->readData, &wide, 1), 1);
  EXPECT_EQ(wide, 1e300);
}

// Unsigned numbers are hexadecimal, in either case, with leading zeros or none; anything else
// (a sign, "0x", more than 32 bits, a decimal item id) is not one.
TEST(BlockReader, ReadsUnsignedNumbersInHexadecimal) {
  const std::pair<const char*, std::optional<uint32_t>> cases[] = {
      {"10000003", 0x10000003u},
      {"abcdef", 0xABCDEFu},
      {"AbCdEf", 0xABCDEFu},
      {"0000001F", 0x1Fu},
      {"0", 0u},
      {"FFFFFFFF", ~0u},
      {"100000000", {}},
      {"268435456", {}},
      {"-1", {}},
      {"+1", {}},
      {"0x10", {}},
      {"1g", {}},
      {"1.0", {}},
      {"\"1\"", {}},
  };
  for (const auto& [text, expected] : cases) {
    BlockReader reader(text);
    uint32_t value = 7;
    EXPECT_EQ(reader.state()->readU4(reader.state()->readData, &value, 1), expected ? 1 : 0) << text;
    EXPECT_EQ(value, expected.value_or(7)) << text;
    EXPECT_EQ(reader.unsignedMisses().size(), expected ? 0u : 1u) << text;
  }
}

// What a load could not take whole is noted, the first with its place: a value of another kind
// than the one read, a block or a text the text ends inside, and text outside any block. A
// block short of a value, unknown blocks and values nobody read inside a block are not faults.
TEST(BlockReader, NotesWhatALoadCouldNotTakeWhole) {
  using Flaw = BlockReader::Flaw;
  struct Case {
    const char* text;
    std::optional<Flaw> flaw;
    const char* place = "";
    const char* word = "";
    int count = 1;
  };
  // clang-format off
  const Case cases[] = {
      {"{ Version 1 }\n{ LagRate 0.5 }\n{ WeightMap 1 \"Tip\" }\n{ PivotItem 1 1000000A }\n", {}},
      {"{ Version }\n{ WeightMap 1 }\n{ Unknown \"x\" 1 { Deeper } }\n{ Version 1 2 3 }\n", {}},
      {"{ Version 1.5 }", Flaw::WrongKind, "line 1, column 11", "1.5"},
      {"{ Version 1 }\n{ LagRate \"fast\" }", Flaw::WrongKind, "line 2, column 11", "\"fast\""},
      {"{ WeightMap x \"Tip\" }", Flaw::WrongKind, "line 1, column 13", "x"},
      {"{ WeightMap 1 2 }", Flaw::WrongKind, "line 1, column 15", "2"},
      {"{ PivotItem 1 268435456 }", Flaw::WrongKind, "line 1, column 15", "268435456"},
      {"{ Version 1 }\n{ NodeTree\n  { Inner 1 }\n", Flaw::NeverClosed, "line 4, column 1", ""},
      {"{ WeightMap 1 \"Tip }\n{ Version 1 }", Flaw::NeverClosed, "line 1, column 15", "\"Tip }\n{ Version 1 }", 2},
      {"{ Unknown { \n", Flaw::NeverClosed, "line 2, column 1", ""},
      {"{ Version 1 }\nleft over", Flaw::Stray, "line 2, column 1", "left", 2},
      {"} { Version 1 }", Flaw::Stray, "line 1, column 1", "}"},
  };
  // clang-format on
  for (const Case& c : cases) {
    BlockReader reader(c.text);
    const LWLoadState* load = reader.state();
    for (LWID id; (id = load->findBlk(load->readData, blocks)) != 0;) {
      int32_t whole = 0;
      uint32_t bits = 0;
      double number = 0;
      char text[16];
      if (id == IVER) load->readI4(load->readData, &whole, 1);
      if (id == LAGR) load->readDP(load->readData, &number, 1);
      if (id == WMAP && load->readI4(load->readData, &whole, 1) >= 0) load->readStr(load->readData, text, 16);
      if (id == PITM && load->readI4(load->readData, &whole, 1) >= 0) load->readU4(load->readData, &bits, 1);
      if (id == NODT) load->findBlk(load->readData, blocks);
      load->endBlk(load->readData);
    }
    reader.noteLeftOver();
    ASSERT_EQ(reader.firstProblem().has_value(), c.flaw.has_value()) << c.text;
    if (!c.flaw) continue;
    const BlockReader::Problem& problem = *reader.firstProblem();
    EXPECT_EQ(problem.flaw, *c.flaw) << c.text;
    EXPECT_EQ(reader.placeOf(problem.offset), c.place) << c.text;
    EXPECT_EQ(problem.word, c.word) << c.text;
    EXPECT_EQ(reader.problemCount(), c.count) << c.text;
    EXPECT_EQ(reader.unsignedMisses().size(), problem.word == "268435456" ? 1u : 0u) << c.text;
  }
}

TEST(BlockReader, FindsKnownBlocksSkipsUnknownOnesAndStopsAtTheLevelEnd) {
  BlockReader reader(
      "{ Unknown 1 \"}\" { Version 9 } { Deeper { \"{\" } }\n}\n"
      "{ NodeTree 4\n"
      "  { Alien \"{{\" }\n"
      "  { Inner 5 }\n"
      "  { Inner 6 7 }\n"
      "}\n"
      "{ Version 1 }\n");
  const LWLoadState* load = reader.state();
  int32_t value = 0;
  ASSERT_EQ(load->findBlk(load->readData, blocks), NODT);
  EXPECT_EQ(load->depth(load->readData), 1);
  ASSERT_EQ(load->readI4(load->readData, &value, 1), 1);
  EXPECT_EQ(value, 4);
  ASSERT_EQ(load->findBlk(load->readData, blocks), INNR);
  EXPECT_EQ(load->depth(load->readData), 2);
  EXPECT_EQ(load->readI4(load->readData, &value, 1), 1);
  EXPECT_EQ(value, 5);
  load->endBlk(load->readData);
  ASSERT_EQ(load->findBlk(load->readData, blocks), INNR);
  load->endBlk(load->readData);  // leaves 6 and 7 unread
  EXPECT_EQ(load->findBlk(load->readData, blocks), 0u);
  EXPECT_EQ(load->findBlk(load->readData, blocks), 0u);  // stays at the end of the level
  EXPECT_EQ(load->depth(load->readData), 1);
  load->endBlk(load->readData);
  EXPECT_EQ(load->depth(load->readData), 0);
  ASSERT_EQ(load->findBlk(load->readData, blocks), IVER);
  EXPECT_EQ(load->readI4(load->readData, &value, 1), 1);
  EXPECT_EQ(value, 1);
  load->endBlk(load->readData);
  EXPECT_EQ(load->findBlk(load->readData, blocks), 0u);
  load->endBlk(load->readData);  // at the top level: nothing to leave
  EXPECT_EQ(load->depth(load->readData), 0);
}

TEST(BlockReader, LeavingABlockEarlySkipsItsInnerBlocks) {
  BlockReader reader("{ NodeTree { Inner { Inner 1 } \"}\" } 3 }\n{ Version 2 }");
  const LWLoadState* load = reader.state();
  ASSERT_EQ(load->findBlk(load->readData, blocks), NODT);
  load->endBlk(load->readData);
  ASSERT_EQ(load->findBlk(load->readData, blocks), IVER);
  EXPECT_EQ(reader.unread(), " 2 }");
}

TEST(BlockReader, AnEmptyOrNullTableSkipsEverything) {
  const LWBlockIdent none[] = {{0, nullptr}};
  for (const LWBlockIdent* table : {none, static_cast<const LWBlockIdent*>(nullptr)}) {
    BlockReader reader("{ Version 1 } { NodeTree { Inner } }");
    EXPECT_EQ(reader.state()->findBlk(reader.state()->readData, table), 0u);
    EXPECT_TRUE(reader.unread().empty());
  }
}

// Malformed and truncated texts: walking them as a module's load would must end, find the
// blocks that are there and read only what can be read.
TEST(BlockReader, SurvivesTruncatedAndGarbageText) {
  struct Found {
    LWID id;
    std::optional<int32_t> value;
    bool operator==(const Found&) const = default;
  };
  struct Case {
    std::string text;
    std::vector<Found> expected;
  };
  const Case cases[] = {
      {"", {}},
      {"{", {}},
      {"{ ", {}},
      {"{ Version", {{IVER, std::nullopt}}},
      {"{ Version 1", {{IVER, 1}}},
      {"{ Version 12a }", {{IVER, std::nullopt}}},
      {"{ Version 99999999999 }", {{IVER, std::nullopt}}},
      {"{ Version \"open }\n{ LagRate 1 }", {{IVER, std::nullopt}}},
      {"}}}{ Version 2 }", {{IVER, 2}}},
      {"{ Unknown { { {\n{ Version 3 }", {}},
      {"{ Unknown \"\\", {}},
      {"garbage words 1 2 \"x\" { Version 4 }", {{IVER, 4}}},
      {"{{ Version 5 }} { Version 6 }", {{IVER, 6}}},
      {"{ } { \"Version\" 7 } { Version 8 }", {{IVER, 8}}},
      {std::string("\0\xff{\x01Version\x02 9 }", 15), {{IVER, 9}}},
      {"{ Version 1 } { LagRate", {{IVER, 1}, {LAGR, std::nullopt}}},
      {"{ VersionX 1 } { Versio 2 }", {}},
      {"\x7f \x7f{ Version\x7f 1 } { Version \x7f"
       "1 } { Version 2\x7f }",
       {{IVER, std::nullopt}, {IVER, std::nullopt}}},
      {"\x7f{ Version 3 }", {{IVER, 3}}},
      {"{ NodeTree { Inner 1 }", {{NODT, std::nullopt}}},
  };
  for (const Case& c : cases) {
    BlockReader reader(c.text);
    const LWLoadState* load = reader.state();
    std::vector<Found> found;
    for (LWID id; (id = load->findBlk(load->readData, blocks)) != 0 && found.size() < 10;) {
      int32_t value = -7;
      const int count = load->readI4(load->readData, &value, 1);
      if (count == 0) {
        EXPECT_EQ(value, -7) << c.text;
      }
      found.push_back({id, count == 1 ? std::optional<int32_t>(value) : std::nullopt});
      load->endBlk(load->readData);
    }
    EXPECT_EQ(found, c.expected) << c.text;
    EXPECT_EQ(load->depth(load->readData), 0) << c.text;
  }
}

}  // namespace
}  // namespace tarrow::host
