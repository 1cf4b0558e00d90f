#include "commands/text_join.h"

#include <cstring>

#include "shell/block_memory.h"

namespace quorvel::commands {

char* TextJoin(std::initializer_list<const char*> texts) {
  std::size_t total = 0;
  for (const char* text : texts) total += text == nullptr ? 0 : std::strlen(text);
  auto* joined = static_cast<char*>(shell::AllocBlock(total + 1));
  char* at = joined;
  for (const char* text : texts) {
    if (text == nullptr) continue;
    const std::size_t length = std::strlen(text);
    std::memcpy(at, text, length);
    at += length;
  }
  *at = '\0';
  return joined;
}

}  // namespace quorvel::commands
