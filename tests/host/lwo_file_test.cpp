// The object-file reader against files written here byte by byte (tests/host/lwo_bytes.h): the
// values each file holds are the ones the test wrote. With TARROW_LWO_SEEDS=DIR set, every file
// is also written to DIR, which is how fuzz/corpus/lwo_file/ is made.
#include "host/scene/lwo_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <regex>

#include "host/base/unique_name.h"
#include "lwo_bytes.h"

namespace tarrow::host {
namespace {

using lwo_bytes::Bytes;
using lwo_bytes::chunk;
using lwo_bytes::form;
using ::testing::HasSubstr;
using namespace std::string_literals;
using Polygons = std::vector<std::vector<int>>;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

void saveSeedIfAsked(const std::string& name, const std::string& bytes) {
  const char* folder = std::getenv("TARROW_LWO_SEEDS");
  if (folder == nullptr) return;
  std::ofstream(std::filesystem::path(folder) / name, std::ios::binary) << bytes;
}

ObjectFile parsed(const std::string& name, const std::string& bytes) {
  saveSeedIfAsked(name, bytes);
  return parseLwo(bytes, name + ".lwo");
}

// LAYR: number, flags, pivot, name, and the parent when given (-2: none written).
std::string layer(uint32_t number, Vec3 pivot, const std::string& name, int parent = -2) {
  Bytes data;
  data.u2(number).u2(0).vec(static_cast<float>(pivot[0]), static_cast<float>(pivot[1]),
                            static_cast<float>(pivot[2]));
  data.s0(name);
  if (parent != -2) data.u2(static_cast<uint32_t>(parent) & 0xFFFF);
  return chunk("LAYR", data);
}

std::string points(const std::vector<Vec3>& list) {
  Bytes data;
  for (const Vec3& p : list)
    data.vec(static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2]));
  return chunk("PNTS", data);
}

// A layered object: three layers with pivots, a parent chain Tip -> Tail -> Body, one layer
// without points; a name that needs a pad byte and one that does not, an odd-sized chunk to
// skip, a parent field left out, and polygons of several types with flags in their counts.
std::string layeredObject() {
  Bytes body;
  body.id("FACE").u2(4).vx(0).vx(1).vx(2).vx(3).u2(0xFC00 | 3).vx(0).vx(1).vx(2, true);
  Bytes tail;
  tail.id("CURV").u2(3).vx(0).vx(1).vx(2);
  Bytes tip;
  tip.id("PTCH").u2(2).vx(1).vx(0);
  return form("LWO2", layer(0, {1, 2, 3}, "Body") + points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}) +
                          chunk("POLS", body) + chunk("TAGS", Bytes().raw("abc")) +
                          layer(1, {0, 0, -1.5}, "Tail", 0) + points({{0, 0, -1}, {0, 0, -2}, {0.5, 0, -3}}) +
                          chunk("POLS", tail) + layer(4, {0.5, 0.25, 0}, "Tip", 1) +
                          points({{0, 0, -4}, {0, 0, -5}}) + chunk("POLS", tip) +
                          layer(2, {}, "Spare", 0xFFFF));
}

TEST(LwoFile, ReadsLayersWithTheirPivotsParentsPointsAndPolygons) {
  const ObjectFile file = parsed("layered", layeredObject());
  ASSERT_EQ(file.layers.size(), 4u);
  const ObjectLayer& body = file.layers[0];
  const ObjectLayer& tail = file.layers[1];
  const ObjectLayer& tip = file.layers[2];
  const ObjectLayer& spare = file.layers[3];
  EXPECT_EQ(body.number, 0);
  EXPECT_EQ(body.name, "Body");
  EXPECT_EQ(body.pivot, (Vec3{1, 2, 3}));
  EXPECT_EQ(body.parent, -1);
  EXPECT_EQ(body.points, (std::vector<Vec3>{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}));
  EXPECT_EQ(body.polygons, (Polygons{{0, 1, 2, 3}, {0, 1, 2}}));
  EXPECT_EQ(tail.number, 1);
  EXPECT_EQ(tail.name, "Tail");
  EXPECT_EQ(tail.pivot, (Vec3{0, 0, -1.5}));
  EXPECT_EQ(tail.parent, 0);
  EXPECT_EQ(tail.points, (std::vector<Vec3>{{0, 0, -1}, {0, 0, -2}, {0.5, 0, -3}}));
  EXPECT_EQ(tail.polygons, (Polygons{{0, 1, 2}}));
  EXPECT_EQ(tip.number, 4);
  EXPECT_EQ(tip.pivot, (Vec3{0.5, 0.25, 0}));
  EXPECT_EQ(tip.parent, 1);
  EXPECT_EQ(tip.polygons, (Polygons{{1, 0}}));
  EXPECT_EQ(spare.name, "Spare");
  EXPECT_EQ(spare.parent, -1);
  EXPECT_TRUE(spare.points.empty());
  // Modeler counts layers from 1, the file from 0.
  EXPECT_EQ(file.layerShownAs(5), &tip);
  EXPECT_EQ(file.layerShownAs(3), &spare);
  EXPECT_EQ(file.layerShownAs(1), &body);
  EXPECT_EQ(file.layerShownAs(4), nullptr);
  EXPECT_EQ(file.layerShownAs(0), nullptr);
}

