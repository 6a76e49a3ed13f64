#ifndef ANNOTATOR_FLATTREE_H_
#define ANNOTATOR_FLATTREE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ParseParser.h"
#include "Status.h"
#include "text/Appender.h"
#include "text/PaddedText.h"
#include "trees/CStructureEvents.h"

namespace extraction {

// Lays a tree out, as the reader meets it, in the runs that patterns copy:
// the whole tree's C-structure as patterns write it (leaf numbers left out),
// its SL words joined by blanks and each constituent's children's labels, a
// subtree being one stretch of each. No node is built, and nothing is copied
// but into these runs.
class FlatTree final : public CStructureEvents {
 public:
  // A node with children: its label, where its text, leaves and children's
  // labels run, and its depth.
  struct Constituent {
    PaddedView Label;                // a piece of Text
    std::size_t TextBegin, TextEnd;  // its C-structure in TreeText
    std::size_t FirstLeaf, EndLeaf;
    std::size_t SeqBegin, SeqEnd;  // its constituent sequence in SeqText
    int Depth;
  };
  // A childless node: what every pattern that covers it writes of it.
  struct Leaf {
    std::size_t WordBegin, WordEnd;  // in SLText
    std::size_t NumberAt;            // in TreeText, where its number goes
    int Position;                    // in the sentence; -1 without leaf text
  };

  // Reads `text` with the scratch space of `reader`, constituents in
  // preorder, leaves in text order.
  Status Read(CStructureReader& reader, std::string_view text);

  // A padded copy of the text read, which the labels and words are pieces
  // of.
  PaddedText Text;

  // The runs, as padded pieces of the strings below, valid until the next
  // Read. Only the bytes up to the offsets above are the tree's; the
  // strings keep what lies beyond as room for the next tree.
  PaddedView TreeRun;
  PaddedView SLRun;
  PaddedView SeqRun;
  std::string TreeText;
  std::string SLText;
  std::string SeqText;
  std::vector<Constituent> Constituents;
  std::vector<Leaf> Leaves;

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  void Open(std::string_view token) override;
  void LeafText(std::string_view text) override;
  void Close() override;

  // A node not yet closed. Whether it has children is known at its first
  // child, which is when a constituent's text begins.
  struct OpenNode {
    PaddedView Label;
    PaddedView Word;
    std::size_t Constituent;  // kNone while it has no child
    std::size_t Children;
    int Position;
    int ChildDepth;
  };
  std::vector<OpenNode> open_;
  // The labels of the children of every open node, innermost last.
  std::vector<PaddedView> childLabels_;
  // The text being read.
  PaddedView text_;
  int counter_ = 1;
  Appender* tree_ = nullptr;
  Appender* sl_ = nullptr;
  Appender* seq_ = nullptr;
};

}  // namespace extraction

#endif  // ANNOTATOR_FLATTREE_H_
