#include "PatternTable.h"

#include <sys/mman.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <new>
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

char* Copy(std::string_view bytes, char* out) {
  // An empty view may hold no pointer at all, which memcpy must not get.
  if (bytes.empty()) return out;
  std::memcpy(out, bytes.data(), bytes.size());
  return out + bytes.size();
}

// Writes `field` escaped at `out`, which has room for twice its size, and
// returns where it ends. Escapes are rare: eight bytes at a time are checked
// for one, and plain runs are copied whole.
char* WriteEscaped(std::string_view field, char* out) {
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
      out = Copy(field.substr(run, at - run), out);
      *out++ = '\\';
      *out++ = escape;
      run = at + 1;
    }
  }
  return Copy(field.substr(run), out);
}

// The room WritePatternFields may need for `pattern`.
std::size_t PatternFieldsBound(const ExtractedPattern& pattern) {
  if (!pattern.Fields.empty()) return pattern.Fields.size();
  const std::size_t size = pattern.Type.size() + pattern.SLWords.size() +
                           pattern.TLWords.size() + pattern.Alignment.size() +
                           pattern.CStructure.size() + pattern.ConstSeq.size() +
                           pattern.Score.size() +
                           pattern.XSideConstraints.size() + 7;
  return pattern.Plain ? size : 2 * size;
}

// Writes the eight fields of AppendPatternFields at `out`, which has room
// for PatternFieldsBound(pattern) bytes, and returns where they end.
char* WritePatternFields(const ExtractedPattern& pattern, char* out) {
  // The extractor wrote them so already.
  if (!pattern.Fields.empty()) return Copy(pattern.Fields, out);
  const std::string_view fields[] = {
      pattern.Type,       pattern.SLWords,  pattern.TLWords, pattern.Alignment,
      pattern.CStructure, pattern.ConstSeq, pattern.Score};
  const std::string_view constraints = pattern.XSideConstraints;
  // A pattern's fields hold no line feed, and most hold nothing else to
  // escape either: those are copied whole.
  if (pattern.Plain) {
    for (const std::string_view field : fields) {
      out = Copy(field, out);
      *out++ = '\t';
    }
    // One constraint per line becomes one blank between constraints. Every
    // byte is stored, so that the loop runs many bytes to an instruction.
    char* const from = out;
    out = Copy(constraints, out);
    for (char* at = from; at != out; ++at) *at = *at == '\n' ? ' ' : *at;
    return !constraints.empty() && constraints.back() == '\n' ? out - 1 : out;
  }
  for (const std::string_view field : fields) {
    out = WriteEscaped(field, out);
    *out++ = '\t';
  }
  for (std::size_t at = 0; at < constraints.size();) {
    const std::size_t end =
        std::min(constraints.find('\n', at), constraints.size());
    out = WriteEscaped(constraints.substr(at, end - at), out);
    at = end + 1;
    if (at < constraints.size()) *out++ = ' ';
  }
  return out;
}

// A hash of `size` bytes at `bytes`. Four words at a time go to four lanes
// that do not wait for each other; a multiply and a shift per word spread
// every bit of a line over the slots.
std::uint64_t HashBytes(const char* bytes, std::size_t size) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15;
  const auto mix = [](std::uint64_t lane, std::uint64_t word) {
    lane = (lane ^ word) * kMultiplier;
    return lane ^ (lane >> 29);
  };
  std::uint64_t lanes[4] = {size, 1, 2, 3};
  std::size_t at = 0;
  for (; at + 32 <= size; at += 32) {
    std::uint64_t words[4];
    std::memcpy(words, bytes + at, sizeof words);
    for (int i = 0; i < 4; ++i) lanes[i] = mix(lanes[i], words[i]);
  }
  for (; at + 8 <= size; at += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + at, sizeof word);
    lanes[0] = mix(lanes[0], word);
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, bytes + at, size - at);
  std::uint64_t hash = mix(lanes[0], tail);
  for (int i = 1; i < 4; ++i) hash = mix(hash, lanes[i]);
  return hash ^ (hash >> 32);
}

