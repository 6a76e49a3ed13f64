#ifndef ANNOTATOR_PATTERNSCORER_H_
#define ANNOTATOR_PATTERNSCORER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ExtractOptions.h"
#include "ExtractedPattern.h"
#include "PatternTable.h"
#include "WordTable.h"

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
class PatternScorer {
 public:
  // Counts `pattern`; throws std::bad_alloc as PatternCounter::Add does.
  void Add(const ExtractedPattern& pattern) { counter_.Add(pattern); }
  // Counts the word links of a record whose patterns were all added.
  void AddRecord(const ExampleRecordView& record) { words_.Add(record); }
  // Counts `count` patterns whose eight fields are `fields`, as a --count
  // line holds them after its count and tab: a table counted elsewhere. A
  // line comes at most once, and not through Add too.
  void AddCounted(long long count, std::string_view fields);

  long long Patterns() const { return counter_.Total() + countedTotal_; }

  // Groups the patterns into entries and scores them; once, after the last
  // Add. Returns the number of entries.
  std::size_t Score(ExtractOptions::Smoothing smoothing);

  // Hands `take` every entry counted at least `minCount` times, SL sides by
  // decreasing count, then bytewise by their fields; the entries of a side
  // by decreasing count, then bytewise by TL words. Stops when `take`
  // returns false, and returns whether every entry was taken.
  bool ForEachEntry(std::size_t minCount,
                    const std::function<bool(const ScoredEntry&)>& take);

  const WordTable& Words() const { return words_; }
  // Where word links counted elsewhere go (WordTable::AddPair).
  WordTable& Words() { return words_; }

  // The discounts the smoothings apply to an entry counted `count` times,
  // given N_1 to N_10 (`countsOfCounts[k]` entries counted k times, [0]
  // unused): what Good-Turing multiplies a count of 1 to 8 by, and the D
  // Kneser-Ney subtracts.
  static double GoodTuringFactor(const double (&countsOfCounts)[11],
                                 long long count);
  static double KneserNeyDiscount(const double (&countsOfCounts)[11],
                                  long long count);

 private:
  // A distinct line of the counter and where its fields end.
  struct Row {
    const char* Line;
    std::uint32_t End[ScoredEntry::kFields];
    long long Count;
    // The first eight bytes of the type and of the SL words as they read
    // unescaped, zero-padded, big-endian: most rows differ in them, and
    // the sort then never reads the lines, which lie all over memory.
    std::uint64_t Prefix[2];
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
  // The entry's lexical weights, TL given SL and SL given TL.
  void Lexical(const Row& row, double& tlGivenSL, double& slGivenTL);
  // The word table's numbers of the blank-separated words of `field`.
  void WordIds(std::string_view field, bool source,
               std::vector<std::uint32_t>& ids);

  PatternCounter counter_;
  // AddCounted's lines end to end, and the end and count of each.
  std::string counted_;
  std::vector<std::pair<std::size_t, long long>> countedEnds_;
  long long countedTotal_ = 0;
  WordTable words_;
  std::vector<Row> rows_;
  std::vector<Entry> entries_;
  std::vector<Side> sides_;
  std::vector<std::uint32_t> sideOrder_;
  std::vector<long long> targetCounts_;
  std::vector<std::uint32_t> targetSides_;
  ExtractOptions::Smoothing smoothing_ = ExtractOptions::Smoothing::None;
  double countsOfCounts_[11] = {};
  // Scratch space for the lexical weights.
  std::vector<std::uint32_t> sl_, tl_;
  std::vector<std::pair<int, int>> links_;
  std::vector<double> tlSums_, slSums_;
  std::vector<int> tlLinked_, slLinked_;
  std::string unescaped_;
};

// Bytewise order of two table fields as they read unescaped: negative,
// zero or positive.
int CompareFields(std::string_view a, std::string_view b);

#endif  // ANNOTATOR_PATTERNSCORER_H_
