#include "shell/fatal_error.h"

#include "platform/platform.h"
#include "shell/shell.h"

namespace quorvel::shell {

std::string FatalErrorText(const char* message, int code) {
  std::string text = "运行时出错!\r\n\r\n";
  if (code != 0) text += "错误代码：" + std::to_string(code) + "\r\n\r\n";
  if (message != nullptr && *message != '\0') text += std::string("错误信息：") + message + "\r\n";
  return text;
}

void ReportFatalError(const char* message, int code) {
  ShellState& shell = Shell();
  ++shell.EventSuspendCount;  // never lowered again: no command runs from here on
  const std::string text = FatalErrorText(message, code);
  platform::ShowErrorBox(text.c_str(), kFatalTitle);
  shell.shutdownRoutines.clear();
  EndProgram(-1);
}

}  // namespace quorvel::shell
