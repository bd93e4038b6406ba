// The host's panel service and the user's view of a panel, driven by a small panel of the test's own.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host/services/language.h"
#include "host/services/panel_view.h"
#include "host/services/xpanel_service.h"

namespace tarrow::host {
namespace {

LWXPanelHint word(std::uintptr_t value) { return reinterpret_cast<LWXPanelHint>(value); }
template <typename Function>
LWXPanelHint fn(Function* function) {
  return reinterpret_cast<LWXPanelHint>(function);
}

TEST(SplitHints, CountsArgumentsByTheLowByteAndSkipsUnknownTagsWhole) {
  const char* title = "Title";
  // clang-format off
  const LWXPanelHint words[] = {
      word(XPTAG_LABEL),    word(0),      word(reinterpret_cast<std::uintptr_t>(title)), word(0),
      word(0x3D7F0002), word(0x11),   word(0x22),  // unknown, two arguments
      word(XPTAG_LEFT),  word(0x8001), word(0x8003), word(0),
      word(0x3D7E0080), word(7),      word(8),      word(9), word(0),  // unknown list
      word(0x3D7D0000),                                              // unknown, no arguments
      word(XPTAG_CHGNOTIFY), word(0x99),
      word(0),          word(XPTAG_LABEL)};  // past the end: never read
  // clang-format on
  const std::vector<Hint> hints = splitHints(words);
  struct Expected {
    uint32_t tag;
    std::vector<std::uintptr_t> arguments;
  };
  const std::vector<Expected> expected = {{XPTAG_LABEL, {0, reinterpret_cast<std::uintptr_t>(title), 0}},
                                          {0x3D7F0002, {0x11, 0x22}},
                                          {XPTAG_LEFT, {0x8001, 0x8003}},
                                          {0x3D7E0080, {7, 8, 9}},
                                          {0x3D7D0000, {}},
                                          {XPTAG_CHGNOTIFY, {0x99}}};
  ASSERT_EQ(hints.size(), expected.size());
  for (size_t k = 0; k < hints.size(); ++k) {
    EXPECT_EQ(hints[k].tag, expected[k].tag) << k;
    std::vector<std::uintptr_t> arguments;
    for (LWXPanelHint argument : hints[k].arguments)
      arguments.push_back(reinterpret_cast<std::uintptr_t>(argument));
    EXPECT_EQ(arguments, expected[k].arguments) << k;
  }
  EXPECT_TRUE(splitHints(nullptr).empty());
}

// A module's side of one panel: a switch, a number, a popup and a button.
struct Settings {
  int32_t toggle = 0;
  double amount = 0.5;
  int32_t choice = 1;
  bool hideAmount = false;
};
struct Module {
  static inline std::vector<std::string> log;
  static inline void* destroyedWith = nullptr;
  static inline int changeAnswer = LWXPRC_NONE;

  static void* get(void* inst, uint32_t id) {
    auto* settings = static_cast<Settings*>(inst);
    if (id == 2) return &settings->toggle;
    if (id == 3) return settings->hideAmount ? nullptr : &settings->amount;
    if (id == 4) return &settings->choice;
    return nullptr;
  }
  static int set(void* inst, uint32_t id, void* value) {
    log.push_back("set " + std::to_string(id));
    auto* settings = static_cast<Settings*>(inst);
    if (id == 3) settings->amount = *static_cast<double*>(value);
    if (id == 2) settings->toggle = *static_cast<int32_t*>(value);
    if (id == 4) settings->choice = *static_cast<int32_t*>(value);
    return 1;
  }
  static int change(LWXPanelID, uint32_t cid, uint32_t vid, int event) {
    log.push_back("change " + std::to_string(cid) + " " + std::to_string(vid) + " " + std::to_string(event));
    return changeAnswer;
  }
  static void button(LWXPanelID, int cid) { log.push_back("button " + std::to_string(cid)); }
  static int count(void*) { return 3; }
  static const char* name(void*, int index) {
    static const char* const names[] = {"(none)", "Ball", nullptr};
    return names[index];
  }
  static void destroyed(void* data) { destroyedWith = data; }
};

class XPanelServiceTest : public ::testing::Test {
 protected:
  XPanelService service;
  const LWXPanelFuncs& funcs = *XPanelService::funcs();
  Settings settings;
  LWXPanelControl controls[6] = {{1, "\x83\x6D\x81\x5B\x83\x68\x95\xD2\x8F\x57", "vButton"},
                                 {2, "", "iBoolean"},
                                 {3, "Amount", "float"},
                                 {4, "Pick", "iPopChoice"},
                                 {5, "Unused", "iBoolean"},
                                 {0, nullptr, nullptr}};
  LWXPanelDataDesc data[4] = {
      {2, "", "integer"}, {3, "Amount", "float"}, {4, "Pick", "integer"}, {0, nullptr, nullptr}};
  // clang-format off
  LWXPanelHint hints[18] = {word(XPTAG_LABEL),        word(0),        word(reinterpret_cast<std::uintptr_t>("Panel")),
                            word(0),              word(0x3D004202), word(1), word(2),
                            word(XPTAG_CHGNOTIFY),    fn(&Module::change),
                            word(XPTAG_BUTNOTIFY),    word(1),        fn(&Module::button),
                            word(XPTAG_POPFUNCS),     word(4),        fn(&Module::count), fn(&Module::name),
                            word(XPTAG_DESTROYNOTIFY), fn(&Module::destroyed)};
  // clang-format on
  LWXPanelHint hintsEnd[2] = {word(0), word(0)};  // the destroy hint's 0, then the end
  LWXPanelID panel = nullptr;

