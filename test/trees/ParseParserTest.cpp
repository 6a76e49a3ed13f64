#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "ParseParser.h"
#include "support/TestSupport.h"

namespace {

// A tree as one line: "Label|Word|Index" per node, with children in braces;
// interior nodes show their RawWord marker as "*" when it is still there.
std::string Describe(const CTree::TreeNode* root) {
  std::string out;
  std::vector<std::pair<const CTree::TreeNode*, bool>> pending{{root, false}};
  while (!pending.empty()) {
    auto [node, closing] = pending.back();
    pending.pop_back();
    if (closing) {
      out += "}";
      continue;
    }
    out += "[" + node->Label + "|" +
           (node->RawWord == "iNtErIoR" ? "*" : node->Word) + "|" +
           std::to_string(node->Index) + (node->IsHead ? "|head" : "") + "]";
    if (node->Children.empty()) continue;
    out += "{";
    pending.push_back({node, true});
    for (auto it = node->Children.rbegin(); it != node->Children.rend(); ++it) {
      pending.push_back({*it, false});
    }
  }
  return out;
}

struct ReadCase {
  std::string Text;
  std::string Tree;
  int Score;
};

// Well-formed and odd texts alike, with the tree each reads into.
const std::vector<ReadCase>& ReadCases() {
  static const std::vector<ReadCase> cases = {
      {"(S (NP (DET the-1) (N dog-2)) (VP (V barks-3)))",
       "[S|*|-1]{[NP|*|-1]{[DET|the|1][N|dog|2]}[VP|*|-1]{[V|barks|3]}}", 3},
      {"(S (NP (DET the-1)(N dog-2))(VP (V barks-3)))",
       "[S|*|-1]{[NP|*|-1]{[DET|the|1][N|dog|2]}[VP|*|-1]{[V|barks|3]}}", 3},
      {"(N dog-1)", "[N|dog|1]", 1},
      {"(DET the)", "[DET|the|1]", 1},
      {"(N dog-7)", "[N|dog-7|1]", 1},
      {"(N well-known)", "[N|well-known|1]", 1},
      {"(S (A a-1) (B b-2) (N well-known-3))",
       "[S|*|-1]{[A|a|1][B|b|2][N|well-known|3]}", 2},
      {"(N SARS-CoV-2-1)", "[N|SARS-CoV-2|1]", 1},
      {"(N a-)", "[N|a-|1]", 1},
      {"(N a-1-)", "[N|a-1|1]", 1},
      {"(N -1)", "[N|-1|1]", 1},
      // Words made of dashes lose their position as any other word does.
      {"(HYPH --1)", "[HYPH|-|1]", 1},
      {"(: ---1)", "[:|--|1]", 1},
      {"(S (A a-1) (HYPH --2))", "[S|*|-1]{[A|a|1][HYPH|-|2]}", 2},
      {"(HYPH --2)", "[HYPH|--2|1]", 1},
      {"(: --)", "[:|--|1]", 1},
      {"(N a--1)", "[N|a-|1]", 1},
      {"(N a-01)", "[N|a|1]", 1},
      {"(N a-99999999999999999999)", "[N|a-99999999999999999999|1]", 1},
      {"(DET   the-1 )", "[DET|the|1]", 1},
      {"(<NP> (<DET> the-1))", "[NP|*|-1]{[DET|the|1]}", 2},
      {"(< (<D the-1))", "[|*|-1]{[|the|1]}", 2},
      {"(NP-HEAD (N dog-1))", "[NP-HEAD|*|-1]{[N|dog|1]}", 2},
      {"( the-1)", "[|the|1]", 1},
      {"(NP(DET the-1))", "[NP(DET|the|1]", 1},
      {"C-Structure:(S (NP (DET the-1)) (VP (V runs-2)))",
       "[-Structure:(S|*|-1]{[NP|*|-1]{[DET|the|1]}[VP|*|-1]{[V|runs|2]}}", 3},
      {"(NP (DET the-1) extra)", "[NP|extra|2]{[DET|the|1]}", 2},
      {"(NP )", "[NP|*|-1]", 1},
      {"(NP junk (DET the-1))", "[NP|*|-1]{[DET|the|1]}", 2},
      {"(S (N dog-1)))", "[S|*|-1]{[N|dog|1]}", 2},
      {"(a\tb c-1)", "[a\tb|c|1]", 1},
      {"(N dog-1\r)", "[N|dog-1\r|1]", 1},
  };
  return cases;
}

TEST(ParseIntoTree, ReadsEveryTextIntoTheTreeItDescribes) {
  for (const ReadCase& c : ReadCases()) {
    SCOPED_TRACE(c.Text);
    ParseParser parser;
    parser.ParseIntoTree(c.Text);
    ASSERT_NE(parser.Root, nullptr);
    EXPECT_EQ(Describe(parser.Root), c.Tree);
    EXPECT_EQ(GetCoEmbeddingScore(parser.Root), c.Score);
  }
}

// Every node under `root`, the root first.
std::vector<CTree::TreeNode*> Nodes(CTree::TreeNode* root) {
  std::vector<CTree::TreeNode*> nodes{root};
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    for (CTree::TreeNode* child : nodes[i]->Children) nodes.push_back(child);
  }
  return nodes;
}

