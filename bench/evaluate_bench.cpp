// The module's per-point evaluation against the least any lag evaluation must do (alone, and
// timed in alternation with it for their ratio), with and without node inputs, and the
// stand-in host's whole frame loop: on linear keys, on TCB curves against linear keys, on two
// threads against one, and the cost of the item frames a point asks for.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/loader/module_loader.h"
#include "host/loader/service_registry.h"
#include "host/run/session.h"
#include "host/scene/scene.h"
#include "host/scene/scene_file.h"
#include "host/services/block_store.h"
#include "host/services/node_editor.h"
#include "host/services/scene_services.h"
#include "host/services/xpanel_service.h"
#include "sdk/lwserver.h"

namespace tarrow::host {
namespace {

constexpr int kPoints = 4096;
const LWItemID kObject = reinterpret_cast<LWItemID>(uintptr_t{0x10000000});

// A host whose services answer at once: the object turns slowly about y and drifts along x.
void quickParam(LWItemID /*item*/, LWItemParam code, LWTime time, double v[3]) noexcept {
  const double h = 0.3 * time;
  switch (code) {
    case LWIP_RIGHT:
    case LWIP_W_RIGHT:
      v[0] = std::cos(h);
      v[1] = 0.0;
      v[2] = -std::sin(h);
      return;
    case LWIP_UP:
    case LWIP_W_UP:
      v[0] = 0.0;
      v[1] = 1.0;
      v[2] = 0.0;
      return;
    case LWIP_FORWARD:
    case LWIP_W_FORWARD:
      v[0] = std::sin(h);
      v[1] = 0.0;
      v[2] = std::cos(h);
      return;
    default:
      v[0] = time;
      v[1] = 0.0;
      v[2] = 0.0;
      return;
  }
}
LWItemID noItem(LWItemType, LWItemID) noexcept { return LWITEM_NULL; }
LWItemID noNext(LWItemID) noexcept { return LWITEM_NULL; }
LWItemType objectType(LWItemID) noexcept { return LWI_OBJECT; }
const char* noName(LWItemID) noexcept { return ""; }
LWChanGroupID noGroup(LWItemID) noexcept { return nullptr; }
LWItemID noCamera(LWTime) noexcept { return LWITEM_NULL; }
int noMaps(LWID) noexcept { return 0; }
const char* noMapName(LWID, int) noexcept { return nullptr; }
int oneObject() noexcept { return 1; }
void ignoreUpdate(const char*, LWInstance) noexcept {}

float mapMarker;
LWVMapID lookupMap(LWMeshInfo*, LWID, const char*) noexcept { return &mapMarker; }
int weightOf(LWMeshInfo*, LWPntID point, float* value, LWVMapID) noexcept {
  *value = 0.5f + 0.5f * static_cast<float>(reinterpret_cast<uintptr_t>(point) % 2);
  return 1;
}

using ParamFunc = void(LWItemID, LWItemParam, LWTime, double[3]) noexcept;
LWItemInfo itemsWith(ParamFunc* param) {
  LWItemInfo items{};
  items.first = &noItem;
  items.next = &noNext;
  items.parent = &noNext;
  items.type = &objectType;
  items.name = &noName;
  items.param = param;
  items.chanGroup = &noGroup;
  return items;
}
const LWItemInfo quickItems = itemsWith(&quickParam);

// The same answers, counted: what the node-driven instance asks of the host per point.
struct QueryCounts {
  int64_t param = 0;
  int64_t check = 0;
  int64_t evaluate = 0;
};
QueryCounts queries;
const LWNodeInputFuncs* editorInputs = nullptr;  // the node editor's own input service

void countingParam(LWItemID item, LWItemParam code, LWTime time, double v[3]) noexcept {
  ++queries.param;
  quickParam(item, code, time, v);
}
int countingCheck(NodeInputID input) noexcept {
  ++queries.check;
  return editorInputs->check(input);
}
int countingEvaluate(NodeInputID input, LWNodalAccess* sample, void* value) noexcept {
  ++queries.evaluate;
  return editorInputs->evaluate(input, sample, value);
}
const LWItemInfo countingItems = itemsWith(&countingParam);
const LWNodeInputFuncs countingInputs = [] {
  LWNodeInputFuncs inputs{};
  inputs.evaluate = &countingEvaluate;
  inputs.check = &countingCheck;
  return inputs;
}();
LWSceneInfo quickScene = [] {
  LWSceneInfo scene{};
  scene.name = "bench";
  scene.filename = "bench.json";
  scene.frameEnd = 90;
  scene.frameStep = 1;
  scene.framesPerSecond = 30.0;
  scene.renderCamera = &noCamera;
  return scene;
}();
const LWObjectFuncs quickObjects = [] {
  LWObjectFuncs objects{};
  objects.numObjects = &oneObject;
  objects.numVMaps = &noMaps;
  objects.vmapName = &noMapName;
  return objects;
}();

// The module loaded once, with one instance on the quick host: lag rate 0.2, a weight map.
// A second, private copy of the module sees the host through the counting tables; its instance
// has the same settings with node inputs on and all three inputs fed by constants.
class QuickHost {
 public:
  QuickHost() : module_(LoadedModule::open(defaultModulePath())) {
    nodeEditor_.registerInto(registry_);
    // The module takes a host only when every service of its release answers, panels included.
    panels_.registerInto(registry_);
    registry_.provide(LWITEMINFO_GLOBAL, const_cast<LWItemInfo*>(&quickItems));
    registry_.provide(LWSCENEINFO_GLOBAL, &quickScene);
    registry_.provide(LWOBJECTFUNCS_GLOBAL, const_cast<LWObjectFuncs*>(&quickObjects));
    registry_.provide(LWINSTUPDATE_GLOBAL, reinterpret_cast<void*>(&ignoreUpdate));
    registry_.provide(LWLOCALEINFO_GLOBAL, reinterpret_cast<void*>(uintptr_t{0x409}));
    registry_.makeCurrent();
    handler_.inst = &inst_;
    handler_.item = &item_;
    handler_.rend = &rend_;
    requireActivated(module_->activate(LWDISPLACEMENT_HCLASS, "Tarrow_plus", LWDISPLACEMENT_VERSION,
                                       &handler_, ServiceRegistry::globalFunction()));
    LWError error = nullptr;
    instance_ = inst_.create(nullptr, kObject, &error);
    BlockReader state("{ LagRate 0.2 }\n{ WeightMap 1 \"W\" }\n");
    inst_.load(instance_, state.state());
    mesh_.numPoints = [](LWMeshInfo*) noexcept { return kPoints; };
    mesh_.pntVIDLookup = &lookupMap;
    mesh_.pntVIDGet = &weightOf;
    for (int i = 0; i < kPoints; ++i) {
      const double along = -0.01 * i;
      points_.push_back({std::sin(0.37 * i), std::cos(0.11 * i), along});
    }
    createNodeInstance();
  }
  ~QuickHost() {
    inst_.destroy(instance_);
    nodeInst_.destroy(nodeInstance_);
  }

