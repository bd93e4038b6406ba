#include "host/scene/scene_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>

#include "host/base/number_text.h"
#include "host/scene/file_text.h"
#include "host/scene/lws_file.h"
#include "host/scene/scene_mesh.h"
#include "host/scene/value_bounds.h"

namespace tarrow::host {

using json = nlohmann::ordered_json;

namespace {

// The length of the well-formed UTF-8 sequence at the start of text, or 0 when it is none.
size_t utf8Length(std::string_view text) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
  if (length == 0 || text.size() < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return 0;
  }
  // No overlong forms, no surrogates, nothing past U+10FFFF.
  if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F) ||
      (lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) > 0x8F)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string oneLine(const std::string& message) {
  std::string out;
  out.reserve(message.size());
  for (size_t k = 0; k < message.size();) {
    const char c = message[k];
    const auto byte = static_cast<unsigned char>(c);
    const size_t length = utf8Length(std::string_view(message).substr(k));
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F || length == 0) {
      static const char digits[] = "0123456789ABCDEF";
      out += "\\x";
      out += digits[byte >> 4];
      out += digits[byte & 0xF];
    } else {
      out.append(message, k, length);
      k += length;
      continue;
    }
    ++k;
  }
  return out;
}

namespace {

[[noreturn]] void throwSceneError(const std::string& message) { throw SceneError(oneLine(message)); }

}  // namespace

void failAt(const std::filesystem::path& file, const std::string& place, const std::string& what) {
  throwSceneError(file.string() + ": " + (place.empty() ? "/" : place) + ": " + what);
}

namespace {

std::string escapeKey(const std::string& key) {
  std::string out;
  for (char c : key) {
    if (c == '~') {
      out += "~0";
    } else if (c == '/') {
      out += "~1";
    } else {
      out += c;
    }
  }
  return out;
}

std::string at(const std::string& place, const std::string& key) { return place + "/" + escapeKey(key); }
std::string at(const std::string& place, size_t index) { return place + "/" + std::to_string(index); }

// The names of a JSON scene's channels, span types and behaviours, in the order of their numbers.
constexpr const char* kChannelNames[] = {"x",    "y",      "z",      "heading", "pitch",
                                         "bank", "scaleX", "scaleY", "scaleZ"};
static_assert(std::size(kChannelNames) == kChannelCount);
constexpr std::string_view kSpanNames[] = {"tcb", "hermite", "bezier1d", "linear", "stepped", "bezier2d"};
constexpr std::string_view kBehaviorNames[] = {"reset",     "constant",     "repeat",
                                               "oscillate", "offsetRepeat", "linear"};
// A file name may have 255 bytes (UTF-16 units on Windows, never more than the bytes). An
// object's name is followed by at most 16 in its frame files ("_-2147483648.obj") and those by
// at most 65 in their temporaries (".<name>.tarrow-partial-<process>-<16 digits>-<count>").
constexpr size_t kMostObjectNameBytes = 160;

// Reads one scene document, naming the file and the JSON pointer of whatever is wrong.
class SceneReader {
 public:
  explicit SceneReader(std::filesystem::path file) : file_(std::move(file)) {}

  Scene read(const json& document) {
    Scene scene;
    scene.file = file_;
    expectObject(document, "", {"fps", "frames", "renderCamera", "host", "items", "comment"});
    // Which release the host plays is the host's to check; the scene only names it.
    if (document.contains("host")) scene.host = text(document["host"], "/host");
    scene.fps = number(required(document, "", "fps"), "/fps", kFpsBounds);
    readFrames(required(document, "", "frames"), scene);
    const json& items = required(document, "", "items");
    if (!items.is_array()) fail("/items", "must be an array of items");
    for (size_t i = 0; i < items.size(); ++i) scene.items.push_back(readItem(items[i], at("/items", i)));
    resolveNames(items, scene);
    if (document.contains("renderCamera")) readRenderCamera(document["renderCamera"], scene);
    scene.document = document;
    return scene;
  }

 private:
  [[noreturn]] void fail(const std::string& place, const std::string& what) const {
    failAt(file_, place, what);
  }

