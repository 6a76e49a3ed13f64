// extract_patterns [options] InFile [OutFile]: writes every constituent of
// every training example of InFile as a candidate pattern, as patterns, as
// tab-separated lines or as a table of distinct patterns with their counts.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <new>
#include <ostream>
#include <string>

#include "ExtractOptions.h"
#include "Fatal.h"
#include "FileChecks.h"
#include "Messages.h"
#include "PatternExtractor.h"
#include "PatternTable.h"
#include "ProgramFiles.h"
#include "ProgramReader.h"
#include "ProgressLine.h"
#include "RecordFile.h"
#include "TrainingExampleReader.h"

namespace {

// Whole patterns leave in writes of about this size: few write calls, and
// memory bounded by it and by one pattern, however many a record gives.
constexpr std::size_t kBatch = 1 << 20;

}  // namespace

int main(int argc, char** argv) {
  const unsigned reopened = ReserveStandardDescriptors();
  // A file-size limit is then one more failed write.
  std::signal(SIGXFSZ, SIG_IGN);

  const ExtractOptions options =
      ParseExtractOptions(argc, const_cast<const char* const*>(argv));
  switch (options.What) {
    case ExtractOptions::Action::Usage:
      Fatal(messages::UsageError("extract_patterns", options.Problem,
                                 messages::kExtractPatternsUsage));
    case ExtractOptions::Action::Help:
      Say(messages::kExtractPatternsHelp);
      return 0;
    case ExtractOptions::Action::Version:
      Say(messages::ExtractPatternsVersion());
      return 0;
    case ExtractOptions::Action::Run:
      break;
  }
  // Patterns on standard output end quietly with the reader of their pipe,
  // as "extract_patterns in.txt | head" wants; an OutFile whose reader goes
  // is a failed write.
  std::signal(SIGPIPE, options.OutFile ? SIG_IGN : SIG_DFL);
  HoldTerminationDuringWrites();

  TrainingInput in;
  RecordFile out;
  OpenProgramFiles(options.InFile, options.OutFile, in, out);
  // Patterns are all this program writes there: with standard output
  // closed, every one would be lost.
  if (!options.OutFile && (reopened & (1U << STDOUT_FILENO))) {
    Fatal(messages::CannotWriteOutFile(nullptr, EBADF));
  }
  out.SetFlushBound(kBatch);

  const bool terminal = !options.Quiet && ::isatty(STDERR_FILENO);
  ProgressLine progress(STDERR_FILENO, terminal && options.OutFile, terminal,
                        RegularFileSize(options.InFile),
                        [&in] { return ReadPosition(in.Stream()); });
  const auto fail = [&progress](std::string_view message) {
    progress.Finish("");
    Fatal(message);
  };

  ProgramReader reader(in);
  ExampleRecordView record;
  PatternExtractor extractor(options.Consistent, options.MaxWords);
  PatternCounter counter;
  long long records = 0;
  long long skipped = 0;
  long long patterns = 0;
  bool writeFailed = false;
  // Each pattern, or its line, is a unit of its own in the output's buffer;
  // a --tsv line is built there in place.
  const auto take = [&](const ExtractedPattern& pattern) {
    ++patterns;
    switch (options.Output) {
      case ExtractOptions::Format::Patterns:
        writeFailed = !out.Append(pattern.Text);
        break;
      case ExtractOptions::Format::Tsv:
        AppendTsvLine(static_cast<std::size_t>(records),
                      SentenceId(record.Header), pattern, out.Buffer());
        writeFailed = !out.EndUnit();
        break;
      case ExtractOptions::Format::Count:
        counter.Add(pattern);
        break;
    }
    return !writeFailed;
  };
  try {
    while (reader.Next(record)) {
      ++records;
      // Lines and the table want each pattern's fields, not its text.
      const Status status = options.Output == ExtractOptions::Format::Patterns
                                ? extractor.ForEachPattern(record, take)
                                : extractor.ForEachPatternFields(record, take);
      if (writeFailed)
        fail(messages::CannotWriteOutFile(options.OutFile, out.Error()));
      if (!status) {
        ++skipped;
        // What came before the skipped record leaves before its message.
        if (!out.Flush())
          fail(messages::CannotWriteOutFile(options.OutFile, out.Error()));
        progress.Finish("");
        const std::string message =
            messages::SkippedRecord(records, status.Message() + "\n");
        std::fwrite(message.data(), 1, message.size(), stderr);
      }
      progress.Update(records);
    }
    if (options.Output == ExtractOptions::Format::Count &&
        !counter.WriteTable([&out](long long count, std::string_view fields) {
          AppendTableRow(count, fields, out.Buffer());
          return out.EndUnit();
        })) {
      fail(messages::CannotWriteOutFile(options.OutFile, out.Error()));
    }
  } catch (const std::bad_alloc&) {
    // Every pattern already taken is whole; they leave before the message,
    // which is made without taking memory.
    out.Flush();
    char message[80];
    messages::OutOfMemory(records, message, sizeof message);
    fail(message);
  }
  if (!out.Close())
    fail(messages::CannotWriteOutFile(options.OutFile, out.Error()));
  if (reader.EndedShort()) fail(reader.EndMessage(options.InFile));
  progress.Finish(
      options.Output == ExtractOptions::Format::Count
          ? messages::CountSummary(records, skipped, counter.Total(),
                                   static_cast<long long>(counter.Distinct()))
          : messages::RunSummary(records, skipped, patterns));
  return skipped ? 1 : 0;
}
