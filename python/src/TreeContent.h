#ifndef ANNOTATOR_PYTHON_TREECONTENT_H_
#define ANNOTATOR_PYTHON_TREECONTENT_H_

#include <cstddef>
#include <string>

#include "ParseParser.h"

namespace annotator_python {

// What a Tree holds as Python sees it, compares it, hashes it and pickles
// it: what its printed text holds.

// A word and a position are a leaf's. The parser gives a node with children
// the word that stands after its last child ("b" of "(S (A a) b)") and a
// position for it, but the printers drop that word: '' and -1 for it.
const std::string& WordOf(const CTree::TreeNode* node);
int IndexOf(const CTree::TreeNode* node);

// Trees are equal when their nodes are, pair by pair; walked with a stack
// of its own, as trees can be deeper than any recursion.
bool EqualTrees(const CTree::TreeNode* a, const CTree::TreeNode* b);

// A hash of the subtree under `node` that equal trees share.
std::size_t HashTree(CTree::TreeNode* node);

}  // namespace annotator_python

#endif  // ANNOTATOR_PYTHON_TREECONTENT_H_
