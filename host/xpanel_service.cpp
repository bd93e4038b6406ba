#include "host/xpanel_service.h"

#include <atomic>
#include <cstring>
#include <stdexcept>

#include "host/unprovided.h"

namespace tarrow::host {
namespace {

std::atomic<XPanelService*> current{nullptr};

std::uintptr_t bits(LWXPanelHint word) { return reinterpret_cast<std::uintptr_t>(word); }
uint32_t idOf(LWXPanelHint word) { return static_cast<uint32_t>(bits(word)); }

template <typename Function>
Function* functionOf(LWXPanelHint word) {
  return reinterpret_cast<Function*>(word);
}

std::string hex(uint32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", id);
  return text;
}

}  // namespace

std::vector<Hint> splitHints(const LWXPanelHint* words) {
  std::vector<Hint> hints;
  if (words == nullptr) return hints;
  for (std::size_t at = 0; idOf(words[at]) != 0;) {
    Hint hint;
    hint.tag = idOf(words[at++]);
    if ((hint.tag & 0xFFu) == XPTAG_LIST) {
      while (words[at] != nullptr) hint.arguments.push_back(words[at++]);
      ++at;  // the list's zero
    } else {
      const std::size_t count = hint.tag & 0xFFu;
      hint.arguments.assign(words + at, words + at + count);
      at += count;
    }
    hints.push_back(std::move(hint));
  }
  return hints;
}

struct XPanelService::Entries {
  static XPanelService* now() { return current.load(std::memory_order_acquire); }

  // The record of a live panel of the current service, or null.
  static PanelRecord* record(LWXPanelID panel) {
    XPanelService* self = now();
    if (self == nullptr) return nullptr;
    std::lock_guard lock(self->mutex_);
    const auto found = self->panels_.find(panel);
    return found != self->panels_.end() ? found->second.get() : nullptr;
  }

  static LWXPanelID create(int type, LWXPanelControl* controls) noexcept {
    XPanelService* self = now();
    if (self == nullptr || type != LWXP_VIEW || controls == nullptr) return nullptr;
    try {
      auto made = std::make_unique<PanelRecord>();
      made->type = type;
      for (const LWXPanelControl* control = controls; control->cid != 0; ++control) {
        made->controls.push_back({control->cid, control->label != nullptr ? control->label : "",
                                  control->ctrlclass != nullptr ? control->ctrlclass : ""});
      }
      auto id = reinterpret_cast<LWXPanelID>(made.get());
      std::lock_guard lock(self->mutex_);
      self->panels_.emplace(id, std::move(made));
      return id;
    } catch (...) {
      return nullptr;  // the host could not make the panel: the module gets none
    }
  }

  static void destroy(LWXPanelID panel) noexcept {
    if (XPanelService* self = now()) {
      try {
        self->destroy(panel);
      } catch (...) {
        // Not a live panel: nothing to close.
      }
    }
  }

  static void describe(LWXPanelID panel, LWXPanelDataDesc* data, LWXPanelGetFunc* get,
                       LWXPanelSetFunc* set) noexcept {
    PanelRecord* found = record(panel);
    if (found == nullptr) return;
    try {
      found->datatypes.clear();
      for (const LWXPanelDataDesc* desc = data; desc != nullptr && desc->vid != 0; ++desc) {
        found->datatypes[desc->vid] = desc->datatype != nullptr ? desc->datatype : "";
      }
    } catch (...) {
      found->datatypes.clear();
    }
    found->get = get;
    found->set = set;
  }

  static void hint(LWXPanelID panel, uint32_t /*id*/, LWXPanelHint* words) noexcept {
    PanelRecord* found = record(panel);
    if (found == nullptr) return;
    try {
      for (const Hint& hint : splitHints(words)) apply(*found, hint);
    } catch (...) {
      // Out of memory part way: the hints applied so far stay.
    }
  }

