#ifndef ANNOTATOR_PATTERNTABLESORT_H_
#define ANNOTATOR_PATTERNTABLESORT_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "PatternTable.h"

// A distinct line's entry in PatternCounter's blocks, made there by
// placement; its bytes follow.
struct PatternCounter::Entry {
  std::uint64_t Count;
  std::uint64_t Size;
};

namespace table_sort {

using Entry = PatternCounter::Entry;

inline std::string_view LineOf(const Entry* entry) {
  return {reinterpret_cast<const char*>(entry + 1), entry->Size};
}

// A row of the table as it is sorted among the rows of its count: sixteen
// bytes of its line from some depth on (zero-padded) as two big-endian
// numbers, so that sorting seldom has to look at the line itself, and its
// entry.
struct SortKey {
  std::uint64_t Bytes[2];
  const Entry* Line;
};

// Sets the key's Bytes to those of its line from `depth` on.
void LoadBytes(SortKey& key, std::size_t depth);

// Sorts the `size` keys at `keys`, whose lines agree before `depth`, which
// hold their bytes from there and agree in their first `digit` bytes of
// them, bytewise by line, and leaves them at `spare` if `intoSpare`, else
// at `keys`; `spare` has room for as many.
void SortKeys(SortKey* keys, SortKey* spare, std::size_t size, unsigned digit,
              std::size_t depth, bool intoSpare);

// Orders the `size` keys at `keys`, whose Bytes[0] holds their line's count
// for now, by count, highest first, keeping the order of equal counts;
// `spare` has room for as many. Returns where they end up, `keys` or
// `spare`.
SortKey* SortByCount(SortKey* keys, SortKey* spare, std::size_t size);

}  // namespace table_sort

#endif  // ANNOTATOR_PATTERNTABLESORT_H_
