#include "instance/saved_state.h"

#include <cstdint>
#include <mutex>

#include "common/identity.h"
#include "common/lag_instance.h"
#include "common/service_table.h"

namespace tarrow {
namespace {

constexpr int32_t kFormatVersion = 1;
// Room for the longest name an instance keeps, and the terminator.
constexpr int kWeightMapNameCapacity = static_cast<int>(kMaxWeightMapNameLength) + 1;

enum BlockIndex {
  VersionBlock,
  LagRateBlock,
  PivotItemBlock,
  PivotLocalBlock,
  WeightMapBlock,
  UseNodeBlock,
  NodeTreeBlock
};

}  // namespace

// Declared extern in the header, so the constant table has one address module-wide.
constexpr LWBlockIdent kSavedBlocks[8] = {
    {LWID_('I', 'V', 'E', 'R'), "Version"},   {LWID_('L', 'A', 'G', 'R'), "LagRate"},
    {LWID_('P', 'I', 'T', 'M'), "PivotItem"}, {LWID_('P', 'L', 'O', 'C'), "PivotLocal"},
    {LWID_('W', 'M', 'A', 'P'), "WeightMap"}, {LWID_('N', 'O', 'D', 'U'), "UseNode"},
    {LWID_('N', 'O', 'D', 'T'), "NodeTree"},  {0, nullptr}};

static_assert(kSavedBlocks[VersionBlock].id == 0x49564552u);
static_assert(kSavedBlocks[LagRateBlock].id == 0x4C414752u);
static_assert(kSavedBlocks[PivotItemBlock].id == 0x5049544Du);
static_assert(kSavedBlocks[PivotLocalBlock].id == 0x504C4F43u);
static_assert(kSavedBlocks[WeightMapBlock].id == 0x574D4150u);
static_assert(kSavedBlocks[UseNodeBlock].id == 0x4E4F4455u);
static_assert(kSavedBlocks[NodeTreeBlock].id == 0x4E4F4454u);
static_assert(kSavedBlocks[7].id == 0 && kSavedBlocks[7].token == nullptr);

namespace {

// A value the reader cannot deliver (a damaged or shortened block) leaves the setting as it was.
void readInt(const LWLoadState& in, int32_t& setting) noexcept {
  int32_t value = 0;
  if (in.readI4(in.readData, &value, 1) == 1) {
    setting = value;
  }
}

void writeIntBlock(const LWSaveState& out, BlockIndex block, int32_t value) noexcept {
  out.beginBlk(out.writeData, &kSavedBlocks[block], 1);
  out.writeI4(out.writeData, &value, 1);
  out.endBlk(out.writeData);
}

}  // namespace

LWError save(LWInstance instance, const LWSaveState* saveState) noexcept {
  const auto& lag = *static_cast<const LagInstance*>(instance);
  const LWSaveState& out = *saveState;
  void* const data = out.writeData;

  writeIntBlock(out, VersionBlock, kFormatVersion);

  out.beginBlk(data, &kSavedBlocks[LagRateBlock], 1);
  out.writeDP(data, &lag.lagRate, 1);
  out.endBlk(data);

  out.beginBlk(data, &kSavedBlocks[PivotItemBlock], 1);
  out.writeI4(data, &lag.pivotIndex, 1);
  // Item ids are stored by their low 32 bits, which is all the host's ids use.
  const auto pivotBits = static_cast<uint32_t>(reinterpret_cast<std::uintptr_t>(lag.pivotItem) & 0xFFFFFFFFu);
  out.writeU4(data, &pivotBits, 1);
  out.endBlk(data);

  writeIntBlock(out, PivotLocalBlock, lag.localPivot);

  out.beginBlk(data, &kSavedBlocks[WeightMapBlock], 1);
  out.writeI4(data, &lag.weightMapIndex, 1);
  out.writeStr(data, lag.weightMapName.c_str());
  out.endBlk(data);

  writeIntBlock(out, UseNodeBlock, lag.useNode);

  out.beginBlk(data, &kSavedBlocks[NodeTreeBlock], 0);
  const LWError nodeResult = services().nodes->save(lag.nodeEditor, saveState);
  out.endBlk(data);
  return nodeResult;
}

LWError load(LWInstance instance, const LWLoadState* loadState) noexcept {
  auto& lag = *static_cast<LagInstance*>(instance);
  const LWLoadState& in = *loadState;
  void* const data = in.readData;

  LWError nodeResult = nullptr;
  bool nodeTreeRead = false;
  for (LWID id = in.findBlk(data, kSavedBlocks); id != 0; id = in.findBlk(data, kSavedBlocks)) {
    // newTime may be copying the settings for a frame on another thread.
    std::unique_lock<SettingsLock> hold(lag.settingsLock);
    switch (id) {
      case kSavedBlocks[VersionBlock].id: {
        int32_t ignoredVersion = 0;  // every version is read the same way
        readInt(in, ignoredVersion);
        break;
      }
      case kSavedBlocks[LagRateBlock].id: {
        double lagRate = 0.0;
        if (in.readDP(data, &lagRate, 1) == 1) {
          lag.lagRate = lagRate;
        }
        break;
      }
      case kSavedBlocks[PivotItemBlock].id: {
        readInt(in, lag.pivotIndex);
        uint32_t pivotBits = 0;
        if (in.readU4(data, &pivotBits, 1) == 1) {
          lag.pivotItem = reinterpret_cast<LWItemID>(static_cast<std::uintptr_t>(pivotBits));
        }
        break;
      }
      case kSavedBlocks[PivotLocalBlock].id:
        readInt(in, lag.localPivot);
        break;
      case kSavedBlocks[WeightMapBlock].id: {
        readInt(in, lag.weightMapIndex);
        char name[kWeightMapNameCapacity] = {};
        if (in.readStr(data, name, kWeightMapNameCapacity) < 0) {
          break;  // no text: the name stays as it was
        }
        name[kWeightMapNameCapacity - 1] = '\0';  // whatever the reader left there
        try {
          lag.weightMapName = name;
        } catch (...) {
          in.endBlk(data);
          return kAllocationError;
        }
        break;
      }
      case kSavedBlocks[UseNodeBlock].id:
        readInt(in, lag.useNode);
        break;
      case kSavedBlocks[NodeTreeBlock].id:
        hold.unlock();  // the node editor's load reads no setting of the instance
        nodeResult = services().nodes->load(lag.nodeEditor, loadState);
        nodeTreeRead = true;
        break;
      default:
        break;  // a block of a later format: closed unread
    }
    in.endBlk(data);
    if (nodeTreeRead) {
      break;  // the node tree ends the saved state
    }
  }
  return nodeResult;
}

}  // namespace tarrow
