// Replaces the program's global allocation functions, so that a test can count allocations
// while the module works, or make them fail.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "fake_host.h"
#include "module_fixture.h"
#include "ui/panel.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<bool> failing{false};
std::atomic<int> allocations{0};

void* allocate(std::size_t size) noexcept {
  if (counting.load(std::memory_order_relaxed)) {
    allocations.fetch_add(1, std::memory_order_relaxed);
  }
  if (failing.load(std::memory_order_relaxed)) {
    return nullptr;
  }
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

// The replacements below allocate with malloc and free with free, as a pair; inlined into a test,
// the compiler sees only free() meeting a pointer from operator new and warns.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  if (void* memory = allocate(size)) return memory;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* memory = allocate(size)) return memory;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace {

using fixture::camera;
using fixture::ModuleTest;
using fixture::object;
using fixture::pivot;

TEST_F(ModuleTest, AFrameAllocatesNothing) {
  host.placeStill(object, {1, 2, 3});
  host.placeStill(pivot, {0, 0, 1});
  host.placeStill(camera, {0, 0, -5});
  host.setParam(pivot, LWIP_W_POSITION, {{0, 0, 1}, {1, 0, 0}});
  host.renderCamera = camera;
  host.objects = {{object, "Object"}, {pivot, "Pivot"}};
  tarrow::LagInstance& lag = make();
  lag.lagRate = 0.5;
  lag.pivotItem = pivot;
  lag.weightMapIndex = 1;
  lag.weightMapName = "A weight map name longer than any small-string buffer";
  lag.useNode = 1;
  host.connectedInputs = {lag.lagRateInput, lag.pivotInput, lag.weightInput};
  host.inputValues[lag.lagRateInput] = {0.25, 0, 0};
  host.inputValues[lag.weightInput] = {0.5, 0, 0};
  fake::Mesh mesh(lag.weightMapName);
  std::vector<LWDisplacementAccess> points(100);
  for (std::size_t k = 0; k < points.size(); ++k) {
    points[k].source[0] = static_cast<double>(k);
    points[k].point = fake::point(k + 1);
    points[k].info = &mesh.info;
    mesh.weights[points[k].point] = 1.0f;
  }
  host.recording = false;

  for (int32_t useNode : {1, 0}) {
    SCOPED_TRACE(useNode);
    lag.useNode = useNode;
    allocations = 0;
    counting = true;
    rend.newTime(&lag, 10, 0.4);
    for (LWDisplacementAccess& a : points) handler.evaluate(&lag, &a);
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
  }
  host.recording = true;
  EXPECT_NE(points[50].source[0], 50.0);  // the points did move
}

TEST_F(ModuleTest, CreateWithoutMemoryReportsItAndMakesNothing) {
  host.editorCalls.clear();
  LWError error = nullptr;
  failing = true;
  LWInstance made = inst.create(nullptr, object, &error);
  failing = false;
  EXPECT_EQ(made, nullptr);
  EXPECT_STREQ(error, "Couldn't allocate memory for instance.");
  EXPECT_TRUE(host.editorCalls.empty());
  failing = true;
  made = inst.create(nullptr, object, nullptr);  // no error slot: nothing written, nothing made
  failing = false;
  EXPECT_EQ(made, nullptr);
}

TEST_F(ModuleTest, CopyWithoutMemoryChangesNothing) {
  tarrow::LagInstance& from = make();
  from.lagRate = 0.5;
  from.pivotItem = pivot;
  from.pivotIndex = 2;
  from.localPivot = 1;
  from.weightMapIndex = 3;
  from.weightMapName = "A weight map name longer than any small-string buffer";
  from.useNode = 1;
  tarrow::LagInstance& to = make();
  to.weightMapName = "Kept";
  host.editorCalls.clear();
  failing = true;
  const LWError error = inst.copy(&to, &from);
  failing = false;
  EXPECT_STREQ(error, "Copy Error!");
  EXPECT_EQ(to.lagRate, 0.0);
  EXPECT_EQ(to.pivotItem, nullptr);
  EXPECT_EQ(to.pivotIndex, 0);
  EXPECT_EQ(to.localPivot, 0);
  EXPECT_EQ(to.weightMapIndex, 0);
  EXPECT_EQ(to.weightMapName, "Kept");
  EXPECT_EQ(to.useNode, 0);
  EXPECT_TRUE(host.editorCalls.empty());  // the node network is not copied either

  EXPECT_EQ(inst.copy(&to, &from), nullptr);
  EXPECT_EQ(to.weightMapName, from.weightMapName);
  EXPECT_EQ(to.useNode, 1);
}

TEST_F(ModuleTest, UseItemsWithoutMemoryStillListsThePivot) {
  tarrow::LagInstance& lag = make();
  lag.pivotItem = pivot;
  const LWItemID nodeItem = fake::item(0xA);
  host.usedItems[lag.nodeEditor] = {nodeItem, nullptr};
  host.recording = false;
  failing = true;
  const LWItemID* list = item.useItems(&lag);
  failing = false;
  EXPECT_EQ(std::vector<LWItemID>(list, list + 2), (std::vector<LWItemID>{pivot, LWITEM_NULL}));
  // With memory again, the whole list.
  list = item.useItems(&lag);
  EXPECT_EQ(std::vector<LWItemID>(list, list + 3), (std::vector<LWItemID>{pivot, nodeItem, LWITEM_NULL}));
}

TEST_F(ModuleTest, WeightMapChoiceWithoutMemoryKeepsTheOldChoice) {
  host.weightMaps = {std::string("Another weight map name longer than any small-string buffer")};
  tarrow::LagInstance& lag = make();
  lag.weightMapIndex = 2;
  lag.weightMapName = "Old";
  int32_t first = 1;
  host.recording = false;  // the fake host's own records must not fail the allocation
  failing = true;
  const int refresh = tarrow::setPanelValue(&lag, tarrow::ID_WEIGHT_MAP, &first);
  failing = false;
  EXPECT_EQ(refresh, LWXPRC_NONE);
  EXPECT_EQ(lag.weightMapIndex, 2);
  EXPECT_EQ(lag.weightMapName, "Old");
}

}  // namespace
