#include "records/Sentence.h"

#include <algorithm>

#include "patterns/ConstraintEnding.h"
#include "records/AlignmentLinks.h"
#include "text/SplitText.h"

namespace extraction {

// Here and in the tables below, entries are built in place: one built on
// the stack and copied in whole stalls on the stores that just made it.
Status Sentence::Read(const ExampleRecordView& record) {
  ConstraintOf.clear();
  LongestConstraint = 0;
  ForEachSLToken(FieldValue(record.SL), [this](std::string_view word,
                                               std::string_view tag,
                                               bool /*tagged*/) {
    if (word.empty()) return;
    if (const char* ending = ConstraintEnding(tag)) {
      ConstraintOf.emplace_back(ending);
    } else {
      ConstraintOf.emplace_back();
    }
    LongestConstraint = std::max(LongestConstraint, ConstraintOf.back().size());
  });
  TLWords.clear();
  TLText.Assign(FieldValue(record.TL));
  const PaddedView tl = TLText.View();
  ForEachSentenceToken(tl.Text(), [this, tl](std::string_view word) {
    TLWords.push_back(tl.Within(word));
  });
  return CollectLinks(FieldValue(record.Alignment), ConstraintOf.size(),
                      TLWords.size(), Links);
}

}  // namespace extraction
