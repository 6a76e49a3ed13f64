#include "PatternScorer.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "PatternFields.h"
#include "records/AlignmentLinks.h"

namespace {

// The next byte of an escaped field as it reads unescaped, -1 at its end.
int NextByte(std::string_view field, std::size_t& at) {
  if (at >= field.size()) return -1;
  char c = field[at++];
  if (c == '\\' && at < field.size()) {
    c = field[at++];
    c = c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
  }
  return static_cast<unsigned char>(c);
}

// The fields that make an SL side, in the order sides are compared.
constexpr int kSideFields[] = {
    ScoredEntry::kType,     ScoredEntry::kSL,    ScoredEntry::kCStructure,
    ScoredEntry::kConstSeq, ScoredEntry::kScore, ScoredEntry::kConstraints};

// The first eight bytes of `field` unescaped, zero-padded, as a big-endian
// number: numbers order as the fields do where they differ.
std::uint64_t PrefixOf(std::string_view field) {
  std::uint64_t prefix = 0;
  std::size_t at = 0;
  for (int i = 0; i < 8; ++i) {
    const int byte = NextByte(field, at);
    prefix = prefix << 8 | static_cast<std::uint64_t>(byte < 0 ? 0 : byte);
  }
  return prefix;
}

}  // namespace

int CompareFields(std::string_view a, std::string_view b) {
  // Up to the first difference or escape, bytes compare as they are.
  const std::size_t same = std::min(a.size(), b.size());
  std::size_t at = 0;
  while (at < same && a[at] == b[at] && a[at] != '\\') ++at;
  std::size_t other = at;
  for (;;) {
    const int x = NextByte(a, at);
    const int y = NextByte(b, other);
    if (x != y) return x < y ? -1 : 1;
    if (x < 0) return 0;
  }
}

std::string_view PatternScorer::Row::Field(int field) const {
  const std::uint32_t from = field == 0 ? 0 : End[field - 1] + 1;
  return {Line + from, End[field] - from};
}

double PatternScorer::GoodTuringFactor(const double (&n)[11], long long count) {
  double factor = 0.01;
  for (long long k = 1; k <= count; ++k) {
    const double kk = static_cast<double>(k);
    factor = std::max(
        factor, std::min(1.0, (kk + 1) / kk * (n[k + 1] + 0.1) / (n[k] + 0.1)));
  }
  return factor;
}

double PatternScorer::KneserNeyDiscount(const double (&n)[11],
                                        long long count) {
  const double y = n[1] / (n[1] + 2 * n[2]);
  const auto capped = [](double d, double cap) {
    return std::isfinite(d) ? std::min(d, cap) : cap;
  };
  double d = count == 1   ? capped(1 - 2 * y * n[2] / n[1], 0.9)
             : count == 2 ? capped(2 - 3 * y * n[3] / n[2], 1.9)
                          : capped(3 - 4 * y * n[4] / n[3], 2.9);
  const double c = static_cast<double>(count);
  return d > c ? c - 0.01 : d;
}

void PatternScorer::AddCounted(long long count, std::string_view fields) {
  counted_.append(fields);
  countedEnds_.emplace_back(counted_.size(), count);
  countedTotal_ += count;
}

