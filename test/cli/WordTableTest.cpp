#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "WordTable.h"

namespace {

// The word tables' lines come bytewise though they are sorted by their
// words: words that begin others, bytes below a blank, and a word that
// reads as NULL all order as the whole lines do.
TEST(WordTable, LinesComeBytewiseWhateverTheWords) {
  WordTable words;
  const char* const sl[] = {"le", "les", "le\tx", "l", "NULL", "", "lf"};
  const char* const tl[] = {"a", "ab", "a\tb", "", "b"};
  long long count = 1;
  for (const char* source : sl) {
    for (const char* target : tl) {
      if (*source || *target) words.AddPair(source, target, count++ % 3 + 1);
    }
  }
  for (const bool sourceToTarget : {true, false}) {
    SCOPED_TRACE(sourceToTarget ? "s2t" : "t2s");
    std::vector<std::string> lines;
    EXPECT_TRUE(words.ForEachLine(sourceToTarget, [&](std::string_view line) {
      lines.emplace_back(line);
      return true;
    }));
    ASSERT_EQ(lines.size(), 34U);
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end()));
  }
}

}  // namespace
