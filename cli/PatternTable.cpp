#include "PatternTable.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr std::string_view kHeaderMark = "SentenceIndex:";

// Whether one of the eight bytes at `bytes` is below 14 (as tab, line feed
// and carriage return are) or a backslash: the bytes that may need an
// escape. Exact, by the usual tests for a zero byte in a word.
bool MayNeedEscape(const char* bytes) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  constexpr std::uint64_t kHighs = 0x8080808080808080;
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  const std::uint64_t backslashes = word ^ (kOnes * '\\');
  const std::uint64_t below14 = (word - kOnes * 14) & ~word & kHighs;
  const std::uint64_t zero = (backslashes - kOnes) & ~backslashes & kHighs;
  return (below14 | zero) != 0;
}

// The letter that follows the backslash for a byte written escaped, or 0.
char EscapeOf(char c) {
  switch (c) {
    case '\t':
      return 't';
    case '\r':
      return 'r';
    case '\n':
      return 'n';
    case '\\':
      return '\\';
    default:
      return 0;
  }
}

}  // namespace

void AppendTsvField(std::string_view field, std::string& line) {
  // Escapes are rare: eight bytes at a time are checked for one, and plain
  // runs are copied whole.
  std::size_t run = 0;
  std::size_t at = 0;
  while (at < field.size()) {
    if (field.size() - at >= 8 && !MayNeedEscape(field.data() + at)) {
      at += 8;
      continue;
    }
    const std::size_t end = std::min(field.size(), at + 8);
    for (; at < end; ++at) {
      const char escape = EscapeOf(field[at]);
      if (escape == 0) continue;
      line.append(field.data() + run, at - run);
      line.push_back('\\');
      line.push_back(escape);
      run = at + 1;
    }
  }
  line.append(field.data() + run, field.size() - run);
}

void AppendPatternFields(const ExtractedPattern& pattern, std::string& line) {
  for (const std::string_view field :
       {pattern.Type, pattern.SLWords, pattern.TLWords, pattern.Alignment,
        pattern.CStructure, pattern.ConstSeq, pattern.Score}) {
    AppendTsvField(field, line);
    line.push_back('\t');
  }
  // One constraint per line becomes one blank between constraints.
  std::string_view constraints = pattern.XSideConstraints;
  while (!constraints.empty()) {
    const std::size_t end = constraints.find('\n');
    AppendTsvField(constraints.substr(0, end), line);
    if (end == std::string_view::npos || end + 1 == constraints.size()) break;
    line.push_back(' ');
    constraints.remove_prefix(end + 1);
  }
}

void AppendTsvLine(std::size_t record, std::string_view sentenceId,
                   const ExtractedPattern& pattern, std::string& out) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, record).ptr;
  out.append(digits, end).push_back('\t');
  AppendTsvField(sentenceId, out);
  out.push_back('\t');
  AppendPatternFields(pattern, out);
  out.push_back('\n');
}

std::string_view SentenceId(std::string_view header) {
  const std::size_t mark = header.find(kHeaderMark);
  if (mark == std::string_view::npos) return {};
  std::string_view id = header.substr(mark + kHeaderMark.size());
  const std::size_t first = id.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return id.substr(first, id.find_last_not_of(' ') - first + 1);
}

void PatternCounter::Add(const ExtractedPattern& pattern) {
  key_.clear();
  AppendPatternFields(pattern, key_);
  ++total_;
  const auto found = counts_.find(key_);
  if (found != counts_.end()) {
    ++found->second;
  } else {
    counts_.emplace(key_, 1);
  }
}

bool PatternCounter::WriteTable(
    const std::function<bool(std::string_view)>& take) const {
  std::vector<const std::pair<const std::string, long long>*> rows;
  rows.reserve(counts_.size());
  for (const auto& row : counts_) rows.push_back(&row);
  std::sort(rows.begin(), rows.end(), [](const auto* a, const auto* b) {
    return a->second != b->second ? a->second > b->second : a->first < b->first;
  });
  std::string line;
  for (const auto* row : rows) {
    char digits[24];
    const auto end =
        std::to_chars(digits, digits + sizeof digits, row->second).ptr;
    line.assign(digits, end).append("\t").append(row->first).append("\n");
    if (!take(line)) return false;
  }
  return true;
}
