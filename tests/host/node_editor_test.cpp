// The node editor service as a module sees it: through the plain tables it gets by name.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/scene/scene_file.h"
#include "host/services/block_store.h"
#include "host/services/node_editor.h"
#include "host/services/node_network.h"
#include "host/services/scene_services.h"

namespace tarrow::host {
namespace {

using nlohmann::json;

struct EventRecord {
  void* userData;
  NodeInputID input;
  int nodalEvent;
  ConnectionType connectionType;
};
std::vector<EventRecord> events;

int recordEvent(void* userData, NodeInputID input, int nodalEvent, ConnectionType connectionType) {
  events.push_back({userData, input, nodalEvent, connectionType});
  return 1;
}

int updatesNoticed = 0;
void noticeUpdate(NodeEditorID) { ++updatesNoticed; }

void* autosizeData = nullptr;
void unitRanges(NodeEditorID, void* data, double ranges[3][2]) {
  autosizeData = data;
  for (int i = 0; i < 3; ++i) {
    ranges[i][0] = 0;
    ranges[i][1] = i + 1;
  }
}

// A small scene for ItemInfo nodes: two objects, "Null" moving by (1, 1, 1) a second.
constexpr const char* kItemScene = R"({"fps": 24, "frames": [0, 48], "items": [
    {"name": "Cube", "type": "object", "motion": [{"time": 0, "position": [1, 2, 3]}]},
    {"name": "Null", "type": "object",
     "motion": [{"time": 0, "position": [-4, 0.5, 8]}, {"time": 2, "position": [-2, 2.5, 10]}]}]})";

class NodeEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    events.clear();
    updatesNoticed = 0;
    autosizeData = nullptr;
    scene.registerInto(registry);
    service.registerInto(registry);
    registry.makeCurrent();
    service.setItemInfo(SceneServices::itemInfo());
    service.setWindowSink([this](const std::string& text) { window += text; });
    editorFuncs = static_cast<LWNodeEditorFuncs*>(registry.lookup(LWNODEEDITORFUNCS_GLOBAL));
    inputFuncs = static_cast<LWNodeInputFuncs*>(registry.lookup(LWNODEINPUTFUNCS_GLOBAL));
    nodeFuncs = static_cast<LWNodeFuncs*>(registry.lookup(LWNODEFUNCS_GLOBAL));
    ASSERT_NE(editorFuncs, nullptr);
    ASSERT_NE(inputFuncs, nullptr);
    ASSERT_NE(nodeFuncs, nullptr);
  }

  // An editor set up the way the deformer sets up its own.
  NodeEditorID makeEditor(void* userData, int previewType = NPT_RENDER) {
    LWRootNode root{};
    root.previewType = previewType;
    NodeEditorID editor =
        editorFuncs->create("Displacement", "Tarrow_plus", &root, nullptr, userData, nullptr);
    editorFuncs->addInput(editor, NOT_SCALAR, "Lag Rate (s/m)", recordEvent);
    editorFuncs->addInput(editor, NOT_VECTOR, "Pivot Position", recordEvent);
    editorFuncs->addInput(editor, NOT_SCALAR, "Weight", recordEvent);
    return editor;
  }

  NodeInputID input(NodeEditorID editor, int index) { return service.view(editor)->inputs.at(index).id; }

  double scalar(NodeInputID in, const LWNodalAccess* sample = nullptr) {
    double value = -999;
    EXPECT_EQ(inputFuncs->evaluate(in, const_cast<LWNodalAccess*>(sample), &value), 1);
    return value;
  }

  Scene items = parseScene(kItemScene, "items.json");
  SceneServices scene{items};
  ServiceRegistry registry;
  NodeEditorService service;
  LWNodeEditorFuncs* editorFuncs = nullptr;
  LWNodeInputFuncs* inputFuncs = nullptr;
  LWNodeFuncs* nodeFuncs = nullptr;
  std::string window;
  int instanceA = 0, instanceB = 0;
};

const json kWeightNetwork = {
    {"nodes",
     {{{"id", "w"}, {"type", "Constant"}, {"value", 0.5}},
      {{"id", "p"}, {"type", "Constant"}, {"value", {1, 2, 3}}}}},
    {"connections", {{{"from", "w"}, {"to", "Weight"}}, {{"from", "p.value"}, {"to", "Pivot Position"}}}}};

