// Loading an object of 200,000 points with a weight map: from a LightWave object file, against
// the same mesh as an OBJ file with the same weights in a JSON scene, timed in alternation in one
// run; and the heap the object-file load takes beyond what it returns.
//
// The heap is counted by replacing the global operator new and delete in this program (glibc:
// the block sizes come from malloc_usable_size). Counting is switched on only around the one
// load measured, so the other benchmarks pay one relaxed atomic load per allocation.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "host/base/unique_name.h"
#include "host/scene/lwo_file.h"
#include "host/scene/scene_file.h"
#include "tests/host/lwo_bytes.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<int64_t> liveBytes{0};
std::atomic<int64_t> peakBytes{0};

void counted(void* block, int64_t sign) {
  if (block == nullptr || !counting.load(std::memory_order_relaxed)) return;
  const int64_t now =
      liveBytes.fetch_add(sign * static_cast<int64_t>(malloc_usable_size(block)), std::memory_order_relaxed) +
      sign * static_cast<int64_t>(malloc_usable_size(block));
  int64_t peak = peakBytes.load(std::memory_order_relaxed);
  while (now > peak && !peakBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}

}  // namespace

// The replacements take their blocks from malloc and give them back to free, which GCC takes
// for a mismatch once the two are inlined together.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  counted(block, 1);
  return block;
}
void operator delete(void* block) noexcept {
  counted(block, -1);
  std::free(block);
}
void operator delete(void* block, size_t /*size*/) noexcept {
  counted(block, -1);
  std::free(block);
}
#pragma GCC diagnostic pop

