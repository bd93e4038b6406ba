#include "host/scene/lwo_file.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>

#include "host/base/path_text.h"

namespace tarrow::host {
namespace {

constexpr uint32_t tag(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<unsigned char>(text[0])) << 24 |
         static_cast<uint32_t>(static_cast<unsigned char>(text[1])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(text[2])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(text[3]));
}

constexpr uint32_t kForm = tag("FORM");
constexpr uint32_t kLwo2 = tag("LWO2");
constexpr uint32_t kLwo3 = tag("LWO3");
constexpr uint32_t kLwob = tag("LWOB");
constexpr uint32_t kLayr = tag("LAYR");
constexpr uint32_t kPnts = tag("PNTS");
constexpr uint32_t kVmap = tag("VMAP");
constexpr uint32_t kPols = tag("POLS");
constexpr uint32_t kWght = tag("WGHT");

constexpr uint16_t kNoParent = 0xFFFF;
constexpr size_t kPointBytes = 12;
constexpr uint32_t kCornerCountMask = 0x03FF;  // the high 6 bits of a polygon's count are flags
// Slots of weight maps (one a point of the map's layer, 8 bytes each) for each byte of the file:
// room for a hundred maps on a layer of points with nothing else, far more than Modeler writes.
constexpr size_t kWeightSlotsPerFileByte = 4;

// A stretch of the file still to read: [at, end).
struct Span {
  size_t at = 0;
  size_t end = 0;

  size_t left() const { return end - at; }
  bool empty() const { return at >= end; }
};

class LwoReader {
 public:
  LwoReader(std::string_view bytes, const std::string& name) : bytes_(bytes), name_(name) {}

  ObjectFile read() {
    if (bytes_.size() < 12) {
      fail(0, "a FORM header of 12 bytes; the file has " + std::to_string(bytes_.size()));
    }
    if (u4(0) != kForm) fail(0, "\"FORM\", which begins an object file");
    const uint32_t formSize = u4(4);
    if (formSize < 4) fail(4, "a FORM size of at least 4 (the form type), not " + std::to_string(formSize));
    if (formSize > bytes_.size() - 8) {
      fail(4, "a FORM size of at most " + std::to_string(bytes_.size() - 8) +
                  " (the bytes left in the file), not " + std::to_string(formSize));
    }
    form_ = u4(8);
    if (form_ != kLwo2 && form_ != kLwo3 && form_ != kLwob) fail(8, "the form type LWO2, LWO3 or LWOB");
    readChunks({12, 8 + size_t{formSize}});
    checkParents();
    return std::move(file_);
  }

 private:
  // What the reader knows of a layer beyond ObjectLayer: where its last PNTS begins.
  struct LayerReading {
    bool hasPoints = false;
    size_t pointsBase = 0;   // the last PNTS's first point in the layer's points
    size_t pointsCount = 0;  // and how many it gave
    size_t parentAt = 0;     // the parent field's offset, for messages
  };

  [[noreturn]] void fail(size_t offset, const std::string& what) const {
    throw LwoError(name_ + ": byte " + std::to_string(offset) + ": " + what);
  }

  uint16_t u2(size_t at) const {
    return static_cast<uint16_t>(static_cast<unsigned>(byte(at)) << 8 | static_cast<unsigned>(byte(at + 1)));
  }
  uint32_t u4(size_t at) const {
    return static_cast<uint32_t>(byte(at)) << 24 | static_cast<uint32_t>(byte(at + 1)) << 16 |
           static_cast<uint32_t>(byte(at + 2)) << 8 | static_cast<uint32_t>(byte(at + 3));
  }
  unsigned char byte(size_t at) const { return static_cast<unsigned char>(bytes_[at]); }

