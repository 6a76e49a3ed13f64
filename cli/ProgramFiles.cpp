#include "ProgramFiles.h"

#include <unistd.h>

#include "Fatal.h"
#include "FileChecks.h"
#include "Messages.h"
#include "TrainingFile.h"

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
  // Set before opening, or a stream keeps its own small buffer.
  static char inBuffers[4][1 << 16];
  std::size_t used = 0;
  for (const auto& [path, stream] : inputs) {
    if (used < 4) {
      stream->rdbuf()->pubsetbuf(inBuffers[used++], sizeof inBuffers[0]);
    }
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
