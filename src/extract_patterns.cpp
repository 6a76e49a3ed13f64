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
#include "PatternExtractor.h"
#include "TrainingExampleReader.h"

namespace {

// Patterns leave in chunks of about this size: few writes, bounded memory.
constexpr std::size_t kChunk = 1 << 20;

bool WriteAll(std::FILE* out, std::string& pending) {
  const bool written =
      std::fwrite(pending.data(), 1, pending.size(), out) == pending.size();
  pending.clear();
  return written;
}

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
  if (!usable)
    Fatal("Usage: extract_patterns [--consistent] InFile [OutFile].\n");
  const char* inFile = argv[first];
  const char* outFile = operands == 2 && std::strcmp(argv[first + 1], "-") != 0
                            ? argv[first + 1]
                            : nullptr;

  std::ifstream in;
  if (!OpenTrainingFile(in, inFile)) Fatal("Couldn't open training file.\n");
  if (outFile && NameSameFile(inFile, outFile)) {
    Fatal("InFile and OutFile name the same file.\n");
  }
  std::FILE* out = outFile ? std::fopen(outFile, "w") : stdout;
  if (!out) Fatal("Couldn't open outfile.\n");

  std::ostream listing(nullptr);  // NextRecord lists nothing
  TrainingExampleReader reader(in, listing);
  ExampleRecord record;
  PatternExtractor extractor(consistent);
  std::string pending;
  bool skipped = false;
  for (long long number = 1; reader.NextRecord(record); ++number) {
    const Status status = extractor.AppendPatterns(record, pending);
    if (!status) {
      skipped = true;
      // What came before the skipped record leaves before its message.
      if (!WriteAll(out, pending) || std::fflush(out) != 0) {
        Fatal("Couldn't write outfile.\n");
      }
      const std::string message =
          "Record " + std::to_string(number) + ": " + status.Message() + "\n";
      std::fwrite(message.data(), 1, message.size(), stderr);
    }
    if (pending.size() >= kChunk && !WriteAll(out, pending)) {
      Fatal("Couldn't write outfile.\n");
    }
  }
  if (!WriteAll(out, pending) || std::fflush(out) != 0 ||
      (outFile && std::fclose(out) != 0)) {
    Fatal("Couldn't write outfile.\n");
  }
  if (reader.OverlongLine() != 0) {
    Fatal(OverlongLineMessage(reader.OverlongLine()));
  }
  return skipped ? 1 : 0;
}
