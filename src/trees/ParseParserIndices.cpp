#include <iterator>
#include <set>

#include "ParseParser.h"
#include "trees/LeafCounter.h"
#include "trees/TreeWalk.h"

void ParseParser::AnnotateCStructure(CTree::TreeNode* node, int& counter) {
  ForEachLeaf(node, [&counter](CTree::TreeNode* leaf) {
    leaf->Index = counter;
    counter = NextLeafPosition(counter);
  });
}

void ParseParser::GetCoveredInds(CTree::TreeNode* node, std::set<int>& inds,
                                 int& counter) {
  // Positions arrive in rising runs, so hinting each one just after the last
  // keeps the set from searching again per leaf, whatever it held before.
  auto hint = inds.end();
  ForEachLeaf(node, [&](CTree::TreeNode* leaf) {
    leaf->Index = counter;
    hint = std::next(inds.insert(hint, counter));
    counter = NextLeafPosition(counter);
  });
}

int ParseParser::GetIndex(CTree::TreeNode* node) {
  return node ? node->Index : -1;
}
