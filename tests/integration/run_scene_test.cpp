// A small scene through the module file as the stand-in host loads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#ifdef _WIN32
#include "host/base/windows_api.h"
#else
#include <unistd.h>
#endif

#ifdef TARROW_HAVE_GIF
#include <gif_lib.h>
#endif

#include <nlohmann/json.hpp>

#include "host/loader/module_loader.h"
#include "host/run/obj_writer.h"
#include "host/run/preview_animation.h"
#include "host/run/preview_scene.h"
#include "host/run/scene_run.h"
#include "host/run/session.h"
#include "host/scene/scene_file.h"
#include "scratch_folder_test.h"
#include "tests/fixtures/sample_module.h"

// Every operator new of this program, counted by run_allocation_counter.cpp.
long long allocationCount() noexcept;

namespace tarrow::host {
namespace {

// A strand of three points behind an object that slides along x and turns a quarter turn in
// its first second; the tip's weight is half.
constexpr const char* kStrand = R"({"fps": 10, "frames": [0, 14], "items": [
  {"name": "Strand", "type": "object",
   "motion": [{"time": 0, "position": [0, 0, 0], "rotation": [0, 0, 0]},
              {"time": 1, "position": [2, 0, 0], "rotation": [90, 0, 0]}],
   "points": [[0, 0, 0], [0, 0, -1], [0, 0, -2]],
   "polygons": [[0, 1, 2]],
   "weightMaps": {"Fade": [1, 1, 0.5]},
   "deformers": [{"server": "Tarrow_plus", "state": "{ Version 1 }\n{ LagRate 0.25 }\n{ WeightMap 1 \"Fade\" }\n"}]}]})";

// The test's own reading of the motion: heading only, keys at 0 s and 1 s, held outside.
struct Expected {
  static double clamp01(double t) { return std::min(1.0, std::max(0.0, t)); }
  static double headingRadians(double t) { return clamp01(t) * 90.0 * 3.14159265358979323846 / 180.0; }
  static double x(double t) { return 2.0 * clamp01(t); }
  // Ry(h) applied to p, plus the position.
  static Vec3 place(const Vec3& p, double t) {
    const double h = headingRadians(t);
    return {std::cos(h) * p[0] + std::sin(h) * p[2] + x(t), p[1], -std::sin(h) * p[0] + std::cos(h) * p[2]};
  }
  // Offset from the pivot is the point itself (the object's axes are orthonormal), its distance
  // the point's length; the frame at the delayed time carries it.
  static Vec3 deformed(const Vec3& p, double weight, double t) {
    const double dist = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    return place(p, t - dist * weight * 0.25);
  }
};

// The strand trailing a null "Hand" it is parented to, beside an object without a deformer, a
// light and a camera that does not render.
constexpr const char* kCrowd = R"({"fps": 10, "frames": [0, 14], "items": [
  {"name": "Strand", "type": "object", "parent": "Hand",
   "points": [[0, 0, 0], [0, 0, -1], [0, 0, -2]], "polygons": [[0, 1, 2]],
   "deformers": [{"server": "Tarrow_plus", "state": "{ Version 1 }\n{ LagRate 0.25 }\n{ PivotItem 1 10000001 }\n"}]},
  {"name": "Hand", "type": "object",
   "motion": [{"time": 0, "position": [0, 0, 0]}, {"time": 1, "position": [2, 0, 0], "rotation": [90, 0, 0]}]},
  {"name": "Rock", "type": "object", "motion": [{"time": 0, "position": [1, 0, 3]}],
   "points": [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]], "polygons": [[0, 1, 2, 3]]},
  {"name": "Lamp", "type": "light", "motion": [{"time": 0, "position": [0, 4, 0]}]},
  {"name": "Witness", "type": "camera", "motion": [{"time": 0, "position": [0, 2, -8]}]}]})";

class RunSceneTest : public integration::ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    sceneFile_ = write("strand.json", kStrand);
    scene_ = loadScene(sceneFile_);
  }

  static std::string objOf(Session& session, int frame) {
    FramePoints points;
    session.evaluateFrame(frame, points);
    std::string text;
    appendObj(text, points[0], session.scene().items[0].polygons);
    return text;
  }

  // Every frame's OBJ text, rendering the frames in the order given.
  std::vector<std::string> render(const std::vector<int>& order, int threads) {
    Session session(scene_, {defaultModulePath(), threads});
    std::vector<std::string> texts(15);
    for (int frame : order) texts[static_cast<size_t>(frame)] = objOf(session, frame);
    return texts;
  }

  std::filesystem::path sceneFile_;
  Scene scene_;
};

TEST_F(RunSceneTest, PointsLagAsTheFormulasSay) {
  Session session(scene_, {defaultModulePath(), 1});
  FramePoints points;
  const double weights[] = {1.0, 1.0, 0.5};
  for (int frame : {0, 3, 5, 10, 12, 14}) {
    SCOPED_TRACE(frame);
    session.evaluateFrame(frame, points);
    ASSERT_EQ(points.size(), 1u);
    ASSERT_EQ(points[0].size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      const Vec3 expected = Expected::deformed(scene_.items[0].points[i], weights[i], frame / 10.0);
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(points[0][i][c], expected[c], 1e-9) << "point " << i;
    }
  }
  // The weight map is found without selecting it in the shared mesh record.
  EXPECT_EQ(session.services().selectingLookups(), 0);
  // Mid-turn the tip trails: it is not where the undeformed object would put it.
  session.evaluateFrame(5, points);
  const Vec3 rigid = Expected::place({0, 0, -2}, 0.5);
  EXPECT_GT(std::abs(points[0][2][0] - rigid[0]) + std::abs(points[0][2][2] - rigid[2]), 0.1);
}

TEST_F(RunSceneTest, OutputDoesNotDependOnFrameOrderSessionsOrThreads) {
  std::vector<int> inOrder(15);
  for (int f = 0; f < 15; ++f) inOrder[static_cast<size_t>(f)] = f;
  const auto reference = render(inOrder, 1);

  std::vector<int> reverse(inOrder.rbegin(), inOrder.rend());
  EXPECT_EQ(render(reverse, 1), reference) << "reverse order";
  std::vector<int> shuffled = inOrder;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
  EXPECT_EQ(render(shuffled, 1), reference) << "random order";
  EXPECT_EQ(render(inOrder, 4), reference) << "four threads";
  for (int frame : {14, 0, 6}) {
    Session fresh(scene_, {defaultModulePath(), 2});
    EXPECT_EQ(objOf(fresh, frame), reference[static_cast<size_t>(frame)]) << "fresh session, frame " << frame;
  }
}

