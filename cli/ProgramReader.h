#ifndef ANNOTATOR_PROGRAMREADER_H_
#define ANNOTATOR_PROGRAMREADER_H_

#include <string>

#include "TrainingExampleReader.h"
#include "records/TrainingFile.h"

// The programs' reader of their training file: TrainingExampleReader without
// a listing, with both ways reading can end before the input's end turned
// into the message that ends the run. A program that reads its records
// through this one stops at a failing disk as it stops at an over-long line:
// what it took before is whole, the rest is never taken for the input's end.
class ProgramReader {
 public:
  // Reads `in` from where it stands; `in` must outlive the reader.
  explicit ProgramReader(TrainingInput& in);

  // The next complete record, as TrainingExampleReader::NextRecordView. A
  // failed read of the input ends reading where it happened, as an
  // over-long line does: the record it stood in is not returned, and every
  // later call returns false.
  bool Next(ExampleRecordView& record);

  // True once reading ended before the input's end, at an over-long line or
  // a failed read.
  bool EndedShort() const {
    return in_.ReadFailed() || reader_.OverlongLine() != 0;
  }

  // What ends the run when EndedShort(): "Line N of the training file is
  // longer than 99,999 bytes.\n" or "Couldn't read training file.\n".
  std::string EndMessage() const;
  // The same naming the file and the reason (the system's, or what was
  // wrong with compressed input), as extract_patterns and score_patterns
  // say it: "Couldn't read training file PATH: REASON.\n".
  std::string EndMessage(const char* path) const;

  // Once Next has returned false: what ends extract_patterns' and
  // score_patterns' runs without their output, "" when nothing does.
  // EndMessage(path) when reading ended short; when the input held more
  // than blank lines (as far as its first read shows) but no whole record,
  // "Training file PATH holds no training example.\n", since another program's
  // output named in its place by mistake would otherwise be read as an empty
  // corpus (and the file named as OutFile, most likely the training file,
  // replaced).
  std::string Refusal(const char* path) const;

 private:
  TrainingInput& in_;
  // Whether the input's first read brought more than blanks, asked before
  // the first record is read, and how many whole records it gave.
  bool started_ = false;
  bool heldText_ = false;
  long long records_ = 0;
  std::ostream listing_{nullptr};
  TrainingExampleReader reader_;
};

#endif  // ANNOTATOR_PROGRAMREADER_H_