  void expectObject(const json& value, const std::string& place,
                    std::initializer_list<const char*> known) const {
    if (!value.is_object()) fail(place, "must be an object");
    for (const auto& [key, member] : value.items()) {
      bool isKnown = false;
      for (const char* name : known) isKnown = isKnown || key == name;
      if (!isKnown) fail(at(place, key), "unknown field");
    }
  }

  const json& required(const json& object, const std::string& place, const char* key) const {
    auto found = object.find(key);
    if (found == object.end()) fail(place, std::string("missing field \"") + key + "\"");
    return *found;
  }

  void checkBounds(double value, const std::string& place, const Bounds& bounds) const {
    if (!(value >= bounds.least && value <= bounds.most)) {
      fail(place, numberText(value) + " is out of bounds: must be from " + numberText(bounds.least) + " to " +
                      numberText(bounds.most));
    }
  }

  double number(const json& value, const std::string& place, const Bounds& bounds) const {
    if (!value.is_number()) fail(place, "must be a number");
    const double result = value.get<double>();
    checkBounds(result, place, bounds);
    return result;
  }

  int integer(const json& value, const std::string& place) const {
    if (!value.is_number_integer()) fail(place, "must be an integer");
    if (value.is_number_unsigned() ? value.get<uint64_t>() > uint64_t{std::numeric_limits<int>::max()}
                                   : (value.get<int64_t>() < std::numeric_limits<int>::min() ||
                                      value.get<int64_t>() > std::numeric_limits<int>::max())) {
      fail(place, "is out of range");
    }
    return static_cast<int>(value.get<int64_t>());
  }

  std::string text(const json& value, const std::string& place) const {
    if (!value.is_string()) fail(place, "must be a string");
    return value.get<std::string>();
  }

  Vec3 vec3(const json& value, const std::string& place, const Bounds& bounds) const {
    if (!value.is_array() || value.size() != 3) fail(place, "must be an array of three numbers");
    return {number(value[0], at(place, 0), bounds), number(value[1], at(place, 1), bounds),
            number(value[2], at(place, 2), bounds)};
  }

  // A scale that is or passes through zero would flatten the item and leave it without an
  // inverse: so no component is zero, and none changes sign from one key to the next (a key
  // without "scale" has 1, 1, 1).
  Vec3 nonzeroScale(const json& value, const std::string& place) const {
    const Vec3 scale = vec3(value, place, kScaleBounds);
    for (size_t i = 0; i < 3; ++i) {
      if (scale[i] == 0.0) fail(at(place, i), "must not be zero");
    }
    return scale;
  }

  void keepScaleSign(const Vec3& before, const Vec3& scale, const std::string& place, bool given) const {
    for (size_t i = 0; i < 3; ++i) {
      if ((scale[i] < 0.0) == (before[i] < 0.0)) continue;
      if (given) fail(at(place, i), "changes sign from the key before, so the scale would pass through zero");
      fail(place,
           "the scale (1, 1, 1 when not given) changes sign from the key before, so it would pass "
           "through zero");
    }
  }

  void readFrames(const json& frames, Scene& scene) const {
    if (!frames.is_array() || frames.size() != 2) fail("/frames", "must be [first, last]");
    scene.firstFrame = integer(frames[0], "/frames/0");
    scene.lastFrame = integer(frames[1], "/frames/1");
    if (scene.lastFrame < scene.firstFrame) fail("/frames/1", "the last frame comes before the first");
  }

  static std::optional<LWItemType> typeNamed(const std::string& name) {
    if (name == "object") return LWI_OBJECT;
    if (name == "light") return LWI_LIGHT;
    if (name == "camera") return LWI_CAMERA;
    return std::nullopt;
  }

