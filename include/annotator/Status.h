#ifndef ANNOTATOR_STATUS_H_
#define ANNOTATOR_STATUS_H_

#include <cstddef>
#include <string>
#include <string_view>

// What went wrong in a library call that reports instead of ending the
// process. Each failure belongs to one of two families, so a front end maps
// a status to its own errors by Family() alone.
enum class StatusCode : unsigned char {
  kOk,
  // A C-structure that the tree reader rejects; Text holds the text of the
  // failing constituent (the whole value when it has no "(" at all).
  kMalformedCStructure,
  // An input line of 100,000 bytes or more; Line holds its number.
  kOverlongLine,
  // An aligned TL position that names no TL word (0, negative or past the
  // last); Position holds it.
  kTLPositionBeyondSentence,
};

enum class StatusFamily : unsigned char {
  kNone,
  // The input is not in the training-file format: kMalformedCStructure,
  // kOverlongLine.
  kFormat,
  // The alignment does not fit the sentences: kTLPositionBeyondSentence.
  kAlignment,
};

// The outcome of a call: Ok, or what failed and where. A plain value; a
// successful status holds no text and costs no allocation. It converts to
// bool (true when Ok), so code written when these calls returned bool still
// compiles.
struct Status {
  StatusCode Code = StatusCode::kOk;
  // The text that failed, a copy; empty unless Code says it is kept.
  std::string Text;
  // The TL position that failed; 0 unless Code says it is kept.
  int Position = 0;
  // Where the failure stood, counted from 1, or 0 when the call that failed
  // did not know: the line in the input file and the record (the header
  // lines met, the one being read included).
  std::size_t Line = 0;
  std::size_t Record = 0;

  bool Ok() const { return Code == StatusCode::kOk; }
  operator bool() const { return Ok(); }
  StatusFamily Family() const;

  // The failure as one line without its line end, as the programs word it:
  // "malformed C-structure: " and Text; "Line N of the training file is
  // longer than 99,999 bytes."; "TL Index N exceeds TL sentence length.".
  // Empty when Ok.
  std::string Message() const;

  static Status MalformedCStructure(std::string_view text);
  static Status OverlongLine(std::size_t line);
  static Status TLPositionBeyondSentence(int position);
};

#endif  // ANNOTATOR_STATUS_H_
