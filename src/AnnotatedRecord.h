#ifndef ANNOTATOR_ANNOTATEDRECORD_H_
#define ANNOTATOR_ANNOTATEDRECORD_H_

#include <ostream>

#include "TrainingExampleReader.h"

// The annotation loop's listing of a complete example: "Printing new training
// example:" (not flushed), then per entry in key order "|key|:|value|",
// preceded for "SL" by "DebugSL:|" and the value; every line but the first
// is flushed.
void PrintExampleListing(const ExampleFieldMap& example, std::ostream& listing);

// Writes `example` with `score` as a ten-line annotated record: the bare
// "SentenceIndex:" header, the SL, TL, Alignment and Type values,
// "CoEmbeddingScore: " and the score, the C-Structure and ConstSeq values,
// "XSideConstraints:" and an empty line, each flushed once written. Missing
// keys write empty lines. Returns false as soon as a write or flush fails.
bool WriteAnnotatedRecord(const ExampleFieldMap& example, int score,
                          std::ostream& out);

#endif  // ANNOTATOR_ANNOTATEDRECORD_H_
