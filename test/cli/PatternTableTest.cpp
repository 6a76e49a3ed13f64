#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "PatternTable.h"

namespace {

// Escapes byte by byte, the obvious way.
std::string Escaped(const std::string& field) {
  std::string out;
  for (const char c : field) {
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

TEST(AppendTsvField, EscapesEverySpecialByteWhereverItStands) {
  // Bytes are checked eight at a time: each special byte goes to every
  // place of two words and the tail after them, among neighbours that come
  // close to it (13, 14, 91, 93, bytes above 127).
  const std::string base = "ab\x0d\x0e[]\xc3\xa9\x80zyxw\x7f\x01q-rst";
  for (const char special : {'\t', '\\', '\r', '\n'}) {
    for (std::size_t at = 0; at <= base.size(); ++at) {
      std::string field = base;
      field.insert(at, 1, special);
      SCOPED_TRACE(std::to_string(static_cast<int>(special)) + " at " +
                   std::to_string(at));
      std::string line = "x\t";
      AppendTsvField(field, line);
      EXPECT_EQ(line, "x\t" + Escaped(field));
    }
  }
}

TEST(SentenceId, IsTheHeaderTextAfterTheMarkWithBlanksTrimmed) {
  const std::pair<const char*, const char*> cases[] = {
      {"SentenceIndex: 12", "12"},   {"SentenceIndex:", ""},
      {"SentenceIndex:   ", ""},     {"# SentenceIndex:  a b  ", "a b"},
      {"SentenceIndex:\t7 ", "\t7"},
  };
  for (const auto& [header, id] : cases) {
    SCOPED_TRACE(header);
    EXPECT_EQ(SentenceId(header), id);
  }
}

// A pattern's fields, kept while PatternCounter reads them.
struct Fields {
  std::string Type, SL, TL, Alignment, Tree, ConstSeq, Score, Constraints;
  bool Plain = true;

  ExtractedPattern View() const {
    ExtractedPattern pattern;
    pattern.Type = Type;
    pattern.SLWords = SL;
    pattern.TLWords = TL;
    pattern.Alignment = Alignment;
    pattern.CStructure = Tree;
    pattern.ConstSeq = ConstSeq;
    pattern.Score = Score;
    pattern.XSideConstraints = Constraints;
    pattern.Plain = Plain;
    return pattern;
  }
};

// The table as a map counts it and a plain sort orders it.
std::vector<std::pair<long long, std::string>> Expected(
    const std::vector<Fields>& added) {
  std::map<std::string, long long> counts;
  for (const Fields& fields : added) {
    std::string line;
    AppendPatternFields(fields.View(), line);
    ++counts[line];
  }
  std::vector<std::pair<long long, std::string>> table;
  for (const auto& [line, count] : counts) table.emplace_back(-count, line);
  std::sort(table.begin(), table.end());
  for (auto& row : table) row.first = -row.first;
  return table;
}

TEST(PatternCounter, TableEqualsCountingInAMap) {
  const std::string longWords = "because the cat sat on the mat and";
  struct CounterCase {
    const char* Name;
    std::vector<Fields> Added;
  };
  std::vector<CounterCase> cases = {
      // Lines that agree in their first sixteen bytes and more, once each
      // or twice, differ only near their ends.
      {"long shared starts",
       {{"SBAR-ADV", longWords + " b", "x", "((1,1))", "(t)", "A", "2", ""},
        {"SBAR-ADV", longWords + " a", "x", "((1,1))", "(t)", "A", "2", ""},
        {"SBAR-ADV", longWords + " b", "x", "((1,1))", "(t)", "A", "2", ""},
        {"SBAR-ADV", longWords, "x", "((1,1))", "(t)", "A", "2", "c"},
        {"SBAR-ADV", longWords + " a", "x", "((1,1))", "(t)", "A", "2", "c"}}},
      // Lines under sixteen bytes, one a start of another whose next byte
      // is a zero, as the short one is padded.
      {"short lines",
       {{"ab", "", "", "", "", "", "", std::string(1, '\0')},
        {"ab", "", "", "", "", "", "", ""},
        {"", "", "", "", "", "", "", ""},
        {"ab", "", "", "", "", "", "", std::string(2, '\0')},
        {"ab", "", "", "", "", "", "", ""}}},
      // Both ways of writing fields give one line, and so do constraints
      // set off by line ends or by blanks.
      {"one line written two ways",
       {{"NP", "a\tb", "x", "((1,1))", "(t)", "A", "2", "c\nd\n", false},
        {"NP", "a\tb", "x", "((1,1))", "(t)", "A", "2", "c d", false},
        {"NP", "a b", "x", "((1,1))", "(t)", "A", "2", "c\nd\n", false},
        {"NP", "a b", "x", "((1,1))", "(t)", "A", "2", "c d\n"}}},
  };
  // The same lines next to each other and one apart, while earlier ones
  // still wait to be looked up.
  {
    const Fields x{"NP", "x", "x", "((1,1))", "(t)", "A", "2", ""};
    const Fields y{"NP", "y", "y", "((1,1))", "(t)", "A", "2", ""};
    cases.push_back({"repeats while others wait", {x, x, x, y, x, y, y, x}});
  }
  // Counts that differ in their second byte, and counts that agree in
  // their first: ordered a byte at a time, the second counts most.
  {
    CounterCase counts{"counts past one byte", {}};
    const int times[] = {256, 1, 257, 513, 255, 2, 1, 257};
    for (int i = 0; i < 8; ++i) {
      const Fields fields{"NP",  std::string(1, static_cast<char>('a' + i)),
                          "x",   "((1,1))",
                          "(t)", "A",
                          "2",   ""};
      for (int n = 0; n < times[i]; ++n) counts.Added.push_back(fields);
    }
    cases.push_back(std::move(counts));
  }
  // More lines of one count than are sorted by comparing them whole, all
  // alike in their first 16 bytes and in pairs of halves up to byte 48:
  // ends that differ from there, lines that start others, zero bytes where
  // a shorter line ends.
  {
    CounterCase shared{"many long shared starts", {}};
    for (int i = 0; i < 120; ++i) {
      std::string start = longWords + " then";  // to byte 48 of a line
      if (i % 2 == 0) start[7] = 'A';           // byte 16
      std::string tail = i < 2 ? "" : std::to_string(i);
      if (i % 7 == 3) tail += std::string(3, '\0');
      shared.Added.push_back(
          {"SBAR-ADV", start + tail, "x", "((1,1))", "(t)", "A", "2", ""});
      if (i % 5 == 0) shared.Added.push_back(shared.Added.back());
    }
    cases.push_back(std::move(shared));
  }
  // Lines that part from the rest one at a time, each a byte later: a sort
  // that took a call per parting would run out of stack.
  {
    CounterCase peeling{"lines parting one at a time", {}};
    for (int i = 0; i < 5000; ++i) {
      peeling.Added.push_back({"NP", std::string(i, 'b') + "a", "x", "((1,1))",
                               "(t)", "A", "2", ""});
    }
    cases.push_back(std::move(peeling));
  }
  // More than one block of lines, each seen again after later ones, and a
  // line longer than a block between them.
  {
    CounterCase blocks{"past one block", {}};
    for (int round = 0; round < 2; ++round) {
      for (int i = 0; i < 2500; ++i) {
        blocks.Added.push_back({"NP",
                                std::to_string(i) + std::string(4000, 'w'), "x",
                                "((1,1))", "(t)", "A", "2", ""});
        if (i == 1234) {
          blocks.Added.push_back({"NP", std::string(9 << 20, 'z'), "x",
                                  "((1,1))", "(t)", "A", "2", ""});
        }
      }
    }
    cases.push_back(std::move(blocks));
  }
  // Enough lines to double the slots twice (they start at 65,536, and
  // double at three quarters full), each seen again after that.
  CounterCase many{"past two growths", {}};
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 100000; ++i) {
      const std::string n = std::to_string(i * 7919 % 100003);
      many.Added.push_back({"NP", n, n, "((1,1))", "(t)", "A", "2", ""});
      if (round == 1 && i % 3 == 0) many.Added.push_back(many.Added.back());
    }
  }
  cases.push_back(std::move(many));
  for (const CounterCase& c : cases) {
    // Both as fields apart and as the one line the extractor writes for a
    // record with nothing to escape.
    for (const bool asLine : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (asLine ? ", as lines" : ""));
      PatternCounter counter;
      std::string line;
      for (const Fields& fields : c.Added) {
        ExtractedPattern pattern = fields.View();
        if (asLine && fields.Plain) {
          line.clear();
          AppendPatternFields(pattern, line);
          pattern = ExtractedPattern{};
          pattern.Fields = line;
          pattern.Plain = true;
        }
        counter.Add(pattern);
      }
      // Read in the order the lines came, once adding has stopped with
      // lines still waiting to be looked up: each line once, counted as the
      // table counts it.
      std::vector<std::pair<long long, std::string>> lines;
      if (!asLine) {
        PatternCounter stopped;
        for (const Fields& fields : c.Added) stopped.Add(fields.View());
        stopped.StopAdding();
        stopped.ForEachLine([&lines](long long count, std::string_view row) {
          lines.emplace_back(-count, std::string(row));
        });
        std::sort(lines.begin(), lines.end());
        for (auto& row : lines) row.first = -row.first;
        EXPECT_TRUE(lines == Expected(c.Added));
        // The table still comes whole without the slots, which found the
        // lines for it.
        std::vector<std::pair<long long, std::string>> table;
        EXPECT_TRUE(
            stopped.WriteTable([&table](long long count, std::string_view row) {
              table.emplace_back(count, std::string(row));
              return true;
            }));
        EXPECT_TRUE(table == Expected(c.Added));
      }
      std::vector<std::pair<long long, std::string>> table;
      EXPECT_TRUE(
          counter.WriteTable([&table](long long count, std::string_view row) {
            table.emplace_back(count, std::string(row));
            return true;
          }));
      EXPECT_EQ(counter.Total(), static_cast<long long>(c.Added.size()));
      EXPECT_EQ(counter.Distinct(), table.size());
      // Row by row, so that a failure shows where, not lines of megabytes.
      const std::vector<std::pair<long long, std::string>> expected =
          Expected(c.Added);
      ASSERT_EQ(table.size(), expected.size());
      for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i] == expected[i]) continue;
        ADD_FAILURE() << "row " << i << ": " << table[i].first << " "
                      << table[i].second.substr(0, 60) << " where "
                      << expected[i].first << " "
                      << expected[i].second.substr(0, 60) << " belongs";
        break;
      }
    }
  }
}