TEST(LwoFile, WeightMapsHaveNoValueWhereTheyNameNoPoint) {
  Bytes tipWeights;  // two of the first PNTS's four points, then one of the second's two
  tipWeights.id("WGHT").u2(1).s0("Tip").vx(0).f4(0.5f).vx(2).f4(1.0f);
  Bytes uv;  // not a weight map: skipped
  uv.id("TXUV").u2(2).s0("UV").vx(0).f4(0.125f).f4(0.25f);
  Bytes rootWeights;
  rootWeights.id("WGHT").u2(1).s0("Root").vx(3, true).f4(-0.25f);
  Bytes moreTip;  // indices count from the last PNTS
  moreTip.id("WGHT").u2(1).s0("Tip").vx(1).f4(0.75f);
  Bytes polygons;
  polygons.id("FACE").u2(3).vx(0).vx(1).vx(0);
  const ObjectFile file = parsed(
      "weight_map_gaps",
      form("LWO2", layer(0, {}, "Only") + points({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}) +
                       chunk("VMAP", tipWeights) + chunk("VMAP", uv) + chunk("VMAP", rootWeights) +
                       points({{4, 0, 0}, {5, 0, 0}}) + chunk("VMAP", moreTip) + chunk("POLS", polygons)));
  ASSERT_EQ(file.layers.size(), 1u);
  const ObjectLayer& only = file.layers[0];
  ASSERT_EQ(only.points.size(), 6u);
  EXPECT_EQ(only.points[5], (Vec3{5, 0, 0}));
  EXPECT_EQ(only.polygons, (Polygons{{4, 5, 4}}));
  ASSERT_EQ(only.weightMaps.size(), 2u);
  using Values = std::vector<std::optional<float>>;
  EXPECT_EQ(only.weightMaps[0].name, "Tip");
  EXPECT_EQ(only.weightMaps[0].values, (Values{0.5f, {}, 1.0f, {}, {}, 0.75f}));
  EXPECT_EQ(only.weightMaps[1].name, "Root");
  EXPECT_EQ(only.weightMaps[1].values, (Values{{}, {}, {}, -0.25f, {}, {}}));
}

TEST(LwoFile, SkipsTheNestedFormsOfLwo3) {
  // A surface FORM holding chunks that would be wrong read as the object's own.
  Bytes surface;
  surface.id("SURF")
      .raw(chunk("PNTS", Bytes().raw("12345")))
      .raw(chunk("POLS", Bytes().id("FACE").u2(1).vx(99)));
  Bytes face;
  face.id("FACE").u2(3).vx(2).vx(1).vx(0);
  const ObjectFile file =
      parsed("lwo3_nested_form",
             form("LWO3", layer(0, {0, 1, 0}, "Main") + points({{0, 0, 0}, {0, 1, 0}, {1, 1, 0}}) +
                              chunk("FORM", surface) + chunk("POLS", face)));
  ASSERT_EQ(file.layers.size(), 1u);
  EXPECT_EQ(file.layers[0].pivot, (Vec3{0, 1, 0}));
  EXPECT_EQ(file.layers[0].points.size(), 3u);
  EXPECT_EQ(file.layers[0].polygons, (Polygons{{2, 1, 0}}));
}

TEST(LwoFile, ReadsLwobPolygonsAndSkipsTheirDetails) {
  Bytes polygons;
  polygons.u2(3).u2(0).u2(1).u2(2).u2(1);                   // surface 1
  polygons.u2(4).u2(0).u2(1).u2(2).u2(3).u2(0xFFFF).u2(2);  // surface -1, two details:
  polygons.u2(3).u2(0).u2(1).u2(3).u2(1);                   //   a plain one
  polygons.u2(2).u2(1).u2(2).u2(0xFFFE).u2(1);              //   one with a detail of its own
  polygons.u2(3).u2(0).u2(2).u2(3).u2(1);                   //     which is skipped too
  polygons.u2(3).u2(1).u2(2).u2(3).u2(2);                   // surface 2
  const ObjectFile file = parsed(
      "lwob_details", form("LWOB", points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}) +
                                       chunk("SRFS", Bytes().s0("Default")) + chunk("POLS", polygons)));
  ASSERT_EQ(file.layers.size(), 1u);
  // Data before any LAYR is the layer Modeler shows as 1.
  ASSERT_EQ(file.layerShownAs(1), &file.layers[0]);
  EXPECT_EQ(file.layers[0].points.size(), 4u);
  EXPECT_EQ(file.layers[0].polygons, (Polygons{{0, 1, 2}, {0, 1, 2, 3}, {1, 2, 3}}));
}