  LWDisplacementHandler handler_{};
  LWInstanceFuncs inst_{};
  LWItemFuncs item_{};
  LWRenderFuncs rend_{};
  LWInstance instance_ = nullptr;
  LWMeshInfo mesh_{};

  // The access record the host hands over for point i, undeformed.
  LWDisplacementAccess accessFor(int i) {
    LWDisplacementAccess access{};
    const Vec3& p = points_[static_cast<size_t>(i)];
    for (int c = 0; c < 3; ++c) access.oPos[c] = access.source[c] = p[c];
    access.point = reinterpret_cast<LWPntID>(static_cast<uintptr_t>(i + 1));
    access.info = &mesh_;
    return access;
  }
  std::vector<Vec3> points_;
  // The node instance's three inputs: lag rate, pivot, weight.
  std::array<NodeInputID, 3> nodeInputs_{};
  LWDisplacementHandler nodeHandler_{};
  LWInstanceFuncs nodeInst_{};
  LWItemFuncs nodeItem_{};
  LWRenderFuncs nodeRend_{};
  LWInstance nodeInstance_ = nullptr;

 private:
  // The private copy acquires its services at its first activation: the counting tables are
  // offered just for that moment.
  void createNodeInstance() {
    nodeModule_ = LoadedModule::openFresh(defaultModulePath());
    editorInputs = static_cast<const LWNodeInputFuncs*>(registry_.lookup(LWNODEINPUTFUNCS_GLOBAL));
    registry_.provide(LWITEMINFO_GLOBAL, const_cast<LWItemInfo*>(&countingItems));
    registry_.provide(LWNODEINPUTFUNCS_GLOBAL, const_cast<LWNodeInputFuncs*>(&countingInputs));
    nodeHandler_.inst = &nodeInst_;
    nodeHandler_.item = &nodeItem_;
    nodeHandler_.rend = &nodeRend_;
    requireActivated(nodeModule_->activate(LWDISPLACEMENT_HCLASS, "Tarrow_plus", LWDISPLACEMENT_VERSION,
                                           &nodeHandler_, ServiceRegistry::globalFunction()));
    registry_.provide(LWITEMINFO_GLOBAL, const_cast<LWItemInfo*>(&quickItems));
    registry_.provide(LWNODEINPUTFUNCS_GLOBAL, const_cast<LWNodeInputFuncs*>(editorInputs));

    LWError error = nullptr;
    nodeInstance_ = nodeInst_.create(nullptr, kObject, &error);
    BlockReader state("{ LagRate 0.2 }\n{ WeightMap 1 \"W\" }\n{ UseNode 1 }\n");
    nodeInst_.load(nodeInstance_, state.state());
    const auto constants = nlohmann::json::parse(R"json({
      "nodes": [{"id": "rate", "type": "Constant", "value": 0.2},
                {"id": "pivot", "type": "Constant", "value": [0.5, 0, 0]},
                {"id": "weight", "type": "Constant", "value": 0.75}],
      "connections": [{"from": "rate", "to": "Lag Rate (s/m)"}, {"from": "pivot", "to": "Pivot Position"},
                      {"from": "weight", "to": "Weight"}]})json");
    const NodeEditorID editor = nodeEditor_.editorOf(nodeInstance_);
    nodeEditor_.buildNetwork(editor, constants);
    const auto inputs = nodeEditor_.view(editor)->inputs;
    for (size_t k = 0; k < nodeInputs_.size(); ++k) nodeInputs_[k] = inputs.at(k).id;
  }