  SceneItem readItem(const json& value, const std::string& place) const {
    expectObject(value, place,
                 {"name", "type", "parent", "motion", "channels", "pivot", "points", "mesh", "polygons",
                  "weightMaps", "deformers", "comment"});
    SceneItem item;
    item.place = place;
    item.name = text(required(value, place, "name"), at(place, "name"));
    const std::string typeName = text(required(value, place, "type"), at(place, "type"));
    const auto type = typeNamed(typeName);
    if (!type) fail(at(place, "type"), "unknown type \"" + typeName + "\" (object, light or camera)");
    item.type = *type;
    if (value.contains("motion") && value.contains("channels")) {
      fail(at(place, "channels"), "an item has either motion or channels, not both");
    }
    if (value.contains("motion")) item.channels = readMotion(value["motion"], at(place, "motion"));
    if (value.contains("channels")) item.channels = readChannels(value["channels"], at(place, "channels"));
    if (value.contains("pivot")) item.pivot = vec3(value["pivot"], at(place, "pivot"), kPositionBounds);
    if (item.type != LWI_OBJECT) {
      for (const char* key : {"points", "mesh", "polygons", "weightMaps", "deformers"}) {
        if (value.contains(key)) fail(at(place, key), "only objects have " + std::string(key));
      }
      return item;
    }
    readGeometry(value, place, item);
    if (value.contains("weightMaps")) readWeightMaps(value["weightMaps"], at(place, "weightMaps"), item);
    if (value.contains("deformers")) readDeformers(value["deformers"], at(place, "deformers"), item);
    return item;
  }

  // The keys of position, rotation and scale together: each value becomes a key of a linear span
  // on its channel, held before the first key and after the last, angles in degrees.
  Channels readMotion(const json& value, const std::string& place) const {
    if (!value.is_array()) fail(place, "must be an array of keys");
    Channels channels = channelsInDegrees();
    Vec3 scaleBefore{};
    for (size_t k = 0; k < value.size(); ++k) {
      const std::string keyPlace = at(place, k);
      expectObject(value[k], keyPlace, {"time", "position", "rotation", "scale"});
      const double time = number(required(value[k], keyPlace, "time"), at(keyPlace, "time"), kTimeBounds);
      if (k > 0 && !(time > channels[kPositionX].keys.back().time)) {
        fail(at(keyPlace, "time"), "keys must come in strictly increasing time");
      }
      Vec3 position{};
      Vec3 rotation{};
      Vec3 scale{1.0, 1.0, 1.0};
      if (value[k].contains("position"))
        position = vec3(value[k]["position"], at(keyPlace, "position"), kPositionBounds);
      if (value[k].contains("rotation"))
        rotation = vec3(value[k]["rotation"], at(keyPlace, "rotation"), kAngleBounds);
      const bool scaled = value[k].contains("scale");
      if (scaled) scale = nonzeroScale(value[k]["scale"], at(keyPlace, "scale"));
      if (k > 0) keepScaleSign(scaleBefore, scale, scaled ? at(keyPlace, "scale") : keyPlace, scaled);
      scaleBefore = scale;
      const Vec3* groups[] = {&position, &rotation, &scale};
      for (size_t c = 0; c < kChannelCount; ++c) {
        channels[c].keys.push_back({time, (*groups[c / 3])[c % 3], SpanType::kLinear, {}});
      }
    }
    return channels;
  }

  static Channels channelsInDegrees() {
    Channels channels;
    for (size_t c = kHeading; c <= kBank; ++c) channels[c].unit = kRadiansPerDegree;
    return channels;
  }

  // Curves of their own, channel by channel, as Layout keys them (angles in degrees).
  Channels readChannels(const json& value, const std::string& place) const {
    expectObject(value, place, {"x", "y", "z", "heading", "pitch", "bank", "scaleX", "scaleY", "scaleZ"});
    Channels channels = channelsInDegrees();
    for (size_t c = 0; c < kChannelCount; ++c) {
      const char* name = kChannelNames[c];
      if (value.contains(name))
        readEnvelope(value[name], at(place, name), static_cast<Channel>(c), channels[c]);
    }
    return channels;
  }

