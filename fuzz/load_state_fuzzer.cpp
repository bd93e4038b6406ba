// Feeds arbitrary bytes to the block reader as a module's load entry would walk them, then
// walks them again with reads of every kind in an order chosen from the input, and finally
// checks that whatever a writer writes (chosen from the input too) reads back exactly.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/services/block_store.h"

namespace {

using tarrow::host::BlockReader;
using tarrow::host::BlockWriter;

const LWBlockIdent moduleBlocks[] = {
    {LWID_('I', 'V', 'E', 'R'), "Version"},   {LWID_('L', 'A', 'G', 'R'), "LagRate"},
    {LWID_('P', 'I', 'T', 'M'), "PivotItem"}, {LWID_('P', 'L', 'O', 'C'), "PivotLocal"},
    {LWID_('W', 'M', 'A', 'P'), "WeightMap"}, {LWID_('N', 'O', 'D', 'U'), "UseNode"},
    {LWID_('N', 'O', 'D', 'T'), "NodeTree"},  {0, nullptr},
};
constexpr int moduleBlockCount = 7;
constexpr LWID nodeTree = LWID_('N', 'O', 'D', 'T');
const LWBlockIdent noBlocks[] = {{0, nullptr}};

void require(bool holds) {
  if (!holds) std::abort();
}

bool inTable(LWID id) {
  for (int i = 0; i < moduleBlockCount; ++i) {
    if (moduleBlocks[i].id == id) return true;
  }
  return false;
}

// A deterministic stream of choices drawn from the input.
class Choices {
 public:
  Choices(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) state_ = (state_ ^ data[i]) * 0x100000001b3ull;
  }
  uint64_t next() {
    state_ ^= state_ >> 33;
    state_ *= 0xff51afd7ed558ccdull;
    state_ ^= state_ >> 29;
    return state_;
  }
  int below(int bound) { return static_cast<int>(next() % static_cast<uint64_t>(bound)); }

 private:
  uint64_t state_ = 0xcbf29ce484222325ull;
};

// Reads into a destination guarded on both sides; an unread value must stay as it was.
template <typename T, typename Read>
int guardedRead(const LWLoadState* load, Read read, int count) {
  std::vector<T> values(static_cast<size_t>(count) + 2);
  std::memset(values.data(), 0xa5, values.size() * sizeof(T));
  const std::vector<T> before = values;
  const int delivered = read(load->readData, values.data() + 1, count);
  require(delivered >= 0 && delivered <= count);
  const size_t unchangedFrom = static_cast<size_t>(delivered) + 1;
  require(std::memcmp(&values[unchangedFrom], &before[unchangedFrom],
                      (values.size() - unchangedFrom) * sizeof(T)) == 0);
  require(std::memcmp(&values[0], &before[0], sizeof(T)) == 0);
  return delivered;
}

void guardedReadStr(const LWLoadState* load, int size) {
  std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : 0) + 2, '\x5a');
  const int delivered = load->readStr(load->readData, buffer.data() + 1, size);
  require(buffer.front() == '\x5a' && buffer.back() == '\x5a');
  if (delivered < 0 || size <= 0) {
    for (size_t i = 1; i + 1 < buffer.size(); ++i) require(buffer[i] == '\x5a');
    return;
  }
  require(delivered <= size - 1 && buffer[static_cast<size_t>(delivered) + 1] == '\0');
}

// The walk of the module's load entry: each block read where it stands, the node tree's
// inner blocks walked as a node editor would, and nothing after the node tree.
void walkAsTheModuleLoads(const std::string& text) {
  BlockReader reader(text);
  const LWLoadState* load = reader.state();
  for (LWID id = load->findBlk(load->readData, moduleBlocks); id != 0;
       id = load->findBlk(load->readData, moduleBlocks)) {
    require(inTable(id) && load->depth(load->readData) == 1);
    switch (id) {
      case LWID_('L', 'A', 'G', 'R'):
        guardedRead<double>(load, load->readDP, 1);
        break;
      case LWID_('P', 'I', 'T', 'M'):
        guardedRead<int32_t>(load, load->readI4, 1);
        guardedRead<uint32_t>(load, load->readU4, 1);
        break;
      case LWID_('W', 'M', 'A', 'P'):
        guardedRead<int32_t>(load, load->readI4, 1);
        guardedReadStr(load, 256);
        break;
      case nodeTree:
        for (LWID inner = load->findBlk(load->readData, moduleBlocks); inner != 0;
             inner = load->findBlk(load->readData, moduleBlocks)) {
          require(load->depth(load->readData) == 2);
          guardedRead<float>(load, load->readFP, 2);
          load->endBlk(load->readData);
        }
        break;
      default:
        guardedRead<int32_t>(load, load->readI4, 1);
        break;
    }
    load->endBlk(load->readData);
    require(load->depth(load->readData) == 0);
    if (id == nodeTree) break;
  }
}

