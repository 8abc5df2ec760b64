// Room for arrays of millions of items, asked of the system in large pages where it offers
// them: filling 100 MB a 4 kB page at a time costs more than the work written into it.
#pragma once

#include <cstdint>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vlm::workbench {

// Asks for large pages for the whole 2 MB pages inside a block not yet written to. Only a
// hint: where it is refused, the pages are simply small.
inline void AdviseLargePages([[maybe_unused]] void* block, [[maybe_unused]] size_t bytes) {
#if defined(MADV_HUGEPAGE)
  constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(block), end = begin + bytes;
  const uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
  if (end > first + kLargePage)
    madvise(reinterpret_cast<void*>(first), (end - first) & ~(kLargePage - 1), MADV_HUGEPAGE);
#endif
}

template <class T>
void ReserveLarge(std::vector<T>& items, size_t count) {
  items.reserve(count);
  AdviseLargePages(items.data(), count * sizeof(T));
}

// As vector::resize, with the room taken as above first.
template <class T>
void ResizeLarge(std::vector<T>& items, size_t count) {
  if (items.capacity() < count) {
    std::vector<T>().swap(items);
    ReserveLarge(items, count);
  }
  items.resize(count);
}

}  // namespace vlm::workbench