TEST_F(RunSceneTest, SavedSceneRunsToTheSameFiles) {
  RunOptions first;
  first.scene = sceneFile_;
  first.outDir = folder_ / "first";
  first.threads = 2;
  first.saveScene = folder_ / "saved" / "strand-saved.json";
  std::filesystem::create_directories(folder_ / "saved");
  const RunSummary summary = runScene(first);
  EXPECT_EQ(summary.frames, 15);

  RunOptions second = first;
  second.scene = *first.saveScene;
  second.outDir = folder_ / "second";
  second.saveScene.reset();
  runScene(second);
  for (int frame = 0; frame <= 14; ++frame) {
    const std::string name = frameFileName("Strand", frame);
    const std::string a = read(first.outDir / name);
    EXPECT_FALSE(a.empty()) << name;
    EXPECT_EQ(a, read(second.outDir / name)) << name;
  }
  EXPECT_NE(read(*first.saveScene).find("LagRate"), std::string::npos);
  // 15 frames and the saved scene, alike in every generation of the host.
  EXPECT_EQ(expectSameOutputInEveryGeneration(first, "generations"), 16u);
}

TEST_F(RunSceneTest, AFailedRunLeavesEarlierOutputAlone) {
  RunOptions good;
  good.scene = sceneFile_;
  good.outDir = folder_ / "out";
  good.frames = std::pair{2, 3};
  good.picture = false;
  runScene(good);
  const auto kept = good.outDir / frameFileName("Strand", 2);
  const std::string before = read(kept);
  ASSERT_FALSE(before.empty());

  // Destinations that cannot take their files: the saved scene's folder is missing, the saved
  // scene names a folder, a frame's name is a folder. Nothing is replaced, caches included: the
  // earlier frame keeps what was put there by hand.
  std::ofstream(kept, std::ios::binary) << "earlier";
  std::filesystem::create_directories(folder_ / "a folder");
  std::filesystem::create_directories(folder_ / "frames" / frameFileName("Strand", 14));
  struct Failing {
    std::filesystem::path out, saveScene;
    const char* message;
  };
  const Failing failures[] = {
      {good.outDir, folder_ / "no-such-folder" / "saved.json", "cannot be written: there is no folder"},
      {good.outDir, folder_ / "a folder", "a folder: cannot be written: it is a folder"},
      {folder_ / "frames", {}, "Strand_0014.obj: cannot be written: it is a folder"},
  };
  for (const Failing& failure : failures) {
    SCOPED_TRACE(failure.message);
    RunOptions failing = good;
    failing.outDir = failure.out;
    failing.frames = std::pair{0, 14};
    failing.cache = CacheFormat::Mdd;
    if (!failure.saveScene.empty()) failing.saveScene = failure.saveScene;
    try {
      runScene(failing);
      ADD_FAILURE() << "ran";
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(failure.message), std::string::npos) << error.what();
    }
    EXPECT_EQ(read(kept), "earlier");
    for (const auto& out : {good.outDir, folder_ / "frames"}) {
      EXPECT_FALSE(std::filesystem::exists(out / frameFileName("Strand", 9)));
      EXPECT_FALSE(std::filesystem::exists(out / "Strand.mdd"));
    }
  }
  std::ofstream(kept, std::ios::binary) << before;

  RunOptions badScene = good;
  badScene.scene =
      write("bad.json", std::string(kStrand).replace(std::string(kStrand).find("[1, 1, 0.5]"), 11, "[1, 1]"));
  EXPECT_THROW(runScene(badScene), SceneError);
  RunOptions nothingToDeform = good;
  nothingToDeform.scene = write(
      "still.json", std::string(kStrand).substr(0, std::string(kStrand).find(",\n   \"deformers\"")) + "}]}");
  try {
    runScene(nothingToDeform);
    ADD_FAILURE() << "a scene without deformers ran";
  } catch (const SceneError& error) {
    EXPECT_NE(std::string(error.what()).find("nothing to deform"), std::string::npos) << error.what();
  }
  std::vector<std::filesystem::path> left;
  for (const auto& entry : std::filesystem::directory_iterator(good.outDir))
    left.push_back(entry.path().filename());
  EXPECT_EQ(left.size(), 2u) << "only the two frames of the good run";
}

// After each run the folder holds that run's frames and pictures of its objects and nothing older
// of them; what no run of the scene writes stays, and so do temporaries of a process still running.
TEST_F(RunSceneTest, ARunLeavesOnlyItsOwnFramesOfItsObjects) {
#ifdef _WIN32
  const unsigned long long self = GetCurrentProcessId();
#else
  const unsigned long long self = static_cast<unsigned long long>(getpid());
#endif
  const std::string live = ".x.json.tarrow-partial-" + std::to_string(self) + "-0123456789abcdef-1";
  const std::filesystem::path out = folder_ / "out";
  std::filesystem::create_directories(out);
  const std::vector<std::string> others{"notes.txt", "Other_0001.obj", "Strand_0001.obj.bak", live};
  for (const std::string& name : others) std::ofstream(out / name) << "kept";
  // Left by runs killed before they could clean up: a process no system hands out, an older build.
  for (const char* name : {".Strand_0003.obj.tarrow-partial-4999999-0123456789abcdef-7",
                           ".preview.gif.tarrow-partial-0123456789abcdef-12"}) {
    std::ofstream(out / name) << "partial";
  }
  struct Case {
    int first, last;
    bool picture;
    std::vector<std::string> frames;  // the names of the run's frames, in frame order
  };
  // clang-format off
  const Case cases[] = {
      {0, 2, true, {"Strand_0000.obj", "Strand_0001.obj", "Strand_0002.obj"}},
      {1, 4, false, {"Strand_0001.obj", "Strand_0002.obj", "Strand_0003.obj", "Strand_0004.obj"}},
      {-2, 1, false, {"Strand_-0002.obj", "Strand_-0001.obj", "Strand_0000.obj", "Strand_0001.obj"}},
      {9998, 10001, false, {"Strand_09998.obj", "Strand_09999.obj", "Strand_10000.obj", "Strand_10001.obj"}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + ":" + std::to_string(c.last));
    RunOptions options;
    options.scene = sceneFile_;
    options.outDir = out;
    options.frames = std::pair{c.first, c.last};
    options.picture = c.picture;
    const RunSummary summary = runScene(options);
    std::vector<std::string> expected = others;
    expected.insert(expected.end(), c.frames.begin(), c.frames.end());
    // The pictures this build can draw; without --no-preview the earlier ones must be gone.
    for (const auto& file : summary.written) {
      if (c.picture && file.extension() != ".obj") expected.push_back(file.filename().string());
    }
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(out))
      left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
  }
}

