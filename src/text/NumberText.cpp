#include "text/NumberText.h"

#include <climits>

namespace {

// The C locale's white space, spelled out: isspace would depend on the
// locale and is undefined for the negative chars of UTF-8 text.
bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// One past INT_MAX is as far as a magnitude needs to go: it is INT_MIN's
// magnitude, and every larger value saturates the same way.
constexpr long long kCap = static_cast<long long>(INT_MAX) + 1;

// Reads the digits from `i` on into a magnitude capped at kCap and leaves
// `i` at the first other character.
long long ReadMagnitude(std::string_view text, std::size_t& i) {
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kCap) magnitude = kCap;
  }
  return magnitude;
}

}  // namespace

int ReadLeadingInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsWhiteSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const long long magnitude = ReadMagnitude(text, i);
  if (negative) return static_cast<int>(-magnitude);
  return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

bool ReadDigitsOnly(std::string_view text, int& value) {
  std::size_t end = 0;
  const long long magnitude = ReadMagnitude(text, end);
  if (end == 0 || end != text.size() || magnitude > INT_MAX) return false;
  value = static_cast<int>(magnitude);
  return true;
}