  static void apply(PanelRecord& panel, const Hint& hint) {
    const auto& args = hint.arguments;
    switch (hint.tag) {
      case XPTAG_LABEL:
        panel.labels[idOf(args[0])] = args[1] != nullptr ? static_cast<const char*>(args[1]) : "";
        return;
      case XPTAG_LEFT:
        for (LWXPanelHint id : args) panel.leftAligned.push_back(idOf(id));
        return;
      case XPTAG_CHGNOTIFY:
        panel.changeNotify = functionOf<LWXPanelChangeNotifyFunc>(args[0]);
        return;
      case XPTAG_BUTNOTIFY:
        panel.buttonNotify[idOf(args[0])] = functionOf<LWXPanelBtnClickFunc>(args[1]);
        return;
      case XPTAG_POPFUNCS:
        panel.popups[idOf(args[0])] = {functionOf<LWXPanelPopCntFunc>(args[1]),
                                       functionOf<LWXPanelPopNameFunc>(args[2])};
        return;
      case XPTAG_DESTROYNOTIFY:
        panel.destroyNotify = functionOf<LWXPanelDestroyNotifyFunc>(args[0]);
        return;
      default:
        panel.unknownTags.push_back(hint.tag);
        return;
    }
  }

  static void* getData(LWXPanelID panel, uint32_t id) noexcept {
    PanelRecord* found = record(panel);
    if (found == nullptr) return nullptr;
    const auto data = found->data.find(id);
    return data != found->data.end() ? data->second : nullptr;
  }

  static void setData(LWXPanelID panel, uint32_t id, void* data) noexcept {
    if (PanelRecord* found = record(panel)) {
      try {
        found->data[id] = data;
      } catch (...) {
      }
    }
  }

  static void viewInst(LWXPanelID panel, void* inst) noexcept {
    if (PanelRecord* found = record(panel)) found->inst = inst;
  }

  // The host draws the panel again: every value is read anew.
  static void viewRefresh(LWXPanelID panel) noexcept {
    if (PanelRecord* found = record(panel)) refresh(*found);
  }

  static void refresh(PanelRecord& panel) noexcept {
    ++panel.refreshes;
    try {
      for (const auto& [id, type] : panel.datatypes) panel.shown[id] = readValue(panel, id);
    } catch (...) {
    }
  }

