// A node network inside the host's block store: the nested blocks an editor writes into the
// block its owner opened for it, and reads back from there.
#pragma once

#include <nlohmann/json.hpp>

#include "sdk/lwio.h"

namespace tarrow::host {

// Writes a network's scene description (NodeNetwork::toJson) as nested blocks:
//   { Node  { Id "n1" } { Kind "Math" } { Op "add" } }      one per node, in order
//   { Value 0.3 } or { Value 1 2 3 }, { Item "name" }, { Key 0 1 } ...   a node's parameters
//   { Link "n1.value" "n2.a" }                              one per connection, in order
void saveNodeNetwork(const nlohmann::json& description, const LWSaveState& state);

// Reads those blocks, up to the end of the current block, back into a scene description.
// Unknown blocks are skipped. Throws NodeNetworkError for blocks that hold too little, texts
// longer than a reader's buffer, or more nodes than a network may have; every block it entered
// is left again first.
nlohmann::json loadNodeNetwork(const LWLoadState& state);

}  // namespace tarrow::host
