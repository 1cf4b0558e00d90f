#include "shell/main_window_description.h"

#include "commands/playback_commands.h"

namespace quorvel::shell {
namespace {

template <void (*command)()>
Answer Run() {
  command();
  return Answer::None;
}

constexpr EventBinding kButton1Bindings[] = {{0, Run<commands::LaunchCommand>}};
constexpr EventBinding kButton2Bindings[] = {{0, Run<commands::ReturnCommand>}};

constexpr controls::EditBoxSettings kEditBox1Settings = [] {
  controls::EditBoxSettings settings;
  settings.background = Colour{255, 168, 255};
  return settings;
}();

constexpr controls::ButtonSettings Caption(const char* caption) {
  controls::ButtonSettings settings;
  settings.caption = caption;
  return settings;
}

constexpr controls::PicBoxSettings kPicBox1Settings = [] {
  controls::PicBoxSettings settings;
  settings.picture = controls::PictureSource::SplashPicture;
  return settings;
}();

constexpr ControlEntry Control(std::uint32_t number, Kind kind, const char* name, Rect place,
                               bool takesFocus, std::span<const EventBinding> bindings,
                               KindSettings settings) {
  ControlEntry entry;
  entry.number = number;
  entry.kind = kind;
  entry.name = name;
  entry.place = place;
  entry.takesFocus = takesFocus;
  entry.bindings = bindings;
  entry.settings = settings;
  return entry;
}

// Stacking order, topmost first.
const ControlEntry kMainWindowControls[] = {
    Control(kButton2, Kind::Button, "按钮2", {888, 640, 176, 56}, true, kButton2Bindings,
            Caption("返回机场")),
    Control(kButton1, Kind::Button, "按钮1", {576, 648, 192, 48}, true, kButton1Bindings,
            Caption("TV弹发射")),
    Control(kEditBox1, Kind::EditBox, "编辑框1", {0, 640, 552, 56}, true, {}, kEditBox1Settings),
    Control(kPicBox1, Kind::PicBox, "图片框1", {0, 0, 1504, 632}, false, {}, kPicBox1Settings),
    Control(kWebView1, Kind::HtmlViewer, "超文本浏览框1", {0, 0, 1504, 640}, true, {},
            controls::HtmlViewerSettings{}),
};

constexpr WindowSettings kMainWindowSettings = [] {
  WindowSettings settings;
  settings.left = 50;
  settings.top = 50;
  settings.width = 1507;
  settings.height = 728;
  settings.title = "Quorvel解析播放";
  settings.background = Colour{0, 128, 128};
  return settings;
}();

const StoredWindow kMainWindow{MainWindow, kMainWindowSettings, {}, kMainWindowControls};
const StoredWindow* const kStoredWindows[] = {&kMainWindow};

}  // namespace

const StoredWindow& MainWindowDescription() {
  return kMainWindow;
}

std::span<const StoredWindow* const> StoredWindows() {
  return kStoredWindows;
}

}  // namespace quorvel::shell
