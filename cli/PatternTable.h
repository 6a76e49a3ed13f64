#ifndef ANNOTATOR_PATTERNTABLE_H_
#define ANNOTATOR_PATTERNTABLE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "ExtractedPattern.h"
#include "PageMemory.h"
#include "PatternFields.h"

// The distinct patterns of a run with how often each occurred. Memory grows
// with the number of distinct patterns, not with the number added: each
// distinct line is kept once, with its count beside it, in large blocks of
// its own, and found again through an open hash table of small slots. The
// hash takes a fresh seed in every counter, so no input known in advance can
// pile its lines into one run of slots.
// NOLINTNEXTLINE(clang-analyzer-optin.performance.Padding): one per table.
class PatternCounter {
 public:
  // Thrown when the next line would take the counter past its limit; other
  // std::bad_alloc come from the system.
  struct LimitReached : std::bad_alloc {};

  // Holds at most `memoryLimit` bytes of lines, slots and rows, with room
  // for WriteTable's sort, and throws LimitReached rather than take more.
  explicit PatternCounter(
      std::size_t memoryLimit = static_cast<std::size_t>(-1));
  ~PatternCounter();
  PatternCounter(const PatternCounter&) = delete;
  PatternCounter& operator=(const PatternCounter&) = delete;

  // Counts `pattern`. Throws std::bad_alloc when memory runs out, and then
  // leaves the table as it was before the call.
  void Add(const ExtractedPattern& pattern);

  // Counts `line`, eight pattern fields, `count` times if the table holds
  // it already, and says whether it did: a full table still counts the
  // lines it has.
  bool CountIfHeld(std::string_view line, long long count = 1);

  // How many patterns were added, and how many of them differ.
  long long Total() const { return total_; }
  std::size_t Distinct() {
    Settle();
    return distinct_;
  }

  // The bytes charged against the limit so far.
  std::size_t MemoryHeld() const { return memoryHeld_; }

  // How many slots past their first the lookups of the lines held now
  // read, all lines together: how evenly the hash spreads them.
  std::size_t Displacement();

  // Hands `take` every row of the table in order, its count and its eight
  // pattern fields (a line is the count, a tab, the fields and "\n");
  // highest count first, equal counts bytewise by line. Stops when `take`
  // returns false, and returns whether every row was taken. No pattern may
  // be added afterwards. Throws std::bad_alloc when memory runs out.
  bool WriteTable(
      const std::function<bool(std::uint64_t, std::string_view)>& take);

  // Gives back the memory that only adding needs, the slots, so that what
  // reads the lines next has it. No pattern may be added afterwards.
  void StopAdding();

  // The same bytewise by line alone, counts aside: a sorted run that
  // merges with others line by line.
  bool WriteByLine(
      const std::function<bool(std::uint64_t, std::string_view)>& take);

  // Hands `take` every distinct line, its count and its eight pattern
  // fields, in the order the lines first came. The views stay valid while
  // the counter lives and no pattern is added.
  void ForEachLine(
      const std::function<void(long long, std::string_view)>& take);

  struct Entry;

 private:
  // A distinct line is kept as an entry: its count and its size, eight
  // bytes each, then its bytes, then padding up to the next kUnit bytes,
  // where the next entry starts. An entry is found by its number of kUnit
  // bytes from the start of the blocks laid end to end, which a slot holds
  // in 32 bits: up to 64 GiB of lines. A block is a whole number of
  // chunks, most of them one.
  static constexpr std::size_t kUnit = 16;
  // One huge page: a counter held to a few megabytes still gets blocks.
  static constexpr std::size_t kChunk = std::size_t{1} << 21;
  static constexpr std::size_t kUnitsPerChunk = kChunk / kUnit;
  static constexpr std::size_t kFirstSlots = std::size_t{1} << 16;

  // Takes `bytes` more of the memory limit, or throws.
  void Charge(std::size_t bytes);
  std::uint64_t Hash(const char* bytes, std::size_t size) const;
  Entry* EntryAt(std::uint64_t unit) const;
  // Starts a block with room for `need` bytes.
  void NewBlock(std::size_t need);
  // Hands `take` every entry in the order its line first came.
  template <class Take>
  void ForEachEntry(Take&& take) const;
  // The slot where the lookup of a line with `hash` starts.
  std::size_t HomeSlot(std::uint64_t hash) const { return hash >> slotShift_; }
  // Doubles the slots.
  void Grow();
  // WriteTable, or WriteByLine unless `byCount`.
  bool WriteSorted(
      bool byCount,
      const std::function<bool(std::uint64_t, std::string_view)>& take);
  // Makes room for `lines` more distinct lines: their sort keys and slots.
  void MakeRoom(std::size_t lines);
  // Looks up the lines that wait, for which Add made room.
  void LookUpWaiting();
  // Looks up every line that waits.
  void Settle();

  std::uint64_t seed_;
  // The secret XXH3 derives from seed_ for lines of more than 240 bytes,
  // derived once instead of for every such line.
  static constexpr std::size_t kSecretSize = 192;
  alignas(64) unsigned char secret_[kSecretSize];
  std::size_t memoryLimit_;
  std::size_t memoryHeld_ = 0;
  // Per slot the upper 32 bits of its line's hash, then its entry's unit;
  // 0 for an empty slot (no entry starts at unit 0). A power of two long,
  // at most three quarters full. A line's lookup starts at the slot its
  // hash's upper bits number, so the slot alone places it again in a table
  // twice as long, and no line is read or hashed again to grow. Lines that
  // start at one slot share the upper bits of their tags; the bits below
  // still tell nearly all of them apart before a line is read.
  PageArray<std::uint64_t> slots_;
  // 64 less the bits that number a slot.
  unsigned slotShift_;
  // How many distinct lines the memory taken covers the sort keys of.
  std::size_t keysCharged_ = 0;
  std::vector<PageArray<char>> blocks_;
  // Where the entries end in each block but the last, which ends at used_.
  std::vector<std::size_t> blockEnds_;
  // Where each chunk starts, by its number.
  std::vector<char*> chunks_;
  // The unit where the last block starts, its size and the bytes taken.
  std::uint64_t blockUnit_ = 0;
  std::size_t blockSize_ = 0;
  std::size_t used_ = 0;
  // The lines added but not yet looked up, oldest first, in the entries
  // from used_ on: their sizes and hashes, and the bytes they take.
  static constexpr std::size_t kBatch = 8;
  struct Waiting {
    std::size_t Size;
    std::uint64_t Hash;
  };
  Waiting waiting_[kBatch] = {};
  std::size_t waitingCount_ = 0;
  std::size_t waitingBytes_ = 0;
  long long total_ = 0;
  std::size_t distinct_ = 0;
};

#endif  // ANNOTATOR_PATTERNTABLE_H_
