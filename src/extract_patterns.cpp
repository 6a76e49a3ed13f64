// extract_patterns [options] InFile [OutFile]: writes every constituent of
// every training example of InFile as a candidate pattern, as patterns, as
// tab-separated lines or as a table of distinct patterns with their counts.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <new>
#include <ostream>
#include <string>

#include "ExtractOptions.h"
#include "Fatal.h"
#include "FileChecks.h"
#include "PatternExtractor.h"
#include "PatternTable.h"
#include "ProgressLine.h"
#include "RecordFile.h"
#include "TrainingExampleReader.h"

namespace {

// Whole patterns leave in writes of about this size: few write calls, and
// memory bounded by it and by one pattern, however many a record gives.
constexpr std::size_t kBatch = 1 << 20;

// Output that only ever takes whole units (a pattern, a line): they gather
// in a buffer and leave in one write of whole units at a time.
class UnitWriter {
 public:
  explicit UnitWriter(RecordFile& file) : file_(file) {}

  bool Append(std::string_view unit) {
    if (!pending_.empty() && pending_.size() + unit.size() > kBatch &&
        !Flush()) {
      return false;
    }
    pending_.append(unit);
    return pending_.size() < kBatch || Flush();
  }

  bool Flush() {
    const bool written = pending_.empty() || file_.Write(pending_);
    pending_.clear();
    return written;
  }

 private:
  RecordFile& file_;
  std::string pending_;
};

RecordFile Out;

void Say(const char* text) {
  if (!WriteWhole(STDOUT_FILENO, text)) Fatal("Couldn't write outfile.\n");
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
      Fatal(kExtractUsage);
    case ExtractOptions::Action::Help:
      Say(kExtractHelp);
      return 0;
    case ExtractOptions::Action::Version:
      Say("extract_patterns (annotator) " ANNOTATOR_VERSION "\n");
      return 0;
    case ExtractOptions::Action::Run:
      break;
  }
  // Patterns on standard output end quietly with the reader of their pipe,
  // as "extract_patterns in.txt | head" wants; an OutFile whose reader goes
  // is a failed write.
  std::signal(SIGPIPE, options.OutFile ? SIG_IGN : SIG_DFL);
  HoldTerminationDuringWrites();

  static char inBuffer[1 << 16];
  std::ifstream in;
  in.rdbuf()->pubsetbuf(inBuffer, sizeof inBuffer);
  if (!OpenTrainingFile(in, options.InFile)) {
    Fatal("Couldn't open training file.\n");
  }
  if (options.OutFile && NameSameFile(options.InFile, options.OutFile)) {
    Fatal("InFile and OutFile name the same file.\n");
  }
  if (options.OutFile) {
    if (!Out.Open(options.OutFile)) Fatal("Couldn't open outfile.\n");
  } else {
    // Patterns are all this program writes there: with standard output
    // closed, they would all be lost.
    if (reopened & (1U << STDOUT_FILENO)) Fatal("Couldn't write outfile.\n");
    Out.Adopt(STDOUT_FILENO);
  }

  const bool terminal = !options.Quiet && ::isatty(STDERR_FILENO);
  struct stat input {};
  const std::uint64_t inputSize =
      ::stat(options.InFile, &input) == 0 && S_ISREG(input.st_mode)
          ? static_cast<std::uint64_t>(input.st_size)
          : 0;
  ProgressLine progress(STDERR_FILENO, terminal && options.OutFile, terminal,
                        inputSize, [&in]() -> std::uint64_t {
                          const auto at = in.rdbuf()->pubseekoff(
                              0, std::ios::cur, std::ios::in);
                          return at < 0 ? 0 : static_cast<std::uint64_t>(at);
                        });
  const auto fail = [&progress](std::string_view message) {
    progress.Finish("");
    Fatal(message);
  };

  std::ostream listing(nullptr);  // NextRecord lists nothing
  TrainingExampleReader reader(in, listing);
  ExampleRecord record;
  PatternExtractor extractor(options.Consistent, options.MaxWords);
  UnitWriter writer(Out);
  PatternCounter counter;
  std::string line;
  std::string skipReason;
  long long records = 0;
  long long skipped = 0;
  long long patterns = 0;
  bool writeFailed = false;
  const auto take = [&](const ExtractedPattern& pattern) {
    ++patterns;
    switch (options.Output) {
      case ExtractOptions::Format::Patterns:
        writeFailed = !writer.Append(pattern.Text);
        break;
      case ExtractOptions::Format::Tsv:
        line.clear();
        AppendTsvLine(static_cast<std::size_t>(records),
                      SentenceId(record.Header), pattern, line);
        writeFailed = !writer.Append(line);
        break;
      case ExtractOptions::Format::Count:
        counter.Add(pattern);
        break;
    }
    return !writeFailed;
  };
  try {
    while (reader.NextRecord(record)) {
      ++records;
      if (!extractor.ForEachPattern(record.ToMap(), take, skipReason)) {
        if (writeFailed) fail("Couldn't write outfile.\n");
        ++skipped;
        // What came before the skipped record leaves before its message.
        if (!writer.Flush()) fail("Couldn't write outfile.\n");
        progress.Finish("");
        const std::string message =
            "Record " + std::to_string(records) + ": " + skipReason;
        std::fwrite(message.data(), 1, message.size(), stderr);
      }
      progress.Update(records);
    }
    if (options.Output == ExtractOptions::Format::Count &&
        !counter.WriteTable(
            [&writer](std::string_view row) { return writer.Append(row); })) {
      fail("Couldn't write outfile.\n");
    }
  } catch (const std::bad_alloc&) {
    // Every pattern already taken is whole; they leave before the message.
    writer.Flush();
    char message[80];
    std::snprintf(message, sizeof message,
                  "Ran out of memory at record %lld.\n", records);
    fail(message);
  }
  if (!writer.Flush() || !Out.Close()) fail("Couldn't write outfile.\n");
  if (reader.OverlongLine() != 0) {
    fail(OverlongLineMessage(reader.OverlongLine()));
  }
  progress.Finish(options.Output == ExtractOptions::Format::Count
                      ? CountSummary(records, skipped, counter.Total(),
                                     static_cast<long long>(counter.Distinct()))
                      : RunSummary(records, skipped, patterns));
  return skipped ? 1 : 0;
}
