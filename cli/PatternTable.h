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
// distinct line is kept once, in large blocks of its own, and found again
// through an open hash table of small slots.
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
    return rowCount_;
  }

  // Hands `take` every row of the table in order, its count and its eight
  // pattern fields (a line is the count, a tab, the fields and "\n");
  // highest count first, equal counts bytewise by line. Stops when `take`
  // returns false, and returns whether every row was taken. The table is
  // sorted in place, so no pattern may be added afterwards.
  bool WriteTable(const std::function<bool(long long, std::string_view)>& take);

 private:
  // A distinct line, with its first sixteen bytes (zero-padded) as two
  // big-endian numbers, so that sorting seldom has to look at the line.
  struct Row {
    std::uint64_t Prefix[2];
    long long Count;
    const char* Data;
    std::size_t Size;
  };
  // Memory mapped whole, zero-filled; it never moves, so rows point into
  // the blocks of lines.
  struct Pages {
    explicit Pages(std::size_t size);
    Pages(Pages&& other) noexcept;
    Pages& operator=(Pages&& other) noexcept;
    ~Pages();
    char* Data = nullptr;
    std::size_t Size;
  };
  static constexpr std::size_t kFirstSlots = std::size_t{1} << 16;

  std::uint64_t* Slots() {
    return reinterpret_cast<std::uint64_t*>(slots_.Data);
  }
  Row* Rows() { return reinterpret_cast<Row*>(rows_.Data); }
  // Looks up the line of `size` bytes with `hash` at the end of the last
  // block: counts it once more, or keeps it as a new row (true).
  bool Insert(std::uint64_t hash, std::size_t size);
  // Looks up the line that waits, if one does.
  void Settle();
  // Doubles the slots, and the room for rows with them.
  void Grow();

  // Per slot the upper 32 bits of its line's hash, then the index of its
  // row plus 1; 0 for an empty slot. A power of two long, under half full.
  Pages slots_;
  std::size_t slotCount_;
  Pages rows_;
  std::size_t rowCount_ = 0;
  std::vector<Pages> blocks_;  // the distinct lines
  std::size_t used_ = 0;       // bytes taken in the last block
  // Whether the last line added waits to be looked up, its size and hash.
  bool waiting_ = false;
  std::size_t waitingSize_ = 0;
  std::uint64_t waitingHash_ = 0;
  long long total_ = 0;
};

#endif  // ANNOTATOR_PATTERNTABLE_H_
