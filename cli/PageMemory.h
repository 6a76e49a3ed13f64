#ifndef ANNOTATOR_PAGEMEMORY_H_
#define ANNOTATOR_PAGEMEMORY_H_

#include <cstddef>
#include <limits>
#include <new>
#include <vector>

// Memory for the large arrays of a table: from half a huge page on, mapped
// in whole huge pages where the system gives them. Millions of rows
// otherwise cost a page fault per 4 KiB, each slower than the work on the
// rows the page holds (on a virtual machine by far), and a miss in the
// translation cache per lookup. Smaller sizes come from the allocator.
void* NewPages(std::size_t bytes);
// Frees what NewPages(bytes) gave, `bytes` the same.
void FreePages(void* memory, std::size_t bytes);

// The allocator of a vector whose elements live in such memory.
// Its members have the names the standard library calls.
template <class T>
struct PageAllocator {
  using value_type = T;  // NOLINT(readability-identifier-naming)

  PageAllocator() = default;
  template <class U>
  PageAllocator(const PageAllocator<U>&) noexcept {}

  // NOLINTNEXTLINE(readability-identifier-naming)
  T* allocate(std::size_t n) {
    if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) {
      throw std::bad_array_new_length();
    }
    return static_cast<T*>(NewPages(n * sizeof(T)));
  }
  // NOLINTNEXTLINE(readability-identifier-naming)
  void deallocate(T* memory, std::size_t n) noexcept {
    FreePages(memory, n * sizeof(T));
  }

  template <class U>
  bool operator==(const PageAllocator<U>&) const noexcept {
    return true;
  }
  template <class U>
  bool operator!=(const PageAllocator<U>&) const noexcept {
    return false;
  }
};

template <class T>
using PageVector = std::vector<T, PageAllocator<T>>;

#endif  // ANNOTATOR_PAGEMEMORY_H_