  void SetUp() override {
    Module::log.clear();
    Module::destroyedWith = nullptr;
    Module::changeAnswer = LWXPRC_NONE;
    service.makeCurrent();
    panel = funcs.create(LWXP_VIEW, controls);
    ASSERT_NE(panel, nullptr);
    std::vector<LWXPanelHint> all(std::begin(hints), std::end(hints));
    all.insert(all.end(), std::begin(hintsEnd), std::end(hintsEnd));
    funcs.hint(panel, 0, all.data());
    funcs.describe(panel, data, &Module::get, &Module::set);
    funcs.viewInst(panel, &settings);
    funcs.setData(panel, 0, &settings);
  }
};

TEST_F(XPanelServiceTest, KeepsWhatTheModuleHandedOver) {
  const std::optional<PanelRecord> record = service.find(panel);
  ASSERT_TRUE(record.has_value());
  ASSERT_EQ(record->controls.size(), 5u);
  EXPECT_EQ(record->controls[3].ctrlclass, "iPopChoice");
  EXPECT_EQ(record->labels.at(0), "Panel");
  EXPECT_EQ(record->unknownTags, std::vector<uint32_t>{0x3D004202});
  EXPECT_EQ(record->datatypes.at(3), "float");
  EXPECT_EQ(funcs.getData(panel, 0), &settings);
  EXPECT_EQ(funcs.getData(panel, 9), nullptr);
  EXPECT_EQ(funcs.create(2, controls), nullptr);  // only view panels
}

TEST_F(XPanelServiceTest, DrivesThePanelAsAUserWould) {
  EXPECT_EQ(service.read(panel, 3), std::optional<PanelValue>(0.5));
  EXPECT_EQ(service.write(panel, 3, 2.25), 1);
  EXPECT_EQ(settings.amount, 2.25);
  EXPECT_EQ(Module::log, (std::vector<std::string>{"set 3", "change 3 3 2"}));
  EXPECT_THROW(service.write(panel, 3, int32_t{1}), std::invalid_argument);
  EXPECT_THROW(service.write(panel, 5, int32_t{1}), std::invalid_argument);  // not described
  settings.hideAmount = true;
  EXPECT_EQ(service.read(panel, 3), std::nullopt);

  EXPECT_EQ(service.popupEntries(panel, 4), (std::vector<std::string>{"(none)", "Ball", ""}));
  EXPECT_THROW(service.popupEntries(panel, 2), std::invalid_argument);
  Module::log.clear();
  service.press(panel, 1);
  EXPECT_EQ(Module::log, std::vector<std::string>{"button 1"});
  EXPECT_THROW(service.press(panel, 2), std::invalid_argument);

  EXPECT_EQ(service.find(panel).value().refreshes, 0) << "the change notification asked for no redraw";
  funcs.viewRefresh(panel);
  funcs.viewRefresh(panel);
  const std::optional<PanelRecord> record = service.find(panel);
  EXPECT_EQ(record->refreshes, 2);
  EXPECT_EQ(record->shown.at(3), std::nullopt);
  EXPECT_EQ(record->shown.at(4), std::optional<PanelValue>(int32_t{1}));

  service.destroy(panel);
  EXPECT_EQ(Module::destroyedWith, &settings);
  EXPECT_FALSE(service.find(panel).has_value());
  EXPECT_FALSE(service.isOpen(panel));
  funcs.viewRefresh(panel);  // a panel gone is ignored
  EXPECT_EQ(funcs.getData(panel, 0), nullptr);
}

TEST_F(XPanelServiceTest, AChangeNotificationAskingForARefreshRedrawsThePanel) {
  Module::changeAnswer = LWXPRC_DFLT;
  EXPECT_EQ(service.write(panel, 4, int32_t{0}), 1);
  const std::optional<PanelRecord> record = service.find(panel);
  EXPECT_EQ(record->refreshes, 1);
  EXPECT_EQ(record->shown.at(4), std::optional<PanelValue>(int32_t{0}));
  EXPECT_EQ(record->shown.at(3), std::optional<PanelValue>(0.5));
}

TEST_F(XPanelServiceTest, ViewNamesControlsAndRejectsWhatTheyCannotTake) {
  PanelView view(service, panel);
  EXPECT_EQ(view.control("\x83\x6D\x81\x5B\x83\x68\x95\xD2\x8F\x57").id, 1u);  // as the module gave it
  EXPECT_EQ(view.control("ノード編集").id, 1u);                                // as a terminal shows it
  EXPECT_EQ(view.control("0x2").id, 2u);
  EXPECT_EQ(view.control("3").id, 3u);

  view.set("Pick", "Ball");
  EXPECT_EQ(settings.choice, 1);
  view.set("Pick", "0");
  EXPECT_EQ(settings.choice, 0);
  view.set("0x2", "on");
  EXPECT_EQ(settings.toggle, 1);
  view.setJson("Amount", nlohmann::json(1.5));
  EXPECT_EQ(settings.amount, 1.5);

  struct Bad {
    const char* name;
    const char* value;
    const char* message;
  };
  for (const Bad& bad :
       {Bad{"Nope", "1",
            "no control \"Nope\" on the panel; valid controls are \"ノード編集\", 0x2, \"Amount\", "
            "\"Pick\", \"Unused\""},
        Bad{"Amount", "lots", "\"Amount\" takes a number, not \"lots\""},
        Bad{"Amount", "inf", "\"Amount\" takes a number, not \"inf\""},
        Bad{"0x2", "yes", "\"0x2\" is a switch: valid values are on, off, 1 and 0, not \"yes\""},
        Bad{"Pick", "3",
            "\"Pick\" has no entry \"3\"; valid values are \"(none)\" (0), \"Ball\" (1), \"\" (2)"},
        Bad{"ノード編集", "1", "\"ノード編集\" is a button and has no value; use --press"}}) {
    try {
      view.set(bad.name, bad.value);
      ADD_FAILURE() << bad.name << "=" << bad.value << " was taken";
    } catch (const PanelError& error) {
      EXPECT_EQ(std::string(error.what()), bad.message);
    }
  }
  try {
    view.press("Amount");
    ADD_FAILURE() << "a number was pressed";
  } catch (const PanelError& error) {
    EXPECT_STREQ(error.what(), "\"Amount\" is not a button; valid buttons are \"ノード編集\"");
  }
  EXPECT_EQ(settings.amount, 1.5);  // nothing rejected reached the module
}

// A module's side of panels used from two threads: values it never changes, notifications
// that call back into the service as the module's do, and a destroy notification that counts
// on the panel's own data.
struct SharedPanels {
  static inline const double amount = 0.5;
  static inline const int32_t pick = 1;
  static void* get(void*, uint32_t id) {
    return id == 3 ? const_cast<double*>(&amount) : static_cast<void*>(const_cast<int32_t*>(&pick));
  }
  static int set(void*, uint32_t, void*) { return LWXPRC_DFLT; }
  static int change(LWXPanelID panel, uint32_t, uint32_t, int) {
    XPanelService::funcs()->getData(panel, 0);
    return LWXPRC_DFLT;  // redraw
  }
  static void button(LWXPanelID panel, int) { XPanelService::funcs()->getData(panel, 0); }
  static void destroyed(void* data) {
    if (data != nullptr) static_cast<std::atomic<int>*>(data)->fetch_add(1);
  }
};

// One thread builds panels as the module does, edits them as the user does and closes half of
// them; the other, like the module's node events, redraws, hints, reads and writes whatever
// panels are open at the same time, and closes some. Run under ThreadSanitizer this shows that
// no record is changed, or freed, while another thread uses it.
TEST(XPanelServiceThreads, PanelsBuiltEditedAndClosedFromTwoThreads) {
  XPanelService service;
  service.makeCurrent();
  const LWXPanelFuncs& funcs = *XPanelService::funcs();
  LWXPanelControl controls[] = {
      {1, "Go", "vButton"}, {3, "Amount", "float"}, {4, "Pick", "iPopChoice"}, {0, nullptr, nullptr}};
  LWXPanelDataDesc data[] = {{3, "Amount", "float"}, {4, "Pick", "integer"}, {0, nullptr, nullptr}};
  // clang-format off
  LWXPanelHint hints[] = {word(XPTAG_CHGNOTIFY),     fn(&SharedPanels::change),
                          word(XPTAG_BUTNOTIFY),     word(1), fn(&SharedPanels::button),
                          word(XPTAG_POPFUNCS),      word(4), fn(&Module::count), fn(&Module::name),
                          word(XPTAG_DESTROYNOTIFY), fn(&SharedPanels::destroyed), word(0),
                          word(0)};
  // clang-format on
  // clang-format off
  LWXPanelHint labels[] = {word(XPTAG_LABEL), word(3), word(reinterpret_cast<std::uintptr_t>("Amount (m)")), word(0),
                           word(XPTAG_LEFT),  word(1), word(0),
                           word(0)};
  // clang-format on

  constexpr int kRounds = 3000;
  std::vector<std::atomic<int>> notified(kRounds);  // destroy notifications, by panel
  std::vector<char> closedByBuilder(kRounds, 0);
  std::atomic<bool> building{true};
  int created = 0;
  int closedByOther = 0;

  std::thread other([&] {
    int seen = 0;
    while (building.load()) {
      for (LWXPanelID panel : service.panels()) {
        funcs.viewRefresh(panel);
        funcs.hint(panel, 0, labels);
        funcs.setData(panel, 7, &seen);
        funcs.getData(panel, 0);
        try {
          service.read(panel, 4);
          service.write(panel, 3, 2.0);
          if (++seen % 5 == 0) {
            service.destroy(panel);
            ++closedByOther;
          }
        } catch (const std::invalid_argument&) {
          // Closed by the builder meanwhile.
        }
      }
    }
  });
  for (int round = 0; round < kRounds; ++round) {
    const LWXPanelID panel = funcs.create(LWXP_VIEW, controls);
    if (panel == nullptr) {
      ADD_FAILURE() << "no panel in round " << round;
      break;
    }
    ++created;
    funcs.hint(panel, 0, hints);
    funcs.describe(panel, data, &SharedPanels::get, &SharedPanels::set);
    funcs.viewInst(panel, &notified[static_cast<size_t>(round)]);
    funcs.setData(panel, 0, &notified[static_cast<size_t>(round)]);
    try {
      service.write(panel, 3, 1.5);
      service.read(panel, 4);
      service.press(panel, 1);
      service.popupEntries(panel, 4);
      if (round % 2 == 0) {
        service.destroy(panel);
        closedByBuilder[static_cast<size_t>(round)] = 1;
      }
    } catch (const std::invalid_argument&) {
      // Closed by the other thread meanwhile.
    }
  }
  building.store(false);
  other.join();

  // Every panel was taken out exactly once, and none was notified twice.
  const auto left = static_cast<int>(service.panels().size());
  int byBuilder = 0;
  for (int round = 0; round < kRounds; ++round) {
    const size_t k = static_cast<size_t>(round);
    byBuilder += closedByBuilder[k];
    if (closedByBuilder[k] != 0) {
      EXPECT_EQ(notified[k].load(), 1) << "panel " << round;
    }
  }
  EXPECT_GT(byBuilder, 0);
  EXPECT_EQ(byBuilder + closedByOther + left, created);
  service.destroyAll();
  EXPECT_TRUE(service.panels().empty());
  int twice = 0;
  for (const std::atomic<int>& count : notified) twice += count.load() > 1 ? 1 : 0;
  EXPECT_EQ(twice, 0);
}

TEST(Language, ChoiceAndEnvironmentAndCodePage) {
  EXPECT_EQ(chooseLanguage(std::string("ja")), 0x411);
  EXPECT_EQ(chooseLanguage(std::string("en")), 0x409);
  EXPECT_THROW(chooseLanguage(std::string("fr")), std::invalid_argument);
  for (const auto& [lang, expected] : std::vector<std::pair<const char*, uint16_t>>{{"ja_JP.UTF-8", 0x411},
                                                                                    {"ja", 0x411},
                                                                                    {"en_US.UTF-8", 0x409},
                                                                                    {"C", 0x409},
                                                                                    {"", 0x409},
                                                                                    {nullptr, 0x409}}) {
    EXPECT_EQ(languageFromEnvironment(lang), expected) << (lang ? lang : "(unset)");
  }
  for (const auto& [cp932, utf8] : std::vector<std::pair<std::string_view, std::string_view>>{
           {"\x83\x6D\x81\x5B\x83\x68\x95\xD2\x8F\x57", "ノード編集"},
           {"Edit \x83\x41\x83\x96\x82\xA0\xB1", "Edit アヶあｱ"},
           {"\x90\xDD\x92\xE8 \x88\x9F\x87\x40\xFA\x40", "設定 亜①ⅰ"},  // kanji and the NEC and IBM rows
           {"a\x85\x40"
            "b",
            "a\uFFFDb"},              // a pair the code page leaves unassigned
           {"\x83\x20z", "\uFFFDz"},  // a lead byte eats its trail even when that is invalid
           {"\x80\xA0\xFD\xFFk", "\uFFFD\uFFFD\uFFFD\uFFFDk"},  // bytes that are no character
           {"x\x83", "x\uFFFD"},                                // a lead byte at the end
       }) {
    EXPECT_EQ(utf8FromCp932(cp932), utf8) << testing::PrintToString(std::string(cp932));
  }
}

}  // namespace
}  // namespace tarrow::host
