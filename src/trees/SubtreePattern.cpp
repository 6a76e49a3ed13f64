#include <string>
#include <utility>
#include <vector>

#include "ParseParser.h"
#include "text/NumberText.h"
#include "trees/LeafCounter.h"
#include "trees/TreeWalk.h"

std::string CStructFromHereAsString(CTree::TreeNode* node, int& counter) {
  std::string out;
  WalkInTextOrder(
      node,
      [&](CTree::TreeNode* current) {
        // Every node but the first one written is some node's child, and
        // children are set off by one blank each.
        if (!out.empty()) out += ' ';
        out += '(';
        if (current->Children.empty()) {
          out += current->PatternTag;
          out += ' ';
          out += current->Word;
          out += '-';
          out += Decimal(counter);
          counter = NextLeafPosition(counter);
        } else {
          out += '<';
          out += current->Label;
          out += '>';
        }
      },
      [&out](CTree::TreeNode* /*current*/) { out += ')'; });
  return out;
}

std::vector<std::pair<std::string, int>> ExtractSLWords(CTree::TreeNode* node) {
  std::vector<std::pair<std::string, int>> words;
  ForEachLeaf(node, [&words](CTree::TreeNode* leaf) {
    words.emplace_back(leaf->Word, leaf->Index);
  });
  return words;
}