namespace tarrow::host {
namespace {

constexpr int kColumns = 500;
constexpr int kRows = 400;  // 200,000 points
constexpr int kLoadRounds = 10;

struct GridFiles {
  std::filesystem::path folder;
  std::filesystem::path lwo;
  std::filesystem::path scene;
  std::filesystem::path meshOnly;  // the JSON scene without the weights
  size_t points = 0;
};

// A grid of quads bent into a wave, weighted along its length, with every seventh point left
// out of the map; written once as .lwo and as OBJ + JSON with the same floats.
const GridFiles& gridFiles() {
  static const GridFiles files = [] {
    GridFiles made;
    made.folder = std::filesystem::temp_directory_path() / ("tarrow-lwo-bench-" + uniqueSuffix());
    std::filesystem::create_directories(made.folder);
    std::atexit([] { std::filesystem::remove_all(gridFiles().folder); });
    made.lwo = made.folder / "grid.lwo";
    made.scene = made.folder / "grid.json";
    made.meshOnly = made.folder / "grid-mesh.json";
    made.points = size_t{kColumns} * kRows;

    lwo_bytes::Bytes points, weights, polygons;
    std::string obj, json = R"({"fps": 30, "frames": [0, 0], "items": [{"name": "grid", "type": "object", )"
                            R"("mesh": "grid.obj", "weightMaps": {"Tip": [)";
    char line[128];
    weights.id("WGHT").u2(1).s0("Tip");
    for (int r = 0; r < kRows; ++r) {
      for (int c = 0; c < kColumns; ++c) {
        const auto x = static_cast<float>(c) * 0.01f;
        const float y = 0.1f * std::sin(static_cast<float>(c) * 0.05f);
        const auto z = static_cast<float>(r) * -0.01f;
        points.vec(x, y, z);
        // Seventeen digits: the OBJ reader gives back the very double each float widens to.
        std::snprintf(line, sizeof line, "v %.17g %.17g %.17g\n", static_cast<double>(x),
                      static_cast<double>(y), static_cast<double>(z));
        obj += line;
        const auto index = static_cast<uint32_t>(r * kColumns + c);
        if (index > 0) json += ", ";
        if (index % 7 == 3) {
          json += "null";
          continue;
        }
        const float weight = static_cast<float>(r) / kRows;
        weights.vx(index).f4(weight);
        std::snprintf(line, sizeof line, "%.9g", weight);
        json += line;
      }
    }
    polygons.id("FACE");
    for (int r = 0; r + 1 < kRows; ++r) {
      for (int c = 0; c + 1 < kColumns; ++c) {
        const auto a = static_cast<uint32_t>(r * kColumns + c);
        const uint32_t quad[4] = {a, a + 1, a + 1 + kColumns, a + kColumns};
        polygons.u2(4);
        for (uint32_t corner : quad) polygons.vx(corner);
        std::snprintf(line, sizeof line, "f %u %u %u %u\n", quad[0] + 1, quad[1] + 1, quad[2] + 1,
                      quad[3] + 1);
        obj += line;
      }
    }
    json += "]}}]}\n";
    lwo_bytes::Bytes layer;
    layer.u2(0).u2(0).vec(0, 0, 0).s0("grid");
    const std::string lwo =
        lwo_bytes::form("LWO2", lwo_bytes::chunk("LAYR", layer) + lwo_bytes::chunk("PNTS", points) +
                                    lwo_bytes::chunk("VMAP", weights) + lwo_bytes::chunk("POLS", polygons));
    std::ofstream(made.lwo, std::ios::binary) << lwo;
    std::ofstream(made.folder / "grid.obj", std::ios::binary) << obj;
    std::ofstream(made.scene, std::ios::binary) << json;
    std::ofstream(made.meshOnly, std::ios::binary)
        << R"({"fps": 30, "frames": [0, 0], "items": [{"name": "grid", "type": "object", "mesh": "grid.obj"}]})";
    return made;
  }();
  return files;
}

// The heap one load takes at its peak beyond what it returns, and what it returns.
struct HeapUse {
  double extraMb = 0.0;
  double resultMb = 0.0;
};
template <typename Load>
HeapUse heapOf(const Load& load) {
  liveBytes = 0;
  peakBytes = 0;
  counting = true;
  HeapUse use;
  {
    const auto result = load();
    use.resultMb = static_cast<double>(liveBytes.load()) / 1e6;
    use.extraMb = static_cast<double>(peakBytes.load() - liveBytes.load()) / 1e6;
  }
  counting = false;
  return use;
}

// Each round loads the object file, the JSON scene twice, then the object file again, so that
// neither always goes first; the figure is the median over the rounds of object-file time /
// scene time, with the first and third quartiles as its spread. Then the scene without its
// weights twice, against the same two object-file loads.
void BM_LwoLoadOverJson(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const GridFiles& files = gridFiles();
  const auto loadLwo = [&files] { return readLwoFile(files.lwo); };
  const auto loadJson = [&files] { return loadScene(files.scene); };
  const auto loadMesh = [&files] { return loadScene(files.meshOnly); };
  const auto timed = [](const auto& load) {
    const Clock::time_point begin = Clock::now();
    benchmark::DoNotOptimize(load());
    return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
  };
  // The two loads must hold the same object, or the comparison means nothing.
  const ObjectFile object = loadLwo();
  const Scene scene = loadJson();
  const ObjectLayer& layer = object.layers.at(0);
  if (layer.points != scene.items.at(0).points || layer.polygons != scene.items.at(0).polygons ||
      layer.weightMaps.at(0).values != scene.items.at(0).weightMaps.at(0).values) {
    state.SkipWithError("the .lwo and the JSON scene hold different objects");
    return;
  }
  std::vector<double> ratios, lwoMs, jsonMs, meshRatios;
  for (auto _ : state) {
    const double before = timed(loadLwo);
    const double json = timed(loadJson) + timed(loadJson);
    const double lwo = before + timed(loadLwo);
    ratios.push_back(lwo / json);
    // Against the mesh alone too, for what the weights cost the JSON scene.
    meshRatios.push_back(lwo / (timed(loadMesh) + timed(loadMesh)));
    lwoMs.push_back(lwo / 2);
    jsonMs.push_back(json / 2);
  }
  const auto quantile = [](std::vector<double>& values, double q) {
    const auto at = values.begin() + static_cast<std::ptrdiff_t>(q * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at;
  };
  state.counters["ratio"] = quantile(ratios, 0.5);
  state.counters["ratio_q1"] = quantile(ratios, 0.25);
  state.counters["ratio_q3"] = quantile(ratios, 0.75);
  state.counters["lwo_ms"] = quantile(lwoMs, 0.5);
  state.counters["json_ms"] = quantile(jsonMs, 0.5);
  state.counters["ratio_mesh_only"] = quantile(meshRatios, 0.5);
  const HeapUse lwoHeap = heapOf(loadLwo);
  const HeapUse jsonHeap = heapOf(loadJson);
  const double pointsMb = static_cast<double>(files.points * sizeof(Vec3)) / 1e6;
  state.counters["points_MB"] = pointsMb;
  state.counters["lwo_extra_MB"] = lwoHeap.extraMb;
  state.counters["lwo_result_MB"] = lwoHeap.resultMb;
  state.counters["json_extra_MB"] = jsonHeap.extraMb;
  state.counters["extra_over_points"] = lwoHeap.extraMb / pointsMb;
}
BENCHMARK(BM_LwoLoadOverJson)->Iterations(kLoadRounds)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarrow::host
