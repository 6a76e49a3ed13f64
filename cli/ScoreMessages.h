#ifndef ANNOTATOR_SCOREMESSAGES_H_
#define ANNOTATOR_SCOREMESSAGES_H_

#include <string>
#include <string_view>

#include "Messages.h"
#include "text/NumberText.h"

// score_patterns' own texts; the rest it shares with extract_patterns.
namespace messages {

constexpr std::string_view kScorePatternsUsage =
    "Usage: score_patterns --help | --version | [--consistent] "
    "[--max-words N] [--smoothing good-turing|kneser-ney] [--min-count N] "
    "[--moses] [--lexical PREFIX] [--memory SIZE] [--temp-dir DIR] [--quiet] "
    "InFile [OutFile].\n";
// What score_patterns --help writes on standard output.
constexpr std::string_view kScorePatternsHelp =
    "Usage: score_patterns --help | --version | [--consistent] "
    "[--max-words N] [--smoothing good-turing|kneser-ney] [--min-count N] "
    "[--moses] [--lexical PREFIX] [--memory SIZE] [--temp-dir DIR] [--quiet] "
    "InFile [OutFile].\n"
    "Counts the candidate patterns of the training examples of InFile (those\n"
    "extract_patterns writes) by SL side and TL words, and writes each pair\n"
    "once with both conditional probabilities and both lexical weights, as a\n"
    "tab-separated table with a header, to OutFile or to standard output\n"
    "when it is absent or \"-\". Options come before InFile.\n"
    "\n"
    "  --consistent        only alignment-consistent constituents\n"
    "  --max-words N       only constituents of at most N SL words\n"
    "  --smoothing S       discount the counts: good-turing or kneser-ney\n"
    "  --min-count N       only pairs seen at least N times\n"
    "  --moses             Moses' rule-table form, sorted bytewise\n"
    "  --lexical PREFIX    also the word table, as PREFIX.s2t and PREFIX.t2s\n"
    "  --memory SIZE       hold at most SIZE bytes, the word table's "
    "included,\n"
    "                      the rest in temporary files (from 4M, as 512M or\n"
    "                      4G; a quarter of the machine's memory by default)\n"
    "  --temp-dir DIR      where those go ($TMPDIR, else /tmp, by default)\n"
    "  --quiet             no progress or summary line on standard error\n"
    "  --help              this text\n"
    "  --version           the version\n"
    "\n"
    "See man score_patterns.\n";

inline std::string ScorePatternsVersion() { return Version("score_patterns"); }

// What score_patterns says last on a terminal: "N records read, K skipped,
// M patterns counted, E entries written.".
inline std::string ScoreSummary(long long records, long long skipped,
                                long long patterns, long long entries) {
  std::string summary = RunSummary(records, skipped, patterns);
  summary.resize(summary.size() - std::string_view(" written.\n").size());
  return summary + " counted, " + Decimal(entries) +
         (entries == 1 ? " entry" : " entries") + " written.\n";
}

}  // namespace messages

#endif  // ANNOTATOR_SCOREMESSAGES_H_
