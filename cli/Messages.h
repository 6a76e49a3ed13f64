#ifndef ANNOTATOR_MESSAGES_H_
#define ANNOTATOR_MESSAGES_H_

#include <string>
#include <string_view>

#include "ParseParser.h"
#include "TrainingExampleReader.h"

// Every text the programs write besides their results: the messages on
// standard error, each ended by its "\n", and the line that ends
// annotator's listing. Users and scripts match them byte for byte.
namespace messages {

constexpr std::string_view kExtractPatternsUsage =
    "Usage: extract_patterns [--consistent] InFile [OutFile].\n";
constexpr std::string_view kSameFile =
    "InFile and OutFile name the same file.\n";
constexpr std::string_view kCannotOpenTrainingFile =
    "Couldn't open training file.\n";
constexpr std::string_view kCannotOpenOutFile = "Couldn't open outfile.\n";
constexpr std::string_view kCannotWriteOutFile = "Couldn't write outfile.\n";
// On standard output, after the listing of the record that could not be read
// whole.
constexpr std::string_view kNoTrainingExample =
    "Couldn't produce a training example.\n";

// annotator's usage line, naming the program by the word it was invoked by
// (null or empty gives an empty name).
inline std::string AnnotatorUsage(const char* invokedAs) {
  return std::string("Usage: ") + (invokedAs ? invokedAs : "") +
         " InFile OutFile.\n";
}

// extract_patterns' message for a record it skips: "Record N: " and the
// extractor's reason, numbered from 1 in the order read.
inline std::string SkippedRecord(long long number, std::string_view reason) {
  return "Record " + std::to_string(number) + ": " + std::string(reason);
}

// The library makes these two, since its own functions that end the process
// write them too: "Line N of the training file is longer than 99,999
// bytes." and the tree reader's format error.
using ::FormatErrorMessage;
using ::OverlongLineMessage;

}  // namespace messages

#endif  // ANNOTATOR_MESSAGES_H_
