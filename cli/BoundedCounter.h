#ifndef ANNOTATOR_BOUNDEDCOUNTER_H_
#define ANNOTATOR_BOUNDEDCOUNTER_H_

#include <cstddef>
#include <memory>
#include <string>

#include "PatternTable.h"
#include "SortedRuns.h"

// --count's table in bounded memory: a PatternCounter held to the bound,
// whose lines go to a run on disk, bytewise by line, whenever it fills, and
// which then starts again empty. The table written is the one a counter
// without bound would write.
class BoundedCounter {
 public:
  // Holds at most about `memory` bytes; runs go to `dir`.
  BoundedCounter(std::size_t memory, std::string dir);

  // Counts `pattern`. Throws TemporaryFileError when a run cannot be
  // written, std::bad_alloc when memory runs out before the bound.
  void Add(const ExtractedPattern& pattern);

  long long Total() const {
    return total_ + (counter_ ? counter_->Total() : 0);
  }
  // Runs written so far.
  std::size_t Runs() const { return lines_.Runs(); }

  // Hands `take` every row of the table, as PatternCounter::WriteTable
  // does; returns whether every row was taken. Throws as Add does. Nothing
  // may be added afterwards.
  bool WriteTable(const RowTaker& take);

 private:
  // Writes the counter's lines as a run.
  void Spill();

  std::size_t memory_;
  std::string dir_;
  std::unique_ptr<PatternCounter> counter_;
  long long total_ = 0;
  SortedRuns lines_;
};

#endif  // ANNOTATOR_BOUNDEDCOUNTER_H_
