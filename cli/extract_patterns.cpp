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

#include "BoundedCounter.h"
#include "CountTables.h"
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
#include "ReplacingFile.h"
#include "SortedRuns.h"
#include "TrainingExampleReader.h"

namespace {

// Whole patterns leave in writes of about this size: few write calls, and
// memory bounded by it and by one pattern, however many a record gives.
// Small enough that the kernel copies each write out of the processor's
// cache, as annotator's do: writes of 1 MiB took 6 to 8% more CPU.
constexpr std::size_t kBatch = std::size_t{256} << 10;

// A table, of --count or --merge-counts, leaves whole or not at all: an
// OutFile takes its name only once the last row is in.
struct TableOutput {
  ReplacingFile File;
  RecordFile Out;
};

// Opens `outFile` as a table output, or adopts standard output for null.
void OpenTable(const char* outFile, unsigned reopened, TableOutput& output) {
  if (!outFile) {
    if (reopened & (1U << STDOUT_FILENO)) {
      Fatal(messages::CannotWriteOutFile(nullptr, EBADF));
    }
    output.Out.Adopt(STDOUT_FILENO);
  } else if (!output.File.Open(outFile)) {
    Fatal(messages::CannotOpenOutFile(outFile, errno));
  } else {
    output.Out.Adopt(output.File.Fd());
  }
  output.Out.SetFlushBound(kBatch);
}

// Writes the table `write` hands its rows to, adding them up in `rows`;
// false when a write failed.
template <class Write>
bool WriteTableTo(RecordFile& out, long long& rows, Write&& write) {
  return write([&out, &rows](std::uint64_t count, std::string_view fields) {
    ++rows;
    AppendTableRow(static_cast<long long>(count), fields, out.Buffer());
    return out.EndUnit();
  });
}

// --merge-counts: the tables of options.Tables added up into one.
int MergeCounts(const ExtractOptions& options, unsigned reopened) {
  TableOutput output;
  OpenTable(options.OutFile, reopened, output);
  const auto fail = [&output](std::string_view message) {
    output.File.Discard();
    Fatal(message);
  };
  long long patterns = 0;
  long long distinct = 0;
  try {
    BoundedCounter counter(options.Memory, options.TempDir);
    const std::string refusal = ReadCountTables(options.Tables, counter);
    if (!refusal.empty()) fail(refusal);
    if (!WriteTableTo(output.Out, distinct, [&](const RowTaker& take) {
          return counter.WriteTable(
              [&](std::uint64_t count, std::string_view fields) {
                patterns += static_cast<long long>(count);
                return take(count, fields);
              });
        })) {
      fail(messages::CannotWriteOutFile(options.OutFile, output.Out.Error()));
    }
  } catch (const TemporaryFileError&) {
    fail(messages::CannotWriteTemporary(options.TempDir));
  } catch (const std::bad_alloc&) {
    fail(messages::kRanOutOfMemory);
  }
  if (!output.Out.Close()) {
    fail(messages::CannotWriteOutFile(options.OutFile, output.Out.Error()));
  }
  if (options.OutFile && !output.File.Commit()) {
    fail(messages::CannotWriteOutFile(options.OutFile, errno));
  }
  if (!options.Quiet && ::isatty(STDERR_FILENO)) {
    const std::string summary = messages::MergeSummary(
        static_cast<long long>(options.Tables.size()), patterns, distinct);
    std::fwrite(summary.data(), 1, summary.size(), stderr);
  }
  return 0;
}

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
      Say(messages::kExtractPatternsUsage);
      Say(messages::kExtractPatternsHelp);
      return 0;
    case ExtractOptions::Action::Version:
      Say(messages::ExtractPatternsVersion());
      return 0;
    case ExtractOptions::Action::Run:
      break;
  }
  const bool counting = options.Output == ExtractOptions::Format::Count;
  // Patterns on standard output end quietly with the reader of their pipe,
  // as "extract_patterns in.txt | head" wants; an OutFile whose reader goes
  // is a failed write.
  std::signal(SIGPIPE, options.OutFile ? SIG_IGN : SIG_DFL);
  // A table's OutFile is not kept unless whole: only on standard output are
  // whole units worth waiting for. The table's runs and its OutFile not yet
  // whole go first.
  const bool table = counting || options.MergeCounts;
  if (!table || !options.OutFile) HoldTerminationDuringWrites();
  if (table) RemoveTemporariesOnTermination();
  if (options.MergeCounts) return MergeCounts(options, reopened);

  TrainingInput in;
  TableOutput output;
  RecordFile& out = output.Out;
  if (counting) {
    // OpenProgramFiles' checks, in its order, the table only created beside
    // OutFile.
    OpenProgramInputs({{"training file", options.InFile, &in}},
                      options.OutFile);
    OpenTable(options.OutFile, reopened, output);
  } else if (!options.OutFile) {
    OpenProgramFiles(options.InFile, options.OutFile, in, out);
  } else {
    // OutFile is made or emptied only once InFile has shown a record, or
    // has ended empty: a file named in InFile's place by mistake, which
    // holds none, leaves the file named as OutFile as it was.
    OpenProgramInputs({{"training file", options.InFile, &in}},
                      options.OutFile);
  }
  bool outOpen = counting || !options.OutFile;
  const auto openOut = [&] {
    if (!outOpen) OpenProgramOutput(options.OutFile, out);
    outOpen = true;
  };
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
  const auto fail = [&progress, &output](std::string_view message) {
    progress.Finish("");
    output.File.Discard();
    Fatal(message);
  };

  ProgramReader reader(in);
  ExampleRecordView record;
  PatternExtractor extractor(options.Consistent, options.MaxWords);
  BoundedCounter counter(counting ? options.Memory : kLeastCountMemory,
                         options.TempDir);
  long long records = 0;
  long long skipped = 0;
  long long patterns = 0;
  long long distinct = 0;
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
      openOut();
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
    if (counting && !WriteTableTo(out, distinct, [&](const RowTaker& row) {
          return counter.WriteTable(row);
        })) {
      fail(messages::CannotWriteOutFile(options.OutFile, out.Error()));
    }
  } catch (const TemporaryFileError&) {
    fail(messages::CannotWriteTemporary(options.TempDir));
  } catch (const std::bad_alloc&) {
    // Every pattern already taken is whole; they leave before the message,
    // which is made without taking memory.
    out.Flush();
    char message[80];
    messages::OutOfMemory(records, message, sizeof message);
    fail(message);
  }
  // An empty input still makes an empty OutFile.
  const std::string refusal = reader.Refusal(options.InFile);
  if (refusal.empty()) openOut();
  if (outOpen && !out.Close())
    fail(messages::CannotWriteOutFile(options.OutFile, out.Error()));
  if (!refusal.empty()) fail(refusal);
  if (counting && options.OutFile && !output.File.Commit()) {
    fail(messages::CannotWriteOutFile(options.OutFile, errno));
  }
  progress.Finish(
      options.Output == ExtractOptions::Format::Count
          ? messages::CountSummary(records, skipped, counter.Total(), distinct)
          : messages::RunSummary(records, skipped, patterns));
  return skipped ? 1 : 0;
}
