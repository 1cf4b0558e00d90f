// The stored window descriptions, and the working copies of the windows that are open.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "shell/window_description.h"

namespace quorvel::shell {

// An open control: its stored entry and what may change while the window is open.
struct ControlInstance {
  const ControlEntry* stored = nullptr;
  platform::Handle native = nullptr;  // nullptr once the control is gone
  bool visible = false;               // 可视
  bool disabled = false;              // 禁止
  std::string address;                // the web view's 地址

  std::uint32_t number() const { return stored->number; }
  Kind kind() const { return stored->kind; }
};

struct WindowInstance {
  const StoredWindow* stored = nullptr;
  platform::Handle native = nullptr;
  std::vector<ControlInstance> controls;  // stacking order, topmost first
  std::uint32_t focusAtDeactivation = 0;  // control number, 0 for none
  bool destroying = false;

  std::uint32_t number() const { return stored->number; }
  ControlInstance* Control(std::uint32_t number);
  // The control whose own window is `native` or its direct parent.
  ControlInstance* ControlOwning(platform::Handle native);
};

class WindowRegistry {
 public:
  void Register(const StoredWindow& window);
  const StoredWindow* Stored(std::uint32_t number) const;

  WindowInstance& Open(const StoredWindow& window);  // a fresh working copy
  void Close(const WindowInstance* window);          // drops the working copy
  WindowInstance* FindOpen(std::uint32_t number);
  WindowInstance* FindOpen(platform::Handle native);
  // The open window that `native` belongs to: the window itself or any window inside it.
  WindowInstance* FindOpenContaining(platform::Handle native);
  bool AnyOpen() const { return !open_.empty(); }
  std::list<WindowInstance>& OpenWindows() { return open_; }

 private:
  std::map<std::uint32_t, const StoredWindow*> stored_;
  std::list<WindowInstance> open_;  // stable addresses while windows come and go
};

// The control an identity names in the open windows, or nullptr.
ControlInstance* FindControl(ControlIdentity id);

}  // namespace quorvel::shell
