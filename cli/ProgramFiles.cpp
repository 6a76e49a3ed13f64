#include "ProgramFiles.h"

#include <unistd.h>

#include "Fatal.h"
#include "FileChecks.h"
#include "Messages.h"
#include "TrainingFile.h"

void OpenProgramFiles(const char* inFile, const char* outFile,
                      std::ifstream& in, RecordFile& out) {
  if (outFile && NameSameFile(inFile, outFile)) Fatal(messages::kSameFile);
  // Set before opening, or the stream keeps its own small buffer.
  static char inBuffer[1 << 16];
  in.rdbuf()->pubsetbuf(inBuffer, sizeof inBuffer);
  if (!OpenTrainingFile(in, inFile)) {
    Fatal(messages::kCannotOpenTrainingFile);
  }
  if (!outFile) {
    out.Adopt(STDOUT_FILENO);
  } else if (!out.Open(outFile)) {
    Fatal(messages::kCannotOpenOutFile);
  }
}