  // Checked reads from a span: each fails naming what it expected when the span ends first.
  // (What is a view, so that the reads that succeed build no text.)
  void need(const Span& span, size_t count, std::string_view what) const {
    if (span.left() < count) {
      fail(span.at, std::string(what) + " (" + std::to_string(count) + " bytes); the " + chunkName_ +
                        " ends at byte " + std::to_string(span.end));
    }
  }
  uint16_t readU2(Span& span, std::string_view what) const {
    need(span, 2, what);
    span.at += 2;
    return u2(span.at - 2);
  }
  uint32_t readU4(Span& span, std::string_view what) const {
    need(span, 4, what);
    span.at += 4;
    return u4(span.at - 4);
  }
  float readFinite(Span& span, std::string_view what) const {
    need(span, 4, what);
    const auto value = std::bit_cast<float>(u4(span.at));
    if (!std::isfinite(value)) fail(span.at, std::string(what) + " that is a finite number");
    span.at += 4;
    return value;
  }
  Vec3 readVec12(Span& span, std::string_view what) const {
    Vec3 vector{};
    for (double& coordinate : vector) coordinate = readFinite(span, what);
    return vector;
  }
  // An index of two bytes below 0xFF00, else four whose first byte is 0xFF.
  uint32_t readVx(Span& span, std::string_view what) const {
    need(span, 2, what);
    if (byte(span.at) != 0xFF) return readU2(span, what);
    if (span.left() < 4) need(span, 4, std::string(what) + " of four bytes, as its first byte is 0xFF");
    return readU4(span, what) & 0x00FFFFFF;
  }
  // A point index of the layer's last PNTS, as an index into all of the layer's points.
  int readPointIndex(Span& span, const LayerReading& reading, bool vx) const {
    const size_t at = span.at;
    const uint32_t index = vx ? readVx(span, "a point index (VX)") : readU2(span, "a point index (U2)");
    if (index >= reading.pointsCount) {
      fail(at, "a point index below " + std::to_string(reading.pointsCount) +
                   " (the points of the layer's last PNTS), not " + std::to_string(index));
    }
    return static_cast<int>(reading.pointsBase + index);
  }
  // A zero-terminated string, padded with one more zero to an even length.
  std::string readS0(Span& span, std::string_view what) const {
    const size_t start = span.at;
    const void* zero = span.empty() ? nullptr : std::memchr(bytes_.data() + start, 0, span.left());
    if (zero == nullptr) {
      fail(start, std::string(what) + " ending in a zero byte before the " + chunkName_ + " ends at byte " +
                      std::to_string(span.end));
    }
    const auto length = static_cast<size_t>(static_cast<const char*>(zero) - (bytes_.data() + start));
    span.at = std::min(span.end, start + ((length + 2) & ~size_t{1}));
    return std::string(bytes_.substr(start, length));
  }

  void readChunks(Span form) {
    while (!form.empty()) {
      const size_t start = form.at;
      if (form.left() < 8) {
        fail(start,
             "a chunk header of 8 bytes (tag and size); the FORM ends at byte " + std::to_string(form.end));
      }
      const uint32_t chunkTag = u4(start);
      const uint32_t size = u4(start + 4);
      if (size > form.left() - 8) {
        fail(start + 4, "a chunk size of at most " + std::to_string(form.left() - 8) +
                            " (the bytes left in the FORM), not " + std::to_string(size));
      }
      Span data{start + 8, start + 8 + size};
      chunkName_ = std::string(bytes_.substr(start, 4)) + " chunk";
      readChunk(chunkTag, start, data);
      // Chunks are padded to an even length; a last odd chunk may lack the pad byte.
      form.at = std::min(form.end, data.end + (size & 1u));
    }
  }

  void readChunk(uint32_t chunkTag, size_t start, Span data) {
    if (form_ == kLwob) {
      if (chunkTag == kPnts) readPoints(start, data);
      if (chunkTag == kPols) readOldPolygons(data);
      return;
    }
    if (chunkTag == kLayr) readLayer(data);
    if (chunkTag == kPnts) readPoints(start, data);
    if (chunkTag == kVmap) readVertexMap(start, data);
    if (chunkTag == kPols) readPolygons(data);
    // Anything else (surfaces, tags, clips, envelopes, nested FORMs of LWO3) is skipped by its size.
  }

  // The layer data belongs to: the last LAYR's, or layer 0 when none came yet.
  ObjectLayer& layer() {
    if (file_.layers.empty()) {
      file_.layers.emplace_back();
      readings_.emplace_back();
    }
    return file_.layers.back();
  }
  LayerReading& reading() {
    layer();
    return readings_.back();
  }