  // A module that refuses the host has filled in no entries: stop before calling one.
  static void requireActivated(int result) {
    if (result == AFUNC_OK) return;
    std::fprintf(stderr, "tarrow_bench: the module refused the benchmark's host (activation result %d)\n",
                 result);
    std::exit(1);
  }

  std::unique_ptr<LoadedModule> module_;
  ServiceRegistry registry_;
  NodeEditorService nodeEditor_;
  XPanelService panels_;
  std::unique_ptr<LoadedModule> nodeModule_;
};

// Points per second, and its inverse as ns per point.
void reportPerPoint(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kPoints);
  state.counters["ns_per_point"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kPoints),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

QuickHost& quickHost() {
  static QuickHost host;
  return host;
}

// One point through the module, without and with node inputs.
void evaluatePoint(QuickHost& host, int i) {
  LWDisplacementAccess access = host.accessFor(i);
  host.handler_.evaluate(host.instance_, &access);
  benchmark::DoNotOptimize(access.source);
}

void evaluateNodesPoint(QuickHost& host, int i) {
  LWDisplacementAccess access = host.accessFor(i);
  host.nodeHandler_.evaluate(host.nodeInstance_, &access);
  benchmark::DoNotOptimize(access.source);
}

// What no lag evaluation can skip, with the current frame cached once: the weight read, the
// four queries of the frame at the delayed time and the arithmetic. With node inputs, the
// lag rate, the pivot and the weight come instead from a check and an evaluate of each of the
// three inputs, on the same constants and through the same tables as the module's.
class Floor {
 public:
  Floor(QuickHost& host, bool nodes)
      : host_(host),
        items_(nodes ? &countingItems : &quickItems),
        inputs_(nodes ? &countingInputs : nullptr) {
    // Reached through opaque pointers, as the module reaches the host, so that the compiler
    // cannot inline the host's answers into the loop.
    benchmark::DoNotOptimize(items_);
    benchmark::DoNotOptimize(inputs_);
    items_->param(kObject, LWIP_W_POSITION, kTime, pivot_);
    items_->param(kObject, LWIP_RIGHT, kTime, right_);
    items_->param(kObject, LWIP_UP, kTime, up_);
    items_->param(kObject, LWIP_FORWARD, kTime, forward_);
    map_ = host.mesh_.pntVIDLookup(&host.mesh_, LWVMAP_WGHT, "W");
  }

