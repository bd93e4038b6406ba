#include "host/services/node_blocks.h"

#include <string>

#include "host/services/node_network.h"

namespace tarrow::host {
namespace {

constexpr LWID kNode = LWID_('N', 'O', 'D', 'E');
constexpr LWID kId = LWID_('N', 'D', 'I', 'D');
constexpr LWID kKind = LWID_('K', 'I', 'N', 'D');
constexpr LWID kValue = LWID_('V', 'A', 'L', 'U');
constexpr LWID kItem = LWID_('I', 'T', 'E', 'M');
constexpr LWID kOp = LWID_('M', 'O', 'P', 'R');
constexpr LWID kKey = LWID_('G', 'K', 'E', 'Y');
constexpr LWID kLink = LWID_('L', 'I', 'N', 'K');

constexpr LWBlockIdent kNetworkBlocks[] = {{kNode, "Node"}, {kLink, "Link"}, {0, nullptr}};
constexpr LWBlockIdent kNodeBlocks[] = {{kId, "Id"}, {kKind, "Kind"}, {kValue, "Value"}, {kItem, "Item"},
                                        {kOp, "Op"}, {kKey, "Key"},   {0, nullptr}};

constexpr int kTextBuffer = 1024;
constexpr std::size_t kMaxKeys = 4096;

[[noreturn]] void malformed(const std::string& what) {
  throw NodeNetworkError("node network block: " + what);
}

const LWBlockIdent& identOf(const LWBlockIdent* table, LWID id) {
  while (table->id != id) ++table;
  return *table;
}

// Writes one block; leaf blocks take their values from fill.
template <typename Fill>
void block(const LWSaveState& state, const LWBlockIdent* table, LWID id, bool leaf, Fill fill) {
  state.beginBlk(state.writeData, &identOf(table, id), leaf ? 1 : 0);
  fill();
  state.endBlk(state.writeData);
}

void writeText(const LWSaveState& state, const std::string& text) {
  state.writeStr(state.writeData, text.c_str());
}

void writeNode(const nlohmann::json& node, const LWSaveState& state) {
  auto text = [&](LWID id, const char* member) {
    if (!node.contains(member)) return;
    block(state, kNodeBlocks, id, true, [&] { writeText(state, node[member].get<std::string>()); });
  };
  text(kId, "id");
  text(kKind, "type");
  if (node.contains("value")) {
    const auto& value = node["value"];
    double values[3]{};
    int count = value.is_array() ? 3 : 1;
    for (int i = 0; i < count; ++i)
      values[i] = value.is_array() ? value[i].get<double>() : value.get<double>();
    block(state, kNodeBlocks, kValue, true, [&] { state.writeDP(state.writeData, values, count); });
  }
  text(kItem, "item");
  text(kOp, "op");
  if (node.contains("keys")) {
    for (const auto& key : node["keys"]) {
      double pair[2]{key[0].get<double>(), key[1].get<double>()};
      block(state, kNodeBlocks, kKey, true, [&] { state.writeDP(state.writeData, pair, 2); });
    }
  }
}

// Leaves a block that was entered, also when reading it failed.
class EnteredBlock {
 public:
  explicit EnteredBlock(const LWLoadState& state) : state_(state) {}
  EnteredBlock(const EnteredBlock&) = delete;
  EnteredBlock& operator=(const EnteredBlock&) = delete;
  ~EnteredBlock() { state_.endBlk(state_.readData); }

 private:
  const LWLoadState& state_;
};

std::string readText(const LWLoadState& state, const char* what) {
  char buffer[kTextBuffer];
  buffer[0] = '\0';
  int length = state.readStr(state.readData, buffer, kTextBuffer);
  if (length < 0) malformed(std::string("a ") + what + " block holds no text");
  if (length >= kTextBuffer - 1) malformed(std::string("a ") + what + " text is too long");
  return std::string(buffer);
}

nlohmann::json readNode(const LWLoadState& state) {
  nlohmann::json node = nlohmann::json::object();
  while (LWID id = state.findBlk(state.readData, kNodeBlocks)) {
    EnteredBlock entered(state);
    switch (id) {
      case kId:
        node["id"] = readText(state, "Id");
        break;
      case kKind:
        node["type"] = readText(state, "Kind");
        break;
      case kItem:
        node["item"] = readText(state, "Item");
        break;
      case kOp:
        node["op"] = readText(state, "Op");
        break;
      case kValue: {
        double values[3]{};
        int count = state.readDP(state.readData, values, 3);
        if (count == 1) {
          node["value"] = values[0];
        } else if (count == 3) {
          node["value"] = {values[0], values[1], values[2]};
        } else {
          malformed("a Value block holds neither one number nor three");
        }
        break;
      }
      case kKey: {
        double pair[2]{};
        if (state.readDP(state.readData, pair, 2) != 2) malformed("a Key block holds fewer than two numbers");
        auto& keys = node["keys"];
        if (keys.size() >= kMaxKeys) malformed("a Gradient has too many keys");
        keys.push_back({pair[0], pair[1]});
        break;
      }
      default:
        break;
    }
  }
  return node;
}

}  // namespace

void saveNodeNetwork(const nlohmann::json& description, const LWSaveState& state) {
  for (const auto& node : description.at("nodes")) {
    block(state, kNetworkBlocks, kNode, false, [&] { writeNode(node, state); });
  }
  for (const auto& link : description.at("connections")) {
    block(state, kNetworkBlocks, kLink, true, [&] {
      writeText(state, link.at("from").get<std::string>());
      writeText(state, link.at("to").get<std::string>());
    });
  }
}

nlohmann::json loadNodeNetwork(const LWLoadState& state) {
  auto nodes = nlohmann::json::array();
  auto connections = nlohmann::json::array();
  while (LWID id = state.findBlk(state.readData, kNetworkBlocks)) {
    EnteredBlock entered(state);
    if (id == kNode) {
      if (nodes.size() >= static_cast<std::size_t>(kMaxNetworkNodes)) {
        malformed("more than " + std::to_string(kMaxNetworkNodes) + " nodes");
      }
      nodes.push_back(readNode(state));
    } else if (id == kLink) {
      std::string from = readText(state, "Link");
      std::string to = readText(state, "Link");
      connections.push_back({{"from", std::move(from)}, {"to", std::move(to)}});
    }
  }
  return {{"nodes", std::move(nodes)}, {"connections", std::move(connections)}};
}

}  // namespace tarrow::host
