#include "support/PatternReference.h"

#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "ParseParser.h"
#include "Pattern.h"
#include "TrainingSentencePair.h"

namespace testsupport {

namespace {

std::string Value(const ExampleFieldMap& example, const std::string& key) {
  const auto found = example.find(key);
  if (found == example.end()) return "";
  const std::string& line = found->second;
  const std::size_t colon = line.find(':');
  if (colon == std::string::npos) return line;
  std::string value = line.substr(colon + 1);
  if (!value.empty() && value[0] == ' ') value.erase(0, 1);
  return value;
}

// Nodes under `root` with a node before its descendants, children from left
// to right.
std::vector<CTree::TreeNode*> Preorder(CTree::TreeNode* root) {
  std::vector<CTree::TreeNode*> order;
  std::vector<CTree::TreeNode*> pending{root};
  while (!pending.empty()) {
    CTree::TreeNode* node = pending.back();
    pending.pop_back();
    order.push_back(node);
    for (auto child = node->Children.rbegin(); child != node->Children.rend();
         ++child) {
      pending.push_back(*child);
    }
  }
  return order;
}

bool Consistent(const std::vector<int>& slInds, const AlMap& alMap) {
  const std::set<int> stretch(slInds.begin(), slInds.end());
  std::set<int> tls;
  for (const auto& [sl, link] : alMap) {
    if (stretch.count(sl)) tls.insert(link.second);
  }
  if (tls.empty()) return false;
  for (const auto& [sl, link] : alMap) {
    if (link.second >= *tls.begin() && link.second <= *tls.rbegin() &&
        !stretch.count(sl)) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string ReferencePatterns(const ExampleFieldMap& example,
                              bool consistentOnly) {
  // The tree starts at the line's first "(", label or not: a line without
  // its label may hold a ":" only inside the tree, as a tag.
  const auto found = example.find("C-Structure");
  const std::string cStructure = found == example.end() ? "" : found->second;
  const std::size_t tree = cStructure.find('(');
  ParseParser parser;
  if (tree == std::string::npos ||
      !parser.TryParseIntoTree(cStructure.substr(tree))) {
    return "";
  }
  TrainingSentencePair pair;
  std::ostringstream tagListing;
  std::streambuf* const stdoutBuffer = std::cout.rdbuf(tagListing.rdbuf());
  pair.SetSLSent(Value(example, "SL"));
  std::cout.rdbuf(stdoutBuffer);
  pair.SetTLSent(Value(example, "TL"));
  pair.SetAlignment(Value(example, "Alignment"));
  pair.SetParseTree(&parser);
  AlMap alMap;
  if (!pair.TryGetAlMap(alMap)) return "";

  const std::vector<CTree::TreeNode*> nodes = Preorder(parser.Root);
  for (CTree::TreeNode* node : nodes) {
    if (node->Children.empty()) node->PatternTag = node->Label;
  }
  std::string out;
  for (CTree::TreeNode* node : nodes) {
    if (node->Children.empty()) continue;
    std::vector<int> slInds;
    std::vector<std::string> slWords;
    for (const auto& [word, position] : ExtractSLWords(node)) {
      slInds.push_back(position);
      // A leaf without text has no position: "----1" would be the word "-"
      // at 1, so it gets the bare marker, which SetSLWords reads as -1.
      slWords.push_back(word + "---" +
                        (position < 0 ? "" : std::to_string(position)));
    }
    Pattern pattern;
    pattern.SetSLWords(slWords);
    pattern.SetSLIndsSent(slInds);
    int counter = 1;
    pattern.SetCStruct(CStructFromHereAsString(node, counter));
    std::vector<std::string> tlWords;
    pattern.SetAlignments(UpdateAlignments(slInds, tlWords, alMap));
    pattern.SetTLWords(tlWords);
    pattern.SetType(node->Label);
    std::string constSeq;
    for (std::size_t i = 0; i < node->Children.size(); ++i) {
      if (i > 0) constSeq += ' ';
      constSeq += node->Children[i]->Label;
    }
    pattern.SetConstSeq(constSeq);
    pattern.SetCoEmbeddingScore(GetCoEmbeddingScore(node));
    pattern.SetXSideConstraints(FindXSideConstraints(slInds, &pair, &pattern));
    if (consistentOnly && !Consistent(slInds, alMap)) continue;
    out += pattern.ReturnPatternAsString();
  }
  return out;
}

}  // namespace testsupport