TEST(LwoFile, ReadsAFileAndNamesAMissingOne) {
  const auto folder = std::filesystem::temp_directory_path() / ("tarrow-lwo-" + uniqueSuffix());
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "tail.lwo", std::ios::binary) << layeredObject();
  EXPECT_EQ(readLwoFile(folder / "tail.lwo").layers.size(), 4u);
  try {
    readLwoFile(folder / "gone.lwo");
    ADD_FAILURE() << "a missing file was read";
  } catch (const LwoError& error) {
    EXPECT_EQ(error.what(), (folder / "gone.lwo").string() + ": cannot be read (missing or not a file)");
  }
  std::filesystem::remove_all(folder);
}

struct BadLwo {
  const char* what;
  std::string bytes;
  size_t offset;         // the byte the message names
  const char* expected;  // part of what the message says was expected there
};

// Offsets below count from the file's start: the FORM header is 12 bytes, a chunk header 8.
std::vector<BadLwo> badFiles() {
  const std::string oneLayer = layer(0, {}, "Body");                          // 8 + 22 bytes
  const std::string threePoints = points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});  // 8 + 36 bytes
  const size_t afterPoints = 12 + 30 + 44;
  Bytes nanPoint;
  nanPoint.vec(0, kNaN, 0);
  Bytes pastFile;
  pastFile.id("FORM").u4(100).id("LWO2");
  Bytes hugeChunk;  // declares 2 GB of points with one point behind it
  hugeChunk.id("PNTS").u4(0x7FFFFFF0).vec(0, 0, 0);
  Bytes infiniteWeight;
  infiniteWeight.id("WGHT").u2(1).s0("W").vx(0).f4(kInfinity);
  Bytes wideIndex;
  wideIndex.id("WGHT").u2(1).s0("W").vx(0xABCDEF).f4(1);
  Bytes badCorner;
  badCorner.id("FACE").u2(3).vx(0).vx(1).vx(3);
  Bytes shortPolygon;  // 1023 corners declared, 2 there
  shortPolygon.id("FACE").u2(1023).vx(0).vx(1);
  Bytes twoDimensions;
  twoDimensions.id("WGHT").u2(2).s0("W").vx(0).f4(1).f4(1);
  Bytes unterminated;
  unterminated.u2(0).u2(0).vec(0, 0, 0).raw("Body");
  Bytes infinitePivot;
  infinitePivot.u2(0).u2(0).vec(-kInfinity, 0, 0).s0("Body");
  Bytes negativeDetails;
  negativeDetails.u2(3).u2(0).u2(1).u2(2).u2(0xFFFF).u2(0xFFFF);
  Bytes oldCorner;
  oldCorner.u2(3).u2(0).u2(1).u2(3).u2(1);
  // clang-format off
  return {
      {"shorter than a header", "FORM\0\0\0\4"s, 0, "a FORM header of 12 bytes; the file has 8"},
      {"not IFF", "RIFF\0\0\0\4WAVE"s, 0, "\"FORM\""},
      {"FORM size past the file", pastFile.str(), 4, "at most 4 (the bytes left in the file), not 100"},
      {"unknown form type", form("ILBM", ""), 8, "the form type LWO2, LWO3 or LWOB"},
      {"chunk size past the FORM", form("LWO2", oneLayer + hugeChunk.str()), 12 + 30 + 4,
       "a chunk size of at most 12 (the bytes left in the FORM), not 2147483632"},
      {"chunk header cut short", form("LWO2", oneLayer + "PNTS\0\0"s), 12 + 30, "a chunk header of 8 bytes"},
      {"points not whole", form("LWO2", chunk("PNTS", Bytes().raw(std::string(13, '\0')))), 16,
       "a whole number of points (12 bytes each), not 13"},
      {"NaN coordinate", form("LWO2", oneLayer + chunk("PNTS", nanPoint)), 12 + 30 + 8 + 4, "a finite number"},
      {"infinite pivot", form("LWO2", chunk("LAYR", infinitePivot)), 12 + 8 + 4, "a pivot coordinate (F4) that is a finite"},
      {"infinite weight", form("LWO2", oneLayer + threePoints + chunk("VMAP", infiniteWeight)), afterPoints + 8 + 10,
       "a weight (F4) that is a finite number"},
      {"weight of a point past the points", form("LWO2", oneLayer + threePoints + chunk("VMAP", wideIndex)),
       afterPoints + 8 + 8, "a point index below 3 (the points of the layer's last PNTS), not 11259375"},
      {"corner past the points", form("LWO2", oneLayer + threePoints + chunk("POLS", badCorner)),
       afterPoints + 8 + 10, "a point index below 3 (the points of the layer's last PNTS), not 3"},
      {"fewer corners than counted", form("LWO2", oneLayer + threePoints + chunk("POLS", shortPolygon)),
       afterPoints + 8 + 10, "corner 3 of a polygon of 1023 (2 bytes); the POLS chunk ends"},
      {"weights before any points", form("LWO2", oneLayer + chunk("VMAP", infiniteWeight)), 12 + 30,
       "a PNTS chunk in this layer before its VMAP"},
      {"weights in a layer without points",
       form("LWO2", oneLayer + threePoints + layer(1, {}, "Next") + chunk("VMAP", infiniteWeight)), afterPoints + 30,
       "a PNTS chunk in this layer before its VMAP"},
      {"weight map of two dimensions", form("LWO2", oneLayer + threePoints + chunk("VMAP", twoDimensions)),
       afterPoints + 8 + 4, "dimension 1 for a WGHT map, not 2"},
      {"layer name unterminated", form("LWO2", chunk("LAYR", unterminated)), 12 + 8 + 16,
       "the layer name (S0) ending in a zero byte before the LAYR chunk ends at byte 40"},
      {"layer number twice", form("LWO2", oneLayer + oneLayer), 12 + 30 + 8,
       "a layer number not used before in the file, not 0"},
      {"parent not in the file", form("LWO2", layer(0, {}, "Body", 7)), 12 + 8 + 22,
       "the number of a layer in the file as the parent, not 7"},
      {"parents in a loop", form("LWO2", layer(0, {}, "Body", 1) + layer(1, {}, "Tail", 0)), 12 + 8 + 22,
       "a parent that does not lead back to layer 0 (its parents form a loop)"},
      {"LWOB corner past the points", form("LWOB", threePoints + chunk("POLS", oldCorner)), 12 + 44 + 8 + 6,
       "a point index below 3"},
      {"LWOB negative detail count", form("LWOB", threePoints + chunk("POLS", negativeDetails)), 12 + 44 + 8 + 10,
       "a count of detail polygons of 0 or more, not -1"},
  };
  // clang-format on
}

