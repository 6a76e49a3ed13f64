#include "PatternTable.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

// The hash is compiled in where it is called, as its library advises for
// short keys.
#define XXH_INLINE_ALL
#include <xxhash.h>

#include "FlatIds.h"
#include "PatternTableSort.h"

using table_sort::Entry;
using table_sort::LineOf;
using table_sort::LoadBytes;
using table_sort::SortByCount;
using table_sort::SortKey;
using table_sort::SortKeys;

namespace {

// `size` rounded up to a whole number of `unit`, a power of two.
constexpr std::size_t RoundUp(std::size_t size, std::size_t unit) {
  return (size + unit - 1) & ~(unit - 1);
}

}  // namespace

PatternCounter::PatternCounter(std::size_t memoryLimit)
    : seed_(FreshSeed()),
      memoryLimit_(memoryLimit),
      slotShift_(64 - static_cast<unsigned>(__builtin_ctzll(kFirstSlots))) {
  static_assert(kSecretSize == XXH3_SECRET_DEFAULT_SIZE);
  XXH3_generateSecret_fromSeed(secret_, seed_);
  Charge(kFirstSlots * sizeof(std::uint64_t));
  slots_ = PageArray<std::uint64_t>(kFirstSlots);
  std::fill_n(slots_.Data(), kFirstSlots, 0);
}

PatternCounter::~PatternCounter() = default;

void PatternCounter::Charge(std::size_t bytes) {
  if (bytes > memoryLimit_ - memoryHeld_) throw LimitReached();
  memoryHeld_ += bytes;
}

std::uint64_t PatternCounter::Hash(const char* bytes, std::size_t size) const {
  // The same hash as XXH3_64bits_withSeed's.
  return XXH3_64bits_withSecretandSeed(bytes, size, secret_, sizeof secret_,
                                       seed_);
}

void PatternCounter::Add(const ExtractedPattern& pattern) {
  // Lines are looked up in batches, each slot fetched when its line comes
  // and read only when the batch is full, so the waits for memory overlap
  // the making of the next patterns. The lines waiting sit after the last
  // entry, in the order they came.
  //
  // Everything that may throw comes first: room for the line, and room for
  // every line that waits, this one too, to turn out new. A throw then
  // leaves the table as it was, and looking up never throws.
  const std::size_t need = kUnit + PatternFieldsBound(pattern);
  if (blocks_.empty() || blockSize_ - used_ - waitingBytes_ < need) {
    NewBlock(need);
  }
  MakeRoom(waitingCount_ + 1);

  char* const line = blocks_.back().Data() + used_ + waitingBytes_ + kUnit;
  std::size_t size = pattern.Fields.size();
  std::uint64_t hash = 0;
  if (size != 0) {
    // Hashed where the extractor wrote them, still in the cache.
    hash = Hash(pattern.Fields.data(), size);
    std::memcpy(line, pattern.Fields.data(), size);
  } else {
    size = static_cast<std::size_t>(WritePatternFields(pattern, line) - line);
    hash = Hash(line, size);
  }
  __builtin_prefetch(&slots_[HomeSlot(hash)]);
  waiting_[waitingCount_++] = Waiting{size, hash};
  waitingBytes_ += RoundUp(kUnit + size, kUnit);
  ++total_;
  if (waitingCount_ == kBatch) LookUpWaiting();
}

bool PatternCounter::CountIfHeld(std::string_view line, long long count) {
  Settle();
  const std::uint64_t hash = Hash(line.data(), line.size());
  const std::size_t mask = slots_.Size() - 1;
  for (std::size_t slot = HomeSlot(hash); slots_[slot] != 0;
       slot = (slot + 1) & mask) {
    if (slots_[slot] >> 32 != hash >> 32) continue;
    Entry* const entry = EntryAt(slots_[slot] & 0xFFFFFFFF);
    if (LineOf(entry) == line) {
      entry->Count += count;
      total_ += count;
      return true;
    }
  }
  return false;
}

void PatternCounter::MakeRoom(std::size_t lines) {
  if (keysCharged_ - distinct_ < lines) {
    // Each distinct line is charged as the two sort keys WriteTable makes
    // of it, which take more than its slots then; room for twice as many
    // lines at a time, so that charging seldom comes up.
    const std::size_t covered =
        std::max<std::size_t>(1024, 2 * (distinct_ + lines));
    Charge((covered - keysCharged_) * 2 * sizeof(SortKey));
    keysCharged_ = covered;
  }
  while ((distinct_ + lines) * 4 > slots_.Size() * 3) Grow();
}

void PatternCounter::Settle() {
  if (waitingCount_ != 0) LookUpWaiting();
}

