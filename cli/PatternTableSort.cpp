// The radix sorts that order PatternCounter's table: by count, then
// bytewise by line among the rows of a count.
#include "PatternTableSort.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// The first eight bytes at `bytes` as a big-endian number, so that numbers
// order as the bytes do.
std::uint64_t BigEndian(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  word = __builtin_bswap64(word);
#endif
  return word;
}

}  // namespace

namespace table_sort {

// Sets the key's Bytes to those of its line from `depth` on.
void LoadBytes(SortKey& key, std::size_t depth) {
  const std::string_view line = LineOf(key.Line);
  if (line.size() >= depth + 16) {
    key.Bytes[0] = BigEndian(line.data() + depth);
    key.Bytes[1] = BigEndian(line.data() + depth + 8);
    return;
  }
  char padded[16] = {};
  if (line.size() > depth) {
    std::memcpy(padded, line.data() + depth, line.size() - depth);
  }
  key.Bytes[0] = BigEndian(padded);
  key.Bytes[1] = BigEndian(padded + 8);
}

namespace {

// Bytewise order of the lines of keys that agree before `depth` and hold
// their bytes from there.
bool Before(const SortKey& a, const SortKey& b, std::size_t depth) {
  if (a.Bytes[0] != b.Bytes[0]) return a.Bytes[0] < b.Bytes[0];
  if (a.Bytes[1] != b.Bytes[1]) return a.Bytes[1] < b.Bytes[1];
  // Equal bytes mean equal lines as far as both reach into them: a zero
  // that pads one line stands level with a zero byte of the other.
  const std::string_view x = LineOf(a.Line);
  const std::string_view y = LineOf(b.Line);
  const std::size_t same = std::min({x.size(), y.size(), depth + 16});
  return x.substr(same) < y.substr(same);
}

}  // namespace

// Sorts the `size` keys at `keys`, whose lines agree before `depth`, which
// hold their bytes from there and agree in their first `digit` bytes of
// them, bytewise by line, and leaves them at `spare` if `intoSpare`, else
// at `keys`; `spare` has room for as many. A byte at a time into 256
// piles, the most significant first: a comparison sort costs a
// mispredicted branch every other comparison. Each pile goes back and
// forth between the two arrays, and when all keys share a byte, the next
// one they do not share is found in one pass. When they agree in all
// sixteen, the next sixteen bytes of their lines are fetched. Few keys,
// and lines equal to their ends, are compared whole.
// NOLINTNEXTLINE(misc-no-recursion): as deep as the keys halve, at most.
void SortKeys(SortKey* keys, SortKey* spare, std::size_t size, unsigned digit,
              std::size_t depth, bool intoSpare) {
  constexpr std::size_t kFew = 32;
  constexpr unsigned kDigits = 16;
  while (size > kFew) {
    const auto pile = [digit](const SortKey& key) {
      return static_cast<unsigned>(key.Bytes[digit / 8] >>
                                   (56 - 8 * (digit % 8))) &
             0xFF;
    };
    std::uint32_t counts[256] = {};
    if (digit < kDigits) {
      for (std::size_t i = 0; i < size; ++i) ++counts[pile(keys[i])];
    }
    if (digit == kDigits || counts[pile(keys[0])] == size) {
      std::uint64_t differ[2] = {};
      for (std::size_t i = 0; i < size; ++i) {
        differ[0] |= keys[i].Bytes[0] ^ keys[0].Bytes[0];
        differ[1] |= keys[i].Bytes[1] ^ keys[0].Bytes[1];
      }
      const unsigned word = differ[0] != 0 ? 0 : 1;
      if (differ[word] != 0) {
        digit =
            8 * word + static_cast<unsigned>(__builtin_clzll(differ[word])) / 8;
        continue;
      }
      std::size_t longest = 0;
      for (std::size_t i = 0; i < size; ++i) {
        longest = std::max<std::size_t>(longest, keys[i].Line->Size);
      }
      if (longest <= depth + 16) break;
      depth += 16;
      digit = 0;
      // The lines lie anywhere: each is fetched a few keys ahead.
      constexpr std::size_t kAhead = 8;
      for (std::size_t i = 0; i < size; ++i) {
        if (i + kAhead < size) {
          __builtin_prefetch(
              reinterpret_cast<const char*>(keys[i + kAhead].Line + 1) + depth);
        }
        LoadBytes(keys[i], depth);
      }
      continue;
    }
    std::uint32_t ends[256];
    std::uint32_t sum = 0;
    for (unsigned i = 0; i < 256; ++i) {
      ends[i] = sum;
      sum += counts[i];
    }
    for (std::size_t i = 0; i < size; ++i) {
      spare[ends[pile(keys[i])]++] = keys[i];
    }
    // The largest pile is sorted here and the others by calls of their
    // own, each with at most half the keys: however the lines share their
    // starts, the calls go no deeper than the halvings of the keys.
    unsigned largest = 0;
    for (unsigned i = 1; i < 256; ++i) {
      if (counts[i] > counts[largest]) largest = i;
    }
    std::size_t from = 0;
    std::size_t largestFrom = 0;
    for (unsigned i = 0; i < 256; ++i) {
      if (i == largest) {
        largestFrom = from;
      } else if (counts[i] > 1) {
        SortKeys(spare + from, keys + from, counts[i], digit + 1, depth,
                 !intoSpare);
      } else if (counts[i] == 1 && !intoSpare) {
        keys[from] = spare[from];
      }
      from += counts[i];
    }
    SortKey* const next = spare + largestFrom;
    spare = keys + largestFrom;
    keys = next;
    size = counts[largest];
    intoSpare = !intoSpare;
    ++digit;
  }
  std::sort(keys, keys + size, [depth](const SortKey& a, const SortKey& b) {
    return Before(a, b, depth);
  });
  if (intoSpare) std::copy(keys, keys + size, spare);
}

// Orders the `size` keys at `keys`, whose Bytes[0] holds their line's count
// for now, by count, highest first, keeping the order of equal counts;
// `spare` has room for as many. Returns where they end up, `keys` or
// `spare`. A byte at a time, the least significant first, skipping the
// bytes in which all counts agree: most counts are small, so this takes a
// pass or two.
SortKey* SortByCount(SortKey* keys, SortKey* spare, std::size_t size) {
  std::uint64_t differ = 0;
  for (std::size_t i = 0; i < size; ++i)
    differ |= keys[i].Bytes[0] ^ keys[0].Bytes[0];
  for (unsigned shift = 0; shift < 64; shift += 8) {
    if (((differ >> shift) & 0xFF) == 0) continue;
    const auto pile = [shift](const SortKey& key) {
      return static_cast<unsigned>(~key.Bytes[0] >> shift) & 0xFF;
    };
    std::uint32_t ends[256] = {};
    for (std::size_t i = 0; i < size; ++i) ++ends[pile(keys[i])];
    std::uint32_t sum = 0;
    for (std::uint32_t& end : ends) {
      const std::uint32_t count = end;
      end = sum;
      sum += count;
    }
    for (std::size_t i = 0; i < size; ++i)
      spare[ends[pile(keys[i])]++] = keys[i];
    std::swap(keys, spare);
  }
  return keys;
}

}  // namespace table_sort
