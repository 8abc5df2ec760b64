#include "vlm/heap.h"

#include <dlfcn.h>

#include <cstddef>

namespace vlm {

void ReturnFreedMemory() {
  // jemalloc, when the program is linked with it, answers to mallctl; "arena.4096" is every
  // arena (MALLCTL_ARENAS_ALL).
  using Mallctl = int (*)(const char*, void*, size_t*, void*, size_t);
  static const auto mallctl = reinterpret_cast<Mallctl>(dlsym(RTLD_DEFAULT, "mallctl"));
  if (mallctl) mallctl("arena.4096.purge", nullptr, nullptr, nullptr, 0);
}

}  // namespace vlm
