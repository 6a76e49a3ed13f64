#ifndef ANNOTATOR_PATTERNTABLE_H_
#define ANNOTATOR_PATTERNTABLE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ExtractedPattern.h"

// Appends `field` as one field of a tab-separated line. A tab, a backslash,
// a carriage return or a line feed inside it is written as "\t", "\\", "\r"
// or "\n", as PostgreSQL's text format does, so that a line splits at its
// own tabs alone and every field reads back unchanged.
void AppendTsvField(std::string_view field, std::string& line);

// Appends the eight pattern fields of a table line, each escaped and set off
// by tabs, without a line end: type, SL words, TL words, alignment,
// C-structure, constituent sequence, score, and the x-side constraints
// joined by single blanks. A pattern that carries its Fields gives them as
// they are.
void AppendPatternFields(const ExtractedPattern& pattern, std::string& line);

// Appends the --tsv line of `pattern`: the record number (from 1), the
// sentence id, the eight pattern fields and "\n".
void AppendTsvLine(std::size_t record, std::string_view sentenceId,
                   const ExtractedPattern& pattern, std::string& out);

// Appends the --count line of a pattern seen `count` times whose eight
// fields are `fields` as AppendPatternFields wrote them.
void AppendTableRow(long long count, std::string_view fields, std::string& out);

// The sentence id of a record's header line: the text after its first
// "SentenceIndex:" with blanks trimmed at both ends; empty for a bare header.
std::string_view SentenceId(std::string_view header);

// The distinct patterns of a run with how often each occurred. Memory grows
// with the number of distinct patterns, not with the number added: each
// distinct line is kept once, with its count beside it, in large blocks of
// its own, and found again through an open hash table of small slots.
class PatternCounter {
 public:
  PatternCounter();
  PatternCounter(const PatternCounter&) = delete;
  PatternCounter& operator=(const PatternCounter&) = delete;

  // Counts `pattern`. Throws std::bad_alloc when memory runs out.
  void Add(const ExtractedPattern& pattern);

  // How many patterns were added, and how many of them differ.
  long long Total() const { return total_; }
  std::size_t Distinct() {
    Settle();
    return rows_.size();
  }

  // Hands `take` every row of the table in order, its count and its eight
  // pattern fields (a line is the count, a tab, the fields and "\n");
  // highest count first, equal counts bytewise by line. Stops when `take`
  // returns false, and returns whether every row was taken. No pattern may
  // be added afterwards. Throws std::bad_alloc when memory runs out.
  bool WriteTable(const std::function<bool(long long, std::string_view)>& take);

 private:
  // Memory mapped whole, zero-filled; it never moves, so entries stay where
  // they were written.
  struct Pages {
    explicit Pages(std::size_t size);
    Pages(Pages&& other) noexcept;
    Pages& operator=(Pages&& other) noexcept;
    ~Pages();
    char* Data = nullptr;
    std::size_t Size;
  };
  // A distinct line is kept as an entry: its count and its size, eight
  // bytes each, then its bytes, then padding up to the next kUnit bytes,
  // where the next entry starts. An entry is found by its number of kUnit
  // bytes from the start of the blocks laid end to end, which a slot holds
  // in 32 bits: up to 64 GiB of lines. A block is a whole number of
  // chunks, most of them one.
  static constexpr std::size_t kUnit = 16;
  static constexpr std::size_t kChunk = std::size_t{1} << 23;
  static constexpr std::size_t kUnitsPerChunk = kChunk / kUnit;
  static constexpr std::size_t kFirstSlots = std::size_t{1} << 16;

  std::uint64_t* Slots() {
    return reinterpret_cast<std::uint64_t*>(slots_.Data);
  }
  char* EntryAt(std::uint64_t unit) const {
    return chunks_[unit / kUnitsPerChunk] + unit % kUnitsPerChunk * kUnit;
  }
  // Starts a block with room for `need` bytes after the lines that wait,
  // which take `held` bytes and move there.
  void NewBlock(std::size_t need, std::size_t held);
  // Looks up the line of `size` bytes with `hash` in the entry at used_
  // in the last block: counts it once more, or keeps it there as a new
  // entry (true).
  bool Insert(std::uint64_t hash, std::size_t size);
  // The unit of the first entry whose slot holds the upper half of `hash`,
  // or 0 when an empty slot comes first.
  std::uint64_t Candidate(std::uint64_t hash);
  // Looks up the first line that waits.
  void LookUpFirst();
  // Looks up every line that waits.
  void Settle();
  // Doubles the slots.
  void Grow();

  // Per slot the upper 32 bits of its line's hash, then its entry's unit;
  // 0 for an empty slot (no entry starts at unit 0). A power of two long,
  // at most three quarters full.
  Pages slots_;
  std::size_t slotCount_;
  // Every entry's unit, in the order the lines came.
  std::vector<std::uint32_t> rows_;
  std::vector<Pages> blocks_;
  // Where each chunk starts, by its number.
  std::vector<char*> chunks_;
  // The unit where the last block starts, and the bytes taken in it.
  std::uint64_t blockUnit_ = 0;
  std::size_t used_ = 0;
  // The lines added but not yet looked up, in the entries from used_ on:
  // their sizes and hashes, oldest first from waitingFirst_ round a ring
  // (moving them would make the next read of one wait for both halves of
  // its store).
  struct Waiting {
    std::size_t Size;
    std::uint64_t Hash;
  };
  Waiting& WaitingAt(std::size_t i) {
    return waiting_[(waitingFirst_ + i) % 3];
  }
  Waiting waiting_[3] = {};
  std::size_t waitingFirst_ = 0;
  std::size_t waitingCount_ = 0;
  long long total_ = 0;
};

#endif  // ANNOTATOR_PATTERNTABLE_H_
