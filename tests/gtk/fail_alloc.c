/* Preloaded into the program by the fatal-error test: the first allocation of
 * QUORVEL_FAIL_ALLOC_SIZE bytes that the program's own code asks for fails, as it would on an
 * exhausted heap. Allocations made by libraries are left alone, so only the program's own
 * handling of a failed block is exercised. The program itself knows nothing of this. */
#define _GNU_SOURCE
#include <link.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

extern void* __libc_malloc(size_t size);

static size_t target;
static int armed;
static uintptr_t code_start, code_end;

static int find_program(struct dl_phdr_info* info, size_t size, void* data) {
  (void)size;
  (void)data;
  /* The first object listed is the program itself. */
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)* segment = &info->dlpi_phdr[i];
    if (segment->p_type == PT_LOAD && (segment->p_flags & PF_X)) {
      code_start = info->dlpi_addr + segment->p_vaddr;
      code_end = code_start + segment->p_memsz;
    }
  }
  return 1;
}

__attribute__((constructor)) static void arm(void) {
  const char* wanted = getenv("QUORVEL_FAIL_ALLOC_SIZE");
  if (wanted == NULL) return;
  target = (size_t)strtoul(wanted, NULL, 10);
  dl_iterate_phdr(find_program, NULL);
  armed = target != 0 && code_end != 0;
}

void* malloc(size_t size) {
  if (armed && size == target) {
    uintptr_t caller = (uintptr_t)__builtin_return_address(0);
    if (caller >= code_start && caller < code_end) {
      armed = 0;
      return NULL;
    }
  }
  return __libc_malloc(size);
}
