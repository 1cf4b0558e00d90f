// A recording stand-in for a toolkit, for the core's unit tests. Every call is logged in order;
// what the "toolkit" answers is set by the test beforehand.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quorvel::fake {

struct Node {
  std::string kind;  // "owner", "window", "EditBox", "Button", "PicBox", "WebView", "inner"
  platform::Handle parent = nullptr;
  ControlIdentity id{};
  Rect place{};
  platform::ControlStyle style{};
  bool visible = false;
  bool destroyed = false;
  std::string text;  // the box's content, the button's caption, the window's title
  Colour background{};
  platform::PixelBuffer picture{};
  std::string address;  // the web view's last navigation
};

// What platform::ExitProcess throws, so a test can watch the process end.
struct ProcessExit {
  int code;
};

struct FakePlatform {
  std::vector<std::string> calls;

  // Answers of the toolkit.
  ScreenSize screen{1920, 1080};
  std::string programPath = "C:\\Programs\\Quorvel\\quorvel.exe";
  char separator = '\\';
  bool oleFails = false;
  std::optional<Rect> frameAfterCreation;  // the frame the toolkit really gives, if not as asked
  std::set<std::string> failingKinds;      // "window", "EditBox", "Button", "PicBox", "WebView"
  std::optional<std::size_t> failAllocationAt;  // index of the first allocation that fails
  Colour buttonFace{212, 208, 200};
  std::vector<std::uint8_t> splash;  // what SplashPictureBytes gives
  bool pixelsFail = false;

  // What happens while the loop runs and while an error box is open.
  std::function<void()> whileLooping;
  std::function<void()> whileErrorBoxOpen;
  std::function<void(const std::string& kind)> onCreate;  // as each window or control is made

  // Observed state.
  std::vector<std::unique_ptr<Node>> nodes;
  std::vector<platform::Handle> stacking;  // children of the window, topmost first
  platform::Handle focused = nullptr;
  std::optional<int> postedQuit;
  std::vector<std::string> errorBoxes;  // title + "|" + text
  std::size_t allocations = 0;
  std::set<void*> liveBlocks;
  int badFrees = 0;
  int livePixelBuffers = 0;
  std::vector<std::string> navigations;
  std::vector<std::size_t> liveBlocksAtNavigation;

  Node& NodeOf(platform::Handle handle) const;
  platform::Handle Find(const std::string& kind, std::uint32_t control = 0) const;
  // A window inside `parent` (as the web engine makes them), for focus beyond a control.
  platform::Handle AddInner(platform::Handle parent);
};

FakePlatform& Fake();
void ResetFake();

}  // namespace quorvel::fake
