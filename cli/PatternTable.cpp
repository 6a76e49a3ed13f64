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

// The eight bytes at `bytes` as one number, in the machine's order.
std::uint64_t Word(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// The full product of `a` and `b`, its halves folded into one: every bit
// of either reaches many bits of the result. Where the compiler has no
// 128-bit numbers, a 64-bit product with its high bits shifted down.
std::uint64_t Fold(std::uint64_t a, std::uint64_t b) {
#if defined(__SIZEOF_INT128__)
  __extension__ using Wide = unsigned __int128;
  const Wide product = static_cast<Wide>(a) * b;
  return static_cast<std::uint64_t>(product) ^
         static_cast<std::uint64_t>(product >> 64);
#else
  const std::uint64_t product = (a ^ (b >> 29)) * (b | 1);
  return product ^ (product >> 32);
#endif
}

// A hash of `size` bytes at `bytes`: sixteen bytes to one multiplication,
// in four lanes that do not wait for each other. The multiplications are
// done whole, which compilers do not spread over vector registers (that
// splits a 64-bit product into three of 32 bits, slower than the scalar).
std::uint64_t HashBytes(const char* bytes, std::size_t size) {
  constexpr std::uint64_t kKeys[4] = {0x9E3779B97F4A7C15, 0xD6E8FEB86659FD93,
                                      0xA0761D6478BD642F, 0xE7037ED1A0B428DB};
  std::uint64_t lanes[4] = {size ^ kKeys[0], kKeys[1], kKeys[2], kKeys[3]};
  std::size_t at = 0;
  for (; at + 64 <= size; at += 64) {
    for (std::size_t i = 0; i < 4; ++i) {
      const char* const words = bytes + at + 16 * i;
      lanes[i] = Fold(Word(words) ^ lanes[i], Word(words + 8) ^ kKeys[i]);
    }
  }
  for (; at + 16 <= size; at += 16) {
    lanes[0] =
        Fold(Word(bytes + at) ^ lanes[0], Word(bytes + at + 8) ^ kKeys[1]);
  }
  // The last bytes are read as the last sixteen, which may have been read
  // already, or in pieces that overlap when there are fewer than sixteen:
  // never copied first, as a load that spans several stores waits for all.
  std::uint64_t first = 0;
  std::uint64_t second = 0;
  if (size >= 8) {
    first = Word(bytes + (size >= 16 ? size - 16 : 0));
    second = Word(bytes + size - 8);
  } else if (size >= 4) {
    std::uint32_t half;
    std::memcpy(&half, bytes, sizeof half);
    first = half;
    std::memcpy(&half, bytes + size - 4, sizeof half);
    second = half;
  } else if (size > 0) {
    const auto byte = [bytes](std::size_t i) {
      return static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[i]));
    };
    first = byte(0) << 16 | byte(size / 2) << 8 | byte(size - 1);
  }
  lanes[1] = Fold(first ^ lanes[1], second ^ kKeys[2]);
  return Fold(lanes[0] ^ lanes[2], lanes[1] ^ lanes[3] ^ kKeys[3]);
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

// A distinct line's entry in PatternCounter's blocks; its bytes follow.
struct Entry {
  std::uint64_t Count;
  std::uint64_t Size;
};

std::string_view LineOf(const Entry* entry) {
  return {reinterpret_cast<const char*>(entry + 1), entry->Size};
}

// A row of the table as it is sorted among the rows of its count: sixteen
// bytes of its line from some depth on (zero-padded) as two big-endian
// numbers, so that sorting seldom has to look at the line itself, and its
// entry.
struct SortKey {
  std::uint64_t Bytes[2];
  const Entry* Line;
};

// Sets the key's Bytes to those of its line from `depth` on.
void LoadBytes(SortKey& key, std::size_t depth) {
  const std::string_view line = LineOf(key.Line);
  if (line.size() >= depth + 16) {
    key.Bytes[0] = BigEndian(line.data() + depth);
    key.Bytes[1] = BigEndian(line.data() + depth + 8);
    return;
  }
  char padded[16] = {};
  if (line.size() > depth) {
    std::memcpy(padded, line.data() + depth, line.size() - depth);
  }
  key.Bytes[0] = BigEndian(padded);
  key.Bytes[1] = BigEndian(padded + 8);
}