  static std::optional<PanelValue> readValue(const PanelRecord& panel, uint32_t id) {
    const auto type = panel.datatypes.find(id);
    if (type == panel.datatypes.end()) throw std::invalid_argument("the panel has no value " + hex(id));
    void* value = panel.get != nullptr ? panel.get(panel.inst, id) : nullptr;
    if (value == nullptr) return std::nullopt;
    if (type->second == "float") return PanelValue(*static_cast<const double*>(value));
    return PanelValue(*static_cast<const int32_t*>(value));
  }
};

namespace {

using Entries = XPanelService::Entries;

// Version 2 of the service; the host has no drawing functions for custom controls.
const LWXPanelFuncs funcsTable = withUnprovidedLaterMembers<"LWXPanelFuncs">(LWXPanelFuncs{
    .version = 2,
    .drawf = nullptr,
    .create = &Entries::create,
    .destroy = &Entries::destroy,
    .describe = &Entries::describe,
    .hint = &Entries::hint,
    .getData = &Entries::getData,
    .setData = &Entries::setData,
    .formGet = TARROW_UNPROVIDED(LWXPanelFuncs, formGet),
    .formSet = TARROW_UNPROVIDED(LWXPanelFuncs, formSet),
    .viewInst = &Entries::viewInst,
    .viewRefresh = &Entries::viewRefresh,
    .laterMembers = {},
});

}  // namespace

XPanelService::~XPanelService() {
  destroyAll();
  XPanelService* self = this;
  current.compare_exchange_strong(self, nullptr);
}

void XPanelService::registerInto(ServiceRegistry& registry) {
  registry.provide(LWXPANELFUNCS_GLOBAL, const_cast<LWXPanelFuncs*>(&funcsTable));
  makeCurrent();
}

void XPanelService::makeCurrent() { current.store(this, std::memory_order_release); }

const LWXPanelFuncs* XPanelService::funcs() { return &funcsTable; }

const PanelRecord* XPanelService::find(LWXPanelID panel) const {
  std::lock_guard lock(mutex_);
  const auto found = panels_.find(panel);
  return found != panels_.end() ? found->second.get() : nullptr;
}

std::vector<LWXPanelID> XPanelService::panels() const {
  std::lock_guard lock(mutex_);
  std::vector<LWXPanelID> ids;
  for (const auto& [id, record] : panels_) ids.push_back(id);
  return ids;
}

PanelRecord& XPanelService::alive(LWXPanelID panel) {
  std::lock_guard lock(mutex_);
  const auto found = panels_.find(panel);
  if (found == panels_.end()) throw std::invalid_argument("no such panel is open");
  return *found->second;
}

std::optional<PanelValue> XPanelService::read(LWXPanelID panel, uint32_t valueId) {
  return Entries::readValue(alive(panel), valueId);
}

int XPanelService::write(LWXPanelID panel, uint32_t valueId, PanelValue value) {
  PanelRecord& record = alive(panel);
  const auto type = record.datatypes.find(valueId);
  if (type == record.datatypes.end()) throw std::invalid_argument("the panel has no value " + hex(valueId));
  const bool wantsFloat = type->second == "float";
  if (wantsFloat != std::holds_alternative<double>(value)) {
    throw std::invalid_argument("value " + hex(valueId) + " is " + (wantsFloat ? "a number" : "a whole number"));
  }
  void* stored = wantsFloat ? static_cast<void*>(&std::get<double>(value)) : static_cast<void*>(&std::get<int32_t>(value));
  const int refresh = record.set != nullptr ? record.set(record.inst, valueId, stored) : LWXPRC_NONE;
  // The change notification's refresh code is honoured at once: anything but LWXPRC_NONE draws
  // the panel again. The set function's code is the caller's to act on.
  if (record.changeNotify != nullptr &&
      record.changeNotify(panel, valueId, valueId, LWXPEVENT_VALUE) != LWXPRC_NONE) {
    Entries::refresh(record);
  }
  return refresh;
}

std::vector<std::string> XPanelService::popupEntries(LWXPanelID panel, uint32_t controlId) {
  PanelRecord& record = alive(panel);
  const auto popup = record.popups.find(controlId);
  if (popup == record.popups.end()) throw std::invalid_argument("control " + hex(controlId) + " has no popup entries");
  const auto [count, name] = popup->second;
  std::vector<std::string> entries;
  const int total = count != nullptr ? count(nullptr) : 0;
  for (int k = 0; k < total; ++k) {
    const char* text = name != nullptr ? name(nullptr, k) : nullptr;
    entries.emplace_back(text != nullptr ? text : "");
  }
  return entries;
}

void XPanelService::press(LWXPanelID panel, uint32_t controlId) {
  PanelRecord& record = alive(panel);
  const auto notify = record.buttonNotify.find(controlId);
  if (notify == record.buttonNotify.end() || notify->second == nullptr) {
    throw std::invalid_argument("control " + hex(controlId) + " is no button");
  }
  notify->second(panel, static_cast<int>(controlId));
}

void XPanelService::destroy(LWXPanelID panel) {
  std::unique_ptr<PanelRecord> record;
  {
    std::lock_guard lock(mutex_);
    const auto found = panels_.find(panel);
    if (found == panels_.end()) throw std::invalid_argument("no such panel is open");
    record = std::move(found->second);
    panels_.erase(found);
  }
  if (record->destroyNotify != nullptr) {
    const auto data = record->data.find(0);
    record->destroyNotify(data != record->data.end() ? data->second : nullptr);
  }
}

void XPanelService::destroyAll() {
  for (LWXPanelID panel : panels()) destroy(panel);
}

}  // namespace tarrow::host
