#include "common/node_interface.h"

#include "common/service_table.h"

namespace tarrow {
namespace {

// The root description a deformer gives every editor it makes: no preview, no entries. The host
// reads it during create only, so one record serves every editor for the module's lifetime.
const LWRootNode kNoRoot2015{};
const lw2018::LWRootNode kNoRoot2018{};

// Every entry of one layout of the host's node tables: Editor and Inputs are its editor and input
// tables (those the ServiceTable holds), Root its root description.
template <typename Editor, typename Inputs, typename Root, const Root& kNoRoot>
struct Entries {
  static const Editor& editor() noexcept { return *static_cast<const Editor*>(services().nodeEditor); }

  static NodeEditorID create(const char* name, const char* title, void* userData) noexcept {
    return editor().create(name, title, const_cast<Root*>(&kNoRoot), nullptr, userData, nullptr);
  }
  static void destroy(NodeEditorID e) noexcept { editor().destroy(e); }
  static LWError copy(NodeEditorID to, NodeEditorID from) noexcept { return editor().copy(to, from); }
  static LWError save(NodeEditorID e, const LWSaveState* s) noexcept { return editor().save(e, s); }
  static LWError load(NodeEditorID e, const LWLoadState* l) noexcept { return editor().load(e, l); }
  static LWError init(NodeEditorID e, int mode) noexcept { return editor().init(e, mode); }
  static LWError newTime(NodeEditorID e, LWFrame frame, LWTime time) noexcept {
    return editor().newTime(e, frame, time);
  }
  static void cleanup(NodeEditorID e) noexcept { editor().cleanup(e); }
  static NodeInputID addInput(NodeEditorID e, ConnectionType type, const char* name,
                              NodeInputEvent* event) noexcept {
    return editor().addInput(e, type, name, event);
  }
  static void setEnvGroup(NodeEditorID e, LWChanGroupID group) noexcept { editor().setEnvGroup(e, group); }
  static void setUpdateFunc(NodeEditorID e, nodeEditorUpdateFunc* update) noexcept {
    editor().setUpdateFunc(e, update);
  }
  static void setUnitRanges(NodeEditorID e) noexcept;
  static NodeID rootNode(NodeEditorID e) noexcept { return editor().getRootNodeID(e); }
  static int open(NodeEditorID e) noexcept { return editor().OpenNodeEditor(e); }
  static int check(NodeInputID input) noexcept {
    return static_cast<const Inputs*>(services().nodeInput)->check(input);
  }

  static void* userData(NodeEditorID e) noexcept { return editor().getUserData(e); }
  static void* const* usedItems(NodeEditorID e) noexcept { return editor().usedItems(e); }

  static constexpr NodeInterface kInterface(int previewOff) {
    return {previewOff,     &create,   &destroy, &copy,     &save,        &load,
            &init,          &newTime,  &cleanup, &addInput, &setEnvGroup, &setUpdateFunc,
            &setUnitRanges, &rootNode, &open,    &check,    &userData,    &usedItems};
  }
};

using Entries2015 = Entries<LWNodeEditorFuncs, LWNodeInputFuncs, LWRootNode, kNoRoot2015>;
using Entries2018 =
    Entries<lw2018::LWNodeEditorFuncs, lw2018::LWNodeInputFuncs, lw2018::LWRootNode, kNoRoot2018>;

template <>
void Entries2015::setUnitRanges(NodeEditorID e) noexcept {
  editor().setAutosize(e, fillUnitRanges);
}

template <>
void Entries2018::setUnitRanges(NodeEditorID e) noexcept {
  editor().setAutosize(e, fillUnitRanges2018, nullptr);
}

}  // namespace

const NodeInterface kNodeInterface2015 = Entries2015::kInterface(NPT_OFF);
const NodeInterface kNodeInterface2018 = Entries2018::kInterface(lw2018::NPT_OFF);

void fillUnitRanges(NodeEditorID /*editor*/, void* /*data*/, double ranges[3][2]) noexcept {
  for (int pair = 0; pair < 3; ++pair) {
    ranges[pair][0] = 0.0;
    ranges[pair][1] = 1.0;
  }
}

// The host gives the result no documented meaning; 1 says the ranges were written.
int fillUnitRanges2018(NodeEditorID editor, void* userData, void* /*autosizeData*/,
                       double ranges[3][2]) noexcept {
  fillUnitRanges(editor, userData, ranges);
  return 1;
}

}  // namespace tarrow
