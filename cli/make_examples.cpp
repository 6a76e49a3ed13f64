// make_examples [--quiet] [--bare-labels] Trees TLFile AlignmentFile [OutFile]:
// writes a training example for every sentence of a parsed, aligned corpus.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string>
#include <string_view>

#include "AnnotatedRecord.h"
#include "Fatal.h"
#include "FileChecks.h"
#include "Messages.h"
#include "ProgramFiles.h"
#include "ProgressLine.h"
#include "RecordFile.h"
#include "converter/ExampleMaker.h"
#include "text/NumberText.h"

namespace {

// Whole records leave in writes of about this size, as annotator's do.
constexpr std::size_t kBatchBytes = std::size_t{256} << 10;

}  // namespace

int main(int argc, char** argv) {
  const unsigned reopened = ReserveStandardDescriptors();
  std::signal(SIGXFSZ, SIG_IGN);

  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    Say(messages::kMakeExamplesUsage);
    Say(messages::kMakeExamplesHelp);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    Say(messages::Version("make_examples"));
    return 0;
  }
  // The options, in either order, each once; "--" ends them, and what
  // follows are paths, "-odd.ptb" too.
  bool quiet = false;
  bool bareLabels = false;
  bool ended = false;
  int first = 1;
  for (; first < argc; ++first) {
    if (!quiet && std::strcmp(argv[first], "--quiet") == 0) {
      quiet = true;
    } else if (!bareLabels && std::strcmp(argv[first], "--bare-labels") == 0) {
      bareLabels = true;
    } else {
      if (std::strcmp(argv[first], "--") == 0) {
        ended = true;
        ++first;
      }
      break;
    }
  }
  const auto usage = [](const std::string& problem) {
    Fatal(messages::UsageError("make_examples", problem,
                               messages::kMakeExamplesUsage));
  };
  for (int i = first; i < argc && !ended; ++i) {
    const std::string_view arg = argv[i];
    if (arg.size() < 2 || arg[0] != '-') continue;
    if (i > first) {
      usage("options come before Trees, not after: " + std::string(arg) + ".");
    }
    if (arg == "--quiet" || arg == "--bare-labels") {
      usage(std::string(arg) + " given twice.");
    }
    if (arg == "--help" || arg == "--version") {
      usage(std::string(arg) + " goes alone.");
    }
    usage("unknown option " + std::string(arg) + ".");
  }
  const int operands = argc - first;
  if (operands != 3 && operands != 4) {
    usage(messages::WrongPathCount(operands, 3,
                                   "Trees TLFile AlignmentFile [OutFile]"));
  }
  const char* treesFile = argv[first];
  const char* tlFile = argv[first + 1];
  const char* alignmentFile = argv[first + 2];
  const char* outFile = operands == 4 && std::strcmp(argv[first + 3], "-") != 0
                            ? argv[first + 3]
                            : nullptr;
  // One standard input cannot be read as two files, line k of each.
  if (IsStandardInput(treesFile) + IsStandardInput(tlFile) +
          IsStandardInput(alignmentFile) >
      1) {
    usage(
        "\"-\" given twice: only one of Trees, TLFile and AlignmentFile can "
        "be standard input.");
  }

  // As extract_patterns: records on standard output end quietly with the
  // reader of their pipe; an OutFile whose reader goes is a failed write.
  std::signal(SIGPIPE, outFile ? SIG_IGN : SIG_DFL);
  HoldTerminationDuringWrites();
  TrainingInput trees;
  TrainingInput tl;
  TrainingInput alignment;
  RecordFile out;
  // OpenProgramFiles' checks, in its order. A named OutFile is made or
  // emptied only once a record is about to be written, or at an end that
  // made none with nothing wrong: a run whose inputs, named in the wrong
  // places, make no record leaves the file named as OutFile as it was.
  OpenProgramInputs({{"tree file", treesFile, &trees},
                     {"TL file", tlFile, &tl},
                     {"alignment file", alignmentFile, &alignment}},
                    outFile);
  if (!outFile) OpenProgramOutput(outFile, out);
  // Windows editors begin a file with a byte-order mark: no part of the
  // first tree, TL line or links.
  for (TrainingInput* input : {&trees, &tl, &alignment}) {
    input->SkipByteOrderMark();
  }
  if (!outFile && (reopened & (1U << STDOUT_FILENO))) {
    Fatal(messages::CannotWriteOutFile(nullptr, EBADF));
  }
  out.SetFlushBound(kBatchBytes);

  const bool terminal = !quiet && ::isatty(STDERR_FILENO);
  ProgressLine progress(STDERR_FILENO, terminal && outFile, terminal,
                        RegularFileSize(treesFile),
                        [&trees] { return ReadPosition(trees.Stream()); });
  const auto fail = [&](std::string_view message) {
    progress.Finish("");
    Fatal(message);
  };
  // Sentences skipped before the first record may have drawn the progress
  // line: OutFile's refusal takes its place.
  bool outOpen = !outFile;
  const auto openOut = [&] {
    if (outOpen) return;
    if (!out.Open(outFile)) fail(messages::CannotOpenOutFile(outFile, errno));
    outOpen = true;
  };

  // The maker's messages call an input by its path.
  const auto named = [](const char* path) {
    return IsStandardInput(path) ? "standard input" : path;
  };
  ExampleMaker maker(trees.Stream(), tl.Stream(), alignment.Stream(),
                     named(treesFile), named(tlFile), named(alignmentFile));
  maker.SetBareLabels(bareLabels);
  // A failed read looks like the end of its file to the maker: whatever it
  // made of the step that met it, maybe from a line cut short, is not taken.
  const auto readFailed = [&] {
    return trees.ReadFailed() || tl.ReadFailed() || alignment.ReadFailed();
  };
  // The message naming the file whose read failed, and why.
  const auto readFailure = [&] {
    const auto [role, path, input] =
        trees.ReadFailed() ? ProgramInput{"tree file", treesFile, &trees}
        : tl.ReadFailed()
            ? ProgramInput{"TL file", tlFile, &tl}
            : ProgramInput{"alignment file", alignmentFile, &alignment};
    return messages::FileFailed("read", role, path, input->ReadReason());
  };
  const auto writeFailure = [&] {
    return messages::CannotWriteOutFile(outFile, out.Error());
  };
  ExampleRecordView record;
  int depth = 0;
  long long written = 0;
  long long skipped = 0;
  char header[48] = "SentenceIndex: ";
  const std::size_t headerMark = std::strlen(header);
  try {
    for (;;) {
      const ExampleMaker::Step step = maker.Next(record, depth);
      if (readFailed()) {
        // The records before it are whole.
        if (!out.Flush()) fail(writeFailure());
        fail(readFailure());
      }
      if (step == ExampleMaker::Step::kEnd) break;
      if (step == ExampleMaker::Step::kRecord) {
        openOut();
        static_assert(sizeof header >=
                      sizeof "SentenceIndex: " - 1 + kMostDecimalBytes);
        const char* end = PutDecimal(header + headerMark, record.Number);
        AppendAnnotatedRecord(
            record, depth,
            std::string_view(header, static_cast<std::size_t>(end - header)),
            out.Buffer());
        if (!out.EndUnit()) fail(writeFailure());
        ++written;
      } else {
        // The records before the message leave before it.
        if (!out.Flush()) fail(writeFailure());
        const std::string message = maker.Problem().Message() + "\n";
        if (step == ExampleMaker::Step::kStopped) fail(message);
        ++skipped;
        progress.Finish("");
        std::fwrite(message.data(), 1, message.size(), stderr);
      }
      // The records done are those written: a skipped sentence makes none.
      progress.Update(written);
    }
  } catch (const std::bad_alloc&) {
    out.Flush();
    char message[80];
    messages::OutOfMemory(static_cast<long long>(maker.Sentences()), message,
                          sizeof message);
    fail(message);
  }
  // Inputs that hold no sentence still make an empty OutFile.
  if (skipped == 0) openOut();
  if (outOpen && !out.Close()) fail(writeFailure());
  progress.Finish(messages::MakeExamplesSummary(
      static_cast<long long>(maker.Sentences()), skipped, written));
  return skipped ? 1 : 0;
}
