#include "ScoreCounts.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string_view>

#include "BoundedCounter.h"
#include "CountFile.h"
#include "Fatal.h"
#include "FileChecks.h"
#include "Messages.h"
#include "PatternExtractor.h"
#include "ProgramFiles.h"
#include "ProgramReader.h"
#include "ProgressLine.h"
#include "RecordFile.h"
#include "ReplacingFile.h"
#include "SortedRuns.h"
#include "WordTable.h"

namespace {

constexpr std::size_t kBatch = 1 << 20;

}  // namespace

void CountRecords(
    ProgramReader& reader, PatternExtractor& extractor, ProgressLine& progress,
    const std::function<bool(const ExtractedPattern&)>& add,
    const std::function<void(const ExampleRecordView&)>& addRecord,
    long long& records, long long& skipped) {
  ExampleRecordView record;
  while (reader.Next(record)) {
    ++records;
    const Status status = extractor.ForEachPatternFields(record, add);
    // The word table is the corpus', not the patterns': a skipped record's
    // sentences are as much a part of it.
    addRecord(record);
    if (!status) {
      ++skipped;
      progress.Finish("");
      const std::string message =
          messages::SkippedRecord(records, status.Message() + "\n");
      std::fwrite(message.data(), 1, message.size(), stderr);
    }
    progress.Update(records);
  }
}

int CountOnly(const ExtractOptions& options, unsigned reopened) {
  TrainingInput in;
  OpenProgramInputs({{"training file", options.InFile, &in}}, options.OutFile);
  ReplacingFile file;
  RecordFile out;
  if (options.OutFile) {
    if (!file.Open(options.OutFile)) {
      Fatal(messages::CannotOpenOutFile(options.OutFile, errno));
    }
    out.Adopt(file.Fd());
  } else {
    if (reopened & (1U << STDOUT_FILENO)) {
      Fatal(messages::CannotWriteOutFile(nullptr, EBADF));
    }
    out.Adopt(STDOUT_FILENO);
  }
  out.SetFlushBound(kBatch);

  const bool terminal = !options.Quiet && ::isatty(STDERR_FILENO);
  ProgressLine progress(STDERR_FILENO, terminal && options.OutFile, terminal,
                        RegularFileSize(options.InFile),
                        [&in] { return ReadPosition(in.Stream()); });
  const auto fail = [&](std::string_view message) {
    progress.Finish("");
    file.Discard();
    Fatal(message);
  };

  ProgramReader reader(in);
  PatternExtractor extractor(options.Consistent, options.MaxWords);
  BoundedCounter counter(options.Memory, options.TempDir);
  WordTable words;
  long long records = 0;
  long long skipped = 0;
  long long distinct = 0;
  try {
    CountRecords(
        reader, extractor, progress,
        [&counter](const ExtractedPattern& pattern) {
          counter.Add(pattern);
          return true;
        },
        [&words](const ExampleRecordView& record) { words.Add(record); },
        records, skipped);
    if (const std::string refusal = reader.Refusal(options.InFile);
        !refusal.empty()) {
      fail(refusal);
    }
    const bool written = WriteCountFile(
        out, CountFileHeader(options.Consistent, options.MaxWords),
        [&](const RowTaker& take) {
          return counter.WriteByLine(
              [&](std::uint64_t count, std::string_view fields) {
                ++distinct;
                return take(count, fields);
              });
        },
        words);
    if (!written)
      fail(messages::CannotWriteOutFile(options.OutFile, out.Error()));
  } catch (const TemporaryFileError&) {
    fail(messages::CannotWriteTemporary(options.TempDir));
  } catch (const std::bad_alloc&) {
    char message[80];
    messages::OutOfMemory(records, message, sizeof message);
    fail(message);
  }
  if (!out.Close()) {
    fail(messages::CannotWriteOutFile(options.OutFile, out.Error()));
  }
  if (options.OutFile && !file.Commit()) {
    fail(messages::CannotWriteOutFile(options.OutFile, errno));
  }
  progress.Finish(
      messages::CountSummary(records, skipped, counter.Total(), distinct));
  return skipped ? 1 : 0;
}

std::string AddCountFiles(const ExtractOptions& options,
                          PatternScorer& scorer) {
  SortedRuns runs(RowOrder::ByLine, options.Memory, options.TempDir);
  return MergeCountFiles(
      options.Tables, runs,
      [&scorer](std::string_view sl, std::string_view tl, long long count) {
        scorer.AddPair(sl, tl, count);
      },
      [&scorer](std::uint64_t count, std::string_view fields) {
        scorer.AddCounted(static_cast<long long>(count), fields);
        return true;
      });
}
