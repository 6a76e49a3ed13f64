#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "TrainingSentencePair.h"
#include "support/TestSupport.h"
#include "support/TreebankRecords.h"

namespace {

using Words = std::vector<std::string>;
using Entries = std::vector<std::tuple<int, std::string, int>>;

Entries EntriesOf(const AlMap& alMap) {
  Entries entries;
  for (const auto& [sl, tl] : alMap)
    entries.emplace_back(sl, tl.first, tl.second);
  return entries;
}

// A pair with words on both sides; the tag lines of its SL sentence are
// swallowed.
TrainingSentencePair MakePair(const std::string& sl, const std::string& tl,
                              const std::string& alignment) {
  TrainingSentencePair pair;
  testsupport::CaptureStdout([&] { pair.SetSLSent(sl); });
  pair.SetTLSent(tl);
  pair.SetAlignment(alignment);
  return pair;
}

struct SplitCase {
  std::string Sentence;
  Words SLWords;
  Words Tags;
  std::string TagLines;
};

TEST(TrainingSentencePairSetSLSent, SplitsTokensAtTheLastSlash) {
  const SplitCase cases[] = {
      {"the/dt dogs/nns barked/vbd",
       {"the", "dogs", "barked"},
       {"dt", "nns", "vbd"},
       "POSTag:dt\nPOSTag:nns\nPOSTag:vbd\n"},
      {" a/dt  b/nn ", {"a", "b"}, {"dt", "nn"}, "POSTag:dt\nPOSTag:nn\n"},
      {"and/ word", {"and/", "word"}, {"", ""}, ""},
      {"/nn", {}, {}, "POSTag:nn\n"},
      {"//sym x/nn", {"/", "x"}, {"sym", "nn"}, "POSTag:sym\nPOSTag:nn\n"},
      {"/", {"/"}, {""}, ""},
      {"a/b/nn", {"a/b"}, {"nn"}, "POSTag:nn\n"},
      {"08/19/2019/cd https://x.org/a/nnp",
       {"08/19/2019", "https://x.org/a"},
       {"cd", "nnp"},
       "POSTag:cd\nPOSTag:nnp\n"},
      {"a/b/ // ///", {"a/b/", "//", "///"}, {"", "", ""}, ""},
      {"a\t/nn b/\tx", {"a\t", "b"}, {"nn", "\tx"}, "POSTag:nn\nPOSTag:\tx\n"},
      {"a/dt\tb/nn", {"a/dt\tb"}, {"nn"}, "POSTag:nn\n"},
      {"", {}, {}, ""},
      {"   ", {}, {}, ""},
      {"(/( )/)", {"(", ")"}, {"(", ")"}, "POSTag:(\nPOSTag:)\n"},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.Sentence);
    TrainingSentencePair pair;
    const std::string out =
        testsupport::CaptureStdout([&] { pair.SetSLSent(c.Sentence); });
    EXPECT_EQ(out, c.TagLines);
    EXPECT_EQ(pair.GetSLWords(), c.SLWords);
    EXPECT_EQ(pair.GetSLPOSs(), c.Tags);
    EXPECT_EQ(pair.GetSLSent(), c.Sentence);
  }
}

TEST(TrainingSentencePairSetSLSent, KeepsAtMostTenThousandCharactersOfATag) {
  TrainingSentencePair pair;
  const std::string out = testsupport::CaptureStdout(
      [&] { pair.SetSLSent("w/" + std::string(20000, 'x')); });
  const std::string tag(10000, 'x');
  EXPECT_EQ(pair.GetSLPOSs(), Words{tag});
  EXPECT_EQ(out, "POSTag:" + tag + "\n");
}

TEST(TrainingSentencePairSetSLSent, AppendsTheWordsOfEverySentenceSet) {
  TrainingSentencePair pair;
  testsupport::CaptureStdout([&] {
    pair.SetSLSent("a/dt b/nn");
    pair.SetSLSent("c/vb");
  });
  EXPECT_EQ(pair.GetSLWords(), (Words{"a", "b", "c"}));
  EXPECT_EQ(pair.GetSLPOSs(), (Words{"dt", "nn", "vb"}));
  EXPECT_EQ(pair.GetSLSent(), "c/vb");
}

