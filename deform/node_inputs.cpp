#include "deform/node_inputs.h"

#include "instance/lag_instance.h"
#include "module/service_table.h"

namespace tarrow {
namespace {

constexpr int deformerRootFlags = 2;

void ignoreNetworkUpdate(NodeEditorID /*editor*/, void* /*userData*/) noexcept {}

}  // namespace

void setUpNodeEditor(LagInstance& instance) noexcept {
  const ServiceTable& host = services();
  NodeEditorFuncs& editors = *host.nodeEditor;
  static constexpr LWNodeCreateContext noContext{};

  instance.nodeEditor = editors.create("Displacement", serverName, &noContext, nullptr, &instance, 0);
  NodeID root = editors.getRootNode(instance.nodeEditor);
  host.nodeFuncs->setRootFlags(root, deformerRootFlags);
  editors.setEnvGroup(instance.nodeEditor, host.itemInfo->chanGroup(instance.objectId));
  editors.setUpdateFunc(instance.nodeEditor, ignoreNetworkUpdate);
  editors.setRangeFunc(instance.nodeEditor, fillUnitRanges);
  instance.lagRateInput = editors.addInput(instance.nodeEditor, NCT_SCALAR, "Lag Rate (s/m)", nodeInputChanged);
  instance.pivotInput = editors.addInput(instance.nodeEditor, NCT_VECTOR, "Pivot Position", nodeInputChanged);
  instance.weightInput = editors.addInput(instance.nodeEditor, NCT_SCALAR, "Weight", nodeInputChanged);
}

int nodeInputChanged(void* userData, NodeInputID /*input*/, int /*event*/) noexcept {
  auto* instance = static_cast<LagInstance*>(userData);
  const ServiceTable& host = services();
  // A connected input hides its setting in the panel, so the panel must read its values again.
  if (instance->panel != nullptr) {
    host.xpanel->viewRefresh(instance->panel);
  }
  host.instUpdate(handlerClass, instance);
  return 1;
}

int fillUnitRanges(void* /*first*/, void* /*second*/, double* out) noexcept {
  for (int pair = 0; pair < 3; ++pair) {
    out[2 * pair] = 0.0;
    out[2 * pair + 1] = 1.0;
  }
  return 0;
}

}  // namespace tarrow
