#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "ParseParser.h"
#include "converter/ExampleMaker.h"
#include "text/SplitText.h"

namespace {

// What the maker makes of three files, one line per sentence: a record's
// type, SL, C-structure, constituent sequence and depth, or the message of
// a skipped sentence or a stopped run.
std::string Make(const std::string& trees, const std::string& tl,
                 const std::string& alignment, bool bareLabels = false) {
  std::istringstream treeIn(trees), tlIn(tl), alignmentIn(alignment);
  ExampleMaker maker(treeIn, tlIn, alignmentIn, "t", "tl", "a");
  maker.SetBareLabels(bareLabels);
  ExampleRecordView record;
  int depth = 0;
  std::string made;
  for (;;) {
    const ExampleMaker::Step step = maker.Next(record, depth);
    if (step == ExampleMaker::Step::kEnd) break;
    if (step != ExampleMaker::Step::kRecord) {
      made += maker.Problem().Message() + "\n";
      if (step == ExampleMaker::Step::kStopped) break;
      continue;
    }
    made += std::string(record.Type) + "|" + std::string(record.SL) + "|" +
            std::string(record.CStructure) + "|" +
            std::string(record.ConstSeq) + "|" + std::to_string(depth) + "\n";
  }
  return made;
}

// The words a record's SL line and its tree read back as.
std::vector<std::string> SLWords(const std::string& sl) {
  std::vector<std::string> words;
  ForEachSLToken(FieldValue(sl), [&](std::string_view word, auto, bool) {
    words.emplace_back(word);
  });
  return words;
}
std::vector<std::string> TreeWords(const std::string& cStructure) {
  ParseParser parser;
  EXPECT_TRUE(parser.TryParseIntoTree(cStructure.substr(cStructure.find('('))));
  std::vector<std::string> words;
  for (const auto& [word, at] : ExtractSLWords(parser.Root))
    words.push_back(word);
  return words;
}

struct TreeCase {
  const char* Name;
  const char* Trees;
  const char* Expected;
};

TEST(ExampleMaker, ReadsTreesAsParsersAndTreebanksWriteThem) {
  const TreeCase cases[] = {
      {"parser's ROOT wrapper",
       "(ROOT (S (NP (DT the) (NN dog)) (VP (VBZ barks))))",
       "Type: S|SL: the/dt dog/nn barks/vbz|C-Structure:(S (NP (DT the-1) (NN "
       "dog-2)) (VP (VBZ barks-3)))|ConstSeq: NP VP|3\n"},
      {"wrappers dropped again and again", "( (TOP (NP (NN dog))))",
       "Type: NP|SL: dog/nn|C-Structure:(NP (NN dog-1))|ConstSeq: NN|2\n"},
      {"a wrapper of two children stays", "(ROOT (NN a) (NN b))",
       "Type: ROOT|SL: a/nn b/nn|C-Structure:(ROOT (NN a-1) (NN "
       "b-2))|ConstSeq: "
       "NN NN|2\n"},
      {"traces and what they empty go",
       "(S (NP-SBJ (-NONE- *T*-1)) (VP-TMP (VBD ran) (NP (-NONE- *))))",
       "Type: S|SL: ran/vbd|C-Structure:(S (VP-TMP (VBD ran-1)))|ConstSeq: "
       "VP-TMP|3\n"},
      {"a one-word root is its tag", "(ROOT (UH Hello))",
       "Type: UH|SL: Hello/uh|C-Structure:(UH Hello-1)|ConstSeq: UH|1\n"},
      {"over lines, indented, several on a line",
       "(S (NP (NN a))\n\t  (VP (VB b)))\n\n(NN c) (NN d)",
       "Type: S|SL: a/nn b/vb|C-Structure:(S (NP (NN a-1)) (VP (VB b-2)))|"
       "ConstSeq: NP VP|3\nType: NN|SL: c/nn|C-Structure:(NN c-1)|ConstSeq: "
       "NN|1\nType: NN|SL: d/nn|C-Structure:(NN d-1)|ConstSeq: NN|1\n"},
      {"dashes", "(X (: --) (: -) (NN a-) (CD 3-2) (-LRB- -LRB-))",
       "Type: X|SL: --/: -/: a-/nn 3-2/cd -LRB-/-lrb-|C-Structure:(X (: ---1) "
       "(: --2) (NN a--3) (CD 3-2-4) (-LRB- -LRB--5))|ConstSeq: : : NN CD "
       "-LRB-|2\n"},
      {"slashes", "(X (CD 1/2) (: /) (NN http://a/))",
       "Type: X|SL: 1/2/cd //: http://a//nn|C-Structure:(X (CD 1/2-1) (: /-2) "
       "(NN http://a/-3))|ConstSeq: CD : NN|2\n"},
      {"unclosed at the end", "(S (NN a)",
       "Sentence 1: unbalanced brackets.\n"},
      {"an extra ) is its tree's", "(NN a))\n(NN b)",
       "Sentence 1: unbalanced brackets.\nType: NN|SL: b/nn|C-Structure:(NN "
       "b-1)|ConstSeq: NN|1\n"},
      {"a word before a tree", "a (NN b)\n(NN c)",
       "Sentence 1: a word outside brackets.\nType: NN|SL: "
       "c/nn|C-Structure:(NN "
       "c-1)|ConstSeq: NN|1\n"},
      {"a word beside brackets", "(NP a (NN b))",
       "Sentence 1: a word outside brackets.\n"},
      {"an inner bracket without a label", "(S ( (NN a)) (NN b))",
       "Sentence 1: a bracket without a label.\n"},
      {"failed parses are skipped, numbers kept", "(ROOT)\n(())\n(NN c)",
       "Sentence 1: no words left after removing empty elements.\nSentence 2: "
       "no words left after removing empty elements.\nType: NN|SL: "
       "c/nn|C-Structure:(NN c-1)|ConstSeq: NN|1\n"},
  };
  for (const TreeCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string expected = c.Expected;
    // A TL word and no link for every sentence.
    const auto sentences = static_cast<std::size_t>(
        std::count(expected.begin(), expected.end(), '\n'));
    std::string tl, links(sentences, '\n');
    for (std::size_t i = 0; i < sentences; ++i) tl += "x\n";
    const std::string made = Make(c.Trees, tl, links);
    EXPECT_EQ(made, expected);
    if (made.rfind("Type: ", 0) != 0) continue;
    const std::size_t sl = made.find("|SL: ") + 1;
    const std::size_t tree = made.find("|C-Structure:") + 1;
    EXPECT_EQ(SLWords(made.substr(sl, tree - 1 - sl)),
              TreeWords(made.substr(tree, made.find('|', tree) - tree)));
  }
}

TEST(ExampleMaker, CutsFunctionTagsAndCoIndicesFromBareLabels) {
  const TreeCase cases[] = {
      {"tags, co-indices, a $ tag, a word with dashes",
       "(S-TPC-2 (NP-SBJ-1 (PRP$ his) (NN-1 a-b)) (VP=2 (VBD ran)))",
       "Type: S|SL: his/prp$ a-b/nn ran/vbd|C-Structure:(S (NP (PRP$ his-1) "
       "(NN a-b-2)) (VP (VBD ran-3)))|ConstSeq: NP VP|3\n"},
      {"labels that begin with - stay whole, with a trace",
       "(S (NP-SBJ (-NONE- *T*-1)) (-LRB- -LRB-) (NP=3 (NN a)) (-RRB- -RRB-))",
       "Type: S|SL: -LRB-/-lrb- a/nn -RRB-/-rrb-|C-Structure:(S (-LRB- "
       "-LRB--1) (NP (NN a-2)) (-RRB- -RRB--3))|ConstSeq: -LRB- NP -RRB-|3\n"},
      {"under wrappers", "( (NP-SBJ=3 (NN a)))",
       "Type: NP|SL: a/nn|C-Structure:(NP (NN a-1))|ConstSeq: NN|2\n"},
  };
  for (const TreeCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(Make(c.Trees, "x\n", "\n", true), c.Expected);
  }
}

// Blank lines after the last tree are an editor's, not sentences; before
// it, each is a sentence's.
TEST(ExampleMaker, IgnoresBlankLinesOnlyAfterTheLastTree) {
  const std::string a =
      "Type: NN|SL: a/nn|C-Structure:(NN a-1)|ConstSeq: NN|1\n";
  const std::string b =
      "Type: NN|SL: b/nn|C-Structure:(NN b-1)|ConstSeq: NN|1\n";
  const struct {
    const char* Name;
    std::string Trees, TL, Links, Expected;
  } cases[] = {
      {"after the TL lines", "(NN a)\n\n", "x\n\n \t\n", "0-0\n", a},
      {"after the links", "(NN a)", "x\n", "0-0\n\n\n", a},
      {"CRLF, in both", "(NN a)", "x\r\n\r\n", "\r\n\r\n", a},
      {"before the last tree", "(NN a)\n(NN b)", "\nx\n", "\n0-0\n", a + b},
      {"needed by the last tree", "(NN a)\n(NN b)", "x\n\n", "0-0\n\n", a + b},
      {"a line after them", "(NN a)", "x\n\ny\n", "0-0\n",
       a + "t ends before sentence 2.\n"},
      {"a link beside them", "(NN a)", "x\n\n", "0-0\n\n0-0\n",
       a + "t ends before sentence 2.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(Make(c.Trees, c.TL, c.Links), c.Expected);
  }
}

// A tree spread over lines may take 99,999 bytes from its "(" to its last
// ")", line breaks counted, and no more: at the limit it reads, a byte past
// it the run stops at its sentence, after the records before it, whatever
// its lines hold and wherever on its line it starts.
TEST(ExampleMaker, StopsAtATreeLongerThanARecordLine) {
  // "(S (NN a)", lines of `filler`, then a line of blanks and ")": `bytes`
  // in all.
  const auto tree = [](std::size_t bytes, const std::string& filler) {
    std::string text = "(S (NN a)";
    while (text.size() + 1 + filler.size() + 2 < bytes) text += "\n" + filler;
    return text + "\n" + std::string(bytes - text.size() - 2, ' ') + ")";
  };
  const struct {
    const char* Name;
    std::string Before, Filler;
  } cases[] = {
      {"empty lines", "", ""},
      {"lines of blanks", "", "  \t  "},
      {"after a tree on its first line", "(NN z) ", "  \t  "},
  };
  for (const auto& c : cases) {
    for (const std::size_t bytes : {std::size_t{99999}, std::size_t{100000}}) {
      SCOPED_TRACE(std::string(c.Name) + ", " + std::to_string(bytes));
      const std::string text = tree(bytes, c.Filler);
      ASSERT_EQ(text.size(), bytes);
      const std::size_t sentences = c.Before.empty() ? 2 : 3;
      std::string tl;
      for (std::size_t i = 0; i < sentences; ++i) tl += "x\n";
      const std::string made = Make(c.Before + text + "\n(NN b)\n", tl,
                                    std::string(sentences, '\n'));
      const std::string before =
          c.Before.empty() ? "" : Make(c.Before, "x\n", "\n");
      if (bytes <= 99999) {
        EXPECT_EQ(made.find("Sentence"), std::string::npos);
        EXPECT_EQ(made.rfind("Type: NN|SL: b/nn"),
                  made.rfind('\n', made.size() - 2) + 1);
      } else {
        EXPECT_EQ(made, before + "Sentence " + (c.Before.empty() ? "1" : "2") +
                            ": a tree longer than 99,999 bytes (unbalanced "
                            "brackets?).\n");
      }
    }
  }
}

TEST(ExampleMaker, ReadsAlignerLinksFromZeroAndWritesThemFromOne) {
  const struct {
    const char* Links;
    const char* Expected;
  } cases[] = {
      {"", "Alignment: ()"},
      {"2-1 0-0 1-1 0-0 0-1", "Alignment: ((1,1),(1,2),(2,2),(3,2))"},
      {" 1-0\t0-1  ", "Alignment: ((1,2),(2,1))"},
      {"0-0 3-x", "Sentence 1: malformed link \"3-x\"."},
      {"3", "Sentence 1: malformed link \"3\"."},
      {"-1-2", "Sentence 1: malformed link \"-1-2\"."},
      {"0-1-2", "Sentence 1: malformed link \"0-1-2\"."},
      {"1234567890-0", "Sentence 1: malformed link \"1234567890-0\"."},
      {"0-0 0-0 1-1", "Alignment: ((1,1),(2,2))"},
      {"3-0",
       "Sentence 1: link 3-0 is past the end of the SL sentence of 3 words."},
      {"0-2",
       "Sentence 1: link 0-2 is past the end of the TL sentence of 2 words."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Links);
    std::istringstream trees("(S (NN a) (NN b) (NN c))"), tl("x  y\n"),
        links(c.Links + std::string("\n"));
    ExampleMaker maker(trees, tl, links, "t", "tl", "a");
    ExampleRecordView record;
    int depth = 0;
    const bool made = maker.Next(record, depth) == ExampleMaker::Step::kRecord;
    EXPECT_EQ(made ? std::string(record.Alignment) : maker.Problem().Message(),
              c.Expected);
    EXPECT_EQ(maker.Problem().Family(),
              made ? StatusFamily::kNone : StatusFamily::kAlignment);
  }
}

}  // namespace
