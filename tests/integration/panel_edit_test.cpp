// Settings made through the module's panel, as `tarrow-host panel` makes them, against the same
// settings written as saved state.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "host/panel/panel_run.h"
#include "host/run/scene_run.h"
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
