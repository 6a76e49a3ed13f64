#ifndef ANNOTATOR_SENTENCE_H_
#define ANNOTATOR_SENTENCE_H_

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "Status.h"
#include "TrainingExampleReader.h"
#include "text/PaddedText.h"

namespace extraction {

// The sentence side of a record, read without printing anything: what the
// patterns need of the SL words (their x-side constraints), the TL words as
// views into a copy, and the links.
struct Sentence {
  // Reads the SL, TL and alignment fields of `record`. Fails only with
  // kTLPositionBeyondSentence.
  Status Read(const ExampleRecordView& record);
  // The constraint ending of the SL word at `position` (from 1), nullptr
  // for none or a position outside the sentence.
  std::string_view ConstraintAt(int position) const {
    return position > 0 &&
                   static_cast<std::size_t>(position) <= ConstraintOf.size()
               ? ConstraintOf[static_cast<std::size_t>(position) - 1]
               : std::string_view();
  }

  // Empty for a word that its tag does not constrain.
  std::vector<std::string_view> ConstraintOf;
  std::size_t LongestConstraint = 0;
  // The TL words, as pieces of a padded copy of the TL value.
  PaddedText TLText;
  std::vector<PaddedView> TLWords;
  // (SL position, TL position) as CollectLinks gives them.
  std::vector<std::pair<int, int>> Links;
};

}  // namespace extraction

#endif  // ANNOTATOR_SENTENCE_H_
