#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "BoundedCounter.h"
#include "PatternTable.h"
#include "SortedRuns.h"

namespace {

using Rows = std::vector<std::pair<std::uint64_t, std::string>>;

// Rows of lines from a small set, so that many meet again, of sizes up to
// a few hundred bytes.
Rows RandomRows(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  Rows rows;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned id = random() % (count / 3 + 1);
    std::string line = "line " + std::to_string(id);
    line.resize(8 + id % 300, static_cast<char>('a' + id % 26));
    rows.emplace_back(1 + random() % 5, line);
  }
  return rows;
}

// What the rows give merged: by line, counts added, or in --count's order.
Rows Expected(const Rows& rows, bool byCount) {
  std::map<std::string, std::uint64_t> sums;
  for (const auto& [count, line] : rows) sums[line] += count;
  Rows merged;
  for (const auto& [line, count] : sums) merged.emplace_back(count, line);
  if (byCount) {
    std::stable_sort(
        merged.begin(), merged.end(),
        [](const auto& a, const auto& b) { return a.first > b.first; });
  }
  return merged;
}

Rows Collect(const std::function<bool(const RowTaker&)>& merge) {
  Rows rows;
  EXPECT_TRUE(merge([&rows](std::uint64_t count, std::string_view line) {
    rows.emplace_back(count, std::string(line));
    return true;
  }));
  return rows;
}

const char* TempDir() {
  const char* const dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

// Rows in order that the merge reads where they are.
class RowsSource : public SortedSource {
 public:
  explicit RowsSource(Rows rows) : rows_(std::move(rows)) {}
  bool Next(std::uint64_t& count, std::string_view& line) override {
    if (next_ == rows_.size()) return false;
    count = rows_[next_].first;
    line = rows_[next_++].second;
    return true;
  }
  std::uint64_t Bytes() const override { return rows_.size() * 100; }

 private:
  Rows rows_;
  std::size_t next_ = 0;
};

// Rows spilled at any bound, merged in rounds at any fan-in, come back as
// the rows held whole would; so do rows given as sources in order beside
// them.
TEST(SortedRuns, MergeEqualsHoldingEverything) {
  const Rows rows = RandomRows(20000, 7);
  struct Case {
    const char* Name;
    std::size_t Memory;
    std::size_t FanIn;
    bool Spills;
    bool Rounds;
    // How many sources take the first half of the rows.
    std::size_t Sources = 0;
  };
  const Case cases[] = {
      {"all held", std::size_t{1} << 30, 0, false, false},
      {"spilled, one merge", 256 << 10, 0, true, false},
      {"spilled, merged in rounds", 64 << 10, 3, true, true},
      {"two at a time", 32 << 10, 2, true, true},
      {"many runs, eight open", 28 << 10, 8, true, true},
      {"sources alone", std::size_t{1} << 30, 0, false, false, 5},
      {"more sources than open", std::size_t{1} << 30, 3, false, true, 7},
      {"sources among runs", 64 << 10, 4, true, true, 6},
  };
  for (const Case& c : cases) {
    for (const bool byCount : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (byCount ? ", by count" : ""));
      SortedRuns runs(RowOrder::ByLine, c.Memory, TempDir(), c.FanIn);
      const std::size_t given = c.Sources ? rows.size() / 2 : 0;
      std::vector<std::unique_ptr<RowsSource>> sources;
      for (std::size_t i = 0; i < c.Sources; ++i) {
        const auto at = [&](std::size_t k) {
          return rows.begin() +
                 static_cast<std::ptrdiff_t>(given * k / c.Sources);
        };
        const Rows part(at(i), at(i + 1));
        sources.push_back(std::make_unique<RowsSource>(Expected(part, false)));
      }
      for (std::size_t i = 0; i < rows.size(); ++i) {
        // A source among the rows added, to merge with the runs they make.
        if (i % (rows.size() / 8) == 0 && i / (rows.size() / 8) < c.Sources) {
          runs.AddSource(*sources[i / (rows.size() / 8)]);
        }
        if (i >= given) runs.Add(rows[i].first, rows[i].second);
      }
      const Rows merged = Collect([&](const RowTaker& take) {
        return byCount ? runs.MergeInCountOrder(take) : runs.Merge(take);
      });
      EXPECT_EQ(merged, Expected(rows, byCount));
      // In --count's order the rows held beside sources go out as a run.
      EXPECT_EQ(runs.Runs() > 0, c.Spills || (byCount && c.Sources))
          << runs.Runs();
      EXPECT_EQ(runs.Rounds() > 0, c.Rounds) << runs.Rounds();
      // The bound is kept: the rows (lines and 24 bytes of row each) of a
      // run cannot hold much less than the bound.
      std::size_t bytes = 0;
      for (std::size_t i = given; i < rows.size(); ++i) {
        bytes += rows[i].second.size();
      }
      if (c.Spills) {
        EXPECT_GE(runs.Runs(), bytes / c.Memory);
      }
      // Rounds copy a row about once per halving of the runs, not once per
      // round: merging every run each round grows with their square.
      if (c.FanIn >= 8) {
        const double copies =
            static_cast<double>(runs.RoundBytes()) /
            static_cast<double>(16 * (rows.size() - given) + bytes);
        EXPECT_LE(copies, std::log2(static_cast<double>(runs.Runs())))
            << runs.Runs() << " runs";
      }
    }
  }
}

ExtractedPattern AsLine(const std::string& line) {
  ExtractedPattern pattern;
  pattern.Fields = line;
  pattern.Plain = true;
  return pattern;
}

// A counter held to a few megabytes writes the table of one without bound,
// however many runs it took.
TEST(BoundedCounter, TableEqualsTheUnboundedOne) {
  std::vector<std::string> lines;
  for (const auto& row : RandomRows(150000, 11)) {
    for (std::uint64_t i = 0; i < row.first; ++i) lines.push_back(row.second);
  }
  std::shuffle(lines.begin(), lines.end(), std::mt19937(5));
  PatternCounter whole;
  for (const std::string& line : lines) whole.Add(AsLine(line));
  Rows expected;
  whole.WriteTable([&expected](long long count, std::string_view line) {
    expected.emplace_back(count, std::string(line));
    return true;
  });
  const std::pair<std::size_t, bool> cases[] = {
      {std::size_t{1} << 30, false}, {8 << 20, true}, {4 << 20, true}};
  for (const auto& [memory, spills] : cases) {
    SCOPED_TRACE(memory);
    BoundedCounter counter(memory, TempDir());
    for (const std::string& line : lines) counter.Add(AsLine(line));
    EXPECT_EQ(counter.Runs() > 0, spills);
    EXPECT_EQ(counter.Total(), static_cast<long long>(lines.size()));
    EXPECT_EQ(Collect([&counter](const RowTaker& take) {
                return counter.WriteTable(take);
              }),
              expected);
  }
}

}  // namespace