  void readEnvelope(const json& value, const std::string& place, Channel channel, Envelope& envelope) const {
    expectObject(value, place, {"keys", "pre", "post"});
    const bool scale = channel >= kScaleX;
    if (value.contains("pre")) envelope.pre = behavior(value["pre"], at(place, "pre"), scale);
    if (value.contains("post")) envelope.post = behavior(value["post"], at(place, "post"), scale);
    const json& keys = required(value, place, "keys");
    const std::string keysPlace = at(place, "keys");
    if (!keys.is_array()) fail(keysPlace, "must be an array of keys");
    const Bounds& bounds = channel <= kPositionZ ? kPositionBounds
                           : channel <= kBank    ? kAngleBounds
                                                 : kScaleBounds;
    for (size_t k = 0; k < keys.size(); ++k) {
      const std::string keyPlace = at(keysPlace, k);
      envelope.keys.push_back(envelopeKey(keys[k], keyPlace, bounds));
      const EnvelopeKey& key = envelope.keys.back();
      if (k > 0 && !(key.time > envelope.keys[k - 1].time)) {
        fail(at(keyPlace, "time"), "keys must come in strictly increasing time");
      }
      if (!scale) continue;
      if (key.value == 0.0) fail(at(keyPlace, "value"), "a scale must not be zero");
      if (k > 0 && (key.value < 0.0) != (envelope.keys[k - 1].value < 0.0)) {
        fail(at(keyPlace, "value"), "changes sign from the key before, so the scale would pass through zero");
      }
    }
  }

  EnvelopeKey envelopeKey(const json& value, const std::string& place, const Bounds& bounds) const {
    if (!value.is_object()) fail(place, "must be an object");
    EnvelopeKey key;
    if (value.contains("span")) {
      const std::string name = text(value["span"], at(place, "span"));
      const auto found = std::find(std::begin(kSpanNames), std::end(kSpanNames), name);
      if (found == std::end(kSpanNames)) {
        fail(at(place, "span"),
             "unknown span type \"" + name + "\" (tcb, hermite, bezier1d, linear, stepped or bezier2d)");
      }
      key.span = static_cast<SpanType>(found - std::begin(kSpanNames));
    }
    switch (key.span) {
      case SpanType::kTcb:
        expectObject(value, place, {"time", "value", "span", "tension", "continuity", "bias"});
        break;
      case SpanType::kHermite:
      case SpanType::kBezier1D:
      case SpanType::kBezier2D:
        expectObject(value, place, {"time", "value", "span", "in", "out"});
        break;
      default:
        expectObject(value, place, {"time", "value", "span"});
        break;
    }
    key.time = number(required(value, place, "time"), at(place, "time"), kTimeBounds);
    key.value = number(required(value, place, "value"), at(place, "value"), bounds);
    const auto optional = [&](const char* name, size_t param, const Bounds& within) {
      if (value.contains(name)) key.params[param] = number(value[name], at(place, name), within);
    };
    if (key.span == SpanType::kBezier2D) {
      // Handles: [time, value] relative to the key; the incoming one lies before it in time.
      for (const auto& [name, first] : {std::pair{"in", size_t{0}}, std::pair{"out", size_t{2}}}) {
        if (!value.contains(name)) continue;
        const json& handle = value[name];
        const std::string handlePlace = at(place, name);
        if (!handle.is_array() || handle.size() != 2)
          fail(handlePlace, "must be [time, value] of the handle");
        key.params[first] = number(handle[0], at(handlePlace, 0), kTimeBounds);
        key.params[first + 1] = number(handle[1], at(handlePlace, 1), bounds);
      }
    } else {
      optional("tension", 0, kCurveParameterBounds);
      optional("continuity", 1, kCurveParameterBounds);
      optional("bias", 2, kCurveParameterBounds);
      optional("in", 3, bounds);
      optional("out", 4, bounds);
    }
    return key;
  }

  // A scale channel cannot reset: it would flatten the item to nothing outside its keys.
  Behavior behavior(const json& value, const std::string& place, bool scale) const {
    const std::string name = text(value, place);
    const auto found = std::find(std::begin(kBehaviorNames), std::end(kBehaviorNames), name);
    if (found == std::end(kBehaviorNames)) {
      fail(place,
           "unknown behaviour \"" + name + "\" (reset, constant, repeat, oscillate, offsetRepeat or linear)");
    }
    const auto result = static_cast<Behavior>(found - std::begin(kBehaviorNames));
    if (scale && result == Behavior::kReset) fail(place, "a scale channel cannot reset to 0");
    return result;
  }

