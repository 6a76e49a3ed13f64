#include "ExtractOptions.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "FileChecks.h"
#include "Messages.h"
#include "UsableMemory.h"

namespace {

// A whole number from 1 on, digits only; 0 when `text` is none. Every
// number a size_t holds is taken, its largest too, so that a bound
// refused is one the program could not keep, not one near it.
std::size_t ReadWordBound(std::string_view text) {
  std::size_t value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end ? value : 0;
}

// A size in bytes: digits, then K, M or G (of 1024) or nothing; 0 when
// `text` is none or it overflows.
std::size_t ReadSize(std::string_view text) {
  std::size_t unit = 1;
  if (!text.empty()) {
    switch (text.back()) {
      case 'K':
      case 'k':
        unit = std::size_t{1} << 10;
        break;
      case 'M':
      case 'm':
        unit = std::size_t{1} << 20;
        break;
      case 'G':
      case 'g':
        unit = std::size_t{1} << 30;
        break;
      default:
        break;
    }
    if (unit != 1) text.remove_suffix(1);
  }
  const std::size_t value = ReadWordBound(text);
  if (value > static_cast<std::size_t>(-1) / unit) return 0;
  return value * unit;
}

// A quarter of the memory the process may use, where the system tells it.
std::size_t DefaultMemory() {
  const std::size_t usable = UsableMemory();
  if (usable == 0) return std::size_t{1} << 30;
  return std::max(usable / 4, kLeastCountMemory);
}

// The value of an option that takes one, given as "--name=value" or as
// "--name value"; false when `arg` is not that option. A missing value (the
// option ends the command line) reads as a view of no characters at all,
// which an argument, even an empty one, never is.
bool OptionValue(std::string_view name, int argc, const char* const* argv,
                 int& at, std::string_view& value) {
  const std::string_view arg = argv[at];
  if (arg == name) {
    value = at + 1 < argc ? std::string_view(argv[++at]) : std::string_view();
    return true;
  }
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
      arg[name.size()] == '=') {
    value = arg.substr(name.size() + 1);
    return true;
  }
  return false;
}

// What is wrong with score_patterns' options for its mode, "" for nothing:
// counting takes the options that choose patterns, scoring count files
// those that score, and only the latter takes -o; --memory and --temp-dir
// go with every mode.
std::string ScoreModeProblem(
    const ExtractOptions& options,
    std::initializer_list<std::pair<bool, const char*>> given) {
  if (options.CountsOnly && options.FromCounts) {
    return "--counts-only and --from-counts cannot go together.";
  }
  const char* const mode = options.CountsOnly   ? "--counts-only"
                           : options.FromCounts ? "--from-counts"
                                                : nullptr;
  for (const auto& [set, name] : given) {
    if (!set) continue;
    const std::string_view option = name;
    const bool chooses = option == "--consistent" || option == "--max-words";
    const bool sizing = option == "--memory" || option == "--temp-dir";
    if (!mode && option == "-o") return "-o goes with --from-counts.";
    if ((options.CountsOnly && !chooses && !sizing) ||
        (options.FromCounts && chooses)) {
      return std::string(mode) + " and " + name + " cannot go together.";
    }
  }
  return "";
}

