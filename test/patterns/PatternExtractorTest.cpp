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
#include "support/RecordBuilder.h"
#include "support/TestSupport.h"
#include "support/TreeCorpus.h"
#include "support/TreebankRecords.h"

namespace {

// A ten-line input record; the lines are given with their labels.
std::string Record(const std::string& sl, const std::string& tl,
                   const std::string& alignment,
                   const std::string& cStructure) {
  testsupport::RecordLines record;
  record.SL = sl;
  record.TL = tl;
  record.Alignment = alignment;
  record.Type = "Type: X";
  record.CStructure = cStructure;
  record.ConstSeq = "ConstSeq: X";
  return record.Text();
}

struct Extraction {
  std::string Patterns;
  std::vector<std::string> SkipReasons;
};

// Every record of `input` through one extractor, as the program reads them.
Extraction ExtractAll(const std::string& input, bool consistentOnly,
                      std::size_t maxWords = 0) {
  std::istringstream in(input);
  std::ostream listing(nullptr);
  TrainingExampleReader reader(in, listing);
  PatternExtractor extractor(consistentOnly, maxWords);
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
  const char* Name;
  std::string Record;
  bool ConsistentOnly;
  std::string Patterns;
  std::size_t MaxWords = 0;
};

// One pattern's text form: its SL, TL and alignment values, type, score,
// C-structure, constituent sequence and constraints.
std::string P(const std::string& sl, const std::string& tl,
              const std::string& alignment, const std::string& type, int score,
              const std::string& cStructure, const std::string& constSeq,
              const std::string& constraints) {
  return "SentenceIndex:\nSL: " + sl + "\nTL: " + tl +
         "\nAlignment: " + alignment + "\nType: " + type +
         "\nCoEmbeddingScore: " + std::to_string(score) +
         "\nC-Structure:" + cStructure + "\nConstSeq: " + constSeq +
         "\nXSideConstraints:\n" + constraints;
}

// "not" and "come" each link to two TL words that interleave (n' est pas
// venu), and "did" is unaligned; the inner VP's span takes a link from
// "not" and is not consistent.
const std::string kCrossing =
    Record("SL: he/prp did/vbd not/rb come/vb", "TL: il n' est pas venu",
           "Alignment: ((1,1),(3,2),(3,4),(4,3),(4,5))",
           "C-Structure:(S (NP (PRP he-1)) (VP (VBD did-2) (RB not-3) "
           "(VP (VB come-4))))");
const std::string kCrossingOuter =
    P("he did not come", "il n' est pas venu",
      "((1,1),(3,2),(3,4),(4,3),(4,5))", "S", 4,
      "(<S> (<NP> (PRP he-1)) (<VP> (VBD did-2) (RB not-3) (<VP> (VB "
      "come-4))))",
      "NP VP", "(X2 TENSE *PAST)\n(X4 TENSE *PRESENT)\n") +
    P("he", "il", "((1,1))", "NP", 2, "(<NP> (PRP he-1))", "PRP", "") +
    P("did not come", "n' est pas venu", "((2,1),(2,3),(3,2),(3,4))", "VP", 3,
      "(<VP> (VBD did-1) (RB not-2) (<VP> (VB come-3)))", "VBD RB VP",
      "(X1 TENSE *PAST)\n(X3 TENSE *PRESENT)\n");
const std::string kCrossingInner =
    P("come", "est venu", "((1,1),(1,2))", "VP", 2, "(<VP> (VB come-1))", "VB",
      "(X1 TENSE *PRESENT)\n");

// Both SL words link to both TL words; ADVP alone shares its TL words.
const std::string kManyToMany =
    Record("SL: passed/vbd away/rb", "TL: est mort",
           "Alignment: ((1,1),(1,2),(2,1),(2,2))",
           "C-Structure:(VP (VBD passed-1) (ADVP (RB away-2)))");
const std::string kManyToManyVP =
    P("passed away", "est mort", "((1,1),(1,2),(2,1),(2,2))", "VP", 3,
      "(<VP> (VBD passed-1) (<ADVP> (RB away-2)))", "VBD ADVP",
      "(X1 TENSE *PAST)\n");
const std::string kManyToManyADVP =
    P("away", "est mort", "((1,1),(1,2))", "ADVP", 2, "(<ADVP> (RB away-1))",
      "RB", "");

// "in" is aligned to nothing, and P covers it alone.
const std::string kUnaligned = Record(
    "SL: in/in the/dt morning/nn", "TL: le matin", "Alignment: ((2,1),(3,2))",
    "C-Structure:(PP (P (IN in-1)) (NP (DT the-2) (NN morning-3)))");
const std::string kUnalignedPP =
    P("in the morning", "le matin", "((2,1),(3,2))", "PP", 3,
      "(<PP> (<P> (IN in-1)) (<NP> (DT the-2) (NN morning-3)))", "P NP",
      "(X3 NUM *SG)\n");
const std::string kUnalignedP =
    P("in", "", "()", "P", 2, "(<P> (IN in-1))", "IN", "");
const std::string kUnalignedNP =
    P("the morning", "le matin", "((1,1),(2,2))", "NP", 2,
      "(<NP> (DT the-1) (NN morning-2))", "DT NN", "(X2 NUM *SG)\n");

TEST(PatternExtractor, WritesHandDerivedPatternsOfEveryConstituent) {
  const HandCase cases[] = {
      {"crossing", kCrossing, false, kCrossingOuter + kCrossingInner},
      {"crossing, consistent", kCrossing, true, kCrossingOuter},
      {"many-to-many", kManyToMany, false, kManyToManyVP + kManyToManyADVP},
      {"many-to-many, consistent", kManyToMany, true, kManyToManyVP},
      {"unaligned", kUnaligned, false,
       kUnalignedPP + kUnalignedP + kUnalignedNP},
      {"unaligned, consistent", kUnaligned, true, kUnalignedPP + kUnalignedNP},
      {"crossing, at most 1 word", kCrossing, false,
       P("he", "il", "((1,1))", "NP", 2, "(<NP> (PRP he-1))", "PRP", "") +
           kCrossingInner,
       1},
      // S spans 4 words; the inner VP fits but is not consistent.
      {"crossing, consistent, at most 3 words", kCrossing, true,
       kCrossingOuter.substr(kCrossingOuter.find("SentenceIndex:", 1)), 3},
      // The tree starts at the first "(", so a ":" inside it is a label.
      {"a colon inside a tree without a label",
       Record("SL: :/: a/nn", "TL: b", "Alignment: ((2,1))",
              "(X (: :-1) (NN a-2))"),
       false,
       P(": a", "b", "((2,1))", "X", 2, "(<X> (: :-1) (NN a-2))", ": NN",
         "(X2 NUM *SG)\n")},
      // A's TL span (x .. z) takes y from b, the word after A.
      {"link from the right, consistent",
       Record("SL: a/dt b/nn", "TL: x y z", "Alignment: ((1,1),(1,3),(2,2))",
              "C-Structure:(X (A (DT a-1)) (B (NN b-2)))"),
       true,
       P("a b", "x y z", "((1,1),(1,3),(2,2))", "X", 3,
         "(<X> (<A> (DT a-1)) (<B> (NN b-2)))", "A B", "(X2 NUM *SG)\n") +
           P("b", "y", "((1,1))", "B", 2, "(<B> (NN b-1))", "NN",
             "(X1 NUM *SG)\n")},
      // Leaf text after A's child takes position 2, which no stretch holds,
      // so X (a, c) is not consistent though its positions span 1 to 3.
      {"text on a node with children, consistent",
       Record("SL: a/nn b/nn c/nn", "TL: x y z",
              "Alignment: ((1,1),(2,2),(3,3))",
              "C-Structure:(X (A (NN a-1) b-2) (NN c-3))"),
       true,
       P("a", "x", "((1,1))", "A", 2, "(<A> (NN a-1))", "NN",
         "(X1 NUM *SG)\n")},
      // Words that are or end in dashes print whole.
      {"words of dashes",
       Record("SL: -LRB-/-lrb- -/hyph", "TL: ( -", "Alignment: ((1,1),(2,2))",
              "C-Structure:(X (-LRB- -LRB--1) (HYPH --2))"),
       false,
       P("-LRB- -", "( -", "((1,1),(2,2))", "X", 2,
         "(<X> (-LRB- -LRB--1) (HYPH --2))", "-LRB- HYPH", "")},
      // TL positions met out of order and far apart come sorted.
      {"TL words far apart, out of order",
       Record("SL: a/dt b/dt", "TL: t1 t2 t3 t4 t5 t6 t7 t8 t9",
              "Alignment: ((1,9),(2,1))", "C-Structure:(X (A a-1) (B b-2))"),
       false,
       P("a b", "t1 t9", "((1,2),(2,1))", "X", 2, "(<X> (A a-1) (B b-2))",
         "A B", "")},
      // From ten leaves on, constraints come in the order their texts sort.
      {"constraints of eleven words",
       Record("SL: a/dt b/nn c/dt d/dt e/dt f/dt g/dt h/dt i/dt j/nns k/vb",
              "TL: x", "Alignment: ((1,1))",
              "C-Structure:(X (A a-1) (A b-2) (A c-3) (A d-4) (A e-5) (A f-6) "
              "(A g-7) (A h-8) (A i-9) (A j-10) (A k-11))"),
       false,
       P("a b c d e f g h i j k", "x", "((1,1))", "X", 2,
         "(<X> (A a-1) (A b-2) (A c-3) (A d-4) (A e-5) (A f-6) (A g-7) "
         "(A h-8) (A i-9) (A j-10) (A k-11))",
         "A A A A A A A A A A A",
         "(X10 NUM *PL)\n(X11 TENSE *PRESENT)\n(X2 NUM *SG)\n")},
      // A node without a label writes nothing; its labelled child does.
      {"unlabelled root",
       Record("SL: a/nn", "TL: b", "Alignment: ((1,1))",
              "C-Structure:( (NP (NN a-1)))"),
       false,
       P("a", "b", "((1,1))", "NP", 2, "(<NP> (NN a-1))", "NN",
         "(X1 NUM *SG)\n")},
  };
  for (const HandCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const Extraction result =
        ExtractAll(c.Record, c.ConsistentOnly, c.MaxWords);
    EXPECT_EQ(result.Patterns, c.Patterns);
    EXPECT_TRUE(result.SkipReasons.empty());
  }
}

// A taker that extracts with the same extractor gets the other record's
// patterns, and the record it is handed goes on as if alone.
TEST(PatternExtractor, ATakerMayUseTheExtractorItIsHandedBy) {
  std::istringstream in(kCrossing + kUnaligned);
  std::ostream listing(nullptr);
  TrainingExampleReader reader(in, listing);
  ExampleRecord outer;
  ExampleRecord inner;
  ASSERT_TRUE(reader.NextRecord(outer) && reader.NextRecord(inner));
  PatternExtractor extractor;
  std::string patterns;
  std::string nested;
  ASSERT_TRUE(extractor.ForEachPattern(outer, [&](const ExtractedPattern& p) {
    patterns += p.Text;
    nested.clear();
    return static_cast<bool>(extractor.AppendPatterns(inner, nested));
  }));
  EXPECT_EQ(patterns, kCrossingOuter + kCrossingInner);
  EXPECT_EQ(nested, kUnalignedPP + kUnalignedP + kUnalignedNP);
}

TEST(PatternExtractor, TakesEachValueAfterItsLabelsFirstColon) {
  const std::string pattern =
      P("a", "b", "((1,1))", "X", 2, "(<X> (NN a-1))", "NN", "(X1 NUM *SG)\n");
  // Without a blank after the colon, without a colon, other labels, and a
  // blank before the tree, which starts at its first "(".
  const std::string records[] = {
      Record("SL:a/nn", "TL:b", "Alignment:((1,1))",
             "C-Structure:(X (NN a-1))"),
      Record("a/nn", "b", "((1,1))", "C-Structure:(X (NN a-1))"),
      Record("Source: a/nn", "Target: b", "Links: ((1,1))",
             "Tree: (X (NN a-1))"),
  };
  for (const std::string& record : records) {
    SCOPED_TRACE(record);
    EXPECT_EQ(ExtractAll(record, false).Patterns, pattern);
  }
}

TEST(PatternExtractor, SkipsARecordWithItsReasonAndLeavesOutputAlone) {
  struct SkipCase {
    const char* Name;
    std::string Alignment;
    std::string CStructure;
    std::string Reason;
  };
  const SkipCase cases[] = {
      {"no bracket", "Alignment: ((1,1))", "C-Structure:X NN a",
       "malformed C-structure: C-Structure:X NN a\n"},
      // A ":" before the first "(" does not start the tree.
      {"a colon in front", "Alignment: ((1,1))", "X(Y: (S (NN a-1))",
       "malformed C-structure: (Y: (S (NN a-1))\n"},
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
    SCOPED_TRACE(c.Name);
    std::istringstream in(
        Record("SL: a/nn c/nn", "TL: b", c.Alignment, c.CStructure));
    std::ostream listing(nullptr);
    TrainingExampleReader reader(in, listing);
    PatternExtractor extractor;
    std::string out = "before\n";
    std::string reason;
    EXPECT_FALSE(extractor.AppendPatterns(reader.Next(), out, reason));
    EXPECT_EQ(reason, c.Reason);
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

constexpr std::size_t kReferenceStride = 8;

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
// word, though it may print empty (a leaf without text does); a TL line may
// have none.
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
    // One at a time the same patterns come, each field where its label
    // puts it.
    std::string oneByOne;
    ExampleRecord fields;
    fields.SL = example.at("SL");
    fields.TL = example.at("TL");
    fields.Alignment = example.at("Alignment");
    fields.CStructure = example.at("C-Structure");
    ASSERT_TRUE(extractor.ForEachPattern(
        fields, [&oneByOne](const ExtractedPattern& p) {
          oneByOne.append(p.Text);
          const std::string sl = "SL: " + std::string(p.SLWords);
          EXPECT_EQ(p.Text, "SentenceIndex:\n" + sl +
                                "\nTL: " + std::string(p.TLWords) +
                                "\nAlignment: " + std::string(p.Alignment) +
                                "\nType: " + std::string(p.Type) +
                                "\nCoEmbeddingScore: " + std::string(p.Score) +
                                "\nC-Structure:" + std::string(p.CStructure) +
                                "\nConstSeq: " + std::string(p.ConstSeq) +
                                "\nXSideConstraints:\n" +
                                std::string(p.XSideConstraints));
          EXPECT_EQ(p.SLWordCount, WordCount(sl, true)) << sl;
          return true;
        }));
    EXPECT_TRUE(oneByOne == out) << "one by one differs";
    // As table lines, the same patterns: a Plain one as its fields alone,
    // in table order with the constraints joined by blanks.
    std::vector<std::string> tableLines;
    ASSERT_TRUE(extractor.ForEachPattern(
        fields.View(), [&tableLines](const ExtractedPattern& p) {
          std::string constraints(p.XSideConstraints);
          std::replace(constraints.begin(), constraints.end(), '\n', ' ');
          if (!constraints.empty()) constraints.pop_back();
          tableLines.push_back(
              p.Plain ? std::string(p.Type) + '\t' + std::string(p.SLWords) +
                            '\t' + std::string(p.TLWords) + '\t' +
                            std::string(p.Alignment) + '\t' +
                            std::string(p.CStructure) + '\t' +
                            std::string(p.ConstSeq) + '\t' +
                            std::string(p.Score) + '\t' + constraints
                      : std::string(p.Text));
          return true;
        }));
    std::size_t taken = 0;
    ASSERT_TRUE(extractor.ForEachPatternFields(
        fields.View(), [&](const ExtractedPattern& p) {
          EXPECT_LT(taken, tableLines.size());
          if (taken < tableLines.size()) {
            EXPECT_EQ(p.Plain ? p.Fields : p.Text, tableLines[taken]);
            EXPECT_EQ(p.Fields.empty(), !p.Plain);
          }
          ++taken;
          return true;
        }));
    EXPECT_EQ(taken, tableLines.size());

    ParseParser tree;
    const std::string& cStructure = example.at("C-Structure");
    ASSERT_TRUE(tree.TryParseIntoTree(cStructure.substr(cStructure.find('('))));
    // One pattern per labelled node with children, in text order, whose SL
    // line holds the words of the leaves under it as the tree reads them.
    const treecorpus::TreeLayout layout = treecorpus::LayoutOf(tree.Root);
    std::vector<std::string> slLines;
    for (const treecorpus::Coverage& node : layout.Nodes) {
      if (node.Node->Children.empty() || node.Node->Label.empty()) continue;
      std::string line = "SL:";
      for (std::size_t i = node.First; i < node.First + node.Count; ++i) {
        line.append(" ").append(layout.Leaves[i]->Word);
      }
      slLines.push_back(line);
    }
    ASSERT_EQ(patterns.size(), slLines.size());

    for (std::size_t p = 0; p < patterns.size(); ++p) {
      const auto& lines = patterns[p];
      ASSERT_GE(lines.size(), 9u);
      EXPECT_EQ(lines[1], slLines[p]);
      const std::size_t slWords = WordCount(lines[1], true);
      const std::size_t tlWords = WordCount(lines[2], false);
      ASSERT_TRUE(reread.TryParseIntoTree(lines[6].substr(12))) << lines[6];
      EXPECT_EQ(testsupport::CountLeaves(reread.Root), slWords) << lines[6];
      const std::string alignment = lines[3].substr(11);
      const auto pairs = testsupport::ReadCanonicalPairs(alignment);
      // Each real SL word has one TL word: a word read off its position
      // (one holding "/") loses the pattern's TL words and links.
      EXPECT_EQ(tlWords, slWords) << lines[1];
      EXPECT_EQ(pairs.size(), slWords) << alignment;
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
