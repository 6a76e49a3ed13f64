#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "LineUp.h"

namespace {

using namespace std::string_literals;
using Hash = std::map<int, std::vector<int>>;

struct FillCase {
  std::string Alignment;
  Hash FromX;
};

TEST(LineUpFillHash, ReadsPairsInStringOrderKeepingRepeats) {
  const FillCase cases[] = {
      {"((1,1),(2,3),(3,2))", {{1, {1}}, {2, {3}}, {3, {2}}}},
      {"((1,1),(1,1))", {{1, {1, 1}}}},
      {"((2,5),(1,1),(2,3))", {{1, {1}}, {2, {5, 3}}}},
      {"( (1, 2) , (3 ,4) )", {{1, {2}}, {3, {4}}}},
      {"((\t7,\n8))", {{7, {8}}}},
      {"((1a,2))", {{1, {2}}}},
      {"((-3,+4))", {{-3, {4}}}},
  };
  for (const FillCase& c : cases) {
    SCOPED_TRACE(c.Alignment);
    LineUp lineUp;
    lineUp.FillHash(1, c.Alignment);
    EXPECT_EQ(lineUp.HashFromX, c.FromX);
    EXPECT_TRUE(lineUp.HashFromY.empty());
  }
}

TEST(LineUpFillHash, AnyDirectionButOneFillsTheMapFromY) {
  for (const int direction : {2, 0, -1, INT_MIN}) {
    SCOPED_TRACE(direction);
    LineUp lineUp;
    lineUp.FillHash(direction, "((2,5),(1,1),(3,5))");
    EXPECT_EQ(lineUp.HashFromY, (Hash{{1, {1}}, {5, {2, 3}}}));
    EXPECT_TRUE(lineUp.HashFromX.empty());
  }
}

TEST(LineUpFillHash, AddsToWhatTheMapHolds) {
  LineUp lineUp;
  lineUp.FillHash(1, "((1,2))");
  lineUp.FillHash(1, "((1,3),(4,4))");
  EXPECT_EQ(lineUp.HashFromX, (Hash{{1, {2, 3}}, {4, {4}}}));
}

// Pairs are read at every "(" after the first character, whatever stands
// around them; an unfinished pair ends the scan, and numbers of any length
// saturate instead of overflowing or being cut.
TEST(LineUpFillHash, ReadsHostileStringsWithinTheirBounds) {
  const FillCase cases[] = {
      {"", {}},
      {"(", {}},
      {"((", {}},
      {"(1,2)", {}},
      {"x((1,1))", {{0, {1}}}},
      {"(((1,2)))", {{0, {2}}}},
      {"((1)(2,3))", {{1, {3}}}},
      {"((,))", {{0, {0}}}},
      {"((a,b))", {{0, {0}}}},
      {"((1,2", {}},
      {"((1,2),(3", {{1, {2}}}},
      {"((1,2),(3,4", {{1, {2}}}},
      {"((1,2)),(", {{1, {2}}}},
      {"((1,2),(3,4),)(", {{1, {2}}, {3, {4}}}},
      {"((12345678901,2))", {{INT_MAX, {2}}}},
      {"((-99999999999,1))", {{INT_MIN, {1}}}},
      {"((0000000000007,3))", {{7, {3}}}},
      // Nine digits read at once, ten through the saturating reading.
      {"((999999999,9999999999))", {{999999999, {INT_MAX}}}},
      {"((1,          42))", {{1, {42}}}},
      {"((1\0009,2))"s, {{1, {2}}}},
      {std::string(100000, '('), {}},
      {"(" + std::string(100000, ',') + ")", {}},
  };
  for (const FillCase& c : cases) {
    SCOPED_TRACE(c.Alignment.substr(0, 40));
    LineUp lineUp;
    lineUp.FillHash(1, c.Alignment);
    EXPECT_EQ(lineUp.HashFromX, c.FromX);
  }
}

struct QueryCase {
  std::string Alignment;
  int Position;
  std::set<int> Added;
  int Found;
};

TEST(LineUpGetEq, AddsEveryPartnerOfXOnce) {
  const QueryCase cases[] = {
      {"((1,1),(2,3),(2,4))", 2, {3, 4}, 1},
      {"((1,1),(2,3),(2,4))", 5, {}, 0},
      {"((1,1),(1,1))", 1, {1}, 1},
      {"((2,9),(1,1),(2,3))", 2, {3, 9}, 1},
      {"", 1, {}, 0},
      {"(1,2)", 1, {}, 0},
      {"x((1,1))", 0, {1}, 1},
  };
  for (const QueryCase& c : cases) {
    SCOPED_TRACE(c.Alignment + " at " + std::to_string(c.Position));
    LineUp lineUp;
    std::set<int> out;
    EXPECT_EQ(lineUp.GetEq(c.Alignment, c.Position, out), c.Found);
    EXPECT_EQ(out, c.Added);
    EXPECT_TRUE(lineUp.HashFromX.empty());
  }
}

TEST(LineUpGetEqFromY, AddsEveryPartnerOfYOnce) {
  const QueryCase cases[] = {
      {"((1,1),(2,3),(2,4))", 3, {2}, 1},
      {"((1,2),(3,2))", 2, {1, 3}, 1},
      {"((1,2),(3,2))", 1, {}, 0},
      {"((5,2),(5,2))", 2, {5}, 1},
  };
  for (const QueryCase& c : cases) {
    SCOPED_TRACE(c.Alignment + " at " + std::to_string(c.Position));
    LineUp lineUp;
    std::set<int> out;
    EXPECT_EQ(lineUp.GetEqFromY(c.Alignment, c.Position, out), c.Found);
    EXPECT_EQ(out, c.Added);
    EXPECT_TRUE(lineUp.HashFromY.empty());
  }
}

TEST(LineUpGetEq, KeepsWhatTheSetHeldAlready) {
  LineUp lineUp;
  std::set<int> out{7, 3};
  EXPECT_EQ(lineUp.GetEq("((1,3),(1,4))", 1, out), 1);
  EXPECT_EQ(out, (std::set<int>{3, 4, 7}));
  EXPECT_EQ(lineUp.GetEq("((1,3),(1,4))", 2, out), 0);
  EXPECT_EQ(out, (std::set<int>{3, 4, 7}));
}

TEST(LineUpGetEq, CarriesNothingFromOneQueryToTheNext) {
  LineUp lineUp;
  std::set<int> first;
  std::set<int> second;
  lineUp.GetEq("((1,2))", 1, first);
  EXPECT_EQ(lineUp.GetEq("((1,5))", 1, second), 1);
  EXPECT_EQ(second, (std::set<int>{5}));
  std::set<int> fromY;
  lineUp.GetEqFromY("((4,6))", 6, fromY);
  EXPECT_EQ(lineUp.GetEqFromY("((3,1))", 6, fromY), 0);
  EXPECT_EQ(fromY, (std::set<int>{4}));
}

}  // namespace
