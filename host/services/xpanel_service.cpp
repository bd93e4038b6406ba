#include "host/services/xpanel_service.h"

#include <atomic>
#include <cstring>
#include <stdexcept>

#include "host/base/number_text.h"
#include "host/loader/unprovided.h"

namespace tarrow::host {
namespace {

std::atomic<XPanelService*> current{nullptr};

std::uintptr_t bits(LWXPanelHint word) { return reinterpret_cast<std::uintptr_t>(word); }
uint32_t idOf(LWXPanelHint word) { return static_cast<uint32_t>(bits(word)); }

template <typename Function>
Function* functionOf(LWXPanelHint word) {
  return reinterpret_cast<Function*>(word);
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

template <typename Edit>
bool XPanelService::withRecord(LWXPanelID panel, Edit&& edit) {
  std::lock_guard lock(mutex_);
  const auto found = panels_.find(panel);
  if (found == panels_.end()) return false;
  edit(*found->second);
  return true;
}

struct XPanelService::Entries {
  static XPanelService* now() { return current.load(std::memory_order_acquire); }

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
    XPanelService* self = now();
    if (self == nullptr) return;
    try {
      // A panel not alive: nothing to close, but a module that destroys a panel twice (or one
      // the host destroyed) is counted.
      if (!self->close(panel)) self->strayDestroys_.fetch_add(1, std::memory_order_relaxed);
    } catch (...) {
    }
  }

  static void describe(LWXPanelID panel, LWXPanelDataDesc* data, LWXPanelGetFunc* get,
                       LWXPanelSetFunc* set) noexcept {
    XPanelService* self = now();
    if (self == nullptr) return;
    std::map<uint32_t, std::string> datatypes;
    try {
      for (const LWXPanelDataDesc* desc = data; desc != nullptr && desc->vid != 0; ++desc) {
        datatypes[desc->vid] = desc->datatype != nullptr ? desc->datatype : "";
      }
    } catch (...) {
      datatypes.clear();  // out of memory: the panel describes no value
    }
    try {
      self->withRecord(panel, [&](PanelRecord& record) noexcept {
        record.datatypes.swap(datatypes);
        record.get = get;
        record.set = set;
      });
    } catch (...) {
    }
  }

  static void hint(LWXPanelID panel, uint32_t /*id*/, LWXPanelHint* words) noexcept {
    XPanelService* self = now();
    if (self == nullptr) return;
    try {
      const std::vector<Hint> hints = splitHints(words);
      self->withRecord(panel, [&](PanelRecord& record) {
        for (const Hint& hint : hints) apply(record, hint);
      });
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
      case XPTAG_LEFT:  // known, and nothing to do: the text view aligns every control alike
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
    XPanelService* self = now();
    void* found = nullptr;
    try {
      if (self != nullptr) {
        self->withRecord(panel, [&](PanelRecord& record) noexcept {
          const auto data = record.data.find(id);
          if (data != record.data.end()) found = data->second;
        });
      }
    } catch (...) {
    }
    return found;
  }

  static void setData(LWXPanelID panel, uint32_t id, void* data) noexcept {
    XPanelService* self = now();
    if (self == nullptr) return;
    try {
      self->withRecord(panel, [&](PanelRecord& record) { record.data[id] = data; });
    } catch (...) {
    }
  }

  static void viewInst(LWXPanelID panel, void* inst) noexcept {
    XPanelService* self = now();
    if (self == nullptr) return;
    try {
      self->withRecord(panel, [&](PanelRecord& record) noexcept { record.inst = inst; });
    } catch (...) {
    }
  }

  static void viewRefresh(LWXPanelID panel) noexcept {
    if (XPanelService* self = now()) self->redraw(panel);
  }
};

namespace {

using Entries = XPanelService::Entries;

// Version 2 of the service; the host has no drawing functions for custom controls.
const LWXPanelFuncs kFuncsTable = withUnprovidedLaterMembers<"LWXPanelFuncs">(LWXPanelFuncs{
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

void XPanelService::registerInto(ServiceRegistry& registry, const HostGeneration& generation) {
  registry.provide(generation.xpanel, const_cast<LWXPanelFuncs*>(&kFuncsTable));
  utf8Texts_ = generation.utf8Texts;
  makeCurrent();
}

void XPanelService::makeCurrent() { current.store(this, std::memory_order_release); }

const LWXPanelFuncs* XPanelService::funcs() { return &kFuncsTable; }

std::optional<PanelRecord> XPanelService::find(LWXPanelID panel) const {
  std::lock_guard lock(mutex_);
  const auto found = panels_.find(panel);
  if (found == panels_.end()) return std::nullopt;
  return *found->second;
}

bool XPanelService::isOpen(LWXPanelID panel) const {
  std::lock_guard lock(mutex_);
  return panels_.count(panel) != 0;
}

std::vector<LWXPanelID> XPanelService::panels() const {
  std::lock_guard lock(mutex_);
  std::vector<LWXPanelID> ids;
  for (const auto& [id, record] : panels_) ids.push_back(id);
  return ids;
}

XPanelService::ValueAccess XPanelService::valueAccess(LWXPanelID panel, uint32_t valueId) const {
  std::lock_guard lock(mutex_);
  const auto found = panels_.find(panel);
  if (found == panels_.end()) throw std::invalid_argument("no such panel is open");
  const PanelRecord& record = *found->second;
  const auto type = record.datatypes.find(valueId);
  if (type == record.datatypes.end()) throw std::invalid_argument("the panel has no value " + hexId(valueId));
  return {valueId, type->second == "float", record.inst, record.get, record.set, record.changeNotify};
}

std::optional<PanelValue> XPanelService::readThrough(const ValueAccess& access) {
  void* value = access.get != nullptr ? access.get(access.inst, access.id) : nullptr;
  if (value == nullptr) return std::nullopt;
  if (access.isFloat) return PanelValue(*static_cast<const double*>(value));
  return PanelValue(*static_cast<const int32_t*>(value));
}

std::optional<PanelValue> XPanelService::read(LWXPanelID panel, uint32_t valueId) {
  return readThrough(valueAccess(panel, valueId));
}

int XPanelService::write(LWXPanelID panel, uint32_t valueId, PanelValue value) {
  const ValueAccess access = valueAccess(panel, valueId);
  if (access.isFloat != std::holds_alternative<double>(value)) {
    throw std::invalid_argument("value " + hexId(valueId) + " is " +
                                (access.isFloat ? "a number" : "a whole number"));
  }
  void* stored = access.isFloat ? static_cast<void*>(&std::get<double>(value))
                                : static_cast<void*>(&std::get<int32_t>(value));
  const int refresh = access.set != nullptr ? access.set(access.inst, valueId, stored) : LWXPRC_NONE;
  // The change notification's refresh code is honoured at once: anything but LWXPRC_NONE draws
  // the panel again. The set function's code is the caller's to act on.
  if (access.changeNotify != nullptr &&
      access.changeNotify(panel, valueId, valueId, LWXPEVENT_VALUE) != LWXPRC_NONE) {
    redraw(panel);
  }
  return refresh;
}

void XPanelService::redraw(LWXPanelID panel) noexcept {
  try {
    std::vector<ValueAccess> values;
    const bool alive = withRecord(panel, [&](PanelRecord& record) {
      ++record.refreshes;
      for (const auto& [id, type] : record.datatypes) {
        values.push_back({id, type == "float", record.inst, record.get, nullptr, nullptr});
      }
    });
    if (!alive) return;
    std::vector<std::optional<PanelValue>> shown;
    shown.reserve(values.size());
    for (const ValueAccess& value : values) shown.push_back(readThrough(value));
    withRecord(panel, [&](PanelRecord& record) {
      for (size_t k = 0; k < values.size(); ++k) record.shown[values[k].id] = shown[k];
    });
  } catch (...) {
    // Out of memory: the panel shows what it showed before.
  }
}

std::vector<std::string> XPanelService::popupEntries(LWXPanelID panel, uint32_t controlId) {
  std::pair<LWXPanelPopCntFunc*, LWXPanelPopNameFunc*> functions{};
  bool hasPopup = false;
  if (!withRecord(panel, [&](PanelRecord& record) {
        const auto popup = record.popups.find(controlId);
        hasPopup = popup != record.popups.end();
        if (hasPopup) functions = popup->second;
      })) {
    throw std::invalid_argument("no such panel is open");
  }
  if (!hasPopup) throw std::invalid_argument("control " + hexId(controlId) + " has no popup entries");
  const auto [count, name] = functions;
  std::vector<std::string> entries;
  const int total = count != nullptr ? count(nullptr) : 0;
  for (int k = 0; k < total; ++k) {
    const char* text = name != nullptr ? name(nullptr, k) : nullptr;
    entries.emplace_back(text != nullptr ? text : "");
  }
  return entries;
}

void XPanelService::press(LWXPanelID panel, uint32_t controlId) {
  LWXPanelBtnClickFunc* notify = nullptr;
  if (!withRecord(panel, [&](PanelRecord& record) {
        const auto found = record.buttonNotify.find(controlId);
        if (found != record.buttonNotify.end()) notify = found->second;
      })) {
    throw std::invalid_argument("no such panel is open");
  }
  if (notify == nullptr) throw std::invalid_argument("control " + hexId(controlId) + " is not a button");
  notify(panel, static_cast<int>(controlId));
}

bool XPanelService::close(LWXPanelID panel) {
  std::unique_ptr<PanelRecord> record;
  {
    std::lock_guard lock(mutex_);
    const auto found = panels_.find(panel);
    if (found == panels_.end()) return false;
    record = std::move(found->second);
    panels_.erase(found);
  }
  // The record is no longer shared: the notification runs without the lock.
  if (record->destroyNotify != nullptr) {
    const auto data = record->data.find(0);
    record->destroyNotify(data != record->data.end() ? data->second : nullptr);
  }
  return true;
}

void XPanelService::destroy(LWXPanelID panel) {
  if (!close(panel)) throw std::invalid_argument("no such panel is open");
}

void XPanelService::destroyAll() {
  for (;;) {
    LWXPanelID first = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (panels_.empty()) return;
      first = panels_.begin()->first;
    }
    close(first);  // false when another thread closed it meanwhile
  }
}

}  // namespace tarrow::host