  void readLayer(Span data) {
    const size_t numberAt = data.at;
    ObjectLayer layer;
    layer.number = readU2(data, "the layer number (U2)");
    for (const ObjectLayer& earlier : file_.layers) {
      if (earlier.number == layer.number) {
        fail(numberAt, "a layer number not used before in the file, not " + std::to_string(layer.number));
      }
    }
    readU2(data, "the layer flags (U2)");
    layer.pivot = readVec12(data, "a pivot coordinate (F4)");
    layer.name = readS0(data, "the layer name (S0)");
    LayerReading reading;
    reading.parentAt = data.at;
    if (data.left() >= 2) {
      const uint16_t parent = readU2(data, "the parent layer (U2)");
      if (parent != kNoParent) layer.parent = parent;
    }
    file_.layers.push_back(std::move(layer));
    readings_.push_back(reading);
  }

  void readPoints(size_t start, Span data) {
    if (data.left() % kPointBytes != 0) {
      fail(start + 4, "a PNTS size that is a whole number of points (12 bytes each), not " +
                          std::to_string(data.left()));
    }
    ObjectLayer& points = layer();
    LayerReading& state = reading();
    const size_t count = data.left() / kPointBytes;
    state.hasPoints = true;
    state.pointsBase = points.points.size();
    state.pointsCount = count;
    points.points.reserve(points.points.size() + count);
    while (!data.empty()) points.points.push_back(readVec12(data, "a point coordinate (F4)"));
    // Maps begun before this PNTS get a slot for each of its points: no value yet.
    for (WeightMap& map : points.weightMaps) {
      chargeWeightSlots(count, start);
      map.values.resize(points.points.size());
    }
  }

  void readVertexMap(size_t start, Span data) {
    const uint32_t type = readU4(data, "the map type (ID4)");
    const size_t dimensionAt = data.at;
    const uint16_t dimension = readU2(data, "the map dimension (U2)");
    const std::string name = readS0(data, "the map name (S0)");
    if (type != kWght) return;
    if (dimension != 1) fail(dimensionAt, "dimension 1 for a WGHT map, not " + std::to_string(dimension));
    if (!reading().hasPoints)
      fail(start, "a PNTS chunk in this layer before its VMAP, whose values are per point");
    const LayerReading& state = reading();
    ObjectLayer& owner = layer();
    auto map = std::find_if(owner.weightMaps.begin(), owner.weightMaps.end(),
                            [&](const WeightMap& m) { return m.name == name; });
    if (map == owner.weightMaps.end()) {
      chargeWeightSlots(owner.points.size(), start);
      owner.weightMaps.push_back({name, std::vector<std::optional<float>>(owner.points.size())});
      map = owner.weightMaps.end() - 1;
    }
    while (!data.empty()) {
      const int point = readPointIndex(data, state, true);
      map->values[static_cast<size_t>(point)] = readFinite(data, "a weight (F4)");
    }
  }

  // A weight map holds a slot for every point of its layer, so a few bytes of map can ask for
  // many slots: all maps together get at most kWeightSlotsPerFileByte for each byte of the file.
  void chargeWeightSlots(size_t slots, size_t chunkStart) {
    weightSlots_ += slots;
    if (weightSlots_ > kWeightSlotsPerFileByte * bytes_.size()) {
      fail(chunkStart, "weight maps whose values fit the file's size: all its maps together would hold " +
                           std::to_string(weightSlots_) + " values for its " + std::to_string(bytes_.size()) +
                           " bytes");
    }
  }

  // LWO2 and LWO3: a type, then polygons of a count (low 10 bits) and that many VX corners.
  void readPolygons(Span data) {
    readU4(data, "the polygon type (ID4)");
    const LayerReading& state = reading();
    size_t count = 0;
    for (Span polygon = data; !polygon.empty(); ++count) {
      const size_t corners = readU2(polygon, "a polygon's corner count (U2)") & kCornerCountMask;
      for (size_t c = 0; c < corners; ++c) skipCorner(polygon, c, corners, true);
    }
    std::vector<std::vector<int>>& polygons = layer().polygons;
    polygons.reserve(polygons.size() + count);
    while (!data.empty()) {
      const size_t corners = readU2(data, "a polygon's corner count (U2)") & kCornerCountMask;
      if (corners == 0) continue;
      std::vector<int>& polygon = polygons.emplace_back(corners);
      for (int& corner : polygon) corner = readPointIndex(data, state, true);
    }
  }