// Bytewise order of the lines of keys that agree before `depth` and hold
// their bytes from there.
bool Before(const SortKey& a, const SortKey& b, std::size_t depth) {
  if (a.Bytes[0] != b.Bytes[0]) return a.Bytes[0] < b.Bytes[0];
  if (a.Bytes[1] != b.Bytes[1]) return a.Bytes[1] < b.Bytes[1];
  // Equal bytes mean equal lines as far as both reach into them: a zero
  // that pads one line stands level with a zero byte of the other.
  const std::string_view x = LineOf(a.Line);
  const std::string_view y = LineOf(b.Line);
  const std::size_t same = std::min({x.size(), y.size(), depth + 16});
  return x.substr(same) < y.substr(same);
}

// Sorts the `size` keys at `keys`, whose lines agree before `depth`, which
// hold their bytes from there and agree in their first `digit` bytes of
// them, bytewise by line, and leaves them at `spare` if `intoSpare`, else
// at `keys`; `spare` has room for as many. A byte at a time into 256
// piles, the most significant first: a comparison sort costs a
// mispredicted branch every other comparison. Each pile goes back and
// forth between the two arrays, and when all keys share a byte, the next
// one they do not share is found in one pass. When they agree in all
// sixteen, the next sixteen bytes of their lines are fetched. Few keys,
// and lines equal to their ends, are compared whole.
// NOLINTNEXTLINE(misc-no-recursion): as deep as the keys halve, at most.
void SortKeys(SortKey* keys, SortKey* spare, std::size_t size, unsigned digit,
              std::size_t depth, bool intoSpare) {
  constexpr std::size_t kFew = 32;
  constexpr unsigned kDigits = 16;
  while (size > kFew) {
    const auto pile = [digit](const SortKey& key) {
      return static_cast<unsigned>(key.Bytes[digit / 8] >>
                                   (56 - 8 * (digit % 8))) &
             0xFF;
    };
    std::uint32_t counts[256] = {};
    if (digit < kDigits) {
      for (std::size_t i = 0; i < size; ++i) ++counts[pile(keys[i])];
    }
    if (digit == kDigits || counts[pile(keys[0])] == size) {
      std::uint64_t differ[2] = {};
      for (std::size_t i = 0; i < size; ++i) {
        differ[0] |= keys[i].Bytes[0] ^ keys[0].Bytes[0];
        differ[1] |= keys[i].Bytes[1] ^ keys[0].Bytes[1];
      }
      const unsigned word = differ[0] != 0 ? 0 : 1;
      if (differ[word] != 0) {
        digit =
            8 * word + static_cast<unsigned>(__builtin_clzll(differ[word])) / 8;
        continue;
      }
      std::size_t longest = 0;
      for (std::size_t i = 0; i < size; ++i) {
        longest = std::max<std::size_t>(longest, keys[i].Line->Size);
      }
      if (longest <= depth + 16) break;
      depth += 16;
      digit = 0;
      // The lines lie anywhere: each is fetched a few keys ahead.
      constexpr std::size_t kAhead = 8;
      for (std::size_t i = 0; i < size; ++i) {
        if (i + kAhead < size) {
          __builtin_prefetch(
              reinterpret_cast<const char*>(keys[i + kAhead].Line + 1) + depth);
        }
        LoadBytes(keys[i], depth);
      }
      continue;
    }
    std::uint32_t ends[256];
    std::uint32_t sum = 0;
    for (unsigned i = 0; i < 256; ++i) {
      ends[i] = sum;
      sum += counts[i];
    }
    for (std::size_t i = 0; i < size; ++i) {
      spare[ends[pile(keys[i])]++] = keys[i];
    }
    // The largest pile is sorted here and the others by calls of their
    // own, each with at most half the keys: however the lines share their
    // starts, the calls go no deeper than the halvings of the keys.
    unsigned largest = 0;
    for (unsigned i = 1; i < 256; ++i) {
      if (counts[i] > counts[largest]) largest = i;
    }
    std::size_t from = 0;
    std::size_t largestFrom = 0;
    for (unsigned i = 0; i < 256; ++i) {
      if (i == largest) {
        largestFrom = from;
      } else if (counts[i] > 1) {
        SortKeys(spare + from, keys + from, counts[i], digit + 1, depth,
                 !intoSpare);
      } else if (counts[i] == 1 && !intoSpare) {
        keys[from] = spare[from];
      }
      from += counts[i];
    }
    SortKey* const next = spare + largestFrom;
    spare = keys + largestFrom;
    keys = next;
    size = counts[largest];
    intoSpare = !intoSpare;
    ++digit;
  }
  std::sort(keys, keys + size, [depth](const SortKey& a, const SortKey& b) {
    return Before(a, b, depth);
  });
  if (intoSpare) std::copy(keys, keys + size, spare);
}

