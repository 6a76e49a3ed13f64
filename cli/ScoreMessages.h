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
    "InFile [OutFile] | "
    "[--consistent] [--max-words N] [--quiet] [--memory SIZE] "
    "[--temp-dir DIR] --counts-only InFile [CountFile] | "
    "[--smoothing good-turing|kneser-ney] [--min-count N] [--moses] "
    "[--lexical PREFIX] [--quiet] [--memory SIZE] [--temp-dir DIR] "
    "--from-counts CountFile... [-o OutFile].\n";
// What score_patterns --help writes on standard output after the usage line.
constexpr std::string_view kScorePatternsHelp =
    "Counts the candidate patterns of the training examples of InFile (those\n"
    "extract_patterns writes) by SL side and TL words, and writes each pair\n"
    "once with both conditional probabilities and both lexical weights, as a\n"
    "tab-separated table with a header, to OutFile or to standard output\n"
    "when it is absent or \"-\". Options come before InFile; after \"--\"\n"
    "every argument is a path, \"-odd.txt\" too (\"-\" alone is still\n"
    "standard input or output).\n"
    "--counts-only writes InFile's counts alone, as a count file, to\n"
    "CountFile or standard output; --from-counts adds up count files, of\n"
    "pieces of a corpus, and writes the table of the whole to OutFile or\n"
    "standard output.\n"
    "\n"
    "  --consistent        only alignment-consistent constituents\n"
    "  --max-words N       only constituents of at most N SL words\n"
    "  --smoothing S       discount the counts: good-turing or kneser-ney\n"
    "  --min-count N       only pairs seen at least N times\n"
    "  --moses             Moses' rule-table form, sorted bytewise\n"
    "  --lexical PREFIX    also the word table, as PREFIX.s2t and PREFIX.t2s\n"
    "  --counts-only       count only: write a count file\n"
    "  --from-counts       score count files counted apart, as one\n"
    "  -o OutFile          --from-counts' output\n"
    "  --memory SIZE       hold at most SIZE bytes, the word table's "
    "included,\n"
    "                      the rest in temporary files (from 4M, as 512M or\n"
    "                      4G; by default a quarter of the memory the run\n"
    "                      may use: the machine's, a ulimit's or cgroup's)\n"
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

// --from-counts' refusals of count file `path`, which --counts-only writes
// (standard input named as FileNamed names it):
// "Count file F was not written by score_patterns --counts-only." (another
// program's file, or none); "Count file F is of version V, not 1."; "Count
// file F was counted with OPTIONS, count file G with OTHERS."; "Count file F
// ends before its end line."
inline std::string NotCountFile(std::string_view path) {
  return FileNamedFirst("count file", path) +
         " was not written by score_patterns --counts-only.\n";
}
inline std::string CountFileVersion(std::string_view path,
                                    std::string_view version) {
  return FileNamedFirst("count file", path) + " is of version " +
         std::string(version) + ", not 1.\n";
}
inline std::string CountedApart(std::string_view path, std::string_view with,
                                std::string_view first,
                                std::string_view firstWith) {
  return FileNamedFirst("count file", path) + " was counted with " +
         std::string(with) + ", " + FileNamed("count file", first) + " with " +
         std::string(firstWith) + ".\n";
}
// A --lexical file would replace an input or the table: "Word table file
// F names an input or OutFile.".
inline std::string WordTableNamesOther(std::string_view path) {
  return FileNamedFirst("word table file", path) +
         " names an input or OutFile.\n";
}
inline std::string CountFileCut(std::string_view path) {
  return FileNamedFirst("count file", path) + " ends before its end line.\n";
}
// "Line N of count file F is not a count line.", "... is out of order."
// (pattern rows come bytewise by their fields, each once) or "... is not a
// word link line.".
enum class CountLineFault { kNotCount, kOutOfOrder, kNotWordLink };
inline std::string BadCountFileLine(long long line, std::string_view path,
                                    CountLineFault fault) {
  return "Line " + Decimal(line) + " of " + FileNamed("count file", path) +
         (fault == CountLineFault::kNotCount ? " is not a count line.\n"
          : fault == CountLineFault::kOutOfOrder
              ? " is out of order.\n"
              : " is not a word link line.\n");
}

// What --from-counts says last on a terminal: "N count files read, M
// patterns counted, E entries written.".
inline std::string FromCountsSummary(long long files, long long patterns,
                                     long long entries) {
  return Counted(files, "count file") + " read, " +
         Counted(patterns, "pattern") + " counted, " + Decimal(entries) +
         (entries == 1 ? " entry" : " entries") + " written.\n";
}

}  // namespace messages

#endif  // ANNOTATOR_SCOREMESSAGES_H_
