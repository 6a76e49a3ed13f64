#include "patterns/LinkIndex.h"

#include <algorithm>
#include <limits>

namespace extraction {

namespace {

constexpr std::size_t kNoLeaf = static_cast<std::size_t>(-1);

}  // namespace

void LinkIndex::Index(const FlatTree& tree, const Sentence& sentence) {
  const std::vector<std::pair<int, int>>& links = sentence.Links;
  const std::size_t slCount =
      links.empty() ? 0 : static_cast<std::size_t>(links.back().first);
  // The links run by SL position: where each position's run starts.
  linksFrom_.assign(slCount + 2, 0);
  for (const auto& link : links) {
    ++linksFrom_[static_cast<std::size_t>(link.first) + 1];
  }
  for (std::size_t sl = 1; sl < linksFrom_.size(); ++sl) {
    linksFrom_[sl] += linksFrom_[sl - 1];
  }
  LeafLinks.clear();
  LinkLeaf.clear();
  LeafLinkBegin.clear();
  for (std::size_t i = 0; i < tree.Leaves.size(); ++i) {
    LeafLinkBegin.push_back(LeafLinks.size());
    const int position = tree.Leaves[i].Position;
    if (position <= 0 || static_cast<std::size_t>(position) > slCount) {
      continue;
    }
    const auto sl = static_cast<std::size_t>(position);
    for (std::size_t l = linksFrom_[sl]; l < linksFrom_[sl + 1]; ++l) {
      LeafLinks.push_back(links[l].second);
      LinkLeaf.push_back(i);
    }
  }
  LeafLinkBegin.push_back(LeafLinks.size());

  // A node with children may carry leaf text and take a sentence position
  // of its own; that position is no leaf's, and in no stretch.
  leafAt_.assign(slCount + 1, kNoLeaf);
  for (std::size_t i = 0; i < tree.Leaves.size(); ++i) {
    const int position = tree.Leaves[i].Position;
    if (position > 0 && static_cast<std::size_t>(position) <= slCount) {
      leafAt_[static_cast<std::size_t>(position)] = i;
    }
  }
  const std::size_t tlCount = sentence.TLWords.size() + 1;
  leavesTo_.assign(tlCount, {kNoLeaf, 0});
  seen_.assign(tlCount, 0);
  mark_ = 0;
  for (const auto& [sl, tlPosition] : links) {
    const auto tl = static_cast<std::size_t>(tlPosition);
    const std::size_t leaf = leafAt_[static_cast<std::size_t>(sl)];
    LinkedLeaves& to = leavesTo_[tl];
    if (leaf == kNoLeaf) {
      to.Last = kNoLeaf;
      continue;
    }
    to.First = std::min(to.First, leaf);
    to.Last = std::max(to.Last, leaf);
  }
}

void LinkIndex::GatherTL(const FlatTree::Constituent& constituent,
                         std::vector<int>& tls) {
  const std::size_t begin = LeafLinkBegin[constituent.FirstLeaf];
  const std::size_t end = LeafLinkBegin[constituent.EndLeaf];
  // Room for every link, given back once the distinct ones are in.
  if (tls.size() < end - begin) tls.resize(end - begin);
  int* const first = tls.data();
  int* last = first;
  // Positions met before in this call are passed over, so only distinct
  // ones are kept and ordered.
  if (++mark_ == 0) {
    std::fill(seen_.begin(), seen_.end(), 0U);
    mark_ = 1;
  }
  int low = std::numeric_limits<int>::max();
  int high = 0;
  bool ascending = true;
  for (std::size_t l = begin; l < end; ++l) {
    const int tl = LeafLinks[l];
    unsigned& seen = seen_[static_cast<std::size_t>(tl)];
    if (seen == mark_) continue;
    seen = mark_;
    ascending = ascending && tl > high;
    low = std::min(low, tl);
    high = std::max(high, tl);
    *last++ = tl;
  }
  const auto count = static_cast<std::size_t>(last - first);
  // A span not much wider than the positions is read off in order; a wider
  // one is sorted.
  if (!ascending) {
    if (static_cast<std::size_t>(high - low) / 4 >= count) {
      std::sort(first, last);
    } else {
      last = first;
      for (int tl = low; tl <= high; ++tl) {
        if (seen_[static_cast<std::size_t>(tl)] == mark_) *last++ = tl;
      }
    }
  }
  tls.resize(count);
}

// The leaves under a node are a run of the leaf list, so "outside" is
// outside one range of leaves.
bool LinkIndex::Consistent(const FlatTree::Constituent& constituent,
                           const std::vector<int>& tls) const {
  if (tls.empty()) return false;
  // A position no leaf links to passes: its First is past every stretch's
  // start, its Last (0) before every stretch's end.
  for (int tl = tls.front(); tl <= tls.back(); ++tl) {
    const LinkedLeaves& to = leavesTo_[static_cast<std::size_t>(tl)];
    if (to.First < constituent.FirstLeaf || to.Last >= constituent.EndLeaf) {
      return false;
    }
  }
  return true;
}

}  // namespace extraction