  void readGeometry(const json& value, const std::string& place, SceneItem& item) const {
    if (value.contains("points") && value.contains("mesh")) {
      fail(at(place, "mesh"), "an object has either points or a mesh, not both");
    }
    if (value.contains("points")) {
      const json& points = value["points"];
      const std::string pointsPlace = at(place, "points");
      if (!points.is_array()) fail(pointsPlace, "must be an array of [x, y, z]");
      for (size_t p = 0; p < points.size(); ++p)
        item.points.push_back(vec3(points[p], at(pointsPlace, p), kPositionBounds));
    } else if (value.contains("mesh")) {
      const std::string meshPlace = at(place, "mesh");
      const std::filesystem::path mesh = file_.parent_path() / text(value["mesh"], meshPlace);
      try {
        ObjMesh obj = readObjFile(mesh);
        for (size_t p = 0; p < obj.points.size(); ++p) {
          for (double coordinate : obj.points[p]) {
            checkBounds(coordinate, meshPlace + ": point " + std::to_string(p), kPositionBounds);
          }
        }
        item.points = std::move(obj.points);
        item.polygons = std::move(obj.polygons);
      } catch (const ObjError& error) {
        fail(meshPlace, error.what());
      }
    }
    if (value.contains("polygons")) {
      item.polygons = readPolygons(value["polygons"], at(place, "polygons"), item.points.size());
    }
  }

  std::vector<std::vector<int>> readPolygons(const json& value, const std::string& place,
                                             size_t pointCount) const {
    if (!value.is_array()) fail(place, "must be an array of polygons");
    std::vector<std::vector<int>> polygons;
    for (size_t q = 0; q < value.size(); ++q) {
      const std::string polygonPlace = at(place, q);
      if (!value[q].is_array() || value[q].size() < 3) {
        fail(polygonPlace, "must be an array of at least three point indices");
      }
      std::vector<int> polygon;
      for (size_t v = 0; v < value[q].size(); ++v) {
        const int index = integer(value[q][v], at(polygonPlace, v));
        if (index < 0 || static_cast<size_t>(index) >= pointCount) {
          fail(at(polygonPlace, v), "point index " + std::to_string(index) +
                                        " is out of range (the object has " + std::to_string(pointCount) +
                                        " points)");
        }
        polygon.push_back(index);
      }
      polygons.push_back(std::move(polygon));
    }
    return polygons;
  }

  void readWeightMaps(const json& value, const std::string& place, SceneItem& item) const {
    if (!value.is_object()) fail(place, "must be an object of weight maps by name");
    for (const auto& [name, values] : value.items()) {
      const std::string mapPlace = at(place, name);
      if (name.empty()) fail(mapPlace, "a weight map needs a name");
      if (!values.is_array()) fail(mapPlace, "must be an array with a weight or null for each point");
      if (values.size() != item.points.size()) {
        fail(mapPlace, "has " + std::to_string(values.size()) + " weights for " +
                           std::to_string(item.points.size()) + " points");
      }
      WeightMap map{name, {}};
      for (size_t p = 0; p < values.size(); ++p) {
        if (values[p].is_null()) {
          map.values.emplace_back();
          continue;
        }
        map.values.emplace_back(static_cast<float>(number(values[p], at(mapPlace, p), kWeightBounds)));
      }
      item.weightMaps.push_back(std::move(map));
    }
  }

  void readDeformers(const json& value, const std::string& place, SceneItem& item) const {
    if (!value.is_array()) fail(place, "must be an array of deformers");
    for (size_t d = 0; d < value.size(); ++d) {
      const std::string deformerPlace = at(place, d);
      expectObject(value[d], deformerPlace, {"server", "state", "nodes", "panel"});
      DeformerSpec deformer;
      deformer.place = deformerPlace;
      deformer.server = text(required(value[d], deformerPlace, "server"), at(deformerPlace, "server"));
      // Whether the module offers the server is known only once it is loaded.
      if (deformer.server.empty()) fail(at(deformerPlace, "server"), "must name a server of the module");
      if (value[d].contains("state")) deformer.state = text(value[d]["state"], at(deformerPlace, "state"));
      if (value[d].contains("nodes")) {
        if (!value[d]["nodes"].is_object()) fail(at(deformerPlace, "nodes"), "must be an object");
        deformer.nodes = nlohmann::json::parse(value[d]["nodes"].dump());
      }
      if (value[d].contains("panel")) {
        if (!value[d]["panel"].is_object()) fail(at(deformerPlace, "panel"), "must be an object");
        deformer.panel = nlohmann::json::parse(value[d]["panel"].dump());
      }
      item.deformers.push_back(std::move(deformer));
    }
  }

