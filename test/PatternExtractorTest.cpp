#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "ParseParser.h"
#include "PatternExtractor.h"
#include "support/PatternReference.h"
#include "support/TestSupport.h"
#include "support/TreebankRecords.h"

namespace {

// A ten-line input record; the lines are given with their labels.
std::string Record(const std::string& sl, const std::string& tl,
                   const std::string& alignment,
                   const std::string& cStructure) {
  return "SentenceIndex: 1\n" + sl + "\n" + tl + "\n" + alignment +
         "\nType: X\nCoEmbeddingScore: 0\n" + cStructure +
         "\nConstSeq: X\nXSideConstraints:\n\n";
}

struct Extraction {
  std::string Patterns;
  std::vector<std::string> SkipReasons;
};

// Every record of `input` through one extractor, as the program reads them.
Extraction ExtractAll(const std::string& input, bool consistentOnly) {
  std::istringstream in(input);
  std::ostream listing(nullptr);
  TrainingExampleReader reader(in, listing);
  PatternExtractor extractor(consistentOnly);
  Extraction result;
  for (ExampleFieldMap example = reader.Next(); example.size() == 6;
       example = reader.Next()) {
    std::string reason;
    if (!extractor.AppendPatterns(example, result.Patterns, reason)) {
      result.SkipReasons.push_back(reason);
    }
  }
  return result;
}

// Hand-derived from the tree, the alignment and the tags.
struct HandCase {
  const char* name;
  std::string record;
  bool consistentOnly;
  std::string patterns;
};

// "not" and "come" each link to two TL words that interleave (n' est pas
// venu), and "did" is unaligned; the inner VP's span takes a link from
// "not" and is not consistent.
const std::string kCrossing =
    Record("SL: he/prp did/vbd not/rb come/vb", "TL: il n' est pas venu",
           "Alignment: ((1,1),(3,2),(3,4),(4,3),(4,5))",
           "C-Structure:(S (NP (PRP he-1)) (VP (VBD did-2) (RB not-3) "
           "(VP (VB come-4))))");
const std::string kCrossingS =
    "SentenceIndex:\nSL: he did not come\nTL: il n' est pas venu\n"
    "Alignment: ((1,1),(3,2),(3,4),(4,3),(4,5))\nType: S\n"
    "CoEmbeddingScore: 4\nC-Structure:(<S> (<NP> (PRP he-1)) (<VP> (VBD "
    "did-2) (RB not-3) (<VP> (VB come-4))))\nConstSeq: NP VP\n"
    "XSideConstraints:\n(X2 TENSE *PAST)\n(X4 TENSE *PRESENT)\n";
const std::string kCrossingNP =
    "SentenceIndex:\nSL: he\nTL: il\nAlignment: ((1,1))\nType: NP\n"
    "CoEmbeddingScore: 2\nC-Structure:(<NP> (PRP he-1))\nConstSeq: PRP\n"
    "XSideConstraints:\n";
const std::string kCrossingVP =
    "SentenceIndex:\nSL: did not come\nTL: n' est pas venu\n"
    "Alignment: ((2,1),(2,3),(3,2),(3,4))\nType: VP\nCoEmbeddingScore: 3\n"
    "C-Structure:(<VP> (VBD did-1) (RB not-2) (<VP> (VB come-3)))\n"
    "ConstSeq: VBD RB VP\nXSideConstraints:\n(X1 TENSE *PAST)\n"
    "(X3 TENSE *PRESENT)\n";
const std::string kCrossingInnerVP =
    "SentenceIndex:\nSL: come\nTL: est venu\nAlignment: ((1,1),(1,2))\n"
    "Type: VP\nCoEmbeddingScore: 2\nC-Structure:(<VP> (VB come-1))\n"
    "ConstSeq: VB\nXSideConstraints:\n(X1 TENSE *PRESENT)\n";

// Both SL words link to both TL words; ADVP alone shares its TL words.
const std::string kManyToMany =
    Record("SL: passed/vbd away/rb", "TL: est mort",
           "Alignment: ((1,1),(1,2),(2,1),(2,2))",
           "C-Structure:(VP (VBD passed-1) (ADVP (RB away-2)))");
const std::string kManyToManyVP =
    "SentenceIndex:\nSL: passed away\nTL: est mort\n"
    "Alignment: ((1,1),(1,2),(2,1),(2,2))\nType: VP\nCoEmbeddingScore: 3\n"
    "C-Structure:(<VP> (VBD passed-1) (<ADVP> (RB away-2)))\n"
    "ConstSeq: VBD ADVP\nXSideConstraints:\n(X1 TENSE *PAST)\n";
const std::string kManyToManyADVP =
    "SentenceIndex:\nSL: away\nTL: est mort\nAlignment: ((1,1),(1,2))\n"
    "Type: ADVP\nCoEmbeddingScore: 2\nC-Structure:(<ADVP> (RB away-1))\n"
    "ConstSeq: RB\nXSideConstraints:\n";

// "in" is aligned to nothing, and P covers it alone.
const std::string kUnaligned = Record(
    "SL: in/in the/dt morning/nn", "TL: le matin", "Alignment: ((2,1),(3,2))",
    "C-Structure:(PP (P (IN in-1)) (NP (DT the-2) (NN morning-3)))");
const std::string kUnalignedPP =
    "SentenceIndex:\nSL: in the morning\nTL: le matin\n"
    "Alignment: ((2,1),(3,2))\nType: PP\nCoEmbeddingScore: 3\n"
    "C-Structure:(<PP> (<P> (IN in-1)) (<NP> (DT the-2) (NN morning-3)))\n"
    "ConstSeq: P NP\nXSideConstraints:\n(X3 NUM *SG)\n";
const std::string kUnalignedP =
    "SentenceIndex:\nSL: in\nTL: \nAlignment: ()\nType: P\n"
    "CoEmbeddingScore: 2\nC-Structure:(<P> (IN in-1))\nConstSeq: IN\n"
    "XSideConstraints:\n";
const std::string kUnalignedNP =
    "SentenceIndex:\nSL: the morning\nTL: le matin\n"
    "Alignment: ((1,1),(2,2))\nType: NP\nCoEmbeddingScore: 2\n"
    "C-Structure:(<NP> (DT the-1) (NN morning-2))\nConstSeq: DT NN\n"
    "XSideConstraints:\n(X2 NUM *SG)\n";

TEST(PatternExtractor, WritesHandDerivedPatternsOfEveryConstituent) {
  const HandCase cases[] = {
      {"crossing", kCrossing, false,
       kCrossingS + kCrossingNP + kCrossingVP + kCrossingInnerVP},
      {"crossing, consistent", kCrossing, true,
       kCrossingS + kCrossingNP + kCrossingVP},
      {"many-to-many", kManyToMany, false, kManyToManyVP + kManyToManyADVP},
      {"many-to-many, consistent", kManyToMany, true, kManyToManyVP},
      {"unaligned", kUnaligned, false,
       kUnalignedPP + kUnalignedP + kUnalignedNP},
      {"unaligned, consistent", kUnaligned, true, kUnalignedPP + kUnalignedNP},
      // A's TL span (x .. z) takes y from b, the word after A.
      {"link from the right, consistent",
       Record("SL: a/dt b/nn", "TL: x y z", "Alignment: ((1,1),(1,3),(2,2))",
              "C-Structure:(X (A (DT a-1)) (B (NN b-2)))"),
       true,
       "SentenceIndex:\nSL: a b\nTL: x y z\nAlignment: ((1,1),(1,3),(2,2))\n"
       "Type: X\nCoEmbeddingScore: 3\n"
       "C-Structure:(<X> (<A> (DT a-1)) (<B> (NN b-2)))\nConstSeq: A B\n"
       "XSideConstraints:\n(X2 NUM *SG)\n"
       "SentenceIndex:\nSL: b\nTL: y\nAlignment: ((1,1))\nType: B\n"
       "CoEmbeddingScore: 2\nC-Structure:(<B> (NN b-1))\nConstSeq: NN\n"
       "XSideConstraints:\n(X1 NUM *SG)\n"},
      // Leaf text after A's child takes position 2, which no stretch holds,
      // so X (a, c) is not consistent though its positions span 1 to 3.
      {"text on a node with children, consistent",
       Record("SL: a/nn b/nn c/nn", "TL: x y z",
              "Alignment: ((1,1),(2,2),(3,3))",
              "C-Structure:(X (A (NN a-1) b-2) (NN c-3))"),
       true,
       "SentenceIndex:\nSL: a\nTL: x\nAlignment: ((1,1))\nType: A\n"
       "CoEmbeddingScore: 2\nC-Structure:(<A> (NN a-1))\nConstSeq: NN\n"
       "XSideConstraints:\n(X1 NUM *SG)\n"},
      // A node without a label writes nothing; its labelled child does.
      {"unlabelled root",
       Record("SL: a/nn", "TL: b", "Alignment: ((1,1))",
              "C-Structure:( (NP (NN a-1)))"),
       false,
       "SentenceIndex:\nSL: a\nTL: b\nAlignment: ((1,1))\nType: NP\n"
       "CoEmbeddingScore: 2\nC-Structure:(<NP> (NN a-1))\nConstSeq: NN\n"
       "XSideConstraints:\n(X1 NUM *SG)\n"},
  };
  for (const HandCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Extraction result = ExtractAll(c.record, c.consistentOnly);
    EXPECT_EQ(result.Patterns, c.patterns);
    EXPECT_TRUE(result.SkipReasons.empty());
  }
}

TEST(PatternExtractor, TakesEachValueAfterItsLabelsFirstColon) {
  const std::string pattern =
      "SentenceIndex:\nSL: a\nTL: b\nAlignment: ((1,1))\nType: X\n"
      "CoEmbeddingScore: 2\nC-Structure:(<X> (NN a-1))\nConstSeq: NN\n"
      "XSideConstraints:\n(X1 NUM *SG)\n";
  struct LabelCase {
    const char* name;
    std::string record;
  };
  const LabelCase cases[] = {
      {"as written", Record("SL: a/nn", "TL: b", "Alignment: ((1,1))",
                            "C-Structure:(X (NN a-1))")},
      {"no blank after the colon",
       Record("SL:a/nn", "TL:b", "Alignment:((1,1))",
              "C-Structure:(X (NN a-1))")},
      {"no colon", Record("a/nn", "b", "((1,1))", "C-Structure:(X (NN a-1))")},
      // Any text before the colon; the tree starts at its first "(".
      {"other labels", Record("Source: a/nn", "Target: b", "Links: ((1,1))",
                              "Tree: (X (NN a-1))")},
  };
  for (const LabelCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ExtractAll(c.record, false).Patterns, pattern);
  }
}

