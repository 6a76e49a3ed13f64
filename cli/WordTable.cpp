#include "WordTable.h"

#include <algorithm>
#include <cstdio>

#include "records/AlignmentLinks.h"
#include "text/SplitText.h"

namespace {

std::uint64_t Key(std::uint32_t source, std::uint32_t target) {
  return std::uint64_t{source} << 32 | target;
}

}  // namespace

std::uint32_t WordTable::Intern(
    std::unordered_map<std::string_view, std::uint32_t>& ids,
    std::vector<std::string_view>& names, std::string_view word) {
  const auto found = ids.find(word);
  if (found != ids.end()) return found->second;
  const std::string_view kept = texts_.emplace_back(word);
  textBytes_ += word.size();
  const auto id = static_cast<std::uint32_t>(names.size());
  names.push_back(kept);
  ids.emplace(kept, id);
  return id;
}

std::uint32_t WordTable::IdOf(
    const std::unordered_map<std::string_view, std::uint32_t>& ids,
    std::string_view word) {
  const auto found = ids.find(word);
  return found == ids.end() ? kUnknown : found->second;
}

std::uint32_t WordTable::SourceId(std::string_view word) const {
  return IdOf(sourceIds_, word);
}

std::uint32_t WordTable::TargetId(std::string_view word) const {
  return IdOf(targetIds_, word);
}

void WordTable::Add(const ExampleRecordView& record) {
  // The words as the extractor numbers them: an SL token without a word
  // ("/x") takes no position.
  slIds_.clear();
  ForEachSLToken(FieldValue(record.SL),
                 [this](std::string_view word, std::string_view, bool) {
                   if (!word.empty()) {
                     slIds_.push_back(Intern(sourceIds_, sources_, word));
                   }
                 });
  tlIds_.clear();
  ForEachSentenceToken(FieldValue(record.TL), [this](std::string_view word) {
    tlIds_.push_back(Intern(targetIds_, targets_, word));
  });
  if (!CollectLinks(FieldValue(record.Alignment), slIds_.size(), tlIds_.size(),
                    links_)) {
    return;
  }
  sourceSums_.resize(sources_.size(), 0);
  targetSums_.resize(targets_.size(), 0);
  slLinked_.assign(slIds_.size(), 0);
  tlLinked_.assign(tlIds_.size(), 0);
  const auto count = [this](std::uint32_t source, std::uint32_t target) {
    Count(source, target, 1);
  };
  for (const auto& [sl, tl] : links_) {
    if (sl < 1 || tl < 1 || static_cast<std::size_t>(tl) > tlIds_.size()) {
      continue;
    }
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
  pairs_[Key(source, target)] += count;
  sourceSums_[source] += count;
  targetSums_[target] += count;
}

void WordTable::AddPair(std::string_view sl, std::string_view tl,
                        long long count) {
  const std::uint32_t source =
      sl.empty() ? 0 : Intern(sourceIds_, sources_, sl);
  const std::uint32_t target =
      tl.empty() ? 0 : Intern(targetIds_, targets_, tl);
  sourceSums_.resize(sources_.size(), 0);
  targetSums_.resize(targets_.size(), 0);
  Count(source, target, count);
}

void WordTable::ForEachPair(
    const std::function<void(std::string_view, std::string_view, long long)>&
        take) const {
  for (const auto& [key, count] : pairs_) {
    const auto source = static_cast<std::uint32_t>(key >> 32);
    const auto target = static_cast<std::uint32_t>(key);
    take(source == 0 ? std::string_view() : sources_[source],
         target == 0 ? std::string_view() : targets_[target], count);
  }
}

std::size_t WordTable::Bytes() const {
  // A word: its text and string, a node and a bucket of its map, its name
  // and its sum; a pair: a node and a bucket.
  constexpr std::size_t kWord = 32 + 48 + 16 + 16 + 8;
  constexpr std::size_t kPair = 32 + 16;
  return textBytes_ + (sources_.size() + targets_.size()) * kWord +
         pairs_.size() * kPair;
}

long long WordTable::Pair(std::uint32_t source, std::uint32_t target) const {
  const auto found = pairs_.find(Key(source, target));
  return found == pairs_.end() ? 0 : found->second;
}

double WordTable::TargetGivenSource(std::uint32_t source,
                                    std::uint32_t target) const {
  if (source >= sourceSums_.size() || sourceSums_[source] == 0) return 0;
  return static_cast<double>(Pair(source, target)) /
         static_cast<double>(sourceSums_[source]);
}

double WordTable::SourceGivenTarget(std::uint32_t source,
                                    std::uint32_t target) const {
  if (target >= targetSums_.size() || targetSums_[target] == 0) return 0;
  return static_cast<double>(Pair(source, target)) /
         static_cast<double>(targetSums_[target]);
}

void WordTable::Weights(std::uint32_t source, std::uint32_t target,
                        double& targetGivenSource,
                        double& sourceGivenTarget) const {
  const auto pair = static_cast<double>(Pair(source, target));
  const bool known = source < sourceSums_.size() && target < targetSums_.size();
  targetGivenSource = known && sourceSums_[source] != 0
                          ? pair / static_cast<double>(sourceSums_[source])
                          : 0;
  sourceGivenTarget = known && targetSums_[target] != 0
                          ? pair / static_cast<double>(targetSums_[target])
                          : 0;
}

std::vector<std::string> WordTable::Lines(bool sourceToTarget) const {
  std::vector<std::string> lines;
  lines.reserve(pairs_.size());
  char number[32];
  for (const auto& [key, count] : pairs_) {
    const auto source = static_cast<std::uint32_t>(key >> 32);
    const auto target = static_cast<std::uint32_t>(key);
    const double weight = sourceToTarget ? TargetGivenSource(source, target)
                                         : SourceGivenTarget(source, target);
    std::snprintf(number, sizeof number, "%.7f", weight);
    const std::string_view first =
        sourceToTarget ? targets_[target] : sources_[source];
    const std::string_view second =
        sourceToTarget ? sources_[source] : targets_[target];
    std::string& line = lines.emplace_back(first);
    line.append(" ").append(second).append(" ").append(number).append("\n");
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}