// Frames allocate nothing, new times included: the module fetches the scene info from the host
// at every new time, so a long run must not add up.
TEST_F(RunSceneTest, EvaluatingAFrameAllocatesNothing) {
  for (int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    Session session(scene_, {defaultModulePath(), threads});
    FramePoints points;
    session.evaluateFrame(4, points);  // sizes the storage
    const long long before = allocationCount();
    for (int frame = 0; frame < 300; ++frame) session.evaluateFrame(frame % 15, points);
    EXPECT_EQ(allocationCount() - before, 0);
  }
}

// The strand scene with another saved state for its deformer.
std::string strandWithState(const std::string& state) {
  nlohmann::json scene = nlohmann::json::parse(kStrand);
  scene["items"][0]["deformers"][0]["state"] = state;
  return scene.dump();
}

// The strand scene with its deformer naming another server.
std::string strandWithServer(const std::string& server) {
  nlohmann::json scene = nlohmann::json::parse(kStrand);
  scene["items"][0]["deformers"][0]["server"] = server;
  return scene.dump();
}

// Each deformer runs through the displacement handler its "server" names, whatever the module:
// the sample module's "Nudge" moves every point by one step. A server the module does not offer
// stops the session with one line naming it and what the module has instead.
TEST_F(RunSceneTest, EachDeformerRunsTheServerItNames) {
  const std::filesystem::path sampleModule = executableDirectory() / "sample_module.p";
  // Three deformers stacked: each one starts from the previous one's points, so the nudges add
  // up (were each given the placed points, one nudge would be all that is left).
  nlohmann::json stacked = nlohmann::json::parse(strandWithServer("Nudge"));
  for (int copy = 0; copy < 2; ++copy) {
    stacked["items"][0]["deformers"].push_back(stacked["items"][0]["deformers"][0]);
  }
  const Scene nudged = parseScene(stacked.dump(), "nudged.json");
  Session session(nudged, {sampleModule, 2});
  FramePoints points;
  for (int frame : {0, 5, 14}) {
    SCOPED_TRACE(frame);
    session.evaluateFrame(frame, points);
    ASSERT_EQ(points.size(), 1u);
    ASSERT_EQ(points[0].size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      const Vec3 placed = Expected::place(nudged.items[0].points[i], frame / 10.0);
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(points[0][i][c], placed[c] + 3 * kSampleNudge[c], 1e-12) << "point " << i;
    }
  }

  // A panel of the deformer needs the module's displacement interface of the same name.
  nlohmann::json withPanel = nlohmann::json::parse(strandWithServer("Nudge"));
  withPanel["items"][0]["deformers"][0]["panel"] = nlohmann::json::object();
  struct Refusal {
    std::filesystem::path module;
    std::string scene;
    std::string message;
  };
  const Refusal refusals[] = {
      {sampleModule, strandWithServer("Tarrow_plus"),
       "sample_module.p offers no displacement handler \"Tarrow_plus\"; it offers \"Nudge\""},
      {defaultModulePath(), strandWithServer("Nudge"),
       "Tarrow_plus.p offers no displacement handler \"Nudge\"; it offers \"Tarrow_plus\""},
      {sampleModule, withPanel.dump(),
       "sample_module.p offers no displacement interface \"Nudge\"; it offers none"},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.message);
    const Scene scene = parseScene(refusal.scene, "named.json");
    try {
      Session refused(scene, {refusal.module, 1});
      ADD_FAILURE() << "accepted";
    } catch (const SceneError& error) {
      EXPECT_EQ(std::string(error.what()), "named.json: /items/0/deformers/0/server: " + refusal.message);
    }
  }
}

// A block short of its last value (a PivotItem with an index but no id, a WeightMap with an
// index but no name) changes what it carries and keeps the rest: saved again, the pivot and the
// map's name are those of the blocks before.
TEST_F(RunSceneTest, ABlockShortOfAValueKeepsTheEarlierOneInTheSavedScene) {
  RunOptions options;
  options.scene = write("short.json", strandWithState("{ PivotItem 1 10000000 }\n{ WeightMap 1 \"Tip\" }\n"
                                                      "{ PivotItem 2 }\n{ WeightMap 1 }\n"));
  options.outDir = folder_ / "out";
  options.frames = std::pair{0, 1};
  options.picture = false;
  options.saveScene = folder_ / "saved.json";
  runScene(options);
  const nlohmann::json saved = nlohmann::json::parse(read(*options.saveScene));
  const std::string state = saved["items"][0]["deformers"][0]["state"].get<std::string>();
  EXPECT_NE(state.find("{ PivotItem 2 10000000 }\n"), std::string::npos) << state;
  EXPECT_NE(state.find("{ WeightMap 1 \"Tip\" }\n"), std::string::npos) << state;
}

// The test's own readers of what a run writes, written from the formats, not from the writers.
namespace readers {

// The "v x y z" lines of an OBJ file, as doubles.
std::vector<Vec3> objPoints(const std::string& text) {
  std::vector<Vec3> points;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("v ", 0) != 0) continue;
    std::istringstream fields(line.substr(2));
    Vec3 point{};
    fields >> point[0] >> point[1] >> point[2];
    EXPECT_TRUE(fields && fields.peek() == EOF) << line;
    points.push_back(point);
  }
  return points;
}

