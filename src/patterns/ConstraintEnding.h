#ifndef ANNOTATOR_CONSTRAINTENDING_H_
#define ANNOTATOR_CONSTRAINTENDING_H_

#include <string_view>

// The x-side constraint that an SL tag puts on its word, after the "(X<n> "
// head that names the word; nullptr for the tags that constrain nothing.
// Tags compare case-sensitively.
inline const char* ConstraintEnding(std::string_view tag) {
  if (tag == "nn") return "NUM *SG)";
  if (tag == "nns") return "NUM *PL)";
  if (tag == "vbd") return "TENSE *PAST)";
  if (tag == "vb") return "TENSE *PRESENT)";
  return nullptr;
}

#endif  // ANNOTATOR_CONSTRAINTENDING_H_