TEST(PatternExtractor, SkipsARecordWithItsReasonAndLeavesOutputAlone) {
  struct SkipCase {
    const char* name;
    std::string alignment;
    std::string cStructure;
    std::string reason;
  };
  const SkipCase cases[] = {
      {"no bracket", "Alignment: ((1,1))", "C-Structure:X NN a",
       "malformed C-structure: X NN a\n"},
      {"unclosed", "Alignment: ((1,1))", "C-Structure:(X (NN a-1)",
       "malformed C-structure: (X (NN a-1)\n"},
      {"no blank after a label", "Alignment: ((1,1))",
       "C-Structure:(X (NN a-1) (NP))", "malformed C-structure: (NP)\n"},
      {"past the TL words", "Alignment: ((1,1),(2,3))",
       "C-Structure:(X (NN a-1) (NN c-2))",
       "TL Index 3 exceeds TL sentence length.\n"},
      {"TL position 0", "Alignment: ((1,0))", "C-Structure:(X (NN a-1))",
       "TL Index 0 exceeds TL sentence length.\n"},
      // The first SL word's links are checked first.
      {"first bad in SL order", "Alignment: ((2,5),(1,4))",
       "C-Structure:(X (NN a-1) (NN c-2))",
       "TL Index 4 exceeds TL sentence length.\n"},
  };
  for (const SkipCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::istringstream in(
        Record("SL: a/nn c/nn", "TL: b", c.alignment, c.cStructure));
    std::ostream listing(nullptr);
    TrainingExampleReader reader(in, listing);
    PatternExtractor extractor;
    std::string out = "before\n";
    std::string reason;
    EXPECT_FALSE(extractor.AppendPatterns(reader.Next(), out, reason));
    EXPECT_EQ(reason, c.reason);
    EXPECT_EQ(out, "before\n");
  }
}