TEST(ParseIntoTree, ReusedParserReadsEveryTextAsAFreshOneDoes) {
  // A parser reuses the nodes of earlier trees: nothing of them may show,
  // whether the tree before was larger or smaller, marked by its user or
  // cut short by malformed text.
  const std::vector<ReadCase>& cases = ReadCases();
  ParseParser parser;
  for (std::size_t i = 0; i < 2 * cases.size(); ++i) {
    const ReadCase& c = cases[i < cases.size() ? i : 2 * cases.size() - 1 - i];
    SCOPED_TRACE(c.Text);
    ASSERT_TRUE(parser.TryParseIntoTree(c.Text).Ok());
    EXPECT_EQ(Describe(parser.Root), c.Tree);
    EXPECT_EQ(GetCoEmbeddingScore(parser.Root), c.Score);
    for (CTree::TreeNode* node : Nodes(parser.Root)) {
      EXPECT_TRUE(node->PatternTag.empty());
      for (const CTree::TreeNode* child : node->Children) {
        EXPECT_EQ(child->Parent, node);
      }
      node->IsHead = true;
      node->PatternTag = "TAG";
    }
    if (i % 3 == 0) {
      EXPECT_FALSE(parser.TryParseIntoTree("(S (NP (N dog-1)").Ok());
    }
  }
}

// The next tree reuses the released nodes, strings and all.
TEST(ParseIntoTree, ReadsAStringOfAReleasedTreeAsItStood) {
  ParseParser parser;
  parser.ParseIntoTree("(" + std::string(40, 'A') + "(b) c-1)");
  const CTree::TreeNode* released = parser.Root;
  parser.ParseIntoTree("(T t-1)");
  const std::string label = released->Label;
  std::string failedText;
  EXPECT_FALSE(parser.TryParseIntoTree(released->Label, &failedText));
  EXPECT_EQ(failedText, label);
}

TEST(ParseIntoTree, LinksEveryChildToItsParentAndKeepsRawLeafText) {
  ParseParser parser;
  parser.ParseIntoTree("(S (NP (DET the-1) (N dog-7)) (VP (V barks-3)))");
  const CTree::TreeNode* root = parser.Root;
  EXPECT_EQ(root->Parent, nullptr);
  EXPECT_EQ(root->RawWord, "iNtErIoR");
  EXPECT_EQ(root->Word, "");
  const CTree::TreeNode* np = root->Children.at(0);
  EXPECT_EQ(np->Parent, root);
  EXPECT_EQ(np->Children.at(1)->Parent, np);
  EXPECT_EQ(np->Children.at(1)->RawWord, "dog-7");
  EXPECT_EQ(np->Children.at(1)->Word, "dog-7");
  EXPECT_EQ(np->Children.at(0)->RawWord, "the-1");
  EXPECT_TRUE(np->Children.at(0)->PatternTag.empty());
}

