#ifndef ANNOTATOR_SCORERUNS_H_
#define ANNOTATOR_SCORERUNS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ExtractOptions.h"
#include "SortedRuns.h"
#include "WordTable.h"

// score_patterns' table of more patterns than memory holds, made through
// three sets of sorted runs in turn: the patterns by SL side, where each
// side's entries and counts come together; the entries by TL words, where
// the counts of those do; and the scored lines in the table's order. Only
// the entries of one SL side or of one TL side are held at once.
class ScoreRuns {
 public:
  // Each set holds at most about `memory` bytes; runs go to `dir`.
  ScoreRuns(std::size_t memory, std::string dir);

  // Takes `count` patterns of `fields`, the eight fields of a --count line.
  // Throws TemporaryFileError when a run cannot be written.
  void Add(std::uint64_t count, std::string_view fields);

  void SetMemory(std::size_t memory);
  // Runs written so far, in all three sets.
  std::size_t Runs() const { return bySide_.Runs() + runs_; }

  // PatternScorer::Write of the patterns taken, their lexical weights from
  // `words`. Nothing may be added afterwards.
  bool Write(const WordTable& words, ExtractOptions::Smoothing smoothing,
             std::size_t minCount, bool moses,
             const std::function<bool(std::string_view)>& put,
             long long& written);

 private:
  std::size_t memory_;
  std::string dir_;
  SortedRuns bySide_;
  std::size_t runs_ = 0;
  std::string key_;
};

#endif  // ANNOTATOR_SCORERUNS_H_