TEST(PatternExtractor, WritesNothingToStandardOutputAndLeavesItWorking) {
  // Empty alignment and tags: the library would report both on stdout.
  std::istringstream in(Record("SL: a/nn b/vb", "TL: ", "Alignment: ",
                               "C-Structure:(X (NN a-1) (VB b-2))"));
  std::ostream listing(nullptr);
  TrainingExampleReader reader(in, listing);
  const ExampleFieldMap example = reader.Next();
  PatternExtractor extractor;
  std::string out;
  std::string reason;
  const std::string printed = testsupport::CaptureStdout([&] {
    EXPECT_TRUE(extractor.AppendPatterns(example, out, reason));
    std::cout << "after";
  });
  EXPECT_EQ(printed, "after");
  EXPECT_NE(out, "");
}

// The real corpus: the extractor must agree with patterns built one by one
// through Pattern, and its output must hold together by itself.
class PatternExtractorRealCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testsupport::SharedDir().empty()) GTEST_SKIP() << "no real corpus";
  }
  static std::vector<ExampleFieldMap> Records() {
    std::ifstream in(testsupport::SharedDir() +
                     "/realdata/treebank-records.txt");
    std::ostream listing(nullptr);
    TrainingExampleReader reader(in, listing);
    std::vector<ExampleFieldMap> records;
    for (ExampleFieldMap example = reader.Next(); example.size() == 6;
         example = reader.Next()) {
      records.push_back(example);
    }
    return records;
  }
};

