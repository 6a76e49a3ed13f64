#ifndef ANNOTATOR_TREEWALK_H_
#define ANNOTATOR_TREEWALK_H_

#include <cstddef>
#include <utility>
#include <vector>

#include "ParseParser.h"

// Walks the subtree under `node` in text order: `enter(n)` when the walk
// reaches n, `leave(n)` once every child of n is done, so a childless node
// gets the two calls back to back. The pending path lives on the heap, which
// keeps a tree nested tens of thousands of levels deep off the machine stack;
// time is linear in the number of nodes. A nullptr `node`, or a nullptr
// among the Children, is passed over.
template <class Enter, class Leave>
void WalkInTextOrder(CTree::TreeNode* node, Enter&& enter, Leave&& leave) {
  if (!node) return;
  std::vector<std::pair<CTree::TreeNode*, std::size_t>> pending;
  enter(node);
  pending.emplace_back(node, 0);
  while (!pending.empty()) {
    CTree::TreeNode* current = pending.back().first;
    std::size_t& next = pending.back().second;
    if (next < current->Children.size()) {
      CTree::TreeNode* child = current->Children[next++];
      if (!child) continue;
      enter(child);
      pending.emplace_back(child, 0);
    } else {
      pending.pop_back();
      leave(current);
    }
  }
}

// Calls `visit(n)` for every childless node n under `node`, in text order,
// with the guarantees of WalkInTextOrder.
template <class Visit>
void ForEachLeaf(CTree::TreeNode* node, Visit&& visit) {
  WalkInTextOrder(
      node,
      [&visit](CTree::TreeNode* current) {
        if (current->Children.empty()) visit(current);
      },
      [](CTree::TreeNode* /*current*/) {});
}

#endif  // ANNOTATOR_TREEWALK_H_
