#include "records/AlignmentLinks.h"

#include <algorithm>

Status CollectLinks(std::string_view alignment, std::size_t slCount,
                    std::size_t tlCount,
                    std::vector<std::pair<int, int>>& links) {
  links.clear();
  // One reading of the string serves every SL position; sorting the pairs
  // gives the order of a map by SL position of sets of TL positions.
  ForEachAlignmentPair(alignment, [&](int sl, int tl) {
    if (sl >= 1 && static_cast<std::size_t>(sl) <= slCount) {
      links.emplace_back(sl, tl);
    }
  });
  // Most alignments list their pairs in that order already.
  const auto notAscending = [](const std::pair<int, int>& a,
                               const std::pair<int, int>& b) {
    return !(a < b);
  };
  if (std::adjacent_find(links.begin(), links.end(), notAscending) !=
      links.end()) {
    std::sort(links.begin(), links.end());
    links.erase(std::unique(links.begin(), links.end()), links.end());
  }
  for (const auto& link : links) {
    // A TL position of 0 would name the word before the first.
    if (link.second < 1 || static_cast<std::size_t>(link.second) > tlCount) {
      const int position = link.second;
      links.clear();
      return Status::TLPositionBeyondSentence(position);
    }
  }
  return Status();
}

void LinksInside(std::string_view alignment, std::size_t slCount,
                 std::size_t tlCount, std::vector<std::pair<int, int>>& links) {
  links.clear();
  ForEachAlignmentPair(alignment, [&](int sl, int tl) {
    if (sl >= 1 && tl >= 1 && static_cast<std::size_t>(sl) <= slCount &&
        static_cast<std::size_t>(tl) <= tlCount) {
      links.emplace_back(sl, tl);
    }
  });
  std::sort(links.begin(), links.end());
  links.erase(std::unique(links.begin(), links.end()), links.end());
}
