#ifndef ANNOTATOR_COUNTFILE_H_
#define ANNOTATOR_COUNTFILE_H_

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "RecordFile.h"
#include "SortedRuns.h"
#include "WordTable.h"

// A count file: what score_patterns --counts-only writes and --from-counts
// scores, the counts of some records before scoring, so that the counts of
// pieces of a corpus add up to those of the whole. Text, line by line:
//
//   annotator-counts 1 consistent=0 max-words=0
//   COUNT TAB eight pattern fields      (a row per distinct pattern line,
//   ...                                   bytewise by the fields)
//   words
//   COUNT TAB SL word TAB TL word       (a row per linked word pair, an
//   ...                                   empty word for NULL, escaped as
//   end                                   table fields are)
//
// The first line names the format, its version and the options the
// patterns were chosen with; files counted with others do not add up.

// The first line of a count file counted with `consistent` and `maxWords`,
// without its line feed.
std::string CountFileHeader(bool consistent, std::size_t maxWords);

// Writes a count file to `out`: `header`, the pattern rows `patterns` hands
// its taker, bytewise by line, then the word links of `words`. False when a
// write failed.
bool WriteCountFile(RecordFile& out, const std::string& header,
                    const std::function<bool(const RowTaker&)>& patterns,
                    const WordTable& words);

// Adds up the count files at `paths` ("-" for standard input, once at most;
// gzip as every input): the pattern rows of each, read where they lie as a
// source of `patterns`, merged into `take`; the word links of each, read
// when its rows end, handed to `addLink`. Returns the refusal that reading the
// files one after another meets first ("" for none): a file that cannot be
// opened or read, that is no count file or of another version, counted with
// other options than the first, or a line of it out of place; or that the files
// count more than kMostCounted patterns, or word links, in all. What `take` was
// handed before it is not to be written. Throws what `patterns` throws.
using WordLinkTaker =
    std::function<void(std::string_view, std::string_view, long long)>;
std::string MergeCountFiles(const std::vector<const char*>& paths,
                            SortedRuns& patterns, const WordLinkTaker& addLink,
                            const RowTaker& take);

#endif  // ANNOTATOR_COUNTFILE_H_
