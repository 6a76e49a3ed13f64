#ifndef ANNOTATOR_ENDPROCESS_H_
#define ANNOTATOR_ENDPROCESS_H_

#include <string_view>

// For the few library entry points whose contract is to end the process
// (ParseIntoTree, BuildTree, GetNextSentencePair, GetAlMap,
// UpdateAlignments): flushes standard output, so that a listing comes first,
// writes `message` to standard error exactly as given, flushes it and ends
// the process with exit status 1. Nothing else in the library calls it;
// every other failure is a Status handed back.
[[noreturn]] void EndProcess(std::string_view message);

#endif  // ANNOTATOR_ENDPROCESS_H_
