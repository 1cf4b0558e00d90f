// What the two buttons do.
#pragma once

#include <span>

#include "commands/parse_service.h"

namespace quorvel::commands {

inline constexpr char kAboutBlank[] = "about:blank";

// 按钮1 "TV弹发射": the web view goes to the parse service's page for the typed text, and the
// splash picture uncovers it.
void LaunchCommand();

// 按钮2 "返回机场": the web view goes blank and the splash picture covers it again.
void ReturnCommand();

// The texts FreeBlock must leave alone.
std::span<const char* const> ConstantTexts();

}  // namespace quorvel::commands