void PatternCounter::LookUpWaiting() {
  const std::size_t mask = slots_.Size() - 1;
  // First the entry each line may match is fetched, all at once.
  for (std::size_t i = 0; i < waitingCount_; ++i) {
    const std::uint64_t hash = waiting_[i].Hash;
    for (std::size_t slot = HomeSlot(hash); slots_[slot] != 0;
         slot = (slot + 1) & mask) {
      if (slots_[slot] >> 32 == hash >> 32) {
        __builtin_prefetch(EntryAt(slots_[slot] & 0xFFFFFFFF));
        break;
      }
    }
  }
  // A new line moves down to where the next entry starts (which it is
  // already, unless a line before it in the batch was counted).
  char* const block = blocks_.back().Data();
  std::size_t from = used_;
  for (std::size_t i = 0; i < waitingCount_; ++i) {
    const auto [size, hash] = waiting_[i];
    const char* const line = block + from + kUnit;
    from += RoundUp(kUnit + size, kUnit);
    const std::uint64_t tag = hash >> 32;
    for (std::size_t slot = HomeSlot(hash);; slot = (slot + 1) & mask) {
      const std::uint64_t content = slots_[slot];
      if (content == 0) {
        char* const at = block + used_;
        if (at + kUnit != line) std::memmove(at + kUnit, line, size);
        const std::uint64_t unit = blockUnit_ + used_ / kUnit;
        new (at) Entry{1, size};
        slots_[slot] = tag << 32 | unit;
        used_ += RoundUp(kUnit + size, kUnit);
        ++distinct_;
        break;
      }
      if (content >> 32 != tag) continue;
      Entry* const entry = EntryAt(content & 0xFFFFFFFF);
      if (entry->Size == size && std::memcmp(entry + 1, line, size) == 0) {
        ++entry->Count;
        break;
      }
    }
  }
  waitingCount_ = 0;
  waitingBytes_ = 0;
}

PatternCounter::Entry* PatternCounter::EntryAt(std::uint64_t unit) const {
  return std::launder(reinterpret_cast<Entry*>(chunks_[unit / kUnitsPerChunk] +
                                               unit % kUnitsPerChunk * kUnit));
}

void PatternCounter::NewBlock(std::size_t need) {
  // Unit 0 holds no entry, so that no slot in use reads 0.
  const std::size_t start = chunks_.empty() ? kUnit : 0;
  const std::size_t size =
      RoundUp(std::max(start + waitingBytes_ + need, kChunk), kChunk);
  const std::size_t chunks = size / kChunk;
  if (chunks_.size() + chunks > (std::uint64_t{1} << 32) / kUnitsPerChunk) {
    throw std::bad_alloc();
  }
  Charge(size);
  try {
    chunks_.reserve(chunks_.size() + chunks);
    blockEnds_.reserve(blocks_.size());
    blocks_.reserve(blocks_.size() + 1);
    blocks_.emplace_back(size);
  } catch (...) {
    memoryHeld_ -= size;
    throw;
  }
  // The lines that wait move along; nothing can throw from here on.
  if (blocks_.size() > 1) blockEnds_.push_back(used_);
  if (waitingBytes_ != 0) {
    std::memcpy(blocks_.back().Data() + start,
                blocks_[blocks_.size() - 2].Data() + used_, waitingBytes_);
  }
  blockUnit_ = chunks_.size() * kUnitsPerChunk;
  for (std::size_t i = 0; i < chunks; ++i) {
    chunks_.push_back(blocks_.back().Data() + i * kChunk);
  }
  blockSize_ = size;
  used_ = start;
}

void PatternCounter::Grow() {
  // A slot's place comes from 32 bits of its line's hash, which place it in
  // a table of up to 2^32 slots.
  if (slots_.Size() >= (std::uint64_t{1} << 32)) throw std::bad_alloc();
  const std::size_t count = slots_.Size() * 2;
  Charge(count * sizeof(std::uint64_t));
  PageArray<std::uint64_t> slots;
  try {
    slots = PageArray<std::uint64_t>(count);
  } catch (...) {
    memoryHeld_ -= count * sizeof(std::uint64_t);
    throw;
  }
  std::fill_n(slots.Data(), count, 0);
  // The tag a slot keeps is the upper half of its line's hash, which holds
  // the one more bit that numbers a slot now.
  --slotShift_;
  const std::size_t mask = count - 1;
  for (std::size_t i = 0; i < slots_.Size(); ++i) {
    const std::uint64_t content = slots_[i];
    if (content == 0) continue;
    std::size_t slot = HomeSlot(content);
    while (slots[slot] != 0) slot = (slot + 1) & mask;
    slots[slot] = content;
  }
  memoryHeld_ -= slots_.Size() * sizeof(std::uint64_t);
  slots_ = std::move(slots);
}

std::size_t PatternCounter::Displacement() {
  Settle();
  const std::size_t mask = slots_.Size() - 1;
  std::size_t steps = 0;
  for (std::size_t i = 0; i < slots_.Size(); ++i) {
    if (slots_[i] != 0) steps += (i - HomeSlot(slots_[i])) & mask;
  }
  return steps;
}

