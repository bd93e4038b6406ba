// Writing a scene back with each deformer's state as its instance saves it now.
#pragma once

#include <filesystem>
#include <string>

#include "host/run/session.h"

namespace tarrow::host {

// The scene file's text for a file at target: every deformer's "state" replaced by what its
// instance's save writes (the node network and the "panel" edits travel inside it, so "nodes" and
// "panel" are dropped), and mesh paths made relative to the new file's folder. An .lws scene
// keeps every other line as read, its object paths included. Reading it back gives the same frames.
std::string savedSceneText(Session& session, const std::filesystem::path& target);

}  // namespace tarrow::host
