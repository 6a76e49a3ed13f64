#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Pattern.h"

namespace {

TEST(PatternReturnPatternAsString, IsEmptyWithoutAType) {
  Pattern pattern;
  EXPECT_EQ(pattern.ReturnPatternAsString(), "");
  pattern.SetSLWords({"the", "dog"});
  pattern.SetAlignments({{1, 1}});
  pattern.SetXSideConstraints({"(X1 NUM *SG)"});
  EXPECT_EQ(pattern.ReturnPatternAsString(), "");
}

TEST(PatternReturnPatternAsString, WritesNineLinesForATypeAlone) {
  Pattern pattern;
  pattern.SetType("NP");
  EXPECT_EQ(pattern.ReturnPatternAsString(),
            "SentenceIndex:\n"
            "SL: \n"
            "TL: \n"
            "Alignment: ()\n"
            "Type: NP\n"
            "CoEmbeddingScore: 1\n"
            "C-Structure:\n"
            "ConstSeq: \n"
            "XSideConstraints:\n");
}

TEST(PatternReturnPatternAsString, WritesEveryFieldInRecordOrder) {
  Pattern pattern;
  pattern.SetType("NP");
  pattern.SetSLWords({"the---4", "dog---5"});
  pattern.SetTLWords({"le", "chien"});
  pattern.SetAlignments({{1, 1}, {2, 2}});
  pattern.SetCoEmbeddingScore(2);
  pattern.SetXSideConstraints({"(X2 NUM *SG)"});
  pattern.SetSLIndsSent({4, 5});
  pattern.SetCStructNoTags("(NP the dog)");
  EXPECT_EQ(pattern.ReturnPatternAsString(),
            "SentenceIndex:\n"
            "SL: the dog\n"
            "TL: le chien\n"
            "Alignment: ((1,1),(2,2))\n"
            "Type: NP\n"
            "CoEmbeddingScore: 2\n"
            "C-Structure:\n"
            "ConstSeq: \n"
            "XSideConstraints:\n"
            "(X2 NUM *SG)\n");

  pattern.SetCStruct("(<NP> (DT the-1) (NN dog-2))");
  pattern.SetConstSeq("DT NN");
  const std::string text = pattern.ReturnPatternAsString();
  EXPECT_NE(text.find("\nC-Structure:(<NP> (DT the-1) (NN dog-2))\n"),
            std::string::npos);
  EXPECT_NE(text.find("\nConstSeq: DT NN\n"), std::string::npos);
}

TEST(PatternReturnPatternAsString, KeepsEmptyWordsInTheirPlace) {
  Pattern pattern;
  pattern.SetType("X");
  pattern.SetSLWords({"a", "", "b"});
  pattern.SetTLWords({"", ""});
  const std::string text = pattern.ReturnPatternAsString();
  EXPECT_NE(text.find("\nSL: a  b\n"), std::string::npos);
  EXPECT_NE(text.find("\nTL:  \n"), std::string::npos);
}

TEST(PatternReturnPatternAsString, ListsLinksByKeyThenInsertionOrder) {
  Pattern pattern;
  pattern.SetType("NP");
  std::multimap<int, int> links;
  links.emplace(2, 3);
  links.emplace(2, 1);
  links.emplace(1, 4);
  links.emplace(-1, 0);
  pattern.SetAlignments(links);
  EXPECT_NE(pattern.ReturnPatternAsString().find(
                "\nAlignment: ((-1,0),(1,4),(2,3),(2,1))\n"),
            std::string::npos);
}

TEST(PatternReturnPatternAsString, WritesScoresInPlainDecimal) {
  const std::pair<int, std::string> cases[] = {
      {-1, "-1"}, {0, "0"}, {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"}};
  for (const auto& [score, written] : cases) {
    SCOPED_TRACE(written);
    Pattern pattern;
    pattern.SetType("S");
    pattern.SetCoEmbeddingScore(score);
    EXPECT_NE(pattern.ReturnPatternAsString().find(
                  "\nCoEmbeddingScore: " + written + "\n"),
              std::string::npos);
  }
}

TEST(PatternReturnPatternAsString, ListsConstraintsInByteOrder) {
  Pattern pattern;
  pattern.SetType("NP");
  pattern.SetXSideConstraints(
      {"(X2 NUM *SG)", "(X10 NUM *PL)", "(X1 TENSE *PAST)"});
  const std::string text = pattern.ReturnPatternAsString();
  const std::string tail =
      "XSideConstraints:\n(X1 TENSE *PAST)\n(X10 NUM *PL)\n(X2 NUM *SG)\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

struct SLWordsCase {
  std::vector<std::string> Given;
  std::vector<std::string> Words;
  std::vector<int> SentInds;
  std::map<int, int> PatternToSent;
};

TEST(PatternSetSLWords, CutsTheSuffixAtItsMarkerAndKeepsItsIndex) {
  const SLWordsCase cases[] = {
      {{"dog---3"}, {"dog"}, {3}, {{0, 3}}},
      {{"dog---"}, {"dog"}, {-1}, {{0, -1}}},
      {{"dog"}, {"dog"}, {-1}, {}},
      {{"---7"}, {""}, {7}, {{0, 7}}},
      {{"dog---x"}, {"dog"}, {0}, {{0, 0}}},
      // The marker is the "---" before final digits; the first one only
      // where there are none.
      {{"a---b---3"}, {"a---b"}, {3}, {{0, 3}}},
      {{"-LRB----3"}, {"-LRB-"}, {3}, {{0, 3}}},
      {{"-----2"}, {"--"}, {2}, {{0, 2}}},
      {{"a---b--3"}, {"a"}, {0}, {{0, 0}}},
      {{"a---3x"}, {"a"}, {3}, {{0, 3}}},
      {{"dog--"}, {"dog--"}, {-1}, {}},
      {{"dog----5"}, {"dog-"}, {5}, {{0, 5}}},
      {{"dog----"}, {"dog"}, {0}, {{0, 0}}},
      {{"------"}, {""}, {0}, {{0, 0}}},
      {{"dog--- \t12"}, {"dog"}, {12}, {{0, 12}}},
      {{""}, {""}, {-1}, {}},
      {{"a---1", "b", "c---3"}, {"a", "b", "c"}, {1, -1, 3}, {{0, 1}, {2, 3}}},
  };
  for (const SLWordsCase& c : cases) {
    SCOPED_TRACE(c.Given.front());
    Pattern pattern;
    pattern.SetSLWords(c.Given);
    EXPECT_EQ(pattern.GetSLWords(), c.Words);
    EXPECT_EQ(pattern.GetSLWordSentInds(), c.SentInds);
    EXPECT_EQ(pattern.GetSLIndsPatternToSent(), c.PatternToSent);
  }
}

TEST(PatternSetSLWords, SaturatesIndicesBeyondTheIntRange) {
  const std::string longRun(20000, '7');
  const SLWordsCase cases[] = {
      {{"dog---2147483647"}, {"dog"}, {INT_MAX}, {{0, INT_MAX}}},
      {{"dog---2147483648"}, {"dog"}, {INT_MAX}, {{0, INT_MAX}}},
      {{"dog----2147483649x"}, {"dog"}, {INT_MIN}, {{0, INT_MIN}}},
      {{"dog---99999999999999999999"}, {"dog"}, {INT_MAX}, {{0, INT_MAX}}},
      {{"dog---" + longRun}, {"dog"}, {INT_MAX}, {{0, INT_MAX}}},
  };
  for (const SLWordsCase& c : cases) {
    SCOPED_TRACE(c.Given.front().substr(0, 30));
    Pattern pattern;
    pattern.SetSLWords(c.Given);
    EXPECT_EQ(pattern.GetSLWords(), c.Words);
    EXPECT_EQ(pattern.GetSLWordSentInds(), c.SentInds);
    EXPECT_EQ(pattern.GetSLIndsPatternToSent(), c.PatternToSent);
  }
}

TEST(PatternSetSLWords, ReadsAtMostTenThousandCharactersOfASuffix) {
  Pattern pattern;
  pattern.SetSLWords({"a---" + std::string(9999, '0') + "5",
                      "b---" + std::string(10000, '0') + "5"});
  EXPECT_EQ(pattern.GetSLWordSentInds(), (std::vector<int>{5, 0}));
}

TEST(PatternSetSLWords, AppendsAndLetsTheFirstCallKeepItsPositions) {
  Pattern pattern;
  pattern.SetSLWords({"x---5"});
  pattern.SetSLWords({"y---9"});
  EXPECT_EQ(pattern.GetSLWords(), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(pattern.GetSLWordSentInds(), (std::vector<int>{5, 9}));
  EXPECT_EQ(pattern.GetSLIndsPatternToSent(), (std::map<int, int>{{0, 5}}));
}

TEST(Pattern, CopiesAreIndependent) {
  Pattern original;
  original.SetType("NP");
  original.SetAlignments({{1, 1}});
  original.SetXSideConstraints({"(X1 NUM *SG)"});
  const std::string before = original.ReturnPatternAsString();

  Pattern copy = original;
  copy.SetXSideConstraints({"(X1 NUM *PL)"});
  copy.SetAlignments({{1, 2}, {2, 1}});
  copy.SetSLWords({"more---1"});
  EXPECT_EQ(original.ReturnPatternAsString(), before);
  EXPECT_NE(copy.ReturnPatternAsString(), before);

  Pattern assigned;
  assigned = original;
  original.SetType("VP");
  EXPECT_EQ(assigned.ReturnPatternAsString(), before);
}

}  // namespace