  void point(int i) const {
    LWDisplacementAccess access = host_.accessFor(i);
    double rate = 0.2;
    double pivot[3] = {pivot_[0], pivot_[1], pivot_[2]};
    double weight = 0.0;
    if (inputs_ != nullptr) {
      LWNodalAccess sample;
      for (int c = 0; c < 3; ++c) {
        sample.oPos[c] = access.oPos[c];
        sample.wPos[c] = access.source[c];
      }
      sample.objID = kObject;
      sample.verts[0] = access.point;
      const auto& [rateInput, pivotInput, weightInput] = host_.nodeInputs_;
      if (inputs_->check(rateInput) == 0 || inputs_->check(pivotInput) == 0 ||
          inputs_->check(weightInput) == 0)
        return;
      inputs_->evaluate(rateInput, &sample, &rate);
      inputs_->evaluate(pivotInput, &sample, pivot);
      inputs_->evaluate(weightInput, &sample, &weight);
    } else {
      float mapped = 0.0f;
      if (host_.mesh_.pntVIDGet(access.info, access.point, &mapped, map_) == 0) return;
      weight = mapped;
    }
    const double dx = access.source[0] - pivot[0];
    const double dy = access.source[1] - pivot[1];
    const double dz = access.source[2] - pivot[2];
    const double delayed = kTime - std::sqrt(dx * dx + dy * dy + dz * dz) * weight * rate;
    double r[3], u[3], f[3], q[3];
    items_->param(kObject, LWIP_RIGHT, delayed, r);
    items_->param(kObject, LWIP_UP, delayed, u);
    items_->param(kObject, LWIP_FORWARD, delayed, f);
    items_->param(kObject, LWIP_W_POSITION, delayed, q);
    const double ar = dx * right_[0] + dy * right_[1] + dz * right_[2];
    const double au = dx * up_[0] + dy * up_[1] + dz * up_[2];
    const double af = dx * forward_[0] + dy * forward_[1] + dz * forward_[2];
    for (int c = 0; c < 3; ++c) access.source[c] = u[c] * au + r[c] * ar + f[c] * af + q[c];
    benchmark::DoNotOptimize(access.source);
  }

  static constexpr double kTime = 1.0;  // the frame's time, as newTime gives it to the module

 private:
  QuickHost& host_;
  const LWItemInfo* items_;
  const LWNodeInputFuncs* inputs_;
  double pivot_[3], right_[3], up_[3], forward_[3];
  LWVMapID map_ = nullptr;
};

void BM_Evaluate(benchmark::State& state) {
  QuickHost& host = quickHost();
  host.rend_.newTime(host.instance_, 30, Floor::kTime);
  for (auto _ : state) {
    for (int i = 0; i < kPoints; ++i) evaluatePoint(host, i);
  }
  reportPerPoint(state);
}
BENCHMARK(BM_Evaluate);

// The same points with node inputs on and the lag rate, the pivot and the weight each fed by a
// "Constant" node; counts what the module asks of the host per point while it runs.
void BM_EvaluateNodes(benchmark::State& state) {
  QuickHost& host = quickHost();
  host.nodeRend_.newTime(host.nodeInstance_, 30, Floor::kTime);
  queries = {};
  for (auto _ : state) {
    for (int i = 0; i < kPoints; ++i) evaluateNodesPoint(host, i);
  }
  reportPerPoint(state);
  const double points = static_cast<double>(state.iterations() * kPoints);
  state.counters["host_queries_per_point"] =
      static_cast<double>(queries.param + queries.check + queries.evaluate) / points;
  state.counters["param_per_point"] = static_cast<double>(queries.param) / points;
  state.counters["check_per_point"] = static_cast<double>(queries.check) / points;
  state.counters["evaluate_per_point"] = static_cast<double>(queries.evaluate) / points;
}
BENCHMARK(BM_EvaluateNodes);

void BM_Floor(benchmark::State& state) {
  const Floor floor(quickHost(), false);
  for (auto _ : state) {
    for (int i = 0; i < kPoints; ++i) floor.point(i);
  }
  reportPerPoint(state);
}
BENCHMARK(BM_Floor);

// A path and its floor timed in alternation, so that both see the same machine state: each
// round takes the next block of points through the path, the same block twice through the
// floor, then once more through the path (so that neither always goes first or second). The
// figure is the median over the rounds of path time / floor time, with the first and third
// quartiles as its spread; and the median cost per point of each.
constexpr int kBlock = 128;
constexpr int kRounds = 20000;
static_assert(kPoints % kBlock == 0);

// The value at quantile q of the values (reordered).
double quantile(std::vector<double>& values, double q) {
  const auto at = values.begin() + static_cast<std::ptrdiff_t>(q * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), at, values.end());
  return *at;
}