// A line of fields as the extractor hands a Plain record's over.
ExtractedPattern AsLine(const std::string& line) {
  ExtractedPattern pattern;
  pattern.Fields = line;
  pattern.Plain = true;
  return pattern;
}

std::string Word(std::uint64_t value) {
  std::string bytes(8, '\0');
  std::memcpy(bytes.data(), &value, 8);
  return bytes;
}

// Lines crafted against a hash fall among the slots as random lines of the
// same length and number do, give or take a factor of three.
TEST(PatternCounter, CraftedLinesSpreadLikeRandomOnes) {
  constexpr int kLines = 20000;
  const auto displacement = [](const std::function<std::string(int)>& line) {
    PatternCounter counter;
    for (int i = 0; i < kLines; ++i) counter.Add(AsLine(line(i)));
    EXPECT_EQ(counter.Distinct(), static_cast<std::size_t>(kLines));
    return counter.Displacement();
  };
  std::mt19937_64 random(7);
  const std::size_t baseline = displacement([&random](int) {
    std::string line;
    for (int w = 0; w < 5; ++w) line += Word(random());
    return line;
  });
  constexpr std::uint64_t kFirstKey = 0xD6E8FEB86659FD93;
  constexpr std::uint64_t kSecondKey = 0xA0761D6478BD642F;
  const std::pair<const char*, std::function<std::string(int)>> kinds[] = {
      // A keyless hash that multiplies (a ^ x) by (b ^ key) gets zero for a
      // word b equal to its key, and loses all it had mixed before.
      {"words equal to a product's keys",
       [](int i) {
         return Word(i) + Word(kFirstKey) + Word(std::uint64_t{7} * i) +
                Word(kFirstKey) + Word(kSecondKey);
       }},
      {"a counter in the first word",
       [](int i) { return Word(i) + std::string(32, 'a'); }},
      {"a counter in the last word",
       [](int i) { return std::string(32, 'a') + Word(i); }},
  };
  for (const auto& [name, line] : kinds) {
    SCOPED_TRACE(name);
    EXPECT_LE(displacement(line), 3 * baseline + kLines / 10);
  }
}

