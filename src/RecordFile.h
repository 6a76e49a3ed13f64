#ifndef ANNOTATOR_RECORDFILE_H_
#define ANNOTATOR_RECORDFILE_H_

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Writes all of `bytes` to `fd`, looping only on short writes and
// interruptions. False when a write fails.
bool WriteWhole(int fd, std::string_view bytes);

// An output file that only ever holds whole records. Records are held back
// in memory and go to the kernel in batches of at most kBatchBytes, each
// batch in one write call, so a run killed at any moment leaves whole
// records, and a batch whose write fails partway is cut back to its last
// whole record. One limit is the kernel's: a write that spans pages of the
// page cache stops at a page boundary when SIGKILL arrives in the middle of
// it. The termination signals a program can catch are therefore held back
// while a batch is being written, and one that arrives between writes
// writes out the records held back before it ends the process (see
// HoldTerminationDuringWrites).
class RecordFile {
 public:
  // The most bytes held back; a longer record is written on its own.
  static constexpr std::size_t kBatchBytes = std::size_t{1} << 20;

  RecordFile() = default;
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // Creates or empties `path` for writing. False when it cannot.
  bool Open(const char* path);

  // Holds `record` back to be written whole with the records before it.
  // When it would take what is held past kBatchBytes, what is held is
  // written first. False when a write fails (see Flush).
  bool Append(std::string_view record);

  // Writes the records held back in one write call. When the write fails
  // partway, a regular file is cut back to the end of the last whole record
  // and false is returned.
  bool Flush();

  // Appends a record of `size` bytes that `write` puts in place, given a
  // char* to where they go; otherwise as Append. Saves building the record
  // apart first.
  template <class Writer>
  bool AppendWritten(std::size_t size, Writer write);

  // Appends `record` and writes it out at once, with whatever was held.
  bool Write(std::string_view record) { return Append(record) && Flush(); }

  // Bytes held back, not yet written.
  std::size_t Held() const { return held_; }

  // How many records the file holds whole: after a failed write, the number
  // of the first record (from 0) that did not get in.
  std::size_t WholeRecords() const { return wholeRecords_; }

  // Writes what is held and closes the file; false when a write or closing
  // fails.
  bool Close();

 private:
  // Writes `bytes`, the records whose ends `ends` gives; on failure cuts
  // back to the last whole one.
  bool WriteRecords(std::string_view bytes, const std::size_t* ends,
                    std::size_t count);
  // Counts the `size` bytes after what is held as one more held record.
  void Hold(std::size_t size);
  // Lets termination signals act again, those held meanwhile first.
  static bool EndWriting(bool written);

  int fd_ = -1;
  bool regular_ = false;
  off_t wholeUpTo_ = 0;
  std::size_t wholeRecords_ = 0;
  // The batch: whole records only, [0, held_), their ends in heldEnds_.
  std::unique_ptr<char[]> batch_;
  volatile std::size_t held_ = 0;
  std::vector<std::size_t> heldEnds_;
};

template <class Writer>
bool RecordFile::AppendWritten(std::size_t size, Writer write) {
  if (size > kBatchBytes) {
    std::string record(size, '\0');
    write(record.data());
    return Append(record);
  }
  if (held_ + size > kBatchBytes && !Flush()) return false;
  write(batch_.get() + held_);
  Hold(size);
  return true;
}

// From now on SIGTERM, SIGINT, SIGHUP and SIGQUIT end the process as they
// would have, but never while a RecordFile is writing: such a signal is acted
// on once the batch is whole. Records an open RecordFile holds back are
// written out before the process ends. Signals that are ignored stay
// ignored.
void HoldTerminationDuringWrites();

#endif  // ANNOTATOR_RECORDFILE_H_
