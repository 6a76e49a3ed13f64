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
  // A sentence of a parser's and an aligner's files that cannot become a
  // record (a tree that does not read or has no words), or a file of them
  // that runs short or holds a line too long; Text holds the reason and
  // Record the sentence (0 for a file's failure).
  kMalformedSentence,
  // A sentence whose alignment link does not read or names a word the
  // sentence does not have; Text and Record as above, and Position the TL
  // position from 1 of a link past the TL sentence's end.
  kMalformedLink,
};

enum class StatusFamily : unsigned char {
  kNone,
  // The input is not in the training-file format, or a parser's and an
  // aligner's files cannot become one: kMalformedCStructure, kOverlongLine,
  // kMalformedSentence.
  kFormat,
  // The alignment does not fit the sentences: kTLPositionBeyondSentence,
  // kMalformedLink.
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
  // longer than 99,999 bytes."; "TL Index N exceeds TL sentence length.";
  // "Sentence N: ", Text and "." for a sentence's failure, Text alone for a
  // file's. Empty when Ok.
  std::string Message() const;

  static Status MalformedCStructure(std::string_view text);
  static Status OverlongLine(std::size_t line);
  static Status TLPositionBeyondSentence(int position);
  // `code` (kMalformedSentence or kMalformedLink) with `reason` for sentence
  // `sentence` (0: the files as a whole).
  static Status SentenceFailure(StatusCode code, std::string reason,
                                std::size_t sentence);
};

#endif  // ANNOTATOR_STATUS_H_
