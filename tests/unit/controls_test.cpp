// The address box, the picture box and the web view as the commands use them.
#include "controls/edit_box.h"
#include "controls/html_viewer.h"
#include "controls/pic_box.h"
#include "fixture.h"
#include "shell/block_memory.h"

namespace quorvel::test {
namespace {

using ControlsTest = CoreTest;

TEST_F(ControlsTest, TheSingleLineStripIsOneLineHighAndCentredTruncating) {
  struct Case {
    int insideTop, insideHeight, lineHeight, top, bottom;
  } cases[] = {
      {0, 52, 13, 19, 32},  // 56 high with a two-pixel edge
      {2, 53, 13, 22, 35},  // odd remainder truncates
      {0, 52, 52, 0, 52},   // exactly one line
      {0, 10, 13, -1, 12},  // a line taller than the inside truncates toward zero
  };
  for (const Case& c : cases) {
    const controls::EditStrip strip =
        controls::SingleLineStrip(c.insideTop, c.insideHeight, c.lineHeight);
    EXPECT_EQ(strip.top, c.top) << c.insideHeight << "/" << c.lineHeight;
    EXPECT_EQ(strip.bottom, c.bottom) << c.insideHeight << "/" << c.lineHeight;
  }
}

TEST_F(ControlsTest, ReadingTheBoxGivesNoTextWhenEmptyAndAnExactCopyOtherwise) {
  OpenMainWindow();
  EXPECT_EQ(controls::ReadEditText({MainWindow, kEditBox1}), nullptr);
  EXPECT_EQ(fake().liveBlocks.size(), 0u);

  for (const std::string& content :
       {std::string("  a b  "), std::string("中文 & # ?"), std::string(100000, 'x')}) {
    fake().NodeOf(Native(kEditBox1)).text = content;
    char* text = controls::ReadEditText({MainWindow, kEditBox1});
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), content);
    shell::FreeBlock(text);
  }
  EXPECT_TRUE(fake().liveBlocks.empty());
  EXPECT_EQ(fake().badFrees, 0);
}

TEST_F(ControlsTest, TheWebViewIsSetUpInOrderAndRequestsNothingAtCreation) {
  shell::InitShell();
  shell::LoadWindow(MainWindow);
  const int created = CallIndex("CreateWebView");
  EXPECT_EQ(fake().calls.at(created + 1), "WebSetOffline 0");
  EXPECT_EQ(fake().calls.at(created + 2), "WebSetSilent 0");
  EXPECT_EQ(fake().calls.at(created + 3), "WebSetZoom 2");
  EXPECT_TRUE(fake().navigations.empty());
}

TEST_F(ControlsTest, SettingTheAddressNavigatesEveryTimeEvenToNothing) {
  OpenMainWindow();
  controls::SetHtmlAddress({MainWindow, kWebView1}, "http://a/");
  controls::SetHtmlAddress({MainWindow, kWebView1}, "http://a/");
  controls::SetHtmlAddress({MainWindow, kWebView1}, "");
  controls::SetHtmlAddress({MainWindow, kWebView1}, nullptr);
  EXPECT_EQ(fake().navigations, (std::vector<std::string>{"http://a/", "http://a/", "", ""}));
  EXPECT_EQ(shell::FindControl({MainWindow, kWebView1})->address, "");
}

TEST_F(ControlsTest, UnhandledWebViewEventsLetEverythingGoAhead) {
  OpenMainWindow();
  for (int event = 0; event <= static_cast<int>(controls::HtmlViewerEvent::CommandStateChange);
       ++event)
    EXPECT_TRUE(controls::OnHtmlViewerEvent({MainWindow, kWebView1},
                                            static_cast<controls::HtmlViewerEvent>(event)));
  EXPECT_TRUE(fake().errorBoxes.empty());
}

TEST_F(ControlsTest, ThePictureBoxShowsAndHidesWithoutMovingTheFocus) {
  OpenMainWindow();
  EXPECT_EQ(fake().NodeOf(Native(kPicBox1)).background, fake().buttonFace);
  fake().focused = Native(kEditBox1);
  for (int value : {0, 0, 5, 1, 0}) {
    controls::SetPicBoxVisible({MainWindow, kPicBox1}, value);
    EXPECT_EQ(fake().NodeOf(Native(kPicBox1)).visible, value != 0);
    EXPECT_EQ(fake().focused, Native(kEditBox1));
  }
  EXPECT_TRUE(CallsStartingWith("PlaceBelow").empty());
}

}  // namespace
}  // namespace quorvel::test
