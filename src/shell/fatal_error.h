// The fatal error report: one message box, then the process ends with -1.
#pragma once

#include <string>

namespace quorvel::shell {

inline constexpr char kFatalTitle[] = "错误";

// The box's text: a heading line, the code only when nonzero, the message only when nonempty.
std::string FatalErrorText(const char* message, int code);

[[noreturn]] void ReportFatalError(const char* message, int code);

}  // namespace quorvel::shell