constexpr std::size_t kReferenceStride = 4;

TEST_F(PatternExtractorRealCorpus, MatchesPatternsBuiltThroughPattern) {
  for (const bool consistentOnly : {false, true}) {
    PatternExtractor extractor(consistentOnly);
    std::size_t record = 0;
    for (const ExampleFieldMap& example : Records()) {
      ++record;
      std::string out;
      std::string reason;
      ASSERT_TRUE(extractor.AppendPatterns(example, out, reason)) << reason;
      // Every record passes through the extractor, which must not carry one
      // into the next; the slow reference checks a spread of them.
      if (record % kReferenceStride != 1) continue;
      ASSERT_EQ(out, testsupport::ReferencePatterns(example, consistentOnly))
          << "record " << record << (consistentOnly ? ", consistent" : "");
    }
  }
}

// Splits patterns text into its patterns, each a list of lines.
std::vector<std::vector<std::string>> SplitPatterns(const std::string& text) {
  std::vector<std::vector<std::string>> patterns;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line == "SentenceIndex:") patterns.emplace_back();
    if (!patterns.empty()) patterns.back().push_back(line);
  }
  return patterns;
}

// Words after the label of an "SL: " or "TL: " line. Every SL stretch has a
// word, though it may print empty ("--" does); a TL line may have none.
std::size_t WordCount(const std::string& line, bool atLeastOne) {
  const std::string words = line.substr(4);
  if (words.empty() && !atLeastOne) return 0;
  return static_cast<std::size_t>(std::count(words.begin(), words.end(), ' ')) +
         1;
}

TEST_F(PatternExtractorRealCorpus, PatternsHoldTogether) {
  PatternExtractor extractor;
  ParseParser reread;
  std::size_t record = 0;
  for (const ExampleFieldMap& example : Records()) {
    ++record;
    SCOPED_TRACE("record " + std::to_string(record));
    std::string out;
    std::string reason;
    ASSERT_TRUE(extractor.AppendPatterns(example, out, reason));
    const auto patterns = SplitPatterns(out);

    ParseParser tree;
    const std::string& cStructure = example.at("C-Structure");
    ASSERT_TRUE(tree.TryParseIntoTree(cStructure.substr(cStructure.find('('))));
    std::size_t labelledWithChildren = 0;
    std::vector<const CTree::TreeNode*> pending{tree.Root};
    while (!pending.empty()) {
      const CTree::TreeNode* node = pending.back();
      pending.pop_back();
      if (!node->Children.empty() && !node->Label.empty()) {
        ++labelledWithChildren;
      }
      pending.insert(pending.end(), node->Children.begin(),
                     node->Children.end());
    }
    EXPECT_EQ(patterns.size(), labelledWithChildren);

    for (const auto& lines : patterns) {
      ASSERT_GE(lines.size(), 9u);
      const std::size_t slWords = WordCount(lines[1], true);
      const std::size_t tlWords = WordCount(lines[2], false);
      ASSERT_TRUE(reread.TryParseIntoTree(lines[6].substr(12))) << lines[6];
      EXPECT_EQ(testsupport::CountLeaves(reread.Root), slWords) << lines[6];
      const std::string alignment = lines[3].substr(11);
      const auto pairs = testsupport::ReadCanonicalPairs(alignment);
      EXPECT_EQ(pairs.size() + 1, static_cast<std::size_t>(std::count(
                                      alignment.begin(), alignment.end(), '(')))
          << alignment;
      for (const auto& [sl, tl] : pairs) {
        EXPECT_TRUE(sl >= 1 && static_cast<std::size_t>(sl) <= slWords &&
                    tl >= 1 && static_cast<std::size_t>(tl) <= tlWords)
            << alignment << " over " << lines[1] << " / " << lines[2];
      }
    }
  }
}

}  // namespace
