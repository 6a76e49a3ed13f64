#ifndef ANNOTATOR_PATTERNSCORER_H_
#define ANNOTATOR_PATTERNSCORER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ExtractOptions.h"
#include "ExtractedPattern.h"
#include "PageMemory.h"
#include "PatternTable.h"
#include "WordTable.h"

class ScoreRuns;

// One line of the scored table. The fields are as the --count table holds
// them (escaped for a tab-separated line): type, SL words, TL words,
// alignment, C-structure, constituent sequence, score, x-side constraints.
struct ScoredEntry {
  enum Field {
    kType,
    kSL,
    kTL,
    kAlignment,
    kCStructure,
    kConstSeq,
    kScore,
    kConstraints,
    kFields
  };
  std::string_view Fields[kFields];
  long long Count = 0;
  long long SourceCount = 0;
  long long TargetCount = 0;
  double TLGivenSL = 0;
  double LexTLGivenSL = 0;
  double SLGivenTL = 0;
  double LexSLGivenTL = 0;
};

// The scored pattern table of a run: the patterns counted by (SL side, TL
// side), where the SL side is every field but the TL words and the
// alignment, with both conditional probabilities and both lexical weights
// of each pair, the latter from the word table of the records.
//
// Held to a bound, the word table included, the patterns it leaves are
// counted in memory until they fill it; those that do not fit go to sorted
// runs, and the table is then grouped, scored and ordered through runs
// (ScoreRuns) into the same lines.
class PatternScorer {
 public:
  // Without bound.
  PatternScorer();
  // Holds about `memory` bytes, the runs beyond that going to `dir`.
  PatternScorer(std::size_t memory, std::string dir);
  ~PatternScorer();
  PatternScorer(const PatternScorer&) = delete;
  PatternScorer& operator=(const PatternScorer&) = delete;

  // Counts `pattern`. Throws TemporaryFileError when a run cannot be
  // written, std::bad_alloc as PatternCounter::Add does.
  void Add(const ExtractedPattern& pattern);
  // Counts `count` patterns of `fields`, the eight tab-separated fields of
  // an extract_patterns --count line after its count, as Add does.
  void AddCounted(long long count, std::string_view fields);
  // Counts the word links of a record, whether or not it gave patterns.
  void AddRecord(const ExampleRecordView& record);
  // Counts a word link `count` times (WordTable::AddPair).
  void AddPair(std::string_view sl, std::string_view tl, long long count);

  long long Patterns() const;
  // Runs written so far.
  std::size_t Runs() const;

  enum class Layout { Table, Moses };
  // Hands `put` every line of the table in `layout` (Table without its
  // header), entries counted at least `minCount` times; Table lines in
  // ForEachEntry's order, Moses lines bytewise. Once, after the last Add.
  // Counts the lines in `written`; returns false as soon as `put` does.
  // Throws as Add does.
  bool Write(ExtractOptions::Smoothing smoothing, std::size_t minCount,
             Layout layout, const std::function<bool(std::string_view)>& put,
             long long& written);

  // Groups the patterns into entries and scores them in memory; once,
  // after the last Add, and only for a scorer without bound. Returns the
  // number of entries.
  std::size_t Score(ExtractOptions::Smoothing smoothing);

  // Hands `take` every entry counted at least `minCount` times, SL sides by
  // decreasing count, then bytewise by their fields; the entries of a side
  // by decreasing count, then bytewise by TL words. Stops when `take`
  // returns false, and returns whether every entry was taken.
  bool ForEachEntry(std::size_t minCount,
                    const std::function<bool(const ScoredEntry&)>& take);

  const WordTable& Words() const { return words_; }

  // The discounts the smoothings apply to an entry counted `count` times,
  // given N_1 to N_10 (`countsOfCounts[k]` entries counted k times, [0]
  // unused): what Good-Turing multiplies a count of 1 to 8 by, and the D
  // Kneser-Ney subtracts.
  static double GoodTuringFactor(const double (&countsOfCounts)[11],
                                 long long count);
  static double KneserNeyDiscount(const double (&countsOfCounts)[11],
                                  long long count);
  // Sets both conditional probabilities of `scored` from its three counts,
  // smoothed given N_1 to N_10, the number of entries, the entries of its
  // SL side and the SL sides of its TL words.
  static void Probabilities(ExtractOptions::Smoothing smoothing,
                            const double (&countsOfCounts)[11], double entries,
                            double sideEntries, double targetSides,
                            ScoredEntry& scored);

 private:
  // A distinct line of the counter and where its fields end.
  struct Row {
    const char* Line;
    std::uint32_t End[ScoredEntry::kFields];
    long long Count;
    // The leading bytes of the type and of the SL words as numbers (Score
    // tells how): most rows differ in them, and the sort then never reads
    // the lines, which lie all over memory.
    std::uint64_t Type;
    std::uint64_t Words[2];
    std::string_view Field(int field) const;
  };
  struct Entry {
    std::uint32_t Row;  // the row of its most frequent alignment
    std::uint32_t Side;
    std::uint32_t Target;
    long long Count;
  };
  struct Side {
    std::uint32_t First;
    std::uint32_t Entries;
    long long Count;
  };
  // Counts `count` patterns of `pattern`.
  void Count(const ExtractedPattern& pattern, long long count);
  // From now on the patterns the counter does not hold go to runs.
  void Fill();
  // Fills the counter once it and the word table reach its share, and
  // gives the runs what they leave.
  void Charge();
  // Hands the counter's lines to the runs and lets it go.
  void SpillCounter();
  // What runs may hold beside the counter, the word table and `besides`.
  std::size_t RunsShare(std::size_t besides = 0) const;

  std::size_t memory_;
  std::string dir_;
  std::unique_ptr<PatternCounter> counter_;
  bool full_ = false;
  // The patterns the counter does not hold; made when it fills.
  std::unique_ptr<ScoreRuns> runs_;
  long long spilled_ = 0;
  std::string line_;
  WordTable words_;
  PageVector<Row> rows_;
  PageVector<Entry> entries_;
  std::vector<Side> sides_;
  std::vector<std::uint32_t> sideOrder_;
  std::vector<long long> targetCounts_;
  std::vector<std::uint32_t> targetSides_;
  ExtractOptions::Smoothing smoothing_ = ExtractOptions::Smoothing::None;
  double countsOfCounts_[11] = {};
};

// Bytewise order of two table fields as they read unescaped: negative,
// zero or positive.
int CompareFields(std::string_view a, std::string_view b);

#endif  // ANNOTATOR_PATTERNSCORER_H_