TEST(CStructureReader, MeasuresTheDepthOfTheTreeThatWouldBeBuilt) {
  CStructureReader reader;
  for (const ReadCase& c : ReadCases()) {
    SCOPED_TRACE(c.Text);
    const CStructureReading reading = reader.MeasureDepth(c.Text);
    EXPECT_TRUE(reading.Ok);
    EXPECT_EQ(reading.Depth, c.Score);
  }
}

struct FailCase {
  std::string Text;
  std::string FailedText;
};

TEST(CStructureReader, NamesTheConstituentWhoseTextIsMalformed) {
  const std::vector<FailCase> cases = {
      {"(S (N dog-1)) ", "(S (N dog-1)) "},
      {"(S (N dog-1)", "(S (N dog-1)"},
      {"(S (NP) (N dog-1))", "(NP)"},
      {"(S (N dog-1) (NP))", "(NP)"},
      {"()", "()"},
      {"(NP)", "(NP)"},
      {"(S (N dog-1))\r", "(S (N dog-1))\r"},
      {"C-Structure: (S (N dog-1))", "C-Structure: (S (N dog-1))"},
      {"", ""},
      {"(S (NP the-1", "(S (NP the-1"},
      {"(S (NP (N the-1)", "(S (NP (N the-1)"},
      {"(S (NP (N the-1) (V x-2)", "(S (NP (N the-1) (V x-2)"},
      {"(S (A a-1) (B", "(S (A a-1) (B"},
      {"(S (", "(S ("},
      {"x", "x"},
      // A constituent keeps at most 1,000,000 characters after its "(", so
      // a child beyond that is never seen and the text ends in blanks.
      {"(S" + std::string(1500000, ' ') + "(N a-1))",
       "(S" + std::string(1500000, ' ') + "(N a-1))"},
  };
  CStructureReader reader;
  for (const FailCase& c : cases) {
    SCOPED_TRACE(c.Text);
    const CStructureReading reading = reader.MeasureDepth(c.Text);
    EXPECT_FALSE(reading.Ok);
    EXPECT_EQ(reading.FailedText, c.FailedText);

    ParseParser parser;
    std::string failedText = "stale";
    EXPECT_FALSE(parser.TryParseIntoTree(c.Text, &failedText));
    EXPECT_EQ(failedText, c.FailedText);
    EXPECT_EQ(parser.Root, nullptr);
  }
}

// "(a " nested as deep as a line of `length` characters allows.
std::string DeepLine(std::size_t length, std::size_t* levels) {
  const std::string prefix = "C-Structure:";
  const std::string leaf = "(b c-1)";
  *levels = (length - prefix.size() - leaf.size()) / 4;
  std::string line = prefix;
  for (std::size_t i = 0; i < *levels; ++i) line += "(a ";
  line += leaf;
  line.append(*levels, ')');
  return line;
}

TEST(CStructureReader, ReadsTheDeepestLineWithoutRunningOutOfStack) {
  std::size_t levels = 0;
  const std::string line = DeepLine(99999, &levels);
  CStructureReader reader;
  const CStructureReading reading = reader.MeasureDepth(line);
  ASSERT_TRUE(reading.Ok);
  EXPECT_EQ(reading.Depth, static_cast<int>(levels) + 1);

  ParseParser parser;
  parser.ParseIntoTree(line);
  EXPECT_EQ(GetCoEmbeddingScore(parser.Root), static_cast<int>(levels) + 1);
  // Parsing again and destruction release the deep tree without recursion.
  parser.ParseIntoTree(line);
  EXPECT_EQ(GetCoEmbeddingScore(parser.Root), static_cast<int>(levels) + 1);
}