std::size_t PatternScorer::Score(ExtractOptions::Smoothing smoothing) {
  smoothing_ = smoothing;
  counter_.StopAdding();
  // A row per line, and no growth by doubling, which would hold the rows
  // twice at once.
  rows_.reserve(counter_.Distinct() + countedEnds_.size());
  const auto addRow = [this](long long count, std::string_view line) {
    Row row{line.data(), {}, count, {}};
    std::size_t from = 0;
    for (int field = 0; field + 1 < ScoredEntry::kFields; ++field) {
      from = line.find('\t', from);
      row.End[field] = static_cast<std::uint32_t>(from);
      ++from;
    }
    row.End[ScoredEntry::kFields - 1] = static_cast<std::uint32_t>(line.size());
    row.Prefix[0] = PrefixOf(row.Field(ScoredEntry::kType));
    row.Prefix[1] = PrefixOf(row.Field(ScoredEntry::kSL));
    rows_.push_back(row);
  };
  counter_.ForEachLine(addRow);
  std::size_t begin = 0;
  for (const auto& [end, count] : countedEnds_) {
    addRow(count, std::string_view(counted_).substr(begin, end - begin));
    begin = end;
  }
  const auto compareSides = [](const Row& a, const Row& b) {
    for (const int field : kSideFields) {
      if (const int order = CompareFields(a.Field(field), b.Field(field))) {
        return order;
      }
    }
    return 0;
  };
  std::sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) {
    if (a.Prefix[0] != b.Prefix[0]) return a.Prefix[0] < b.Prefix[0];
    if (a.Prefix[1] != b.Prefix[1] &&
        a.Field(ScoredEntry::kType) == b.Field(ScoredEntry::kType)) {
      return a.Prefix[1] < b.Prefix[1];
    }
    int order = compareSides(a, b);
    if (order == 0) {
      order =
          CompareFields(a.Field(ScoredEntry::kTL), b.Field(ScoredEntry::kTL));
    }
    if (order == 0) {
      order = CompareFields(a.Field(ScoredEntry::kAlignment),
                            b.Field(ScoredEntry::kAlignment));
    }
    return order < 0;
  });

  std::unordered_map<std::string_view, std::uint32_t> targets;
  // At most an entry per row, and no growth by doubling: at the peak of a
  // run, a spare half of the array would be a tenth of its memory.
  entries_.reserve(rows_.size());
  long long best = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const Row& row = rows_[i];
    const bool newSide = i == 0 || compareSides(rows_[i - 1], row) != 0;
    if (newSide) {
      sides_.push_back(Side{static_cast<std::uint32_t>(entries_.size()), 0, 0});
    }
    sides_.back().Count += row.Count;
    const std::string_view tl = row.Field(ScoredEntry::kTL);
    if (newSide || tl != rows_[i - 1].Field(ScoredEntry::kTL)) {
      const auto [at, added] =
          targets.emplace(tl, static_cast<std::uint32_t>(targetCounts_.size()));
      if (added) {
        targetCounts_.push_back(0);
        targetSides_.push_back(0);
      }
      ++targetSides_[at->second];
      entries_.push_back(Entry{static_cast<std::uint32_t>(i),
                               static_cast<std::uint32_t>(sides_.size() - 1),
                               at->second, 0});
      ++sides_.back().Entries;
      best = 0;
    }
    Entry& entry = entries_.back();
    entry.Count += row.Count;
    targetCounts_[entry.Target] += row.Count;
    // Alignments come in bytewise order: the first of the most frequent.
    if (row.Count > best) {
      best = row.Count;
      entry.Row = static_cast<std::uint32_t>(i);
    }
  }
  for (const Entry& entry : entries_) {
    if (entry.Count <= 10) countsOfCounts_[entry.Count] += 1;
  }
  // Sides come bytewise; the sort by count keeps that order among equals.
  sideOrder_.resize(sides_.size());
  for (std::size_t i = 0; i < sides_.size(); ++i) {
    sideOrder_[i] = static_cast<std::uint32_t>(i);
  }
  std::stable_sort(sideOrder_.begin(), sideOrder_.end(),
                   [this](std::uint32_t a, std::uint32_t b) {
                     return sides_[a].Count > sides_[b].Count;
                   });
  for (const Side& side : sides_) {
    std::stable_sort(
        entries_.begin() + side.First,
        entries_.begin() + side.First + side.Entries,
        [](const Entry& a, const Entry& b) { return a.Count > b.Count; });
  }
  return entries_.size();
}

void PatternScorer::WordIds(std::string_view field, bool source,
                            std::vector<std::uint32_t>& ids) {
  // The word table holds the words unescaped.
  if (field.find('\\') != std::string_view::npos) {
    unescaped_.clear();
    AppendUnescaped(field, unescaped_);
    field = unescaped_;
  }
  ids.clear();
  while (!field.empty()) {
    const std::size_t blank = std::min(field.find(' '), field.size());
    if (blank != 0) {
      const std::string_view word = field.substr(0, blank);
      ids.push_back(source ? words_.SourceId(word) : words_.TargetId(word));
    }
    field.remove_prefix(std::min(blank + 1, field.size()));
  }
}

