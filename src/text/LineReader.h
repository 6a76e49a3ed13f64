#ifndef ANNOTATOR_LINEREADER_H_
#define ANNOTATOR_LINEREADER_H_

#include <cstddef>
#include <istream>
#include <memory>
#include <string_view>

#include "text/PaddedText.h"

// Reads a stream line by line, by the training file's rules: a line ends at
// a newline, or at a carriage return and a newline, and holds at most
// kLongestLine bytes before that end. Memory stays at one buffer whatever
// the lines; a pipe's lines are handed out as they come.
class LineReader {
 public:
  // Reads `in` from where it stands; `in` must outlive the reader.
  explicit LineReader(std::istream& in);

  // The next line without its line end, a view that holds until the next
  // call; false at the end of input and at a line that is too long, which
  // ends reading (Overlong() then says so).
  bool Next(std::string_view& line);

  // `line`, the last one handed out, with the padding that follows it in
  // the buffer.
  extraction::PaddedView Padded(std::string_view line) const;

  // Lines handed out or found too long, from 1: the number of the last.
  std::size_t LineNumber() const { return lines_; }
  bool Overlong() const { return overlong_; }

 private:
  // Reads more after what is held; false when the stream has nothing left.
  bool Fill();

  std::istream& in_;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::size_t lines_ = 0;
  bool done_ = false;
  // Bytes the stream said it had that are not read yet (ReadAtHand).
  std::streamsize ready_ = 0;
  bool overlong_ = false;
};

#endif  // ANNOTATOR_LINEREADER_H_