// A reader that met a long tree gives its scratch space back at the next
// tree of usual length, so a long-lived reader does not keep it for good.
TEST(CStructureReader, GivesBackTheScratchSpaceOfALongTree) {
  // A bracket right after a label: the full reading rules read these.
  const auto unplain = [](std::string line) {
    return line.insert(line.find(" (") + 1, "(x(y z-1)) ");
  };
  const std::string usual =
      unplain("(S (NP (DT the-1) (NN cat-2)) (VP sat-3))");
  std::size_t levels = 0;
  std::string flat = "(S";
  for (int i = 0; i < 20000; ++i) flat += " (N a-1)";
  const std::pair<const char*, std::string> longLines[] = {
      {"deep", unplain(DeepLine(99999, &levels))},
      {"long and flat", unplain(flat + ")")}};
  CStructureReader fresh;
  fresh.MeasureDepth(usual);
  for (const auto& [name, line] : longLines) {
    SCOPED_TRACE(name);
    CStructureReader reader;
    reader.MeasureDepth(usual);
    reader.MeasureDepth(line);
    EXPECT_GT(reader.ScratchBytes(), 100 * fresh.ScratchBytes());
    reader.MeasureDepth(usual);
    EXPECT_LE(reader.ScratchBytes(), fresh.ScratchBytes());
  }
}

TEST(CStructureReader, ReportsAnUnclosedDeepLineAsTheOutermostConstituent) {
  std::size_t levels = 0;
  std::string line = DeepLine(99999, &levels);
  line.pop_back();
  CStructureReader reader;
  const CStructureReading reading = reader.MeasureDepth(line);
  EXPECT_FALSE(reading.Ok);
  EXPECT_EQ(reading.FailedText, line);
}

// A reader looks at the first byte of a text and the 1,000,000 after it, so
// a well-formed tree one byte longer is rejected; README states the limit.
TEST(CStructureReader, RejectsTextsLongerThanOneMillionAndOneBytes) {
  const auto padded = [](const std::string& head, const std::string& tail,
                         std::size_t size) {
    return head + std::string(size - head.size() - tail.size(), 'x') + tail;
  };
  const struct {
    std::string Text;
    bool Ok;
  } cases[] = {
      {padded("(S ", ")", 1000001), true},
      {padded("(S ", ")", 1000002), false},
      {padded("C-Structure:(S (NP ", "-1))", 1000001), true},
      {padded("C-Structure:(S (NP ", "-1))", 1000002), false},
  };
  CStructureReader reader;
  ParseParser parser;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text.size());
    EXPECT_EQ(reader.MeasureDepth(c.Text).Ok, c.Ok);
    EXPECT_EQ(parser.TryParseIntoTree(c.Text), c.Ok);
  }
}

// The depth of a well-formed line whose root label swallowed the tree's own
// first bracket is its deepest bracket nesting.
int DeepestNesting(const std::string& line) {
  int depth = 0;
  int deepest = 0;
  for (char c : line) {
    if (c == '(') deepest = std::max(deepest, ++depth);
    if (c == ')') --depth;
  }
  return deepest;
}

TEST(CStructureReader, AgreesWithTheBuiltTreeOnEveryRealTree) {
  const std::string shared = testsupport::SharedDir();
  if (shared.empty()) GTEST_SKIP() << "no real corpus beside this clone";
  std::ifstream in(shared + "/realdata/treebank-records.txt");
  CStructureReader reader;
  ParseParser parser;
  int trees = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("C-Structure:", 0) != 0) continue;
    ++trees;
    const CStructureReading reading = reader.MeasureDepth(line);
    ASSERT_TRUE(reading.Ok) << line;
    parser.ParseIntoTree(line);
    ASSERT_EQ(reading.Depth, GetCoEmbeddingScore(parser.Root)) << line;
    ASSERT_EQ(reading.Depth, DeepestNesting(line)) << line;
  }
  EXPECT_EQ(trees, 14597);
}

TEST(BuildTree, AddsChildrenUnderTheGivenNodeAndAdvancesTheCounter) {
  ParseParser parser;
  parser.ParseIntoTree("(S (N dog-1))");
  CTree::TreeNode* leaf = parser.Root->Children.at(0);
  int counter = 5;
  parser.BuildTree("(<NP> (D the-5) (N cat-9))", leaf, counter);
  EXPECT_EQ(counter, 7);
  EXPECT_EQ(Describe(parser.Root),
            "[S|*|-1]{[NP|dog|1]{[D|the|5][N|cat-9|6]}}");
}

