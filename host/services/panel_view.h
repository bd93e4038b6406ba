// One open panel as the host's user sees and edits it: controls named by their label (as the
// module gave it or as UTF-8) or by id ("0x8002"), values written as text, popups by entry.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "host/services/xpanel_service.h"

namespace tarrow::host {

// A name or value the panel cannot take; what() is one line that lists what it can take.
class PanelError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class PanelView {
 public:
  PanelView(XPanelService& service, LWXPanelID panel);

  LWXPanelID id() const { return panel_; }
  // The control a user names; throws PanelError listing the controls.
  const PanelControlInfo& control(std::string_view name) const;
  // A user's edit: a number for a float value, on/off/1/0 for a switch, an entry's name or index
  // for a popup, a whole number for another integer value. Throws PanelError.
  void set(std::string_view name, std::string_view value);
  // The same from a scene's "panel" object: JSON numbers, booleans or texts.
  void setJson(std::string_view name, const nlohmann::json& value);
  void press(std::string_view name);

  // The title, then one line per control with its value, each popup's entries below it with
  // the chosen one marked.
  std::string render() const;
  // A control's label as a UTF-8 terminal shows it; a control without a label shows its id.
  std::string shownLabel(const PanelControlInfo& control) const;
  // A text of the module as the host shows it: UTF-8, or code page 932 made UTF-8.
  std::string readable(const std::string& text) const;

 private:
  std::string describeValue(const PanelControlInfo& control) const;
  std::string validControls() const;
  int32_t popupIndex(const PanelControlInfo& control, std::string_view value) const;
  const std::string& datatype(const PanelControlInfo& control) const;

  XPanelService& service_;
  LWXPanelID panel_;
  PanelRecord record_;  // as the module built it; values are read anew each time
};

}  // namespace tarrow::host
