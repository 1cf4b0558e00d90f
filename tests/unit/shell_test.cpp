// The life of the process: start-up and shutdown order, fatal errors, block memory.
#include "commands/playback_commands.h"
#include "fixture.h"
#include "shell/block_memory.h"
#include "shell/fatal_error.h"

namespace quorvel::test {
namespace {

using ShellTest = CoreTest;

std::vector<std::string> g_routineCalls;
void RoutineA() {
  g_routineCalls.push_back("A");
}
void RoutineB() {
  g_routineCalls.push_back("B");
}

TEST_F(ShellTest, RunsFromStartToOrderlyEndInOrder) {
  fake().whileLooping = [this] { shell::RequestClose(Window()); };
  EXPECT_EQ(shell::RunProgram(), 0);

  const std::vector<std::string> expected = {"InitOle",
                                             "SetCurrentFolder C:\\Programs\\Quorvel",
                                             "CreateOwnerWindow",
                                             "SetFpuDefault",
                                             "ProcessPendingMessages",
                                             "CreateTopWindow",
                                             "ShowWindowNormal",
                                             "RunMessageLoop",
                                             "DestroyWindow window",
                                             "PostQuit 0",
                                             "DestroyIcons",
                                             "DestroyOwnerWindow",
                                             "UninitOle"};
  int last = -1;
  for (const std::string& step : expected) {
    int at = -1;
    for (int i = last + 1; i < static_cast<int>(fake().calls.size()); ++i)
      if (fake().calls[i].rfind(step, 0) == 0) {
        at = i;
        break;
      }
    ASSERT_GT(at, last) << step << " missing or out of order";
    last = at;
  }
  EXPECT_TRUE(shell().shutdownDone);
  EXPECT_FALSE(shell().oleInitialised);
  EXPECT_EQ(shell().programFileName, "quorvel.exe");
  EXPECT_EQ(fake().livePixelBuffers, 0);
}

TEST_F(ShellTest, SplitsTheProgramPathAtTheLastSeparator) {
  struct Case {
    const char* path;
    char separator;
    const char* folder;
    const char* file;
  } cases[] = {
      {"C:\\Programs\\Quorvel\\quorvel.exe", '\\', "C:\\Programs\\Quorvel", "quorvel.exe"},
      {"C:\\quorvel.exe", '\\', "C:\\", "quorvel.exe"},
      {"\\\\server\\share\\q.exe", '\\', "\\\\server\\share", "q.exe"},
      {"/opt/quorvel/bin/quorvel", '/', "/opt/quorvel/bin", "quorvel"},
      {"/quorvel", '/', "/", "quorvel"},
      {"quorvel", '/', "", "quorvel"},
  };
  for (const Case& c : cases) {
    const shell::SplitPath split = shell::SplitProgramPath(c.path, c.separator);
    EXPECT_EQ(split.folder, c.folder) << c.path;
    EXPECT_EQ(split.fileName, c.file) << c.path;
  }
}

TEST_F(ShellTest, ShutdownRoutinesRunOnceEachInOrderAtAnOrderlyEndOnly) {
  g_routineCalls.clear();
  shell::AddShutdownRoutine(RoutineA);
  shell::AddShutdownRoutine(RoutineB);
  shell::AddShutdownRoutine(RoutineA);
  EXPECT_EQ(shell().shutdownRoutines.size(), 2u);
  EXPECT_EQ(ExitCodeOf([] { shell::EndProgram(3); }), 3);
  EXPECT_EQ(g_routineCalls, (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(shell().shutdownRoutines.empty());

  Reset();
  g_routineCalls.clear();
  shell::AddShutdownRoutine(RoutineA);
  EXPECT_EQ(ExitCodeOf([] { shell::ReportFatalError("x", 0); }), -1);
  EXPECT_TRUE(g_routineCalls.empty());
}

TEST_F(ShellTest, FatalErrorTextIsExactToTheByte) {
  struct Case {
    const char* message;
    int code;
    const char* text;
  } cases[] = {
      {"载入启动窗口失败", 0, "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"},
      {"", 0, "运行时出错!\r\n\r\n"},
      {nullptr, 0, "运行时出错!\r\n\r\n"},
      {"", 7, "运行时出错!\r\n\r\n错误代码：7\r\n\r\n"},
      {"m", -2, "运行时出错!\r\n\r\n错误代码：-2\r\n\r\n错误信息：m\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(shell::FatalErrorText(c.message, c.code), c.text);
}

TEST_F(ShellTest, FatalErrorShowsOneBoxRunsNoCommandAndEndsWithMinusOne) {
  OpenMainWindow();
  fake().whileErrorBoxOpen = [] { controls::OnButtonClicked({MainWindow, kButton1}); };
  EXPECT_EQ(ExitCodeOf([] { shell::ReportFatalError("坏了", 0); }), -1);
  ASSERT_EQ(fake().errorBoxes.size(), 1u);
  EXPECT_EQ(fake().errorBoxes[0], "错误|运行时出错!\r\n\r\n错误信息：坏了\r\n");
  EXPECT_TRUE(fake().navigations.empty());
  EXPECT_GT(shell().EventSuspendCount, 0);
  EXPECT_FALSE(shell().windows.AnyOpen());
}

TEST_F(ShellTest, AFailedAllocationIsFatalAndNamesTheSize) {
  fake().failAllocationAt = 0;
  EXPECT_EQ(ExitCodeOf([] { shell::AllocBlock(1234); }), -1);
  ASSERT_EQ(fake().errorBoxes.size(), 1u);
  EXPECT_EQ(fake().errorBoxes[0], "错误|运行时出错!\r\n\r\n错误信息：分配 1234 字节内存失败!\r\n");

  // A size past INT_MAX still reads as itself.
  Reset();
  fake().failAllocationAt = 0;
  ExitCodeOf([] { shell::AllocBlock(std::size_t{3000000000u}); });
  EXPECT_NE(fake().errorBoxes.at(0).find("分配 3000000000 字节"), std::string::npos);
}

TEST_F(ShellTest, FreeBlockIgnoresNoneAndConstantTexts) {
  shell::InitShell();
  void* block = shell::AllocBlock(16);
  shell::FreeBlock(nullptr);
  shell::FreeBlock(commands::kAboutBlank);
  shell::FreeBlock(commands::ParseServicePrefix);
  EXPECT_EQ(fake().badFrees, 0);
  EXPECT_EQ(fake().liveBlocks.size(), 1u);
  shell::FreeBlock(block);
  EXPECT_TRUE(fake().liveBlocks.empty());
  EXPECT_EQ(fake().badFrees, 0);
}

TEST_F(ShellTest, OleIsUninitialisedOnlyWhenItWasInitialised) {
  fake().oleFails = true;
  EXPECT_EQ(ExitCodeOf([] { shell::EndProgram(0); }), 0);
  shell::InitShell();
  EXPECT_FALSE(shell().oleInitialised);
  EXPECT_EQ(ExitCodeOf([] { shell::EndProgram(0); }), 0);
  EXPECT_EQ(CallIndex("UninitOle"), -1);
}

TEST_F(ShellTest, TheLoopReturnsAtOnceWithNoWindowOpen) {
  shell::InitShell();
  shell::RunEventLoop();
  EXPECT_TRUE(shell().loopStarted);
  EXPECT_EQ(CallIndex("RunMessageLoop"), -1);
}

TEST_F(ShellTest, LoadingAnUnknownWindowIsFatal) {
  shell::InitShell();
  EXPECT_EQ(ExitCodeOf([] { shell::LoadWindow(0x12345678); }), -1);
  EXPECT_EQ(fake().errorBoxes.at(0), "错误|运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
}

}  // namespace
}  // namespace quorvel::test
