#include "commands/playback_commands.h"

#include "commands/text_join.h"
#include "controls/edit_box.h"
#include "controls/html_viewer.h"
#include "controls/pic_box.h"
#include "shell/block_memory.h"
#include "shell/main_window_description.h"

namespace quorvel::commands {

void LaunchCommand() {
  char* typed = controls::ReadEditText({MainWindow, kEditBox1});
  // The text goes behind the prefix exactly as typed: no trimming, no encoding.
  char* address = TextJoin({ParseServicePrefix, typed});
  shell::FreeBlock(typed);
  controls::SetHtmlAddress({MainWindow, kWebView1}, address);
  shell::FreeBlock(address);
  controls::SetPicBoxVisible({MainWindow, kPicBox1}, 0);
}

void ReturnCommand() {
  controls::SetHtmlAddress({MainWindow, kWebView1}, kAboutBlank);
  controls::SetPicBoxVisible({MainWindow, kPicBox1}, 1);
}

std::span<const char* const> ConstantTexts() {
  static const char* const texts[] = {kAboutBlank, ParseServicePrefix};
  return texts;
}

}  // namespace quorvel::commands
