#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "ParseParser.h"
#include "converter/ExampleMaker.h"
#include "scan/TreeLineBlocks.h"
#include "text/SplitText.h"

namespace {

// What the maker makes of three files, one line per sentence: a record's
// type, SL, C-structure, constituent sequence and depth, or the message of
// a skipped sentence or a stopped run.
std::string Make(const std::string& trees, const std::string& tl,
                 const std::string& alignment) {
  std::istringstream treeIn(trees), tlIn(tl), alignmentIn(alignment);
  ExampleMaker maker(treeIn, tlIn, alignmentIn, "t", "tl", "a");
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

// A line written plainly is read by a quicker path than the full rules; the
// two must agree on every line, the ones that only look plain included.
TEST(ExampleMaker, ReadsAPlainLineAsTheFullRulesDo) {
  const std::string longWord(70, 'w');
  std::string manyWords = "(ROOT (S";
  for (int i = 0; i < 1200; ++i)
    manyWords += " (NN w" + std::to_string(i) + ")";
  manyWords += "))";
  const std::string lines[] = {
      "(ROOT (S (NP (DT the) (NN dog)) (VP (VBZ barks))))",
      "(ROOT (TOP (NP (NN a) (NN b))))",
      "(ROOT (ROOT (TOP (ROOT (S (NP (NN a)) (VP (VB b)))))))",
      "(ROOT (NN word))",
      "(NN word)",
      "(ROOT (NN a) (NN b))",
      "(ROOT (S (NN -NONE-) (-NONE-x a) (: --) (NN a/b/) (-LRB- -LRB-)))",
      "(S (NP (-NONE- *T*)) (VP (VB x)))",
      "(S (NP (NN a)) )",
      "(S  (NP (NN a)))",
      "(S (NP (NN a))(VP (VB b)))",
      "(S (NP (NN a))b)",
      "(S (NP a b))",
      "(S (NP (NN a)) b)",
      "(S (X) (NN a))",
      "( (S (NN a)))",
      "(S\t(NN a))",
      "(S (NN a)))",
      "(S (NN a)",
      "(ROOT (S (NP (NN " + longWord + ") (NN b))\t(VP (VB " + longWord +
          "))))",
      "(ROOT (S (NP (NN " + longWord + ") (NN b)) (" + longWord + " (VB c))))",
      // A word, or a label, that runs into the next block and ends wrongly
      // there.
      "(ROOT (S (NP (NN " + longWord + " x))))",
      "(ROOT (S (" + longWord + ") (NN a)))",
      // "(" the last byte of a block, its label ending wrongly in the next.
      "(ROOT (S (NN " + std::string(48, 'w') + ") (X) (NN a)))",
      manyWords,
  };
  for (const std::string& line : lines) {
    SCOPED_TRACE(line.substr(0, 80));
    BracketedTreeReader full;
    full.ReadText(line);
    ExampleRecordView record;
    int depth = 0;
    const Status status = full.MakeRecord("x", "", 1, record, depth);
    const std::string expected =
        status ? std::string(record.Type) + "|" + std::string(record.SL) + "|" +
                     std::string(record.CStructure) + "|" +
                     std::string(record.ConstSeq) + "|" +
                     std::to_string(depth) + "\n"
               : status.Message() + "\n";
    EXPECT_EQ(Make(line, "x\n", "\n"), expected);
  }
}

// TL words are counted 16 bytes at a time, in counters that are emptied
// every 255 blocks, the first block after a blank and the last one ending
// at the line's end: lines past each edge, runs of blanks across them, and
// a word or a blank at the first byte.
TEST(ExampleMaker, CountsTLWordsOnLinesOfAnyLength) {
  for (const std::size_t size :
       {0, 1, 2, 15, 16, 17, 31, 33, 4079, 4080, 4097, 99999}) {
    for (const std::size_t period : {1, 2, 3, 17}) {
      for (const std::size_t first : {0, 1}) {
        std::string text(size, 'w');
        for (std::size_t i = first; i < size; i += period) text[i] = ' ';
        std::size_t words = 0;
        for (std::size_t i = 0; i < size; ++i) {
          words += text[i] != ' ' && (i == 0 || text[i - 1] == ' ');
        }
        SCOPED_TRACE(std::to_string(size) + " bytes, a blank every " +
                     std::to_string(period) + " from byte " +
                     std::to_string(first));
        EXPECT_EQ(CountBlankSeparated(text), words);
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
