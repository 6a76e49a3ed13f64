#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Pattern.h"
#include "TrainingSentencePair.h"
#include "support/TestSupport.h"
#include "support/TreebankRecords.h"

namespace {

using Words = std::vector<std::string>;
using Links = std::vector<std::pair<int, int>>;

// The links in the multimap's iteration order, which for equal keys is the
// order of insertion.
Links LinksOf(const std::multimap<int, int>& links) {
  return Links(links.begin(), links.end());
}

AlMap MakeAlMap(
    const std::vector<std::pair<int, std::pair<std::string, int>>>& entries) {
  AlMap alMap;
  for (const auto& entry : entries) alMap.insert(alMap.end(), entry);
  return alMap;
}

struct ProjectionCase {
  const char* Name;
  std::vector<int> SLInds;
  AlMap SentenceAlMap;
  Words TLWords;
  Links Expected;
};

TEST(UpdateAlignments, NumbersAlignedTLWordsInSentenceOrder) {
  const ProjectionCase cases[] = {
      {"empty stretch", {}, MakeAlMap({{1, {"a", 1}}}), {}, {}},
      {"many to many",
       {4, 5},
       MakeAlMap({{4, {"noir", 7}}, {5, {"chien", 6}}, {5, {"noir", 7}}}),
       {"chien", "noir"},
       {{1, 2}, {2, 1}, {2, 2}}},
      {"shared TL word",
       {1, 2},
       MakeAlMap({{1, {"x", 3}}, {2, {"x", 3}}}),
       {"x"},
       {{1, 1}, {2, 1}}},
      {"unlinked position keeps its place",
       {4, 9, 5},
       MakeAlMap({{4, {"a", 1}}, {5, {"b", 2}}, {8, {"c", 3}}}),
       {"a", "b"},
       {{1, 1}, {3, 2}}},
      {"gaps close up",
       {1, 2, 3},
       MakeAlMap({{1, {"ten", 10}}, {2, {"three", 3}}, {3, {"seven", 7}}}),
       {"three", "seven", "ten"},
       {{1, 3}, {2, 1}, {3, 2}}},
      {"links of a key keep their order",
       {1},
       MakeAlMap({{1, {"x", 2}}, {1, {"y", 1}}}),
       {"y", "x"},
       {{1, 2}, {1, 1}}},
      {"repeated SL position",
       {4, 4},
       MakeAlMap({{4, {"a", 2}}, {4, {"b", 5}}}),
       {"a", "b"},
       {{1, 1}, {1, 2}, {2, 1}, {2, 2}}},
      {"first word of a TL position wins",
       {2, 1},
       MakeAlMap({{1, {"one", 5}}, {2, {"two", 5}}}),
       {"two"},
       {{1, 1}, {2, 1}}},
      {"positions outside the map",
       {0, -1, INT_MIN, INT_MAX, 3},
       MakeAlMap({{3, {"c", 1}}}),
       {"c"},
       {{5, 1}}},
  };
  for (const ProjectionCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Words tlWords;
    EXPECT_EQ(LinksOf(UpdateAlignments(c.SLInds, tlWords, c.SentenceAlMap)),
              c.Expected);
    EXPECT_EQ(tlWords, c.TLWords);
  }
}

TEST(UpdateAlignments, AppendsAfterWordsHeldAndCountsOnlyTheNewOnes) {
  Words tlWords{"old", "words"};
  const AlMap alMap = MakeAlMap({{1, {"b", 4}}, {2, {"a", 2}}});
  EXPECT_EQ(LinksOf(UpdateAlignments({1, 2}, tlWords, alMap)),
            (Links{{1, 2}, {2, 1}}));
  EXPECT_EQ(tlWords, (Words{"old", "words", "a", "b"}));

  Words untouched{"keep"};
  EXPECT_TRUE(UpdateAlignments({}, untouched, alMap).empty());
  EXPECT_EQ(untouched, Words{"keep"});
}

TEST(UpdateAlignments, FeedsAPatternThatPrintsItsLinks) {
  Words tlWords;
  Pattern pattern;
  pattern.SetType("NP");
  pattern.SetAlignments(UpdateAlignments(
      {4, 5}, tlWords,
      MakeAlMap({{4, {"noir", 7}}, {5, {"chien", 6}}, {5, {"noir", 7}}})));
  pattern.SetTLWords(tlWords);
  const std::string text = pattern.ReturnPatternAsString();
  EXPECT_NE(text.find("\nTL: chien noir\nAlignment: ((1,2),(2,1),(2,2))\n"),
            std::string::npos);
}

// A pair tagged dt nns vbd nn vb NN vbz (, swallowing the tag lines.
TrainingSentencePair TaggedPair() {
  TrainingSentencePair pair;
  testsupport::CaptureStdout([&] {
    pair.SetSLSent(
        "the/dt dogs/nns barked/vbd bone/nn go/vb Dog/NN runs/vbz "
        "x/(");
  });
  return pair;
}

struct ConstraintCase {
  std::vector<int> SLInds;
  std::set<std::string> Constraints;
};

TEST(FindXSideConstraints, NamesPatternPositionsByTheirTags) {
  const ConstraintCase cases[] = {
      {{}, {}},
      {{2, 3, 4}, {"(X1 NUM *PL)", "(X2 TENSE *PAST)", "(X3 NUM *SG)"}},
      {{4, 4}, {"(X1 NUM *SG)", "(X2 NUM *SG)"}},
      {{5}, {"(X1 TENSE *PRESENT)"}},
      {{6, 7, 8, 1}, {}},
      {{0, -1, INT_MIN, 9, INT_MAX, 2}, {"(X6 NUM *PL)"}},
  };
  TrainingSentencePair pair = TaggedPair();
  for (const ConstraintCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.SLInds));
    Pattern pattern;
    EXPECT_EQ(FindXSideConstraints(c.SLInds, &pair, &pattern), c.Constraints);
  }
}

