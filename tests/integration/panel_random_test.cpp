// Random values through every control of the module's panel: nothing crashes, and every value
// reads back as it was written.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "host/run/session.h"
#include "host/scene/scene_file.h"
#include "host/services/panel_view.h"

namespace tarrow::host {
namespace {

constexpr const char* kScene = R"({"fps": 10, "frames": [0, 3], "items": [
  {"name": "Strand", "type": "object", "points": [[0, 0, 0], [0, 0, -1]], "polygons": [],
   "motion": [{"time": 0, "position": [0, 0, 0]}, {"time": 1, "position": [1, 0, 0]}],
   "weightMaps": {"Fade": [1, 0.5]},
   "deformers": [{"server": "Tarrow_plus"}]},
  {"name": "Other", "type": "object", "points": [[0, 0, 0]]}]})";

TEST(PanelRandomTest, RandomValuesThroughEveryControlReadBack) {
  const Scene scene = parseScene(kScene, "random.json");
  SessionOptions options;
  options.threads = 1;
  Session session(scene, options);
  const LWXPanelID panel = session.openPanel(0, 0);
  XPanelService& panels = session.panels();
  const PanelRecord record = panels.find(panel).value();  // the controls as the module built them

  std::mt19937_64 random(20240325);
  std::uniform_int_distribution<int> pick(0, static_cast<int>(record.controls.size()) - 1);
  std::uniform_int_distribution<int32_t> anyWhole(std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max());
  std::uniform_int_distribution<int32_t> nearList(-3, 8);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-300, 300);
  FramePoints points;
  int written = 0;
  for (int round = 0; round < 4000; ++round) {
    const PanelControlInfo& control = record.controls[static_cast<size_t>(pick(random))];
    if (record.datatypes.count(control.id) == 0) {
      panels.press(panel, control.id);  // the button: opens the node editor's window
      continue;
    }
    PanelValue value;
    if (record.datatypes.at(control.id) == "float") {
      value = unit(random) * std::pow(10.0, exponent(random) / 100.0);
    } else if (record.popups.count(control.id) != 0) {
      // Mostly entries of the list, sometimes indices past either end.
      value = round % 5 == 0 ? anyWhole(random) : nearList(random);
    } else {
      value = round % 3 == 0 ? anyWhole(random) : static_cast<int32_t>(round % 2);
    }
    ASSERT_EQ(panels.write(panel, control.id, value), LWXPRC_DFLT);
    ++written;
    ASSERT_EQ(panels.read(panel, control.id), std::optional<PanelValue>(value))
        << "control " << control.id << " round " << round;
    if (record.popups.count(control.id) != 0) panels.popupEntries(panel, control.id);
    if (round % 500 == 0) {
      session.evaluateFrame(round % 4, points);  // whatever was set, a frame still evaluates
      session.savedState(0, 0);
    }
  }
  EXPECT_GT(written, 3000);
  panels.destroy(panel);
}

}  // namespace
}  // namespace tarrow::host