TEST(TrainingSentencePairSetTLSent, SplitsAtBlanksAloneWithoutPrinting) {
  const std::pair<std::string, Words> cases[] = {
      {"one two three", {"one", "two", "three"}},
      {"  a/b  c/ ", {"a/b", "c/"}},
      {"x\ty\r", {"x\ty\r"}},
      {"", {}},
  };
  for (const auto& [sentence, words] : cases) {
    SCOPED_TRACE(sentence);
    TrainingSentencePair pair;
    // A lambda may not capture a structured binding in C++17; a named
    // reference it may.
    const std::string& text = sentence;
    EXPECT_EQ(testsupport::CaptureStdout([&] { pair.SetTLSent(text); }), "");
    EXPECT_EQ(pair.GetTLWords(), words);
  }
  TrainingSentencePair pair;
  pair.SetTLSent("a b");
  pair.SetTLSent("c");
  EXPECT_EQ(pair.GetTLWords(), (Words{"a", "b", "c"}));
  EXPECT_EQ(pair.GetTLSent(), "c");
}

// After each blank at most a million bytes of the rest are kept, so a
// word that straddles that limit is cut and later words are dropped.
TEST(TrainingSentencePairSetTLSent, KeepsAtMostAMillionCharactersAfterABlank) {
  std::string filler;
  for (int i = 0; i < 499999; ++i) filler += "b ";
  const std::string head = "a " + filler;
  const std::pair<std::string, std::string> cases[] = {
      {"zz", "zz"}, {"zzz", "zz"}, {"  zz", ""}};
  for (const auto& [tail, lastWord] : cases) {
    SCOPED_TRACE(tail);
    TrainingSentencePair pair;
    pair.SetTLSent(head + tail);
    const Words words = pair.GetTLWords();
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(words.front(), "a");
    EXPECT_EQ(words.back(), lastWord.empty() ? "b" : lastWord);
    EXPECT_EQ(words.size(), 1 + 499999 + (lastWord.empty() ? 0 : 1));
  }
}

TEST(TrainingSentencePairReturnPOS, MapsBracketsToSymAndOutOfRangeToEmpty) {
  const TrainingSentencePair pair =
      MakePair("a/( b/) c d/sym e/nn f/((", "", "");
  const std::pair<int, std::string> cases[] = {
      {0, "SYM"}, {1, "SYM"}, {2, ""},  {3, "sym"},    {4, "nn"},
      {5, "(("},  {6, ""},    {-1, ""}, {INT_MIN, ""}, {INT_MAX, ""},
  };
  for (const auto& [position, tag] : cases) {
    SCOPED_TRACE(position);
    EXPECT_EQ(pair.ReturnPOS(position), tag);
  }
}

TEST(TrainingSentencePairGetSLSentToParse, EndsWithASeparatePeriod) {
  const std::pair<std::string, std::string> cases[] = {
      {"the/dt dog/nn barked/vbd ./.", "the dog barked  ."},
      {"the/dt dog/nn", "the dog  ."},
      {"I/prp saw/vbd Mr./nnp", "I saw Mr ."},
      {"", " ."},
      {"./.", ".  ."},
      {"a. b/nn", "a. b  ."},
      {"x/nn ../.", "x . ."},
  };
  for (const auto& [sentence, text] : cases) {
    SCOPED_TRACE(sentence);
    const TrainingSentencePair pair = MakePair(sentence, "", "");
    std::string result;
    const std::string out =
        testsupport::CaptureStdout([&] { result = pair.GetSLSentToParse(); });
    EXPECT_EQ(result, text);
    EXPECT_EQ(out, std::string(pair.GetSLWords().size(), '.'));
  }
}