TEST_F(NodeEditorTest, KeepsWhatTheModuleGaveIt) {
  NodeEditorID editor = makeEditor(&instanceA, NPT_CUSTOM);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(service.view(editor)->previewType, NPT_CUSTOM) << "as the root description gave it";
  auto group = reinterpret_cast<LWChanGroupID>(&instanceB);
  editorFuncs->setEnvGroup(editor, group);
  editorFuncs->setUpdateFunc(editor, noticeUpdate);
  nodeFuncs->setNodePreviewType(editorFuncs->getRootNodeID(editor), NPT_OFF);

  auto view = service.view(editor);
  ASSERT_TRUE(view.has_value());
  EXPECT_EQ(view->name, "Displacement");
  EXPECT_EQ(view->title, "Tarrow_plus");
  EXPECT_EQ(view->userData, &instanceA);
  EXPECT_EQ(editorFuncs->getUserData(editor), &instanceA);
  EXPECT_EQ(view->group, group);
  EXPECT_EQ(view->previewType, NPT_OFF);
  EXPECT_TRUE(view->hasUpdateFunc);
  EXPECT_FALSE(view->hasAutosize);
  ASSERT_EQ(view->inputs.size(), 3u);
  const char* names[] = {"Lag Rate (s/m)", "Pivot Position", "Weight"};
  const ConnectionType types[] = {NOT_SCALAR, NOT_VECTOR, NOT_SCALAR};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(view->inputs[i].name, names[i]);
    EXPECT_EQ(view->inputs[i].type, types[i]);
    EXPECT_EQ(view->inputs[i].event, &recordEvent);
    EXPECT_EQ(view->inputs[i].userData, &instanceA);
    EXPECT_FALSE(view->inputs[i].connected);
  }
  EXPECT_NE(view->inputs[0].id, view->inputs[1].id);
  EXPECT_EQ(service.editorOf(&instanceA), editor);
  EXPECT_EQ(service.editorOf(&instanceB), nullptr);

  EXPECT_EQ(service.liveEditors(), 1u);
  editorFuncs->destroy(editor);
  EXPECT_EQ(service.liveEditors(), 0u);
  EXPECT_FALSE(service.view(editor).has_value());
  editorFuncs->destroy(editor);  // a second time: ignored
  editorFuncs->destroy(nullptr);
}

TEST_F(NodeEditorTest, ConnectionChangesReachTheInputsEventsWithTheUserData) {
  NodeEditorID editor = makeEditor(&instanceA);
  editorFuncs->setUpdateFunc(editor, noticeUpdate);
  NodeInputID pivot = input(editor, 1), weight = input(editor, 2);

  service.buildNetwork(editor, kWeightNetwork);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].userData, &instanceA);
  EXPECT_EQ(events[0].input, pivot);
  EXPECT_EQ(events[0].nodalEvent, NIE_CONNECT);
  EXPECT_EQ(events[0].connectionType, NOT_VECTOR);
  EXPECT_EQ(events[1].input, weight);
  EXPECT_EQ(events[1].nodalEvent, NIE_CONNECT);
  EXPECT_EQ(events[1].connectionType, NOT_SCALAR);
  EXPECT_EQ(updatesNoticed, 1);

  events.clear();
  service.buildNetwork(editor, kWeightNetwork);  // same connections: no events
  EXPECT_TRUE(events.empty());

  json onlyPivot = kWeightNetwork;
  onlyPivot["connections"].erase(0);
  service.buildNetwork(editor, onlyPivot);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].input, weight);
  EXPECT_EQ(events[0].nodalEvent, NIE_DISCONNECT);
  EXPECT_EQ(events[0].connectionType, NOT_SCALAR);
  EXPECT_EQ(inputFuncs->check(weight), 0);
  EXPECT_NE(inputFuncs->check(pivot), 0);

  // A refused network leaves the editor as it was and tells nobody.
  events.clear();
  json bad = {{"nodes", {{{"id", "x"}, {"type", "Nope"}}}}};
  EXPECT_THROW(service.buildNetwork(editor, bad), NodeNetworkError);
  EXPECT_TRUE(events.empty());
  EXPECT_NE(inputFuncs->check(pivot), 0);
  EXPECT_THROW(service.buildNetwork(nullptr, kWeightNetwork), NodeNetworkError);

  // A node's own value changing calls the update function and no input's event.
  service.buildNetwork(editor, kWeightNetwork);
  events.clear();
  updatesNoticed = 0;
  service.setNodeParameters(editor, "w", {{"value", 0.25}});
  EXPECT_EQ(updatesNoticed, 1);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(scalar(weight), 0.25);
  for (const auto& [node, parameters] : {std::pair<std::string, json>{"nobody", {{"value", 1}}},
                                         {"w", {{"type", "Math"}}},
                                         {"w", {{"keys", 1}}}}) {
    EXPECT_THROW(service.setNodeParameters(editor, node, parameters), NodeNetworkError) << node << parameters;
  }
  EXPECT_EQ(updatesNoticed, 1);
  EXPECT_EQ(scalar(weight), 0.25);
}

