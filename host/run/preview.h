// A picture of the deformed objects over a run: a few frames drawn over each other, older ones
// fainter and cooler, so that the trailing of the points shows at a glance.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "host/run/preview_view.h"
#include "host/run/session.h"

namespace tarrow::host {

// The frames worth drawing for a run over [first, last]: at most count, evenly spread, the
// last one always among them.
std::vector<int> previewFrames(int first, int last, int count);

// Draws the frames as seen from the scene's render camera (at the middle of the range) or,
// without one, from a default view, and writes a PNG. Returns false with a reason in note when
// this build cannot draw pictures or the file cannot be written.
bool writePreview(const std::filesystem::path& file, const Scene& scene,
                  const std::vector<DeformedObject>& objects, const std::vector<PreviewFrame>& frames,
                  std::string& note);

}  // namespace tarrow::host
