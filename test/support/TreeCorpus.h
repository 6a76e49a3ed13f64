#ifndef ANNOTATOR_TEST_SUPPORT_TREECORPUS_H_
#define ANNOTATOR_TEST_SUPPORT_TREECORPUS_H_

// Trees for the suites that print, renumber and cut trees: a generated corpus
// of varied shapes, the real corpus when this clone has it, and walkers that
// do not rely on the library's own tree walk, so a fault there cannot hide
// itself.

#include <cstddef>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ParseParser.h"
#include "support/TestSupport.h"

namespace treecorpus {

constexpr std::size_t kLineLimit = 99999;

struct NamedTree {
  std::string Name;
  std::string Text;  // one bracketed constituent, no "C-Structure:" prefix
};

// A random tree of at most `maxDepth` levels below the root. Every node has
// either children or leaf text, never both, and no label reads back
// differently from how it prints, so printed text reads back into the same
// tree.
inline std::string RandomTree(std::mt19937& rng, std::size_t maxDepth,
                              int maxChildren, int leafPercent) {
  static const char* const kLabels[] = {"S",     "NP",  "VP",    "NP-SBJ",
                                        "-LRB-", "",    ".",     ",",
                                        "<PP>",  "X>Y", "WHNP-1"};
  static const char* const kWords[] = {
      "the", "well-known", "a-", "dog-7", "1-2", "x--y", "don't", "$",
      "3.5", "<",          ">",  "-",     "--",  "a b",  "9",     "-RRB-"};
  const auto pick = [&rng](auto& pool) {
    const std::size_t size = sizeof(pool) / sizeof(pool[0]);
    return pool[std::uniform_int_distribution<std::size_t>(0, size - 1)(rng)];
  };
  const auto percent = [&rng] {
    return std::uniform_int_distribution<int>(0, 99)(rng);
  };

  constexpr int kMaxLeaves = 400;
  std::string text;
  int counter = 1;
  std::vector<int> remaining;  // children still to write, per open node
  const auto open = [&] {
    // Past a few hundred leaves every node becomes one, so the tree stays
    // far below a line's length whatever the branching.
    const bool leaf = remaining.size() >= maxDepth || counter > kMaxLeaves ||
                      (!remaining.empty() && percent() < leafPercent);
    if (leaf) {
      const std::string word = pick(kWords);
      text += "(" + std::string(pick(kLabels)) + " " + word;
      // Some leaves go without their position, as the reader allows; but a
      // word of dashes alone would print as a suffix that reads back as part
      // of the word, so those always carry one.
      const bool dashes = word.find_first_not_of('-') == std::string::npos;
      if (dashes || percent() < 80) text += "-" + std::to_string(counter);
      text += ")";
      ++counter;
      return;
    }
    text += "(" + std::string(pick(kLabels)) + " ";
    remaining.push_back(
        std::uniform_int_distribution<int>(1, maxChildren)(rng));
  };
  open();
  while (!remaining.empty()) {
    if (remaining.back() > 0) {
      --remaining.back();
      // Siblings may or may not be set off by blanks.
      if (text.back() == ')' && percent() < 50) text += " ";
      open();
    } else {
      text += ")";
      remaining.pop_back();
    }
  }
  return text;
}

// `label` nested as deep as a line allows, one leaf at the bottom.
inline std::string DeepTree(const std::string& label) {
  const std::string leaf = "(" + label + " c-1)";
  const std::size_t perLevel = label.size() + 3;
  const std::size_t levels = (kLineLimit - leaf.size()) / perLevel;
  std::string text;
  for (std::size_t i = 0; i < levels; ++i) text += "(" + label + " ";
  text += leaf;
  text.append(levels, ')');
  return text;
}

// One root over as many leaves as fit in a line.
inline std::string WideTree() {
  std::string text = "(S";
  for (int i = 1;; ++i) {
    const std::string leaf = " (NN w-" + std::to_string(i) + ")";
    if (text.size() + leaf.size() + 1 > kLineLimit) break;
    text += leaf;
  }
  return text + ")";
}

// A right-branching spine with a leaf hanging off every level: deep and
// with many leaves at once.
inline std::string CombTree() {
  std::string text;
  std::size_t levels = 0;
  for (int i = 1;; ++i) {
    const std::string level = "(A (L w-" + std::to_string(i) + ") ";
    if (text.size() + level.size() + levels + 16 > kLineLimit) break;
    text += level;
    ++levels;
  }
  text += "(L end-" + std::to_string(levels + 1) + ")";
  text.append(levels, ')');
  return text;
}

inline std::vector<NamedTree> GeneratedTrees() {
  std::vector<NamedTree> trees{
      {"example", "(S (NP (DET the-1) (N dog-2)) (VP (V barks-3)))"},
      {"one leaf", "(N dog-1)"},
      {"unsuffixed", "(NP (DET the) (N dog))"},
      {"empty label", "( the-1)"},
      {"angle labels", "(<NP> (<DET> the-1)(<> dog-2))"},
      {"deep", DeepTree("a")},
      {"deepest", DeepTree("")},
      {"wide", WideTree()},
      {"comb", CombTree()},
  };
  std::mt19937 rng(20240611);
  for (int i = 0; i < 300; ++i) {
    const std::size_t maxDepth = 1 + i % 14;
    const int maxChildren = 1 + i % 6;
    const int leafPercent = 10 + (i * 7) % 70;
    trees.push_back({"random " + std::to_string(i),
                     RandomTree(rng, maxDepth, maxChildren, leafPercent)});
  }
  return trees;
}

// The trees of the real corpus without their "C-Structure:" prefix; empty
// when this clone has no shared folder.
inline std::vector<NamedTree> RealTrees() {
  std::vector<NamedTree> trees;
  if (testsupport::SharedDir().empty()) return trees;
  std::ifstream in(testsupport::SharedDir() + "/realdata/treebank-records.txt");
  const std::string prefix = "C-Structure:";
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) {
      trees.push_back({"record " + std::to_string(trees.size() + 1),
                       line.substr(prefix.size())});
    }
  }
  return trees;
}