TEST_F(NodeEditorTest, EvaluateWritesOneOrThreeValuesOnlyWhenConnected) {
  NodeEditorID editor = makeEditor(&instanceA);
  double value[3]{7, 7, 7};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(inputFuncs->check(input(editor, i)), 0);
    EXPECT_EQ(inputFuncs->evaluate(input(editor, i), nullptr, value), 0);
  }
  EXPECT_EQ(inputFuncs->check(nullptr), 0);
  EXPECT_EQ(inputFuncs->evaluate(nullptr, nullptr, value), 0);
  EXPECT_EQ(value[0], 7);

  service.buildNetwork(editor, kWeightNetwork);
  double weight[3]{7, 7, 7};
  EXPECT_EQ(inputFuncs->evaluate(input(editor, 2), nullptr, weight), 1);
  EXPECT_EQ(weight[0], 0.5);
  EXPECT_EQ(weight[1], 7) << "a scalar input writes one double";
  double pivot[3]{};
  EXPECT_EQ(inputFuncs->evaluate(input(editor, 1), nullptr, pivot), 1);
  EXPECT_EQ(pivot[0], 1);
  EXPECT_EQ(pivot[1], 2);
  EXPECT_EQ(pivot[2], 3);
}

TEST_F(NodeEditorTest, ItemInfoGivesTheItemsPositionAsOfTheLastNewTime) {
  NodeEditorID editor = makeEditor(&instanceA);
  service.buildNetwork(editor, {{"nodes",
                                 {{{"id", "i"}, {"type", "ItemInfo"}, {"item", "Null"}},
                                  {{"id", "gone"}, {"type", "ItemInfo"}, {"item", "Gone"}},
                                  {{"id", "d"}, {"type", "Math"}, {"op", "length"}}}},
                                {"connections",
                                 {{{"from", "i"}, {"to", "Pivot Position"}},
                                  {{"from", "gone"}, {"to", "d.a"}},
                                  {{"from", "d"}, {"to", "Weight"}}}}});
  // The items its ItemInfo nodes read, as far as the scene has them.
  void* const* used = editorFuncs->usedItems(editor);
  EXPECT_EQ(used[0], items.idOf(1));
  EXPECT_EQ(used[1], nullptr);
  double p[3]{7, 7, 7};
  ASSERT_EQ(inputFuncs->evaluate(input(editor, 1), nullptr, p), 1);
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[1], 0);
  EXPECT_EQ(p[2], 0);

  EXPECT_EQ(editorFuncs->newTime(editor, 24, 1.0), nullptr);
  inputFuncs->evaluate(input(editor, 1), nullptr, p);
  EXPECT_EQ(p[0], -3);
  EXPECT_EQ(p[1], 1.5);
  EXPECT_EQ(p[2], 9);
  EXPECT_EQ(scalar(input(editor, 2)), 0.0) << "an item nobody has stays at the origin";
  EXPECT_EQ(editorFuncs->newTime(editor, 48, 2.0), nullptr);
  inputFuncs->evaluate(input(editor, 1), nullptr, p);
  EXPECT_EQ(p[0], -2);
  EXPECT_EQ(service.view(editor)->updates, 2);
  EXPECT_EQ(editorFuncs->newTime(nullptr, 48, 2.0), kNodeUnknownEditor);
}

