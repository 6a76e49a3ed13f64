#ifndef ANNOTATOR_FATAL_H_
#define ANNOTATOR_FATAL_H_

#include <string_view>

// Flushes standard output, so that the listing comes first, then writes
// `message` to standard error exactly as given (no prefix, no line end added,
// NUL bytes included), flushes it and ends the process with exit status 1.
// The one way the programs end on an error.
[[noreturn]] void Fatal(std::string_view message);

// Writes `text` to standard output, where --help and --version go; a failed
// write ends the process with "Couldn't write standard output: REASON.".
void Say(std::string_view text);

#endif  // ANNOTATOR_FATAL_H_