struct Cache {
  uint32_t frames = 0, points = 0;
  std::vector<float> times;                     // MDD: one a frame
  float start = 0, sampling = 0;                // PC2
  std::vector<std::vector<float>> coordinates;  // per frame, x y z of each point
};

uint32_t word(const std::string& bytes, size_t at, bool bigEndian) {
  uint32_t value = 0;
  for (size_t k = 0; k < 4; ++k) {
    const auto byte = static_cast<uint8_t>(bytes.at(at + k));
    value |= static_cast<uint32_t>(byte) << (bigEndian ? 24 - 8 * k : 8 * k);
  }
  return value;
}
float single(const std::string& bytes, size_t at, bool bigEndian) {
  const uint32_t bits = word(bytes, at, bigEndian);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void readFrames(const std::string& bytes, size_t at, bool bigEndian, Cache& cache) {
  EXPECT_EQ(bytes.size(), at + size_t{cache.frames} * cache.points * 12) << "nothing missing, nothing after";
  for (uint32_t f = 0; f < cache.frames; ++f) {
    std::vector<float>& frame = cache.coordinates.emplace_back();
    for (uint32_t k = 0; k < cache.points * 3; ++k, at += 4) frame.push_back(single(bytes, at, bigEndian));
  }
}

Cache mdd(const std::string& bytes) {
  Cache cache;
  cache.frames = word(bytes, 0, true);
  cache.points = word(bytes, 4, true);
  for (uint32_t f = 0; f < cache.frames; ++f) cache.times.push_back(single(bytes, 8 + 4 * f, true));
  readFrames(bytes, 8 + 4 * size_t{cache.frames}, true, cache);
  return cache;
}

Cache pc2(const std::string& bytes) {
  Cache cache;
  EXPECT_EQ(bytes.substr(0, 12), std::string("POINTCACHE2\0", 12));
  EXPECT_EQ(word(bytes, 12, false), 1u) << "version";
  cache.points = word(bytes, 16, false);
  cache.start = single(bytes, 20, false);
  cache.sampling = single(bytes, 24, false);
  cache.frames = word(bytes, 28, false);
  readFrames(bytes, 32, false, cache);
  return cache;
}

}  // namespace readers

// --cache writes one point cache per deformed object holding every frame of the run in the
// object's point order: read back by the test's own readers, each frame is the run's OBJ frame
// to a float's precision, and the header says the frames, points, times and start.
TEST_F(RunSceneTest, PointCachesHoldEveryFrameAsTheObjFramesDo) {
  for (const CacheFormat format : {CacheFormat::Mdd, CacheFormat::Pc2}) {
    const bool isMdd = format == CacheFormat::Mdd;
    SCOPED_TRACE(isMdd ? "mdd" : "pc2");
    RunOptions options;
    options.scene = sceneFile_;
    options.outDir = folder_ / (isMdd ? "mdd" : "pc2");
    options.frames = std::pair{-2, 12};
    options.cache = format;
    options.threads = 2;
    const RunSummary summary = runScene(options);
    const std::string bytes = read(options.outDir / (isMdd ? "Strand.mdd" : "Strand.pc2"));
    const readers::Cache cache = isMdd ? readers::mdd(bytes) : readers::pc2(bytes);
    ASSERT_EQ(cache.frames, 15u);
    ASSERT_EQ(cache.points, 3u);
    ASSERT_EQ(cache.coordinates.size(), 15u);
    if (isMdd) {
      for (int f = 0; f < 15; ++f)
        EXPECT_EQ(cache.times[static_cast<size_t>(f)], static_cast<float>((f - 2) / 10.0));
    } else {
      EXPECT_EQ(cache.start, -2.0f);
      EXPECT_EQ(cache.sampling, 1.0f);
    }
    for (int frame = -2; frame <= 12; ++frame) {
      const std::vector<Vec3> obj = readers::objPoints(read(options.outDir / frameFileName("Strand", frame)));
      ASSERT_EQ(obj.size(), 3u);
      const std::vector<float>& cached = cache.coordinates[static_cast<size_t>(frame + 2)];
      for (size_t k = 0; k < 9; ++k) EXPECT_EQ(cached[k], static_cast<float>(obj[k / 3][k % 3])) << frame;
      // The OBJ frames themselves are where the test's own reading of the motion puts them.
      const double weights[] = {1.0, 1.0, 0.5};
      for (size_t i = 0; i < 3; ++i) {
        const Vec3 expected = Expected::deformed(scene_.items[0].points[i], weights[i], frame / 10.0);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(obj[i][c], expected[c], 1e-9) << frame;
      }
    }
    EXPECT_NE(std::find(summary.written.begin(), summary.written.end(),
                        options.outDir / (isMdd ? "Strand.mdd" : "Strand.pc2")),
              summary.written.end());
  }
  // A run without --cache removes the cache of an earlier run, which no longer matches its frames.
  RunOptions again;
  again.scene = sceneFile_;
  again.outDir = folder_ / "mdd";
  again.frames = std::pair{0, 3};
  again.picture = false;
  EXPECT_EQ(runScene(again).removedFrames, 11);
  EXPECT_FALSE(std::filesystem::exists(again.outDir / "Strand.mdd"));
}