TEST_F(NodeEditorTest, CopyIsDeepAndTheDestinationKeepsItsOwnInputs) {
  NodeEditorID from = makeEditor(&instanceA);
  NodeEditorID to = makeEditor(&instanceB);
  service.buildNetwork(from, kWeightNetwork);
  events.clear();

  EXPECT_EQ(editorFuncs->copy(to, from), nullptr);
  EXPECT_EQ(service.networkJson(to), service.networkJson(from));
  auto view = service.view(to);
  EXPECT_EQ(view->userData, &instanceB);
  EXPECT_FALSE(view->inputs[0].connected);
  EXPECT_TRUE(view->inputs[2].connected);
  EXPECT_EQ(scalar(view->inputs[2].id), 0.5);
  EXPECT_NE(view->inputs[2].id, input(from, 2));

  // Changing or destroying the source leaves the copy as it was.
  json other = kWeightNetwork;
  other["nodes"][0]["value"] = 0.25;
  service.buildNetwork(from, other);
  EXPECT_EQ(scalar(input(from, 2)), 0.25);
  EXPECT_EQ(scalar(input(to, 2)), 0.5);
  editorFuncs->destroy(from);
  EXPECT_EQ(scalar(input(to, 2)), 0.5);

  EXPECT_EQ(editorFuncs->copy(to, to), nullptr);  // onto itself: nothing changes
  EXPECT_EQ(scalar(input(to, 2)), 0.5);
  EXPECT_EQ(editorFuncs->copy(to, from), kNodeUnknownEditor);
}

TEST_F(NodeEditorTest, SavedNetworkLoadsBackEqual) {
  NodeEditorID editor = makeEditor(&instanceA);
  json network = {{"nodes",
                   {{{"id", "spot"}, {"type", "SpotInfo"}},
                    {{"id", "item"}, {"type", "ItemInfo"}, {"item", "Null 'quoted' {} \\ name"}},
                    {{"id", "d"}, {"type", "Math"}, {"op", "distance"}},
                    {{"id", "g"}, {"type", "Gradient"}, {"keys", {{0.0, 1.0}, {0.1, 0.3}, {2.5, 0.0}}}},
                    {{"id", "c"}, {"type", "Constant"}, {"value", {0.1, -2e-300, 1e300}}}}},
                  {"connections",
                   {{{"from", "spot.worldPosition"}, {"to", "d.a"}},
                    {{"from", "item"}, {"to", "d.b"}},
                    {{"from", "d"}, {"to", "g.input"}},
                    {{"from", "g"}, {"to", "Weight"}},
                    {{"from", "c"}, {"to", "Pivot Position"}}}}};
  service.buildNetwork(editor, network);

  // The owner opens a block around the network, as the deformer does with "NodeTree".
  const LWBlockIdent tree[] = {{LWID_('N', 'O', 'D', 'T'), "NodeTree"}, {0, nullptr}};
  BlockWriter writer;
  writer.state()->beginBlk(writer.state()->writeData, &tree[0], 0);
  ASSERT_EQ(editorFuncs->save(editor, writer.state()), nullptr);
  writer.state()->endBlk(writer.state()->writeData);
  const std::string text = writer.text();
  EXPECT_NE(text.find("{ Kind \"Gradient\" }"), std::string::npos) << text;

  NodeEditorID other = makeEditor(&instanceB);
  BlockReader reader(text);
  ASSERT_EQ(reader.state()->findBlk(reader.state()->readData, tree), tree[0].id);
  EXPECT_EQ(editorFuncs->load(other, reader.state()), nullptr) << service.view(other)->loadError;
  reader.state()->endBlk(reader.state()->readData);
  EXPECT_EQ(reader.depth(), 0);
  EXPECT_EQ(service.networkJson(other), service.networkJson(editor));
  EXPECT_EQ(service.networkJson(other),
            NodeNetwork::fromJson(network, std::vector<EditorInputSignature>{{"Lag Rate (s/m)", NOT_SCALAR},
                                                                             {"Pivot Position", NOT_VECTOR},
                                                                             {"Weight", NOT_SCALAR}})
                .toJson());

  // Saving what was loaded gives the same text.
  BlockWriter again;
  again.state()->beginBlk(again.state()->writeData, &tree[0], 0);
  editorFuncs->save(other, again.state());
  again.state()->endBlk(again.state()->writeData);
  EXPECT_EQ(again.text(), text);
}