template <typename Path, typename FloorPoint>
void measureAgainstFloor(benchmark::State& state, const Path& path, const FloorPoint& floor) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> ratios, pathNs, floorNs;
  int first = 0;
  const auto timed = [&first](const auto& work) {
    const Clock::time_point begin = Clock::now();
    for (int i = first; i < first + kBlock; ++i) work(i);
    return std::chrono::duration<double, std::nano>(Clock::now() - begin).count();
  };
  for (auto _ : state) {
    const double before = timed(path);
    const double floors = timed(floor) + timed(floor);
    const double paths = before + timed(path);
    ratios.push_back(paths / floors);
    pathNs.push_back(paths / (2 * kBlock));
    floorNs.push_back(floors / (2 * kBlock));
    first = (first + kBlock) % kPoints;
  }
  state.counters["ratio"] = quantile(ratios, 0.5);
  state.counters["ratio_q1"] = quantile(ratios, 0.25);
  state.counters["ratio_q3"] = quantile(ratios, 0.75);
  state.counters["path_ns"] = quantile(pathNs, 0.5);
  state.counters["floor_ns"] = quantile(floorNs, 0.5);
}

void BM_EvaluateOverFloor(benchmark::State& state) {
  QuickHost& host = quickHost();
  host.rend_.newTime(host.instance_, 30, Floor::kTime);
  const Floor floor(host, false);
  measureAgainstFloor(
      state, [&host](int i) { evaluatePoint(host, i); }, [&floor](int i) { floor.point(i); });
}
BENCHMARK(BM_EvaluateOverFloor)->Iterations(kRounds);

void BM_EvaluateNodesOverFloor(benchmark::State& state) {
  QuickHost& host = quickHost();
  host.nodeRend_.newTime(host.nodeInstance_, 30, Floor::kTime);
  const Floor floor(host, true);
  measureAgainstFloor(
      state, [&host](int i) { evaluateNodesPoint(host, i); }, [&floor](int i) { floor.point(i); });
}
BENCHMARK(BM_EvaluateNodesOverFloor)->Iterations(kRounds);

// A scene from its JSON text, whose object "Tail" then gets `count` points strung along -z about
// its origin, with a weight map "Tip" rising toward the far end.
Scene sceneWithTail(const nlohmann::json& document, int count) {
  Scene scene = parseScene(document.dump(), "bench.json");
  SceneItem& tail = scene.items.back();
  WeightMap weights{"Tip", {}};
  for (int i = 0; i < count; ++i) {
    const double s = static_cast<double>(i) / count;
    tail.points.push_back({0.3 * std::sin(i * 0.7), 0.3 * std::cos(i * 0.7), -4.0 * s});
    weights.values.emplace_back(static_cast<float>(0.3 + 0.7 * s));
  }
  tail.weightMaps.push_back(std::move(weights));
  return scene;
}

