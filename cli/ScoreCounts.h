#ifndef ANNOTATOR_SCORECOUNTS_H_
#define ANNOTATOR_SCORECOUNTS_H_

#include <functional>
#include <string>

#include "ExtractOptions.h"
#include "PatternExtractor.h"
#include "PatternScorer.h"
#include "ProgramReader.h"
#include "ProgressLine.h"

// score_patterns' two halves, for a corpus counted in pieces (on several
// cores or machines) and scored once: the counts of the pieces, added up,
// are those of the whole, so the table is the one a single run writes.

// Reads the records of `reader` to their end as score_patterns counts them:
// each pattern of a record goes to `add`, every record, a skipped one too,
// to `addRecord` (for its word links), a skipped record's message to
// standard error. `records` and `skipped` count as it goes, so that a run
// that runs out of memory can say where.
void CountRecords(
    ProgramReader& reader, PatternExtractor& extractor, ProgressLine& progress,
    const std::function<bool(const ExtractedPattern&)>& add,
    const std::function<void(const ExampleRecordView&)>& addRecord,
    long long& records, long long& skipped);

// --counts-only: counts the patterns and word links of options.InFile, as
// score_patterns does before it scores, and writes them to options.OutFile
// (standard output for null) as a count file (CountFile.h). Ends the
// process on a refusal; returns the exit status, 1 when records were
// skipped. `reopened` is ReserveStandardDescriptors'.
int CountOnly(const ExtractOptions& options, unsigned reopened);

// --from-counts: adds up the count files options.Tables into `scorer`,
// their pattern rows merged where they lie; only more files than may be open
// at once go through runs in options.TempDir, bounded by options.Memory.
// Returns the message of a refusal, "" for none; throws
// TemporaryFileError and std::bad_alloc as SortedRuns does.
std::string AddCountFiles(const ExtractOptions& options, PatternScorer& scorer);

#endif  // ANNOTATOR_SCORECOUNTS_H_
