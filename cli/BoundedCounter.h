#ifndef ANNOTATOR_BOUNDEDCOUNTER_H_
#define ANNOTATOR_BOUNDEDCOUNTER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "PatternTable.h"
#include "SortedRuns.h"

// --count's table in bounded memory: a PatternCounter held to most of the
// bound, which once full goes on counting the lines it holds, while the
// lines it does not hold gather in sorted runs on disk. Lines that come
// often come early, so most of them stay counted in memory. The table
// written is the one a counter without bound would write.
class BoundedCounter {
 public:
  // Holds at most about `memory` bytes; runs go to `dir`.
  BoundedCounter(std::size_t memory, std::string dir);

  // Counts `pattern`. Throws TemporaryFileError when a run cannot be
  // written, std::bad_alloc when memory runs out before the bound.
  void Add(const ExtractedPattern& pattern);
  // Counts `count` patterns of `fields`, the eight fields of a --count
  // line after its count, as Add counts one: how tables add up.
  void AddCounted(std::uint64_t count, std::string_view fields);

  // The bound it was given.
  std::size_t Memory() const { return memory_; }
  long long Total() const {
    return total_ + (counter_ ? counter_->Total() : 0);
  }
  // Runs written so far.
  std::size_t Runs() const { return others_.Runs(); }

  // Hands `take` every row of the table, as PatternCounter::WriteTable
  // does; returns whether every row was taken. Throws as Add does. Nothing
  // may be added afterwards.
  bool WriteTable(const RowTaker& take);
  // The same bytewise by line alone, as PatternCounter::WriteByLine does.
  bool WriteByLine(const RowTaker& take);

 private:
  // Counts `count` patterns of `pattern`.
  void Count(const ExtractedPattern& pattern, std::uint64_t count);
  // Once full: puts the counter's lines in a run of their own and hands
  // its memory to the merge.
  void RetireCounter();

  std::size_t memory_;
  std::unique_ptr<PatternCounter> counter_;
  bool full_ = false;
  // The lines the full counter does not hold, each counted once.
  SortedRuns others_;
  long long total_ = 0;
  std::string line_;
};

#endif  // ANNOTATOR_BOUNDEDCOUNTER_H_
