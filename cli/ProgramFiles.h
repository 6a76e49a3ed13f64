#ifndef ANNOTATOR_PROGRAMFILES_H_
#define ANNOTATOR_PROGRAMFILES_H_

#include <fstream>
#include <initializer_list>
#include <utility>

#include "RecordFile.h"

// Opens a program's training file `inFile` into `in` and its output
// `outFile` into `out`, checking in the one order every program keeps (after
// its own usage check): that the two paths name two files, that `inFile`
// is a training file (TrainingFile.h), that `outFile` can be created or
// emptied. The first check that fails ends the process with its message
// (Fatal), so a refused input costs no output file, and neither a refused
// input nor one file named twice touches OutFile. A null `outFile` means
// standard output: `out` adopts it, unchecked. `in` is left without a
// buffer of its own: read it in large pieces (LineReader and
// TrainingExampleReader do).
void OpenProgramFiles(const char* inFile, const char* outFile,
                      std::ifstream& in, RecordFile& out);

// The same for a program that reads several files, each
// (path, stream) checked and opened in the order given, with the same
// messages.
void OpenProgramFiles(
    std::initializer_list<std::pair<const char*, std::ifstream*>> inputs,
    const char* outFile, RecordFile& out);

#endif  // ANNOTATOR_PROGRAMFILES_H_
