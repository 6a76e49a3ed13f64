#include "WordTable.h"

#include <algorithm>
#include <cstdio>

#include "records/AlignmentLinks.h"
#include "text/SplitText.h"

namespace {

std::uint64_t Key(std::uint32_t source, std::uint32_t target) {
  return std::uint64_t{source} << 32 | target;
}

// How `a` and `b` order as the starts of lines where a blank follows each:
// below 0, 0 (the same word) or above 0; kUndecided where the longer holds
// a blank at the shorter's end, so that only the whole lines can tell.
constexpr int kUndecided = 2;
int CompareWords(std::string_view a, std::string_view b) {
  const std::size_t same = std::min(a.size(), b.size());
  if (const int order = a.substr(0, same).compare(b.substr(0, same))) {
    return order < 0 ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  const auto x = static_cast<unsigned char>(same < a.size() ? a[same] : ' ');
  const auto y = static_cast<unsigned char>(same < b.size() ? b[same] : ' ');
  return x == y ? kUndecided : x < y ? -1 : 1;
}

}  // namespace

std::string_view WordTable::Side::Text(std::uint32_t id) const {
  const std::size_t from = id == 0 ? 0 : Ends[id - 1];
  return std::string_view(Texts).substr(from, Ends[id] - from);
}

std::uint32_t WordTable::Side::Find(std::string_view word) const {
  const std::uint32_t found =
      Ids.Find(Ids.Hash(word),
               [&](std::uint32_t other) { return Text(other + 1) == word; });
  return found == FlatIds::kAbsent ? kUnknown : found + 1;
}

std::uint32_t WordTable::Side::Intern(std::string_view word) {
  bool added = false;
  const std::uint32_t id = Ids.Insert(
      Ids.Hash(word),
      [&](std::uint32_t other) { return Text(other + 1) == word; }, added);
  if (added) {
    Texts.append(word);
    Ends.push_back(Texts.size());
    Sums.push_back(0);
  }
  return id + 1;
}

std::size_t WordTable::Side::Bytes() const {
  return Texts.capacity() + Ends.capacity() * sizeof(std::size_t) +
         Sums.capacity() * sizeof(long long) + Ids.Bytes();
}

std::uint32_t WordTable::SourceId(std::string_view word) const {
  return sources_.Find(word);
}

std::uint32_t WordTable::TargetId(std::string_view word) const {
  return targets_.Find(word);
}

void WordTable::Add(const ExampleRecordView& record) {
  // The words as the extractor numbers them: an SL token without a word
  // ("/x") takes no position.
  slIds_.clear();
  ForEachSLToken(FieldValue(record.SL),
                 [this](std::string_view word, std::string_view, bool) {
                   if (!word.empty()) {
                     slIds_.push_back(sources_.Intern(word));
                   }
                 });
  tlIds_.clear();
  ForEachSentenceToken(FieldValue(record.TL), [this](std::string_view word) {
    tlIds_.push_back(targets_.Intern(word));
  });
  // Not CollectLinks: where one link lies beyond the TL sentence, it drops
  // them all, and the links inside still count here.
  LinksInside(FieldValue(record.Alignment), slIds_.size(), tlIds_.size(),
              links_);
  slLinked_.assign(slIds_.size(), 0);
  tlLinked_.assign(tlIds_.size(), 0);
  const auto count = [this](std::uint32_t source, std::uint32_t target) {
    Count(source, target, 1);
  };
  for (const auto& [sl, tl] : links_) {
    count(slIds_[sl - 1], tlIds_[tl - 1]);
    slLinked_[sl - 1] = 1;
    tlLinked_[tl - 1] = 1;
  }
  for (std::size_t i = 0; i < slIds_.size(); ++i) {
    if (!slLinked_[i]) count(slIds_[i], 0);
  }
  for (std::size_t i = 0; i < tlIds_.size(); ++i) {
    if (!tlLinked_[i]) count(0, tlIds_[i]);
  }
}

void WordTable::Count(std::uint32_t source, std::uint32_t target,
                      long long count) {
  const std::uint64_t key = Key(source, target);
  bool added = false;
  const std::uint32_t id = pairIds_.Insert(
      pairIds_.Hash(key),
      [&](std::uint32_t pair) { return pairs_[pair].Key == key; }, added);
  if (added) pairs_.push_back(PairCount{key, 0});
  pairs_[id].Count += count;
  sources_.Sums[source] += count;
  targets_.Sums[target] += count;
}

void WordTable::AddPair(std::string_view sl, std::string_view tl,
                        long long count) {
  const std::uint32_t source = sl.empty() ? 0 : sources_.Intern(sl);
  const std::uint32_t target = tl.empty() ? 0 : targets_.Intern(tl);
  Count(source, target, count);
}

template <class Before>
std::vector<std::uint32_t> WordTable::SortedPairs(const Before& before) const {
  std::vector<std::uint32_t> order(pairs_.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    order[i] = static_cast<std::uint32_t>(i);
  }
  std::sort(order.begin(), order.end(), before);
  return order;
}

bool WordTable::ForEachPair(
    const std::function<bool(const PairWords&, const PairWords&)>& before,
    const std::function<bool(std::string_view, std::string_view, long long)>&
        take) const {
  const auto words = [this](std::uint32_t pair) {
    const auto source = static_cast<std::uint32_t>(pairs_[pair].Key >> 32);
    const auto target = static_cast<std::uint32_t>(pairs_[pair].Key);
    return PairWords(source == 0 ? std::string_view() : sources_.Text(source),
                     target == 0 ? std::string_view() : targets_.Text(target));
  };
  const std::vector<std::uint32_t> order =
      SortedPairs([&](std::uint32_t a, std::uint32_t b) {
        return before(words(a), words(b));
      });
  for (const std::uint32_t pair : order) {
    const PairWords both = words(pair);
    if (!take(both.first, both.second, pairs_[pair].Count)) return false;
  }
  return true;
}

std::size_t WordTable::Bytes() const {
  return sources_.Bytes() + targets_.Bytes() + pairIds_.Bytes() +
         pairs_.capacity() * sizeof(PairCount);
}

long long WordTable::Pair(std::uint32_t source, std::uint32_t target) const {
  const std::uint64_t key = Key(source, target);
  const std::uint32_t found = pairIds_.Find(
      pairIds_.Hash(key),
      [&](std::uint32_t pair) { return pairs_[pair].Key == key; });
  return found == FlatIds::kAbsent ? 0 : pairs_[found].Count;
}

double WordTable::TargetGivenSource(std::uint32_t source,
                                    std::uint32_t target) const {
  const std::vector<long long>& sums = sources_.Sums;
  if (source >= sums.size() || sums[source] == 0) return 0;
  return static_cast<double>(Pair(source, target)) /
         static_cast<double>(sums[source]);
}

double WordTable::SourceGivenTarget(std::uint32_t source,
                                    std::uint32_t target) const {
  const std::vector<long long>& sums = targets_.Sums;
  if (target >= sums.size() || sums[target] == 0) return 0;
  return static_cast<double>(Pair(source, target)) /
         static_cast<double>(sums[target]);
}

void WordTable::Weights(std::uint32_t source, std::uint32_t target,
                        double& targetGivenSource,
                        double& sourceGivenTarget) const {
  const std::vector<long long>& sourceSums = sources_.Sums;
  const std::vector<long long>& targetSums = targets_.Sums;
  const auto pair = static_cast<double>(Pair(source, target));
  const bool known = source < sourceSums.size() && target < targetSums.size();
  targetGivenSource = known && sourceSums[source] != 0
                          ? pair / static_cast<double>(sourceSums[source])
                          : 0;
  sourceGivenTarget = known && targetSums[target] != 0
                          ? pair / static_cast<double>(targetSums[target])
                          : 0;
}

void WordTable::AppendLine(std::size_t pair, bool sourceToTarget,
                           std::string& line) const {
  const auto source = static_cast<std::uint32_t>(pairs_[pair].Key >> 32);
  const auto target = static_cast<std::uint32_t>(pairs_[pair].Key);
  const double weight = sourceToTarget ? TargetGivenSource(source, target)
                                       : SourceGivenTarget(source, target);
  char number[32];
  std::snprintf(number, sizeof number, "%.7f", weight);
  line.append(sourceToTarget ? targets_.Text(target) : sources_.Text(source))
      .append(" ")
      .append(sourceToTarget ? sources_.Text(source) : targets_.Text(target))
      .append(" ")
      .append(number)
      .append("\n");
}

bool WordTable::ForEachLine(
    bool sourceToTarget,
    const std::function<bool(std::string_view)>& take) const {
  const auto words = [&](std::uint32_t pair) {
    const auto source = static_cast<std::uint32_t>(pairs_[pair].Key >> 32);
    const auto target = static_cast<std::uint32_t>(pairs_[pair].Key);
    return sourceToTarget
               ? std::pair{targets_.Text(target), sources_.Text(source)}
               : std::pair{sources_.Text(source), targets_.Text(target)};
  };
  std::string x, y;
  const std::vector<std::uint32_t> order =
      SortedPairs([&](std::uint32_t a, std::uint32_t b) {
        const auto [firstA, secondA] = words(a);
        const auto [firstB, secondB] = words(b);
        int by = CompareWords(firstA, firstB);
        if (by == 0) by = CompareWords(secondA, secondB);
        if (by != 0 && by != kUndecided) return by < 0;
        // A word that reads as another and a blank, or NULL and a word "NULL".
        x.clear();
        y.clear();
        AppendLine(a, sourceToTarget, x);
        AppendLine(b, sourceToTarget, y);
        return x < y;
      });
  std::string line;
  for (const std::uint32_t pair : order) {
    line.clear();
    AppendLine(pair, sourceToTarget, line);
    if (!take(line)) return false;
  }
  return true;
}
