#include "PatternScorer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "FlatIds.h"
#include "LexicalWeights.h"
#include "PatternFields.h"
#include "ScoreRuns.h"
#include "ScoredLines.h"
#include "SortedRuns.h"

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

// The next `n` bytes of `field` unescaped from `at`, zero-padded, as a
// big-endian number: numbers order as the fields do where they differ.
std::uint64_t PrefixOf(std::string_view field, std::size_t& at, int n = 8) {
  std::uint64_t prefix = 0;
  for (int i = 0; i < n; ++i) {
    const int byte = NextByte(field, at);
    prefix = prefix << 8 | static_cast<std::uint64_t>(byte < 0 ? 0 : byte);
  }
  return prefix;
}

// A type's first seven bytes unescaped, then its length, 8 standing for any
// longer: numbers that differ order as the types do, and equal numbers of a
// length below 8 are equal types.
std::uint64_t TypeKeyOf(std::string_view type) {
  std::size_t at = 0;
  const std::uint64_t prefix = PrefixOf(type, at, 7);
  std::uint64_t length = 0;
  for (std::size_t i = 0; i < type.size() && length < 8; ++length) {
    NextByte(type, i);
  }
  return prefix << 8 | length;
}

// The counter's share of the bound, the word table's included; the lines
// it does not hold gather in the rest before they go out. A quarter, since
// runs of less are many, and each round of merging them copies every run
// written so far; but never less than BoundedCounter's counter at the
// least bound, which a counter needs to hold anything.
std::size_t CounterShare(std::size_t memory) {
  return std::max(memory / 4 * 3, kLeastCountMemory / 8 * 7);
}

// What scoring in memory takes per distinct line beside the counter: a
// row, an entry, a side and its place in the order, a TL side's counts,
// its first row and its slots, old and new at once while they grow.
constexpr std::size_t kScoreBytes = 72 + 24 + 16 + 4 + 12 + 4 + 32;

// How many rows ahead the lines of the rows are fetched: the rows come in
// order, their lines lie all over memory, and a line waited for costs more
// than all the work on it.
constexpr std::size_t kAhead = 16;

// The least a set of runs is given, however large the word table: what
// keeps runs from shrinking to nothing.
constexpr std::size_t kLeastRuns = std::size_t{1} << 20;

}  // namespace

PatternScorer::PatternScorer()
    : PatternScorer(std::numeric_limits<std::size_t>::max(), "/tmp") {}

PatternScorer::PatternScorer(std::size_t memory, std::string dir)
    : memory_(memory),
      dir_(std::move(dir)),
      counter_(std::make_unique<PatternCounter>(CounterShare(memory))) {}

PatternScorer::~PatternScorer() = default;

long long PatternScorer::Patterns() const {
  return spilled_ + (counter_ ? counter_->Total() : 0);
}

std::size_t PatternScorer::Runs() const { return runs_ ? runs_->Runs() : 0; }

std::size_t PatternScorer::RunsShare(std::size_t besides) const {
  const std::size_t taken =
      besides + words_.Bytes() + (counter_ ? counter_->MemoryHeld() : 0);
  return taken + kLeastRuns > memory_ ? kLeastRuns : memory_ - taken;
}

void PatternScorer::Fill() {
  full_ = true;
  runs_ = std::make_unique<ScoreRuns>(RunsShare(), dir_);
}

void PatternScorer::Charge() {
  if (!full_ &&
      counter_->MemoryHeld() + words_.Bytes() > CounterShare(memory_)) {
    Fill();
  }
  if (runs_) runs_->SetMemory(RunsShare());
}

void PatternScorer::Add(const ExtractedPattern& pattern) { Count(pattern, 1); }

void PatternScorer::AddCounted(long long count, std::string_view fields) {
  ExtractedPattern pattern;
  pattern.Fields = fields;
  Count(pattern, count);
}

