#include "trees/FlatTree.h"

#include <algorithm>

#include "text/BoundedWriter.h"
#include "trees/LeafCounter.h"

namespace extraction {

Status FlatTree::Read(CStructureReader& reader, std::string_view text) {
  // Labels and words are cut from a padded copy of the text.
  Text.Assign(text);
  text_ = Text.View();
  Appender tree(TreeText, Appender::Scratch{});
  Appender sl(SLText, Appender::Scratch{});
  Appender seq(SeqText, Appender::Scratch{});
  tree_ = &tree;
  sl_ = &sl;
  seq_ = &seq;
  Constituents.clear();
  Leaves.clear();
  open_.clear();
  childLabels_.clear();
  counter_ = 1;
  const CStructureReading reading =
      ReadCStructureEvents(reader, text_.Text(), *this);
  // The runs are padded texts for the pattern writer.
  tree.Reserve(kPadding);
  sl.Reserve(kPadding);
  seq.Reserve(kPadding);
  TreeRun = PaddedView::Over(TreeText, tree.Size());
  SLRun = PaddedView::Over(SLText, sl.Size());
  SeqRun = PaddedView::Over(SeqText, seq.Size());
  tree_ = sl_ = seq_ = nullptr;
  return reading.ToStatus();
}

void FlatTree::Open(std::string_view token) {
  const PaddedView label = text_.Within(NodeLabel(token));
  if (!open_.empty()) {
    OpenNode& parent = open_.back();
    if (parent.Constituent == kNone) {
      parent.Constituent = Constituents.size();
      Constituent& constituent = Constituents.emplace_back();
      constituent.Label = parent.Label;
      constituent.TextBegin = tree_->Size();
      constituent.FirstLeaf = Leaves.size();
      BoundedWriter(*tree_, parent.Label.size() + 4)
          .Put(" (<")
          .PutPadded(parent.Label)
          .Put(">");
    }
    ++parent.Children;
    childLabels_.push_back(label);
  }
  OpenNode& node = open_.emplace_back();
  node.Label = label;
  // Without leaf text the word is empty, but still a place in the padded
  // text for PutPadded to copy from.
  node.Word = label.Sub(0, 0);
  node.Constituent = kNone;
  node.Position = -1;
}

void FlatTree::LeafText(std::string_view text) {
  OpenNode& node = open_.back();
  // A node with children takes a position for its text, and writes no word.
  if (node.Constituent == kNone)
    node.Word = text_.Within(LeafWord(text, counter_));
  node.Position = counter_;
  counter_ = NextLeafPosition(counter_);
}

void FlatTree::Close() {
  const OpenNode node = open_.back();
  open_.pop_back();
  const int depth = node.ChildDepth + 1;
  if (!open_.empty()) {
    open_.back().ChildDepth = std::max(open_.back().ChildDepth, depth);
  }
  if (node.Constituent == kNone) {
    Leaf& leaf = Leaves.emplace_back();
    leaf.Position = node.Position;
    {
      BoundedWriter tree(*tree_, node.Label.size() + node.Word.size() + 5);
      tree.Put(" (")
          .PutPadded(node.Label)
          .Put(" ")
          .PutPadded(node.Word)
          .Put("-");
      // The leaf's ")" follows its number.
      leaf.NumberAt = tree.Size();
      tree.Put(')');
    }
    BoundedWriter sl(*sl_, node.Word.size() + 1);
    if (Leaves.size() > 1) sl.Put(' ');
    leaf.WordBegin = sl.Size();
    sl.PutPadded(node.Word);
    leaf.WordEnd = sl.Size();
    return;
  }
  Constituent& constituent = Constituents[node.Constituent];
  {
    BoundedWriter tree(*tree_, 1);
    tree.Put(')');
    constituent.TextEnd = tree.Size();
  }
  constituent.EndLeaf = Leaves.size();
  constituent.Depth = depth;
  // Its children's labels are the last ones gathered.
  const std::size_t first = childLabels_.size() - node.Children;
  std::size_t bytes = node.Children;
  for (std::size_t i = first; i < childLabels_.size(); ++i) {
    bytes += childLabels_[i].size();
  }
  BoundedWriter seq(*seq_, bytes);
  constituent.SeqBegin = seq.Size();
  for (std::size_t i = first; i < childLabels_.size(); ++i) {
    if (i != first) seq.Put(' ');
    seq.PutPadded(childLabels_[i]);
  }
  constituent.SeqEnd = seq.Size();
  childLabels_.resize(first);
}

}  // namespace extraction
