#ifndef ANNOTATOR_PATTERNWRITER_H_
#define ANNOTATOR_PATTERNWRITER_H_

#include <cstddef>
#include <string_view>
#include <vector>

#include "ExtractedPattern.h"
#include "patterns/LinkIndex.h"
#include "records/Sentence.h"
#include "text/Appender.h"
#include "trees/FlatTree.h"

namespace extraction {

class BoundedWriter;

// Writes one constituent's pattern straight from the tables, so a pattern
// costs time in its own length and no subtree is copied for it but into the
// output: byte for byte what building a Pattern for the node and asking
// ReturnPatternAsString gives (the tests hold the two side by side).
class PatternWriter {
 public:
  // Appends the pattern of `constituent`, whose TL positions are `tls` (as
  // LinkIndex::GatherTL gives them), to `out`.
  void Write(const FlatTree& tree, const LinkIndex& links,
             const Sentence& sentence, const FlatTree::Constituent& constituent,
             const std::vector<int>& tls, Appender& out);

  // Appends the same pattern's eight fields as one table line
  // (ExtractedPattern::Fields) instead, for a Plain record.
  void WriteFields(const FlatTree& tree, const LinkIndex& links,
                   const Sentence& sentence,
                   const FlatTree::Constituent& constituent,
                   const std::vector<int>& tls, Appender& out);

  // The pattern Write wrote last, as views into where it went: valid until
  // that string is written again.
  ExtractedPattern Written(const FlatTree::Constituent& constituent) const;

  // Indexes the constraints of the leaves of `tree`, whose words `sentence`
  // holds, for the record's patterns.
  void Index(const FlatTree& tree, const Sentence& sentence);

  // Whether the record being cut holds no tab, carriage return or backslash
  // where its patterns' fields come from (ExtractedPattern::Plain).
  void SetPlain(bool plain) { plain_ = plain; }
  bool Plain() const { return plain_; }

 private:
  // At least as many bytes as either form of the pattern takes: each piece
  // is bounded by what it is cut from, each number by kIntDigits.
  static std::size_t Bound(const FlatTree& tree, const LinkIndex& links,
                           const Sentence& sentence,
                           const FlatTree::Constituent& constituent);

  // The fields each form writes alike. PutTL numbers the TL positions for
  // PutAlignment, so it comes first. Each is inlined, so that the
  // appender's cursor stays in a register over a whole pattern.
  [[gnu::always_inline]] static void PutSL(
      const FlatTree& tree, const FlatTree::Constituent& constituent,
      BoundedWriter& out);
  [[gnu::always_inline]] void PutTL(const Sentence& sentence,
                                    const std::vector<int>& tls,
                                    BoundedWriter& out);
  [[gnu::always_inline]] void PutAlignment(
      const LinkIndex& links, const FlatTree::Constituent& constituent,
      BoundedWriter& out);
  [[gnu::always_inline]] static void PutCStructure(
      const FlatTree& tree, const FlatTree::Constituent& constituent,
      BoundedWriter& out);
  [[gnu::always_inline]] static void PutConstSeq(
      const FlatTree& tree, const FlatTree::Constituent& constituent,
      BoundedWriter& out);
  // Each constraint followed by kAfter; one copy of the loop per form, each
  // inlined where it is used.
  template <char kAfter>
  [[gnu::always_inline]] void PutConstraints(
      const FlatTree::Constituent& constituent, BoundedWriter& out) const;

  // Where the last pattern written put each field's value in the string it
  // went to: a pair per field, in ExtractedPattern's order.
  enum Mark : std::size_t {
    kStart,
    kSL,
    kTL = kSL + 2,
    kAlignment = kTL + 2,
    kType = kAlignment + 2,
    kScore = kType + 2,
    kCStructure = kScore + 2,
    kConstSeq = kCStructure + 2,
    kConstraints = kConstSeq + 2,
    kEnd = kConstraints + 1,
    kMarks
  };
  const char* marks_[kMarks] = {};
  bool plain_ = false;
  // By TL position: its pattern position in the pattern being written.
  std::vector<int> patternTL_;
  // By leaf: the constraint its word takes (empty for none), and how many
  // leaves before it take one, so that a stretch without any costs nothing;
  // and the leaves that take one, in order.
  std::vector<std::string_view> leafConstraint_;
  std::vector<std::size_t> constrainedBefore_;
  std::vector<std::size_t> constrained_;
};

}  // namespace extraction

#endif  // ANNOTATOR_PATTERNWRITER_H_