// A row's count and its place among the rows as they came.
struct Rank {
  std::uint64_t Count;
  std::uint64_t Row;
};

// Orders the `size` ranks at `ranks` by count, highest first, keeping the
// order of equal counts; `spare` has room for as many. Returns where they
// end up, `ranks` or `spare`. A byte at a time, the least significant
// first, skipping the bytes in which all counts agree: most counts are
// small, so this takes a pass or two.
Rank* SortByCount(Rank* ranks, Rank* spare, std::size_t size) {
  std::uint64_t differ = 0;
  for (std::size_t i = 0; i < size; ++i)
    differ |= ranks[i].Count ^ ranks[0].Count;
  for (unsigned shift = 0; shift < 64; shift += 8) {
    if (((differ >> shift) & 0xFF) == 0) continue;
    const auto pile = [shift](const Rank& rank) {
      return static_cast<unsigned>(~rank.Count >> shift) & 0xFF;
    };
    std::uint32_t ends[256] = {};
    for (std::size_t i = 0; i < size; ++i) ++ends[pile(ranks[i])];
    std::uint32_t sum = 0;
    for (std::uint32_t& end : ends) {
      const std::uint32_t count = end;
      end = sum;
      sum += count;
    }
    for (std::size_t i = 0; i < size; ++i)
      spare[ends[pile(ranks[i])]++] = ranks[i];
    std::swap(ranks, spare);
  }
  return ranks;
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
  // translation cache per lookup. They are only had on aligned ranges,
  // and whole: the last part of a range that ends inside one would come in
  // small pages.
  constexpr std::size_t kHugePage = std::size_t{1} << 21;
  size = (size + kHugePage - 1) & ~(kHugePage - 1);
  Size = size;
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
    : slots_(kFirstSlots * sizeof(std::uint64_t)), slotCount_(kFirstSlots) {}

namespace {

// `size` rounded up to a whole number of `unit`, a power of two.
constexpr std::size_t RoundUp(std::size_t size, std::size_t unit) {
  return (size + unit - 1) & ~(unit - 1);
}

}  // namespace

void PatternCounter::Add(const ExtractedPattern& pattern) {
  // A line is looked up two Adds late, so that each wait for memory
  // overlaps the making of the next pattern: its slot is fetched now; next
  // time the slot names the entry it may match, which is fetched in turn;
  // the time after, the two are compared. The lines waiting sit in the
  // entries at the end of the last block, the new one right after them.
  std::size_t held = 0;
  for (std::size_t i = 0; i < waitingCount_; ++i) {
    held += RoundUp(kUnit + WaitingAt(i).Size, kUnit);
  }
  const std::size_t need = kUnit + PatternFieldsBound(pattern);
  if (blocks_.empty() || blocks_.back().Size - used_ - held < need) {
    NewBlock(need, held);
  }
  char* const line = blocks_.back().Data + used_ + held + kUnit;
  std::size_t size = pattern.Fields.size();
  std::uint64_t hash = 0;
  if (size != 0) {
    // Hashed where the extractor wrote them, still in the cache, and not
    // where they land.
    std::memcpy(line, pattern.Fields.data(), size);
    hash = HashBytes(pattern.Fields.data(), size);
  } else {
    size = static_cast<std::size_t>(WritePatternFields(pattern, line) - line);
    hash = HashBytes(line, size);
  }
  ++total_;
  __builtin_prefetch(Slots() + ((hash >> 32) & (slotCount_ - 1)));
  Waiting& added = WaitingAt(waitingCount_++);
  added.Size = size;
  added.Hash = hash;
  if (waitingCount_ == 3) LookUpFirst();
  if (waitingCount_ == 2) {
    const std::uint64_t unit = Candidate(WaitingAt(0).Hash);
    // A line whose slots hold no line of its hash is new, whatever waits
    // after it.
    if (unit == 0) {
      LookUpFirst();
    } else {
      __builtin_prefetch(EntryAt(unit));
    }
  }
}

void PatternCounter::NewBlock(std::size_t need, std::size_t held) {
  // Unit 0 holds no entry, so that no slot in use reads 0.
  const std::size_t start = chunks_.empty() ? kUnit : 0;
  const std::size_t size =
      RoundUp(std::max(start + held + need, kChunk), kChunk);
  const std::size_t chunks = size / kChunk;
  if (chunks_.size() + chunks > (std::uint64_t{1} << 32) / kUnitsPerChunk) {
    throw std::bad_alloc();
  }
  chunks_.reserve(chunks_.size() + chunks);
  blocks_.reserve(blocks_.size() + 1);
  Pages block(size);
  if (held != 0) {
    std::memcpy(block.Data + start, blocks_.back().Data + used_, held);
  }
  blockUnit_ = chunks_.size() * kUnitsPerChunk;
  for (std::size_t i = 0; i < chunks; ++i) {
    chunks_.push_back(block.Data + i * kChunk);
  }
  blocks_.push_back(std::move(block));
  used_ = start;
}

std::uint64_t PatternCounter::Candidate(std::uint64_t hash) {
  const std::uint64_t tag = hash >> 32;
  const std::uint64_t* const slots = Slots();
  const std::size_t mask = slotCount_ - 1;
  for (std::size_t slot = tag & mask; slots[slot] != 0;
       slot = (slot + 1) & mask) {
    if (slots[slot] >> 32 == tag) return slots[slot] & 0xFFFFFFFF;
  }
  return 0;
}

void PatternCounter::LookUpFirst() {
  const std::size_t size = WaitingAt(0).Size;
  const std::uint64_t hash = WaitingAt(0).Hash;
  char* const entry = blocks_.back().Data + used_;
  const std::size_t held = RoundUp(kUnit + size, kUnit);
  std::size_t after = 0;
  for (std::size_t i = 1; i < waitingCount_; ++i) {
    after += RoundUp(kUnit + WaitingAt(i).Size, kUnit);
  }
  waitingFirst_ = (waitingFirst_ + 1) % 3;
  --waitingCount_;
  // A new line stays where it is; the lines after one counted already move
  // down over it.
  if (!Insert(hash, size)) {
    std::memmove(entry, entry + held, after);
  }
}

void PatternCounter::Settle() {
  while (waitingCount_ != 0) LookUpFirst();
}

bool PatternCounter::Insert(std::uint64_t hash, std::size_t size) {
  char* const at = blocks_.back().Data + used_;
  const char* const line = at + kUnit;
  const std::uint64_t tag = hash >> 32;
  std::uint64_t* const slots = Slots();
  const std::size_t mask = slotCount_ - 1;
  for (std::size_t slot = tag & mask;; slot = (slot + 1) & mask) {
    const std::uint64_t content = slots[slot];
    if (content == 0) {
      const std::uint64_t unit = blockUnit_ + used_ / kUnit;
      rows_.push_back(static_cast<std::uint32_t>(unit));
      *reinterpret_cast<Entry*>(at) = Entry{1, size};
      slots[slot] = tag << 32 | unit;
      used_ += RoundUp(kUnit + size, kUnit);
      // At most three quarters full: most lines looked up are new, and a
      // new one reads slots up to the first empty one, but they lie side
      // by side, and a smaller table stays in the cache and is doubled
      // fewer times.
      if (rows_.size() * 4 >= slotCount_ * 3) Grow();
      return true;
    }
    if (content >> 32 != tag) continue;
    auto* const entry = reinterpret_cast<Entry*>(EntryAt(content & 0xFFFFFFFF));
    if (entry->Size == size && std::memcmp(entry + 1, line, size) == 0) {
      ++entry->Count;
      return false;
    }
  }
}

void PatternCounter::Grow() {
  // A slot keeps 32 bits of its line's hash, which place it in a table of
  // up to 2^32 slots.
  if (slotCount_ >= (std::uint64_t{1} << 32)) throw std::bad_alloc();
  const std::size_t count = slotCount_ * 2;
  // Fresh pages read as zeros: empty slots.
  Pages slotPages(count * sizeof(std::uint64_t));
  auto* const slots = reinterpret_cast<std::uint64_t*>(slotPages.Data);
  const std::size_t mask = count - 1;
  for (std::size_t i = 0; i < slotCount_; ++i) {
    const std::uint64_t content = Slots()[i];
    if (content == 0) continue;
    std::size_t slot = (content >> 32) & mask;
    while (slots[slot] != 0) slot = (slot + 1) & mask;
    slots[slot] = content;
  }
  slots_ = std::move(slotPages);
  slotCount_ = count;
}

bool PatternCounter::WriteTable(
    const std::function<bool(long long, std::string_view)>& take) {
  Settle();
  slots_ = Pages(0);
  slotCount_ = 0;
  const std::size_t rows = rows_.size();
  if (rows == 0) return true;
  // All in pages of the counter's own, where the system gives huge ones:
  // as small ones they would cost a page fault per 4 KiB.
  const Pages keyPages(rows * sizeof(SortKey));
  auto* const keys = reinterpret_cast<SortKey*>(keyPages.Data);
  const Pages rankPages(rows * sizeof(Rank));
  auto* ranks = reinterpret_cast<Rank*>(rankPages.Data);
  // The entries lie in the blocks in the order of rows_, each fetched a
  // few rows ahead of being read; later reads come in any order, so again
  // each is fetched ahead.
  constexpr std::size_t kAhead = 16;
  for (std::size_t i = 0; i < rows; ++i) {
    if (i + kAhead < rows) __builtin_prefetch(EntryAt(rows_[i + kAhead]));
    const auto* const entry = reinterpret_cast<const Entry*>(EntryAt(rows_[i]));
    keys[i].Line = entry;
    LoadBytes(keys[i], 0);
    ranks[i] = Rank{entry->Count, i};
  }
  // The rows of a count are sorted by line apart from the others: no key
  // has to carry its count through every pass over the lines.
  {
    const Pages spare(rows * sizeof(Rank));
    ranks = SortByCount(ranks, reinterpret_cast<Rank*>(spare.Data), rows);
    if (ranks != reinterpret_cast<Rank*>(rankPages.Data)) {
      std::copy(ranks, ranks + rows, reinterpret_cast<Rank*>(rankPages.Data));
      ranks = reinterpret_cast<Rank*>(rankPages.Data);
    }
  }
  const Pages sortedPages(rows * sizeof(SortKey));
  auto* const sorted = reinterpret_cast<SortKey*>(sortedPages.Data);
  for (std::size_t i = 0; i < rows; ++i) {
    if (i + kAhead < rows) __builtin_prefetch(keys + ranks[i + kAhead].Row);
    sorted[i] = keys[ranks[i].Row];
  }
  for (std::size_t from = 0; from < rows;) {
    std::size_t to = from + 1;
    while (to < rows && ranks[to].Count == ranks[from].Count) ++to;
    SortKeys(sorted + from, keys + from, to - from, 0, 0, false);
    from = to;
  }
  // Each line is fetched whole before it is taken: its first bytes, which
  // tell its size, twice as far ahead as the rest.
  for (std::size_t i = 0; i < std::min(2 * kAhead, rows); ++i) {
    __builtin_prefetch(sorted[i].Line);
  }
  for (std::size_t i = 0; i < rows; ++i) {
    if (i + 2 * kAhead < rows) __builtin_prefetch(sorted[i + 2 * kAhead].Line);
    if (i + kAhead < rows) {
      const std::string_view ahead = LineOf(sorted[i + kAhead].Line);
      for (std::size_t at = 64; at < ahead.size() + sizeof(Entry); at += 64) {
        __builtin_prefetch(ahead.data() - sizeof(Entry) + at);
      }
    }
    if (!take(static_cast<long long>(ranks[i].Count), LineOf(sorted[i].Line))) {
      return false;
    }
  }
  return true;
}
