#include "scan/TreeLineBlocks.h"

#include <cstring>

#include "scan/CountBits.h"

namespace {

using line_blocks::Block;

// The "(", ")" and " " of 64 bytes, the blanks in Marks for now, or false
// for a control byte among them.
bool MarkBlock(const char* bytes, Block& block) {
#if defined(ANNOTATOR_SSE2_LINE_BLOCKS)
  const __m128i open = _mm_set1_epi8('(');
  const __m128i close = _mm_set1_epi8(')');
  const __m128i blank = _mm_set1_epi8(' ');
  const __m128i lastControl = _mm_set1_epi8(' ' - 1);
  std::uint64_t opens = 0;
  std::uint64_t closes = 0;
  std::uint64_t found = 0;
  __m128i controls = _mm_setzero_si128();
  const auto mask = [](__m128i hits, int part) {
    return static_cast<std::uint64_t>(
               static_cast<unsigned>(_mm_movemask_epi8(hits)))
           << (16 * part);
  };
  for (int part = 0; part < 4; ++part) {
    const __m128i chars =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
    // A control byte is its own minimum with 31.
    controls = _mm_or_si128(
        controls, _mm_cmpeq_epi8(_mm_min_epu8(chars, lastControl), chars));
    opens |= mask(_mm_cmpeq_epi8(chars, open), part);
    closes |= mask(_mm_cmpeq_epi8(chars, close), part);
    found |= mask(_mm_cmpeq_epi8(chars, blank), part);
  }
  block.Opens = opens;
  block.Closes = closes;
  block.Marks = found;
  return _mm_movemask_epi8(controls) == 0;
#else
  block.Opens = block.Closes = block.Marks = 0;
  bool plain = true;
  for (int i = 0; i < 64; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    const std::uint64_t bit = std::uint64_t{1} << i;
    plain &= c >= ' ';
    if (c == '(') block.Opens |= bit;
    if (c == ')') block.Closes |= bit;
    if (c == ' ') block.Marks |= bit;
  }
  return plain;
#endif
}

// `high` + `low` + `carry`, leaving in `carry` what goes on to the next
// block.
std::uint64_t AddCarrying(std::uint64_t high, std::uint64_t low,
                          std::uint64_t& carry) {
  const std::uint64_t sum = high + low;
  const std::uint64_t total = sum + carry;
  carry = (sum < high) | (total < sum);
  return total;
}

}  // namespace

bool line_blocks::MarkTreeLine(std::string_view line,
                               std::vector<Block>& blocks) {
  const std::size_t size = line.size();
  const std::size_t count = (size + 63) / 64;
  if (blocks.size() < count + 1) blocks.resize(count + 1);
  Block* const out = blocks.data();
  // Blanks are kept in Marks until the checks below want them alone.
  for (std::size_t i = 0; i < size / 64; ++i) {
    if (!MarkBlock(line.data() + 64 * i, out[i])) return false;
  }
  if (size % 64 != 0 && size > 64) {
    // The last 64 bytes of the line, moved down to the block's start: all
    // read lie within the line, and none is copied, which would stall the
    // block's loads until the copy is done.
    Block& block = out[count - 1];
    if (!MarkBlock(line.data() + size - 64, block)) return false;
    const unsigned shift = 64 - size % 64;
    block.Opens >>= shift;
    block.Closes >>= shift;
    block.Marks >>= shift;
  } else if (size % 64 != 0) {
    // A short line goes through a block of a byte that is neither a mark
    // nor a control byte, which reads nothing past the line.
    char last[64];
    std::memset(last, 'x', sizeof last);
    std::memcpy(last, line.data(), size);
    if (!MarkBlock(last, out[0])) return false;
  }
  out[count] = {};

  // What follows each byte: a label after "("; "(" or a word after " ", and
  // "(" after ") "; ")", " " or the end after ")". A label runs up to " ",
  // a word up to ")". What may come before each byte follows from these.
  std::uint64_t wrong = 0;
  std::uint64_t carryAfterLabel = 0;
  std::uint64_t carryAfterWord = 0;
  // Bits 0 to 3: the last byte of the block before is "(", ")", " ", a
  // word's.
  std::uint64_t before = 0;
  std::uint32_t opens = 0;
  std::uint32_t closes = 0;
  for (std::size_t i = 0; i < count; ++i) {
    Block& block = out[i];
    const bool last = i + 1 == count;
    const std::uint64_t o = block.Opens;
    const std::uint64_t c = block.Closes;
    const std::uint64_t b = block.Marks;
    const std::uint64_t w =
        ~(o | c | b) &
        (!last || size % 64 == 0 ? ~std::uint64_t{0}
                                 : (std::uint64_t{1} << size % 64) - 1);
    // The same masks one byte on: bit i for byte i - 1 (shifted in from
    // the block before) and for byte i + 1 (from the block after).
    const Block& next = out[i + 1];
    const auto after = [last](std::uint64_t mask, std::uint64_t first) {
      return mask >> 1 | (last ? 0 : first & 1) << 63;
    };
    const std::uint64_t po = o << 1 | (before & 1);
    const std::uint64_t pc = c << 1 | (before >> 1 & 1);
    const std::uint64_t pb = b << 1 | (before >> 2 & 1);
    const std::uint64_t pw = w << 1 | (before >> 3 & 1);
    const std::uint64_t no = after(o, next.Opens);
    const std::uint64_t nc = after(c, next.Closes);
    const std::uint64_t nb = after(b, next.Marks);
    const std::uint64_t nw = after(w, ~(next.Opens | next.Closes | next.Marks));
    const std::uint64_t end = last ? std::uint64_t{1} << (size - 1) % 64 : 0;
    wrong |=
        (o & ~nw) | (b & ~(no | nw)) | (b & pc & ~no) | (c & ~(nc | nb | end));
    // A run of word bytes plus its first bit carries past the run's end.
    wrong |= AddCarrying(w, w & po, carryAfterLabel) & ~w & ~b;
    wrong |= AddCarrying(w, w & pb, carryAfterWord) & ~w & ~c;
    before = (o >> 63) | (c >> 63) << 1 | (b >> 63) << 2 | (w >> 63) << 3;
    block.Marks = o | c | b;
    block.Leaves = c & pw;
    block.OpensBefore = opens;
    block.ClosesBefore = closes;
    opens += CountBits(o);
    closes += CountBits(c);
  }
  out[count].OpensBefore = opens;
  out[count].ClosesBefore = closes;
  return wrong == 0;
}

