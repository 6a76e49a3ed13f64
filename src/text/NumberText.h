#ifndef ANNOTATOR_NUMBERTEXT_H_
#define ANNOTATOR_NUMBERTEXT_H_

#include <charconv>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// The int at the start of `text`, read the way atoi reads it: leading white
// space (blank, "\t", "\n", "\v", "\f", "\r") is skipped, then one optional
// "+" or "-", then decimal digits up to the first other character (a NUL
// included); 0 when no digit comes there. A digit run of any length is read
// whole, and a value beyond the int range gives INT_MAX or INT_MIN instead of
// overflowing. Time linear in the characters read.
int ReadLeadingInt(std::string_view text);

// The value of `text` when it is a non-empty run of decimal digits and
// nothing else, with no sign, blank or other character, and the value fits
// in an int: stores it in `value` and returns true; otherwise false and
// `value` unchanged. Leaf position suffixes are read this way.
bool ReadDigitsOnly(std::string_view text, int& value);

// `value` as an int, INT_MAX when it does not fit. Inline: patterns call it
// for every word and link they write.
inline int ClampToIntRange(std::size_t value) {
  return value > static_cast<std::size_t>(INT_MAX) ? INT_MAX
                                                   : static_cast<int>(value);
}

namespace number_text {

// The decimal text of 0 to 999, in four bytes each, and how many it takes.
struct SmallNumbers {
  char Text[1000][4];
  unsigned char Size[1000];
  constexpr SmallNumbers() : Text(), Size() {
    for (int n = 0; n < 1000; ++n) {
      const int size = n < 10 ? 1 : n < 100 ? 2 : 3;
      for (int i = size - 1, rest = n; i >= 0; --i, rest /= 10) {
        Text[n][i] = static_cast<char>('0' + rest % 10);
      }
      Size[n] = static_cast<unsigned char>(size);
    }
  }
};
inline constexpr SmallNumbers kSmallNumbers;

}  // namespace number_text

// Writes `value` in decimal at `out` and returns where it ends. A number
// below 1,000, as word and link numbers mostly are, is copied whole from a
// table, four bytes whatever its size: `out` needs room for 20 bytes, or 4
// past the number's end. Inline: make_examples writes one for every word
// and two for every link.
inline char* PutDecimal(char* out, std::uint64_t value) {
  if (value < 1000) {
    std::memcpy(out, number_text::kSmallNumbers.Text[value], 4);
    return out + number_text::kSmallNumbers.Size[value];
  }
  return std::to_chars(out, out + 20, value).ptr;
}

#endif  // ANNOTATOR_NUMBERTEXT_H_