// A tail of a million points trailing an object that moves and turns on three linear keys,
// through the whole frame loop of the stand-in host (no files written).
Scene millionPointScene() {
  return sceneWithTail(nlohmann::json::parse(R"({"fps": 30, "frames": [0, 90], "items": [
      {"name": "Tail", "type": "object",
       "motion": [{"time": 0, "position": [0, 0, 0], "rotation": [0, 0, 0]},
                  {"time": 1.5, "position": [3, 0, 4], "rotation": [60, 0, 10]},
                  {"time": 3, "position": [0, 0, 8], "rotation": [-30, 0, 0]}],
       "deformers": [{"server": "Tarrow_plus", "state": "{ LagRate 0.1 }\n{ WeightMap 1 \"Tip\" }\n"}]}]})"),
                       1000000);
}

void BM_FrameLoop(benchmark::State& state) {
  static const Scene scene = millionPointScene();
  Session session(scene, {defaultModulePath(), static_cast<int>(state.range(0))});
  FramePoints points;
  int frame = 0;
  for (auto _ : state) {
    session.evaluateFrame(frame, points);
    frame = (frame + 1) % 91;
    benchmark::DoNotOptimize(points[0].data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(scene.items[0].points.size()));
}
BENCHMARK(BM_FrameLoop)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// A tail hung from a pivot three items deep: Grand, its child Parent, its child Pivot, whose child
// Tail has Pivot as its deformer's pivot, so every point asks for Pivot's frame composed through
// both parents at its own delayed time. Every channel of all four has 30 keys, 0.1 s apart,
// either on TCB spans (with tension, continuity and bias, so none of their arithmetic is skipped)
// or as the linear keys of a JSON scene's motion, at the same times and values.
constexpr int kChainPoints = 100000;
constexpr int kChainKeys = 30;

double chainValue(size_t item, size_t channel, int key) {
  const double wave = std::sin(0.7 * key + static_cast<double>(channel) + 2.0 * static_cast<double>(item));
  if (channel >= kScaleX) return 1.0 + 0.2 * wave;
  return channel >= kHeading ? 20.0 * wave : 0.5 * wave;
}

Scene pivotChainScene(bool tcb) {
  const char* names[] = {"Grand", "Parent", "Pivot", "Tail"};
  const char* channelNames[] = {"x", "y", "z", "heading", "pitch", "bank", "scaleX", "scaleY", "scaleZ"};
  nlohmann::json items = nlohmann::json::array();
  for (size_t item = 0; item < 4; ++item) {
    nlohmann::json entry = {{"name", names[item]}, {"type", "object"}};
    if (item > 0) entry["parent"] = names[item - 1];
    if (tcb) {
      nlohmann::json channels = nlohmann::json::object();
      for (size_t c = 0; c < kChannelCount; ++c) {
        nlohmann::json keys = nlohmann::json::array();
        for (int k = 0; k < kChainKeys; ++k) {
          keys.push_back({{"time", 0.1 * k},
                          {"value", chainValue(item, c, k)},
                          {"span", "tcb"},
                          {"tension", 0.1},
                          {"continuity", -0.2},
                          {"bias", 0.3}});
        }
        channels[channelNames[c]] = {{"keys", keys}};
      }
      entry["channels"] = channels;
    } else {
      nlohmann::json motion = nlohmann::json::array();
      for (int k = 0; k < kChainKeys; ++k) {
        nlohmann::json key = {{"time", 0.1 * k}};
        for (const auto& [field, first] :
             {std::pair{"position", kPositionX}, {"rotation", kHeading}, {"scale", kScaleX}}) {
          key[field] = {chainValue(item, first, k), chainValue(item, first + 1, k),
                        chainValue(item, first + 2, k)};
        }
        motion.push_back(key);
      }
      entry["motion"] = motion;
    }
    items.push_back(entry);
  }
  items.back()["deformers"] = nlohmann::json::array(
      {{{"server", "Tarrow_plus"},
        {"panel", {{"Lag Rate (s/m)", 0.1}, {"Tarrow Pivot Object", "Pivot"}, {"Weight Map", "Tip"}}}}});
  return sceneWithTail({{"fps", 30}, {"frames", {0, 90}}, {"items", items}}, kChainPoints);
}

// Two frame loops timed in alternation, so that both see the same machine state: each round
// takes the next frame through the first, twice through the second, then once more through the
// first (so that neither always goes first). The figure is the median over the rounds of the
// second's points per second over the first's (ratio, with its first and third quartiles), and
// the median points per second of each, in millions.
constexpr int kFrameRounds = 30;

void measureFramesInAlternation(benchmark::State& state, Session& first, Session& second, size_t points) {
  using Clock = std::chrono::steady_clock;
  FramePoints out;
  int frame = 0;
  const auto timed = [&](Session& session) {
    const Clock::time_point begin = Clock::now();
    session.evaluateFrame(frame, out);
    benchmark::DoNotOptimize(out[0].data());
    return std::chrono::duration<double>(Clock::now() - begin).count();
  };
  std::vector<double> ratios, firstRates, secondRates;
  for (auto _ : state) {
    const double before = timed(first);
    const double seconds = timed(second) + timed(second);
    const double firsts = before + timed(first);
    ratios.push_back(firsts / seconds);
    firstRates.push_back(2e-6 * static_cast<double>(points) / firsts);
    secondRates.push_back(2e-6 * static_cast<double>(points) / seconds);
    frame = (frame + 7) % 91;
  }
  state.counters["ratio"] = quantile(ratios, 0.5);
  state.counters["ratio_q1"] = quantile(ratios, 0.25);
  state.counters["ratio_q3"] = quantile(ratios, 0.75);
  state.counters["first_Mpts"] = quantile(firstRates, 0.5);
  state.counters["second_Mpts"] = quantile(secondRates, 0.5);
}

// Curves on the per-point path: the pivot chain on TCB curves against the same on linear keys
// (the ratio is TCB's points per second over linear's), on 1 and 2 threads.
void BM_FrameLoopTcbOverLinear(benchmark::State& state) {
  static const Scene linear = pivotChainScene(false);
  static const Scene tcb = pivotChainScene(true);
  const int threads = static_cast<int>(state.range(0));
  Session linearLoop(linear, {defaultModulePath(), threads});
  Session tcbLoop(tcb, {defaultModulePath(), threads});
  measureFramesInAlternation(state, linearLoop, tcbLoop, kChainPoints);
}
BENCHMARK(BM_FrameLoopTcbOverLinear)->Arg(1)->Arg(2)->Iterations(kFrameRounds)->Unit(benchmark::kMillisecond);

// The frame loop's gain from a second thread: the pivot chain on TCB curves on 2 threads against
// the same on 1 (the ratio is 2 threads' points per second over 1 thread's).
void BM_FrameLoopTwoThreadsOverOne(benchmark::State& state) {
  static const Scene tcb = pivotChainScene(true);
  Session one(tcb, {defaultModulePath(), 1});
  Session two(tcb, {defaultModulePath(), 2});
  measureFramesInAlternation(state, one, two, kChainPoints);
}
BENCHMARK(BM_FrameLoopTwoThreadsOverOne)->Iterations(kFrameRounds)->Unit(benchmark::kMillisecond);

// What the four codes a point asks of the host cost now: right, up, forward and world position
// of the pivot (three items deep) at a new time, through the scene services' param.
void BM_FourCodes(benchmark::State& state) {
  static const Scene linear = pivotChainScene(false);
  static const Scene tcb = pivotChainScene(true);
  const Scene& scene = state.range(0) != 0 ? tcb : linear;
  SceneServices services(scene);
  services.makeCurrent();
  const LWItemInfo& items = *SceneServices::itemInfo();
  const LWItemID pivot = scene.idOf(2);
  double time = 0.0;
  double v[3];
  for (auto _ : state) {
    time = time < 3.0 ? time + 0.000137 : 0.0;
    for (LWItemParam code : {LWIP_RIGHT, LWIP_UP, LWIP_FORWARD, LWIP_W_POSITION}) {
      items.param(pivot, code, time, v);
      benchmark::DoNotOptimize(v);
    }
  }
  state.SetLabel(state.range(0) != 0 ? "tcb" : "linear");
}
BENCHMARK(BM_FourCodes)->Arg(0)->Arg(1);

}  // namespace
}  // namespace tarrow::host

BENCHMARK_MAIN();
