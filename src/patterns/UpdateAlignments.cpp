#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Pattern.h"
#include "records/ExitWithMessage.h"
#include "text/NumberText.h"

std::multimap<int, int> UpdateAlignments(const std::vector<int>& slInds,
                                         std::vector<std::string>& tlWords,
                                         const AlMap& alMap) {
  // TL sentence position -> TL word, then -> TL pattern position. A word met
  // again under a second SL position keeps its first entry.
  std::map<int, std::string> alignedWords;
  for (const int sl : slInds) {
    const auto [begin, end] = alMap.equal_range(sl);
    for (auto link = begin; link != end; ++link) {
      alignedWords.emplace(link->second.second, link->second.first);
    }
  }
  std::map<int, int> patternPositions;
  for (auto& [tl, word] : alignedWords) {
    tlWords.push_back(std::move(word));
    patternPositions.emplace(tl, ClampToIntRange(patternPositions.size() + 1));
  }

  std::multimap<int, int> links;
  for (std::size_t j = 0; j < slInds.size(); ++j) {
    const auto [begin, end] = alMap.equal_range(slInds[j]);
    for (auto link = begin; link != end; ++link) {
      const auto found = patternPositions.find(link->second.second);
      // Both passes walk the same links, so this guards their agreement
      // rather than any input.
      if (found == patternPositions.end()) {
        ExitWithMessage("Something went wrong in UpdateAlignments.\n");
      }
      links.emplace_hint(links.end(), ClampToIntRange(j + 1), found->second);
    }
  }
  return links;
}
