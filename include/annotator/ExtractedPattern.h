#ifndef ANNOTATOR_EXTRACTEDPATTERN_H_
#define ANNOTATOR_EXTRACTEDPATTERN_H_

#include <cstddef>
#include <string_view>

// One pattern as PatternExtractor has just written it: its whole text form
// and each field's value as a view into that text, labels left out. The
// views stay valid until the extractor writes its next pattern.
struct ExtractedPattern {
  // The text form of Pattern::ReturnPatternAsString, from "SentenceIndex:"
  // to the line end of its last x-side constraint: nine lines and one per
  // constraint.
  std::string_view Text;
  std::string_view SLWords;     // joined by blanks
  std::string_view TLWords;     // joined by blanks
  std::string_view Alignment;   // such as "((1,1),(2,2))"
  std::string_view Type;        // the constituent's label
  std::string_view Score;       // the subtree's depth in decimal
  std::string_view CStructure;  // such as "(<NP> (DT the-1) (NN cat-2))"
  std::string_view ConstSeq;    // the children's labels joined by blanks
  // One constraint per line, each ended by "\n"; empty when there are none.
  std::string_view XSideConstraints;
  // How many SL words (leaves) the constituent spans.
  std::size_t SLWordCount = 0;
  // True when no field holds a tab, a carriage return or a backslash, so
  // that a writer that escapes those may copy the fields as they are. False
  // tells nothing.
  bool Plain = false;
  // Only from PatternExtractor::ForEachPatternFields, and only when Plain:
  // the eight fields as one table line without its line end, type, SL
  // words, TL words, alignment, C-structure, constituent sequence, score
  // and the constraints joined by single blanks, set off by tabs. Text and
  // the field views above are then empty. Empty otherwise.
  std::string_view Fields;
};

#endif  // ANNOTATOR_EXTRACTEDPATTERN_H_
