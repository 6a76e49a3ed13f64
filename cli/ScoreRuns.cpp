#include "ScoreRuns.h"

#include <utility>
#include <vector>

#include "LexicalWeights.h"
#include "PatternFields.h"
#include "PatternScorer.h"
#include "ScoredLines.h"

namespace {

constexpr int kSideFields = 6;

// The fields of an SL side in a row of the first set: type, SL words,
// C-structure, constituent sequence, score, x-side constraints. The TL
// words and the alignment follow, so that bytewise order brings a side's
// rows together and, within it, each TL side's.
constexpr int kSideOrder[kSideFields] = {
    ScoredEntry::kType,     ScoredEntry::kSL,    ScoredEntry::kCStructure,
    ScoredEntry::kConstSeq, ScoredEntry::kScore, ScoredEntry::kConstraints};

// The first `n` tab-separated fields of `line` into `fields`, the last one
// taking the rest.
template <std::size_t N>
void Split(std::string_view line, std::string_view (&fields)[N]) {
  for (std::size_t i = 0; i + 1 < N; ++i) {
    const std::size_t tab = line.find('\t');
    fields[i] = line.substr(0, tab);
    line.remove_prefix(tab + 1);
  }
  fields[N - 1] = line;
}

// Where the `n`th tab of `line` is.
std::size_t NthTab(std::string_view line, int n) {
  std::size_t at = line.find('\t');
  while (--n > 0) at = line.find('\t', at + 1);
  return at;
}

// A count as eight big-endian bytes, complemented: larger counts come
// first bytewise.
void AppendDecreasing(std::uint64_t count, std::string& out) {
  for (int shift = 56; shift >= 0; shift -= 8) {
    out.push_back(static_cast<char>(~count >> shift & 0xFF));
  }
}

// A field as it reads unescaped, then a zero byte: bytewise, fields then
// order as CompareFields orders them, a field before those it begins.
// Bytes 0 and 1 become 1 1 and 1 2, so that zero only ends a field.
void AppendOrdered(std::string_view field, std::string& scratch,
                   std::string& out) {
  scratch.clear();
  AppendUnescaped(field, scratch);
  for (const char c : scratch) {
    if (c == '\0' || c == '\1') out.push_back('\1');
    out.push_back(c == '\0' ? '\1' : c == '\1' ? '\2' : c);
  }
  out.push_back('\0');
}

// The size of the key AppendOrdered and AppendDecreasing made at the start
// of a line of the last set: a count, the side's fields, a count, the TL
// words.
std::size_t KeySize(std::string_view line) {
  std::size_t at = 8;
  for (int i = 0; i < kSideFields; ++i) at = line.find('\0', at) + 1;
  return line.find('\0', at + 8) + 1;
}

}  // namespace

ScoreRuns::ScoreRuns(std::size_t memory, std::string dir)
    : memory_(memory),
      dir_(std::move(dir)),
      bySide_(RowOrder::ByLine, memory, dir_) {}

void ScoreRuns::SetMemory(std::size_t memory) {
  memory_ = memory;
  bySide_.SetMemory(memory);
}

void ScoreRuns::Add(std::uint64_t count, std::string_view line) {
  std::string_view fields[ScoredEntry::kFields];
  Split(line, fields);
  key_.clear();
  for (const int field : kSideOrder) key_.append(fields[field]).push_back('\t');
  key_.append(fields[ScoredEntry::kTL]).push_back('\t');
  key_.append(fields[ScoredEntry::kAlignment]);
  bySide_.Add(count, key_);
}

