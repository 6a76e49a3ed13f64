#ifndef ANNOTATOR_RECORDFILE_H_
#define ANNOTATOR_RECORDFILE_H_

#include <sys/types.h>

#include <string_view>

// Writes all of `bytes` to `fd`, looping only on short writes and
// interruptions. False when a write fails.
bool WriteWhole(int fd, std::string_view bytes);

// An output file that only ever holds whole records: each record goes to the
// kernel in one write call, so a run killed at any moment leaves whole
// records, and a record whose write fails partway is cut off again. One
// limit is the kernel's: a write that spans pages of the page cache stops at
// a page boundary when SIGKILL arrives in the middle of it. The termination
// signals a program can catch are therefore held back while a record is
// being written (see HoldTerminationDuringWrites).
class RecordFile {
 public:
  RecordFile() = default;
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // Creates or empties `path` for writing. False when it cannot.
  bool Open(const char* path);

  // Writes to `fd`, which is open already (standard output, say), from where
  // it stands; the file takes it over.
  void Adopt(int fd);

  // Appends `record` whole. When the write fails partway, a regular file is
  // cut back to the end of the last whole record and false is returned.
  bool Write(std::string_view record);

  // Closes the file; false when closing reports a failed write.
  bool Close();

 private:
  int fd_ = -1;
  bool regular_ = false;
  off_t wholeUpTo_ = 0;
};

// From now on SIGTERM, SIGINT, SIGHUP and SIGQUIT end the process as they
// would have, but never while RecordFile::Write is writing: such a signal is
// acted on once the record is whole. Signals that are ignored stay ignored.
void HoldTerminationDuringWrites();

#endif  // ANNOTATOR_RECORDFILE_H_
