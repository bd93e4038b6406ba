#include "instance/node_editor_setup.h"

#include "common/identity.h"
#include "common/lag_instance.h"
#include "common/service_table.h"

namespace tarrow {
namespace {

void ignoreNetworkUpdate(NodeEditorID /*editor*/) noexcept {}

}  // namespace

void setUpNodeEditor(LagInstance& instance) noexcept {
  const ServiceTable& host = services();
  const NodeInterface& editors = *host.nodes;

  instance.nodeEditor = editors.create("Displacement", kServerName, &instance);
  NodeID root = editors.rootNode(instance.nodeEditor);
  host.nodeFuncs->setNodePreviewType(root, editors.previewOff);
  editors.setEnvGroup(instance.nodeEditor, host.itemInfo->chanGroup(instance.objectId));
  editors.setUpdateFunc(instance.nodeEditor, ignoreNetworkUpdate);
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
  const ServiceTable& host = services();
  // A connected input hides its setting in the panels, so they must read their values again.
  instance->panels.refreshAll(*host.xpanel);
  host.instUpdate(kHandlerClass, instance);
  return 1;
}

}  // namespace tarrow