// Many small weight maps that each name the last of many points would ask for far more memory
// than the file holds: refused at the first map past four values for each byte of the file.
BadLwo weightMapsBeyondTheFile() {
  constexpr size_t kPoints = 1000;
  std::string chunks = layer(0, {}, "Body") + points(std::vector<Vec3>(kPoints));
  const size_t firstMap = 12 + chunks.size();
  std::string map;
  for (int m = 0; m < 100; ++m) {
    Bytes data;
    data.id("WGHT").u2(1).s0("M" + std::to_string(m % 10) + std::to_string(m / 10)).vx(kPoints - 1).f4(1);
    map = chunk("VMAP", data);
    chunks += map;
  }
  const std::string file = form("LWO2", chunks);
  const size_t mapsAllowed = 4 * file.size() / kPoints;
  return {"weight maps beyond the file", file, firstMap + mapsAllowed * map.size(),
          "weight maps whose values fit"};
}

TEST(LwoFile, RefusesBadFilesInOneLineNamingTheByte) {
  std::vector<BadLwo> cases = badFiles();
  cases.push_back(weightMapsBeyondTheFile());
  for (const BadLwo& bad : cases) {
    SCOPED_TRACE(bad.what);
    std::string seed = bad.what;
    std::replace(seed.begin(), seed.end(), ' ', '_');
    try {
      parsed("bad_" + seed, bad.bytes);
      ADD_FAILURE() << "read without complaint";
    } catch (const LwoError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
      EXPECT_EQ(message.rfind("bad_" + seed + ".lwo: byte " + std::to_string(bad.offset) + ": ", 0), 0u)
          << message;
      EXPECT_THAT(message, HasSubstr(bad.expected));
    }
  }
}

// Every good file cut short anywhere (its FORM size made to fit, so that the cut falls inside
// a chunk) is read or refused in one line, never more.
TEST(LwoFile, EveryCutOfAGoodFileIsReadOrRefusedInOneLine) {
  const std::regex oneLine(R"(cut\.lwo: byte [0-9]+: [^\n]+)");
  for (const std::string& whole : {layeredObject()}) {
    for (size_t length = 12; length < whole.size(); ++length) {
      std::string cut = whole.substr(0, length);
      Bytes size;
      size.u4(static_cast<uint32_t>(length - 8));
      cut.replace(4, 4, size.str());
      try {
        parseLwo(cut, "cut.lwo");
      } catch (const LwoError& error) {
        EXPECT_TRUE(std::regex_match(error.what(), oneLine)) << error.what();
      }
    }
  }
}

}  // namespace
}  // namespace tarrow::host
