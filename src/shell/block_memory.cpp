#include "shell/block_memory.h"

#include <algorithm>
#include <cstdio>

#include "platform/platform.h"
#include "shell/fatal_error.h"
#include "shell/shell.h"

namespace quorvel::shell {

void* AllocBlock(std::size_t size) {
  if (void* block = platform::HeapAllocate(size)) return block;
  char message[100];
  // %zu rather than %d: a size past INT_MAX must not read back as a negative number.
  std::snprintf(message, sizeof message, "分配 %zu 字节内存失败!", size);
  ReportFatalError(message, 0);
}

void FreeBlock(const void* block) {
  if (block == nullptr) return;
  const auto& constants = Shell().constantTexts;
  if (std::find(constants.begin(), constants.end(), block) != constants.end()) return;
  platform::HeapRelease(const_cast<void*>(block));
}

}  // namespace quorvel::shell