std::size_t CountBlankSeparated(std::string_view text) {
  // A word starts at the first byte, or wherever a blank is followed by
  // something else.
  const std::size_t size = text.size();
#if defined(ANNOTATOR_SSE2_LINE_BLOCKS)
  const __m128i blank = _mm_set1_epi8(' ');
  const auto starts = [blank](__m128i here, __m128i before) {
    return _mm_andnot_si128(_mm_cmpeq_epi8(here, blank),
                            _mm_cmpeq_epi8(before, blank));
  };
  const auto count = [](__m128i hits) {
    return CountBits(static_cast<unsigned>(_mm_movemask_epi8(hits)));
  };
  if (size < 16) {
    // Within a block of blanks, after one: what follows it starts nothing.
    char padded[32];
    std::memset(padded, ' ', sizeof padded);
    std::memcpy(padded + 1, text.data(), size);
    return count(
        starts(_mm_loadu_si128(reinterpret_cast<const __m128i*>(padded + 1)),
               _mm_loadu_si128(reinterpret_cast<const __m128i*>(padded))));
  }
  // The first 16 bytes come after a blank; the last block read ends at the
  // line's end and counts only the bytes no block before it took. Between
  // them, each block's starts (bytes of -1) are taken from byte counters,
  // which are summed before any can reach 256. No branch depends on the
  // text, which lines of a few blocks would pay for.
  const __m128i first =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data()));
  std::size_t words = count(starts(
      first, _mm_or_si128(_mm_slli_si128(first, 1), _mm_cvtsi32_si128(' '))));
  const __m128i zero = _mm_setzero_si128();
  __m128i counts = zero;
  __m128i sums = zero;
  unsigned blocks = 0;
  std::size_t i = 16;
  for (; i + 16 <= size; i += 16) {
    counts = _mm_sub_epi8(
        counts,
        starts(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i)),
            _mm_loadu_si128(
                reinterpret_cast<const __m128i*>(text.data() + i - 1))));
    if (++blocks == 255) {
      sums = _mm_add_epi64(sums, _mm_sad_epu8(counts, zero));
      counts = zero;
      blocks = 0;
    }
  }
  sums = _mm_add_epi64(sums, _mm_sad_epu8(counts, zero));
  words += static_cast<std::size_t>(_mm_cvtsi128_si64(sums)) +
           static_cast<std::size_t>(
               _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
  if (i < size) {
    // Bytes from 16 on in kLastOnes: the last size - i of the block kept.
    alignas(16) static constexpr char kLastOnes[32] = {
        0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
        -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    const char* const last = text.data() + size - 16;
    words += count(_mm_and_si128(
        starts(_mm_loadu_si128(reinterpret_cast<const __m128i*>(last)),
               _mm_loadu_si128(reinterpret_cast<const __m128i*>(last - 1))),
        _mm_loadu_si128(
            reinterpret_cast<const __m128i*>(kLastOnes + (size - i)))));
  }
  return words;
#else
  std::size_t words = 0;
  for (std::size_t i = 0; i < size; ++i) {
    words += static_cast<std::size_t>(text[i] != ' ') &
             static_cast<std::size_t>(i == 0 || text[i - 1] == ' ');
  }
  return words;
#endif
}