// A saved state the load cannot take whole is told in one line naming the object and the place,
// and the session goes on with what was loaded; an item id written in decimal (as scenes of
// earlier builds had it) is refused with the id to write instead, never read as another item.
TEST_F(RunSceneTest, ASavedStateNotReadWholeIsToldAndADecimalItemIdRefused) {
  struct Case {
    const char* state;
    std::string warning;  // "": none
    std::string refusal = "";
  };
  const std::string place = "state.json: /items/0/deformers/0/state";
  // clang-format off
  const Case cases[] = {
      {"{ Version 1 }\n{ LagRate 0.5 }\n{ PivotItem 1 10000000 }\n{ WeightMap 1 \"Fade\" }\n", ""},
      {"{ Version 1 }\n{ PivotItem 1 0000000010000000 }\n{ WeightMap }\n{ Later 1 }\n", ""},
      {"{ Version 1 }\n{ PivotItem 1 268435456 }\n", "",
       place + ": line 2, column 15: the item id 268435456 is written in decimal; a saved state writes "
               "unsigned numbers in hexadecimal, as Layout does: write 10000000 for \"Strand\""},
      // No item has the id 268435457 here: a slip like any other.
      {"{ PivotItem 1 268435457 }\n", place + " (object \"Strand\"): line 1, column 15: an unsigned number "
       "in hexadecimal was read, and \"268435457\" stands there; the rest was loaded"},
      {"{ LagRate fast }\n{ UseNode x }\n", place + " (object \"Strand\"): line 1, column 11: a number was "
       "read, and \"fast\" stands there (and 1 more); the rest was loaded"},
      {"{ LagRate 0.1 }\n{ WeightMap 1 \"Fade }\n", place + " (object \"Strand\"): line 2, column 15: a "
       "text in quotes is never closed (and 1 more); the rest was loaded"},
      {"{ LagRate 0.1 }\n{ NodeTree\n", place + " (object \"Strand\"): line 3, column 1: the text ends inside "
       "a block; the rest was loaded"},
      {"{ Version 1 }\n{ NodeTree\n}\n{ LagRate 0.3 }\n", place + " (object \"Strand\"): line 4, column 1: "
       "\"{ LagRate 0.3 }\" stands outside any block the module read; the rest was loaded"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    const Scene scene = parseScene(strandWithState(c.state), "state.json");
    std::vector<std::string> warnings;
    SessionOptions options{defaultModulePath(), 1};
    options.warn = [&warnings](const std::string& line) { warnings.push_back(line); };
    try {
      Session session(scene, options);
      EXPECT_EQ(c.refusal, "") << "accepted";
    } catch (const SceneError& error) {
      EXPECT_EQ(error.what(), c.refusal);
    }
    EXPECT_EQ(warnings, c.warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.warning});
  }
}

// A weight map the object does not have (renamed or removed since the state was saved) gives no
// point a weight: every point stays where the object puts it, and the module never asks the
// mesh to read from a map it did not find.
TEST_F(RunSceneTest, AWeightMapTheObjectLacksLeavesEveryPointInPlace) {
  const Scene missing = parseScene(
      strandWithState("{ Version 1 }\n{ LagRate 0.25 }\n{ WeightMap 1 \"Gone\" }\n"), "missing.json");
  Session session(missing, {defaultModulePath(), 2});
  Session mapped(scene_, {defaultModulePath(), 2});
  FramePoints points;
  FramePoints lagging;
  for (int frame : {0, 3, 5, 10, 14}) {
    SCOPED_TRACE(frame);
    session.evaluateFrame(frame, points);
    ASSERT_EQ(points.size(), 1u);
    ASSERT_EQ(points[0].size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      const Vec3 expected = Expected::place(missing.items[0].points[i], frame / 10.0);
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(points[0][i][c], expected[c], 1e-9) << "point " << i;
    }
  }
  // With the map there, the same lag rate moves the tip: staying in place is the missing map's doing.
  mapped.evaluateFrame(5, lagging);
  session.evaluateFrame(5, points);
  EXPECT_GT(std::abs(points[0][2][0] - lagging[0][2][0]) + std::abs(points[0][2][2] - lagging[0][2][2]), 0.1);
  EXPECT_EQ(session.services().nullMapReads(), 0);
}

// Layout renumbers the items after one it deletes and hands every instance the renumbering: the
// deformed object and its pivot item, both listed after the deleted object, keep moving as their
// own items, as in the same scene without that object.
TEST_F(RunSceneTest, DeletingAnItemListedBeforeKeepsTheObjectAndItsPivot) {
  nlohmann::json document = nlohmann::json::parse(kCrowd);
  auto& items = document["items"];
  // The Strand held off and turned against the Hand, so that no other item's frame is its own.
  items[0]["motion"] = {{{"time", 0}, {"position", {0, 1, 0.5}}, {"rotation", {30, 0, 0}}}};
  const Scene crowd = parseScene(document.dump(), "crowd.json");
  const nlohmann::json spare = {{"name", "Spare"},
                                {"type", "object"},
                                {"motion",
                                 {{{"time", 0}, {"position", {5, 1, 0}}},
                                  {{"time", 1}, {"position", {-3, 2, 4}}, {"rotation", {0, 45, 0}}}}}};
  items.insert(items.begin(), spare);
  items[1]["deformers"][0]["state"] = "{ Version 1 }\n{ LagRate 0.25 }\n{ PivotItem 2 10000002 }\n";
  Scene withSpare = parseScene(document.dump(), "with-spare.json");
  Session reference(crowd, {defaultModulePath(), 1});
  Session session(withSpare, {defaultModulePath(), 1});

  session.removeItem(withSpare, 0);
  EXPECT_EQ(session.usedItems(0), std::vector<int>{2});  // the Hand, by its new id
  FramePoints expected, points;
  for (int frame = 0; frame <= 14; frame += 2) {
    SCOPED_TRACE(frame);
    reference.evaluateFrame(frame, expected);
    session.evaluateFrame(frame, points);
    EXPECT_EQ(points, expected);
  }
  EXPECT_THROW(session.removeItem(withSpare, 0), std::invalid_argument);  // already gone
  EXPECT_THROW(session.removeItem(withSpare, 2), std::invalid_argument);  // the Strand's parent
}

TEST_F(RunSceneTest, PicturesDrawEveryItemAndEachPivot) {
  const Scene crowd = loadScene(write("crowd.json", kCrowd));
  Session session(crowd, {defaultModulePath(), 1});
  const PreviewPlan plan =
      planPreview(crowd, session.deformedObjects(), {session.pivotItems(0)}, kImageBudget);
  struct Drawn {
    std::string name;
    DrawnKind kind;
    size_t points;
  };
  // clang-format off
  const Drawn expected[] = {
    {"Strand",  DrawnKind::kDeformed, 3},
    {"Hand",    DrawnKind::kMarker,   0},
    {"Rock",    DrawnKind::kStill,    4},
    {"Lamp",    DrawnKind::kMarker,   0},
    {"Witness", DrawnKind::kMarker,   0},
  };
  // clang-format on
  ASSERT_EQ(plan.items.size(), std::size(expected));
  for (size_t i = 0; i < plan.items.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(crowd.items[static_cast<size_t>(plan.items[i].item)].name, expected[i].name);
    EXPECT_EQ(plan.items[i].kind, expected[i].kind);
    EXPECT_EQ(plan.items[i].points.size(), expected[i].points);
  }
  ASSERT_EQ(plan.pivots.size(), 1u);
  EXPECT_EQ(crowd.items[static_cast<size_t>(plan.pivots[0].item)].name, "Hand");
  // The object without a deformer, where it stands, in the drawn points.
  FramePoints points;
  session.evaluateFrame(5, points);
  DrawnPoints drawn;
  drawnPointsAt(plan, crowd, 5, points, drawn);
  EXPECT_EQ(drawn[2][2], (Vec3{2, 1, 3}));
  EXPECT_EQ(drawn[0], points[0]);
}

