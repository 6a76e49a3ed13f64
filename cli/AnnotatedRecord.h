#ifndef ANNOTATOR_ANNOTATEDRECORD_H_
#define ANNOTATOR_ANNOTATEDRECORD_H_

#include <string>
#include <string_view>

#include "TrainingExampleReader.h"

// Appends the annotation loop's listing of a complete example: "Printing new
// training example:", then per field in key order "|key|:|value|", preceded
// for "SL" by "DebugSL:|" and the value.
void AppendAnnotationListing(const ExampleRecordView& example,
                             std::string& listing);
void AppendAnnotationListing(const ExampleRecord& example,
                             std::string& listing);

// Appends `example` with `score` as a ten-line annotated record: the bare
// "SentenceIndex:" header, the SL, TL, Alignment and Type values,
// "CoEmbeddingScore: " and the score, the C-Structure and ConstSeq values,
// "XSideConstraints:" and an empty line. Fields the example does not hold
// give empty lines.
void AppendAnnotatedRecord(const ExampleRecordView& example, int score,
                           std::string& out);
void AppendAnnotatedRecord(const ExampleRecord& example, int score,
                           std::string& out);
// The same record with `header` as its first line ("SentenceIndex: 3").
void AppendAnnotatedRecord(const ExampleRecordView& example, int score,
                           std::string_view header, std::string& out);

#endif  // ANNOTATOR_ANNOTATEDRECORD_H_
