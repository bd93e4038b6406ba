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
  LWNodeEditorFuncs& editors = *host.nodeEditor;
  // The host reads the root description during create only; a deformer gives it no entries.
  LWRootNode noRoot{};

  instance.nodeEditor = editors.create("Displacement", kServerName, &noRoot, nullptr, &instance, nullptr);
  NodeID root = editors.getRootNodeID(instance.nodeEditor);
  host.nodeFuncs->setNodePreviewType(root, NPT_OFF);
  editors.setEnvGroup(instance.nodeEditor, host.itemInfo->chanGroup(instance.objectId));
  editors.setUpdateFunc(instance.nodeEditor, ignoreNetworkUpdate);
  editors.setAutosize(instance.nodeEditor, fillUnitRanges);
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

void fillUnitRanges(NodeEditorID /*editor*/, void* /*data*/, double ranges[3][2]) noexcept {
  for (int pair = 0; pair < 3; ++pair) {
    ranges[pair][0] = 0.0;
    ranges[pair][1] = 1.0;
  }
}

}  // namespace tarrow