  // Object names become file names of the frames written, so they must be plain names.
  void checkFileName(const SceneItem& item) const {
    const std::string& name = item.name;
    bool plain = !name.empty() && name != "." && name != "..";
    for (unsigned char c : name) {
      plain = plain && c >= 0x20 && c != 0x7F &&
              std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) == std::string_view::npos;
    }
    if (!plain) fail(at(item.place, "name"), "an object's name must be usable as a file name");
    if (name.size() > kMostObjectNameBytes) {
      fail(at(item.place, "name"), "an object's name names its files, and is at most " +
                                       std::to_string(kMostObjectNameBytes) + " bytes long; this one has " +
                                       std::to_string(name.size()));
    }
  }

  void resolveNames(const json& items, Scene& scene) const {
    for (size_t i = 0; i < scene.items.size(); ++i) {
      const SceneItem& item = scene.items[i];
      for (size_t j = 0; j < i; ++j) {
        if (scene.items[j].name == item.name) {
          fail(at(item.place, "name"), "another item is already named \"" + item.name + "\"");
        }
      }
      if (item.type == LWI_OBJECT) checkFileName(item);
    }
    for (size_t i = 0; i < scene.items.size(); ++i) {
      const json& parent = items[i].contains("parent") ? items[i]["parent"] : json();
      if (parent.is_null()) continue;
      const std::string parentPlace = at(scene.items[i].place, "parent");
      const std::string name = text(parent, parentPlace);
      scene.items[i].parent = find(scene, name);
      if (scene.items[i].parent < 0) fail(parentPlace, "no item is named \"" + name + "\"");
    }
    for (size_t i = 0; i < scene.items.size(); ++i) {
      size_t steps = 0;
      for (int up = scene.items[i].parent; up >= 0; up = scene.items[up].parent) {
        if (++steps > scene.items.size()) {
          fail(at(scene.items[i].place, "parent"), "the parents form a loop");
        }
      }
    }
  }

  void readRenderCamera(const json& value, Scene& scene) const {
    if (value.is_null()) return;
    const std::string name = text(value, "/renderCamera");
    const int camera = find(scene, name);
    if (camera < 0) fail("/renderCamera", "no item is named \"" + name + "\"");
    if (scene.items[camera].type != LWI_CAMERA) fail("/renderCamera", "\"" + name + "\" is not a camera");
    scene.renderCamera = camera;
  }

  static int find(const Scene& scene, const std::string& name) {
    for (size_t i = 0; i < scene.items.size(); ++i) {
      if (scene.items[i].name == name) return static_cast<int>(i);
    }
    return -1;
  }

  std::filesystem::path file_;
};

// Copying and writing a document recurse once a level, so text nested deeper than this is
// refused before it is parsed; scenes nest a handful of levels (node networks a few more).
constexpr int kMostNesting = 100;

// Walks the bytes of the text that lie outside JSON strings: visit(i) returns how many bytes it
// has read from i on, or 0 to stop there. Returns the 1-based byte it stopped at, or 0.
template <typename Visit>
size_t firstOutsideStrings(std::string_view text, Visit visit) {
  bool inString = false;
  bool escaped = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else {
      const size_t read = visit(i);
      if (read == 0) return i + 1;
      i += read - 1;
    }
  }
  return 0;
}

// The 1-based byte at which the text opens its level kMostNesting + 1, or 0 when it never does.
size_t tooDeepAt(std::string_view text) {
  int depth = 0;
  return firstOutsideStrings(text, [&](size_t i) -> size_t {
    if (text[i] == '[' || text[i] == '{') return ++depth > kMostNesting ? 0 : 1;
    if (text[i] == ']' || text[i] == '}') --depth;
    return 1;
  });
}

// The number literal at offset start.
std::string_view numberTokenAt(std::string_view text, size_t start) {
  size_t end = start;
  while (end < text.size() && std::string_view("+-0123456789.eE").find(text[end]) != std::string_view::npos) {
    ++end;
  }
  return text.substr(start, end - start);
}