// Both programs' command lines: `scoring` admits score_patterns' options
// and refuses --tsv and --count.
ExtractOptions Parse(int argc, const char* const* argv, bool scoring) {
  ExtractOptions options;
  const auto usage = [](std::string problem) {
    ExtractOptions refused;
    refused.Problem = std::move(problem);
    return refused;
  };
  // How a usage message that names what an option takes ends: the value
  // given, quoted, or that none came.
  const auto valueGiven = [](std::string_view value) {
    return value.data() ? ", not \"" + std::string(value) + "\"."
                        : std::string("; none given.");
  };
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    options.What = ExtractOptions::Action::Help;
    return options;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    options.What = ExtractOptions::Action::Version;
    return options;
  }

  bool tsv = false;
  bool count = false;
  bool bounded = false;
  bool smoothed = false;
  bool floored = false;
  bool lexical = false;
  bool sized = false;
  bool placed = false;
  bool named = false;
  // "--" ends the options: what follows are paths, "-odd.txt" too.
  bool ended = false;
  int at = 1;
  for (; at < argc; ++at) {
    const std::string_view arg = argv[at];
    // "-" alone is an operand: standard output as OutFile.
    if (arg.size() < 2 || arg[0] != '-') break;
    if (arg == "--") {
      ended = true;
      ++at;
      break;
    }
    bool* flag = nullptr;
    std::string_view value;
    // The option's name, without a "=value" it came with.
    const std::string_view name = arg.substr(0, arg.find('='));
    const std::string wholeNumber =
        std::string(name) + " takes a whole number from 1";
    if (arg == "--help" || arg == "--version") {
      return usage(std::string(arg) + " goes alone.");
    } else if (arg == "--consistent") {
      flag = &options.Consistent;
    } else if (!scoring && arg == "--tsv") {
      flag = &tsv;
    } else if (!scoring && arg == "--count") {
      flag = &count;
    } else if (scoring && arg == "--moses") {
      flag = &options.Moses;
    } else if (arg == "--quiet") {
      flag = &options.Quiet;
    } else if (!scoring && arg == "--merge-counts") {
      flag = &options.MergeCounts;
    } else if (scoring && arg == "--counts-only") {
      flag = &options.CountsOnly;
    } else if (scoring && arg == "--from-counts") {
      flag = &options.FromCounts;
    } else if (OptionValue("--memory", argc, argv, at, value)) {
      flag = &sized;
      options.Memory = ReadSize(value);
      if (options.Memory < kLeastCountMemory) {
        return usage("--memory takes a size from 4M, as 512M or 4G" +
                     valueGiven(value));
      }
    } else if (OptionValue("--temp-dir", argc, argv, at, value)) {
      flag = &placed;
      if (value.empty()) return usage("--temp-dir takes a directory.");
      options.TempDir = value.data();
    } else if (OptionValue("-o", argc, argv, at, value)) {
      flag = &named;
      if (value.empty()) return usage("-o takes a file name.");
      options.OutFile = value == "-" ? nullptr : value.data();
    } else if (OptionValue("--max-words", argc, argv, at, value)) {
      flag = &bounded;
      options.MaxWords = ReadWordBound(value);
      if (options.MaxWords == 0) return usage(wholeNumber + valueGiven(value));
    } else if (scoring && OptionValue("--min-count", argc, argv, at, value)) {
      flag = &floored;
      options.MinCount = ReadWordBound(value);
      if (options.MinCount == 0) return usage(wholeNumber + valueGiven(value));
    } else if (scoring && OptionValue("--smoothing", argc, argv, at, value)) {
      flag = &smoothed;
      if (value == "good-turing") {
        options.Smooth = ExtractOptions::Smoothing::GoodTuring;
      } else if (value == "kneser-ney") {
        options.Smooth = ExtractOptions::Smoothing::KneserNey;
      } else {
        return usage("--smoothing takes good-turing or kneser-ney" +
                     valueGiven(value));
      }
    } else if (scoring && OptionValue("--lexical", argc, argv, at, value)) {
      flag = &lexical;
      if (value.empty()) return usage("--lexical takes a file name prefix.");
      options.LexicalPrefix = value.data();
    } else {
      // Whole, as make_examples says it: "--consistent=1" is unknown, not
      // --consistent.
      return usage("unknown option " + std::string(arg) + ".");
    }
    if (*flag) return usage(std::string(name) + " given twice.");
    *flag = true;
  }
  if (tsv && count) return usage("--tsv and --count cannot go together.");
  if (scoring) {
    std::string problem =
        ScoreModeProblem(options, {{options.Consistent, "--consistent"},
                                   {bounded, "--max-words"},
                                   {smoothed, "--smoothing"},
                                   {floored, "--min-count"},
                                   {options.Moses, "--moses"},
                                   {lexical, "--lexical"},
                                   {named, "-o"},
                                   {sized, "--memory"},
                                   {placed, "--temp-dir"}});
    if (!problem.empty()) return usage(std::move(problem));
  } else if (options.MergeCounts) {
    for (const auto& [given, name] :
         {std::pair{tsv, "--tsv"}, std::pair{count, "--count"},
          std::pair{options.Consistent, "--consistent"},
          std::pair{bounded, "--max-words"}}) {
      if (given) {
        return usage(std::string("--merge-counts and ") + name +
                     " cannot go together.");
      }
    }
  } else if (named) {
    return usage("-o goes with --merge-counts.");
  } else if ((sized || placed) && !count && !scoring) {
    return usage(std::string(sized ? "--memory" : "--temp-dir") +
                 " goes with --count or --merge-counts.");
  }
  if (!sized) options.Memory = DefaultMemory();
  if (!placed) {
    const char* const temporary = std::getenv("TMPDIR");
    options.TempDir = temporary && *temporary ? temporary : "/tmp";
  }
  options.Output = count ? ExtractOptions::Format::Count
                   : tsv ? ExtractOptions::Format::Tsv
                         : ExtractOptions::Format::Patterns;

  // As with sort, -o may follow the files a merge reads, unless "--" made
  // it a path.
  if ((options.FromCounts || options.MergeCounts) && !named && !ended) {
    if (argc - at >= 2 && std::strcmp(argv[argc - 2], "-o") == 0) {
      const std::string_view value = argv[argc - 1];
      if (value.empty()) return usage("-o takes a file name.");
      options.OutFile = value == "-" ? nullptr : value.data();
      argc -= 2;
    } else if (argc - at >= 1 && std::strcmp(argv[argc - 1], "-o") == 0) {
      // A trailing -o lacks its file, as it would before the files.
      return usage("-o takes a file name.");
    }
  }
  for (int i = at; i < argc && !ended; ++i) {
    if (argv[i][0] == '-' && argv[i][1] != '\0') {
      return usage(std::string("options come before InFile, not after: ") +
                   argv[i] + ".");
    }
  }
  const int operands = argc - at;
  if (options.MergeCounts || options.FromCounts) {
    if (operands == 0) {
      return usage(messages::WrongPathCount(operands, 1,
                                            options.FromCounts
                                                ? "CountFile [CountFile...]"
                                                : "Table [Table...]"));
    }
    options.Tables.assign(argv + at, argv + argc);
    // One standard input cannot be read as two files: the second would find
    // the first's end, or nothing. make_examples refuses it alike.
    if (std::count_if(options.Tables.begin(), options.Tables.end(),
                      IsStandardInput) > 1) {
      return usage(std::string("\"-\" given twice: only one ") +
                   (options.FromCounts ? "CountFile" : "Table") +
                   " can be standard input.");
    }
    options.What = ExtractOptions::Action::Run;
    return options;
  }
  if (operands != 1 && operands != 2) {
    return usage(messages::WrongPathCount(
        operands, 1,
        options.CountsOnly ? "InFile [CountFile]" : "InFile [OutFile]"));
  }
  options.InFile = argv[at];
  if (operands == 2 && std::strcmp(argv[at + 1], "-") != 0) {
    options.OutFile = argv[at + 1];
  }
  options.What = ExtractOptions::Action::Run;
  return options;
}

}  // namespace

ExtractOptions ParseExtractOptions(int argc, const char* const* argv) {
  return Parse(argc, argv, false);
}

ExtractOptions ParseScoreOptions(int argc, const char* const* argv) {
  return Parse(argc, argv, true);
}