TEST(BuildTree, WrapsACounterAtTheTopOfTheIntRange) {
  ParseParser parser;
  CTree::TreeNode node;
  int counter = 2147483647;
  parser.BuildTree("(S (A a-2147483647) (B b))", &node, counter);
  EXPECT_EQ(node.Children.at(0)->Word, "a");
  EXPECT_EQ(node.Children.at(0)->Index, 2147483647);
  EXPECT_EQ(node.Children.at(1)->Index, -2147483647 - 1);
}

// The parser reuses released nodes; the one being filled must not come back
// as its own child, or every walk over it goes round for ever.
TEST(BuildTree, FillsANodeOfAReleasedTreeWithoutMakingItItsOwnChild) {
  ParseParser parser;
  parser.ParseIntoTree("(S (A a-1) (B b-2) (C c-3))");
  CTree::TreeNode* node = parser.Root->Children.at(2);
  parser.ParseIntoTree("(T t-1)");
  parser.ParseIntoTree("(U u-1)");
  int counter = 1;
  ASSERT_TRUE(
      parser.TryBuildTree("(X (D d-1) (E e-2) (F f-3))", node, counter));
  for (const CTree::TreeNode* child : node->Children) ASSERT_NE(child, node);
  EXPECT_EQ(Describe(node), "[X|c|3]{[D|d|1][E|e|2][F|f|3]}");
}

TEST(FindMatchingRight, FindsTheBracketClosingTheFirstOpening) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"(a)", 2},   {"x(a(b)c)d)", 7}, {"(", -1}, {"abc", -1},
      {"((a)", -1}, {")(a)", 3},       {"", -1},
  };
  ParseParser parser;
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(parser.FindMatchingRight(text), expected);
  }
}

TEST(ParseParser, MovingHandsOverTheTreeAndLeavesNoRootBehind) {
  ParseParser first;
  first.ParseIntoTree("(S (N dog-1))");
  CTree::TreeNode* root = first.Root;
  ParseParser second(std::move(first));
  EXPECT_EQ(second.Root, root);
  EXPECT_EQ(first.Root, nullptr);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(Describe(second.Root), "[S|*|-1]{[N|dog|1]}");
}

TEST(GetCoEmbeddingScore, CountsNodesOnTheLongestPath) {
  EXPECT_EQ(GetCoEmbeddingScore(nullptr), 0);
  CTree::TreeNode leaf;
  EXPECT_EQ(GetCoEmbeddingScore(&leaf), 1);
  ParseParser parser;
  parser.ParseIntoTree("(S (A (B (C c-1))) (D d-2))");
  EXPECT_EQ(GetCoEmbeddingScore(parser.Root), 4);
  EXPECT_EQ(GetCoEmbeddingScore(parser.Root->Children.at(1)), 1);
}

TEST(ParseIntoTreeDeathTest, MalformedTextEndsWithTheFormatError) {
  ParseParser parser;
  EXPECT_EXIT(parser.ParseIntoTree("C-Structure: (S (NP a-1))"),
              ::testing::ExitedWithCode(1),
              "^format error: no closing right paren found:C-Structure: "
              "\\(S \\(NP a-1\\)\\)\n$");
  EXPECT_EXIT(parser.ParseIntoTree(""), ::testing::ExitedWithCode(1),
              "^format error: no closing right paren found:\n$");
}

TEST(BuildTreeDeathTest, MalformedChildEndsWithItsOwnText) {
  ParseParser parser;
  CTree::TreeNode node;
  int counter = 1;
  EXPECT_EXIT(parser.BuildTree("(S (NP) (N a-1))", &node, counter),
              ::testing::ExitedWithCode(1),
              "^format error: no closing right paren found:\\(NP\\)\n$");
}

}  // namespace