  // LWOB: polygons of a count, U2 corners and a signed surface number; a negative one is
  // followed by a count of detail polygons of the same form, which are skipped.
  void readOldPolygons(Span data) {
    const LayerReading& state = reading();
    size_t count = 0;
    for (Span polygon = data; !polygon.empty(); ++count) skipOldPolygons(polygon, 1);
    std::vector<std::vector<int>>& polygons = layer().polygons;
    polygons.reserve(polygons.size() + count);
    while (!data.empty()) {
      const size_t corners = readU2(data, "a polygon's corner count (U2)");
      std::vector<int> polygon(corners);
      for (int& corner : polygon) corner = readPointIndex(data, state, false);
      const auto surface = static_cast<int16_t>(readU2(data, "the polygon's surface number (I2)"));
      if (!polygon.empty()) polygons.push_back(std::move(polygon));
      if (surface < 0) skipOldPolygons(data, detailCount(data));
    }
  }
  size_t detailCount(Span& data) const {
    const size_t at = data.at;
    const auto details = static_cast<int16_t>(readU2(data, "the count of detail polygons (I2)"));
    if (details < 0) fail(at, "a count of detail polygons of 0 or more, not " + std::to_string(details));
    return static_cast<size_t>(details);
  }
  // Skips whole polygons, with any details they bring; in a loop, so nesting costs no stack.
  void skipOldPolygons(Span& data, size_t count) const {
    for (; count > 0; --count) {
      const size_t corners = readU2(data, "a polygon's corner count (U2)");
      for (size_t c = 0; c < corners; ++c) skipCorner(data, c, corners, false);
      const auto surface = static_cast<int16_t>(readU2(data, "the polygon's surface number (I2)"));
      if (surface < 0) count += detailCount(data);
    }
  }

  // Past one corner (VX, or U2 in LWOB), checking only that it is there.
  void skipCorner(Span& span, size_t corner, size_t corners, bool vx) const {
    const size_t size = vx && span.left() >= 1 && byte(span.at) == 0xFF ? 4 : 2;
    if (span.left() < size) {
      need(span, size,
           "corner " + std::to_string(corner + 1) + " of a polygon of " + std::to_string(corners));
    }
    span.at += size;
  }

  void checkParents() const {
    const auto find = [&](int number) -> int {
      for (size_t k = 0; k < file_.layers.size(); ++k) {
        if (file_.layers[k].number == number) return static_cast<int>(k);
      }
      return -1;
    };
    for (size_t k = 0; k < file_.layers.size(); ++k) {
      const int parent = file_.layers[k].parent;
      if (parent < 0) continue;
      if (find(parent) < 0) {
        fail(readings_[k].parentAt,
             "the number of a layer in the file as the parent, not " + std::to_string(parent));
      }
      // Up the parents: past as many steps as there are layers, they went round.
      int at = static_cast<int>(k);
      for (size_t steps = 0; at >= 0; ++steps) {
        if (steps > file_.layers.size()) {
          fail(readings_[k].parentAt, "a parent that does not lead back to layer " +
                                          std::to_string(file_.layers[k].number) +
                                          " (its parents form a loop)");
        }
        const int up = file_.layers[static_cast<size_t>(at)].parent;
        at = up < 0 ? -1 : find(up);
      }
    }
  }

  std::string_view bytes_;
  const std::string& name_;
  uint32_t form_ = 0;
  std::string chunkName_ = "FORM";
  ObjectFile file_;
  std::vector<LayerReading> readings_;  // one for each layer of file_
  size_t weightSlots_ = 0;
};

}  // namespace

const ObjectLayer* ObjectFile::layerShownAs(int layer) const {
  for (const ObjectLayer& candidate : layers) {
    if (candidate.number == layer - 1) return &candidate;
  }
  return nullptr;
}

ObjectFile parseLwo(std::string_view bytes, const std::string& name) { return LwoReader(bytes, name).read(); }

ObjectFile readLwoFile(const std::filesystem::path& file) {
  const std::string name = displayPath(file);
  std::error_code code;
  if (!std::filesystem::is_regular_file(file, code))
    throw LwoError(name + ": cannot be read (missing or not a file)");
  const uintmax_t size = std::filesystem::file_size(file, code);
  std::ifstream in(file, std::ios::binary);
  if (code || !in.is_open()) throw LwoError(name + ": cannot be read");
  // Read straight into a buffer of the file's size: no copy, no growth.
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  if (in.gcount() != static_cast<std::streamsize>(size)) throw LwoError(name + ": cannot be read whole");
  return parseLwo(bytes, name);
}

}  // namespace tarrow::host
