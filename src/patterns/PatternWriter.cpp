#include "patterns/PatternWriter.h"

#include "text/BoundedWriter.h"
#include "text/DecimalOrder.h"
#include "text/NumberText.h"

namespace extraction {

std::size_t PatternWriter::Bound(const FlatTree& tree, const LinkIndex& links,
                                 const Sentence& sentence,
                                 const FlatTree::Constituent& constituent) {
  // The labels and line ends of the text form, with room to spare.
  constexpr std::size_t kFixed = 128;
  constexpr std::size_t kDigits = BoundedWriter::kIntDigits;
  const std::size_t leaves = constituent.EndLeaf - constituent.FirstLeaf;
  const std::size_t linkCount = links.LeafLinkBegin[constituent.EndLeaf] -
                                links.LeafLinkBegin[constituent.FirstLeaf];
  const std::size_t sl = tree.Leaves[constituent.EndLeaf - 1].WordEnd -
                         tree.Leaves[constituent.FirstLeaf].WordBegin;
  // Distinct TL words with one blank between each take at most the line.
  const std::size_t tl = sentence.TLText.View().size() + 1;
  const std::size_t alignment = 2 + linkCount * (4 + 2 * kDigits);
  const std::size_t cStructure =
      constituent.TextEnd - constituent.TextBegin + leaves * kDigits;
  const std::size_t constraints =
      leaves * (4 + kDigits + sentence.LongestConstraint);
  return kFixed + sl + tl + alignment + constituent.Label.size() + kDigits +
         cStructure + (constituent.SeqEnd - constituent.SeqBegin) + constraints;
}

void PatternWriter::Write(const FlatTree& tree, const LinkIndex& links,
                          const Sentence& sentence,
                          const FlatTree::Constituent& constituent,
                          const std::vector<int>& tls, Appender& appender) {
  BoundedWriter out(appender, Bound(tree, links, sentence, constituent));
  marks_[kStart] = out.At();
  out.Put("SentenceIndex:\nSL: ");
  marks_[kSL] = out.At();
  PutSL(tree, constituent, out);
  marks_[kSL + 1] = out.At();
  out.Put("\nTL: ");
  marks_[kTL] = out.At();
  PutTL(sentence, tls, out);
  marks_[kTL + 1] = out.At();
  out.Put("\nAlignment: ");
  marks_[kAlignment] = out.At();
  PutAlignment(links, constituent, out);
  marks_[kAlignment + 1] = out.At();
  out.Put("\nType: ");
  marks_[kType] = out.At();
  out.PutPadded(constituent.Label);
  marks_[kType + 1] = out.At();
  out.Put("\nCoEmbeddingScore: ");
  marks_[kScore] = out.At();
  out.PutInt(constituent.Depth);
  marks_[kScore + 1] = out.At();
  out.Put("\nC-Structure:");
  marks_[kCStructure] = out.At();
  PutCStructure(tree, constituent, out);
  marks_[kCStructure + 1] = out.At();
  out.Put("\nConstSeq: ");
  marks_[kConstSeq] = out.At();
  PutConstSeq(tree, constituent, out);
  marks_[kConstSeq + 1] = out.At();
  out.Put("\nXSideConstraints:\n");
  marks_[kConstraints] = out.At();
  PutConstraints<'\n'>(constituent, out);
  marks_[kEnd] = out.At();
}

void PatternWriter::WriteFields(const FlatTree& tree, const LinkIndex& links,
                                const Sentence& sentence,
                                const FlatTree::Constituent& constituent,
                                const std::vector<int>& tls,
                                Appender& appender) {
  BoundedWriter out(appender, Bound(tree, links, sentence, constituent));
  out.PutPadded(constituent.Label);
  out.Put('\t');
  PutSL(tree, constituent, out);
  out.Put('\t');
  PutTL(sentence, tls, out);
  out.Put('\t');
  PutAlignment(links, constituent, out);
  out.Put('\t');
  PutCStructure(tree, constituent, out);
  out.Put('\t');
  PutConstSeq(tree, constituent, out);
  out.Put('\t');
  out.PutInt(constituent.Depth);
  out.Put('\t');
  // Blanks between the constraints, none after the last.
  const std::size_t from = out.Size();
  PutConstraints<' '>(constituent, out);
  if (out.Size() != from) out.Unput();
}

inline void PatternWriter::PutSL(const FlatTree& tree,
                                 const FlatTree::Constituent& constituent,
                                 BoundedWriter& out) {
  const std::vector<FlatTree::Leaf>& leaves = tree.Leaves;
  const std::size_t firstLeaf = constituent.FirstLeaf;
  const std::size_t endLeaf = constituent.EndLeaf;
  out.PutPadded(tree.SLRun.Sub(
      leaves[firstLeaf].WordBegin,
      leaves[endLeaf - 1].WordEnd - leaves[firstLeaf].WordBegin));
}

inline void PatternWriter::PutTL(const Sentence& sentence,
                                 const std::vector<int>& tls,
                                 BoundedWriter& out) {
  // Only the entries of this pattern's TL positions are written and read.
  if (patternTL_.size() <= sentence.TLWords.size()) {
    patternTL_.resize(sentence.TLWords.size() + 1);
  }
  for (std::size_t k = 0; k < tls.size(); ++k) {
    if (k > 0) out.Put(' ');
    out.PutPadded(sentence.TLWords[static_cast<std::size_t>(tls[k] - 1)]);
    patternTL_[static_cast<std::size_t>(tls[k])] = ClampToIntRange(k + 1);
  }
}

inline void PatternWriter::PutAlignment(
    const LinkIndex& links, const FlatTree::Constituent& constituent,
    BoundedWriter& out) {
  const std::size_t firstLeaf = constituent.FirstLeaf;
  const std::size_t begin = links.LeafLinkBegin[firstLeaf];
  const std::size_t end = links.LeafLinkBegin[constituent.EndLeaf];
  out.Put('(');
  for (std::size_t l = begin; l < end; ++l) {
    if (l != begin) out.Put(',');
    out.Put('(');
    out.PutInt(ClampToIntRange(links.LinkLeaf[l] - firstLeaf + 1));
    out.Put(',');
    out.PutInt(patternTL_[static_cast<std::size_t>(links.LeafLinks[l])]);
    out.Put(')');
  }
  out.Put(')');
}

inline void PatternWriter::PutCStructure(
    const FlatTree& tree, const FlatTree::Constituent& constituent,
    BoundedWriter& out) {
  const std::vector<FlatTree::Leaf>& leaves = tree.Leaves;
  // The subtree's text begins with the blank that sets it off inside its
  // parent. The run is copied here: a byte stored through the writer might
  // be any object's, so the tree's would be read again after each.
  const PaddedView text = tree.TreeRun;
  std::size_t from = constituent.TextBegin + 1;
  int counter = 1;
  for (std::size_t i = constituent.FirstLeaf; i < constituent.EndLeaf; ++i) {
    out.PutPadded(text.Sub(from, leaves[i].NumberAt - from));
    out.PutInt(counter++);
    from = leaves[i].NumberAt;
  }
  out.PutPadded(text.Sub(from, constituent.TextEnd - from));
}

inline void PatternWriter::PutConstSeq(const FlatTree& tree,
                                       const FlatTree::Constituent& constituent,
                                       BoundedWriter& out) {
  out.PutPadded(tree.SeqRun.Sub(constituent.SeqBegin,
                                constituent.SeqEnd - constituent.SeqBegin));
}

template <char kAfter>
inline void PatternWriter::PutConstraints(
    const FlatTree::Constituent& constituent, BoundedWriter& out) const {
  const std::size_t firstLeaf = constituent.FirstLeaf;
  const std::size_t from = constrainedBefore_[firstLeaf];
  const std::size_t to = constrainedBefore_[constituent.EndLeaf];
  if (from == to) return;
  const auto put = [&](std::size_t position, std::string_view ending) {
    out.Put("(X");
    out.PutInt(ClampToIntRange(position));
    out.Put(' ');
    out.Put(ending);
    out.Put(kAfter);
  };
  // The constraints sort as texts, "(X10 " before "(X2 "; below ten leaves
  // that is the order of the constrained leaves themselves.
  const std::size_t count = constituent.EndLeaf - firstLeaf;
  if (count < 10) {
    for (std::size_t k = from; k < to; ++k) {
      const std::size_t leaf = constrained_[k];
      put(leaf - firstLeaf + 1, leafConstraint_[leaf]);
    }
    return;
  }
  ForEachInDecimalTextOrder(
      static_cast<long long>(count), [&](long long position) {
        const std::size_t leaf =
            firstLeaf + static_cast<std::size_t>(position) - 1;
        if (!leafConstraint_[leaf].empty()) {
          put(static_cast<std::size_t>(position), leafConstraint_[leaf]);
        }
      });
}

void PatternWriter::Index(const FlatTree& tree, const Sentence& sentence) {
  leafConstraint_.clear();
  constrained_.clear();
  constrainedBefore_.assign(1, 0);
  for (std::size_t i = 0; i < tree.Leaves.size(); ++i) {
    leafConstraint_.push_back(sentence.ConstraintAt(tree.Leaves[i].Position));
    if (!leafConstraint_.back().empty()) constrained_.push_back(i);
    constrainedBefore_.push_back(constrained_.size());
  }
}

ExtractedPattern PatternWriter::Written(
    const FlatTree::Constituent& constituent) const {
  const auto between = [this](std::size_t from, std::size_t to) {
    return std::string_view(
        marks_[from], static_cast<std::size_t>(marks_[to] - marks_[from]));
  };
  const auto field = [&](std::size_t mark) { return between(mark, mark + 1); };
  ExtractedPattern pattern;
  pattern.Text = between(kStart, kEnd);
  pattern.SLWords = field(kSL);
  pattern.TLWords = field(kTL);
  pattern.Alignment = field(kAlignment);
  pattern.Type = field(kType);
  pattern.Score = field(kScore);
  pattern.CStructure = field(kCStructure);
  pattern.ConstSeq = field(kConstSeq);
  pattern.XSideConstraints = field(kConstraints);
  pattern.SLWordCount = constituent.EndLeaf - constituent.FirstLeaf;
  pattern.Plain = plain_;
  return pattern;
}

}  // namespace extraction