void PatternScorer::Count(const ExtractedPattern& pattern, long long count) {
  if (!full_) {
    try {
      counter_->Add(pattern);
      if (count > 1) {
        counter_->CountIfHeld(PatternFieldsOf(pattern, line_), count - 1);
      }
      return;
    } catch (const PatternCounter::LimitReached&) {
      // A counter that holds nothing yet cannot make room.
      if (counter_->Total() == 0) throw;
      Fill();
    }
  }
  const std::string_view line = PatternFieldsOf(pattern, line_);
  if (counter_->CountIfHeld(line, count)) return;
  runs_->Add(static_cast<std::uint64_t>(count), line);
  spilled_ += count;
}

void PatternScorer::AddRecord(const ExampleRecordView& record) {
  words_.Add(record);
  Charge();
}

void PatternScorer::AddPair(std::string_view sl, std::string_view tl,
                            long long count) {
  words_.AddPair(sl, tl, count);
  Charge();
}

void PatternScorer::SpillCounter() {
  counter_->StopAdding();
  runs_->SetMemory(RunsShare());
  counter_->ForEachLine([this](long long count, std::string_view line) {
    runs_->Add(static_cast<std::uint64_t>(count), line);
  });
  spilled_ += counter_->Total();
  counter_.reset();
  runs_->SetMemory(RunsShare());
}

bool PatternScorer::Write(ExtractOptions::Smoothing smoothing,
                          std::size_t minCount, Layout layout,
                          const std::function<bool(std::string_view)>& put,
                          long long& written) {
  const bool moses = layout == Layout::Moses;
  // Scored in memory only if rows, entries and sides fit beside the lines.
  const std::size_t scoring = counter_->Distinct() * kScoreBytes;
  if (!full_ && counter_->MemoryHeld() + scoring + words_.Bytes() > memory_) {
    Fill();
  }
  if (full_) {
    SpillCounter();
    return runs_->Write(words_, smoothing, minCount, moses, put, written);
  }
  Score(smoothing);
  if (!moses) {
    return ForEachEntry(minCount, [&](const ScoredEntry& entry) {
      line_.clear();
      AppendScoredLine(entry, line_);
      ++written;
      return put(line_);
    });
  }
  // Moses lines go bytewise, through runs if they do not fit; lines that
  // come alike come back as one, counted.
  SortedRuns lines(RowOrder::ByLine, RunsShare(scoring), dir_);
  ForEachEntry(minCount, [&](const ScoredEntry& entry) {
    line_.clear();
    AppendMosesLine(entry, line_);
    lines.Add(1, line_);
    return true;
  });
  return lines.Merge([&](std::uint64_t count, std::string_view line) {
    for (std::uint64_t i = 0; i < count; ++i) {
      ++written;
      if (!put(line)) return false;
    }
    return true;
  });
}