TEST_F(RunSceneTest, AMeshOfAnySizeDrawsWithinTheBudget) {
  // Grids of side x side points, one cloth object; the large one has ten times the points.
  auto planFor = [](int side, size_t budget) {
    Scene scene;
    SceneItem& cloth = scene.items.emplace_back();
    cloth.name = "Cloth";
    for (int j = 0; j < side; ++j) {
      for (int i = 0; i < side; ++i) {
        cloth.points.push_back({static_cast<double>(i), static_cast<double>(j), 0.0});
        if (i + 1 < side && j + 1 < side)
          cloth.polygons.push_back(
              {j * side + i, j * side + i + 1, (j + 1) * side + i + 1, (j + 1) * side + i});
      }
    }
    return planPreview(scene, {DeformedObject{0, {}, {}, {}}}, {{}}, budget);
  };
  const PreviewPlan small = planFor(141, kPictureBudget);
  const PreviewPlan large = planFor(448, kPictureBudget);
  for (const PreviewPlan* plan : {&small, &large}) {
    EXPECT_LE(plan->primitives(), kPictureBudget);
    EXPECT_GE(plan->primitives(), kPictureBudget * 3 / 4) << "the budget is used, not wasted";
    EXPECT_LE(plan->items[0].points.size(), 4 * kPictureBudget);
  }
  // A sampled mesh shows its border: the large grid's whole outline, one loop.
  ASSERT_EQ(large.items[0].outline.size(), 1u);
  EXPECT_EQ(large.items[0].outline[0].size(), 4u * 447u);
  EXPECT_LE(planFor(448, kImageBudget).primitives(), kImageBudget);
  // The same plan every time.
  EXPECT_EQ(planFor(448, kPictureBudget).items[0].polygons, large.items[0].polygons);
}

