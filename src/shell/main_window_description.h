// The program's stored window description: MainWindow and its five controls.
#pragma once

#include <cstdint>
#include <span>

#include "shell/window_description.h"

namespace quorvel {

inline constexpr std::uint32_t MainWindow = 0x52010001;
inline constexpr std::uint32_t kWebView1 = 0x16010002;  // 超文本浏览框1
inline constexpr std::uint32_t kPicBox1 = 0x16010003;   // 图片框1
inline constexpr std::uint32_t kEditBox1 = 0x16010004;  // 编辑框1
inline constexpr std::uint32_t kButton1 = 0x16010005;   // 按钮1, "TV弹发射"
inline constexpr std::uint32_t kButton2 = 0x16010006;   // 按钮2, "返回机场"

}  // namespace quorvel

namespace quorvel::shell {

const StoredWindow& MainWindowDescription();

// Every stored window of the program.
std::span<const StoredWindow* const> StoredWindows();

}  // namespace quorvel::shell
