#ifndef ANNOTATOR_PROGRAMFILES_H_
#define ANNOTATOR_PROGRAMFILES_H_

#include <initializer_list>

#include "RecordFile.h"
#include "records/TrainingFile.h"

// Opens a program's training file `inFile` into `in` and its output
// `outFile` into `out`, checking in the one order every program keeps (after
// its own usage check): that the two paths name two files, that `inFile`
// is a training file (TrainingFile.h), that `outFile` can be created or
// emptied. The first check that fails ends the process with its message
// (Fatal), so a refused input costs no output file, and neither a refused
// input nor one file named twice touches OutFile. A null `outFile` means
// standard output: `out` adopts it, refused only where it is a regular file
// that is also an input. An `inFile` of "-" is standard input, refused when
// it is OutFile itself or was closed when the program started. `in` reads its
// file through the descriptor: read it in large pieces (LineReader does).
void OpenProgramFiles(const char* inFile, const char* outFile,
                      TrainingInput& in, RecordFile& out);
// The same with annotator's messages, which name neither file nor reason.
void OpenAnnotatorFiles(const char* inFile, const char* outFile,
                        TrainingInput& in, RecordFile& out);

// The same for a program that reads several files, each checked and opened
// in the order given, its messages naming it by its role. A file that
// cannot be opened is named with the system's reason: "Couldn't open ROLE
// PATH: REASON.".
struct ProgramInput {
  // What the messages call the file ("tree file"), then its path as given.
  const char* Role;
  const char* Path;
  TrainingInput* Stream;
};
void OpenProgramFiles(std::initializer_list<ProgramInput> inputs,
                      const char* outFile, RecordFile& out);
// The same checks and openings of the inputs alone, for a program that
// makes `outFile` (null for standard output) its own way afterwards.
void OpenProgramInputs(std::initializer_list<ProgramInput> inputs,
                       const char* outFile);
// The output half of OpenProgramFiles: creates or empties `outFile` into
// `out`, or adopts standard output for null; a program that opens it only
// once its input has shown a record spares a file named in the wrong place.
void OpenProgramOutput(const char* outFile, RecordFile& out);

#endif  // ANNOTATOR_PROGRAMFILES_H_
