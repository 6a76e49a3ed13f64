#ifndef ANNOTATOR_EXITWITHMESSAGE_H_
#define ANNOTATOR_EXITWITHMESSAGE_H_

#include <string_view>

// Flushes standard output, so that a listing comes first, then writes
// `message` to standard error exactly as given, flushes it and ends the
// process with exit status 1. Only for the library functions whose
// documented contract is to end the process (ParseIntoTree,
// GetNextSentencePair, GetAlMap...); everything else reports instead.
[[noreturn]] void ExitWithMessage(std::string_view message);

#endif  // ANNOTATOR_EXITWITHMESSAGE_H_