class NodeEditorLoad : public NodeEditorTest {
 protected:
  // Loads text as the content of the owner's block; returns the load's error.
  LWError load(NodeEditorID editor, const std::string& content) {
    BlockReader reader("{ NodeTree\n" + content + "\n}\n");
    const LWBlockIdent tree[] = {{LWID_('N', 'O', 'D', 'T'), "NodeTree"}, {0, nullptr}};
    if (reader.state()->findBlk(reader.state()->readData, tree) == 0) {
      return editorFuncs->load(editor, reader.state());  // not even the owner's block: read as is
    }
    int depth = reader.depth();
    LWError error = editorFuncs->load(editor, reader.state());
    EXPECT_EQ(reader.depth(), depth) << "the editor left every block it entered";
    return error;
  }
};

TEST_F(NodeEditorLoad, SkipsUnknownBlocksAndRefusesWhatItCannotRebuild) {
  NodeEditorID editor = makeEditor(&instanceA);
  const std::string good =
      "{ Future 1 2 }\n{ Node\n { Id \"w\" }\n { Kind \"Constant\" }\n { Colour 3 }\n { Value 0.5 }\n}\n"
      "{ Link \"w\" \"Weight\" }";
  ASSERT_EQ(load(editor, good), nullptr);
  EXPECT_EQ(scalar(input(editor, 2)), 0.5);
  EXPECT_TRUE(events.empty()) << "loading restores a network, it edits nothing";

  struct Case {
    const char* what;
    std::string content;
    LWError expected;
    const char* reason;
  };
  const Case cases[] = {
      {"unknown kind", "{ Node\n { Id \"n\" }\n { Kind \"Noise\" }\n}", kNodeLoadInvalid, "\"n\""},
      {"dangling link", "{ Node\n { Id \"n\" }\n { Kind \"SpotInfo\" }\n}\n{ Link \"m.x\" \"Weight\" }",
       kNodeLoadInvalid, "\"m\""},
      {"cycle", "{ Node\n { Id \"m\" }\n { Kind \"Math\" }\n { Op \"add\" }\n}\n{ Link \"m\" \"m.a\" }",
       kNodeLoadInvalid, "cycle"},
      {"link with one end", "{ Link \"w\" }", kNodeLoadMalformed, "Link"},
      {"value of two numbers", "{ Node\n { Value 1 2 }\n}", kNodeLoadMalformed, "Value"},
      {"key of one number", "{ Node\n { Key 1 }\n}", kNodeLoadMalformed, "Key"},
      {"node without id", "{ Node\n { Kind \"SpotInfo\" }\n}", kNodeLoadInvalid, "node #1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(load(editor, c.content), c.expected) << c.what;
    std::string reason = service.view(editor)->loadError;
    EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    EXPECT_EQ(scalar(input(editor, 2)), 0.5) << c.what << ": the network stays as it was";
  }
}

TEST_F(NodeEditorLoad, GarbageAndTruncatedTextNeverCrash) {
  NodeEditorID editor = makeEditor(&instanceA);
  service.buildNetwork(editor, kWeightNetwork);
  BlockWriter writer;
  ASSERT_EQ(editorFuncs->save(editor, writer.state()), nullptr);
  const std::string saved = writer.text();
  for (std::size_t cut = 0; cut < saved.size(); ++cut) {
    BlockReader reader(saved.substr(0, cut));
    editorFuncs->load(editor, reader.state());  // any answer will do, as long as it returns
  }
  std::string noise;
  unsigned state = 12345;
  for (int i = 0; i < 20000; ++i) {
    state = state * 1103515245u + 12345u;
    const char alphabet[] = "{}\" \n\\NodeIdKindValueLinkKey0123456789.-e";
    noise += alphabet[(state >> 16) % (sizeof alphabet - 1)];
  }
  for (std::size_t start = 0; start < noise.size(); start += 997) {
    BlockReader reader(noise.substr(start, 3000));
    editorFuncs->load(editor, reader.state());
  }
  std::string many;
  for (int i = 0; i <= kMaxNetworkNodes; ++i) {
    many += "{ Node\n { Id \"n";
    many += std::to_string(i);
    many += "\" }\n}\n";
  }
  BlockReader tooMany(many);
  EXPECT_EQ(editorFuncs->load(editor, tooMany.state()), kNodeLoadMalformed);
  BlockReader empty("");
  EXPECT_EQ(editorFuncs->load(editor, empty.state()), nullptr);
  EXPECT_EQ(inputFuncs->check(input(editor, 2)), 0) << "an empty block is an empty network";
  EXPECT_EQ(editorFuncs->load(nullptr, empty.state()), kNodeUnknownEditor);
  EXPECT_NE(editorFuncs->load(editor, nullptr), nullptr);
}

TEST_F(NodeEditorTest, OpenNodeEditorShowsTheNetworkAndTheRanges) {
  NodeEditorID editor = makeEditor(&instanceA);
  editorFuncs->setAutosize(editor, unitRanges);
  service.buildNetwork(editor, kWeightNetwork);
  EXPECT_EQ(editorFuncs->OpenNodeEditor(editor), 1);
  EXPECT_EQ(window, service.describeNetwork(editor));
  EXPECT_EQ(window.substr(0, window.find('\n') + 1), "Node editor \"Displacement\" of \"Tarrow_plus\"\n");
  for (const char* expected :
       {"Lag Rate (s/m) (scalar): unconnected", "Pivot Position (vector) <- p.value",
        "Weight (scalar) <- w.value", "w: Constant, value 0.5", "p: Constant, value (1, 2, 3)",
        "Preview ranges: 0.000000 .. 1.000000, "
        "0.000000 .. 2.000000, 0.000000 .. 3.000000\n"}) {
    EXPECT_NE(window.find(expected), std::string::npos) << expected << " in\n" << window;
  }
  EXPECT_EQ(autosizeData, &instanceA) << "the autosize function gets the editor's user data";
  auto view = service.view(editor);
  EXPECT_TRUE(view->hasAutosize);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(view->ranges[i][0], 0);
    EXPECT_EQ(view->ranges[i][1], i + 1);
  }
  EXPECT_EQ(editorFuncs->OpenNodeEditor(nullptr), 0);
}

