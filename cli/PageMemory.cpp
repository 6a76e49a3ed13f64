#include "PageMemory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

// Below this, memory comes from the allocator; from here on, it is mapped
// in whole huge pages (only aligned ranges get them).
constexpr std::size_t kMappedFrom = kHugePage / 2;

// The bytes mapped for `bytes`.
std::size_t MappedSize(std::size_t bytes) {
  return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

}  // namespace

void* NewPages(std::size_t bytes) {
  if (bytes < kMappedFrom) {
    void* const memory = std::malloc(std::max<std::size_t>(bytes, 1));
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
  }
  if (bytes > std::numeric_limits<std::size_t>::max() - 2 * kHugePage) {
    throw std::bad_alloc();
  }
  const std::size_t size = MappedSize(bytes);
  // Mapped a huge page longer, then cut to the aligned range inside.
  void* const pages = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) throw std::bad_alloc();
  char* const start = static_cast<char*>(pages);
  const std::size_t skip =
      (kHugePage - reinterpret_cast<std::uintptr_t>(start) % kHugePage) %
      kHugePage;
  char* const aligned = start + skip;
  if (skip != 0) ::munmap(start, skip);
  ::munmap(aligned + size, kHugePage - skip);
#ifdef MADV_HUGEPAGE
  ::madvise(aligned, size, MADV_HUGEPAGE);
#endif
  return aligned;
}

void FreePages(void* memory, std::size_t bytes) {
  if (memory == nullptr) return;
  if (bytes < kMappedFrom) {
    std::free(memory);
  } else {
    ::munmap(memory, MappedSize(bytes));
  }
}
