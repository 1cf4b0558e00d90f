// The window's keyboard handling: which key does what from which control.
#include "shell/keyboard.h"
#include "fixture.h"

namespace quorvel::test {
namespace {

using KeyboardTest = CoreTest;
using shell::KeyAction;

constexpr std::uint32_t kDeepInPage = 1;  // focus inside the engine's own windows
constexpr std::uint32_t kNoControl = 0;   // focus on the window itself

KeyPress Press(Key key, bool shift = false, bool alt = false, bool ctrl = false) {
  KeyPress press;
  press.key = key;
  press.shift = shift;
  press.alt = alt;
  press.ctrl = ctrl;
  return press;
}

TEST_F(KeyboardTest, DecidesEachKeyFromWhereTheFocusIs) {
  struct Case {
    std::uint32_t focus;
    KeyPress key;
    KeyAction action;
    std::uint32_t target;
  } cases[] = {
      {kEditBox1, Press(Key::Tab), KeyAction::MoveFocus, kButton1},
      {kButton1, Press(Key::Tab), KeyAction::MoveFocus, kButton2},
      {kButton2, Press(Key::Tab), KeyAction::MoveFocus, kWebView1},
      {kWebView1, Press(Key::Tab), KeyAction::MoveFocus, kEditBox1},
      {kEditBox1, Press(Key::Tab, true), KeyAction::MoveFocus, kWebView1},
      {kWebView1, Press(Key::Tab, true), KeyAction::MoveFocus, kButton2},
      {kButton1, Press(Key::Tab, true), KeyAction::MoveFocus, kEditBox1},
      {kNoControl, Press(Key::Tab), KeyAction::MoveFocus, kWebView1},
      {kNoControl, Press(Key::Tab, true), KeyAction::MoveFocus, kButton2},
      {kDeepInPage, Press(Key::Tab), KeyAction::Swallow, 0},
      {kDeepInPage, Press(Key::Tab, true), KeyAction::Swallow, 0},
      {kEditBox1, Press(Key::Enter), KeyAction::PassOn, 0},
      {kButton1, Press(Key::Enter), KeyAction::PassOn, 0},
      {kDeepInPage, Press(Key::Enter), KeyAction::PassOn, 0},
      {kEditBox1, Press(Key::Escape), KeyAction::Close, 0},
      {kButton1, Press(Key::Escape), KeyAction::Close, 0},
      {kDeepInPage, Press(Key::Escape), KeyAction::Close, 0},
      {kEditBox1, Press(Key::F1), KeyAction::PassOn, 0},
      {kEditBox1, Press(Key::Letter, false, true), KeyAction::PassOn, 0},
      {kButton1, Press(Key::Space), KeyAction::PassOn, 0},
      {kEditBox1, Press(Key::Other), KeyAction::PassOn, 0},
      {kEditBox1, Press(Key::Tab, false, true), KeyAction::PassOn, 0},  // Alt+Tab is the system's
  };
  OpenMainWindow();
  shell::WindowInstance& window = *shell().windows.FindOpen(MainWindow);
  const platform::Handle page = fake().AddInner(fake().AddInner(Native(kWebView1)));
  for (const Case& c : cases) {
    fake().focused = c.focus == kDeepInPage  ? page
                     : c.focus == kNoControl ? Window()
                                             : Native(c.focus);
    const shell::KeyDecision decision =
        shell::DecideKey(window, c.key, shell::LocateFocus(window), nullptr);
    EXPECT_EQ(decision.action, c.action) << std::hex << c.focus << " key " << int(c.key.key);
    EXPECT_EQ(decision.target == nullptr ? 0 : decision.target->number(), c.target)
        << std::hex << c.focus << " key " << int(c.key.key);
  }
}

TEST_F(KeyboardTest, TheCycleIsWorkedOutAnewSoHiddenAndDisabledControlsDropOut) {
  OpenMainWindow();
  shell::WindowInstance& window = *shell().windows.FindOpen(MainWindow);
  std::vector<std::uint32_t> cycle;
  for (auto* control : shell::FocusCycle(window)) cycle.push_back(control->number());
  EXPECT_EQ(cycle, (std::vector<std::uint32_t>{kWebView1, kEditBox1, kButton1, kButton2}));

  window.Control(kButton1)->disabled = true;
  window.Control(kButton2)->visible = false;
  fake().focused = Native(kEditBox1);
  EXPECT_EQ(shell::DecideKey(window, Press(Key::Tab), shell::LocateFocus(window), nullptr).target,
            window.Control(kWebView1));
}

TEST_F(KeyboardTest, OfferedKeysAreCarriedOut) {
  OpenMainWindow();
  fake().focused = Native(kEditBox1);
  EXPECT_TRUE(shell::OfferKey(Native(kEditBox1), Press(Key::Tab)));
  EXPECT_EQ(fake().focused, Native(kButton1));

  // Tab deep inside the page is taken, and the focus stays in the page.
  const platform::Handle page = fake().AddInner(fake().AddInner(Native(kWebView1)));
  fake().focused = page;
  EXPECT_TRUE(shell::OfferKey(page, Press(Key::Tab)));
  EXPECT_EQ(fake().focused, page);
  EXPECT_FALSE(shell::OfferKey(page, Press(Key::Other)));

  // A key aimed at a disabled control skips the window's handling.
  shell::FindControl({MainWindow, kButton1})->disabled = true;
  EXPECT_FALSE(shell::OfferKey(Native(kButton1), Press(Key::Escape)));
  EXPECT_TRUE(shell().windows.AnyOpen());

  EXPECT_FALSE(shell::OfferKey(Native(kEditBox1), Press(Key::Enter)));
  EXPECT_TRUE(fake().navigations.empty());

  EXPECT_TRUE(shell::OfferKey(Native(kEditBox1), Press(Key::Escape)));
  EXPECT_FALSE(shell().windows.AnyOpen());
}

// A window of the tests' own with a default push button and Enter moving the focus.
int g_defaultClicks = 0;
shell::Answer CountClick() {
  ++g_defaultClicks;
  return shell::Answer::None;
}
constexpr shell::EventBinding kClickBindings[] = {{0, CountClick}};

shell::ControlEntry TestButton(std::uint32_t number, int type) {
  shell::ControlEntry entry;
  entry.number = number;
  entry.kind = shell::Kind::Button;
  entry.place = {0, 0, 10, 10};
  entry.takesFocus = true;
  entry.bindings = kClickBindings;
  controls::ButtonSettings settings;
  settings.type = type;
  entry.settings = settings;
  return entry;
}

const shell::ControlEntry kDialogControls[] = {
    TestButton(0x16000002, 0), TestButton(0x16000003, controls::kDefaultPushButton)};

shell::StoredWindow Dialog(bool enterMovesFocus) {
  shell::WindowSettings settings;
  settings.enterMovesFocus = enterMovesFocus;
  return {0x52000001, settings, {}, kDialogControls};
}

TEST_F(KeyboardTest, EnterClicksADefaultPushButtonOrMovesTheFocusWhenSetTo) {
  for (bool movesFocus : {false, true}) {
    Reset();
    static shell::StoredWindow dialog;
    dialog = Dialog(movesFocus);
    shell::InitShell();
    shell().windows.Register(dialog);
    shell::LoadWindow(dialog.number);
    shell::WindowInstance& window = *shell().windows.FindOpen(dialog.number);
    shell::ControlInstance* plain = window.Control(0x16000002);
    shell::ControlInstance* deflt = window.Control(0x16000003);

    fake().focused = plain->native;
    const shell::KeyDecision fromPlain =
        shell::DecideKey(window, Press(Key::Enter), shell::LocateFocus(window), nullptr);
    if (movesFocus)
      EXPECT_EQ(fromPlain, (shell::KeyDecision{KeyAction::MoveFocus, deflt}));
    else
      EXPECT_EQ(fromPlain, (shell::KeyDecision{KeyAction::Click, deflt}));

    fake().focused = deflt->native;
    g_defaultClicks = 0;
    EXPECT_TRUE(shell::OfferKey(deflt->native, Press(Key::Enter)));
    EXPECT_EQ(g_defaultClicks, 1);
  }
}

}  // namespace
}  // namespace quorvel::test
