#ifndef ANNOTATOR_EXTRACTOPTIONS_H_
#define ANNOTATOR_EXTRACTOPTIONS_H_

#include <cstddef>
#include <string>

// What the command line of extract_patterns or score_patterns asks for.
// Options come before the operands, each at most once; --help and --version
// stand alone. The two programs share the options that choose the patterns
// (--consistent, --max-words) and --quiet, so both read them alike.
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

  // score_patterns alone.
  Smoothing Smooth = Smoothing::None;
  // The least count of an entry written; 1 writes every one.
  std::size_t MinCount = 1;
  bool Moses = false;
  // Where the word table goes (PREFIX.s2t, PREFIX.t2s); nullptr for nowhere.
  const char* LexicalPrefix = nullptr;
};

// Reads `argv[1]` to `argv[argc - 1]`. Any option it does not know, one given
// twice, --tsv with --count, a --max-words without a whole number from 1 on,
// or other than one or two operands give Action::Usage, the first mistake
// found told in Problem.
ExtractOptions ParseExtractOptions(int argc, const char* const* argv);

// The same for score_patterns: --consistent, --max-words N, --smoothing
// good-turing|kneser-ney, --min-count N (a whole number from 1 on), --moses,
// --lexical PREFIX (not empty) and --quiet.
ExtractOptions ParseScoreOptions(int argc, const char* const* argv);

#endif  // ANNOTATOR_EXTRACTOPTIONS_H_
