// What a platform layer tells the shell. Each of these runs on the main thread, from the
// toolkit's message handling; none of them throws.
#pragma once

#include "platform/platform.h"
#include "shell/block_memory.h"  // blocks a layer fills for the shell (EditBoxText)
#include "shell/types.h"

namespace quorvel::shell {

// The application's start hook: runs the whole life of the program and returns the exit code.
int RunProgram();

// Every key message, before the toolkit dispatches it. `target` is the window the message is
// aimed at. True when the window's keyboard handling consumed it.
bool OfferKey(platform::Handle target, KeyPress key);

void OnWindowActivated(platform::Handle window);    // gives the focus back (see focus.h)
void OnWindowDeactivated(platform::Handle window);  // remembers who had it

// The close box, Alt+F4 and the system menu's close: asks, then destroys the window.
void RequestClose(platform::Handle window);
// Log-off or system shutdown; default processing has agreed already. True: no objection.
bool QueryEndSession(platform::Handle window);
void OnWindowDestroying(platform::Handle window);  // the window's native destruction began
void OnWindowDestroyed(platform::Handle window);   // its last stage: nothing addresses it after
// A control's native window is gone (its kind's destruction has finished).
void OnControlDestroyed(ControlIdentity control);

}  // namespace quorvel::shell

namespace quorvel::controls {

// A button was clicked: mouse released over the button it was pressed on, or Space.
void OnButtonClicked(ControlIdentity button);

enum class HtmlViewerEvent {
  WillNavigate,       // 即将跳转: the navigation goes ahead unless a handler refuses it
  WillOpenNewWindow,  // 即将打开新窗口: the new window is allowed unless a handler refuses it
  NavigationComplete,  // 跳转完毕
  DownloadBegin,       // 载入开始
  ProgressChange,      // 载入进度改变
  DownloadComplete,    // 载入完毕
  DocumentComplete,    // 已就绪
  StatusTextChange,    // 状态文本被改变
  TitleChange,         // 标题被改变
  CommandStateChange,  // 命令状态被改变
};

// Raises the event; false only when a bound handler ran and refused (for the two asking ones).
bool OnHtmlViewerEvent(ControlIdentity view, HtmlViewerEvent event);

// The editable strip of a single-line box: exactly one line high, centred in the inside.
struct EditStrip {
  int top = 0;
  int bottom = 0;
};
EditStrip SingleLineStrip(int insideTop, int insideHeight, int lineHeight);

}  // namespace quorvel::controls
