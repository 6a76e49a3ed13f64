#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "NumberText.h"

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

TEST(ClampToIntRange, KeepsValuesThatFitAndCapsTheRest) {
  EXPECT_EQ(ClampToIntRange(0), 0);
  EXPECT_EQ(ClampToIntRange(static_cast<std::size_t>(INT_MAX)), INT_MAX);
  EXPECT_EQ(ClampToIntRange(static_cast<std::size_t>(INT_MAX) + 1), INT_MAX);
  EXPECT_EQ(ClampToIntRange(static_cast<std::size_t>(-1)), INT_MAX);
}

}  // namespace
