#include "TreeContent.h"

#include <functional>
#include <utility>
#include <vector>

#include "trees/TreeWalk.h"

namespace annotator_python {

namespace {

bool SameNodeData(const CTree::TreeNode* a, const CTree::TreeNode* b) {
  return a->Label == b->Label && WordOf(a) == WordOf(b) &&
         IndexOf(a) == IndexOf(b) && a->Children.size() == b->Children.size();
}

}  // namespace

const std::string& WordOf(const CTree::TreeNode* node) {
  static const std::string kNone;
  return node->Children.empty() ? node->Word : kNone;
}

int IndexOf(const CTree::TreeNode* node) {
  return node->Children.empty() ? node->Index : -1;
}

bool EqualTrees(const CTree::TreeNode* a, const CTree::TreeNode* b) {
  std::vector<std::pair<const CTree::TreeNode*, const CTree::TreeNode*>> open{
      {a, b}};
  while (!open.empty()) {
    const auto [x, y] = open.back();
    open.pop_back();
    if (x == y) continue;
    if (!SameNodeData(x, y)) return false;
    for (std::size_t i = 0; i < x->Children.size(); ++i) {
      open.emplace_back(x->Children[i], y->Children[i]);
    }
  }
  return true;
}

std::size_t HashTree(CTree::TreeNode* node) {
  std::size_t hash = 0;
  WalkInTextOrder(
      node,
      [&](CTree::TreeNode* at) {
        const std::size_t own = std::hash<std::string>()(at->Label) ^
                                (std::hash<std::string>()(WordOf(at)) << 1) ^
                                (static_cast<std::size_t>(IndexOf(at)) << 2);
        hash = hash * 1000003 ^ own;
      },
      [&](CTree::TreeNode*) { hash = hash * 31 + 7; });
  return hash;
}

}  // namespace annotator_python
