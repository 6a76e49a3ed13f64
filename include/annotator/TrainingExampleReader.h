#ifndef ANNOTATOR_TRAININGEXAMPLEREADER_H_
#define ANNOTATOR_TRAININGEXAMPLEREADER_H_

#include <array>
#include <cstddef>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "Status.h"

// One training example: at most the keys "SL", "TL", "Alignment", "Type",
// "C-Structure" and "ConstSeq", each value a whole input line without its
// line end (a newline, or a carriage return and a newline), label, other
// carriage returns and NUL bytes included. A complete example holds all six.
using ExampleFieldMap = std::map<std::string, std::string>;

// One training example as views of its field lines in record order, laid
// out as ExampleRecord. Views a reader hands out stay valid until its next
// read.
struct ExampleRecordView {
  std::string_view SL, TL, Alignment, Type, CStructure, ConstSeq;
  std::size_t FieldCount = 0;
  std::size_t Number = 0;
  std::size_t HeaderLine = 0;
  std::string_view Header;

  bool Complete() const { return FieldCount == 6; }
};

// One training example as its field lines in record order, for callers that
// read many records: a record reused from call to call stops allocating once
// it has held the longest lines.
struct ExampleRecord {
  // The six fields in record order; "C-Structure" is CStructure.
  std::string SL, TL, Alignment, Type, CStructure, ConstSeq;
  // How many fields the record held, counted in record order: SL alone is 1,
  // a complete record 6. Fields past the count are empty.
  std::size_t FieldCount = 0;
  // The header line that began the record, as read; empty when no header
  // was found.
  std::string Header;
  // Where a reader found the record: its number (the header lines met, this
  // one's included, from 1) and its header's line number (from 1); 0 for a
  // record no reader filled. The field lines follow the header in record
  // order, C-Structure 6 lines after it.
  std::size_t Number = 0;
  std::size_t HeaderLine = 0;

  bool Complete() const { return FieldCount == 6; }
  // The fields held, keyed as in ExampleFieldMap.
  ExampleFieldMap ToMap() const;
  // Views of the fields, valid while the record is neither changed nor gone.
  ExampleRecordView View() const {
    return {SL,       TL,         Alignment, Type,       CStructure,
            ConstSeq, FieldCount, Number,    HeaderLine, Header};
  }
};

// Reads ten-line training-example records from a stream, one per Next().
// A record is a header line (any line containing "SentenceIndex:") and the
// nine lines after it, taken by position: SL, TL, Alignment, Type, a dropped
// score line, C-Structure, ConstSeq and two dropped lines. Lines hold at most
// 99,999 bytes before their line end; a longer one, wherever it stands, ends
// reading and is reported through OverlongLine().
class TrainingExampleReader {
 public:
  // Reads `in` from where it stands and lists every example it returns on
  // `listing`. Both must outlive the reader. It takes `in` in pieces of up
  // to 32 KiB, what the stream has at hand, so `in` stands ahead of the
  // records returned.
  TrainingExampleReader(std::istream& in, std::ostream& listing);
  ~TrainingExampleReader();
  // The reader moved to goes on where this one stood; this one then reads
  // nothing: every call returns an empty record and lists nothing.
  TrainingExampleReader(TrainingExampleReader&&) noexcept;

  // The next record's fields. Skips to the next header, then takes the
  // positional lines; the read that runs into the end of input still enters
  // its key (with what it yielded) and ends the record, so a truncated record
  // gives fewer than six keys and every call after the end an empty map. A
  // header standing where the record's last two dropped lines belong is kept
  // for the next call instead of being dropped. Writes the record's listing
  // (AppendReaderListing) to the listing stream and flushes it. A line of
  // 100,000 bytes or more makes this and every later call return an empty
  // map and list nothing; OverlongLine() then says where it stood.
  ExampleFieldMap Next();

  // Reads the next record as Next() does into `record`, without listing it.
  // Returns record.Complete().
  bool NextRecord(ExampleRecord& record);

  // NextRecord without copying: the views point into the reader's buffer and
  // hold until its next read.
  bool NextRecordView(ExampleRecordView& record);

  // 0 until reading meets a line of 100,000 bytes or more (99,999 bytes and
  // then anything but a line end); from then on that line's number, counting
  // every line read through this reader from 1.
  std::size_t OverlongLine() const { return overlongLine_; }

  // Ok until reading meets an over-long line; from then on kOverlongLine
  // with that line's number and the number of the record it stood in (the
  // header lines met by then, 0 when it stood before the first).
  Status ReadStatus() const;

 private:
  // The library's line reader, which its face does not show.
  struct Lines;

  // The next line without its line end, a view into the reader's buffer
  // that holds until the next read. Sets ended_ instead when no line is
  // left, and overlongLine_ at a line of 100,000 bytes or more.
  std::string_view ReadLine();

  std::ostream& listing_;
  // Every line is read through the one line reader; a record's lines stay
  // in its buffer (KeepFrom) while the record is taken.
  std::unique_ptr<Lines> lines_;
  bool ended_ = false;  // a read found no line left
  bool headerPending_ = false;
  std::string pendingHeader_;
  // The header of the record handed out last, when it was found pending.
  std::string header_;
  std::size_t overlongLine_ = 0;
  std::size_t headersMet_ = 0;
  std::size_t headerLine_ = 0;
  ExampleRecord record_;
};

// Appends the listing of a record as the reader shows it: "Now handling the
// following training example:", a "key\tvalue" line per field held in key
// order, "End printing training example." and an empty line, then "Couldn't
// parse a next training example." when the record is not complete.
void AppendReaderListing(const ExampleRecordView& record, std::string& listing);
void AppendReaderListing(const ExampleRecord& record, std::string& listing);

// The process-wide reader over the training file: opens `path` on the first
// call and reads on from there; later calls ignore `path`. Lists on standard
// output. When the file cannot be opened or is a directory, writes "Couldn't
// open training file.\n" to standard error and ends the process with exit
// status 1; at a line of 100,000 bytes or more it does the same with "Line N
// of the training file is longer than 99,999 bytes.\n", as the tool does,
// and at a failed read of the file with "Couldn't read training file.\n".
ExampleFieldMap GetNextSentencePair(const char* path);

// The message that ends a run at an over-long line `line` (from 1): the
// Message() of its status and a line end.
std::string OverlongLineMessage(std::size_t line);

#endif  // ANNOTATOR_TRAININGEXAMPLEREADER_H_
