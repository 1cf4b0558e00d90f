#include "fake_platform.h"

#include <cstdlib>
#include <cstring>

#include "shell/native_events.h"

namespace quorvel::fake {
namespace {

platform::Handle HandleOf(Node* node) {
  return reinterpret_cast<platform::Handle>(node);
}

std::string Show(Rect r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.width) +
         "x" + std::to_string(r.height);
}

void Log(std::string call) {
  Fake().calls.push_back(std::move(call));
}

std::string Name(platform::Handle handle) {
  if (handle == nullptr) return "none";
  const Node& node = Fake().NodeOf(handle);
  return node.id.control != 0 ? node.kind + ":" + std::to_string(node.id.control) : node.kind;
}

platform::Handle AddNode(Node node) {
  auto& nodes = Fake().nodes;
  nodes.push_back(std::make_unique<Node>(std::move(node)));
  return HandleOf(nodes.back().get());
}

platform::Handle CreateControl(const char* kind, platform::Handle parent, ControlIdentity id,
                               Rect place, platform::ControlStyle style, std::string text = {}) {
  Log(std::string("Create") + kind + " id=" + std::to_string(style.childId) + " " + Show(place) +
      (style.tabStop ? " tabstop" : "") + (style.disabled ? " disabled" : ""));
  if (Fake().onCreate) Fake().onCreate(kind);
  if (Fake().failingKinds.contains(kind)) return nullptr;
  Node node;
  node.kind = kind;
  node.parent = parent;
  node.id = id;
  node.place = place;
  node.style = style;
  node.text = std::move(text);
  return AddNode(std::move(node));
}

void MarkDestroyed(Node& node) {
  node.destroyed = true;
  if (node.picture.pixels != nullptr) {
    platform::ReleasePixels(node.picture);
    node.picture = {};
  }
}

}  // namespace

FakePlatform& Fake() {
  static FakePlatform fake;
  return fake;
}

void ResetFake() {
  for (auto& node : Fake().nodes)
    if (node->picture.pixels != nullptr) platform::ReleasePixels(node->picture);
  for (void* block : Fake().liveBlocks) std::free(block);
  Fake() = FakePlatform{};
}

Node& FakePlatform::NodeOf(platform::Handle handle) const {
  return *reinterpret_cast<Node*>(handle);
}

platform::Handle FakePlatform::Find(const std::string& kind, std::uint32_t control) const {
  for (const auto& node : nodes)
    if (!node->destroyed && node->kind == kind && (control == 0 || node->id.control == control))
      return HandleOf(node.get());
  return nullptr;
}

platform::Handle FakePlatform::AddInner(platform::Handle parent) {
  Node node;
  node.kind = "inner";
  node.parent = parent;
  node.visible = true;
  return AddNode(std::move(node));
}

}  // namespace quorvel::fake