void PatternScorer::Lexical(const Row& row, double& tlGivenSL,
                            double& slGivenTL) {
  WordIds(row.Field(ScoredEntry::kSL), true, sl_);
  WordIds(row.Field(ScoredEntry::kTL), false, tl_);
  links_.clear();
  ForEachAlignmentPair(
      row.Field(ScoredEntry::kAlignment), [this](int s, int t) {
        if (s >= 1 && t >= 1 && static_cast<std::size_t>(s) <= sl_.size() &&
            static_cast<std::size_t>(t) <= tl_.size()) {
          links_.emplace_back(s - 1, t - 1);
        }
      });
  std::sort(links_.begin(), links_.end());
  links_.erase(std::unique(links_.begin(), links_.end()), links_.end());
  // Each word takes the mean over the words of the other side linked to
  // it, added in position order: links come by SL, then TL position.
  tlSums_.assign(tl_.size(), 0.0);
  tlLinked_.assign(tl_.size(), 0);
  slSums_.assign(sl_.size(), 0.0);
  slLinked_.assign(sl_.size(), 0);
  for (const auto& [s, t] : links_) {
    double targetGivenSource = 0;
    double sourceGivenTarget = 0;
    words_.Weights(sl_[s], tl_[t], targetGivenSource, sourceGivenTarget);
    tlSums_[t] += targetGivenSource;
    ++tlLinked_[t];
    slSums_[s] += sourceGivenTarget;
    ++slLinked_[s];
  }
  tlGivenSL = 1;
  for (std::size_t t = 0; t < tl_.size(); ++t) {
    tlGivenSL *= tlLinked_[t] != 0 ? tlSums_[t] / tlLinked_[t]
                                   : words_.TargetGivenSource(0, tl_[t]);
  }
  slGivenTL = 1;
  for (std::size_t s = 0; s < sl_.size(); ++s) {
    slGivenTL *= slLinked_[s] != 0 ? slSums_[s] / slLinked_[s]
                                   : words_.SourceGivenTarget(sl_[s], 0);
  }
}

bool PatternScorer::ForEachEntry(
    std::size_t minCount, const std::function<bool(const ScoredEntry&)>& take) {
  const double entries = static_cast<double>(entries_.size());
  ScoredEntry scored;
  for (const std::uint32_t sideAt : sideOrder_) {
    const Side& side = sides_[sideAt];
    for (std::uint32_t i = side.First; i < side.First + side.Entries; ++i) {
      const Entry& entry = entries_[i];
      if (static_cast<std::size_t>(entry.Count) < minCount) continue;
      const Row& row = rows_[entry.Row];
      for (int field = 0; field < ScoredEntry::kFields; ++field) {
        scored.Fields[field] = row.Field(field);
      }
      scored.Count = entry.Count;
      scored.SourceCount = side.Count;
      scored.TargetCount = targetCounts_[entry.Target];
      double count = static_cast<double>(entry.Count);
      if (smoothing_ == ExtractOptions::Smoothing::GoodTuring &&
          entry.Count <= 8) {
        count *= GoodTuringFactor(countsOfCounts_, entry.Count);
      } else if (smoothing_ == ExtractOptions::Smoothing::KneserNey) {
        const double d = KneserNeyDiscount(countsOfCounts_, entry.Count);
        count =
            count - d + d * side.Entries * targetSides_[entry.Target] / entries;
      }
      scored.TLGivenSL = count / static_cast<double>(side.Count);
      scored.SLGivenTL = count / static_cast<double>(scored.TargetCount);
      Lexical(row, scored.LexTLGivenSL, scored.LexSLGivenTL);
      if (!take(scored)) return false;
    }
  }
  return true;
}
