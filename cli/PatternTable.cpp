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

// A hash of `bytes`, eight at a time: a multiply and a rotation per word
// spread every bit of a line over the slots.
std::uint64_t HashBytes(std::string_view bytes) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15;
  std::uint64_t hash = bytes.size() * kMultiplier;
  std::size_t at = 0;
  for (; at + 8 <= bytes.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + at, sizeof word);
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 29;
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, bytes.data() + at, bytes.size() - at);
  hash = (hash ^ tail) * kMultiplier;
  return hash ^ (hash >> 32);
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
  const std::string_view fields[] = {
      pattern.Type,       pattern.SLWords,  pattern.TLWords, pattern.Alignment,
      pattern.CStructure, pattern.ConstSeq, pattern.Score};
  // A pattern's fields hold no line feed, and most hold nothing else to
  // escape either: those are copied whole, in one go.
  if (pattern.Plain) {
    std::size_t size = pattern.XSideConstraints.size();
    for (const std::string_view field : fields) size += field.size() + 1;
    std::size_t at = line.size();
    line.resize(at + size);
    char* out = line.data();
    for (const std::string_view field : fields) {
      std::memcpy(out + at, field.data(), field.size());
      at += field.size();
      out[at++] = '\t';
    }
    // One constraint per line becomes one blank between constraints.
    const std::string_view constraints = pattern.XSideConstraints;
    std::memcpy(out + at, constraints.data(), constraints.size());
    std::replace(out + at, out + at + constraints.size(), '\n', ' ');
    if (!constraints.empty() && constraints.back() == '\n') line.pop_back();
    return;
  }
  for (const std::string_view field : fields) {
    AppendTsvField(field, line);
    line.push_back('\t');
  }
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

void AppendTableRow(long long count, std::string_view fields,
                    std::string& out) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, count).ptr;
  out.append(digits, end).append("\t").append(fields).push_back('\n');
}

std::string_view SentenceId(std::string_view header) {
  const std::size_t mark = header.find(kHeaderMark);
  if (mark == std::string_view::npos) return {};
  std::string_view id = header.substr(mark + kHeaderMark.size());
  const std::size_t first = id.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return id.substr(first, id.find_last_not_of(' ') - first + 1);
}

PatternCounter::PatternCounter() : slots_(1 << 16, 0) {}

void PatternCounter::Add(const ExtractedPattern& pattern) {
  constexpr std::size_t kBlock = 1 << 22;
  if (blocks_.empty() || blocks_.back().size() >= kBlock) {
    blocks_.emplace_back();
    blocks_.back().reserve(kBlock + (kBlock >> 2));
  }
  std::string& block = blocks_.back();
  const std::size_t offset = block.size();
  AppendPatternFields(pattern, block);
  const std::string_view key = std::string_view(block).substr(offset);
  ++total_;
  const std::uint64_t hash = HashBytes(key);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const std::uint32_t at = slots_[slot];
    if (at == 0) {
      rows_.push_back({static_cast<std::uint32_t>(blocks_.size() - 1),
                       static_cast<std::uint32_t>(key.size()), offset, hash,
                       1});
      slots_[slot] = static_cast<std::uint32_t>(rows_.size());
      if (rows_.size() * 2 > slots_.size()) Grow();
      return;
    }
    Row& row = rows_[at - 1];
    if (row.Hash == hash && KeyOf(row) == key) {
      ++row.Count;
      block.resize(offset);
      return;
    }
  }
}

void PatternCounter::Grow() {
  std::vector<std::uint32_t> slots(slots_.size() * 2, 0);
  const std::size_t mask = slots.size() - 1;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    std::size_t slot = rows_[i].Hash & mask;
    while (slots[slot] != 0) slot = (slot + 1) & mask;
    slots[slot] = static_cast<std::uint32_t>(i + 1);
  }
  slots_.swap(slots);
}

bool PatternCounter::WriteTable(
    const std::function<bool(long long, std::string_view)>& take) const {
  // Sorted through the first sixteen bytes of each line first: most lines
  // differ there, and those bytes sit beside the count.
  struct Order {
    long long Count;
    std::uint64_t Prefix[2];
    const Row* Of;
  };
  std::vector<Order> order;
  order.reserve(rows_.size());
  for (const Row& row : rows_) {
    const std::string_view key = KeyOf(row);
    Order entry{row.Count, {0, 0}, &row};
    for (std::size_t i = 0; i < 16; ++i) {
      const auto byte =
          i < key.size() ? static_cast<unsigned char>(key[i]) : 0U;
      entry.Prefix[i / 8] = entry.Prefix[i / 8] << 8 | byte;
    }
    order.push_back(entry);
  }
  std::sort(order.begin(), order.end(), [this](const Order& a, const Order& b) {
    if (a.Count != b.Count) return a.Count > b.Count;
    if (a.Prefix[0] != b.Prefix[0]) return a.Prefix[0] < b.Prefix[0];
    if (a.Prefix[1] != b.Prefix[1]) return a.Prefix[1] < b.Prefix[1];
    return KeyOf(*a.Of) < KeyOf(*b.Of);
  });
  for (const Order& entry : order) {
    if (!take(entry.Count, KeyOf(*entry.Of))) return false;
  }
  return true;
}