void PatternCounter::StopAdding() {
  Settle();
  memoryHeld_ -= slots_.Size() * sizeof(std::uint64_t);
  slots_ = PageArray<std::uint64_t>();
}

template <class Take>
void PatternCounter::ForEachEntry(Take&& take) const {
  for (std::size_t block = 0; block < blocks_.size(); ++block) {
    const char* const start = blocks_[block].Data();
    const std::size_t end =
        block < blockEnds_.size() ? blockEnds_[block] : used_;
    // The first block keeps its first unit empty.
    for (std::size_t at = block == 0 ? kUnit : 0; at < end;) {
      const Entry* const entry =
          std::launder(reinterpret_cast<const Entry*>(start + at));
      take(entry);
      at += RoundUp(kUnit + entry->Size, kUnit);
    }
  }
}

void PatternCounter::ForEachLine(
    const std::function<void(long long, std::string_view)>& take) {
  Settle();
  ForEachEntry([&take](const Entry* entry) {
    take(static_cast<long long>(entry->Count), LineOf(entry));
  });
}

bool PatternCounter::WriteTable(
    const std::function<bool(std::uint64_t, std::string_view)>& take) {
  return WriteSorted(true, take);
}

bool PatternCounter::WriteByLine(
    const std::function<bool(std::uint64_t, std::string_view)>& take) {
  return WriteSorted(false, take);
}

bool PatternCounter::WriteSorted(
    bool byCount,
    const std::function<bool(std::uint64_t, std::string_view)>& take) {
  Settle();
  const std::size_t rows = distinct_;
  // Each key holds its line's count for the sort by count, then the first
  // bytes of its line for the sorts by line: two arrays of keys, no more.
  // Each part is given back as soon as the next no longer needs it.
  PageArray<SortKey> keys(rows);
  std::size_t made = 0;
  const auto key = [&keys, &made](const Entry* entry) {
    keys[made++] = SortKey{{entry->Count, 0}, entry};
  };
  // The entries are found through the slots, each fetched a few slots
  // ahead of being read: a walk through the blocks would wait for each
  // entry's size before it could fetch the next. Once StopAdding gave the
  // slots back, the blocks are walked. Later reads come in any order, so
  // again each is fetched ahead.
  constexpr std::size_t kAhead = 16;
  if (slots_.Size() == 0) {
    ForEachEntry(key);
  } else {
    for (std::size_t i = 0; i < slots_.Size(); ++i) {
      if (i + kAhead < slots_.Size() && slots_[i + kAhead] != 0) {
        __builtin_prefetch(EntryAt(slots_[i + kAhead] & 0xFFFFFFFF));
      }
      if (slots_[i] != 0) key(EntryAt(slots_[i] & 0xFFFFFFFF));
    }
  }
  memoryHeld_ -= slots_.Size() * sizeof(std::uint64_t);
  slots_ = PageArray<std::uint64_t>();
  if (rows == 0) return true;
  PageArray<SortKey> spare(rows);
  SortKey* const sorted =
      byCount ? SortByCount(keys.Data(), spare.Data(), rows) : keys.Data();
  SortKey* const other = sorted == keys.Data() ? spare.Data() : keys.Data();
  // The rows of a count are sorted by line apart from the others: no key
  // has to carry its count through the passes over the lines.
  for (std::size_t from = 0; from < rows;) {
    std::size_t to = from + 1;
    const std::uint64_t count = sorted[from].Bytes[0];
    while (to < rows && (!byCount || sorted[to].Bytes[0] == count)) ++to;
    for (std::size_t i = from; i < to; ++i) {
      if (i + kAhead < rows) {
        const char* const ahead =
            reinterpret_cast<const char*>(sorted[i + kAhead].Line + 1);
        __builtin_prefetch(ahead);
        __builtin_prefetch(ahead + 15);
      }
      LoadBytes(sorted[i], 0);
    }
    SortKeys(sorted + from, other + from, to - from, 0, 0, false);
    from = to;
  }
  if (other == keys.Data()) {
    keys = PageArray<SortKey>();
  } else {
    spare = PageArray<SortKey>();
  }
  // Each line is fetched whole before it is taken: its first bytes, which
  // tell its size, twice as far ahead as the rest.
  for (std::size_t i = 0; i < std::min(2 * kAhead, rows); ++i) {
    __builtin_prefetch(sorted[i].Line);
  }
  for (std::size_t i = 0; i < rows; ++i) {
    if (i + 2 * kAhead < rows) __builtin_prefetch(sorted[i + 2 * kAhead].Line);
    if (i + kAhead < rows) {
      const std::string_view ahead = LineOf(sorted[i + kAhead].Line);
      for (std::size_t at = 64; at < ahead.size() + sizeof(Entry); at += 64) {
        __builtin_prefetch(ahead.data() - sizeof(Entry) + at);
      }
    }
    if (!take(sorted[i].Line->Count, LineOf(sorted[i].Line))) {
      return false;
    }
  }
  return true;
}
