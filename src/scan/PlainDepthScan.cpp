#include "scan/PlainDepthScan.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "records/LegacyLimits.h"
#include "scan/CountBits.h"

// A build with ANNOTATOR_PORTABLE_SCAN leaves the SSE2 path out, so that
// the byte-by-byte one, which processors without SSE2 run, is compiled and
// tested.
#if defined(__SSE2__) && !defined(ANNOTATOR_PORTABLE_SCAN)
#define ANNOTATOR_SSE2_BLOCKS 1
#include <emmintrin.h>
#endif

namespace {

constexpr std::size_t kBlock = 64;

// The highest and the lowest nesting level that the bytes of a 64-byte block
// reach, and the level after its last byte, each counted from the level
// before the block.
struct LevelRange {
  int Highest = 0;
  int Lowest = 0;
  int Last = 0;
};

// How a 64-byte block is read, for every processor: SSE2 where there is
// (every x86-64 has it), byte by byte elsewhere.
struct BaselineBlocks {
  // One 64-byte block of a text as three bit masks: bit i stands for byte i.
  struct Masks {
    std::uint64_t Open = 0;
    std::uint64_t Close = 0;
    std::uint64_t Blank = 0;
#if defined(ANNOTATOR_SSE2_BLOCKS)
    // For the levels: +1 at "(", -1 at ")", 0 elsewhere, 16 bytes a part.
    __m128i Steps[4];
#else
    const char* Bytes = nullptr;
#endif
  };

  static void Classify(const char* block, Masks& masks) {
#if defined(ANNOTATOR_SSE2_BLOCKS)
    const __m128i open = _mm_set1_epi8('(');
    const __m128i close = _mm_set1_epi8(')');
    const __m128i blank = _mm_set1_epi8(' ');
    const auto bits = [](__m128i matches, int part) {
      return static_cast<std::uint64_t>(
                 static_cast<std::uint32_t>(_mm_movemask_epi8(matches)))
             << (16 * part);
    };
    // Spelled out part by part: not every compiler unrolls the loop.
    const auto classify = [&](int part) {
      const __m128i bytes = _mm_loadu_si128(
          reinterpret_cast<const __m128i*>(block + std::ptrdiff_t{16} * part));
      const __m128i opens = _mm_cmpeq_epi8(bytes, open);
      const __m128i closes = _mm_cmpeq_epi8(bytes, close);
      masks.Open |= bits(opens, part);
      masks.Close |= bits(closes, part);
      masks.Blank |= bits(_mm_cmpeq_epi8(bytes, blank), part);
      masks.Steps[part] = _mm_sub_epi8(closes, opens);
    };
    classify(0);
    classify(1);
    classify(2);
    classify(3);
#else
    for (std::size_t i = 0; i < kBlock; ++i) {
      const std::uint64_t bit = std::uint64_t{1} << i;
      if (block[i] == '(') masks.Open |= bit;
      if (block[i] == ')') masks.Close |= bit;
      if (block[i] == ' ') masks.Blank |= bit;
    }
    masks.Bytes = block;
#endif
  }

  static LevelRange Levels(const Masks& masks) {
    LevelRange range;
#if defined(ANNOTATOR_SSE2_BLOCKS)
    // Each part's levels summed from its left, in bytes (-64 to 64 fit).
    __m128i levels[4];
    for (int part = 0; part < 4; ++part) {
      __m128i level = masks.Steps[part];
      level = _mm_add_epi8(level, _mm_slli_si128(level, 1));
      level = _mm_add_epi8(level, _mm_slli_si128(level, 2));
      level = _mm_add_epi8(level, _mm_slli_si128(level, 4));
      levels[part] = _mm_add_epi8(level, _mm_slli_si128(level, 8));
    }
    // Then each part raised by the level the parts before it end at.
    const auto lastOf = [](__m128i level) {
      const __m128i pair = _mm_unpackhi_epi8(level, level);
      return _mm_shuffle_epi32(_mm_shufflehi_epi16(pair, 0xff), 0xff);
    };
    levels[1] = _mm_add_epi8(levels[1], lastOf(levels[0]));
    levels[2] = _mm_add_epi8(levels[2], lastOf(levels[1]));
    levels[3] = _mm_add_epi8(levels[3], lastOf(levels[2]));
    // Signed bytes compare as unsigned ones once their top bit is flipped, and
    // the lowest is the highest of the complements.
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i invert = _mm_set1_epi8(static_cast<char>(0x7f));
    __m128i highest = _mm_xor_si128(levels[0], flip);
    __m128i lowest = _mm_xor_si128(levels[0], invert);
    for (int part = 1; part < 4; ++part) {
      highest = _mm_max_epu8(highest, _mm_xor_si128(levels[part], flip));
      lowest = _mm_max_epu8(lowest, _mm_xor_si128(levels[part], invert));
    }
    // Both folded at once, one in each half.
    highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 8));
    lowest = _mm_max_epu8(lowest, _mm_srli_si128(lowest, 8));
    __m128i both = _mm_unpacklo_epi64(highest, lowest);
    both = _mm_max_epu8(both, _mm_srli_epi64(both, 32));
    both = _mm_max_epu8(both, _mm_srli_epi64(both, 16));
    both = _mm_max_epu8(both, _mm_srli_epi64(both, 8));
    range.Highest = (_mm_cvtsi128_si32(both) & 0xff) - 0x80;
    range.Lowest = 0x7f - (_mm_extract_epi16(both, 4) & 0xff);
    // The last byte's level, a signed byte.
    // NOLINTNEXTLINE(bugprone-signed-char-misuse)
    range.Last = static_cast<signed char>(
        static_cast<unsigned>(_mm_extract_epi16(levels[3], 7)) >> 8);
#else
    int level = 0;
    range.Highest = -1 - static_cast<int>(kBlock);
    range.Lowest = 1 + static_cast<int>(kBlock);
    for (std::size_t i = 0; i < kBlock; ++i) {
      level += (masks.Bytes[i] == '(') - (masks.Bytes[i] == ')');
      range.Highest = std::max(range.Highest, level);
      range.Lowest = std::min(range.Lowest, level);
    }
    range.Last = level;
#endif
    return range;
  }
};

