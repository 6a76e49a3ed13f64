// extract_patterns [--consistent] InFile [OutFile]: writes every constituent
// of every training example of InFile as a candidate pattern.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <ostream>
#include <string>

#include "Fatal.h"
#include "FileChecks.h"
#include "Messages.h"
#include "PatternExtractor.h"
#include "ProgramFiles.h"
#include "RecordFile.h"
#include "TrainingExampleReader.h"

namespace {

// Patterns leave in chunks of about this size: few writes, bounded memory.
constexpr std::size_t kChunk = 1 << 20;

}  // namespace

int main(int argc, char** argv) {
  ReserveStandardDescriptors();
  // A file-size limit is then one more failed write. SIGPIPE keeps its
  // default, so "extract_patterns in.txt | head" ends quietly.
  std::signal(SIGXFSZ, SIG_IGN);

  int first = 1;
  const bool consistent = argc > 1 && std::strcmp(argv[1], "--consistent") == 0;
  if (consistent) ++first;
  const int operands = argc - first;
  bool usable = operands == 1 || operands == 2;
  for (int i = first; usable && i < argc; ++i) {
    usable = argv[i][0] != '-' || argv[i][1] == '\0';
  }
  if (!usable) Fatal(messages::kExtractPatternsUsage);
  const char* outFile = operands == 2 && std::strcmp(argv[first + 1], "-") != 0
                            ? argv[first + 1]
                            : nullptr;
  std::ifstream in;
  RecordFile out;
  OpenProgramFiles(argv[first], outFile, in, out);
  // A unit is one record's patterns.
  out.SetFlushBound(kChunk);

  std::ostream listing(nullptr);  // NextRecord lists nothing
  TrainingExampleReader reader(in, listing);
  ExampleRecord record;
  PatternExtractor extractor(consistent);
  bool skipped = false;
  for (long long number = 1; reader.NextRecord(record); ++number) {
    const Status status = extractor.AppendPatterns(record, out.Buffer());
    if (status) {
      if (!out.EndUnit()) Fatal(messages::kCannotWriteOutFile);
      continue;
    }
    skipped = true;
    // What came before the skipped record leaves before its message.
    if (!out.Flush()) Fatal(messages::kCannotWriteOutFile);
    const std::string message =
        messages::SkippedRecord(number, status.Message() + "\n");
    std::fwrite(message.data(), 1, message.size(), stderr);
  }
  if (!out.Close()) Fatal(messages::kCannotWriteOutFile);
  if (reader.OverlongLine() != 0) {
    Fatal(messages::OverlongLineMessage(reader.OverlongLine()));
  }
  return skipped ? 1 : 0;
}
