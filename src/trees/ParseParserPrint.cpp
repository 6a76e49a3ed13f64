#include <iostream>
#include <string>

#include "ParseParser.h"
#include "text/NumberText.h"
#include "trees/TreeWalk.h"

namespace {

// The one bracketed form behind every printer, so that what PrintTree shows
// and what ReturnTreeAsStringForPrint hands out cannot drift apart. Children
// follow each other without a blank; a node with children drops any leaf
// text it carries.
void AppendBracketed(CTree::TreeNode* node, std::string& out) {
  WalkInTextOrder(
      node,
      [&out](CTree::TreeNode* current) {
        out += '(';
        out += current->Label;
        if (current->IsHead) out += "-HEAD";
        out += ' ';
        if (current->Children.empty()) {
          out += current->Word;
          out += '-';
          out += Decimal(current->Index);
        }
      },
      [&out](CTree::TreeNode* /*current*/) { out += ')'; });
}

}  // namespace

void ParseParser::PrintTree() { PrintSubtree(Root); }

void ParseParser::PrintSubtree(CTree::TreeNode* node) {
  std::string text;
  AppendBracketed(node, text);
  std::cout << text;
}

void ParseParser::PrintTreeNode(CTree::TreeNode* node) {
  if (!node) return;
  // Composed first, so the caller's stream flags (std::hex, std::showpos,
  // a width) cannot change the index or pad a field.
  std::cout << "\tWord:" + node->RawWord + "\n\tLabel:" + node->Label +
                   "\n\tIndex:" + Decimal(node->Index) + '\n';
}

std::string ParseParser::ReturnTreeAsStringForPrint() {
  std::string text;
  ReturnSubTree(Root, text);
  return text;
}

void ParseParser::ReturnSubTree(CTree::TreeNode* node, std::string& out) {
  AppendBracketed(node, out);
}
