#ifndef ANNOTATOR_TEST_SUPPORT_TREEBANKRECORDS_H_
#define ANNOTATOR_TEST_SUPPORT_TREEBANKRECORDS_H_

#include <cstddef>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "ParseParser.h"
#include "support/TestSupport.h"

namespace testsupport {

// The fields of one real record that a sentence pair is built from: SL and
// TL without their labels, the alignment string, and the C-Structure line
// with its label (the tree reader takes that into the root's label).
struct TreebankRecord {
  std::string sl;
  std::string tl;
  std::string alignment;
  std::string cStructure;
};

// Every record of the shared real corpus, in file order; none when this
// clone has no shared data.
inline std::vector<TreebankRecord> ReadTreebankRecords() {
  std::vector<TreebankRecord> records;
  if (SharedDir().empty()) return records;
  std::ifstream in(SharedDir() + "/realdata/treebank-records.txt");
  const auto labelled = [](const std::string& line, const std::string& label,
                           std::string& field) {
    if (line.compare(0, label.size(), label) != 0) return false;
    field = line.substr(label.size());
    return true;
  };
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, 14, "SentenceIndex:") == 0) {
      records.emplace_back();
      continue;
    }
    if (records.empty()) continue;
    TreebankRecord& record = records.back();
    if (labelled(line, "SL: ", record.sl)) continue;
    if (labelled(line, "TL: ", record.tl)) continue;
    if (labelled(line, "Alignment: ", record.alignment)) continue;
    if (line.compare(0, 12, "C-Structure:") == 0) record.cStructure = line;
  }
  return records;
}

// The childless nodes under `root`, counted without recursion.
inline std::size_t CountLeaves(const CTree::TreeNode* root) {
  std::size_t leaves = 0;
  std::vector<const CTree::TreeNode*> pending;
  if (root) pending.push_back(root);
  while (!pending.empty()) {
    const CTree::TreeNode* node = pending.back();
    pending.pop_back();
    if (node->Children.empty()) ++leaves;
    for (const CTree::TreeNode* child : node->Children)
      pending.push_back(child);
  }
  return leaves;
}

// The childless nodes under `root` in text order, found without recursion.
inline std::vector<const CTree::TreeNode*> LeavesInTextOrder(
    const CTree::TreeNode* root) {
  std::vector<const CTree::TreeNode*> leaves;
  std::vector<const CTree::TreeNode*> pending;
  if (root) pending.push_back(root);
  while (!pending.empty()) {
    const CTree::TreeNode* node = pending.back();
    pending.pop_back();
    if (node->Children.empty()) leaves.push_back(node);
    pending.insert(pending.end(), node->Children.rbegin(),
                   node->Children.rend());
  }
  return leaves;
}

// The pairs of an alignment string in canonical form "((1,2),(3,4))", read
// strictly; parsing stops at the first character out of that form.
inline std::vector<std::pair<int, int>> ReadCanonicalPairs(
    const std::string& alignment) {
  std::vector<std::pair<int, int>> pairs;
  std::size_t i = 1;
  const auto number = [&](int& value) {
    const std::size_t begin = i;
    while (i < alignment.size() && alignment[i] >= '0' && alignment[i] <= '9') {
      ++i;
    }
    if (i == begin || i - begin > 9) return false;
    value = std::stoi(alignment.substr(begin, i - begin));
    return true;
  };
  while (i < alignment.size() && alignment[i] == '(') {
    ++i;
    int sl = 0;
    int tl = 0;
    if (!number(sl) || i >= alignment.size() || alignment[i++] != ',') break;
    if (!number(tl) || i >= alignment.size() || alignment[i++] != ')') break;
    pairs.emplace_back(sl, tl);
    if (i < alignment.size() && alignment[i] == ',') ++i;
  }
  return pairs;
}

}  // namespace testsupport

#endif  // ANNOTATOR_TEST_SUPPORT_TREEBANKRECORDS_H_
