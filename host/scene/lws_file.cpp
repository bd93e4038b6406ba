#include "host/scene/lws_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>

#include "host/base/number_text.h"
#include "host/base/path_text.h"
#include "host/scene/file_text.h"
#include "host/scene/lwo_file.h"
#include "host/scene/scene_file.h"
#include "host/scene/value_bounds.h"

namespace tarrow::host {
namespace {

// The deformer of this module, the only plug-in a scene's objects carry that the host evaluates.
constexpr std::string_view kDeformerServer = "Tarrow_plus";
constexpr std::string_view kDeformerClass = "DisplacementHandler";

constexpr Bounds kRadianBounds{kAngleBounds.least * kRadiansPerDegree, kAngleBounds.most* kRadiansPerDegree};
// Tangents and handles of curve keys: finite, and small enough that no evaluation overflows.
constexpr Bounds kKeyParameterBounds{-1e9, 1e9};

struct Line {
  std::string_view text;  // without its line end
  size_t begin = 0;       // byte offset of the line in the file
  int number = 0;         // from 1
};

std::vector<Line> splitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    const size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(begin, end - begin);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back({line, begin, static_cast<int>(lines.size()) + 1});
    begin = next;
  }
  return lines;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Words of a line, taken one by one; the rest may be read whole as a name or a path.
class Words {
 public:
  explicit Words(std::string_view text) : rest_(text) { skipBlanks(); }

  std::string_view next() {
    size_t end = 0;
    while (end < rest_.size() && !isBlank(rest_[end])) ++end;
    const std::string_view word = rest_.substr(0, end);
    rest_.remove_prefix(end);
    skipBlanks();
    return word;
  }
  bool empty() const { return rest_.empty(); }
  std::string_view rest() const { return rest_; }

 private:
  void skipBlanks() {
    while (!rest_.empty() && isBlank(rest_.front())) rest_.remove_prefix(1);
  }
  std::string_view rest_;
};

std::string inQuotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The item type an id's first hexadecimal digit gives.
enum class IdKind { kObject = 1, kLight = 2, kCamera = 3, kBone = 4 };

LWItemType typeOf(IdKind kind) {
  switch (kind) {
    case IdKind::kLight:
      return LWI_LIGHT;
    case IdKind::kCamera:
      return LWI_CAMERA;
    default:
      return LWI_OBJECT;
  }
}

const char* typeName(LWItemType type) {
  switch (type) {
    case LWI_LIGHT:
      return "light";
    case LWI_CAMERA:
      return "camera";
    default:
      return "object";
  }
}

// What is being read: an item of the scene, or a bone, whose lines are read for their form and
// then dropped.
struct Current {
  int item = -1;  // index into the scene's items, -1 before the first item
  bool bone = false;
  int channel = -1;           // the channel the next envelope fills, -1 before a Channel line
  int declaredChannels = -1;  // NumChannels of the motion being read, -1 before one
  int channelsRead = 0;
  int motionLine = 0;
  Channels boneChannels;  // a bone's curves, checked and dropped
};

struct PendingParent {
  int item;
  uint32_t id;
  int line;
};

struct ItemExtras {
  bool bonesWarned = false;
};

class LwsReader {
 public:
  LwsReader(std::string_view text, std::filesystem::path file, std::vector<std::filesystem::path> contentDirs)
      : text_(text), file_(std::move(file)), contentDirs_(std::move(contentDirs)), lines_(splitLines(text)) {
    if (contentDirs_.empty()) {
      const std::filesystem::path folder = file_.parent_path();
      contentDirs_ = {folder, folder.empty() ? std::filesystem::path("..") : folder.parent_path()};
    }
  }

