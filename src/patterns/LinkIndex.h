#ifndef ANNOTATOR_LINKINDEX_H_
#define ANNOTATOR_LINKINDEX_H_

#include <cstddef>
#include <vector>

#include "records/Sentence.h"
#include "trees/FlatTree.h"

namespace extraction {

// Indexes a sentence's links by leaf and by TL position, so that a
// constituent's TL positions and its consistency cost time in its own size.
class LinkIndex {
 public:
  // Indexes the links of `sentence` for the leaves of `tree`.
  void Index(const FlatTree& tree, const Sentence& sentence);
  // Fills `tls` with the TL positions linked from a constituent's leaves,
  // ascending, each once.
  void GatherTL(const FlatTree::Constituent& constituent,
                std::vector<int>& tls);
  // The phrase-extraction rule: `tls` (as GatherTL gives them) is not empty
  // and its span takes no link from an SL word outside the constituent.
  bool Consistent(const FlatTree::Constituent& constituent,
                  const std::vector<int>& tls) const;

  // The TL positions linked from leaf i, ascending: LeafLinks from
  // LeafLinkBegin[i] to LeafLinkBegin[i + 1]. LinkLeaf gives the leaf of
  // each, so a stretch's links are one run to walk.
  std::vector<int> LeafLinks;
  std::vector<std::size_t> LinkLeaf;
  std::vector<std::size_t> LeafLinkBegin;

 private:
  // By SL position: the leaf that stands there, kNoLeaf when none does,
  // and where its links start in the sentence's links.
  std::vector<std::size_t> leafAt_;
  std::vector<std::size_t> linksFrom_;
  // By TL position: the first and last leaf linked to it, kNoLeaf and 0
  // when none is. A link from a position that is no leaf's makes the last
  // kNoLeaf, past every stretch, so one test serves both.
  struct LinkedLeaves {
    std::size_t First, Last;
  };
  std::vector<LinkedLeaves> leavesTo_;
  // By TL position: the last GatherTL call that met it, as mark_ counts
  // them.
  std::vector<unsigned> seen_;
  unsigned mark_ = 0;
};

}  // namespace extraction

#endif  // ANNOTATOR_LINKINDEX_H_
