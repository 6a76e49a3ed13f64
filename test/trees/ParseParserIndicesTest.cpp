#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "ParseParser.h"
#include "support/TestSupport.h"
#include "support/TreeCorpus.h"

namespace {

const char kExample[] = "(S (NP (DET the-1) (N dog-2)) (VP (V barks-3)))";

std::vector<int> IndicesInTextOrder(CTree::TreeNode* root) {
  std::vector<int> indices;
  for (CTree::TreeNode* node : treecorpus::NodesInTextOrder(root)) {
    indices.push_back(node->Index);
  }
  return indices;
}

// Both operations number the same way; GetCoveredInds also collects.
enum class Numbering { kAnnotate, kCovered };

std::string Name(Numbering how) {
  return how == Numbering::kAnnotate ? "AnnotateCStructure" : "GetCoveredInds";
}

void PrintTo(Numbering how, std::ostream* os) { *os << Name(how); }

void Number(ParseParser& parser, Numbering how, CTree::TreeNode* node,
            std::set<int>& inds, int& counter) {
  if (how == Numbering::kAnnotate) {
    parser.AnnotateCStructure(node, counter);
  } else {
    parser.GetCoveredInds(node, inds, counter);
  }
}

class Renumbering : public ::testing::TestWithParam<Numbering> {};

TEST_P(Renumbering, NumbersOnlyChildlessNodesOfTheSubtree) {
  struct Case {
    const char* Input;
    std::vector<std::size_t> Path;  // child positions from the root
    int Start;
    std::vector<int> Indices;  // every node of the tree, text order
    int End;
  };
  const Case cases[] = {
      {kExample, {0}, 10, {-1, -1, 10, 11, -1, 3}, 12},
      {kExample, {}, 1, {-1, -1, 1, 2, -1, 3}, 4},
      {"(N dog-1)", {}, 5, {5}, 6},
      // A childless node without leaf text is numbered like any leaf.
      {"(S (NP ) (N dog-1))", {}, 1, {-1, 1, 2}, 3},
      // A node with children keeps the position its leaf text was given.
      {"(NP (DET the-1) extra)", {}, 5, {2, 5}, 6},
      {"(S (A a-1) (B b-2))", {}, INT_MAX, {-1, INT_MAX, INT_MIN}, INT_MIN + 1},
      {"(S (A a-1) (B b-2))", {}, -3, {-1, -3, -2}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Input) + " from " + std::to_string(c.Start));
    ParseParser parser;
    parser.ParseIntoTree(c.Input);
    CTree::TreeNode* node = parser.Root;
    for (std::size_t child : c.Path) node = node->Children[child];
    std::set<int> inds;
    int counter = c.Start;
    Number(parser, GetParam(), node, inds, counter);
    EXPECT_EQ(IndicesInTextOrder(parser.Root), c.Indices);
    EXPECT_EQ(counter, c.End);
  }
}

TEST_P(Renumbering, LeavesEverythingAloneForNullptr) {
  std::set<int> inds{4};
  int counter = 9;
  ParseParser parser;
  Number(parser, GetParam(), nullptr, inds, counter);
  EXPECT_EQ(counter, 9);
  EXPECT_EQ(inds, std::set<int>{4});
}

INSTANTIATE_TEST_SUITE_P(BothOperations, Renumbering,
                         ::testing::Values(Numbering::kAnnotate,
                                           Numbering::kCovered),
                         [](const ::testing::TestParamInfo<Numbering>& param) {
                           return Name(param.param);
                         });

TEST(GetCoveredInds, AddsPositionsToWhatTheSetHeld) {
  struct Case {
    std::set<int> Before;
    int Start;
    std::set<int> After;
  };
  const Case cases[] = {
      {{}, 1, {1, 2}},
      {{7}, 1, {1, 2, 7}},
      {{1, 2, 3}, 2, {1, 2, 3}},
      {{-5, 0, 100}, 50, {-5, 0, 50, 51, 100}},
      {{0}, INT_MAX, {INT_MIN, 0, INT_MAX}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Start);
    ParseParser parser;
    parser.ParseIntoTree("(NP (DET the-1) (N dog-2))");
    std::set<int> inds = c.Before;
    int counter = c.Start;
    parser.GetCoveredInds(parser.Root, inds, counter);
    EXPECT_EQ(inds, c.After);
  }
}

TEST(GetIndex, ReturnsTheNodesPosition) {
  ParseParser parser;
  parser.ParseIntoTree(kExample);
  EXPECT_EQ(parser.GetIndex(parser.Root), -1);
  EXPECT_EQ(parser.GetIndex(parser.Root->Children[0]->Children[1]), 2);
  EXPECT_EQ(parser.GetIndex(parser.Root->Children[1]->Children[0]), 3);
  EXPECT_EQ(parser.GetIndex(nullptr), -1);
}

// The leaves of `node`, taken from the layout, carry start, start + 1, ...
void ExpectLeavesFrom(const treecorpus::TreeLayout& layout,
                      const treecorpus::Coverage& node, int start) {
  for (std::size_t i = 0; i < node.Count; ++i) {
    ASSERT_EQ(layout.Leaves[node.First + i]->Index,
              start + static_cast<int>(i));
  }
}

// On every checked node: started at the node's first position, the set is
// exactly the positions of its leaves and the numbering stays as read;
// started elsewhere, its leaves run from there in text order.
void ExpectCoverage(const std::vector<treecorpus::NamedTree>& trees) {
  ParseParser parser;
  for (const treecorpus::NamedTree& tree : trees) {
    SCOPED_TRACE(tree.Name);
    parser.ParseIntoTree(tree.Text);
    const treecorpus::TreeLayout layout = treecorpus::LayoutOf(parser.Root);
    const std::vector<int> asRead = IndicesInTextOrder(parser.Root);
    for (const treecorpus::Coverage& node : treecorpus::NodesToCheck(layout)) {
      // The reader numbered the leaves 1, 2, ... in text order.
      const int first = static_cast<int>(node.First) + 1;
      std::set<int> expected;
      for (std::size_t i = 0; i < node.Count; ++i) {
        expected.insert(layout.Leaves[node.First + i]->Index);
      }
      std::set<int> inds;
      int counter = first;
      parser.GetCoveredInds(node.Node, inds, counter);
      ASSERT_EQ(inds, expected);
      ASSERT_EQ(counter, first + static_cast<int>(node.Count));
      ExpectLeavesFrom(layout, node, first);

      counter = 1000;
      parser.AnnotateCStructure(node.Node, counter);
      ExpectLeavesFrom(layout, node, 1000);
      ASSERT_EQ(counter, 1000 + static_cast<int>(node.Count));
      counter = first;
      parser.AnnotateCStructure(node.Node, counter);
    }
    // Nothing outside the checked subtrees moved.
    EXPECT_EQ(IndicesInTextOrder(parser.Root), asRead);
  }
}

TEST(GetCoveredInds, CoversExactlyTheLeavesOfGeneratedTrees) {
  ExpectCoverage(treecorpus::GeneratedTrees());
}

TEST(GetCoveredInds, CoversExactlyTheLeavesOfRealTrees) {
  if (testsupport::SharedDir().empty()) GTEST_SKIP() << "no real corpus";
  ExpectCoverage(treecorpus::RealTrees());
}

}  // namespace
