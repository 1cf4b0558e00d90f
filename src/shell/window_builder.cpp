#include "shell/window_builder.h"

#include "controls/control_kinds.h"
#include "shell/event_delivery.h"
#include "shell/fatal_error.h"
#include "shell/shell.h"

namespace quorvel::shell {
namespace {

platform::WindowStyle StyleOf(const WindowSettings& settings) {
  platform::WindowStyle style;
  style.controlBox = settings.controlBox;
  style.minimiseBox = settings.minimiseBox;
  style.maximiseBox = settings.maximiseBox;
  style.sizable =
      settings.borderStyle == 1 || settings.borderStyle == 3 || settings.borderStyle == 5;
  style.title = settings.title;
  // No colour of its own means the button-face colour, as the picture box does.
  style.background = settings.background ? *settings.background : platform::ButtonFaceColour();
  return style;
}

platform::Handle ParentNative(WindowInstance& window, const ControlEntry& entry) {
  if (entry.parent == 0) return window.native;
  ControlInstance* parent = window.Control(entry.parent);
  return parent == nullptr ? nullptr : parent->native;
}

// Steps 3 to 9 of the build; false leaves whatever was made for the caller to abandon.
bool Build(WindowInstance& window, ShellState& shell) {
  const WindowSettings& settings = window.stored->settings;
  const Rect frame = StartFrame(settings, platform::PrimaryScreenSize());
  window.native = platform::CreateTopWindow(StyleOf(settings), frame);
  if (window.native == nullptr) return false;
  const Rect actual = platform::WindowFrame(window.native);
  if (actual.width != settings.width || actual.height != settings.height)
    platform::SetWindowFrame(window.native, frame);
  if (settings.icon == nullptr) platform::SetWindowIcons(window.native, DefaultIcons());

  // Bottom of the stack first.
  int creationIndex = 0;
  for (auto control = window.controls.rbegin(); control != window.controls.rend(); ++control) {
    const ControlEntry& entry = *control->stored;
    const controls::KindOps* kind = controls::FindKind(shell.kinds, entry.kind);
    const platform::Handle parent = ParentNative(window, entry);
    if (kind == nullptr || kind->create == nullptr || parent == nullptr) return false;
    platform::ControlStyle style;
    style.disabled = entry.disabled;
    style.tabStop = entry.takesFocus;
    style.childId = ChildIdentifier(creationIndex++);
    control->native = kind->create(parent, *control, {window.number(), entry.number}, style);
    if (control->native == nullptr) return false;
  }

  for (ControlInstance& control : window.controls)
    platform::AttachToParent(control.native, ParentNative(window, *control.stored));

  // Topmost first; each goes directly below the nearest earlier entry with the same parent.
  for (std::size_t i = 0; i < window.controls.size(); ++i) {
    platform::Handle above = nullptr;
    for (std::size_t j = i; j-- > 0;) {
      if (window.controls[j].stored->parent == window.controls[i].stored->parent) {
        above = window.controls[j].native;
        break;
      }
    }
    platform::PlaceBelow(window.controls[i].native, above);
  }

  // Every entry uses the default mouse pointer, which the toolkit shows by itself.
  for (ControlInstance& control : window.controls)
    platform::SetControlVisible(control.native, control.visible);
  return true;
}

void Abandon(WindowInstance& window, ShellState& shell) {
  if (window.native != nullptr) {
    const platform::Handle native = window.native;
    platform::DestroyWindow(native);
    // The toolkit reports the destruction; drop the copy in case it did not.
    if (WindowInstance* still = shell.windows.FindOpen(native)) shell.windows.Close(still);
  } else {
    shell.windows.Close(&window);
  }
}

}  // namespace

Rect StartFrame(const WindowSettings& settings, ScreenSize screen) {
  if (settings.startPosition != kStartCentred)
    return {settings.left, settings.top, settings.width, settings.height};
  return {(screen.width - settings.width) / 2, (screen.height - settings.height) / 2,
          settings.width, settings.height};
}

void LoadWindow(std::uint32_t windowNumber) {
  ShellState& shell = Shell();
  const StoredWindow* stored = shell.windows.Stored(windowNumber);
  if (stored == nullptr) ReportFatalError("载入启动窗口失败", 0);
  if (WindowInstance* open = shell.windows.FindOpen(windowNumber)) {
    platform::ShowWindowNormal(open->native);  // restores a minimised window and activates it
    return;
  }

  platform::ProcessPendingMessages();
  ++shell.EventSuspendCount;
  WindowInstance& window = shell.windows.Open(*stored);
  if (!Build(window, shell)) {
    Abandon(window, shell);
    --shell.EventSuspendCount;
    ReportFatalError("载入启动窗口失败", 0);
  }
  platform::ProcessPendingMessages();
  --shell.EventSuspendCount;

  for (int event : {kEventBuilt, kEventMoved, kEventResized}) {
    if (shell.windows.FindOpen(windowNumber) == nullptr) break;
    DeliverEvent(windowNumber, 0, event);
  }
  if (WindowInstance* open = shell.windows.FindOpen(windowNumber))
    platform::ShowWindowNormal(open->native);
}

}  // namespace quorvel::shell