TEST(TrainingSentencePair, HoldsNoTreeUntilOneIsSet) {
  TrainingSentencePair pair;
  EXPECT_EQ(pair.GetParseTree(), nullptr);
  ParseParser parser;
  pair.SetParseTree(&parser);
  EXPECT_EQ(pair.GetParseTree(), &parser);
  EXPECT_EQ(TrainingSentencePair(pair).GetParseTree(), &parser);
}

TEST(TrainingSentencePairAddPattern, KeepsCopiesInTheOrderAdded) {
  TrainingSentencePair pair;
  Pattern pattern;
  pattern.SetType("NP");
  pair.AddPattern(pattern);
  pattern.SetType("VP");
  pair.AddPattern(pattern);
  pattern.SetType("S");
  const std::vector<Pattern> patterns = pair.GetPatterns();
  ASSERT_EQ(patterns.size(), 2U);
  EXPECT_EQ(patterns[0].GetType(), "NP");
  EXPECT_EQ(patterns[1].GetType(), "VP");
}

TEST(TrainingSentencePairGetAlMap, ListsTheTLWordsOfEverySLPosition) {
  struct Case {
    std::string Alignment;
    Entries Expected;
  };
  const Case cases[] = {
      {"((1,2),(3,1),(3,2))", {{1, "y", 2}, {3, "x", 1}, {3, "y", 2}}},
      {"((3,2),(1,2),(3,1))", {{1, "y", 2}, {3, "x", 1}, {3, "y", 2}}},
      {"((1,2),(1,2),(1,1))", {{1, "x", 1}, {1, "y", 2}}},
      {"((0,1),(4,1))", {}},
      {"((-1,9),(1,1))", {{1, "x", 1}}},
      {"((2,1),(99999999999,-5))", {{2, "x", 1}}},
      {"((1,1),(2,", {{1, "x", 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Alignment);
    const TrainingSentencePair pair = MakePair("a b c", "x y", c.Alignment);
    AlMap alMap;
    EXPECT_EQ(testsupport::CaptureStdout([&] { alMap = pair.GetAlMap(); }), "");
    EXPECT_EQ(EntriesOf(alMap), c.Expected);
  }
}

TEST(TrainingSentencePairGetAlMap, WarnsOnStdoutWhenAPartIsMissing) {
  const std::string warning =
      "Cannote process AlMap, Alignment and/or SLWords and/or TLWords not "
      "given.\n";
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"a b", "x y", ""}, {"", "x y", "((1,1))"}, {"/nn", "x", "((1,1))"}};
  for (const auto& [sl, tl, alignment] : cases) {
    SCOPED_TRACE(::testing::Message() << sl << "|" << tl << "|" << alignment);
    const TrainingSentencePair pair = MakePair(sl, tl, alignment);
    AlMap alMap;
    EXPECT_EQ(testsupport::CaptureStdout([&] { alMap = pair.GetAlMap(); }),
              warning);
    EXPECT_TRUE(alMap.empty());
  }
}

TEST(TrainingSentencePairTryGetAlMap, ReportsATLPositionThatNamesNoWord) {
  const std::pair<std::string, int> cases[] = {
      {"((1,3))", 3},
      {"((1,0))", 0},
      {"((1,-1))", -1},
      {"((2,1),(1,7),(1,5))", 5},
      {"((3,99999999999))", INT_MAX},
  };
  for (const auto& [alignment, position] : cases) {
    SCOPED_TRACE(alignment);
    const TrainingSentencePair pair = MakePair("a b c", "x y", alignment);
    AlMap alMap{{9, {"stale", 9}}};
    int bad = 12345;
    EXPECT_FALSE(pair.TryGetAlMap(alMap, &bad));
    EXPECT_EQ(bad, position);
    EXPECT_TRUE(alMap.empty());
  }
  const TrainingSentencePair good = MakePair("a b", "x y", "((2,1))");
  AlMap alMap;
  EXPECT_TRUE(good.TryGetAlMap(alMap));
  EXPECT_EQ(EntriesOf(alMap), (Entries{{2, "x", 1}}));
}

