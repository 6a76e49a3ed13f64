#ifndef ANNOTATOR_TRAININGEXAMPLEREADER_H_
#define ANNOTATOR_TRAININGEXAMPLEREADER_H_

#include <cstddef>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

// One training example: at most the keys "SL", "TL", "Alignment", "Type",
// "C-Structure" and "ConstSeq", each value a whole input line without its
// newline, label, carriage return and NUL bytes included. A complete example
// holds all six.
using ExampleFieldMap = std::map<std::string, std::string>;

// Reads ten-line training-example records from a stream, one per Next().
// A record is a header line (any line containing "SentenceIndex:") and the
// nine lines after it, taken by position: SL, TL, Alignment, Type, a dropped
// score line, C-Structure, ConstSeq and two dropped lines. Lines hold at most
// 99,999 bytes; a longer one, wherever it stands, ends reading and is
// reported through OverlongLine().
class TrainingExampleReader {
 public:
  // Reads `in` from where it stands and lists every example it returns on
  // `listing`. Both must outlive the reader.
  TrainingExampleReader(std::istream& in, std::ostream& listing);

  // The next record's fields. Skips to the next header, then takes the
  // positional lines; the read that runs into the end of input still enters
  // its key (with what it yielded) and ends the record, so a truncated record
  // gives fewer than six keys and every call after the end an empty map. A
  // header standing where the record's last two dropped lines belong is kept
  // for the next call instead of being dropped. Writes "Now handling the
  // following training example:", a "key\tvalue" line per entry, "End
  // printing training example." and an empty line to the listing, each
  // flushed, then "Couldn't parse a next training example." when the map is
  // not complete. A line of 100,000 bytes or more makes this and every later
  // call return an empty map and list nothing; OverlongLine() then says
  // where it stood.
  ExampleFieldMap Next();

  // 0 until reading meets a line of 100,000 bytes or more (99,999 bytes and
  // then anything but a line end); from then on that line's number, counting
  // every line read through this reader from 1.
  std::size_t OverlongLine() const { return overlongLine_; }

 private:
  // Reads one line into the buffer; the stream's state tells how it went.
  std::string_view ReadLine();

  std::istream& in_;
  std::ostream& listing_;
  std::unique_ptr<char[]> buffer_;
  bool headerPending_ = false;
  std::size_t linesRead_ = 0;
  std::size_t overlongLine_ = 0;
};

// The process-wide reader over the training file: opens `path` on the first
// call and reads on from there; later calls ignore `path`. Lists on standard
// output. When the file cannot be opened or is a directory, writes "Couldn't
// open training file.\n" to standard error and ends the process with exit
// status 1.
ExampleFieldMap GetNextSentencePair(const char* path);

#endif  // ANNOTATOR_TRAININGEXAMPLEREADER_H_
