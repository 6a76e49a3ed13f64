#ifndef ANNOTATOR_PAGEMEMORY_H_
#define ANNOTATOR_PAGEMEMORY_H_

#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

// A huge page: 2 MiB on the processors the programs are built for.
constexpr std::size_t kHugePage = std::size_t{1} << 21;

// Memory for the large arrays of a table: from half a huge page on, mapped
// in whole huge pages where the system gives them. Millions of rows
// otherwise cost a page fault per 4 KiB, each slower than the work on the
// rows the page holds (on a virtual machine by far), and a miss in the
// translation cache per lookup. Smaller sizes come from the allocator.
void* NewPages(std::size_t bytes);
// Frees what NewPages(bytes) gave, `bytes` the same.
void FreePages(void* memory, std::size_t bytes);

// An array of objects of a trivial type in page memory, made without
// writing it (a vector would zero it first).
template <class T>
class PageArray {
 public:
  PageArray() = default;
  explicit PageArray(std::size_t size)
      : data_(static_cast<T*>(NewPages(size * sizeof(T)))), size_(size) {
    static_assert(std::is_trivially_destructible_v<T>);
    std::uninitialized_default_construct_n(data_, size);
  }
  PageArray(PageArray&& other) noexcept { *this = std::move(other); }
  PageArray& operator=(PageArray&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    return *this;
  }
  ~PageArray() { FreePages(data_, size_ * sizeof(T)); }
  T* Data() const { return data_; }
  T& operator[](std::size_t i) const { return data_[i]; }
  std::size_t Size() const { return size_; }

 private:
  T* data_ = nullptr;
  std::size_t size_ = 0;
};

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