// The nodes under `root` in text order (a node before its children).
inline std::vector<CTree::TreeNode*> NodesInTextOrder(CTree::TreeNode* root) {
  std::vector<CTree::TreeNode*> nodes;
  std::vector<CTree::TreeNode*> pending{root};
  while (!pending.empty()) {
    CTree::TreeNode* node = pending.back();
    pending.pop_back();
    nodes.push_back(node);
    for (auto it = node->Children.rbegin(); it != node->Children.rend(); ++it) {
      pending.push_back(*it);
    }
  }
  return nodes;
}

// A node with the run of leaves under it: Leaves[First, First + Count) of
// the tree's leaves in text order.
struct Coverage {
  CTree::TreeNode* Node;
  std::size_t First;
  std::size_t Count;
};

struct TreeLayout {
  std::vector<CTree::TreeNode*> Leaves;  // text order
  std::vector<Coverage> Nodes;           // text order
};

// The leaves of a subtree are one unbroken run of the tree's leaves in text
// order; counting them backwards from the last node gives every run at once.
inline TreeLayout LayoutOf(CTree::TreeNode* root) {
  TreeLayout layout;
  const std::vector<CTree::TreeNode*> nodes = NodesInTextOrder(root);
  std::vector<std::size_t> firstLeaf(nodes.size());
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    firstLeaf[i] = layout.Leaves.size();
    if (nodes[i]->Children.empty()) layout.Leaves.push_back(nodes[i]);
  }
  // A node's run ends where the first later node outside its subtree
  // begins: when a node's parent is reached again on the stack of open
  // ancestors, everything above it is complete.
  std::vector<std::size_t> count(nodes.size(), 0);
  std::vector<std::pair<CTree::TreeNode*, std::size_t>> open;
  const auto closeUpTo = [&](CTree::TreeNode* parent, std::size_t leavesSoFar) {
    while (!open.empty() && open.back().first != parent) {
      const std::size_t index = open.back().second;
      count[index] = leavesSoFar - firstLeaf[index];
      open.pop_back();
    }
  };
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (i > 0) closeUpTo(nodes[i]->Parent, firstLeaf[i]);
    open.emplace_back(nodes[i], i);
  }
  closeUpTo(nullptr, layout.Leaves.size());
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    layout.Nodes.push_back({nodes[i], firstLeaf[i], count[i]});
  }
  return layout;
}

// Every node of a small tree; of a big one, a spread of nodes from the root
// to the last leaf, so checks that cost a subtree per node stay linear.
inline std::vector<Coverage> NodesToCheck(const TreeLayout& layout) {
  constexpr std::size_t kAll = 3000;
  if (layout.Nodes.size() <= kAll) return layout.Nodes;
  std::vector<Coverage> picked;
  const std::size_t step = layout.Nodes.size() / 8;
  for (std::size_t i = 0; i < layout.Nodes.size(); i += step) {
    picked.push_back(layout.Nodes[i]);
  }
  picked.push_back(layout.Nodes.back());
  return picked;
}

// Walks `a` and `b` side by side; returns where their shapes first differ or
// `compare(a, b)` first answers something, else "".
template <class Compare>
std::string FirstDifference(const CTree::TreeNode* a, const CTree::TreeNode* b,
                            Compare compare) {
  std::vector<std::pair<const CTree::TreeNode*, const CTree::TreeNode*>>
      pending{{a, b}};
  std::size_t visited = 0;
  while (!pending.empty()) {
    const auto [left, right] = pending.back();
    pending.pop_back();
    const auto where = [visited] {
      return "node " + std::to_string(visited) + ": ";
    };
    ++visited;
    if (!left || !right) return where() + "missing";
    if (std::string why = compare(*left, *right); !why.empty()) {
      return where() + why;
    }
    if (left->Children.size() != right->Children.size()) {
      return where() + std::to_string(left->Children.size()) + " vs " +
             std::to_string(right->Children.size()) + " children";
    }
    for (std::size_t i = left->Children.size(); i-- > 0;) {
      pending.emplace_back(left->Children[i], right->Children[i]);
    }
  }
  return "";
}

// Label, Word and Index equal: what a printed tree must read back into.
inline std::string SameNode(const CTree::TreeNode& a,
                            const CTree::TreeNode& b) {
  if (a.Label != b.Label) return "label " + a.Label + " vs " + b.Label;
  if (a.Word != b.Word) return "word " + a.Word + " vs " + b.Word;
  if (a.Index != b.Index) {
    return "index " + std::to_string(a.Index) + " vs " +
           std::to_string(b.Index);
  }
  return "";
}

}  // namespace treecorpus

#endif  // ANNOTATOR_TEST_SUPPORT_TREECORPUS_H_
