#ifndef ANNOTATOR_COUNTTABLES_H_
#define ANNOTATOR_COUNTTABLES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "BoundedCounter.h"

// The most patterns, or word links, that the tables or count files of a run
// may count in all: every count and every sum of counts then fits in a
// signed 64-bit number, whatever the order they are added up in.
constexpr std::uint64_t kMostCounted = std::uint64_t{1} << 62;

// The count of a count line (a count from 1, without leading zeros, a tab,
// eight tab-separated fields, escaped: no carriage return, and no backslash
// but those of the four escapes) and its fields;
// false when it is none.
bool SplitCountLine(std::string_view line, std::uint64_t& count,
                    std::string_view& fields);

// Adds the rows of the --count tables at `paths` to `counter`. Every line must
// be a count line (a count from 1, without leading zeros, a tab, eight
// tab-separated fields, a line feed) and come after the one before it in
// --count's order, each line once. Returns the message of the first refusal (""
// for none): a table that cannot be opened or read, or its first line out of
// place, or the line that takes the patterns counted past kMostCounted.
std::string ReadCountTables(const std::vector<const char*>& paths,
                            BoundedCounter& counter);

#endif  // ANNOTATOR_COUNTTABLES_H_
