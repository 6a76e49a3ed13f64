// score_patterns [options] InFile [OutFile]: counts the candidate patterns
// of InFile by SL side and TL words and writes the scored table a learner or
// decoder reads: both conditional probabilities and both lexical weights.
// Or either half alone: --counts-only writes the counts, --from-counts
// scores those of any number of pieces.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "ExtractOptions.h"
#include "Fatal.h"
#include "FileChecks.h"
#include "PatternExtractor.h"
#include "PatternScorer.h"
#include "ProgramFiles.h"
#include "ProgramReader.h"
#include "ProgressLine.h"
#include "RecordFile.h"
#include "ReplacingFile.h"
#include "ScoreCounts.h"
#include "ScoreMessages.h"
#include "ScoredLines.h"
#include "SortedRuns.h"
#include "records/TrainingFile.h"

namespace {

constexpr std::size_t kBatch = 1 << 20;

// An output of the run: the table's, or one half of the word table's.
struct Output {
  ReplacingFile File;
  RecordFile Out;
};

// Refuses outputs that would replace an input or one another, before
// anything is read: each takes its name only at the end, so the input
// or the output before it would be lost. InFile against OutFile is
// OpenProgramInputs' to check.
void CheckOutputs(const ExtractOptions& options,
                  const std::vector<std::string>& wordTables) {
  const auto reads = [](const char* input, const char* output) {
    return IsStandardInput(input) ? DescriptorNamesFile(STDIN_FILENO, output)
                                  : NameSameFile(input, output);
  };
  std::vector<const char*> inputs = options.Tables;
  if (!options.FromCounts) inputs.assign(1, options.InFile);
  for (const char* input : inputs) {
    if (options.FromCounts && options.OutFile &&
        reads(input, options.OutFile)) {
      Fatal(messages::kSameFile);
    }
    for (const std::string& table : wordTables) {
      if (reads(input, table.c_str()) ||
          (options.OutFile && NameSamePlace(options.OutFile, table.c_str()))) {
        Fatal(messages::WordTableNamesOther(table));
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned reopened = ReserveStandardDescriptors();
  std::signal(SIGXFSZ, SIG_IGN);

  const ExtractOptions options =
      ParseScoreOptions(argc, const_cast<const char* const*>(argv));
  switch (options.What) {
    case ExtractOptions::Action::Usage:
      Fatal(messages::UsageError("score_patterns", options.Problem,
                                 messages::kScorePatternsUsage));
    case ExtractOptions::Action::Help:
      Say(messages::kScorePatternsUsage);
      Say(messages::kScorePatternsHelp);
      return 0;
    case ExtractOptions::Action::Version:
      Say(messages::ScorePatternsVersion());
      return 0;
    case ExtractOptions::Action::Run:
      break;
  }
  std::signal(SIGPIPE, options.OutFile ? SIG_IGN : SIG_DFL);
  // Every file this run names stays unnamed or hidden until it is whole.
  RemoveTemporariesOnTermination();
  if (options.CountsOnly) return CountOnly(options, reopened);

  // The checks of extract_patterns, in its order; OutFile is only created
  // beside, never emptied.
  TrainingInput in;
  if (!options.FromCounts) {
    OpenProgramInputs({{"training file", options.InFile, &in}},
                      options.OutFile);
  }
  std::vector<Output> outputs(options.LexicalPrefix ? 3 : 1);
  std::vector<std::string> wordTables;
  if (options.LexicalPrefix) {
    wordTables = {std::string(options.LexicalPrefix) + ".s2t",
                  std::string(options.LexicalPrefix) + ".t2s"};
  }
  CheckOutputs(options, wordTables);
  std::vector<std::string> names;
  if (options.OutFile) names.emplace_back(options.OutFile);
  names.insert(names.end(), wordTables.begin(), wordTables.end());

  for (std::size_t i = 0; i < names.size(); ++i) {
    Output& output = outputs[options.OutFile ? i : i + 1];
    if (!output.File.Open(names[i].c_str())) {
      Fatal(messages::CannotOpenOutFile(names[i].c_str(), errno));
    }
    output.Out.Adopt(output.File.Fd());
  }
  if (!options.OutFile) {
    if (reopened & (1U << STDOUT_FILENO)) {
      Fatal(messages::CannotWriteOutFile(nullptr, EBADF));
    }
    outputs[0].Out.Adopt(STDOUT_FILENO);
  }
  for (Output& output : outputs) output.Out.SetFlushBound(kBatch);

  const bool terminal = !options.Quiet && ::isatty(STDERR_FILENO);
  ProgressLine progress(
      STDERR_FILENO, terminal && options.OutFile && !options.FromCounts,
      terminal, options.FromCounts ? 0 : RegularFileSize(options.InFile),
      [&in] { return ReadPosition(in.Stream()); });
  const auto fail = [&](std::string_view message) {
    progress.Finish("");
    for (Output& output : outputs) output.File.Discard();
    Fatal(message);
  };
  // outputs[i] failed with `error`: name it as the command line did.
  const auto failWriting = [&](std::size_t i, int error) {
    const std::size_t named = options.OutFile ? i : i - 1;
    fail(messages::CannotWriteOutFile(
        i == 0 && !options.OutFile ? nullptr : names[named].c_str(), error));
  };

  ProgramReader reader(in);
  PatternExtractor extractor(options.Consistent, options.MaxWords);
  PatternScorer scorer(options.Memory, options.TempDir);
  long long records = 0;
  long long skipped = 0;
  long long written = 0;
  try {
    if (options.FromCounts) {
      const std::string refusal = AddCountFiles(options, scorer);
      if (!refusal.empty()) fail(refusal);
    } else {
      CountRecords(
          reader, extractor, progress,
          [&scorer](const ExtractedPattern& pattern) {
            scorer.Add(pattern);
            return true;
          },
          [&scorer](const ExampleRecordView& record) {
            scorer.AddRecord(record);
          },
          records, skipped);
      // Nothing is written unless the input was read to its end.
      if (const std::string refusal = reader.Refusal(options.InFile);
          !refusal.empty()) {
        fail(refusal);
      }
    }
    RecordFile& out = outputs[0].Out;
    const bool ok =
        (options.Moses || out.Append(kScoredHeader)) &&
        scorer.Write(
            options.Smooth, options.MinCount,
            options.Moses ? PatternScorer::Layout::Moses
                          : PatternScorer::Layout::Table,
            [&out](std::string_view line) { return out.Append(line); },
            written);
    if (!ok) failWriting(0, out.Error());
    for (std::size_t i = 1; i < outputs.size(); ++i) {
      RecordFile& lexical = outputs[i].Out;
      if (!scorer.Words().ForEachLine(i == 1,
                                      [&lexical](std::string_view line) {
                                        return lexical.Append(line);
                                      })) {
        failWriting(i, outputs[i].Out.Error());
      }
    }
  } catch (const TemporaryFileError&) {
    fail(messages::CannotWriteTemporary(options.TempDir));
  } catch (const std::bad_alloc&) {
    char message[80];
    messages::OutOfMemory(records, message, sizeof message);
    fail(message);
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (!outputs[i].Out.Close()) failWriting(i, outputs[i].Out.Error());
  }
  // Every output named before any replaces its file: a word table that
  // cannot be (its directory gone) leaves OutFile as it was.
  for (std::size_t i = options.OutFile ? 0 : 1; i < outputs.size(); ++i) {
    if (!outputs[i].File.Prepare()) failWriting(i, errno);
  }
  for (std::size_t i = options.OutFile ? 0 : 1; i < outputs.size(); ++i) {
    if (!outputs[i].File.Commit()) failWriting(i, errno);
  }
  progress.Finish(options.FromCounts
                      ? messages::FromCountsSummary(
                            static_cast<long long>(options.Tables.size()),
                            scorer.Patterns(), written)
                      : messages::ScoreSummary(records, skipped,
                                               scorer.Patterns(), written));
  return skipped ? 1 : 0;
}
