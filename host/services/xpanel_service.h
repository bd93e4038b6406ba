// The stand-in host's extended panels, offered to modules as "LWXPanel 2": panels of the view
// type built from a control list, described, hinted and then driven by the host as a user would.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/loader/host_generation.h"
#include "host/loader/service_registry.h"
#include "sdk/lwxpanel.h"

namespace tarrow::host {

// One hint of a hint list: its tag and its argument words.
struct Hint {
  uint32_t tag = 0;
  std::vector<LWXPanelHint> arguments;
};

// Splits a hint list up to its zero tag word. A tag's low byte is the number of argument words
// that follow it; XPTAG_LIST means a zero-terminated list of words instead (the zero is not
// kept). Tags the host does not know are split by the same rule, so they are skipped whole.
std::vector<Hint> splitHints(const LWXPanelHint* words);

struct PanelControlInfo {
  uint32_t id = 0;
  std::string label;      // the module's bytes as they were handed over
  std::string ctrlclass;  // "vButton", "iBoolean", "float", "iPopChoice", ...
};

using PanelValue = std::variant<int32_t, double>;

// Everything the host knows of one panel.
struct PanelRecord {
  int type = 0;
  std::vector<PanelControlInfo> controls;
  std::map<uint32_t, std::string> datatypes;  // by value id, from describe
  std::map<uint32_t, std::string> labels;     // XPTAG_LABEL by id; 0 is the panel's title
  std::vector<uint32_t> unknownTags;          // hint tags skipped, in order
  LWXPanelGetFunc* get = nullptr;
  LWXPanelSetFunc* set = nullptr;
  void* inst = nullptr;
  std::map<uint32_t, void*> data;
  LWXPanelChangeNotifyFunc* changeNotify = nullptr;
  std::map<uint32_t, LWXPanelBtnClickFunc*> buttonNotify;
  std::map<uint32_t, std::pair<LWXPanelPopCntFunc*, LWXPanelPopNameFunc*>> popups;
  LWXPanelDestroyNotifyFunc* destroyNotify = nullptr;
  int refreshes = 0;
  // What the last refresh read for each value (nothing where the get function gave none). The
  // text view reads afresh when drawn; this is how a redraw's reads through the module show.
  std::map<uint32_t, std::optional<PanelValue>> shown;
};

// Panels of the host, offered as "LWXPanel 2"; formGet, formSet and the members past viewRefresh
// hold stoppers (host/loader/unprovided.h). The table's functions carry no user data, so they act on
// the service made current last; a panel's id is its record's address, checked against the
// panels alive.
//
// Panels may be built, changed and closed from several threads at once (the module's node
// events redraw a panel while the user edits it). Every change of a record happens under the
// service's lock; the module's functions (get, set and the notifications) are called without
// it, with what they need taken under it, since they may call back into the service.
class XPanelService {
 public:
  XPanelService() = default;
  ~XPanelService();  // destroys the panels still open, each with its destroy notification
  XPanelService(const XPanelService&) = delete;
  XPanelService& operator=(const XPanelService&) = delete;

  // Offers the panel service under the generation's name; the generation also says how the
  // module's texts are read (2015.3 without one).
  void registerInto(ServiceRegistry& registry, const HostGeneration& generation = hostGenerations().front());
  void makeCurrent();
  bool textsAreUtf8() const { return utf8Texts_; }
  static const LWXPanelFuncs* funcs();

  // A copy of the panel's record as it is now, or nothing for a panel that is not alive.
  std::optional<PanelRecord> find(LWXPanelID panel) const;
  bool isOpen(LWXPanelID panel) const;
  std::vector<LWXPanelID> panels() const;

  // A value as the panel shows it: read through the get function in the described type, or
  // nothing. Throws std::invalid_argument for a panel not alive or a value it did not describe.
  std::optional<PanelValue> read(LWXPanelID panel, uint32_t valueId);
  // A user's edit: written through the set function, then the change notification with
  // LWXPEVENT_VALUE, whose refresh code other than LWXPRC_NONE redraws the panel (as
  // viewRefresh does). Returns the set function's refresh code. Throws std::invalid_argument for an
  // undescribed value or a value of the wrong type.
  int write(LWXPanelID panel, uint32_t valueId, PanelValue value);
  // A popup's entries through its count and name functions; throws for a control without them.
  std::vector<std::string> popupEntries(LWXPanelID panel, uint32_t controlId);
  // Presses a button; throws for a control that is not a button with a notification.
  void press(LWXPanelID panel, uint32_t controlId);
  // Closes the panel: it is gone, then the destroy notification gets the panel's own data.
  // Throws std::invalid_argument for a panel not alive.
  void destroy(LWXPanelID panel);
  // Closes every panel, those opened meanwhile included.
  void destroyAll();
  // Calls of the table's destroy for a panel that was not alive (destroyed before, or never made).
  long long strayDestroys() const { return strayDestroys_.load(std::memory_order_relaxed); }

  struct Entries;

 private:
  // What reading or writing one value needs, taken under the lock.
  struct ValueAccess {
    uint32_t id = 0;
    bool isFloat = false;
    void* inst = nullptr;
    LWXPanelGetFunc* get = nullptr;
    LWXPanelSetFunc* set = nullptr;
    LWXPanelChangeNotifyFunc* changeNotify = nullptr;
  };

  // Calls edit(record) under the lock if the panel is alive; false when it is not.
  template <typename Edit>
  bool withRecord(LWXPanelID panel, Edit&& edit);
  // Throws std::invalid_argument for a panel not alive or a value it did not describe.
  ValueAccess valueAccess(LWXPanelID panel, uint32_t valueId) const;
  static std::optional<PanelValue> readThrough(const ValueAccess& access);
  // The host draws the panel again: every described value is read anew.
  void redraw(LWXPanelID panel) noexcept;
  // Takes the panel out and sends its destroy notification; false when it was not alive.
  bool close(LWXPanelID panel);

  mutable std::mutex mutex_;
  bool utf8Texts_ = false;  // as 2015.3 until registered for a generation
  std::map<LWXPanelID, std::unique_ptr<PanelRecord>> panels_;
  std::atomic<long long> strayDestroys_{0};
};

}  // namespace tarrow::host
