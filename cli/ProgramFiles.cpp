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
  OpenProgramOutput(outFile, out);
}

void OpenProgramOutput(const char* outFile, RecordFile& out) {
  if (!outFile) {
    out.Adopt(STDOUT_FILENO);
  } else if (!out.Open(outFile)) {
    Fatal(messages::CannotOpenOutFile(outFile, errno));
  }
}

void OpenProgramInputs(std::initializer_list<ProgramInput> inputs,
                       const char* outFile) {
  for (const ProgramInput& input : inputs) {
    bool same = false;
    if (!outFile) {
      // Standard output appended to an input would be read back as it is
      // written, and without end by a program that writes as it reads.
      same = WritesToInput(STDOUT_FILENO, input.Path);
    } else if (IsStandardInput(input.Path)) {
      same = DescriptorNamesFile(STDIN_FILENO, outFile);
    } else {
      same = NameSameFile(input.Path, outFile);
    }
    if (same) Fatal(messages::kSameFile);
  }
  for (const ProgramInput& input : inputs) {
    if (IsStandardInput(input.Path)) {
      if (StandardInputWasClosed()) {
        Fatal(messages::FileFailed("read", input.Role, input.Path, EBADF));
      }
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