// Rigs an artist builds, run at lag rate 0: whatever the object's scale, turn and parents, and
// with the object's own parent as its pivot item, every point stays where the host puts it.
// At lag rate 0, and when the item that carries the points does not move (in the world, or with
// Local Pivot against its parent), every point stays where the host puts it.
TEST_F(RunSceneTest, RigsWithoutLagLeaveEveryPointInPlace) {
  struct Rig {
    const char* name;
    const char* items;  // the deformed object is the one named "Tail"
    const char* pivot;  // the pivot item's blocks, or none
    double lagRate = 0.0;
    const char* nodes = nullptr;  // a node network of the deformer
  };
  // clang-format off
  const Rig rigs[] = {
      {"scaled, turned object",
       R"({"name": "Tail", "motion": [{"time": 0, "position": [1, 2, 3], "rotation": [30, 10, 5], "scale": [2, 0.5, 3]},
                                      {"time": 1, "position": [2, 0, 0], "rotation": [90, -20, 40], "scale": [1.5, 0.75, 2]}]})",
       ""},
      {"parented to a turning, scaled body",
       R"({"name": "Body", "motion": [{"time": 0, "rotation": [0, 0, 0], "scale": [2, 2, 2]},
                                      {"time": 1, "position": [3, 0, 1], "rotation": [120, 0, 0], "scale": [3, 1, 2]}]},
          {"name": "Tail", "parent": "Body", "motion": [{"time": 0, "position": [0, 0, -1], "rotation": [0, 20, 0], "scale": [1, 1, 0.5]}]})",
       ""},
      {"scaled, mirrored grandparent",
       R"({"name": "Root", "motion": [{"time": 0, "position": [0, 1, 0], "rotation": [10, 0, 0], "scale": [-1, 2, 1]},
                                      {"time": 1, "position": [1, 1, 0], "rotation": [50, 0, 30], "scale": [-2, 1, 1]}]},
          {"name": "Body", "parent": "Root", "motion": [{"time": 0, "position": [0, 0, 2], "rotation": [0, 45, 0]}]},
          {"name": "Tail", "parent": "Body", "motion": [{"time": 0, "rotation": [15, 0, 0], "scale": [0.5, 1, 1]},
                                                        {"time": 1, "rotation": [-15, 0, 0], "scale": [1, 1, 2]}]})",
       ""},
      {"rope whose pivot item is its parent",
       R"({"name": "Null", "motion": [{"time": 0, "position": [0, 2, 0], "rotation": [90, 0, 0], "scale": [1, 1, 3]},
                                      {"time": 1, "position": [2, 2, 1], "rotation": [180, 30, 0], "scale": [2, 1, 1]}]},
          {"name": "Tail", "parent": "Null", "motion": [{"time": 0, "position": [0, -0.5, 0]}]})",
       "{ PivotItem 1 10000000 }\n"},
      {"rope whose local pivot's parent stays at the origin",
       R"({"name": "Stand"},
          {"name": "Null", "parent": "Stand", "motion": [{"time": 0, "position": [0, 2, 0], "rotation": [0, 0, 0]},
                                                         {"time": 1, "position": [1, 2, 0], "rotation": [60, 0, 20]}]},
          {"name": "Tail", "parent": "Null", "motion": [{"time": 0, "position": [0, -0.5, 0]}]})",
       "{ PivotItem 2 10000001 }\n{ PivotLocal 1 }\n"},
      {"pivot item turned and scaled against the tail",
       R"({"name": "Body", "motion": [{"time": 0, "position": [1, 0, 0], "rotation": [90, 20, 0], "scale": [2, 1, 0.5]},
                                      {"time": 1, "position": [3, 1, 2], "rotation": [150, 20, 10], "scale": [2, 1, 0.5]}]},
          {"name": "Tail", "parent": "Body", "motion": [{"time": 0, "position": [0, 0, -0.5], "rotation": [-90, 0, 0]}]})",
       "{ PivotItem 1 10000000 }\n"},
      {"Local Pivot under a car 20 m out that drives and turns",
       R"({"name": "Car", "motion": [{"time": 0, "position": [20, 0, 0]}, {"time": 1, "position": [24, 0, 6], "rotation": [70, 0, 0]}]},
          {"name": "Body", "parent": "Car", "motion": [{"time": 0, "position": [0, 1, 0], "rotation": [90, 20, 0], "scale": [2, 1, 0.5]},
                                                       {"time": 1, "position": [0, 1, 1], "rotation": [40, 0, 0], "scale": [2, 1, 0.5]}]},
          {"name": "Tail", "parent": "Body", "motion": [{"time": 0, "rotation": [-90, 0, 0]}]})",
       "{ PivotItem 2 10000001 }\n{ PivotLocal 1 }\n"},
      {"node pivot away from the object",
       R"({"name": "Tail", "motion": [{"time": 0, "position": [1, 2, 3], "rotation": [30, 10, 5]},
                                      {"time": 1, "position": [2, 0, 0], "rotation": [90, -20, 40]}]})",
       "{ UseNode 1 }\n", 0.0,
       R"({"nodes": [{"id": "p", "type": "Constant", "value": [4, -1, 2]}], "connections": [{"from": "p", "to": "Pivot Position"}]})"},
      {"pivot item not in the scene",
       R"({"name": "Tail", "motion": [{"time": 0, "position": [1, 2, 3]}, {"time": 1, "position": [2, 0, 0], "rotation": [90, 0, 0]}]})",
       "{ PivotItem 3 10000009 }\n"},
      {"still pivot item, turned and scaled; the tail moves on its own",
       R"({"name": "Null", "motion": [{"time": 0, "position": [1, 1, 0], "rotation": [90, 20, 0], "scale": [2, 1, 0.5]}]},
          {"name": "Tail", "motion": [{"time": 0, "position": [0, 0, 0]}, {"time": 1, "position": [2, 1, 3], "rotation": [60, 0, 10]}]})",
       "{ PivotItem 1 10000000 }\n", 0.5},
      {"Local Pivot on a body still against a car that drives and turns",
       R"({"name": "Car", "motion": [{"time": 0, "position": [20, 0, 0]}, {"time": 1, "position": [24, 0, 6], "rotation": [70, 0, 0]}]},
          {"name": "Body", "parent": "Car", "motion": [{"time": 0, "position": [0, 1, 0], "rotation": [90, 20, 0], "scale": [2, 1, 0.5]}]},
          {"name": "Tail", "parent": "Body", "motion": [{"time": 0, "rotation": [-90, 0, 0]}]})",
       "{ PivotItem 2 10000001 }\n{ PivotLocal 1 }\n", 0.5},
  };
  // clang-format on
  for (const Rig& rig : rigs) {
    SCOPED_TRACE(rig.name);
    nlohmann::json scene =
        nlohmann::json::parse(std::string(R"({"fps": 10, "frames": [0, 14], "items": [)") + rig.items + "]}");
    for (auto& item : scene["items"]) {
      item["type"] = "object";
      if (item["name"] != "Tail") continue;
      item["points"] = {{0, 0, 0}, {0, 0, -1}, {0.5, 1, -2}};
      item["deformers"] = {
          {{"server", "Tarrow_plus"},
           {"state", "{ Version 1 }\n{ LagRate " + std::to_string(rig.lagRate) + " }\n" + rig.pivot}}};
      if (rig.nodes != nullptr) item["deformers"][0]["nodes"] = nlohmann::json::parse(rig.nodes);
    }
    const Scene parsed = parseScene(scene.dump(), "rig.json");
    const int tail = static_cast<int>(parsed.items.size()) - 1;
    Session session(parsed, {defaultModulePath(), 1});
    FramePoints points;
    for (int frame : {0, 4, 10, 14}) {
      SCOPED_TRACE(frame);
      session.evaluateFrame(frame, points);
      ASSERT_EQ(points.size(), 1u);
      const Placement placed = parsed.worldPlacement(tail, frame / 10.0);
      for (size_t i = 0; i < 3; ++i) {
        const Vec3 expected = placed.apply(parsed.items[static_cast<size_t>(tail)].points[i]);
        const double size =
            std::max({1.0, std::abs(expected[0]), std::abs(expected[1]), std::abs(expected[2])});
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(points[0][i][c], expected[c], 1e-12 * size) << "point " << i;
      }
    }
  }
}

// A tail under a body that slides, turns and is stretched twice along its own x; the tail is
// squeezed to half along its own z and trails its own pivot at 0.25 s/m. The reference is the
// host's documented item model written out for this rig: A_body = Ry(h) * diag(2, 1, 1),
// A_tail = A_body * diag(1, 1, 0.5), the tail's world position A_body * (0, 0, -1) + the body's.
TEST_F(RunSceneTest, AScaledParentedTailLagsAsTheItemModelSays) {
  const Scene scene = parseScene(R"({"fps": 10, "frames": [0, 14], "items": [
    {"name": "Body", "type": "object",
     "motion": [{"time": 0, "position": [0, 0, 0], "rotation": [0, 0, 0], "scale": [2, 1, 1]},
                {"time": 1, "position": [2, 0, 0], "rotation": [90, 0, 0], "scale": [2, 1, 1]}]},
    {"name": "Tail", "type": "object", "parent": "Body",
     "motion": [{"time": 0, "position": [0, 0, -1], "scale": [1, 1, 0.5]}],
     "points": [[0, 0, 0], [0, 0, -1], [0.5, 1, -2]],
     "deformers": [{"server": "Tarrow_plus", "state": "{ Version 1 }\n{ LagRate 0.25 }\n"}]}]})",
                                 "scaled-tail.json");
  // A point q of the tail's own coordinates in the world at time t, and the inverse of its A.
  auto place = [](const Vec3& q, double t) {
    return Expected::place({2.0 * q[0], q[1], 0.5 * q[2] - 1.0}, t);
  };
  auto intoTail = [](const Vec3& d, double t) {
    const double h = Expected::headingRadians(t);
    const Vec3 unturned = {std::cos(h) * d[0] - std::sin(h) * d[2], d[1],
                           std::sin(h) * d[0] + std::cos(h) * d[2]};
    return Vec3{unturned[0] / 2.0, unturned[1], unturned[2] / 0.5};
  };
  Session session(scene, {defaultModulePath(), 1});
  FramePoints points;
  for (int frame : {0, 3, 5, 10, 12, 14}) {
    SCOPED_TRACE(frame);
    const double t = frame / 10.0;
    session.evaluateFrame(frame, points);
    ASSERT_EQ(points.size(), 1u);
    const Vec3 pivot = place({0, 0, 0}, t);
    for (size_t i = 0; i < 3; ++i) {
      const Vec3 source = place(scene.items[1].points[i], t);
      const Vec3 d = {source[0] - pivot[0], source[1] - pivot[1], source[2] - pivot[2]};
      const double delayed = t - std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) * 0.25;
      const Vec3 expected = place(intoTail(d, t), delayed);
      const double size =
          std::max({1.0, std::abs(expected[0]), std::abs(expected[1]), std::abs(expected[2])});
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(points[0][i][c], expected[c], 1e-9 * size) << "point " << i;
    }
  }
}

