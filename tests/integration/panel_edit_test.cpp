// Settings made through the module's panel, as `tarrow-host panel` makes them, against the same
// settings written as saved state.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "host/loader/module_loader.h"
#include "host/panel/panel_run.h"
#include "host/run/scene_run.h"
#include "host/run/session.h"
#include "host/scene/scene_file.h"
#include "host/services/panel_view.h"
#include "scratch_folder_test.h"

namespace tarrow::host {
namespace {

// A strand behind a sliding object, and a second object as a possible pivot, moving on its own.
std::string sceneWith(const std::string& deformer) {
  return R"({"fps": 10, "frames": [0, 8], "items": [
  {"name": "Strand", "type": "object",
   "motion": [{"time": 0, "position": [0, 0, 0], "rotation": [0, 0, 0]},
              {"time": 1, "position": [2, 0, 0], "rotation": [90, 0, 0]}],
   "points": [[0, 0, 0], [0, 0, -1], [0, 0, -2]],
   "polygons": [[0, 1, 2]],
   "weightMaps": {"Fade": [1, 0.75, 0.5], "Half": [0.5, 0.5, 0.5]},
   "deformers": [)" +
         deformer + R"(]},
  {"name": "Handle", "type": "object", "parent": "Strand",
   "motion": [{"time": 0, "position": [0, 1, 0]}, {"time": 1, "position": [0, 3, -1]}],
   "points": [[0, 0, 0]]}]})";
}

class PanelEditTest : public integration::ScratchFolderTest {
 protected:
  // Every OBJ frame of the scene, concatenated in frame order.
  std::string framesOf(const std::filesystem::path& scene, const std::string& name) {
    RunOptions options;
    options.scene = scene;
    options.outDir = folder_ / name;
    options.picture = false;
    options.threads = 1;
    runScene(options);
    std::string all;
    for (int frame = 0; frame <= 8; ++frame) all += read(options.outDir / frameFileName("Strand", frame));
    return all;
  }
};

