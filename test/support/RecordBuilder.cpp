#include "support/RecordBuilder.h"

namespace testsupport {

std::string RecordLines::Text() const {
  std::string text;
  for (const std::string* line :
       {&Header, &SL, &TL, &Alignment, &Type, &Score, &CStructure, &ConstSeq,
        &Constraints, &Last}) {
    text.append(*line).push_back('\n');
  }
  return text;
}

}  // namespace testsupport
