// The launch and return commands, and joining texts.
#include <cstring>

#include "commands/playback_commands.h"
#include "commands/text_join.h"
#include "fixture.h"
#include "shell/block_memory.h"

namespace quorvel::test {
namespace {

using CommandsTest = CoreTest;

bool SplashVisible() {
  return shell::FindControl({MainWindow, kPicBox1})->visible;
}

TEST_F(CommandsTest, LaunchAppendsTheTypedTextUnchangedAndUncoversTheView) {
  const std::string prefix = commands::ParseServicePrefix;
  ASSERT_EQ(prefix.rfind("http://", 0), 0u);
  ASSERT_EQ(prefix.substr(prefix.size() - 6), "/?url=");
  const std::string cases[] = {"",        "  https://v.example/a b  ", "a&b#c?d=e", "中文视频",
                               "%2F\r\n", std::string(10000, 'x')};
  for (const std::string& typed : cases) {
    Reset();
    OpenMainWindow();
    fake().NodeOf(Native(kEditBox1)).text = typed;
    controls::OnButtonClicked({MainWindow, kButton1});
    EXPECT_EQ(fake().navigations, (std::vector<std::string>{prefix + typed}));
    EXPECT_FALSE(SplashVisible());
    // The typed text is released before navigating, the joined one after.
    EXPECT_EQ(fake().liveBlocksAtNavigation, (std::vector<std::size_t>{1}));
    EXPECT_TRUE(fake().liveBlocks.empty());
    EXPECT_EQ(fake().badFrees, 0);
    // Navigate first, then hide.
    EXPECT_LT(CallIndex("WebNavigate"), CallIndex("Hide"));
  }
}

TEST_F(CommandsTest, EachClickNavigatesAgainAndReturnBringsTheSplashBack) {
  OpenMainWindow();
  const std::string launched = std::string(commands::ParseServicePrefix) + "v";
  fake().NodeOf(Native(kEditBox1)).text = "v";

  controls::OnButtonClicked({MainWindow, kButton2});  // return at start: splash stays
  EXPECT_TRUE(SplashVisible());
  controls::OnButtonClicked({MainWindow, kButton1});
  controls::OnButtonClicked({MainWindow, kButton1});
  EXPECT_FALSE(SplashVisible());
  controls::OnButtonClicked({MainWindow, kButton2});
  EXPECT_TRUE(SplashVisible());
  controls::OnButtonClicked({MainWindow, kButton1});
  EXPECT_FALSE(SplashVisible());
  EXPECT_EQ(fake().navigations,
            (std::vector<std::string>{"about:blank", launched, launched, "about:blank", launched}));
  EXPECT_TRUE(fake().liveBlocks.empty());
}

TEST_F(CommandsTest, NoMemoryForTheAddressIsFatalNamesTheSizeAndNothingMoreRuns) {
  struct Case {
    std::size_t failing;  // allocations that succeed before the one that fails
    std::size_t asked;
  } cases[] = {
      {0, 3 + 1},                                              // reading the box
      {1, std::strlen(commands::ParseServicePrefix) + 3 + 1},  // joining the address
  };
  for (const Case& c : cases) {
    Reset();
    OpenMainWindow();
    fake().NodeOf(Native(kEditBox1)).text = "abc";
    fake().failAllocationAt = fake().allocations + c.failing;
    EXPECT_EQ(ExitCodeOf([] { controls::OnButtonClicked({MainWindow, kButton1}); }), -1);
    EXPECT_EQ(fake().errorBoxes.at(0), "错误|运行时出错!\r\n\r\n错误信息：分配 " +
                                           std::to_string(c.asked) + " 字节内存失败!\r\n");
    EXPECT_TRUE(fake().navigations.empty());
    controls::OnButtonClicked({MainWindow, kButton2});
    EXPECT_TRUE(fake().navigations.empty());
  }
}

TEST_F(CommandsTest, TextJoinConcatenatesInOrderTreatingNoneAsEmpty) {
  struct Case {
    std::initializer_list<const char*> texts;
    const char* joined;
  } cases[] = {
      {{"a"}, "a"}, {{"ab", "cd", "e"}, "abcde"}, {{nullptr, "x", nullptr}, "x"}, {{"", ""}, ""}};
  for (const Case& c : cases) {
    char* joined = commands::TextJoin(c.texts);
    EXPECT_STREQ(joined, c.joined);
    shell::FreeBlock(joined);
  }
  EXPECT_TRUE(fake().liveBlocks.empty());
}

}  // namespace
}  // namespace quorvel::test