// The first eight bytes at `bytes` as a big-endian number, so that numbers
// order as the bytes do.
std::uint64_t BigEndian(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  word = __builtin_bswap64(word);
#endif
  return word;
}

}  // namespace

void AppendTsvField(std::string_view field, std::string& line) {
  const std::size_t at = line.size();
  line.resize(at + 2 * field.size());
  line.resize(WriteEscaped(field, line.data() + at) - line.data());
}

void AppendPatternFields(const ExtractedPattern& pattern, std::string& line) {
  const std::size_t at = line.size();
  line.resize(at + PatternFieldsBound(pattern));
  line.resize(WritePatternFields(pattern, line.data() + at) - line.data());
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

PatternCounter::Pages::Pages(std::size_t size) : Size(size) {
  if (size == 0) return;
  // Huge pages where the system gives them: a table of millions of lines
  // otherwise costs a page fault per 4 KiB, and its slots a miss in the
  // translation cache per lookup. They are only had on aligned ranges.
  constexpr std::size_t kHugePage = std::size_t{1} << 21;
  void* const pages = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(pages);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  if (aligned != start) ::munmap(pages, aligned - start);
  ::munmap(reinterpret_cast<char*>(aligned) + size,
           start + kHugePage - aligned);
  Data = reinterpret_cast<char*>(aligned);
#ifdef MADV_HUGEPAGE
  ::madvise(Data, size, MADV_HUGEPAGE);
#endif
}

PatternCounter::Pages::Pages(Pages&& other) noexcept
    : Data(std::exchange(other.Data, nullptr)),
      Size(std::exchange(other.Size, 0)) {}

PatternCounter::Pages& PatternCounter::Pages::operator=(
    Pages&& other) noexcept {
  std::swap(Data, other.Data);
  std::swap(Size, other.Size);
  return *this;
}

PatternCounter::Pages::~Pages() {
  if (Data != nullptr) ::munmap(Data, Size);
}

PatternCounter::PatternCounter()
    : slots_(kFirstSlots * sizeof(std::uint64_t)),
      slotCount_(kFirstSlots),
      rows_(kFirstSlots / 2 * sizeof(Row)) {}

void PatternCounter::Add(const ExtractedPattern& pattern) {
  // A line is looked up one Add late: its slot is fetched into the cache
  // now and read next time, so that the wait for it overlaps the making of
  // the next pattern. The line waiting sits at the end of the last block,
  // the new one right after it.
  const std::size_t held = waiting_ ? waitingSize_ : 0;
  const std::size_t bound = PatternFieldsBound(pattern);
  if (blocks_.empty() || blocks_.back().Size - used_ < held + bound) {
    constexpr std::size_t kBlock = std::size_t{1} << 23;
    const char* const waiting =
        blocks_.empty() ? nullptr : blocks_.back().Data + used_;
    blocks_.emplace_back(std::max(kBlock, held + bound));
    if (held != 0) std::memcpy(blocks_.back().Data, waiting, held);
    used_ = 0;
  }
  char* const line = blocks_.back().Data + used_ + held;
  const auto size =
      static_cast<std::size_t>(WritePatternFields(pattern, line) - line);
  ++total_;
  const std::uint64_t hash = HashBytes(line, size);
  __builtin_prefetch(Slots() + ((hash >> 32) & (slotCount_ - 1)));
  // Where the line waiting stays if it is new; the new line moves down
  // over it otherwise.
  if (waiting_ && !Insert(waitingHash_, waitingSize_)) {
    std::memmove(blocks_.back().Data + used_, line, size);
  }
  waiting_ = true;
  waitingSize_ = size;
  waitingHash_ = hash;
}

void PatternCounter::Settle() {
  if (waiting_) Insert(waitingHash_, waitingSize_);
  waiting_ = false;
}

bool PatternCounter::Insert(std::uint64_t hash, std::size_t size) {
  char* const line = blocks_.back().Data + used_;
  const std::uint64_t tag = hash >> 32;
  std::uint64_t* const slots = Slots();
  const std::size_t mask = slotCount_ - 1;
  for (std::size_t slot = tag & mask;; slot = (slot + 1) & mask) {
    const std::uint64_t entry = slots[slot];
    if (entry == 0) {
      Row row{{0, 0}, 1, line, size};
      if (size >= 16) {
        row.Prefix[0] = BigEndian(line);
        row.Prefix[1] = BigEndian(line + 8);
      } else {
        char padded[16] = {};
        std::memcpy(padded, line, size);
        row.Prefix[0] = BigEndian(padded);
        row.Prefix[1] = BigEndian(padded + 8);
      }
      Rows()[rowCount_++] = row;
      used_ += size;
      slots[slot] = tag << 32 | rowCount_;
      // The rows have room for as many as half the slots.
      if (rowCount_ * 2 == slotCount_) Grow();
      return true;
    }
    if (entry >> 32 != tag) continue;
    Row& row = Rows()[(entry & 0xFFFFFFFF) - 1];
    if (row.Size == size && std::memcmp(row.Data, line, size) == 0) {
      ++row.Count;
      return false;
    }
  }
}

void PatternCounter::Grow() {
  // A slot keeps 32 bits of its line's hash, which place it in a table of
  // up to 2^32 slots, and its row's number in the other 32.
  if (slotCount_ >= (std::uint64_t{1} << 32)) throw std::bad_alloc();
  const std::size_t count = slotCount_ * 2;
  // Fresh pages read as zeros: empty slots.
  Pages slotPages(count * sizeof(std::uint64_t));
  Pages rowPages(count / 2 * sizeof(Row));
  std::memcpy(rowPages.Data, rows_.Data, rowCount_ * sizeof(Row));
  auto* const slots = reinterpret_cast<std::uint64_t*>(slotPages.Data);
  const std::size_t mask = count - 1;
  for (std::size_t i = 0; i < slotCount_; ++i) {
    const std::uint64_t entry = Slots()[i];
    if (entry == 0) continue;
    std::size_t slot = (entry >> 32) & mask;
    while (slots[slot] != 0) slot = (slot + 1) & mask;
    slots[slot] = entry;
  }
  slots_ = std::move(slotPages);
  rows_ = std::move(rowPages);
  slotCount_ = count;
}

bool PatternCounter::WriteTable(
    const std::function<bool(long long, std::string_view)>& take) {
  // The slots are no longer wanted, and the rows are sorted where they
  // stand. Most rows differ in their count or first sixteen bytes, which
  // they carry: few comparisons reach the lines themselves.
  Settle();
  slots_ = Pages(0);
  slotCount_ = 0;
  Row* const rows = Rows();
  std::sort(rows, rows + rowCount_, [](const Row& a, const Row& b) {
    if (a.Count != b.Count) return a.Count > b.Count;
    if (a.Prefix[0] != b.Prefix[0]) return a.Prefix[0] < b.Prefix[0];
    if (a.Prefix[1] != b.Prefix[1]) return a.Prefix[1] < b.Prefix[1];
    // Equal prefixes mean equal bytes as far as both lines reach into them.
    const std::size_t same = std::min({a.Size, b.Size, std::size_t{16}});
    return std::string_view(a.Data + same, a.Size - same) <
           std::string_view(b.Data + same, b.Size - same);
  });
  // The lines lie scattered over the blocks in the order they came: each
  // is fetched a few rows ahead of being taken.
  constexpr std::size_t kAhead = 8;
  for (std::size_t i = 0; i < std::min(kAhead, rowCount_); ++i) {
    __builtin_prefetch(rows[i].Data);
  }
  for (std::size_t i = 0; i < rowCount_; ++i) {
    if (i + kAhead < rowCount_) {
      const Row& ahead = rows[i + kAhead];
      __builtin_prefetch(ahead.Data);
      __builtin_prefetch(ahead.Data + std::min<std::size_t>(ahead.Size, 64));
    }
    if (!take(rows[i].Count, std::string_view(rows[i].Data, rows[i].Size))) {
      return false;
    }
  }
  return true;
}
