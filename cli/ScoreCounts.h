#ifndef ANNOTATOR_SCORECOUNTS_H_
#define ANNOTATOR_SCORECOUNTS_H_

#include <string>

#include "ExtractOptions.h"
#include "PatternScorer.h"

// score_patterns' two halves, for a corpus counted in pieces (on several
// cores or machines) and scored once: the counts of the pieces, added up,
// are those of the whole, so the table is the one a single run writes.

// --counts-only: counts the patterns and word links of options.InFile, as
// score_patterns does before it scores, and writes them to options.OutFile
// (standard output for null) as a count file (CountFile.h). Ends the
// process on a refusal; returns the exit status, 1 when records were
// skipped. `reopened` is ReserveStandardDescriptors'.
int CountOnly(const ExtractOptions& options, unsigned reopened);

// --from-counts: adds up the count files options.Tables into `scorer`,
// their pattern rows merged through runs bounded by options.Memory in
// options.TempDir. Returns the message of a refusal, "" for none; throws
// TemporaryFileError and std::bad_alloc as SortedRuns does.
std::string AddCountFiles(const ExtractOptions& options, PatternScorer& scorer);

#endif  // ANNOTATOR_SCORECOUNTS_H_