bool ScoreRuns::Write(const WordTable& words,
                      ExtractOptions::Smoothing smoothing, std::size_t minCount,
                      bool moses,
                      const std::function<bool(std::string_view)>& put,
                      long long& written) {
  // By SL side: each entry's count and most frequent alignment, the first
  // bytewise among equals, and each side's count and entries. The entries
  // go on by TL words, the side's numbers with them.
  SortedRuns byTarget(RowOrder::ByLine, memory_, dir_);
  double countsOfCounts[11] = {};
  long long entries = 0;
  {
    struct Held {
      std::size_t TL, Alignment;  // where they start in `text`
      std::uint64_t Count, Best;
    };
    std::vector<Held> held;
    std::string text;
    std::string side;
    const auto leaveSide = [&] {
      std::uint64_t sideCount = 0;
      for (const Held& entry : held) sideCount += entry.Count;
      const std::string numbers =
          "\t" + std::to_string(sideCount) + "\t" + std::to_string(held.size());
      for (std::size_t i = 0; i < held.size(); ++i) {
        const Held& entry = held[i];
        const std::size_t end =
            i + 1 < held.size() ? held[i + 1].TL : text.size();
        if (entry.Count <= 10) countsOfCounts[entry.Count] += 1;
        ++entries;
        key_.assign(text, entry.TL, entry.Alignment - 1 - entry.TL);
        key_.append("\t").append(side).append("\t");
        key_.append(text, entry.Alignment, end - entry.Alignment);
        key_.append(numbers);
        byTarget.Add(entry.Count, key_);
      }
      held.clear();
      text.clear();
    };
    bySide_.Release();
    bySide_.Merge([&](std::uint64_t count, std::string_view line) {
      const std::size_t tab = NthTab(line, kSideFields);
      const std::string_view rowSide = line.substr(0, tab);
      const std::string_view rest = line.substr(tab + 1);
      const std::size_t split = rest.find('\t');
      const std::string_view tl = rest.substr(0, split);
      const std::string_view alignment = rest.substr(split + 1);
      if (rowSide != side) {
        if (!held.empty()) leaveSide();
        side.assign(rowSide);
      }
      if (held.empty() || std::string_view(text).substr(
                              held.back().TL, held.back().Alignment - 1 -
                                                  held.back().TL) != tl) {
        held.push_back(Held{text.size(), text.size() + tl.size() + 1, 0, 0});
        text.append(tl).push_back('\t');
        text.append(alignment);
      }
      Held& entry = held.back();
      entry.Count += count;
      if (count > entry.Best) {
        entry.Best = count;
        text.resize(entry.Alignment);
        text.append(alignment);
      }
      return true;
    });
    if (!held.empty()) leaveSide();
  }
  runs_ += bySide_.Runs();

  // By TL words: each TL side's count and SL sides; every entry is then
  // scored and goes on keyed in the table's order, or as its Moses line.
  SortedRuns ordered(RowOrder::ByLine, memory_, dir_);
  {
    struct Held {
      std::size_t At, Size;
      std::uint64_t Count;
    };
    std::vector<Held> held;
    std::string text;
    std::string tl;
    std::string scratch;
    LexicalWeights lexical(words);
    ScoredEntry scored;
    const auto leaveTarget = [&] {
      std::uint64_t targetCount = 0;
      for (const Held& entry : held) targetCount += entry.Count;
      for (const Held& entry : held) {
        if (entry.Count < minCount) continue;
        // TL words, the side's six fields, alignment, side count, entries.
        std::string_view row[10];
        Split(std::string_view(text).substr(entry.At, entry.Size), row);
        for (int i = 0; i < kSideFields; ++i) {
          scored.Fields[kSideOrder[i]] = row[1 + i];
        }
        scored.Fields[ScoredEntry::kTL] = row[0];
        scored.Fields[ScoredEntry::kAlignment] = row[7];
        scored.Count = static_cast<long long>(entry.Count);
        scored.SourceCount = std::stoll(std::string(row[8]));
        scored.TargetCount = static_cast<long long>(targetCount);
        PatternScorer::Probabilities(smoothing, countsOfCounts,
                                     static_cast<double>(entries),
                                     std::stod(std::string(row[9])),
                                     static_cast<double>(held.size()), scored);
        lexical.Of(scored.Fields[ScoredEntry::kSL],
                   scored.Fields[ScoredEntry::kTL],
                   scored.Fields[ScoredEntry::kAlignment], scored.LexTLGivenSL,
                   scored.LexSLGivenTL);
        key_.clear();
        if (moses) {
          AppendMosesLine(scored, key_);
        } else {
          AppendDecreasing(static_cast<std::uint64_t>(scored.SourceCount),
                           key_);
          for (const int field : kSideOrder) {
            AppendOrdered(scored.Fields[field], scratch, key_);
          }
          AppendDecreasing(entry.Count, key_);
          AppendOrdered(scored.Fields[ScoredEntry::kTL], scratch, key_);
          AppendScoredLine(scored, key_);
        }
        ordered.Add(1, key_);
      }
      held.clear();
      text.clear();
    };
    byTarget.Release();
    byTarget.Merge([&](std::uint64_t count, std::string_view line) {
      const std::string_view rowTL = line.substr(0, line.find('\t'));
      if (rowTL != tl) {
        if (!held.empty()) leaveTarget();
        tl.assign(rowTL);
      }
      held.push_back(Held{text.size(), line.size(), count});
      text.append(line);
      return true;
    });
    if (!held.empty()) leaveTarget();
  }
  runs_ += byTarget.Runs();

  // Moses lines that came alike come as one, counted.
  const bool whole =
      ordered.Merge([&](std::uint64_t count, std::string_view line) {
        if (!moses) {
          ++written;
          return put(line.substr(KeySize(line)));
        }
        for (std::uint64_t i = 0; i < count; ++i) {
          ++written;
          if (!put(line)) return false;
        }
        return true;
      });
  runs_ += ordered.Runs();
  return whole;
}
