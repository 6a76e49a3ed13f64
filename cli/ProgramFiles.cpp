#include "ProgramFiles.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Fatal.h"
#include "FileChecks.h"
#include "Messages.h"

void OpenProgramFiles(const char* inFile, const char* outFile,
                      TrainingInput& in, RecordFile& out) {
  OpenProgramFiles({{"training file", inFile, &in}}, outFile, out);
}

void OpenProgramFiles(std::initializer_list<ProgramInput> inputs,
                      const char* outFile, RecordFile& out) {
  OpenProgramInputs(inputs, outFile);
  if (!outFile) {
    out.Adopt(STDOUT_FILENO);
  } else if (!out.Open(outFile)) {
    Fatal(messages::CannotOpenOutFile(outFile, errno));
  }
}

void OpenProgramInputs(std::initializer_list<ProgramInput> inputs,
                       const char* outFile) {
  for (const ProgramInput& input : inputs) {
    if (outFile && (IsStandardInput(input.Path)
                        ? DescriptorNamesFile(STDIN_FILENO, outFile)
                        : NameSameFile(input.Path, outFile))) {
      Fatal(messages::kSameFile);
    }
  }
  for (const ProgramInput& input : inputs) {
    if (IsStandardInput(input.Path)) {
      input.Stream->OpenStandardInput();
    } else if (!input.Stream->Open(input.Path)) {
      Fatal(messages::FileFailed("open", input.Role, input.Path, errno));
    }
  }
}

void OpenAnnotatorFiles(const char* inFile, const char* outFile,
                        TrainingInput& in, RecordFile& out) {
  if (NameSameFile(inFile, outFile)) Fatal(messages::kSameFile);
  if (!in.Open(inFile)) Fatal(messages::kCannotOpenTrainingFile);
  if (!out.Open(outFile)) Fatal(messages::kCannotOpenOutFile);
}
