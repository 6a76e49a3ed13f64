#include "TreeLineBlocks.h"

#include <cstring>

namespace {

// The marks of 64 bytes, or false for a control byte among them.
bool MarkBlock(const char* block, std::uint64_t& marks) {
#if defined(ANNOTATOR_SSE2_LINE_BLOCKS)
  const __m128i open = _mm_set1_epi8('(');
  const __m128i close = _mm_set1_epi8(')');
  const __m128i blank = _mm_set1_epi8(' ');
  const __m128i lastControl = _mm_set1_epi8(' ' - 1);
  std::uint64_t found = 0;
  __m128i controls = _mm_setzero_si128();
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * part));
    // A control byte is its own minimum with 31.
    controls = _mm_or_si128(
        controls, _mm_cmpeq_epi8(_mm_min_epu8(bytes, lastControl), bytes));
    const __m128i hits = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, open), _mm_cmpeq_epi8(bytes, close)),
        _mm_cmpeq_epi8(bytes, blank));
    found |= static_cast<std::uint64_t>(
                 static_cast<unsigned>(_mm_movemask_epi8(hits)))
             << (16 * part);
  }
  marks = found;
  return _mm_movemask_epi8(controls) == 0;
#else
  std::uint64_t found = 0;
  bool plain = true;
  for (int i = 0; i < 64; ++i) {
    const auto c = static_cast<unsigned char>(block[i]);
    plain &= c >= ' ';
    if (c == '(' || c == ')' || c == ' ') found |= std::uint64_t{1} << i;
  }
  marks = found;
  return plain;
#endif
}

}  // namespace

bool line_blocks::MarkTreeLine(std::string_view line,
                               std::vector<std::uint64_t>& bits) {
  const std::size_t whole = line.size() / 64;
  // The whole blocks, the last part block (perhaps empty) and the end word.
  if (bits.size() < whole + 2) bits.resize(whole + 2);
  std::uint64_t* out = bits.data();
  for (std::size_t i = 0; i < whole; ++i) {
    if (!MarkBlock(line.data() + 64 * i, out[i])) return false;
  }
  // The rest goes through a block of a byte that is neither a mark nor a
  // control byte, which reads nothing past the line.
  char last[64];
  std::memset(last, 'x', sizeof last);
  std::memcpy(last, line.data() + 64 * whole, line.size() - 64 * whole);
  if (!MarkBlock(last, out[whole])) return false;
  out[whole + 1] = ~std::uint64_t{0};
  return true;
}

std::size_t CountBlankSeparated(std::string_view text) {
  if (text.empty()) return 0;
  // A word starts at the first byte, or wherever a blank is followed by
  // something else.
  std::size_t words = text[0] != ' ';
  std::size_t i = 1;
#if defined(ANNOTATOR_SSE2_LINE_BLOCKS)
  // Each block's starts (bytes of -1) are taken from byte counters, which
  // are summed before any can reach 256.
  const __m128i blank = _mm_set1_epi8(' ');
  const __m128i zero = _mm_setzero_si128();
  __m128i counts = zero;
  __m128i sums = zero;
  unsigned blocks = 0;
  for (; i + 16 <= text.size(); i += 16) {
    const __m128i here =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    const __m128i before =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i - 1));
    const __m128i starts = _mm_andnot_si128(_mm_cmpeq_epi8(here, blank),
                                            _mm_cmpeq_epi8(before, blank));
    counts = _mm_sub_epi8(counts, starts);
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
#endif
  for (; i < text.size(); ++i) {
    words += static_cast<std::size_t>(text[i] != ' ' && text[i - 1] == ' ');
  }
  return words;
}
