// From a raised event to its command: suspension, lookups, the note, results.
#include "shell/event_delivery.h"
#include "controls/control_kinds.h"
#include "fixture.h"

namespace quorvel::test {
namespace {

using EventDeliveryTest = CoreTest;

TEST_F(EventDeliveryTest, AClickRunsItsCommandOnceUnlessEventsAreSuspended) {
  OpenMainWindow();
  controls::OnButtonClicked({MainWindow, kButton2});
  EXPECT_EQ(fake().navigations, (std::vector<std::string>{"about:blank"}));

  ++shell().EventSuspendCount;
  const shell::Delivery suspended = shell::DeliverEvent(MainWindow, kButton2, 0);
  EXPECT_FALSE(suspended.ran);
  EXPECT_EQ(fake().navigations.size(), 1u);
  --shell().EventSuspendCount;

  // No binding: nothing runs, and the raiser hears so.
  EXPECT_FALSE(shell::DeliverEvent(MainWindow, kEditBox1, 0).ran);
  EXPECT_FALSE(shell::DeliverEvent(MainWindow, 0, shell::kEventCloseAsked).ran);
  EXPECT_TRUE(shell::DeliverEvent(MainWindow, kButton2, 0).ran);
}

TEST_F(EventDeliveryTest, EachFailedLookupIsFatalWithItsOwnMessage) {
  struct Case {
    std::uint32_t window, control;
    const char* message;
  } cases[] = {
      {0x52019999, 0, "未找到引发事件的窗口"},
      {MainWindow, 0x16019999, "未找到引发事件的窗口组件"},
  };
  for (const Case& c : cases) {
    Reset();
    OpenMainWindow();
    EXPECT_EQ(ExitCodeOf([&] { shell::DeliverEvent(c.window, c.control, 0); }), -1);
    EXPECT_EQ(fake().errorBoxes,
              (std::vector<std::string>{std::string("错误|运行时出错!\r\n\r\n错误信息：") +
                                        c.message + "\r\n"}));
  }

  // A kind that raises no events.
  Reset();
  OpenMainWindow();
  static const controls::KindOps silentButtons[] = {
      {shell::Kind::Button, true, false, nullptr, nullptr, nullptr}};
  shell().kinds = silentButtons;
  EXPECT_EQ(ExitCodeOf([] { shell::DeliverEvent(MainWindow, kButton1, 0); }), -1);
  EXPECT_EQ(fake().errorBoxes.at(0),
            "错误|运行时出错!\r\n\r\n错误信息：引发事件的窗口组件无效\r\n");
}

shell::EventNote g_noteSeen;
shell::Answer NoteAndRefuse() {
  g_noteSeen = shell::Shell().handling;
  return shell::Answer::False;
}
constexpr shell::EventBinding kRefusing[] = {{7, NoteAndRefuse}};
const shell::StoredWindow kNoted{0x52010077, shell::WindowSettings{}, kRefusing, {}};

TEST_F(EventDeliveryTest, TheCommandSeesTheNoteAndItsAnswerReachesTheRaiser) {
  shell::InitShell();
  shell().windows.Register(kNoted);
  shell::LoadWindow(kNoted.number);
  const shell::Delivery delivery = shell::DeliverEvent(kNoted.number, kNoted.number, 7);
  EXPECT_TRUE(delivery.ran);
  EXPECT_EQ(delivery.answer, shell::Answer::False);
  EXPECT_TRUE(delivery.refused());
  EXPECT_EQ(g_noteSeen.window, kNoted.number);
  EXPECT_EQ(shell().handling.window, 0u);  // cleared afterwards
}

}  // namespace
}  // namespace quorvel::test
