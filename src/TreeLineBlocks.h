#ifndef ANNOTATOR_TREELINEBLOCKS_H_
#define ANNOTATOR_TREELINEBLOCKS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// As in the tree measures, a build with ANNOTATOR_PORTABLE_SCAN leaves the
// SSE2 path out, so that the byte-by-byte one is compiled and tested.
#if defined(__SSE2__) && !defined(ANNOTATOR_PORTABLE_SCAN)
#define ANNOTATOR_SSE2_LINE_BLOCKS 1
#include <emmintrin.h>
#endif

// The block work behind make_examples' plain tree lines (64-byte blocks of
// marks, 16-byte copies): SSE2 where the processor has it, byte by byte
// elsewhere. The SSE2 forms read and
// write whole blocks, up to kSlack - 1 bytes past a piece's end: each
// caller says why those bytes are there.
namespace line_blocks {

constexpr std::size_t kSlack = 32;

// Marks where each "(", ")" and " " of `line` stands: bit i % 64 of
// bits[i / 64] for byte i, the bits past the line's end clear, and then a
// word of set bits that no walk reaches past. False when the line holds a
// control byte (a tab, a carriage return), which only the full reading
// rules take.
bool MarkTreeLine(std::string_view line, std::vector<std::uint64_t>& bits);

// The marked positions of a line in order, one bit at a time: the walk
// holds a word of marks, so no position waits for the search that found
// the one before it.
class MarkCursor {
 public:
  explicit MarkCursor(const std::vector<std::uint64_t>& bits)
      : next_(bits.data()) {}

  // The next marked position; the caller knows that one is left.
  std::size_t Next() {
    while (bits_ == 0) {
      bits_ = *next_++;
      base_ += 64;
    }
    const std::size_t at =
        base_ + static_cast<std::size_t>(__builtin_ctzll(bits_));
    bits_ &= bits_ - 1;
    return at;
  }

 private:
  const std::uint64_t* next_;
  std::uint64_t bits_ = 0;
  // Before the first word: the first refill makes it 0.
  std::size_t base_ = static_cast<std::size_t>(-64);
};

// Copies `size` bytes, 32 at once and then 16 at a time: may write up to
// kSlack - 1 bytes more, and read as many past `from`. Most runs a tree
// line is copied in fit the first 32, which spares a branch that guesses
// wrong on every other run.
inline void CopyBlocks(char* to, const char* from, std::size_t size) {
#if defined(ANNOTATOR_SSE2_LINE_BLOCKS)
  const auto copy = [to, from](std::size_t at) {
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(to + at),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + at)));
  };
  copy(0);
  copy(16);
  for (std::size_t i = 32; i < size; i += 16) copy(i);
#else
  for (std::size_t i = 0; i < size; ++i) to[i] = from[i];
#endif
}

// Copies `size` bytes with ASCII capitals lower-cased, as CopyBlocks.
inline void CopyLowerBlocks(char* to, const char* from, std::size_t size) {
#if defined(ANNOTATOR_SSE2_LINE_BLOCKS)
  // Signed compares: bytes from 0x80 up are below 'A' and left alone.
  const __m128i belowA = _mm_set1_epi8('A' - 1);
  const __m128i aboveZ = _mm_set1_epi8('Z' + 1);
  const __m128i lowerBit = _mm_set1_epi8(0x20);
  // The first block whatever the size: tags are short.
  std::size_t i = 0;
  do {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
    const __m128i capitals = _mm_and_si128(_mm_cmpgt_epi8(bytes, belowA),
                                           _mm_cmplt_epi8(bytes, aboveZ));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                     _mm_or_si128(bytes, _mm_and_si128(capitals, lowerBit)));
    i += 16;
  } while (i < size);
#else
  for (std::size_t i = 0; i < size; ++i) {
    const char c = from[i];
    to[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
#endif
}

}  // namespace line_blocks

// The words of `text` as the readers split it: runs of anything but " ".
std::size_t CountBlankSeparated(std::string_view text);

#endif  // ANNOTATOR_TREELINEBLOCKS_H_
