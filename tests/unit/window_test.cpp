// Building MainWindow, its focus on activation, and closing it.
#include "fixture.h"
#include "shell/focus.h"

namespace quorvel::test {
namespace {

using WindowTest = CoreTest;

TEST_F(WindowTest, BuildsBottomFirstThenStacksShowsAndActivates) {
  shell::InitShell();
  shell::LoadWindow(MainWindow);
  EXPECT_EQ(CallsStartingWith("Create"),
            (std::vector<std::string>{
                "CreateOwnerWindow",
                "CreateTopWindow 206,176 1507x728 \"Quorvel解析播放\" min",
                "CreateWebView id=100 0,0 1504x640 tabstop",
                "CreatePicBox id=110 0,0 1504x632",
                "CreateEditBox id=120 0,640 552x56 tabstop",
                "CreateButton id=130 576,648 192x48 tabstop",
                "CreateButton id=140 888,640 176x56 tabstop",
            }));
  const auto b2 = Native(kButton2), b1 = Native(kButton1), edit = Native(kEditBox1),
             pic = Native(kPicBox1), web = Native(kWebView1);
  EXPECT_EQ(fake().stacking, (std::vector<platform::Handle>{b2, b1, edit, pic, web}));
  for (auto control : {b2, b1, edit, pic, web}) EXPECT_TRUE(fake().NodeOf(control).visible);
  EXPECT_EQ(fake().NodeOf(b1).text, "TV弹发射");
  EXPECT_EQ(fake().NodeOf(b2).text, "返回机场");
  EXPECT_EQ(fake().NodeOf(edit).background, (Colour{255, 168, 255}));
  EXPECT_EQ(fake().NodeOf(Window()).background, (Colour{0, 128, 128}));

  // Icons before controls; every control shown before the window; the window last.
  EXPECT_LT(CallIndex("SetWindowIcons"), CallIndex("CreateWebView"));
  const int shown = CallIndex("ShowWindowNormal");
  for (int i = shown; i < static_cast<int>(fake().calls.size()); ++i)
    EXPECT_NE(fake().calls[i].rfind("Show ", 0), 0u) << fake().calls[i];
  EXPECT_EQ(CallsStartingWith("Show ").size(), 5u);
  EXPECT_EQ(fake().calls.back(), "SetFocus WebView:" + std::to_string(kWebView1));
  EXPECT_EQ(fake().focused, web);  // the web view holds the focus at start
  EXPECT_EQ(shell().EventSuspendCount, 0);
}

TEST_F(WindowTest, CentresOnThePrimaryScreenTruncatingTowardZero) {
  struct Case {
    ScreenSize screen;
    int left, top;
  } cases[] = {{{1920, 1080}, 206, 176},
               {{1366, 768}, -70, 20},
               {{1507, 728}, 0, 0},
               {{1000, 700}, -253, -14}};
  for (const Case& c : cases) {
    Reset();
    fake().screen = c.screen;
    shell::InitShell();
    shell::LoadWindow(MainWindow);
    EXPECT_EQ(fake().NodeOf(Window()).place, (Rect{c.left, c.top, 1507, 728}))
        << c.screen.width << "x" << c.screen.height;
  }
}

TEST_F(WindowTest, ForcesTheOuterFrameOnlyWhenTheToolkitGaveAnother) {
  shell::InitShell();
  fake().frameAfterCreation = Rect{206, 176, 1491, 689};
  shell::LoadWindow(MainWindow);
  EXPECT_EQ(CallsStartingWith("SetWindowFrame"),
            (std::vector<std::string>{"SetWindowFrame 206,176 1507x728"}));

  Reset();
  shell::InitShell();
  shell::LoadWindow(MainWindow);
  EXPECT_TRUE(CallsStartingWith("SetWindowFrame").empty());
}

TEST_F(WindowTest, AnyFailedCreationAbandonsTheWindowUnshown) {
  for (const char* kind : {"window", "WebView", "PicBox", "EditBox", "Button"}) {
    Reset();
    fake().splash = {};
    fake().failingKinds = {kind};
    shell::InitShell();
    EXPECT_EQ(ExitCodeOf([] { shell::LoadWindow(MainWindow); }), -1) << kind;
    EXPECT_EQ(fake().errorBoxes,
              (std::vector<std::string>{"错误|运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"}))
        << kind;
    EXPECT_EQ(CallIndex("ShowWindowNormal"), -1) << kind;
    EXPECT_FALSE(shell().windows.AnyOpen()) << kind;
    EXPECT_EQ(fake().livePixelBuffers, 0) << kind;
  }
}

TEST_F(WindowTest, NoEventReachesACommandWhileTheWindowIsBuilt) {
  fake().onCreate = [](const std::string&) {
    controls::OnButtonClicked({MainWindow, kButton1});
    controls::OnButtonClicked({0xdead, 1});  // would be fatal if it were looked up
  };
  shell::InitShell();
  shell::LoadWindow(MainWindow);
  EXPECT_TRUE(fake().navigations.empty());
  EXPECT_TRUE(fake().errorBoxes.empty());
}

TEST_F(WindowTest, ActivationGivesTheFocusBackToWhoHadIt) {
  OpenMainWindow();
  fake().focused = Native(kEditBox1);
  shell::OnWindowDeactivated(Window());
  fake().focused = nullptr;
  shell::OnWindowActivated(Window());
  EXPECT_EQ(fake().focused, Native(kEditBox1));

  // Focus deep inside the page comes back to the web view.
  fake().focused = fake().AddInner(fake().AddInner(Native(kWebView1)));
  shell::OnWindowDeactivated(Window());
  shell::OnWindowActivated(Window());
  EXPECT_EQ(fake().focused, Native(kWebView1));

  // A control that can no longer take it is passed over for the first candidate.
  fake().focused = Native(kButton2);
  shell::OnWindowDeactivated(Window());
  shell::FindControl({MainWindow, kButton2})->visible = false;
  shell::OnWindowActivated(Window());
  EXPECT_EQ(fake().focused, Native(kWebView1));
}

TEST_F(WindowTest, ClosingDestroysThenPostsQuitOnceTheLoopHasStarted) {
  OpenMainWindow();
  shell::RequestClose(Window());
  EXPECT_FALSE(shell().windows.AnyOpen());
  EXPECT_FALSE(fake().postedQuit.has_value());  // the loop had not started

  Reset();
  fake().whileLooping = [this] {
    const platform::Handle window = Window();
    shell::RequestClose(window);
  };
  shell::InitShell();
  shell::LoadWindow(MainWindow);
  shell::RunEventLoop();
  EXPECT_EQ(fake().postedQuit, 0);
  EXPECT_FALSE(shell().windows.AnyOpen());
}

TEST_F(WindowTest, AClosedWindowDropsItsWorkingCopy) {
  OpenMainWindow();
  controls::SetPicBoxVisible({MainWindow, kPicBox1}, 0);
  EXPECT_FALSE(fake().NodeOf(Native(kPicBox1)).visible);
  shell::RequestClose(Window());
  shell::LoadWindow(MainWindow);
  EXPECT_TRUE(shell::FindControl({MainWindow, kPicBox1})->visible);
  EXPECT_TRUE(fake().NodeOf(Native(kPicBox1)).visible);
}

// A window of the tests' own, whose close question is answered by a command.
shell::Answer g_closeAnswer = shell::Answer::None;
int g_closeQuestions = 0;
shell::Answer AnswerClose() {
  ++g_closeQuestions;
  return g_closeAnswer;
}
constexpr shell::EventBinding kCloseBindings[] = {{shell::kEventFirstCloseQuestion, AnswerClose},
                                                  {shell::kEventCloseAsked, AnswerClose}};
const shell::StoredWindow kGuarded{0x52010099, shell::WindowSettings{}, kCloseBindings, {}};

TEST_F(WindowTest, ACommandAnsweringFalseKeepsTheWindowOpen) {
  struct Case {
    shell::Answer answer;
    bool staysOpen;
    int questions;
  } cases[] = {{shell::Answer::False, true, 1},
               {shell::Answer::True, false, 2},
               {shell::Answer::None, false, 2}};
  for (const Case& c : cases) {
    Reset();
    g_closeAnswer = c.answer;
    g_closeQuestions = 0;
    shell::InitShell();
    shell().windows.Register(kGuarded);
    shell::LoadWindow(kGuarded.number);
    shell::RequestClose(shell().windows.FindOpen(kGuarded.number)->native);
    EXPECT_EQ(shell().windows.AnyOpen(), c.staysOpen);
    EXPECT_EQ(g_closeQuestions, c.questions);
  }
  // Log-off never meets an objection.
  g_closeAnswer = shell::Answer::False;
  Reset();
  shell::InitShell();
  shell().windows.Register(kGuarded);
  shell::LoadWindow(kGuarded.number);
  EXPECT_TRUE(shell::QueryEndSession(shell().windows.FindOpen(kGuarded.number)->native));
}

}  // namespace
}  // namespace quorvel::test
