#ifndef ANNOTATOR_LINEREADER_H_
#define ANNOTATOR_LINEREADER_H_

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <istream>
#include <memory>
#include <string_view>

#include "records/LegacyLimits.h"
#include "text/PaddedText.h"

// Reads a stream line by line, by the training file's rules: a line ends at
// a newline, or at a carriage return and a newline (any other carriage
// return is an ordinary byte), and holds at most kLongestLine bytes before
// that end; the last line may go without a line end. Memory stays at one
// buffer, as large as the lines kept need; a pipe's lines are handed out as
// they come. Every reader of lines in the library and the programs is this
// one.
class LineReader {
 public:
  // Reads `in` from where it stands; `in` must outlive the reader.
  explicit LineReader(std::istream& in);

  // The next line without its line end, a view that holds until the next
  // call (or while it is kept); false at the end of input and at a line
  // that is too long, which ends reading (Overlong() then says so).
  bool Next(std::string_view& line) {
    // Most lines stand whole in the buffer: that case is kept small enough
    // to be inlined where lines are read, and the rest goes the long way.
    const char* start = buffer_.get() + begin_;
    const auto* newline = static_cast<const char*>(
        std::memchr(start, '\n', std::min(end_ - begin_, kLongestLine + 1)));
    if (!newline || overlong_) return NextAcrossReads(line);
    std::size_t length = static_cast<std::size_t>(newline - start);
    begin_ += length + 1;
    ++lines_;
    if (length > 0 && start[length - 1] == '\r') --length;
    line = std::string_view(start, length);
    return true;
  }

  // `line`, the last one handed out, with the padding that follows it in
  // the buffer.
  extraction::PaddedView Padded(std::string_view line) const;

  // Keeps `line`, handed out last, and every line after it in the buffer
  // until Release(), for a caller that takes a record of several lines at
  // once. Reading on may move the kept lines, but never apart: find them
  // again by their offset from Kept().
  void KeepFrom(std::string_view line);
  // The same from the next line on.
  void KeepNext() { kept_ = begin_; }
  void Release() { kept_ = kNothingKept; }
  const char* Kept() const {
    return buffer_.get() + (kept_ == kNothingKept ? begin_ : kept_);
  }

  // Lines handed out or found too long, from 1: the number of the last.
  std::size_t LineNumber() const { return lines_; }
  bool Overlong() const { return overlong_; }
  // For a reader that stops at what only bad data makes (a line or a tree
  // too long): reads gzip data under the stream on to its end, so that
  // damage, which tells so only at its check further on, is what the
  // stream reports failed (DescriptorBuffer::ReadGzipToEnd).
  void ReadGzipToEnd();

 private:
  static constexpr std::size_t kNothingKept = static_cast<std::size_t>(-1);

  // Next where the line's end is not in the buffer yet, or it is too long.
  bool NextAcrossReads(std::string_view& line);
  // Reads more after what is held; false when the stream has nothing left.
  bool Fill();

  std::istream& in_;
  std::unique_ptr<char[]> buffer_;
  // Bytes a read may fill, not counting the padding after them.
  std::size_t capacity_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  // Where the kept lines start; kNothingKept when none are.
  std::size_t kept_ = kNothingKept;
  std::size_t lines_ = 0;
  bool done_ = false;
  bool overlong_ = false;
};

#endif  // ANNOTATOR_LINEREADER_H_