TEST(TrainingSentencePairGetAlMapDeathTest, ExitsOnATLPositionPastTheEnd) {
  const TrainingSentencePair pair = MakePair("a b c", "x y", "((1,3))");
  EXPECT_EXIT(pair.GetAlMap(), ::testing::ExitedWithCode(1),
              "^TL Index 3 exceeds TL sentence length\\.\n$");
}

TEST(TrainingSentencePairGetAlMapDeathTest, ExitsOnTLPositionZero) {
  const TrainingSentencePair pair = MakePair("a b c", "x y", "((2,0))");
  EXPECT_EXIT(pair.GetAlMap(), ::testing::ExitedWithCode(1),
              "^TL Index 0 exceeds TL sentence length\\.\n$");
}

TEST(TrainingSentencePairGetAlMapDeathTest, ExitsOnANegativeTLPosition) {
  const TrainingSentencePair pair = MakePair("a b c", "x y", "((1,-4))");
  EXPECT_EXIT(pair.GetAlMap(), ::testing::ExitedWithCode(1),
              "^TL Index -4 exceeds TL sentence length\\.\n$");
}

TEST(TrainingSentencePairGetAlMapDeathTest, ExitsOnAnyLinkWithoutTLWords) {
  const TrainingSentencePair pair = MakePair("a b", "", "((2,1))");
  EXPECT_EXIT(pair.GetAlMap(), ::testing::ExitedWithCode(1),
              "^TL Index 1 exceeds TL sentence length\\.\n$");
}

// Every real record, read as a sentence pair: SL word k is the word of the
// tree's leaf k (words holding "/" included), tagged with that leaf's label
// lower-cased; the TL side (the SL words reversed) has one word per leaf,
// and the map holds exactly the pairs of the alignment string.
TEST(TrainingSentencePairRealData, AgreesWithTreesAndAlignments) {
  const std::vector<testsupport::TreebankRecord> records =
      testsupport::ReadTreebankRecords();
  if (records.empty()) GTEST_SKIP() << "no shared real data";
  std::size_t slashWords = 0;
  for (const testsupport::TreebankRecord& record : records) {
    SCOPED_TRACE(record.sl);
    TrainingSentencePair pair =
        MakePair(record.sl, record.tl, record.alignment);
    ParseParser parser;
    ASSERT_TRUE(parser.TryParseIntoTree(record.cStructure));
    const std::vector<const CTree::TreeNode*> leaves =
        testsupport::LeavesInTextOrder(parser.Root);
    const Words words = pair.GetSLWords();
    ASSERT_EQ(words.size(), leaves.size());
    for (std::size_t k = 0; k < words.size(); ++k) {
      // A root that is its own leaf holds the line's label in its own.
      const std::string& label = leaves[k]->Label;
      std::string tag = label.substr(label.rfind('(') + 1);
      for (char& c : tag) c = static_cast<char>(std::tolower(c));
      ASSERT_EQ(words[k], leaves[k]->Word) << k;
      ASSERT_EQ(leaves[k]->Index, static_cast<int>(k + 1));
      ASSERT_EQ(pair.ReturnPOS(static_cast<int>(k)), tag) << k;
      slashWords += words[k].find('/') != std::string::npos;
    }
    const Words tlWords = pair.GetTLWords();
    ASSERT_EQ(tlWords.size(), leaves.size());

    AlMap alMap;
    ASSERT_TRUE(pair.TryGetAlMap(alMap));
    const auto pairs = testsupport::ReadCanonicalPairs(record.alignment);
    ASSERT_EQ(pairs.size(), leaves.size());
    Entries expected;
    for (const auto& [sl, tl] : pairs) {
      if (sl >= 1 && static_cast<std::size_t>(sl) <= words.size()) {
        expected.emplace_back(sl, tlWords.at(static_cast<std::size_t>(tl - 1)),
                              tl);
      }
    }
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()),
                   expected.end());
    ASSERT_EQ(EntriesOf(alMap), expected);
  }
  EXPECT_EQ(slashWords, 171U);
}

}  // namespace
