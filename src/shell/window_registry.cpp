#include "shell/window_registry.h"

#include "shell/shell.h"

namespace quorvel::shell {

ControlInstance* WindowInstance::Control(std::uint32_t number) {
  for (auto& control : controls)
    if (control.number() == number) return &control;
  return nullptr;
}

ControlInstance* WindowInstance::ControlOwning(platform::Handle native) {
  if (native == nullptr) return nullptr;
  const platform::Handle parent = platform::ParentOf(native);
  for (auto& control : controls) {
    if (control.native == nullptr) continue;
    if (control.native == native || control.native == parent) return &control;
  }
  return nullptr;
}

void WindowRegistry::Register(const StoredWindow& window) {
  stored_[window.number] = &window;
}

const StoredWindow* WindowRegistry::Stored(std::uint32_t number) const {
  auto found = stored_.find(number);
  return found == stored_.end() ? nullptr : found->second;
}

WindowInstance& WindowRegistry::Open(const StoredWindow& window) {
  WindowInstance& instance = open_.emplace_back();
  instance.stored = &window;
  for (const ControlEntry& entry : window.controls) {
    ControlInstance& control = instance.controls.emplace_back();
    control.stored = &entry;
    control.visible = entry.visible;
    control.disabled = entry.disabled;
  }
  return instance;
}

void WindowRegistry::Close(const WindowInstance* window) {
  open_.remove_if([window](const WindowInstance& open) { return &open == window; });
}

WindowInstance* WindowRegistry::FindOpen(std::uint32_t number) {
  for (auto& window : open_)
    if (window.number() == number) return &window;
  return nullptr;
}

WindowInstance* WindowRegistry::FindOpen(platform::Handle native) {
  if (native == nullptr) return nullptr;
  for (auto& window : open_)
    if (window.native == native) return &window;
  return nullptr;
}

WindowInstance* WindowRegistry::FindOpenContaining(platform::Handle native) {
  for (platform::Handle at = native; at != nullptr; at = platform::ParentOf(at))
    if (WindowInstance* window = FindOpen(at)) return window;
  return nullptr;
}

ControlInstance* FindControl(ControlIdentity id) {
  WindowInstance* window = Shell().windows.FindOpen(id.window);
  return window == nullptr ? nullptr : window->Control(id.control);
}

}  // namespace quorvel::shell
