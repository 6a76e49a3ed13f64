#ifndef ANNOTATOR_WORDTABLE_H_
#define ANNOTATOR_WORDTABLE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FlatIds.h"
#include "TrainingExampleReader.h"

// How often each SL word is linked to each TL word over the records of a
// run, the empty word (NULL) standing for no link: the word translation
// table of a phrase-based trainer, from which the lexical weights come.
class WordTable {
 public:
  // A word's number; 0 is NULL, kUnknown a word never counted.
  static constexpr std::uint32_t kUnknown = ~std::uint32_t{0};

  // Counts the links of a record: each distinct link inside both sentences
  // once, an unlinked SL word once with NULL, an unlinked TL word once with
  // NULL. A link naming a word beyond either sentence is left out, as if
  // absent.
  void Add(const ExampleRecordView& record);
  // Counts the link of `sl` and `tl` `count` times, as Add would have
  // counted it; an empty word stands for NULL.
  void AddPair(std::string_view sl, std::string_view tl, long long count);

  // Hands `take` every pair counted with its count, NULL as an empty word
  // (what AddPair takes to make the table again), in the order `before` puts
  // the words of two pairs in (SL and TL word each); stops when `take`
  // returns false, and returns whether every pair was taken.
  using PairWords = std::pair<std::string_view, std::string_view>;
  bool ForEachPair(
      const std::function<bool(const PairWords&, const PairWords&)>& before,
      const std::function<bool(std::string_view, std::string_view, long long)>&
          take) const;

  // About the bytes the table holds: it grows with the vocabulary and the
  // pairs of words linked, whatever the number of records.
  std::size_t Bytes() const;

  std::uint32_t SourceId(std::string_view word) const;
  std::uint32_t TargetId(std::string_view word) const;

  // w(t|s) = c(s,t) / c(s) and w(s|t) = c(s,t) / c(t), the sums taken over
  // the other side with NULL included; 0 for words never counted.
  double TargetGivenSource(std::uint32_t source, std::uint32_t target) const;
  double SourceGivenTarget(std::uint32_t source, std::uint32_t target) const;
  // Both at once, for one look-up of the pair.
  void Weights(std::uint32_t source, std::uint32_t target,
               double& targetGivenSource, double& sourceGivenTarget) const;

  // Hands `take` the lines of Moses' lex.f2e (`sourceToTarget`: "TL SL
  // w(t|s)") or lex.e2f ("SL TL w(s|t)"), each with its "\n", sorted
  // bytewise; stops when `take` returns false, and returns whether every
  // line was taken.
  bool ForEachLine(bool sourceToTarget,
                   const std::function<bool(std::string_view)>& take) const;

 private:
  // The words of one side, numbered from 1 in the order they come, 0
  // standing for NULL: their texts end to end, where each ends, and how
  // often each was linked.
  struct Side {
    std::uint32_t Find(std::string_view word) const;
    std::uint32_t Intern(std::string_view word);
    std::string_view Text(std::uint32_t id) const;
    std::size_t Bytes() const;

    FlatIds Ids;  // a word's number less one
    std::string Texts = "NULL";
    std::vector<std::size_t> Ends{Texts.size()};
    std::vector<long long> Sums{0};
  };
  struct PairCount {
    std::uint64_t Key;  // source << 32 | target
    long long Count;
  };
  long long Pair(std::uint32_t source, std::uint32_t target) const;
  // The pair numbers in the order `before(a, b)` of two of them gives: the
  // pairs are sorted as numbers, not as text, so that a table of millions
  // of pairs is not held a second time.
  template <class Before>
  std::vector<std::uint32_t> SortedPairs(const Before& before) const;
  // Appends the line of pairs_[pair] that ForEachLine hands on.
  void AppendLine(std::size_t pair, bool sourceToTarget,
                  std::string& line) const;
  void Count(std::uint32_t source, std::uint32_t target, long long count);

  Side sources_, targets_;
  FlatIds pairIds_;
  std::vector<PairCount> pairs_;
  // Scratch space reused from record to record.
  std::vector<std::uint32_t> slIds_, tlIds_;
  std::vector<char> slLinked_, tlLinked_;
  std::vector<std::pair<int, int>> links_;
};

#endif  // ANNOTATOR_WORDTABLE_H_
