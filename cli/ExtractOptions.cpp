#include "ExtractOptions.h"

#include <cstring>
#include <string_view>

namespace {

// A whole number from 1 on, digits only; 0 when `text` is none.
std::size_t ReadWordBound(std::string_view text) {
  constexpr std::size_t kMost = static_cast<std::size_t>(-1) / 10 - 1;
  std::size_t value = 0;
  if (text.empty()) return 0;
  for (const char c : text) {
    if (c < '0' || c > '9' || value > kMost) return 0;
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  return value;
}

}  // namespace

ExtractOptions ParseExtractOptions(int argc, const char* const* argv) {
  ExtractOptions options;
  const auto usage = [] { return ExtractOptions(); };
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
  int at = 1;
  for (; at < argc; ++at) {
    const std::string_view arg = argv[at];
    // "-" alone is an operand: standard output as OutFile.
    if (arg.size() < 2 || arg[0] != '-') break;
    bool* flag = nullptr;
    if (arg == "--consistent") {
      flag = &options.Consistent;
    } else if (arg == "--tsv") {
      flag = &tsv;
    } else if (arg == "--count") {
      flag = &count;
    } else if (arg == "--quiet") {
      flag = &options.Quiet;
    } else if (arg == "--max-words" || arg.rfind("--max-words=", 0) == 0) {
      flag = &bounded;
      std::string_view bound;
      if (arg.size() > std::strlen("--max-words")) {
        bound = arg.substr(std::strlen("--max-words="));
      } else if (at + 1 < argc) {
        bound = argv[++at];
      }
      options.MaxWords = ReadWordBound(bound);
      if (options.MaxWords == 0) return usage();
    } else {
      return usage();
    }
    if (*flag) return usage();
    *flag = true;
  }
  if (tsv && count) return usage();
  options.Output = count ? ExtractOptions::Format::Count
                   : tsv ? ExtractOptions::Format::Tsv
                         : ExtractOptions::Format::Patterns;

  const int operands = argc - at;
  if (operands != 1 && operands != 2) return usage();
  for (int i = at; i < argc; ++i) {
    if (argv[i][0] == '-' && argv[i][1] != '\0') return usage();
  }
  options.InFile = argv[at];
  if (operands == 2 && std::strcmp(argv[at + 1], "-") != 0) {
    options.OutFile = argv[at + 1];
  }
  options.What = ExtractOptions::Action::Run;
  return options;
}
