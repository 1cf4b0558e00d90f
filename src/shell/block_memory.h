// Blocks: the memory in which texts pass between the commands and the controls.
#pragma once

#include <cstddef>

namespace quorvel::shell {

// A new block of at least `size` bytes, not cleared. Never returns nullptr: when no memory can
// be had the program ends with a fatal error naming the size.
void* AllocBlock(std::size_t size);

// Releases a block. Nullptr, or one of the program's constant texts, does nothing.
void FreeBlock(const void* block);

}  // namespace quorvel::shell
