#include "ProgramFiles.h"

#include <unistd.h>

#include "Fatal.h"
#include "FileChecks.h"
#include "Messages.h"
#include "records/TrainingFile.h"

void OpenProgramFiles(const char* inFile, const char* outFile,
                      std::ifstream& in, RecordFile& out) {
  OpenProgramFiles({{inFile, &in}}, outFile, out);
}

void OpenProgramFiles(
    std::initializer_list<std::pair<const char*, std::ifstream*>> inputs,
    const char* outFile, RecordFile& out) {
  for (const auto& [path, stream] : inputs) {
    if (outFile && NameSameFile(path, outFile)) Fatal(messages::kSameFile);
  }
  for (const auto& [path, stream] : inputs) {
    // The programs' readers read 32 KiB and more at a time into buffers of
    // their own, which a stream's buffer would only copy. Set before
    // opening, or it has no effect.
    stream->rdbuf()->pubsetbuf(nullptr, 0);
    if (!OpenTrainingFile(*stream, path)) {
      Fatal(messages::kCannotOpenTrainingFile);
    }
  }
  if (!outFile) {
    out.Adopt(STDOUT_FILENO);
  } else if (!out.Open(outFile)) {
    Fatal(messages::kCannotOpenOutFile);
  }
}