// The 1-based byte at which the first number literal beyond the range of a double starts, or 0.
size_t hugeNumberAt(std::string_view text) {
  return firstOutsideStrings(text, [&](size_t i) -> size_t {
    if (text[i] != '-' && (text[i] < '0' || text[i] > '9')) return 1;
    const std::string token(numberTokenAt(text, i));
    return std::isfinite(std::strtod(token.c_str(), nullptr)) ? token.size() : 0;
  });
}

// Follows the parser's events to find the first field an object holds twice, by its JSON pointer.
class DuplicateField {
 public:
  void see(json::parse_event_t event, const json& parsed) {
    switch (event) {
      case json::parse_event_t::object_start:
      case json::parse_event_t::array_start:
        levels_.push_back(Level{event == json::parse_event_t::object_start, {}, {}, 0});
        break;
      case json::parse_event_t::key: {
        Level& level = levels_.back();
        level.key = parsed.get<std::string>();
        if (!level.keys.insert(level.key).second && !found()) place_ = pointer();
        break;
      }
      case json::parse_event_t::object_end:
      case json::parse_event_t::array_end:
        levels_.pop_back();
        valueDone();
        break;
      case json::parse_event_t::value:
        valueDone();
        break;
    }
  }
  bool found() const { return !place_.empty(); }
  const std::string& place() const { return place_; }

 private:
  struct Level {
    bool object;
    std::set<std::string> keys;
    std::string key;  // of the member being read
    size_t index;     // of the element being read
  };
  void valueDone() {
    if (!levels_.empty() && !levels_.back().object) ++levels_.back().index;
  }
  std::string pointer() const {
    std::string place;
    for (const Level& level : levels_) place = level.object ? at(place, level.key) : at(place, level.index);
    return place;
  }
  std::vector<Level> levels_;
  std::string place_;
};

// nlohmann reports a byte offset; people read lines and columns.
std::string positionOf(std::string_view text, size_t byte) {
  size_t line = 1;
  size_t column = 1;
  for (size_t i = 0; i + 1 < byte && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + " (byte " +
         std::to_string(byte) + ")";
}

// The library's message without its "[json.exception...] parse error at ...: " preamble.
std::string reasonOf(const std::string& message) {
  const size_t column = message.find("column ");
  const size_t colon = message.find(": ", column == std::string::npos ? 0 : column);
  return colon == std::string::npos ? message : message.substr(colon + 2);
}

}  // namespace

Scene parseScene(std::string_view text, const std::filesystem::path& file) {
  if (const size_t byte = tooDeepAt(text)) {
    throwSceneError(file.string() + ": " + positionOf(text, byte) + ": nested deeper than " +
                    std::to_string(kMostNesting) + " levels");
  }
  json document;
  DuplicateField duplicate;
  try {
    document = json::parse(text, [&duplicate](int, json::parse_event_t event, json& parsed) {
      duplicate.see(event, parsed);
      return true;
    });
  } catch (const json::parse_error& error) {
    throwSceneError(file.string() + ": " + positionOf(text, error.byte) +
                    ": not JSON: " + reasonOf(error.what()));
  } catch (const json::exception& error) {
    if (const size_t byte = hugeNumberAt(text)) {
      throwSceneError(file.string() + ": " + positionOf(text, byte) + ": the number " +
                      std::string(numberTokenAt(text, byte - 1)) + " is too large for a double");
    }
    throwSceneError(file.string() + ": /: not usable JSON: " + reasonOf(error.what()));
  }
  // The parser keeps the last of a field given twice; a scene says each thing once, so that an
  // edit to the first one is never silently overridden.
  if (duplicate.found()) failAt(file, duplicate.place(), "field given twice; a field may appear once");
  return SceneReader(file).read(document);
}

Scene loadScene(const std::filesystem::path& file, const std::vector<std::filesystem::path>& contentDirs) {
  const std::optional<std::string> text = readFileText(file);
  if (!text) throwSceneError(file.string() + ": cannot be read (missing or not a file)");
  // Known by its content, whatever the file's name.
  if (isLwsText(*text)) return parseLws(*text, file, contentDirs);
  return parseScene(*text, file);
}

}  // namespace tarrow::host
