#include "ProgramFiles.h"

#include <unistd.h>

#include "Fatal.h"
#include "FileChecks.h"
#include "Messages.h"

void OpenProgramFiles(const char* inFile, const char* outFile,
                      TrainingInput& in, RecordFile& out) {
  OpenProgramFiles({{inFile, &in}}, outFile, out);
}

void OpenProgramFiles(
    std::initializer_list<std::pair<const char*, TrainingInput*>> inputs,
    const char* outFile, RecordFile& out) {
  for (const auto& [path, stream] : inputs) {
    if (outFile && NameSameFile(path, outFile)) Fatal(messages::kSameFile);
  }
  for (const auto& [path, input] : inputs) {
    if (!input->Open(path)) {
      Fatal(messages::kCannotOpenTrainingFile);
    }
  }
  if (!outFile) {
    out.Adopt(STDOUT_FILENO);
  } else if (!out.Open(outFile)) {
    Fatal(messages::kCannotOpenOutFile);
  }
}