// An Add that runs out of memory counts nothing, and the table still
// writes every line counted before it.
TEST(PatternCounter, AddThatThrowsLeavesTheTableWhole) {
  // The counter starts with 65,536 slots of 8 bytes and keeps its lines in
  // blocks of 2 MiB: room for four, less the rows' own.
  constexpr std::size_t kFirst = (std::size_t{65536} * 8) + (8 << 20);
  const std::pair<const char*, std::size_t> cases[] = {
      {"no room for another block", 4000},
      {"no room for more slots", 8},
  };
  for (const auto& [name, lineSize] : cases) {
    SCOPED_TRACE(name);
    PatternCounter counter(kFirst);
    std::map<std::string, long long> counts;
    long long added = 0;
    bool threw = false;
    for (int i = 0; i < 100000 && !threw; ++i) {
      // Every fifth line is one seen before.
      std::string line = std::to_string(i % 5 == 4 ? i / 2 : i);
      line.resize(lineSize, 'x');
      try {
        counter.Add(AsLine(line));
        ++counts[line];
        ++added;
      } catch (const std::bad_alloc&) {
        threw = true;
      }
    }
    ASSERT_TRUE(threw);
    std::vector<std::pair<long long, std::string>> expected;
    for (const auto& [line, count] : counts)
      expected.emplace_back(-count, line);
    std::sort(expected.begin(), expected.end());
    for (auto& row : expected) row.first = -row.first;
    std::vector<std::pair<long long, std::string>> table;
    EXPECT_TRUE(
        counter.WriteTable([&table](long long count, std::string_view row) {
          table.emplace_back(count, std::string(row));
          return true;
        }));
    EXPECT_EQ(counter.Total(), added);
    EXPECT_TRUE(table == expected);
  }
}

}  // namespace
