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

// Reads the count files at `paths` ("-" for standard input, gzip as every
// input), each whole: the pattern rows of each as one sorted run of
// `patterns`, each word link handed to `addLink`. Returns the message of the
// first refusal ("" for none): a file that cannot be opened or read, that is no
// count file or of another version, counted with other options than the
// first, or a line of it out of place.
using WordLinkTaker =
    std::function<void(std::string_view, std::string_view, long long)>;
std::string ReadCountFiles(const std::vector<const char*>& paths,
                           SortedRuns& patterns, const WordLinkTaker& addLink);

#endif  // ANNOTATOR_COUNTFILE_H_