  Scene read() {
    scene_.file = file_;
    readHeader();
    for (at_ = 2; at_ < lines_.size(); ++at_) statement();
    endItem();
    for (const char* keyword : {"FirstFrame", "LastFrame", "FramesPerSecond"}) {
      if (!seen_.contains(keyword))
        failAtLine(lines_.size(), std::string("expected ") + keyword + " in the scene");
    }
    if (scene_.lastFrame < scene_.firstFrame)
      fail(seen_["LastFrame"], "the last frame comes before the first");
    resolveParents();
    const std::vector<int> cameras = scene_.itemsOfType(LWI_CAMERA);
    if (!cameras.empty()) scene_.renderCamera = cameras.front();
    checkNames();
    scene_.sourceText = std::string(text_);
    return std::move(scene_);
  }

 private:
  [[noreturn]] void fail(int line, const std::string& what) const {
    failAt(file_, "line " + std::to_string(line), what);
  }
  [[noreturn]] void failAtLine(size_t index, const std::string& what) const {
    fail(index < lines_.size() ? lines_[index].number : static_cast<int>(lines_.size()), what);
  }
  const Line& line() const { return lines_[at_]; }
  [[noreturn]] void fail(const std::string& what) const { fail(line().number, what); }
  void warn(int line, const std::string& what) {
    scene_.warnings.push_back(file_.string() + ": line " + std::to_string(line) + ": " + what);
  }

  void readHeader() {
    if (lines_.empty() || lines_[0].text != "LWSC") fail(1, "expected LWSC, the mark of a LightWave scene");
    if (lines_.size() < 2) fail(1, "expected the scene format's version on line 2");
    at_ = 1;
    Words words(line().text);
    const int version = integer(words.next(), "the scene format's version");
    if (version == 1 || version == 2) {
      fail(
          "scene format version " + std::to_string(version) +
          " (LightWave 5) keeps motion in a form this host does not read; save the scene from LightWave 6 or "
          "later");
    }
    if (version < 3 || version > 5)
      fail("expected scene format version 3, 4 or 5, not " + std::to_string(version));
    version_ = version;
  }

  // ---- values ----

  int integer(std::string_view word, const std::string& what) const {
    int value = 0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (word.empty() || error != std::errc() || end != word.data() + word.size()) {
      fail("expected " + what + " (a whole number), not " + inQuotes(word));
    }
    return value;
  }

  double number(std::string_view word, const std::string& what, const Bounds& bounds) const {
    double value = 0.0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (word.empty() || error != std::errc() || end != word.data() + word.size()) {
      fail("expected " + what + " (a number), not " + inQuotes(word));
    }
    if (!bounds.holds(value)) {
      fail(what + " " + std::string(word) + " is out of bounds: must be from " + numberText(bounds.least) +
           " to " + numberText(bounds.most));
    }
    return value;
  }

  uint32_t itemId(std::string_view word, const std::string& what) const {
    uint32_t value = 0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, 16);
    if (word.empty() || word.size() > 8 || error != std::errc() || end != word.data() + word.size()) {
      fail("expected " + what + " (an item id of 8 hexadecimal digits), not " + inQuotes(word));
    }
    return value;
  }

  // A name or path: in double quotes, or the rest of the line.
  std::string text(Words& words, const std::string& what) const {
    std::string_view rest = words.rest();
    while (!rest.empty() && isBlank(rest.back())) rest.remove_suffix(1);
    if (rest.starts_with('"')) {
      const size_t close = rest.find('"', 1);
      if (close == std::string_view::npos) fail("expected the closing quote of " + what);
      rest = rest.substr(1, close - 1);
    }
    if (rest.empty()) fail("expected " + what);
    return std::string(rest);
  }

  // ---- statements ----

