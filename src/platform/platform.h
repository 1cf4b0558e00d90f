// The boundary between the core and a toolkit. The core decides; a platform layer carries out.
// Three implementations link against this header: win32/, gtk/ and fake/ (unit tests).
// All texts are zero-terminated UTF-8; a layer converts at its own edge.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "shell/types.h"

namespace quorvel::platform {

// A toolkit window or widget; the core only compares and passes these around.
struct NativeWindow;
using Handle = NativeWindow*;

struct NativeIcon;
using IconHandle = NativeIcon*;

struct IconPair {
  IconHandle big = nullptr;    // 32x32
  IconHandle small = nullptr;  // 16x16
};

// ---- Process ----------------------------------------------------------------------------

// The process's default heap. HeapAllocate returns nullptr when no memory can be had.
void* HeapAllocate(std::size_t size);
void HeapRelease(void* block);

// False when the library could not be initialised.
bool InitOle();
void UninitOle();

std::string ProgramPath();  // full path of the running program file
char PathSeparator();       // what separates folders in ProgramPath()
void SetCurrentFolder(const std::string& folder);
void SetFpuDefault();

// The invisible tool window that owns windows kept off the taskbar.
Handle CreateOwnerWindow();
void DestroyOwnerWindow(Handle owner);

void ProcessPendingMessages();
// Runs until the quit request arrives and returns its code. Every key message is offered to
// shell::OfferKey before the toolkit dispatches it.
int RunMessageLoop();
void PostQuit(int code);

// Modal, no owner, error icon, one OK button; returns when the user has closed it.
void ShowErrorBox(const char* text, const char* title);
[[noreturn]] void ExitProcess(int code);

// ---- Windows ----------------------------------------------------------------------------

struct WindowStyle {
  bool controlBox = true;  // system menu and close button
  bool minimiseBox = true;
  bool maximiseBox = false;
  bool sizable = false;
  Colour background{};
  const char* title = "";
};

ScreenSize PrimaryScreenSize();
// Created hidden. nullptr when the toolkit cannot make it.
Handle CreateTopWindow(const WindowStyle& style, Rect frame);
Rect WindowFrame(Handle window);  // outer frame on the screen
void SetWindowFrame(Handle window, Rect frame);
IconPair LoadProgramIcons();
void DestroyIcons(IconPair icons);
void SetWindowIcons(Handle window, IconPair icons);
void ShowWindowNormal(Handle window);  // shows and activates
void DestroyWindow(Handle window);

// ---- Controls, common -------------------------------------------------------------------

struct ControlStyle {
  bool disabled = false;
  bool tabStop = false;
  int childId = 0;
};

void AttachToParent(Handle control, Handle parent);
// Puts control directly below `above` in the stacking order; nullptr puts it on top.
// Nothing is moved, sized or activated.
void PlaceBelow(Handle control, Handle above);
// Shows or hides at once, without activation, focus move or restacking.
void SetControlVisible(Handle control, bool visible);
void SetFocus(Handle control);
Handle FocusedWindow();  // nullptr when the focus is outside the program
Handle ParentOf(Handle window);

// ---- Address box and buttons ------------------------------------------------------------

struct EditBoxLook {
  Colour text{};
  Colour background{};
  bool sunkenEdge = true;
  bool hideSelection = true;
  int maxLength = 0;  // 0: no limit of the box's own
  const char* initialText = "";
  int selectionStart = 0;
  int selectionLength = 0;
};

Handle CreateEditBox(Handle parent, ControlIdentity id, Rect place, ControlStyle style,
                     const EditBoxLook& look);
// The whole content, exact, in a block from shell::AllocBlock that the caller frees; nullptr
// when the box is empty. The layer's own working memory for the read comes from blocks too, so
// that no memory for it is a fatal error naming the size, as for any other block.
char* EditBoxText(Handle box);

Handle CreateButton(Handle parent, ControlIdentity id, Rect place, ControlStyle style,
                    const char* caption);

// ---- Picture box ------------------------------------------------------------------------

// 32-bit pixels in blue, green, red, alpha order, rows top-down with no gap between rows.
// Memory that the toolkit can paint from directly, so the picture lives in one buffer.
struct PixelBuffer {
  void* owner = nullptr;  // the toolkit's object behind the pixels
  std::uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
};

Colour ButtonFaceColour();
std::span<const std::uint8_t> SplashPictureBytes();
PixelBuffer AllocatePixels(int width, int height);  // pixels == nullptr when none can be had
void ReleasePixels(PixelBuffer buffer);
// The box takes ownership of `picture`, which may be empty (no picture: background only).
Handle CreatePicBox(Handle parent, ControlIdentity id, Rect place, ControlStyle style,
                    Colour background, PixelBuffer picture);

// ---- Web view ---------------------------------------------------------------------------

// nullptr when the engine cannot be created (its window is then already gone).
Handle CreateWebView(Handle parent, ControlIdentity id, Rect place, ControlStyle style);
void WebSetOffline(Handle view, bool offline);
void WebSetSilent(Handle view, bool silent);
void WebSetZoom(Handle view, int level);  // 0 smallest .. 4 largest, 2 the engine's medium
void WebNavigate(Handle view, const char* address);

}  // namespace quorvel::platform
