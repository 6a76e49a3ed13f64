#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "text/DecimalOrder.h"
#include "text/NumberText.h"

namespace {

struct LeadingIntCase {
  std::string Text;
  int Expected;
};

TEST(ReadLeadingInt, ReadsLikeAtoiAndSaturatesAtTheIntRange) {
  const LeadingIntCase cases[] = {
      {"", 0},
      {"42", 42},
      {"007", 7},
      {" \t\n\v\f\r-17x", -17},
      {"+5", 5},
      {"-", 0},
      {"+-3", 0},
      {"- 3", 0},
      {"x12", 0},
      {"1e5", 1},
      {"0x10", 0},
      {"3 4", 3},
      {std::string("1\0002", 3), 1},
      {std::string("\0003", 2), 0},
      {"\xc2\xa0"
       "5",
       0},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-2147483649", INT_MIN},
      {"99999999999999999999999999", INT_MAX},
      {"-99999999999999999999999999", INT_MIN},
      {"000000000000000000000000012", 12},
      {std::string(100000, '9'), INT_MAX},
  };
  for (const LeadingIntCase& c : cases) {
    SCOPED_TRACE(c.Text.substr(0, 40));
    EXPECT_EQ(ReadLeadingInt(c.Text), c.Expected);
  }
}

// Leaf suffixes must be bare digits: unlike ReadLeadingInt, nothing around
// them is skipped and a value past the int range is no value at all.
TEST(ReadDigitsOnly, TakesOnlyABareDigitRunThatFitsAnInt) {
  const LeadingIntCase taken[] = {
      {"0", 0}, {"7", 7}, {"007", 7}, {"2147483647", INT_MAX}};
  for (const LeadingIntCase& c : taken) {
    int value = -1;
    EXPECT_TRUE(ReadDigitsOnly(c.Text, value)) << c.Text;
    EXPECT_EQ(value, c.Expected) << c.Text;
  }
  for (const std::string text : {"", "+7", "-7", " 7", "7 ", "7x", "x7",
                                 "2147483648", "99999999999999999999"}) {
    int value = -1;
    EXPECT_FALSE(ReadDigitsOnly(text, value)) << text;
    EXPECT_EQ(value, -1) << text;
  }
}

TEST(ForEachInDecimalTextOrder, VisitsOneToCountAsTheirTextsSort) {
  for (const long long count :
       {0LL, 1LL, 2LL, 9LL, 10LL, 11LL, 19LL, 20LL, 99LL, 100LL, 101LL, 109LL,
        110LL, 999LL, 1000LL, 1234LL}) {
    std::vector<std::string> expected;
    for (long long n = 1; n <= count; ++n) {
      expected.push_back(std::to_string(n));
    }
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> visited;
    ForEachInDecimalTextOrder(
        count, [&](long long n) { visited.push_back(std::to_string(n)); });
    EXPECT_EQ(visited, expected) << "count " << count;
  }
}

TEST(ClampToIntRange, KeepsValuesThatFitAndCapsTheRest) {
  EXPECT_EQ(ClampToIntRange(0), 0);
  EXPECT_EQ(ClampToIntRange(static_cast<std::size_t>(INT_MAX)), INT_MAX);
  EXPECT_EQ(ClampToIntRange(static_cast<std::size_t>(INT_MAX) + 1), INT_MAX);
  EXPECT_EQ(ClampToIntRange(static_cast<std::size_t>(-1)), INT_MAX);
}

// kMostDecimalBytes must hold the longest numbers of either sign, or they
// come out cut short; single digits take a short way whose edges are 9, 10
// and the negatives.
TEST(PutDecimal, WritesEveryNumberWhole) {
  const auto written = [](auto value) {
    char text[kMostDecimalBytes];
    return std::string(text, PutDecimal(text, value));
  };
  EXPECT_EQ(written(std::uint64_t{0}), "0");
  EXPECT_EQ(written(std::numeric_limits<std::uint64_t>::max()),
            "18446744073709551615");
  EXPECT_EQ(written(std::numeric_limits<std::int64_t>::min()),
            "-9223372036854775808");
  EXPECT_EQ(Decimal(-1), "-1");
  EXPECT_EQ(written(9), "9");
  EXPECT_EQ(written(10), "10");
  EXPECT_EQ(written(std::uint8_t{9}), "9");
  EXPECT_EQ(written(std::int64_t{-9}), "-9");
}

}  // namespace