  void statement() {
    Words words(line().text);
    const std::string_view keyword = words.next();
    if (keyword.empty()) return;
    if (keyword == "{") {
      const std::string_view name = words.next();
      if (name == "Envelope") {
        envelope();
      } else {
        skipBlock();
      }
      return;
    }
    if (keyword == "}") fail("a } that closes no block");
    if (keyword == "Plugin") return plugin(words);
    if (keyword == "EndPlugin") fail("an EndPlugin without its Plugin line");
    if (keyword == "FirstFrame" || keyword == "LastFrame") {
      (keyword == "FirstFrame" ? scene_.firstFrame : scene_.lastFrame) = integer(words.next(), "a frame");
      seen_[std::string(keyword)] = line().number;
    } else if (keyword == "FramesPerSecond") {
      scene_.fps = number(words.next(), "frames per second", kFpsBounds);
      seen_["FramesPerSecond"] = line().number;
    } else if (keyword == "LoadObjectLayer") {
      loadObjectLayer(words);
    } else if (keyword == "AddNullObject") {
      beginItem(LWI_OBJECT, words);
      item().name = text(words, "the null's name");
    } else if (keyword == "AddLight" || keyword == "AddCamera") {
      const LWItemType type = keyword == "AddLight" ? LWI_LIGHT : LWI_CAMERA;
      beginItem(type, words);
      item().name = type == LWI_LIGHT ? "Light" : "Camera";  // until its name line
    } else if (keyword == "LightName" || keyword == "CameraName") {
      const LWItemType type = keyword == "LightName" ? LWI_LIGHT : LWI_CAMERA;
      if (current_.bone || current_.item < 0 || item().type != type) {
        fail(std::string(keyword) + " outside a " + typeName(type));
      }
      item().name = text(words, std::string("the ") + typeName(type) + "'s name");
    } else if (keyword == "AddBone") {
      beginBone();
    } else if (keyword == "ObjectMotion" || keyword == "LightMotion" || keyword == "CameraMotion" ||
               keyword == "BoneMotion") {
      endMotion();
      current_.motionLine = line().number;
    } else if (keyword == "NumChannels") {
      if (current_.item < 0) fail("NumChannels before the first item");
      endMotion();
      current_.motionLine = line().number;
      const int count = integer(words.next(), "the number of channels");
      if (count < 0 || count > static_cast<int>(kChannelCount)) {
        fail("expected at most " + std::to_string(kChannelCount) + " channels, not " + std::to_string(count));
      }
      current_.declaredChannels = count;
    } else if (keyword == "Channel") {
      const int channel = integer(words.next(), "a channel number");
      if (channel < 0 || channel >= static_cast<int>(kChannelCount)) {
        fail("expected a channel from 0 to " + std::to_string(kChannelCount - 1) + ", not " +
             std::to_string(channel));
      }
      if (current_.declaredChannels < 0) fail("a Channel line before NumChannels");
      if (++current_.channelsRead > current_.declaredChannels) {
        fail("more channels than NumChannels " + std::to_string(current_.declaredChannels) + " declares");
      }
      current_.channel = channel;
    } else if (keyword == "ParentItem") {
      const uint32_t id = itemId(words.next(), "the parent");
      if (!current_.bone && current_.item >= 0) parents_.push_back({current_.item, id, line().number});
    } else if (keyword == "PivotPosition") {
      Vec3 pivot{};
      for (double& c : pivot) c = number(words.next(), "a pivot coordinate", kPositionBounds);
      if (!current_.bone && current_.item >= 0) item().pivot = pivot;
    } else if (keyword == "PivotRotation") {
      for (int k = 0; k < 3; ++k) {
        if (number(words.next(), "a pivot angle", kRadianBounds) != 0.0) {
          fail("a pivot rotation other than 0 0 0 is not supported by this host");
        }
      }
    }
    // Any other keyword is Layout's to know: skipped with its blocks, which the loop steps over.
  }

  SceneItem& item() { return scene_.items[static_cast<size_t>(current_.item)]; }

  void endMotion() {
    if (current_.declaredChannels > current_.channelsRead) {
      fail(current_.motionLine, "NumChannels declares " + std::to_string(current_.declaredChannels) +
                                    " channels, but " + std::to_string(current_.channelsRead) + " follow");
    }
    current_.declaredChannels = -1;
    current_.channelsRead = 0;
    current_.channel = -1;
  }

  void endItem() { endMotion(); }

