#ifndef ANNOTATOR_NUMBERTEXT_H_
#define ANNOTATOR_NUMBERTEXT_H_

#include <cstddef>
#include <string_view>

// The int at the start of `text`, read the way atoi reads it: leading white
// space (blank, "\t", "\n", "\v", "\f", "\r") is skipped, then one optional
// "+" or "-", then decimal digits up to the first other character (a NUL
// included); 0 when no digit comes there. A digit run of any length is read
// whole, and a value beyond the int range gives INT_MAX or INT_MIN instead of
// overflowing. Time linear in the characters read.
int ReadLeadingInt(std::string_view text);

// `value` as an int, INT_MAX when it does not fit.
int ClampToIntRange(std::size_t value);

#endif  // ANNOTATOR_NUMBERTEXT_H_
