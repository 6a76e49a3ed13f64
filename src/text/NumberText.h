#ifndef ANNOTATOR_NUMBERTEXT_H_
#define ANNOTATOR_NUMBERTEXT_H_

#include <charconv>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

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

// The most bytes a 64-bit integer takes in decimal: "-9223372036854775808"
// or "18446744073709551615".
constexpr std::size_t kMostDecimalBytes = 20;

// Writes `value` in decimal at `out`, which has room for kMostDecimalBytes,
// and returns where it ends. The one way the project writes a number.
// Most numbers written are word positions and scores below ten, and calling
// into to_chars for those cost extract_patterns a tenth of its instructions.
template <typename Integer>
char* PutDecimal(char* out, Integer value) {
  // Negative values wrap to large unsigned ones and take the long way.
  const auto asUnsigned = static_cast<std::make_unsigned_t<Integer>>(value);
  if (asUnsigned < 10) {
    *out = static_cast<char>('0' + asUnsigned);
    return out + 1;
  }
  return std::to_chars(out, out + kMostDecimalBytes, value).ptr;
}

// `value` in decimal, for messages.
template <typename Integer>
std::string Decimal(Integer value) {
  char digits[kMostDecimalBytes];
  return std::string(digits, PutDecimal(digits, value));
}

#endif  // ANNOTATOR_NUMBERTEXT_H_