TEST(FindXSideConstraints, ListsTwelvePositionsInByteOrder) {
  TrainingSentencePair pair;
  testsupport::CaptureStdout([&] { pair.SetSLSent("w/nn"); });
  Pattern pattern;
  const std::set<std::string> constraints =
      FindXSideConstraints(std::vector<int>(12, 1), &pair, &pattern);
  const std::vector<std::string> listed(constraints.begin(), constraints.end());
  ASSERT_EQ(listed.size(), 12U);
  EXPECT_EQ(std::vector<std::string>(listed.begin(), listed.begin() + 5),
            (std::vector<std::string>{"(X1 NUM *SG)", "(X10 NUM *SG)",
                                      "(X11 NUM *SG)", "(X12 NUM *SG)",
                                      "(X2 NUM *SG)"}));
  EXPECT_EQ(listed.back(), "(X9 NUM *SG)");
}

TEST(FindXSideConstraints, LeavesThePatternAndPrintsNothing) {
  TrainingSentencePair pair = TaggedPair();
  Pattern pattern;
  pattern.SetXSideConstraints({"(X9 keep)"});
  std::set<std::string> constraints;
  EXPECT_EQ(testsupport::CaptureStdout([&] {
              constraints = FindXSideConstraints({2}, &pair, &pattern);
            }),
            "");
  EXPECT_EQ(constraints, std::set<std::string>{"(X1 NUM *PL)"});
  EXPECT_EQ(pattern.GetXSideConstraints(), std::set<std::string>{"(X9 keep)"});
  EXPECT_TRUE(FindXSideConstraints({2}, nullptr, nullptr).empty());
}

// Whatever stretch of a real sentence a pattern covers, its TL pattern
// positions run from 1 without gaps, its TL words keep sentence order, and
// every link of the stretch is carried over.
TEST(UpdateAlignmentsRealData, NumbersTLPositionsWithoutGapsForAnyStretch) {
  const std::vector<testsupport::TreebankRecord> records =
      testsupport::ReadTreebankRecords();
  if (records.empty()) GTEST_SKIP() << "no shared real data";
  for (const testsupport::TreebankRecord& record : records) {
    SCOPED_TRACE(record.sl);
    TrainingSentencePair pair;
    AlMap alMap;
    testsupport::CaptureStdout([&] {
      pair.SetSLSent(record.sl);
      pair.SetTLSent(record.tl);
      pair.SetAlignment(record.alignment);
      alMap = pair.GetAlMap();
    });
    const Words sentenceTL = pair.GetTLWords();
    const int slCount = static_cast<int>(pair.GetSLWords().size());
    // Short stretches from every position, plus the whole sentence and its
    // second half.
    std::vector<std::pair<int, int>> stretches{{1, slCount},
                                               {slCount / 2 + 1, slCount}};
    for (int start = 1; start <= slCount; ++start) {
      for (const int length : {1, 2, 5}) {
        stretches.emplace_back(start, std::min(slCount, start + length - 1));
      }
    }
    for (const auto& [start, end] : stretches) {
      std::vector<int> slInds;
      std::size_t linkCount = 0;
      for (int sl = start; sl <= end; ++sl) {
        slInds.push_back(sl);
        linkCount += alMap.count(sl);
      }
      Words tlWords;
      const std::multimap<int, int> links =
          UpdateAlignments(slInds, tlWords, alMap);
      ASSERT_EQ(links.size(), linkCount);
      std::set<int> tlPositions;
      for (const auto& [slPosition, tlPosition] : links) {
        ASSERT_GE(slPosition, 1);
        ASSERT_LE(slPosition, static_cast<int>(slInds.size()));
        tlPositions.insert(tlPosition);
      }
      ASSERT_EQ(tlPositions.size(), tlWords.size());
      if (!tlPositions.empty()) {
        ASSERT_EQ(*tlPositions.begin(), 1);
        ASSERT_EQ(*tlPositions.rbegin(), static_cast<int>(tlWords.size()));
      }
      auto next = sentenceTL.begin();
      for (const std::string& word : tlWords) {
        next = std::find(next, sentenceTL.end(), word);
        ASSERT_NE(next, sentenceTL.end()) << word;
        ++next;
      }
    }
  }
}

}  // namespace