#ifdef TARROW_HAVE_GIF
// Decodes preview.gif whole with giflib.
struct DecodedGif {
  explicit DecodedGif(const std::filesystem::path& file) {
    int error = 0;
    gif = DGifOpenFileName(file.string().c_str(), &error);
    if (gif == nullptr) {
      ADD_FAILURE() << file << ": " << GifErrorString(error);
    } else if (DGifSlurp(gif) != GIF_OK) {
      ADD_FAILURE() << file << ": " << GifErrorString(gif->Error);
    }
  }
  ~DecodedGif() {
    if (gif != nullptr) DGifCloseFile(gif, nullptr);
  }
  GifFileType* gif = nullptr;
};

TEST_F(RunSceneTest, AnimationHasOneImagePerFrameDrawnAndKeepsTime) {
  struct Case {
    std::pair<int, int> frames;
    size_t images;  // every frame, or every 4th of a long run, and the last
  };
  for (const Case& c : {Case{{0, 14}, 15}, Case{{6, 6}, 1}, Case{{0, 400}, 101}}) {
    SCOPED_TRACE(c.frames.second);
    RunOptions options;
    options.scene = sceneFile_;
    options.outDir = folder_ / ("out-" + std::to_string(c.frames.second));
    options.frames = c.frames;
    const RunSummary summary = runScene(options);
    EXPECT_EQ(summary.note, "");
    const std::vector<int> drawn = animationFrames(c.frames.first, c.frames.second, scene_.fps);
    ASSERT_EQ(drawn.size(), c.images);
    EXPECT_EQ(drawn.back(), c.frames.second);

    DecodedGif decoded(options.outDir / "preview.gif");
    GifFileType* gif = decoded.gif;
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(static_cast<size_t>(gif->ImageCount), c.images);
    ASSERT_NE(gif->SColorMap, nullptr);
    // Loops for ever: the application block before the first image.
    const SavedImage& first = gif->SavedImages[0];
    bool loops = false;
    for (int e = 0; e < first.ExtensionBlockCount; ++e) {
      const ExtensionBlock& block = first.ExtensionBlocks[e];
      loops = loops || (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                        std::string(reinterpret_cast<const char*>(block.Bytes), 11) == "NETSCAPE2.0");
    }
    EXPECT_TRUE(loops);
    EXPECT_EQ(first.ImageDesc.Left, 0);
    EXPECT_EQ(first.ImageDesc.Top, 0);
    EXPECT_EQ(first.ImageDesc.Width, gif->SWidth);
    EXPECT_EQ(first.ImageDesc.Height, gif->SHeight);

    // Each image lies on the picture and stays until the next one's frame is due.
    int shown = 0;  // hundredths of a second before the last image
    int last = 0;
    for (int i = 0; i < gif->ImageCount; ++i) {
      const GifImageDesc& image = gif->SavedImages[i].ImageDesc;
      EXPECT_GE(image.Left, 0);
      EXPECT_GE(image.Top, 0);
      EXPECT_LE(image.Left + image.Width, gif->SWidth);
      EXPECT_LE(image.Top + image.Height, gif->SHeight);
      GraphicsControlBlock control{};
      ASSERT_EQ(DGifSavedExtensionToGCB(gif, i, &control), GIF_OK) << "image " << i;
      EXPECT_GE(control.DelayTime, 2) << "image " << i;
      if (i + 1 < gif->ImageCount) shown += control.DelayTime;
      if (i + 1 == gif->ImageCount) last = control.DelayTime;
    }
    EXPECT_EQ(shown, (drawn.back() - drawn.front()) * 10) << "frames at 10 per second";
    EXPECT_EQ(last, 10) << "the last image lasts its one frame, no longer";
  }
}

TEST_F(RunSceneTest, PicturesAreTheSameRunToRunAndOnAnyThreads) {
  const std::filesystem::path crowd = write("crowd.json", kCrowd);
  auto picturesOf = [&](int threads, const std::string& name) {
    RunOptions options;
    options.scene = crowd;
    options.outDir = folder_ / name;
    options.threads = threads;
    EXPECT_EQ(runScene(options).note, "");
    return std::pair{read(options.outDir / "preview.png"), read(options.outDir / "preview.gif")};
  };
  const auto reference = picturesOf(1, "one");
  ASSERT_FALSE(reference.first.empty());
  ASSERT_FALSE(reference.second.empty());
  EXPECT_TRUE(picturesOf(1, "again") == reference) << "run to run";
  EXPECT_TRUE(picturesOf(3, "three") == reference) << "three threads";
}
#else
TEST_F(RunSceneTest, BuildsWithoutPicturesSaySo) {
  RunOptions options;
  options.scene = sceneFile_;
  options.outDir = folder_ / "out";
  const RunSummary summary = runScene(options);
  EXPECT_NE(summary.note.find("no preview"), std::string::npos) << summary.note;
  EXPECT_FALSE(std::filesystem::exists(options.outDir / "preview.gif"));
  EXPECT_TRUE(std::filesystem::exists(options.outDir / frameFileName("Strand", 14)));
}
#endif

}  // namespace
}  // namespace tarrow::host
