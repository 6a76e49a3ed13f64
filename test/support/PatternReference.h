#ifndef ANNOTATOR_TEST_SUPPORT_PATTERNREFERENCE_H_
#define ANNOTATOR_TEST_SUPPORT_PATTERNREFERENCE_H_

#include <string>

#include "TrainingExampleReader.h"

namespace testsupport {

// The patterns of one record built the long way round, as a learner linking
// the library would: a Pattern per node, filled through its setters from
// ExtractSLWords, CStructFromHereAsString, UpdateAlignments and
// FindXSideConstraints, written by ReturnPatternAsString, and the
// consistency rule checked against every link by brute force. It shares no
// code with PatternExtractor, whose output it must equal. Empty for a record
// that PatternExtractor skips.
std::string ReferencePatterns(const ExampleFieldMap& example,
                              bool consistentOnly);

}  // namespace testsupport

#endif  // ANNOTATOR_TEST_SUPPORT_PATTERNREFERENCE_H_
