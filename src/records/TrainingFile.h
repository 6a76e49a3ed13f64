#ifndef ANNOTATOR_TRAININGFILE_H_
#define ANNOTATOR_TRAININGFILE_H_

#include <fstream>

// Opens `path` into `file` for reading; false when it cannot be opened or
// is a directory, which opens but cannot be read, so is no training file.
// The one place that decides it, for GetNextSentencePair and the programs.
bool OpenTrainingFile(std::ifstream& file, const char* path);

#endif  // ANNOTATOR_TRAININGFILE_H_