TEST_F(PanelEditTest, EditsSavedAndRunAgainMatchTheEquivalentState) {
  const std::string byState = framesOf(write("state.json", sceneWith(R"({"server": "Tarrow_plus", "state":
        "{ Version 1 }\n{ LagRate 0.3 }\n{ PivotItem 2 10000001 }\n{ PivotLocal 1 }\n{ WeightMap 1 \"Fade\" }\n"})")),
                                       "state");

  PanelOptions edit;
  edit.scene = write("plain.json", sceneWith(R"({"server": "Tarrow_plus"})"));
  edit.object = "Strand";
  edit.sets = {"Lag Rate (s/m)=0.3", "Tarrow Pivot Object=Handle",
               "Local Pivot=on",     "Weight Map=Half",
               "Weight Map=0",       "0x8006=1"};
  edit.saveScene = folder_ / "edited.json";
  const std::string shown = runPanel(edit);
  EXPECT_NE(shown.find("  Lag Rate (s/m): 0.3\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("    * 2 Handle\n"), std::string::npos) << shown;
  EXPECT_EQ(framesOf(*edit.saveScene, "edited"), byState);

  // The same edits written into the scene by hand, by label and by id.
  const std::string byPanel = framesOf(write("panel.json", sceneWith(R"j({"server": "Tarrow_plus", "panel":
        {"Lag Rate (s/m)": 0.3, "Tarrow Pivot Object": "Handle", "0x8005": true, "Weight Map": "Fade"}})j")),
                                       "panel");
  EXPECT_EQ(byPanel, byState);
  // Without the edits the strand moves otherwise, so the comparisons above mean something.
  EXPECT_NE(framesOf(edit.scene, "plain"), byState);
}

// The points of one frame of a scene, evaluated by a session of their own.
FramePoints pointsAt(const Scene& scene, int frame) {
  Session session(scene, {defaultModulePath(), 1});
  FramePoints points;
  session.evaluateFrame(frame, points);
  return points;
}

TEST_F(PanelEditTest, AnEditBetweenNewTimeAndThePointsReachesThemWhole) {
  const Scene plain =
      parseScene(sceneWith(R"({"server": "Tarrow_plus", "state": "{ LagRate 0.3 }\n"})"), "p.json");
  const Scene chosen = parseScene(
      sceneWith(R"({"server": "Tarrow_plus", "state": "{ LagRate 0.3 }\n{ PivotItem 2 10000001 }\n"})"),
      "c.json");
  Session session(plain, {defaultModulePath(), 1});
  session.beginFrame(5);
  const LWXPanelID panel = session.openPanel(0, 0);
  PanelView(session.panels(), panel).set("Tarrow Pivot Object", "Handle");
  FramePoints points;
  session.deformPoints(points);  // the update asked for newTime again first, as Layout does
  EXPECT_EQ(points, pointsAt(chosen, 5));
  EXPECT_NE(points, pointsAt(plain, 5));
}

// Panel edits on one thread while another evaluates frames: each frame's points are all of one
// setting or all of the other.
TEST_F(PanelEditTest, AFrameIsOfOneSettingWhileThePanelIsEditedMeanwhile) {
  nlohmann::json strand =
      nlohmann::json::parse(sceneWith(R"({"server": "Tarrow_plus", "state": "{ LagRate 0 }\n"})"));
  nlohmann::json points = nlohmann::json::array();
  for (int k = 0; k < 2000; ++k) points.push_back({0.001 * k, 0.0005 * k, -0.002 * k});
  strand["items"][0]["points"] = points;
  strand["items"][0].erase("polygons");
  strand["items"][0].erase("weightMaps");
  const Scene still = parseScene(strand.dump(), "still.json");
  strand["items"][0]["deformers"][0]["state"] = "{ LagRate 0.4 }\n";
  const Scene lagging = parseScene(strand.dump(), "lagging.json");
  constexpr int kFrames = 8;
  std::vector<FramePoints> stillFrames, laggingFrames;
  for (int frame = 1; frame <= kFrames; ++frame) {
    stillFrames.push_back(pointsAt(still, frame));
    laggingFrames.push_back(pointsAt(lagging, frame));
  }

  Session session(still, {defaultModulePath(), 2});
  PanelView view(session.panels(), session.openPanel(0, 0));
  std::atomic<bool> done{false};
  std::thread editor([&] {
    for (int k = 0; !done.load(); ++k) view.set("Lag Rate (s/m)", k % 2 == 0 ? "0.4" : "0");
  });
  int mixed = 0;
  for (int round = 0; round < 25; ++round) {
    for (int frame = 1; frame <= kFrames; ++frame) {
      FramePoints frameAt;
      session.evaluateFrame(frame, frameAt);
      const auto& a = stillFrames[static_cast<size_t>(frame - 1)][0];
      const auto& b = laggingFrames[static_cast<size_t>(frame - 1)][0];
      size_t fromA = 0, fromB = 0;
      for (size_t i = 0; i < a.size(); ++i) {
        fromA += frameAt[0][i] == a[i] ? 1 : 0;
        fromB += frameAt[0][i] == b[i] ? 1 : 0;
      }
      if (fromA != a.size() && fromB != b.size()) ++mixed;
    }
  }
  done = true;
  editor.join();
  EXPECT_EQ(mixed, 0) << "frames whose points mix the two settings";
}

TEST_F(PanelEditTest, BadPanelSettingsNameWhatIsValid) {
  const auto failure = [&](const std::string& panel) {
    try {
      loadScene(write("bad.json", sceneWith(R"({"server": "Tarrow_plus", "panel": )" + panel + "}")));
      RunOptions options;
      options.scene = folder_ / "bad.json";
      options.outDir = folder_ / "bad";
      options.picture = false;
      runScene(options);
    } catch (const std::exception& error) {
      return std::string(error.what());
    }
    return std::string("(no error)");
  };
  EXPECT_NE(
      failure(R"({"Weight Map": "Nope"})").find(R"j(valid values are "(none)" (0), "Fade" (1), "Half" (2))j"),
      std::string::npos);
  EXPECT_NE(failure(R"({"Lag": 1})").find("/panel"), std::string::npos);
  EXPECT_NE(failure(R"j({"Lag Rate (s/m)": "fast"})j").find("takes a number"), std::string::npos);

  PanelOptions edit;
  edit.scene = write("plain.json", sceneWith(R"({"server": "Tarrow_plus"})"));
  edit.object = "Handle";
  EXPECT_THAT([&] { runPanel(edit); },
              testing::ThrowsMessage<PanelError>(testing::HasSubstr("; valid objects are \"Strand\"")));
  edit.deformer = 2;
  edit.object = "Strand";
  EXPECT_THAT([&] { runPanel(edit); }, testing::ThrowsMessage<PanelError>(testing::HasSubstr(
                                           "has no deformer 2; valid deformers are 1 to 1")));
  edit.deformer = 1;
  edit.sets = {"Lag Rate (s/m)"};
  EXPECT_THROW(runPanel(edit), PanelError);
}

TEST_F(PanelEditTest, TheJapanesePanelKeepsTheJapaneseButton) {
  PanelOptions show;
  show.scene = write("plain.json", sceneWith(R"({"server": "Tarrow_plus"})"));
  show.object = "Strand";
  show.language = 0x411;
  show.press = "ノード編集";
  const std::string shown = runPanel(show);
  EXPECT_NE(shown.find("  ノード編集: [button]\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Lag Rate (s/m) (scalar)"), std::string::npos) << "the node editor's window";
  show.language = 0x409;
  show.press = "Edit Node";
  EXPECT_NE(runPanel(show).find("  Edit Node: [button]\n"), std::string::npos);
}

}  // namespace
}  // namespace tarrow::host
