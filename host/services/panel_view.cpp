#include "host/services/panel_view.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "host/base/number_text.h"
#include "host/services/language.h"

namespace tarrow::host {
namespace {

std::string inQuotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

template <typename Number>
bool parseWhole(std::string_view text, Number& out) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, out);
  return result.ec == std::errc() && result.ptr == end;
}

bool parseNumber(std::string_view text, double& out) {
  // strtod accepts what a user types (1e-3, .5, -0); the text must be all number.
  const std::string copy(text);
  if (copy.empty()) return false;
  char* end = nullptr;
  out = std::strtod(copy.c_str(), &end);
  return end == copy.c_str() + copy.size() && std::isfinite(out);
}

}  // namespace

namespace {

PanelRecord recordOf(const XPanelService& service, LWXPanelID panel) {
  std::optional<PanelRecord> record = service.find(panel);
  if (!record) throw PanelError("the module built no panel");
  return std::move(*record);
}

}  // namespace

PanelView::PanelView(XPanelService& service, LWXPanelID panel)
    : service_(service), panel_(panel), record_(recordOf(service, panel)) {}

std::string PanelView::readable(const std::string& text) const {
  return service_.textsAreUtf8() ? text : utf8FromCp932(text);
}

std::string PanelView::shownLabel(const PanelControlInfo& control) const {
  return control.label.empty() ? hexId(control.id) : readable(control.label);
}

std::string PanelView::validControls() const {
  std::string list;
  for (const PanelControlInfo& control : record_.controls) {
    if (!list.empty()) list += ", ";
    list += control.label.empty() ? hexId(control.id) : inQuotes(shownLabel(control));
  }
  return list;
}

const PanelControlInfo& PanelView::control(std::string_view name) const {
  for (const PanelControlInfo& control : record_.controls) {
    if ((!control.label.empty() && (name == control.label || name == shownLabel(control))) ||
        name == hexId(control.id)) {
      return control;
    }
  }
  // Ids are also matched however they are written: 0x8002, 0X8002, 32770.
  const bool hex = name.size() > 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X');
  const std::string_view digits = hex ? name.substr(2) : name;
  uint32_t id = 0;
  const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), id, hex ? 16 : 10);
  if (parsed.ec == std::errc() && parsed.ptr == digits.data() + digits.size()) {
    for (const PanelControlInfo& control : record_.controls) {
      if (control.id == id) return control;
    }
  }
  throw PanelError("no control " + inQuotes(name) + " on the panel; valid controls are " + validControls());
}

const std::string& PanelView::datatype(const PanelControlInfo& control) const {
  const auto found = record_.datatypes.find(control.id);
  if (found == record_.datatypes.end()) {
    throw PanelError(inQuotes(shownLabel(control)) + " is a button and has no value; use --press");
  }
  return found->second;
}

int32_t PanelView::popupIndex(const PanelControlInfo& control, std::string_view value) const {
  const std::vector<std::string> entries = service_.popupEntries(panel_, control.id);
  for (size_t k = 0; k < entries.size(); ++k) {
    if (value == entries[k]) return static_cast<int32_t>(k);
  }
  int32_t index = 0;
  if (parseWhole(value, index) && index >= 0 && static_cast<size_t>(index) < entries.size()) return index;
  std::string list;
  for (size_t k = 0; k < entries.size(); ++k) {
    list += std::string(k == 0 ? "" : ", ") + inQuotes(entries[k]) + " (" + std::to_string(k) + ")";
  }
  throw PanelError(inQuotes(shownLabel(control)) + " has no entry " + inQuotes(value) +
                   "; valid values are " + list);
}

void PanelView::set(std::string_view name, std::string_view value) {
  const PanelControlInfo& target = control(name);
  const std::string& type = datatype(target);
  const std::string label = inQuotes(shownLabel(target));
  if (type == "float") {
    double number = 0;
    if (!parseNumber(value, number)) throw PanelError(label + " takes a number, not " + inQuotes(value));
    service_.write(panel_, target.id, number);
    return;
  }
  int32_t whole = 0;
  if (target.ctrlclass == "iPopChoice") {
    whole = popupIndex(target, value);
  } else if (target.ctrlclass == "iBoolean") {
    if (value == "on" || value == "1") {
      whole = 1;
    } else if (value != "off" && value != "0") {
      throw PanelError(label + " is a switch: valid values are on, off, 1 and 0, not " + inQuotes(value));
    }
  } else if (!parseWhole(value, whole)) {
    throw PanelError(label + " takes a whole number, not " + inQuotes(value));
  }
  service_.write(panel_, target.id, whole);
}

void PanelView::setJson(std::string_view name, const nlohmann::json& value) {
  if (value.is_string()) return set(name, std::string_view(value.get_ref<const std::string&>()));
  if (value.is_boolean()) return set(name, std::string_view(value.get<bool>() ? "on" : "off"));
  if (value.is_number_integer()) return set(name, std::string_view(std::to_string(value.get<long long>())));
  if (value.is_number()) return set(name, std::string_view(numberText(value.get<double>())));
  throw PanelError(inQuotes(name) + " takes a number, a text or true/false, not " + value.dump());
}

void PanelView::press(std::string_view name) {
  const PanelControlInfo& target = control(name);
  if (record_.buttonNotify.count(target.id) == 0) {
    std::string buttons;
    for (const auto& [id, notify] : record_.buttonNotify) {
      for (const PanelControlInfo& control : record_.controls) {
        if (control.id == id)
          buttons += std::string(buttons.empty() ? "" : ", ") + inQuotes(shownLabel(control));
      }
    }
    throw PanelError(inQuotes(shownLabel(target)) + " is not a button; valid buttons are " + buttons);
  }
  service_.press(panel_, target.id);
}

std::string PanelView::describeValue(const PanelControlInfo& control) const {
  if (record_.datatypes.count(control.id) == 0) return "[button]";
  const std::optional<PanelValue> value = service_.read(panel_, control.id);
  if (!value) return "(driven by node)";
  if (const double* number = std::get_if<double>(&*value)) return numberText(*number);
  const int32_t whole = std::get<int32_t>(*value);
  if (control.ctrlclass == "iBoolean") return whole != 0 ? "on" : "off";
  return std::to_string(whole);
}

std::string PanelView::render() const {
  const auto title = record_.labels.find(0);
  std::string text =
      (title != record_.labels.end() ? readable(title->second) : std::string("(untitled)")) + "\n";
  for (const PanelControlInfo& control : record_.controls) {
    const std::string value = describeValue(control);
    if (record_.popups.count(control.id) == 0) {
      text += "  " + shownLabel(control) + ": " + value + "\n";
      continue;
    }
    // Popup entries are the host's own texts (item and map names) and are shown as they are.
    const std::vector<std::string> entries = service_.popupEntries(panel_, control.id);
    int32_t chosen = -1;
    const bool hasIndex = parseWhole(value, chosen);
    const bool listed = hasIndex && chosen >= 0 && static_cast<size_t>(chosen) < entries.size();
    text += "  " + shownLabel(control) + ": " +
            (listed ? entries[static_cast<size_t>(chosen)] + " (" + value + ")" : value) + "\n";
    for (size_t k = 0; k < entries.size(); ++k) {
      const bool mark = hasIndex && static_cast<size_t>(chosen) == k;
      text += std::string(mark ? "    * " : "      ") + std::to_string(k) + " " + entries[k] + "\n";
    }
  }
  return text;
}

}  // namespace tarrow::host