int CompareFields(std::string_view a, std::string_view b) {
  // The rows of one side hold its fields alike, whole and long (a tree).
  if (a == b) return 0;
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

std::size_t PatternScorer::Score(ExtractOptions::Smoothing smoothing) {
  smoothing_ = smoothing;
  counter_->StopAdding();
  // A row per line, and no growth by doubling, which would hold the rows
  // twice at once.
  rows_.reserve(counter_->Distinct());
  counter_->ForEachLine([this](long long count, std::string_view line) {
    Row row{line.data(), {}, count, 0, {}};
    std::size_t from = 0;
    for (int field = 0; field + 1 < ScoredEntry::kFields; ++field) {
      from = line.find('\t', from);
      row.End[field] = static_cast<std::uint32_t>(from);
      ++from;
    }
    row.End[ScoredEntry::kFields - 1] = static_cast<std::uint32_t>(line.size());
    row.Type = TypeKeyOf(row.Field(ScoredEntry::kType));
    std::size_t at = 0;
    for (std::uint64_t& words : row.Words) {
      words = PrefixOf(row.Field(ScoredEntry::kSL), at);
    }
    rows_.push_back(row);
  });
  const auto compareSides = [](const Row& a, const Row& b) {
    for (const int field : kSideFields) {
      if (const int order = CompareFields(a.Field(field), b.Field(field))) {
        return order;
      }
    }
    return 0;
  };
  std::sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) {
    if (a.Type != b.Type) return a.Type < b.Type;
    if ((a.Type & 0xff) < 8) {
      if (a.Words[0] != b.Words[0]) return a.Words[0] < b.Words[0];
      if (a.Words[1] != b.Words[1]) return a.Words[1] < b.Words[1];
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

  // The TL sides by their words, each by the row it first came in.
  FlatIds targets;
  std::vector<std::uint32_t> targetRows;
  // At most an entry per row, and no growth by doubling: at the peak of a
  // run, a spare half of the array would be a tenth of its memory.
  entries_.reserve(rows_.size());
  // Nor for the sides and TL sides, as many at most: the pages reserved
  // and never written take no memory, and no growth copies them.
  sides_.reserve(rows_.size());
  targetRows.reserve(rows_.size());
  targetCounts_.reserve(rows_.size());
  targetSides_.reserve(rows_.size());
  long long best = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const Row& row = rows_[i];
    if (i + kAhead < rows_.size()) __builtin_prefetch(rows_[i + kAhead].Line);
    const bool newSide = i == 0 || compareSides(rows_[i - 1], row) != 0;
    if (newSide) {
      sides_.push_back(Side{static_cast<std::uint32_t>(entries_.size()), 0, 0});
    }
    sides_.back().Count += row.Count;
    const std::string_view tl = row.Field(ScoredEntry::kTL);
    if (newSide || tl != rows_[i - 1].Field(ScoredEntry::kTL)) {
      bool added = false;
      const std::uint32_t target = targets.Insert(
          targets.Hash(tl),
          [&](std::uint32_t other) {
            return rows_[targetRows[other]].Field(ScoredEntry::kTL) == tl;
          },
          added);
      if (added) {
        targetRows.push_back(static_cast<std::uint32_t>(i));
        targetCounts_.push_back(0);
        targetSides_.push_back(0);
      }
      ++targetSides_[target];
      entries_.push_back(Entry{static_cast<std::uint32_t>(i),
                               static_cast<std::uint32_t>(sides_.size() - 1),
                               target, 0});
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

bool PatternScorer::ForEachEntry(
    std::size_t minCount, const std::function<bool(const ScoredEntry&)>& take) {
  const double entries = static_cast<double>(entries_.size());
  LexicalWeights lexical(words_);
  ScoredEntry scored;
  for (std::size_t at = 0; at < sideOrder_.size(); ++at) {
    const Side& side = sides_[sideOrder_[at]];
    if (at + kAhead < sideOrder_.size()) {
      const Side& ahead = sides_[sideOrder_[at + kAhead]];
      __builtin_prefetch(rows_[entries_[ahead.First].Row].Line);
    }
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
      Probabilities(smoothing_, countsOfCounts_, entries, side.Entries,
                    targetSides_[entry.Target], scored);
      lexical.Of(scored.Fields[ScoredEntry::kSL],
                 scored.Fields[ScoredEntry::kTL],
                 scored.Fields[ScoredEntry::kAlignment], scored.LexTLGivenSL,
                 scored.LexSLGivenTL);
      if (!take(scored)) return false;
    }
  }
  return true;
}

void PatternScorer::Probabilities(ExtractOptions::Smoothing smoothing,
                                  const double (&countsOfCounts)[11],
                                  double entries, double sideEntries,
                                  double targetSides, ScoredEntry& scored) {
  double count = static_cast<double>(scored.Count);
  if (smoothing == ExtractOptions::Smoothing::GoodTuring && scored.Count <= 8) {
    count *= GoodTuringFactor(countsOfCounts, scored.Count);
  } else if (smoothing == ExtractOptions::Smoothing::KneserNey) {
    const double d = KneserNeyDiscount(countsOfCounts, scored.Count);
    count = count - d + d * sideEntries * targetSides / entries;
  }
  scored.TLGivenSL = count / static_cast<double>(scored.SourceCount);
  scored.SLGivenTL = count / static_cast<double>(scored.TargetCount);
}