// For every bit of `from`, marks the first position at or after it that is
// not in `through`, carrying runs that reach the block's end into the next
// block through `carry`. Each run of `through` holds at most one bit of
// `from` that is not at a run's first position, so one addition does it.
std::uint64_t FirstOutside(std::uint64_t from, std::uint64_t through,
                           std::uint64_t& carry) {
  const std::uint64_t inside = from & through;
  const std::uint64_t sum = inside + through;
  const std::uint64_t total = sum + carry;
  carry = (sum < inside || total < sum) ? 1 : 0;
  return (total & ~through) | (from & ~through);
}

// The depth of a text whose brackets nest plainly: every "(" after the
// root's label is followed by its own label and a blank before any other
// bracket, and the brackets balance with the root's ")" as the last
// character. Each constituent then reads exactly its matched brackets, and
// words or stray text around children change nothing of the depth, so the
// full reading rules give the bracket nesting depth. Anything else (a bracket
// without its blank, a ")" too many or too few, text after the root,
// over-long texts) returns false and goes the full way.
//
// Both rules are checked 64 bytes at a time on bit masks instead of byte by
// byte.
template <class Blocks>
bool ScanPlainDepth(std::string_view text, std::size_t& depth) {
  const char* const base = text.data();
  const std::size_t size = text.size();
  if (size < 2 || size >= kConstituentTextKept) return false;
  // The root's first character is dropped unread and its label runs to the
  // first blank, brackets and all ("C-Structure:(S").
  const char* blank =
      static_cast<const char*>(std::memchr(base + 1, ' ', size - 1));
  if (!blank ||
      std::memchr(base + 1, ')', static_cast<std::size_t>(blank - base - 1))) {
    return false;
  }
  const std::size_t start = static_cast<std::size_t>(blank - base);
  // The root's ")" must be the last byte; every byte before it, from the
  // root's blank on, is read in blocks, and the nesting must stay at 1 or
  // more through them and be 1 before that ")".
  const std::size_t last = size - 1;
  if (base[last] != ')') return false;

  std::int64_t level = 1;
  std::int64_t deepest = 1;
  std::uint64_t openBefore = 0;  // the previous block's last byte was "("
  std::uint64_t labelCarry = 0;
  char tail[kBlock];
  for (std::size_t at = start; at < last; at += kBlock) {
    const std::size_t count = std::min(kBlock, last - at);
    const char* block = base + at;
    if (count < kBlock) {
      // Filler that is neither bracket nor blank changes no rule.
      std::memcpy(tail, block, count);
      std::memset(tail + count, 'x', kBlock - count);
      block = tail;
    }
    typename Blocks::Masks m;
    Blocks::Classify(block, m);
    const std::uint64_t brackets = m.Open | m.Close;

    // The first bracket or blank after each "(" must be a blank. A "(" whose
    // label runs into the root's ")" leaves the nesting above 1 at the end.
    const std::uint64_t labelEnds = FirstOutside(
        (m.Open << 1) | openBefore, ~(brackets | m.Blank), labelCarry);
    if ((labelEnds & brackets) != 0) return false;
    openBefore = m.Open >> 63;

    // Blocks that only open or only close are counted, not walked.
    if (m.Close == 0) {
      level += static_cast<int>(CountBits(m.Open));
      deepest = std::max(deepest, level);
      continue;
    }
    if (m.Open == 0) {
      level -= static_cast<int>(CountBits(m.Close));
    } else {
      const LevelRange range = Blocks::Levels(m);
      if (level + range.Lowest < 1) return false;
      deepest = std::max(deepest, level + range.Highest);
      level += range.Last;
    }
    if (level < 1) return false;
  }
  if (level != 1) return false;
  depth = static_cast<std::size_t>(deepest);
  return true;
}

}  // namespace

bool MeasurePlainDepth(std::string_view text, std::size_t& depth) {
  return ScanPlainDepth<BaselineBlocks>(text, depth);
}

void MatchBrackets(std::string_view text, std::vector<std::size_t>& matches,
                   std::vector<std::size_t>& openBrackets) {
  const char* const base = text.data();
  const std::size_t size = text.size();
  // Only the entries at a "(" are ever read, and each is written below.
  if (matches.size() < size) matches.resize(size);
  openBrackets.clear();
  // The brackets are found 64 bytes at a time, and only they are visited.
  char tail[kBlock];
  for (std::size_t at = 0; at < size; at += kBlock) {
    const char* block = base + at;
    if (size - at < kBlock) {
      // Filler that is no bracket changes nothing.
      std::memcpy(tail, block, size - at);
      std::memset(tail + (size - at), 'x', kBlock - (size - at));
      block = tail;
    }
    BaselineBlocks::Masks masks;
    BaselineBlocks::Classify(block, masks);
    for (std::uint64_t brackets = masks.Open | masks.Close; brackets != 0;
         brackets &= brackets - 1) {
      const auto bit = static_cast<unsigned>(__builtin_ctzll(brackets));
      const std::size_t i = at + bit;
      if ((masks.Open >> bit) & 1U) {
        matches[i] = kUnmatched;
        openBrackets.push_back(i);
      } else if (!openBrackets.empty()) {
        matches[openBrackets.back()] = i;
        openBrackets.pop_back();
      }
    }
  }
}
