// A picture of a run: a few frames of the deformed objects drawn over each other, each frame in
// its colour of the viridis map (the legend says which), with every other item, the pivots, the
// paths, a ground grid and the axes, so that the trailing of the points shows at a glance.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "host/run/preview_view.h"

namespace tarrow::host {

// The frames worth drawing for a run over [first, last]: at most count, evenly spread, the
// last one always among them.
std::vector<int> previewFrames(int first, int last, int count);

// Draws the frames (the plan's points at each) as seen from the scene's render camera (at the
// middle of the range) or, without one, from a default view, and writes a PNG. Returns false
// with a reason in note when this build cannot draw pictures or the file cannot be written.
bool writePreview(const std::filesystem::path& file, const Scene& scene, const PreviewPlan& plan,
                  const std::vector<PreviewFrame>& frames, const PreviewLabels& labels, std::string& note);

}  // namespace tarrow::host
