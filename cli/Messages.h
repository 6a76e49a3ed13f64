#ifndef ANNOTATOR_MESSAGES_H_
#define ANNOTATOR_MESSAGES_H_

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "ParseParser.h"
#include "TrainingExampleReader.h"
#include "text/NumberText.h"

// Every text the programs write besides their results: the messages on
// standard error, each ended by its "\n", and the line that ends
// annotator's listing. Users and scripts match them byte for byte.
namespace messages {

constexpr std::string_view kExtractPatternsUsage =
    "Usage: extract_patterns --help | --version | [--consistent] "
    "[--max-words N] [--tsv | --count [--memory SIZE] [--temp-dir DIR]] "
    "[--quiet] InFile [OutFile] | --merge-counts [--memory SIZE] "
    "[--temp-dir DIR] [--quiet] [-o OutFile] Table [Table...].\n";
// What extract_patterns --help writes on standard output after the usage line.
constexpr std::string_view kExtractPatternsHelp =
    "Writes every labelled constituent of the training examples of InFile as\n"
    "a candidate translation pattern, to OutFile or to standard output when\n"
    "it is absent or \"-\". Options come before InFile; after \"--\" every\n"
    "argument is a path, \"-odd.txt\" too (\"-\" alone is still standard\n"
    "input or output).\n"
    "\n"
    "  --consistent   only alignment-consistent constituents\n"
    "  --max-words N  only constituents of at most N SL words\n"
    "  --tsv          one pattern per line: record number, sentence id, type,\n"
    "                 SL words, TL words, alignment, C-structure, constituent\n"
    "                 sequence, score, x-side constraints; tab-separated\n"
    "  --count        each distinct pattern once: its count, then the eight\n"
    "                 pattern fields of --tsv; most frequent first\n"
    "  --memory SIZE  the most memory the table of --count or --merge-counts\n"
    "                 holds (512M, 4G: bytes, K, M or G; from 4M); beyond it\n"
    "                 the table goes to sorted runs on disk and is merged\n"
    "                 back. Default: a quarter of the memory the run may\n"
    "                 use (the machine's, or a ulimit's or cgroup's)\n"
    "  --temp-dir DIR where those runs go; default $TMPDIR, else /tmp\n"
    "  --merge-counts adds up the --count tables Table... into one, in\n"
    "                 --count's order, to -o OutFile or standard output\n"
    "  --quiet        no progress or summary line on standard error\n"
    "  --help         this text\n"
    "  --version      the version\n"
    "\n"
    "See man extract_patterns.\n";
constexpr std::string_view kMakeExamplesUsage =
    "Usage: make_examples --help | --version | [--quiet] [--bare-labels] "
    "Trees TLFile AlignmentFile [OutFile].\n";
// What make_examples --help writes on standard output after the usage line.
constexpr std::string_view kMakeExamplesHelp =
    "Writes a training example for every sentence of a corpus: tree k of\n"
    "Trees (bracketed trees as parsers and treebanks write them), line k of\n"
    "TLFile (the TL sentence) and line k of AlignmentFile (links i-j, both\n"
    "counted from 0). Records go to OutFile, or to standard output when it\n"
    "is absent or \"-\". A sentence that cannot become a record is skipped\n"
    "with a message, and the exit status is then 1. Blank lines after the\n"
    "last tree's lines are ignored. Options come before Trees; after \"--\"\n"
    "every argument is a path, \"-odd.ptb\" too (\"-\" alone is still\n"
    "standard input or output).\n"
    "\n"
    "  --quiet        no progress or summary line on standard error\n"
    "  --bare-labels  labels without function tags and co-indices: NP-SBJ-1\n"
    "                 and NP=2 become NP; -NONE-, -LRB- stay whole\n"
    "  --help         this text\n"
    "  --version      the version\n"
    "\n"
    "See man make_examples.\n";
constexpr std::string_view kSameFile =
    "InFile and OutFile name the same file.\n";
// annotator's, which names no file.
constexpr std::string_view kCannotOpenTrainingFile =
    "Couldn't open training file.\n";
constexpr std::string_view kCannotOpenOutFile = "Couldn't open outfile.\n";
// annotator's: a read of the input failed (an I/O error), the run ends
// there, exit 1. The other programs name the file and the reason.
constexpr std::string_view kCannotReadTrainingFile =
    "Couldn't read training file.\n";
constexpr std::string_view kCannotWriteOutFile = "Couldn't write outfile.\n";
// On standard output, after the listing of the record that could not be read
// whole.
constexpr std::string_view kNoTrainingExample =
    "Couldn't produce a training example.\n";

// A file as messages name it, "<role> <path>": the path as given, so the
// user finds it in the command line; "-", an input read from standard
// input, is "standard input" whatever its role.
inline std::string FileNamed(std::string_view role, std::string_view path) {
  return path == "-" ? std::string("standard input")
                     : std::string(role) + " " + std::string(path);
}
// The same at the start of a sentence.
inline std::string FileNamedFirst(std::string_view role,
                                  std::string_view path) {
  std::string named = FileNamed(role, path);
  if (!named.empty() && named[0] >= 'a' && named[0] <= 'z') {
    named[0] = static_cast<char>(named[0] - 'a' + 'A');
  }
  return named;
}
// "Couldn't <verb> <file>: <reason>.\n", the file named as FileNamed
// names it; with no reason, as for a read that a signal ended,
// ": <reason>" is left out.
inline std::string FileFailed(std::string_view verb, std::string_view role,
                              std::string_view path, std::string_view reason) {
  std::string text =
      "Couldn't " + std::string(verb) + " " + FileNamed(role, path);
  if (!reason.empty()) text += ": " + std::string(reason);
  return text + ".\n";
}
// The same with the system's reason for `error` (strerror), none for 0.
inline std::string FileFailed(std::string_view verb, std::string_view role,
                              std::string_view path, int error) {
  return FileFailed(
      verb, role, path,
      error != 0 ? std::string_view(std::strerror(error)) : std::string_view());
}
// "Training file PATH holds no training example.\n", or "Standard input
// ...": an input that holds more than blank lines but no whole record.
inline std::string HoldsNoTrainingExample(std::string_view path) {
  return FileNamedFirst("training file", path) +
         " holds no training example.\n";
}

// The three programs' output is "outfile PATH", or standard output when
// `outFile` is null.
inline std::string CannotOpenOutFile(const char* outFile, int error) {
  return FileFailed("open", "outfile", outFile, error);
}
inline std::string CannotWriteOutFile(const char* outFile, int error) {
  return outFile ? FileFailed("write", "outfile", outFile, error)
                 : FileFailed("write", "standard", "output", error);
}

// A usage mistake: "PROGRAM: PROBLEM\n", then the usage line.
inline std::string UsageError(std::string_view program,
                              std::string_view problem,
                              std::string_view usage) {
  return std::string(program) + ": " + std::string(problem) + "\n" +
         std::string(usage);
}

// "too few paths: N given, wanted WANTED." or "too many ...".
inline std::string WrongPathCount(int given, int least,
                                  std::string_view wanted) {
  return std::string(given < least ? "too few" : "too many") +
         " paths: " + Decimal(given) + " given, wanted " + std::string(wanted) +
         ".";
}

// annotator's usage line, naming the program by the word it was invoked by
// (null or empty gives an empty name).
inline std::string AnnotatorUsage(const char* invokedAs) {
  return std::string("Usage: ") + (invokedAs ? invokedAs : "") +
         " InFile OutFile.\n";
}

// extract_patterns' message for a record it skips: "Record N: " and the
// extractor's reason, numbered from 1 in the order read.
inline std::string SkippedRecord(long long number, std::string_view reason) {
  return "Record " + Decimal(number) + ": " + std::string(reason);
}

// What `program` --version writes on standard output.
inline std::string Version(const char* program) {
  return std::string(program) + " (annotator) " ANNOTATOR_VERSION "\n";
}
inline std::string ExtractPatternsVersion() {
  return Version("extract_patterns");
}

// The line extract_patterns redraws on a terminal while it reads: "N
// records done" and, when `percent` is not negative, ", P% of the input
// read".
inline std::string Progress(long long records, int percent) {
  std::string text =
      Decimal(records) + (records == 1 ? " record done" : " records done");
  if (percent >= 0) {
    text += ", " + Decimal(percent) + "% of the input read";
  }
  return text;
}

// "N things", the noun singular for 1.
inline std::string Counted(long long count, const char* noun) {
  return Decimal(count) + " " + noun + (count == 1 ? "" : "s");
}

// "N records read, K skipped, M patterns written.", "record" and "pattern"
// singular for 1: what extract_patterns says last on a terminal.
inline std::string RunSummary(long long records, long long skipped,
                              long long patterns) {
  return Counted(records, "record") + " read, " + Decimal(skipped) +
         " skipped, " + Counted(patterns, "pattern") + " written.\n";
}

// What make_examples says last on a terminal: "N sentences read, K
// skipped, M records written.".
inline std::string MakeExamplesSummary(long long sentences, long long skipped,
                                       long long records) {
  return Counted(sentences, "sentence") + " read, " + Decimal(skipped) +
         " skipped, " + Counted(records, "record") + " written.\n";
}

// The same for --count: "N records read, K skipped, M patterns counted, D
// distinct written.".
inline std::string CountSummary(long long records, long long skipped,
                                long long patterns, long long distinct) {
  std::string summary = RunSummary(records, skipped, patterns);
  summary.resize(summary.size() - std::string_view(" written.\n").size());
  return summary + " counted, " + Decimal(distinct) + " distinct written.\n";
}

// The same for --merge-counts: "N count tables read, M patterns counted, D
// distinct written.".
inline std::string MergeSummary(long long tables, long long patterns,
                                long long distinct) {
  return Counted(tables, "count table") + " read, " +
         Counted(patterns, "pattern") + " counted, " + Decimal(distinct) +
         " distinct written.\n";
}

// A run of --count or --merge-counts could not be made, written or read
// back in `dir`: "Couldn't write temporary file in DIR.".
inline std::string CannotWriteTemporary(std::string_view dir) {
  return "Couldn't write temporary file in " + std::string(dir) + ".\n";
}

// --merge-counts refuses line `line` (from 1) of table `path`: "Line N of
// count table PATH is not a count line." or "... is out of --count's
// order.".
inline std::string BadCountLine(long long line, std::string_view path,
                                bool ordered) {
  return "Line " + Decimal(line) + " of " + FileNamed("count table", path) +
         (ordered ? " is out of --count's order.\n"
                  : " is not a count line.\n");
}

// --merge-counts was given a count file of score_patterns --counts-only,
// which it cannot add up, for a table: "Count table PATH was written by
// score_patterns --counts-only: score_patterns --from-counts reads it.".
inline std::string CountFileForTable(std::string_view path) {
  return FileNamedFirst("count table", path) +
         " was written by score_patterns --counts-only: score_patterns "
         "--from-counts reads it.\n";
}

// The `files` of a run (count tables, count files) count more than `most`
// `what` (patterns, word links) in all: "The count tables hold more than M
// patterns in all.".
inline std::string TooManyCounted(std::string_view files, long long most,
                                  std::string_view what) {
  return "The " + std::string(files) + " hold more than " + Decimal(most) +
         " " + std::string(what) + " in all.\n";
}

// --merge-counts', which reads no records.
constexpr std::string_view kRanOutOfMemory = "Ran out of memory.\n";

// "Ran out of memory at record N.", written into `text` of `size` bytes
// without taking memory, for the moment when there is none.
inline void OutOfMemory(long long record, char* text, std::size_t size) {
  constexpr std::string_view kBefore = "Ran out of memory at record ";
  constexpr std::string_view kAfter = ".\n";
  char whole[kBefore.size() + kMostDecimalBytes + kAfter.size()];
  char* end = std::copy(kBefore.begin(), kBefore.end(), whole);
  end = PutDecimal(end, record);
  end = std::copy(kAfter.begin(), kAfter.end(), end);
  // Cut to `size` with its NUL, as snprintf would.
  const std::size_t kept =
      std::min(static_cast<std::size_t>(end - whole), size - 1);
  std::copy(whole, whole + kept, text);
  text[kept] = '\0';
}

// The library makes these two, since its own functions that end the process
// write them too: "Line N of the training file is longer than 99,999
// bytes." and the tree reader's format error.
using ::FormatErrorMessage;
using ::OverlongLineMessage;

}  // namespace messages

#endif  // ANNOTATOR_MESSAGES_H_