namespace quorvel::platform {

using fake::Fake;
using fake::Log;

void* HeapAllocate(std::size_t size) {
  auto& fake = Fake();
  const std::size_t index = fake.allocations++;
  if (fake.failAllocationAt && index >= *fake.failAllocationAt) return nullptr;
  void* block = std::malloc(size == 0 ? 1 : size);
  fake.liveBlocks.insert(block);
  return block;
}

void HeapRelease(void* block) {
  auto& fake = Fake();
  if (fake.liveBlocks.erase(block) == 0) {
    ++fake.badFrees;
    return;
  }
  std::free(block);
}

bool InitOle() {
  Log("InitOle");
  return !Fake().oleFails;
}
void UninitOle() {
  Log("UninitOle");
}
std::string ProgramPath() {
  return Fake().programPath;
}
char PathSeparator() {
  return Fake().separator;
}
void SetCurrentFolder(const std::string& folder) {
  Log("SetCurrentFolder " + folder);
}
void SetFpuDefault() {
  Log("SetFpuDefault");
}

Handle CreateOwnerWindow() {
  Log("CreateOwnerWindow");
  fake::Node node;
  node.kind = "owner";
  return fake::AddNode(std::move(node));
}

void DestroyOwnerWindow(Handle owner) {
  Log("DestroyOwnerWindow");
  fake::MarkDestroyed(Fake().NodeOf(owner));
}

void ProcessPendingMessages() {
  Log("ProcessPendingMessages");
}

int RunMessageLoop() {
  Log("RunMessageLoop");
  if (Fake().whileLooping) Fake().whileLooping();
  return Fake().postedQuit.value_or(0);
}

void PostQuit(int code) {
  Log("PostQuit " + std::to_string(code));
  Fake().postedQuit = code;
}

void ShowErrorBox(const char* text, const char* title) {
  Log("ShowErrorBox");
  Fake().errorBoxes.push_back(std::string(title) + "|" + text);
  if (Fake().whileErrorBoxOpen) Fake().whileErrorBoxOpen();
}

void ExitProcess(int code) {
  Log("ExitProcess " + std::to_string(code));
  throw fake::ProcessExit{code};
}

ScreenSize PrimaryScreenSize() {
  return Fake().screen;
}

Handle CreateTopWindow(const WindowStyle& style, Rect frame) {
  Log("CreateTopWindow " + fake::Show(frame) + " \"" + style.title + "\"" +
      (style.maximiseBox ? " max" : "") + (style.minimiseBox ? " min" : "") +
      (style.sizable ? " sizable" : ""));
  if (Fake().onCreate) Fake().onCreate("window");
  if (Fake().failingKinds.contains("window")) return nullptr;
  fake::Node node;
  node.kind = "window";
  node.place = Fake().frameAfterCreation.value_or(frame);
  node.text = style.title;
  node.background = style.background;
  return fake::AddNode(std::move(node));
}

Rect WindowFrame(Handle window) {
  return Fake().NodeOf(window).place;
}

void SetWindowFrame(Handle window, Rect frame) {
  Log("SetWindowFrame " + fake::Show(frame));
  Fake().NodeOf(window).place = frame;
}

IconPair LoadProgramIcons() {
  Log("LoadProgramIcons");
  static int big, small;
  return {reinterpret_cast<IconHandle>(&big), reinterpret_cast<IconHandle>(&small)};
}

void DestroyIcons(IconPair) {
  Log("DestroyIcons");
}
void SetWindowIcons(Handle, IconPair) {
  Log("SetWindowIcons");
}

void ShowWindowNormal(Handle window) {
  Log("ShowWindowNormal");
  Fake().NodeOf(window).visible = true;
  shell::OnWindowActivated(window);
}

void DestroyWindow(Handle window) {
  Log("DestroyWindow " + fake::Name(window));
  auto& fake = Fake();
  fake::Node& node = fake.NodeOf(window);
  if (node.destroyed) return;
  // As a toolkit does: the window hears of it first, then its children go, then the last stage.
  shell::OnWindowDestroying(window);
  for (auto& child : fake.nodes) {
    if (child->parent != window || child->destroyed) continue;
    fake::MarkDestroyed(*child);
    if (child->id.control != 0) shell::OnControlDestroyed(child->id);
  }
  fake::MarkDestroyed(node);
  if (fake.focused != nullptr && fake.NodeOf(fake.focused).destroyed) fake.focused = nullptr;
  shell::OnWindowDestroyed(window);
}

void AttachToParent(Handle control, Handle parent) {
  Log("AttachToParent " + fake::Name(control));
  Fake().NodeOf(control).parent = parent;
}

void PlaceBelow(Handle control, Handle above) {
  Log("PlaceBelow " + fake::Name(control) + " " + fake::Name(above));
  auto& stacking = Fake().stacking;
  std::erase(stacking, control);
  auto at = stacking.begin();
  if (above != nullptr) {
    at = std::find(stacking.begin(), stacking.end(), above);
    if (at != stacking.end()) ++at;
  }
  stacking.insert(at, control);
}

void SetControlVisible(Handle control, bool visible) {
  Log(std::string(visible ? "Show " : "Hide ") + fake::Name(control));
  Fake().NodeOf(control).visible = visible;
}

void SetFocus(Handle control) {
  Log("SetFocus " + fake::Name(control));
  Fake().focused = control;
}

Handle FocusedWindow() {
  return Fake().focused;
}

Handle ParentOf(Handle window) {
  return window == nullptr ? nullptr : Fake().NodeOf(window).parent;
}

Handle CreateEditBox(Handle parent, ControlIdentity id, Rect place, ControlStyle style,
                     const EditBoxLook& look) {
  const Handle box = fake::CreateControl("EditBox", parent, id, place, style, look.initialText);
  if (box != nullptr) Fake().NodeOf(box).background = look.background;
  return box;
}

char* EditBoxText(Handle box) {
  const std::string& text = Fake().NodeOf(box).text;
  if (text.empty()) return nullptr;
  auto* block = static_cast<char*>(shell::AllocBlock(text.size() + 1));
  std::memcpy(block, text.c_str(), text.size() + 1);
  return block;
}

Handle CreateButton(Handle parent, ControlIdentity id, Rect place, ControlStyle style,
                    const char* caption) {
  return fake::CreateControl("Button", parent, id, place, style, caption);
}

Colour ButtonFaceColour() {
  Log("ButtonFaceColour");
  return Fake().buttonFace;
}

std::span<const std::uint8_t> SplashPictureBytes() {
  return Fake().splash;
}

PixelBuffer AllocatePixels(int width, int height) {
  Log("AllocatePixels " + std::to_string(width) + "x" + std::to_string(height));
  if (Fake().pixelsFail) return {};
  auto* pixels = new std::uint8_t[std::size_t(width) * std::size_t(height) * 4];
  ++Fake().livePixelBuffers;
  return {pixels, pixels, width, height};
}

void ReleasePixels(PixelBuffer buffer) {
  if (buffer.pixels == nullptr) return;
  delete[] static_cast<std::uint8_t*>(buffer.owner);
  --Fake().livePixelBuffers;
}

Handle CreatePicBox(Handle parent, ControlIdentity id, Rect place, ControlStyle style,
                    Colour background, PixelBuffer picture) {
  const Handle box = fake::CreateControl("PicBox", parent, id, place, style);
  if (box == nullptr) {
    ReleasePixels(picture);
    return nullptr;
  }
  Fake().NodeOf(box).background = background;
  Fake().NodeOf(box).picture = picture;
  return box;
}

Handle CreateWebView(Handle parent, ControlIdentity id, Rect place, ControlStyle style) {
  return fake::CreateControl("WebView", parent, id, place, style);
}

void WebSetOffline(Handle, bool offline) {
  Log(std::string("WebSetOffline ") + (offline ? "1" : "0"));
}
void WebSetSilent(Handle, bool silent) {
  Log(std::string("WebSetSilent ") + (silent ? "1" : "0"));
}
void WebSetZoom(Handle, int level) {
  Log("WebSetZoom " + std::to_string(level));
}

void WebNavigate(Handle view, const char* address) {
  Log(std::string("WebNavigate ") + address);
  Fake().NodeOf(view).address = address;
  Fake().navigations.emplace_back(address);
  Fake().liveBlocksAtNavigation.push_back(Fake().liveBlocks.size());
}

}  // namespace quorvel::platform
