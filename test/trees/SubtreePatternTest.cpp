#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "ParseParser.h"
#include "support/TestSupport.h"
#include "support/TreeCorpus.h"

namespace {

const char kExample[] = "(S (NP (DET the-1) (N dog-2)) (VP (V barks-3)))";

using Words = std::vector<std::pair<std::string, int>>;

struct CutCase {
  const char* Input;
  std::vector<std::size_t> Path;  // child positions from the root
  int Start;
  const char* Cstruct;
  int End;
  Words SLWords;
};

TEST(CStructFromHereAsString, RenumbersLeavesFromTheCounter) {
  const CutCase cases[] = {
      {kExample,
       {},
       1,
       "(<S> (<NP> ( the-1) ( dog-2)) (<VP> ( barks-3)))",
       4,
       {{"the", 1}, {"dog", 2}, {"barks", 3}}},
      {kExample, {1}, 1, "(<VP> ( barks-1))", 2, {{"barks", 3}}},
      {kExample, {0, 1}, 5, "( dog-5)", 6, {{"dog", 2}}},
      {"(N dog-1)", {}, 1, "( dog-1)", 2, {{"dog", 1}}},
      // Childless without leaf text: empty word, index as read.
      {"(NP )", {}, 1, "( -1)", 2, {{"", -1}}},
      // Leaf text of a node with children is left out of both.
      {"(NP (DET the-1) extra)", {}, 1, "(<NP> ( the-1))", 2, {{"the", 1}}},
      {"(N dog-7)", {}, 3, "( dog-7-3)", 4, {{"dog-7", 1}}},
      {"(<> (A a-1) (B b-2))",
       {},
       INT_MAX,
       "(<> ( a-2147483647) ( b--2147483648))",
       INT_MIN + 1,
       {{"a", 1}, {"b", 2}}},
      {"(S (A a-1))", {}, -1, "(<S> ( a--1))", 0, {{"a", 1}}},
  };
  for (const CutCase& c : cases) {
    SCOPED_TRACE(std::string(c.Input) + " from " + std::to_string(c.Start));
    ParseParser parser;
    parser.ParseIntoTree(c.Input);
    CTree::TreeNode* node = parser.Root;
    for (std::size_t child : c.Path) node = node->Children[child];
    const std::string before = parser.ReturnTreeAsStringForPrint();
    int counter = c.Start;
    EXPECT_EQ(CStructFromHereAsString(node, counter), c.Cstruct);
    EXPECT_EQ(counter, c.End);
    EXPECT_EQ(ExtractSLWords(node), c.SLWords);
    // Neither changes the tree, leaf positions included.
    EXPECT_EQ(parser.ReturnTreeAsStringForPrint(), before);
  }
}

TEST(CStructFromHereAsString, NumbersSiblingCallsOneAfterTheOther) {
  ParseParser parser;
  parser.ParseIntoTree(kExample);
  int counter = 1;
  EXPECT_EQ(CStructFromHereAsString(parser.Root->Children[0], counter),
            "(<NP> ( the-1) ( dog-2))");
  EXPECT_EQ(CStructFromHereAsString(parser.Root->Children[1], counter),
            "(<VP> ( barks-3))");
  EXPECT_EQ(counter, 4);
}

TEST(CStructFromHereAsString, WritesPatternTagInFrontOfTheWord) {
  ParseParser parser;
  parser.ParseIntoTree("(NP (DET the-1) (N dog-2))");
  parser.Root->Children[0]->PatternTag = "det";
  parser.Root->PatternTag = "ignored";
  int counter = 1;
  EXPECT_EQ(CStructFromHereAsString(parser.Root, counter),
            "(<NP> (det the-1) ( dog-2))");
}

TEST(CStructFromHereAsString, GivesNothingForNullptr) {
  int counter = 7;
  EXPECT_EQ(CStructFromHereAsString(nullptr, counter), "");
  EXPECT_EQ(counter, 7);
  EXPECT_TRUE(ExtractSLWords(nullptr).empty());
}

// What a cut reads back into: labels of nodes with children unchanged,
// empty leaf labels, leaves numbered from 1 and the words as written, where
// a suffix other than the leaf's new position stays part of the word.
void ExpectCutsReadBack(const std::vector<treecorpus::NamedTree>& trees) {
  ParseParser parser;
  ParseParser reread;
  for (const treecorpus::NamedTree& tree : trees) {
    SCOPED_TRACE(tree.Name);
    parser.ParseIntoTree(tree.Text);
    const treecorpus::TreeLayout layout = treecorpus::LayoutOf(parser.Root);
    for (const treecorpus::Coverage& node : treecorpus::NodesToCheck(layout)) {
      Words expected;
      for (std::size_t i = 0; i < node.Count; ++i) {
        const CTree::TreeNode* leaf = layout.Leaves[node.First + i];
        expected.emplace_back(leaf->Word, leaf->Index);
      }
      ASSERT_EQ(ExtractSLWords(node.Node), expected);

      for (int start : {1, 40}) {
        int counter = start;
        const std::string cut = CStructFromHereAsString(node.Node, counter);
        ASSERT_EQ(counter, start + static_cast<int>(node.Count));
        std::string failed;
        ASSERT_TRUE(reread.TryParseIntoTree(cut, &failed))
            << failed.substr(0, 200);
        int position = 0;
        ASSERT_EQ(treecorpus::FirstDifference(
                      node.Node, reread.Root,
                      [&](const CTree::TreeNode& a, const CTree::TreeNode& b) {
                        if (!a.Children.empty()) {
                          return a.Label == b.Label ? "" : "label " + b.Label;
                        }
                        ++position;
                        std::string word = a.Word;
                        if (start != 1) {
                          word += "-" + std::to_string(start + position - 1);
                        }
                        if (!b.Label.empty()) return "leaf label " + b.Label;
                        if (b.Word != word)
                          return "word " + b.Word + " not " + word;
                        if (b.Index != position) {
                          return "index " + std::to_string(b.Index);
                        }
                        return std::string();
                      }),
                  "");
      }
    }
  }
}

TEST(CStructFromHereAsString, CutsOfGeneratedTreesReadBackAsSubtrees) {
  ExpectCutsReadBack(treecorpus::GeneratedTrees());
}

TEST(CStructFromHereAsString, CutsOfRealTreesReadBackAsSubtrees) {
  if (testsupport::SharedDir().empty()) GTEST_SKIP() << "no real corpus";
  ExpectCutsReadBack(treecorpus::RealTrees());
}

}  // namespace