TEST_F(NodeEditorTest, EvaluatesFromSeveralThreadsAtOnce) {
  NodeEditorID editor = makeEditor(&instanceA);
  service.buildNetwork(editor,
                       {{"nodes",
                         {{{"id", "spot"}, {"type", "SpotInfo"}},
                          {{"id", "c"}, {"type", "Constant"}, {"value", {1, 0, 0}}},
                          {{"id", "d"}, {"type", "Math"}, {"op", "distance"}},
                          {{"id", "g"}, {"type", "Gradient"}, {"keys", {{0.0, 0.0}, {1000.0, 1000.0}}}}}},
                        {"connections",
                         {{{"from", "spot.worldPosition"}, {"to", "d.a"}},
                          {{"from", "c"}, {"to", "d.b"}},
                          {{"from", "d"}, {"to", "g.input"}},
                          {{"from", "g"}, {"to", "Weight"}}}}});
  NodeInputID weight = input(editor, 2);
  constexpr int kThreads = 4;
  std::vector<int> wrong(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      LWNodalAccess sample;
      std::memset(&sample, 0, sizeof sample);
      for (int i = 0; i < 2000; ++i) {
        sample.wPos[0] = 1.0 + t * 100 + i * 0.01;
        double value = 0;
        inputFuncs->evaluate(weight, &sample, &value);
        if (std::abs(value - (t * 100 + i * 0.01)) > 1e-9) ++wrong[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

TEST(NodeEditorService, DestroysTheEditorsStillAliveAndLeavesTheTablesHarmless) {
  LWNodeEditorFuncs* funcs = nullptr;
  ServiceRegistry registry;
  {
    NodeEditorService service;
    service.registerInto(registry);
    funcs = static_cast<LWNodeEditorFuncs*>(registry.lookup(LWNODEEDITORFUNCS_GLOBAL));
    funcs->create("a", "a", nullptr, nullptr, nullptr, nullptr);
    funcs->create("b", "b", nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(service.liveEditors(), 2u);
  }  // the sanitizer builds report the editors if they leak
  EXPECT_EQ(funcs->create("c", "c", nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_NE(funcs->copy(nullptr, nullptr), nullptr);
}

}  // namespace
}  // namespace tarrow::host
