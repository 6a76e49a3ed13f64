#ifndef ANNOTATOR_EXTRACTOPTIONS_H_
#define ANNOTATOR_EXTRACTOPTIONS_H_

#include <cstddef>
#include <string>
#include <vector>

// What the command line of extract_patterns or score_patterns asks for.
// Options come before the operands, each at most once, and "--" ends them;
// --help and --version stand alone. The two programs share the options that
// choose the patterns (--consistent, --max-words) and --quiet, so both read
// them alike.
// NOLINTNEXTLINE(clang-analyzer-optin.performance.Padding): one per run.
struct ExtractOptions {
  enum class Action { Run, Help, Version, Usage };
  enum class Format { Patterns, Tsv, Count };
  enum class Smoothing { None, GoodTuring, KneserNey };

  Action What = Action::Usage;
  // With Action::Usage, what was wrong, as one sentence for the user:
  // "unknown option --quite.".
  std::string Problem;
  bool Consistent = false;
  Format Output = Format::Patterns;
  // The most SL words a constituent may span; 0 sets no bound.
  std::size_t MaxWords = 0;
  bool Quiet = false;
  const char* InFile = nullptr;
  // nullptr when the patterns go to standard output ("-" or no OutFile).
  const char* OutFile = nullptr;

  // --count, --merge-counts and score_patterns: the most bytes the table
  // may hold (a quarter of the memory the process may use unless given), and
  // the directory of the runs it goes to beyond that ($TMPDIR, else /tmp,
  // unless given).
  std::size_t Memory = 0;
  const char* TempDir = nullptr;
  // --merge-counts: the tables it adds up; OutFile is -o's.
  bool MergeCounts = false;
  std::vector<const char*> Tables;

  // score_patterns alone.
  Smoothing Smooth = Smoothing::None;
  // The least count of an entry written; 1 writes every one.
  std::size_t MinCount = 1;
  bool Moses = false;
  // Where the word table goes (PREFIX.s2t, PREFIX.t2s); nullptr for nowhere.
  const char* LexicalPrefix = nullptr;
  // --counts-only: InFile's counts go to OutFile as a count file, unscored.
  bool CountsOnly = false;
  // --from-counts: the count files in Tables are scored into -o's OutFile.
  bool FromCounts = false;
};

// The least --memory: a pattern counter's first slots and block.
constexpr std::size_t kLeastCountMemory = std::size_t{4} << 20;

// Reads `argv[1]` to `argv[argc - 1]`. Any option it does not know, one given
// twice, --tsv with --count, a --max-words without a whole number from 1 on,
// a --memory that is not a size from kLeastCountMemory, --memory or
// --temp-dir without --count or --merge-counts, or other than one or two
// operands give Action::Usage, the first mistake found told in Problem.
// With --merge-counts the operands are its tables, one or more, "-" for one
// at most, and OutFile comes with -o; --merge-counts takes none of the
// options that choose or lay out patterns.
ExtractOptions ParseExtractOptions(int argc, const char* const* argv);

// The same for score_patterns: --consistent, --max-words N, --smoothing
// good-turing|kneser-ney, --min-count N (a whole number from 1 on), --moses,
// --lexical PREFIX (not empty) and --quiet; --counts-only, which takes
// only the options that choose patterns, or --from-counts CountFile...
// [-o OutFile], which takes only those that score. --memory and --temp-dir
// go with every mode.
ExtractOptions ParseScoreOptions(int argc, const char* const* argv);

#endif  // ANNOTATOR_EXTRACTOPTIONS_H_
