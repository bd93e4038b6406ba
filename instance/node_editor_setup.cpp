#include "instance/node_editor_setup.h"

#include "common/identity.h"
#include "common/lag_instance.h"
#include "common/service_table.h"

namespace tarrow {
namespace {

// A change inside the network, a connection or a node's own value, reaches the panels and the
// host alike.
void announceChange(LagInstance& instance) noexcept {
  const ServiceTable& host = services();
  // A connected input hides its setting in the panels, so they must read their values again.
  instance.panels.refreshAll(*host.xpanel);
  host.instUpdate(kHandlerClass, &instance);
}

}  // namespace

void setUpNodeEditor(LagInstance& instance) noexcept {
  const ServiceTable& host = services();
  const NodeInterface& editors = *host.nodes;

  instance.nodeEditor = editors.create("Displacement", kServerName, &instance);
  NodeID root = editors.rootNode(instance.nodeEditor);
  host.nodeFuncs->setNodePreviewType(root, editors.previewOff);
  editors.setEnvGroup(instance.nodeEditor, host.itemInfo->chanGroup(instance.objectId));
  editors.setUpdateFunc(instance.nodeEditor, nodeNetworkUpdated);
  editors.setUnitRanges(instance.nodeEditor);
  instance.lagRateInput =
      editors.addInput(instance.nodeEditor, NOT_SCALAR, "Lag Rate (s/m)", nodeInputChanged);
  instance.pivotInput = editors.addInput(instance.nodeEditor, NOT_VECTOR, "Pivot Position", nodeInputChanged);
  instance.weightInput = editors.addInput(instance.nodeEditor, NOT_SCALAR, "Weight", nodeInputChanged);
}

int nodeInputChanged(void* userData, NodeInputID /*input*/, int /*nodalEvent*/,
                     ConnectionType /*connectionType*/) noexcept {
  auto* instance = static_cast<LagInstance*>(userData);
  if (instance->destroying) {
    return 1;  // the editor is going with its instance: nothing left to show or update
  }
  announceChange(*instance);
  return 1;
}

void nodeNetworkUpdated(NodeEditorID editor) noexcept {
  auto* instance = static_cast<LagInstance*>(services().nodes->userData(editor));
  if (instance == nullptr || instance->destroying) {
    return;  // no instance, or one that is being freed: nothing to show or update
  }
  announceChange(*instance);
}

}  // namespace tarrow
