#ifndef ANNOTATOR_TRAININGFILE_H_
#define ANNOTATOR_TRAININGFILE_H_

#include <unistd.h>

#include <cstring>
#include <istream>
#include <string>

#include "text/DescriptorBuffer.h"

// A training file (or any input file) as the programs and the library read
// it: through its descriptor, so that a failed read is told apart from the
// end of the file by any standard library. Open() is the one place that
// decides what is a training file. Gzip data reads as the bytes it holds
// (DescriptorBuffer).
class TrainingInput {
 public:
  TrainingInput() : stream_(&buffer_) {}
  TrainingInput(const TrainingInput&) = delete;
  TrainingInput& operator=(const TrainingInput&) = delete;

  // False, with errno set, when `path` cannot be opened or is a directory
  // (EISDIR), which opens but cannot be read, so is no training file; false
  // too when `path` is null.
  bool Open(const char* path) { return path && buffer_.Open(path); }
  // Reads standard input from where it stands, as a file.
  void OpenStandardInput() { buffer_.Adopt(STDIN_FILENO); }
  bool IsOpen() const { return buffer_.IsOpen(); }
  // Reads the input without a byte-order mark at its start
  // (DescriptorBuffer::SkipByteOrderMark); before the first read.
  void SkipByteOrderMark() { buffer_.SkipByteOrderMark(); }
  // DescriptorBuffer::AtHand.
  std::string_view AtHand() const { return buffer_.AtHand(); }

  // What the readers take. It ends at the end of the file and at a failed
  // read alike: ask ReadFailed() before trusting what the last read gave.
  std::istream& Stream() { return stream_; }
  bool ReadFailed() const { return buffer_.Failed(); }
  // For a reader about to refuse what it read: damaged gzip data can look
  // like bad lines and tells so only at its check further on
  // (DescriptorBuffer::ReadGzipToEnd); ReadFailed() then tells.
  void ReadGzipToEnd() { buffer_.ReadGzipToEnd(); }
  // The errno of the failed read; 0 when none failed or a stop request ended
  // reading.
  int ReadError() const { return buffer_.Error(); }
  // Why reading failed, for a message: the system's reason for the errno,
  // what was wrong with compressed input, or "" for a stop request.
  std::string ReadReason() const {
    if (buffer_.Problem()) return buffer_.Problem();
    return buffer_.Error() != 0 ? std::strerror(buffer_.Error()) : "";
  }

 private:
  DescriptorBuffer buffer_;
  std::istream stream_;
};

#endif  // ANNOTATOR_TRAININGFILE_H_
