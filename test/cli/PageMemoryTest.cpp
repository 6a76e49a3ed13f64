#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "PageMemory.h"

namespace {

// Sizes on both sides of where memory starts to be mapped and of whole huge
// pages: every byte asked for is there to write, a mapped range starts on a
// huge page, and freeing gives back exactly what was mapped (a wrong length
// would leave the next mapping's pages, or take a neighbour's).
TEST(PageMemory, EveryByteAskedForIsWritableAndMappedRangesAreAligned) {
  for (const std::size_t bytes :
       {std::size_t{1}, kHugePage / 2 - 1, kHugePage / 2, kHugePage - 1,
        kHugePage, kHugePage + 1, 5 * kHugePage + 4096}) {
    SCOPED_TRACE(bytes);
    auto* const memory = static_cast<unsigned char*>(NewPages(bytes));
    std::memset(memory, 0xA5, bytes);
    EXPECT_EQ(memory[bytes - 1], 0xA5);
    if (bytes >= kHugePage / 2) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % kHugePage, 0U);
    }
    FreePages(memory, bytes);
  }
}

// A vector in page memory moves from allocated to mapped storage as it
// grows, and keeps what it held each time.
TEST(PageMemory, AVectorKeepsItsElementsAcrossTheMappingSize) {
  PageVector<std::uint64_t> values;
  const std::size_t count = 3 * kHugePage / sizeof(std::uint64_t);
  for (std::size_t i = 0; i < count; ++i) values.push_back(i * 7919);
  for (std::size_t i = 0; i < count; i += 4099) {
    ASSERT_EQ(values[i], i * 7919) << i;
  }
  EXPECT_EQ(values.back(), (count - 1) * 7919);
}

}  // namespace