  // The explicit id of versions 4 and 5, which must be the one the order of the items gives.
  void readOwnId(Words& words, IdKind kind, uint32_t ordinal) {
    if (version_ < 4) return;
    const uint32_t id = itemId(words.next(), "the item's id");
    const uint32_t expected = (static_cast<uint32_t>(kind) << 28) | ordinal;
    if (kind != IdKind::kBone && id != expected) {
      fail("expected the id " + hexText(expected) + ", which the order of the scene's items gives, not " +
           hexText(id));
    }
  }

  static std::string hexText(uint32_t id) {
    char digits[9];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, id, 16);
    std::string text(digits, end);
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return std::string(8 - std::min<size_t>(8, text.size()), '0') + text;
  }

  void beginItem(LWItemType type, Words& words) {
    endItem();
    const auto ordinal = static_cast<uint32_t>(scene_.itemsOfType(type).size());
    readOwnId(words,
              type == LWI_LIGHT    ? IdKind::kLight
              : type == LWI_CAMERA ? IdKind::kCamera
                                   : IdKind::kObject,
              ordinal);
    SceneItem& added = scene_.items.emplace_back();
    added.type = type;
    added.place = "line " + std::to_string(line().number);
    // A channel the item does not list holds 0, and a scale 1.
    for (Channel channel : {kScaleX, kScaleY, kScaleZ}) added.channels[channel].keys.push_back({0.0, 1.0});
    current_ = Current{};
    current_.item = static_cast<int>(scene_.items.size()) - 1;
    extras_.emplace_back();
  }

  void beginBone() {
    endItem();
    const int owner = current_.item;
    current_ = Current{};
    current_.item = owner;
    current_.bone = true;
    if (owner < 0 || item().type != LWI_OBJECT) fail("a bone outside an object");
    if (!extras_[owner].bonesWarned) {
      extras_[owner].bonesWarned = true;
      warn(line().number, "the bones of " + inQuotes(item().name) +
                              " are not evaluated by this host: its points stay rigid");
    }
  }

  void loadObjectLayer(Words& words) {
    const int layer = integer(words.next(), "the object's layer");
    if (layer < 1) fail("expected a layer counted from 1, not " + std::to_string(layer));
    beginItem(LWI_OBJECT, words);
    std::string written = text(words, "the object file's path");
    std::replace(written.begin(), written.end(), '\\', '/');
    const std::filesystem::path path(written);
    const ObjectFile& object = objectFile(path);
    const ObjectLayer* found = object.layerShownAs(layer);
    if (found == nullptr) fail(displayPath(path) + " has no layer " + std::to_string(layer));
    SceneItem& loaded = item();
    loaded.name = path.stem().string();
    loaded.points = found->points;
    loaded.polygons = found->polygons;
    loaded.weightMaps = found->weightMaps;
    loaded.pivot = found->pivot;
    layerOf_.push_back({current_.item, written, layer});
  }

  // The object file at the first place it is found; each file is read once.
  const ObjectFile& objectFile(const std::filesystem::path& written) {
    std::vector<std::filesystem::path> tried{written.lexically_normal()};
    if (written.is_relative()) {
      tried.push_back((file_.parent_path() / written).lexically_normal());
      for (const auto& folder : contentDirs_) tried.push_back((folder / written).lexically_normal());
    }
    std::string places;
    for (size_t k = 0; k < tried.size(); ++k) {
      const std::filesystem::path& candidate = tried[k];
      if (std::find(tried.begin(), tried.begin() + static_cast<std::ptrdiff_t>(k), candidate) !=
          tried.begin() + static_cast<std::ptrdiff_t>(k)) {
        continue;  // the same place by another way
      }
      places += (places.empty() ? "" : ", ") + displayPath(candidate);
      if (auto cached = objects_.find(candidate); cached != objects_.end()) return *cached->second;
      const std::optional<std::string> bytes = readFileText(candidate);
      if (!bytes) continue;
      try {
        auto read = std::make_unique<ObjectFile>(parseLwo(*bytes, candidate.string()));
        return *objects_.emplace(candidate, std::move(read)).first->second;
      } catch (const LwoError& error) {
        fail(error.what());
      }
    }
    fail("the object file " + displayPath(written) + " is not found; tried " + places);
  }

  // ---- blocks ----

  // Steps over a `{ Keyword` block and every block inside it.
  void skipBlock() {
    const size_t opened = at_;
    int depth = 1;
    for (++at_; at_ < lines_.size(); ++at_) {
      Words words(line().text);
      const std::string_view first = words.next();
      if (first == "{") ++depth;
      if (first == "}" && --depth == 0) return;
    }
    Words words(lines_[opened].text);
    words.next();
    failAtLine(opened, "the block " + std::string(words.next()) + " is never closed by }");
  }

  Bounds valueBounds(int channel) const {
    if (channel <= static_cast<int>(kPositionZ)) return kPositionBounds;
    if (channel <= static_cast<int>(kBank)) return kRadianBounds;
    return kScaleBounds;
  }

  void envelope() {
    const size_t opened = at_;
    if (current_.channel < 0) fail("an envelope without a Channel line before it");
    const int channel = current_.channel;
    current_.channel = -1;
    Envelope curve;
    std::optional<int> declared;
    bool behaviors = false;
    for (++at_; at_ < lines_.size(); ++at_) {
      Words words(line().text);
      const std::string_view first = words.next();
      if (first.empty()) continue;
      if (first == "}") {
        if (!declared) fail("expected the number of keys before }");
        if (static_cast<int>(curve.keys.size()) < *declared) {
          fail(lines_[opened].number, "the envelope declares " + std::to_string(*declared) + " keys, but " +
                                          std::to_string(curve.keys.size()) + " follow");
        }
        (current_.bone ? current_.boneChannels : item().channels)[static_cast<size_t>(channel)] =
            std::move(curve);
        return;
      }
      if (!declared) {
        declared = integer(first, "the number of keys");
        if (*declared < 0) fail("expected a number of keys, not " + std::to_string(*declared));
      } else if (first == "Key") {
        if (behaviors) fail("a Key after Behaviors");
        if (static_cast<int>(curve.keys.size()) >= *declared) {
          fail("more keys than the " + std::to_string(*declared) + " the envelope declares");
        }
        curve.keys.push_back(key(words, channel, curve));
      } else if (first == "Behaviors") {
        curve.pre = behavior(words.next());
        curve.post = behavior(words.next());
        // Reset would flatten the item to nothing outside its keys.
        if (channel >= static_cast<int>(kScaleX) &&
            (curve.pre == Behavior::kReset || curve.post == Behavior::kReset)) {
          fail("a scale channel cannot reset to 0");
        }
        behaviors = true;
      } else if (first == "{") {
        skipBlock();
      }
    }
    failAtLine(opened, "the envelope is never closed by }");
  }

  EnvelopeKey key(Words& words, int channel, const Envelope& curve) const {
    EnvelopeKey key;
    key.value = number(words.next(), "a key's value", valueBounds(channel));
    key.time = number(words.next(), "a key's time", kTimeBounds);
    const int span = integer(words.next(), "a span type");
    if (span < 0 || span > static_cast<int>(SpanType::kBezier2D)) {
      fail("expected a span type from 0 to 5 (TCB, Hermite, 1D Bezier, Linear, Stepped, 2D Bezier), not " +
           std::to_string(span));
    }
    key.span = static_cast<SpanType>(span);
    for (double& parameter : key.params)
      parameter = number(words.next(), "a key parameter", kKeyParameterBounds);
    if (!curve.keys.empty() && !(key.time > curve.keys.back().time)) {
      fail("keys must come in increasing time: " + numberText(key.time) + " after " +
           numberText(curve.keys.back().time));
    }
    if (channel >= static_cast<int>(kScaleX)) {
      if (key.value == 0.0) fail("a scale key of 0 would flatten the item");
      if (!curve.keys.empty() && (key.value < 0.0) != (curve.keys.back().value < 0.0)) {
        fail("a scale key that changes sign from the key before would pass through 0");
      }
    }
    return key;
  }

  Behavior behavior(std::string_view word) const {
    const int value = integer(word, "a behaviour");
    if (value < 0 || value > static_cast<int>(Behavior::kLinear)) {
      fail(
          "expected a behaviour from 0 to 5 (Reset, Constant, Repeat, Oscillate, Offset Repeat, Linear), "
          "not " +
          std::to_string(value));
    }
    return static_cast<Behavior>(value);
  }

  // `Plugin Class n Server` ... `EndPlugin`: this module's deformers are read, the rest warned about.
  void plugin(Words& words) {
    const size_t opened = at_;
    const std::string_view pluginClass = words.next();
    const std::string_view place = words.next();
    const std::string server = text(words, "the plug-in's server name");
    if (pluginClass.empty() || place.empty()) fail("expected Plugin CLASS N SERVER");
    integer(place, "the plug-in's place in its list");
    size_t end = opened + 1;
    while (end < lines_.size() && Words(lines_[end].text).next() != "EndPlugin") ++end;
    if (end == lines_.size())
      failAtLine(opened, "the plug-in " + inQuotes(server) + " is never closed by EndPlugin");
    at_ = end;
    const int number = lines_[opened].number;
    const std::string owner = current_.item < 0 ? std::string("the scene")
                                                : (current_.bone ? "a bone of " : "") + inQuotes(item().name);
    const bool onObject = !current_.bone && current_.item >= 0 && item().type == LWI_OBJECT;
    if (pluginClass == kDeformerClass && server == kDeformerServer && onObject) {
      DeformerSpec& deformer = item().deformers.emplace_back();
      deformer.server = server;
      deformer.place = "line " + std::to_string(number);
      deformer.stateBegin = lines_[opened + 1].begin;
      deformer.stateEnd = lines_[end].begin;
      for (size_t k = opened + 1; k < end; ++k) {
        deformer.state += lines_[k].text;
        deformer.state += '\n';
      }
      return;
    }
    if (pluginClass == kDeformerClass) {
      warn(number, "the displacement " + inQuotes(server) + " on " + owner +
                       " is not one this module offers; it is not evaluated");
    } else if (pluginClass == "ItemMotionHandler") {
      warn(number, "the motion modifier " + inQuotes(server) + " on " + owner + " is not evaluated");
    } else if (pluginClass == "ChannelHandler") {
      warn(number, "the channel modifier " + inQuotes(server) + " on " + owner +
                       " (an expression, say) is not evaluated");
    } else {
      warn(number, "the plug-in " + std::string(pluginClass) + " " + inQuotes(server) + " on " + owner +
                       " is not evaluated");
    }
  }

  // ---- the scene whole ----

  void resolveParents() {
    for (const PendingParent& pending : parents_) {
      const auto kind = static_cast<int>(pending.id >> 28);
      uint32_t ordinal = pending.id & 0x0FFFFFFFu;
      std::vector<int> candidates;
      if (kind == static_cast<int>(IdKind::kBone)) {
        // A bone's object: the last four digits.
        ordinal = pending.id & 0xFFFFu;
        candidates = scene_.itemsOfType(LWI_OBJECT);
        warn(pending.line,
             "the parent " + hexText(pending.id) +
                 " is a bone, which this host does not evaluate: the item follows the bone's object");
      } else if (kind >= static_cast<int>(IdKind::kObject) && kind <= static_cast<int>(IdKind::kCamera)) {
        candidates = scene_.itemsOfType(typeOf(static_cast<IdKind>(kind)));
      }
      if (ordinal >= candidates.size())
        fail(pending.line, "the parent " + hexText(pending.id) + " is no item of the scene");
      scene_.items[static_cast<size_t>(pending.item)].parent = candidates[ordinal];
    }
    for (size_t i = 0; i < scene_.items.size(); ++i) {
      size_t steps = 0;
      for (int up = scene_.items[i].parent; up >= 0; up = scene_.items[static_cast<size_t>(up)].parent) {
        if (++steps > scene_.items.size()) {
          const auto found = std::find_if(parents_.begin(), parents_.end(), [&](const PendingParent& p) {
            return p.item == static_cast<int>(i);
          });
          fail(found->line, "the parents of " + inQuotes(scene_.items[i].name) + " form a loop");
        }
      }
    }
  }

  int lineOf(const SceneItem& item) const { return std::stoi(item.place.substr(5)); }

  // Names are the items' handles in messages and panels, and objects' names the output files'.
  void checkNames() {
    // Several layers of one file would all be named after it: each is named after the file and
    // the layer as Modeler shows it.
    for (const auto& [index, written, layer] : layerOf_) {
      for (const auto& other : layerOf_) {
        if (std::get<1>(other) == written && std::get<2>(other) != layer) {
          SceneItem& named = scene_.items[static_cast<size_t>(index)];
          named.name += "-" + std::to_string(layer);
          break;
        }
      }
    }
    for (size_t i = 0; i < scene_.items.size(); ++i) {
      const SceneItem& named = scene_.items[i];
      for (size_t j = 0; j < i; ++j) {
        if (scene_.items[j].name == named.name) {
          fail(lineOf(named), "another item (line " + std::to_string(lineOf(scene_.items[j])) +
                                  ") is already named " + inQuotes(named.name) +
                                  "; this host needs every item's name to differ");
        }
      }
      if (named.type != LWI_OBJECT) continue;
      bool plain = !named.name.empty() && named.name != "." && named.name != "..";
      for (unsigned char c : named.name) {
        plain = plain && c >= 0x20 && c != 0x7F &&
                std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) == std::string_view::npos;
      }
      if (!plain)
        fail(lineOf(named), "the object's name " + inQuotes(named.name) + " cannot name its output files");
    }
  }

  std::string_view text_;
  std::filesystem::path file_;
  std::vector<std::filesystem::path> contentDirs_;
  std::vector<Line> lines_;
  size_t at_ = 0;
  int version_ = 0;
  Scene scene_;
  Current current_;
  std::vector<ItemExtras> extras_;
  std::vector<PendingParent> parents_;
  std::vector<std::tuple<int, std::string, int>> layerOf_;  // item, object path as written, layer
  std::map<std::string, int> seen_;
  std::map<std::filesystem::path, std::unique_ptr<ObjectFile>> objects_;
};

}  // namespace

bool isLwsText(std::string_view text) {
  const std::string_view first = text.substr(0, text.find('\n'));
  return first == "LWSC" || first == "LWSC\r";
}

Scene parseLws(std::string_view text, const std::filesystem::path& file,
               const std::vector<std::filesystem::path>& contentDirs) {
  return LwsReader(text, file, contentDirs).read();
}

std::string lwsWithStates(const Scene& scene, const std::vector<const DeformerSpec*>& deformers,
                          const std::vector<std::string>& states) {
  std::vector<size_t> order(deformers.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return deformers[a]->stateBegin < deformers[b]->stateBegin; });
  const std::string& text = scene.sourceText;
  std::string out;
  out.reserve(text.size());
  size_t done = 0;
  for (size_t k : order) {
    const DeformerSpec& deformer = *deformers[k];
    out.append(text, done, deformer.stateBegin - done);
    // The state's lines end as the Plugin line before them does.
    const bool crlf = deformer.stateBegin >= 2 && text[deformer.stateBegin - 2] == '\r';
    for (char c : states[k]) {
      if (c == '\n' && crlf) out += '\r';
      out += c;
    }
    done = deformer.stateEnd;
  }
  out.append(text, done, std::string::npos);
  return out;
}

}  // namespace tarrow::host