// Reads of every kind, blocks entered and left, in an order chosen from the input.
void walkAtRandom(const std::string& text, Choices& choose) {
  BlockReader reader(text);
  const LWLoadState* load = reader.state();
  int depth = 0;
  const size_t steps = text.size() * 2 + 64;
  for (size_t step = 0; step < steps; ++step) {
    switch (choose.below(8)) {
      case 0: {
        const int table = choose.below(4);
        const LWBlockIdent* blocks = table == 0 ? noBlocks : table == 1 ? nullptr : moduleBlocks;
        const LWID id = load->findBlk(load->readData, blocks);
        require(id == 0 || (blocks == moduleBlocks && inTable(id)));
        if (id != 0) ++depth;
        break;
      }
      case 1:
        load->endBlk(load->readData);
        if (depth > 0) --depth;
        break;
      case 2:
        guardedRead<int32_t>(load, load->readI4, choose.below(5));
        break;
      case 3:
        guardedRead<uint32_t>(load, load->readU4, choose.below(5));
        break;
      case 4:
        guardedRead<float>(load, load->readFP, choose.below(5));
        break;
      case 5:
        guardedRead<double>(load, load->readDP, choose.below(5));
        break;
      default:
        guardedReadStr(load, choose.below(40) - 2);
        break;
    }
    require(load->depth(load->readData) == depth);
  }
}

// What a writer was asked to write, in order, for reading back.
struct Event {
  enum Kind { Begin, End, I4, U4, DP, Str } kind;
  LWID id = 0;
  uint64_t bits = 0;
  std::string text;
};

std::vector<Event> writeAtRandom(BlockWriter& writer, Choices& choose) {
  const LWSaveState* save = writer.state();
  std::vector<Event> events;
  int open = 0;
  for (int step = choose.below(40); step > 0 || open > 0; --step) {
    const int what = step > 0 ? choose.below(6) : 1;
    if (what == 0 && open < 6) {
      const LWBlockIdent& ident = moduleBlocks[choose.below(moduleBlockCount)];
      save->beginBlk(save->writeData, &ident, choose.below(2));
      events.push_back({Event::Begin, ident.id, 0, {}});
      ++open;
    } else if (what == 1 && open > 0) {
      save->endBlk(save->writeData);
      events.push_back({Event::End, 0, 0, {}});
      --open;
    } else if (what == 2) {
      const auto value = static_cast<int32_t>(choose.next());
      save->writeI4(save->writeData, &value, 1);
      events.push_back({Event::I4, 0, static_cast<uint32_t>(value), {}});
    } else if (what == 3) {
      const auto value = static_cast<uint32_t>(choose.next());
      save->writeU4(save->writeData, &value, 1);
      events.push_back({Event::U4, 0, value, {}});
    } else if (what == 4) {
      const uint64_t bits = choose.next();
      double value;
      std::memcpy(&value, &bits, sizeof value);
      save->writeDP(save->writeData, &value, 1);
      events.push_back({Event::DP, 0, bits, {}});
    } else if (what == 5) {
      std::string text(static_cast<size_t>(choose.below(12)), ' ');
      for (char& c : text) c = static_cast<char>(1 + choose.below(255));
      save->writeStr(save->writeData, text.c_str());
      // The text form carries no quote and no control byte: they come back as '_'.
      for (char& c : text) c = static_cast<unsigned char>(c) < 0x20 || c == '"' ? '_' : c;
      events.push_back({Event::Str, 0, 0, text});
    }
    require(save->depth(save->writeData) == open);
  }
  return events;
}

void readBack(const std::string& text, const std::vector<Event>& events) {
  BlockReader reader(text);
  const LWLoadState* load = reader.state();
  for (const Event& event : events) {
    switch (event.kind) {
      case Event::Begin:
        require(load->findBlk(load->readData, moduleBlocks) == event.id);
        break;
      case Event::End:
        require(load->findBlk(load->readData, moduleBlocks) == 0);
        load->endBlk(load->readData);
        break;
      case Event::I4: {
        int32_t value = 0;
        require(load->readI4(load->readData, &value, 1) == 1 && static_cast<uint32_t>(value) == event.bits);
        break;
      }
      case Event::U4: {
        uint32_t value = 0;
        require(load->readU4(load->readData, &value, 1) == 1 && value == event.bits);
        break;
      }
      case Event::DP: {
        double value = 0, expected;
        std::memcpy(&expected, &event.bits, sizeof expected);
        require(load->readDP(load->readData, &value, 1) == 1);
        require(std::isnan(expected) ? std::isnan(value) : std::memcmp(&value, &expected, sizeof value) == 0);
        break;
      }
      case Event::Str: {
        char buffer[16];
        require(load->readStr(load->readData, buffer, sizeof buffer) == static_cast<int>(event.text.size()));
        require(event.text == buffer);
        break;
      }
    }
  }
  require(load->findBlk(load->readData, moduleBlocks) == 0 && load->depth(load->readData) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  walkAsTheModuleLoads(text);
  Choices choose(data, size);
  walkAtRandom(text, choose);
  BlockWriter writer;
  const std::vector<Event> events = writeAtRandom(writer, choose);
  readBack(writer.text(), events);
  return 0;
}
