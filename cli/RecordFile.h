#ifndef ANNOTATOR_RECORDFILE_H_
#define ANNOTATOR_RECORDFILE_H_

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Writes all of `bytes` to `fd`, looping only on short writes and
// interruptions. False when a write fails.
bool WriteWhole(int fd, std::string_view bytes);

// An output that only ever holds whole units (records, patterns): units
// gather in a buffer and go to the kernel in one write call per Flush, so a
// run killed at any moment leaves whole units, and a flush that fails partway
// cuts a regular file back to the end of the last whole unit the kernel took.
// One limit is the kernel's: a write that spans pages of the page cache stops
// at a page boundary when SIGKILL arrives in the middle of it. The
// termination signals a program can catch are therefore held back while a
// flush is writing (see HoldTerminationDuringWrites).
//
// Units appended but not flushed are dropped when the file goes away or the
// process ends: a program that ends on an error flushes first if it wants
// the units before the error kept. A termination signal is the exception:
// the whole units buffered then go out before the process ends (see
// HoldTerminationDuringWrites).
class RecordFile {
 public:
  RecordFile() = default;
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // Creates or empties `path` for writing. False, with errno set, when it
  // cannot.
  bool Open(const char* path);

  // Writes to `fd`, which stays open after Close (standard output).
  void Adopt(int fd);

  // Append and EndUnit flush by themselves once this many bytes are
  // buffered. 0, the default, writes every unit as soon as it ends.
  void SetFlushBound(std::size_t bytes) { flushBound_ = bytes; }

  // The buffer, for building the next unit in place at its end; the bytes
  // appended become a unit with EndUnit. Bytes after the last unit's end are
  // never written. Callers only ever append to it, and ask for it anew for
  // every unit: termination signals wait from here to EndUnit or Flush.
  std::string& Buffer();

  // Ends the unit built at the end of Buffer(). Flushes when the bound is
  // reached; false when that flush failed.
  bool EndUnit();

  // Appends `unit` whole, as Buffer().append(unit) and EndUnit() do.
  bool Append(std::string_view unit);

  // Hands every whole unit buffered to the kernel in one write call (more
  // only where the kernel takes part of it). On failure a regular file is
  // cut back to its last whole unit and false is returned; every later
  // flush fails too, so nothing can follow the cut.
  bool Flush();

  // Flushes, then closes the file unless it was adopted; false when either
  // reports a failed write.
  bool Close();

  // How many units the file has taken whole: after a failed flush, the
  // number (from 0) of the first unit that did not get in.
  std::size_t WholeUnits() const { return wholeUnits_; }

  // The errno of the write (or close) that failed, 0 while none has.
  int Error() const { return error_; }

 private:
  void Begin(int fd, bool owned);
  // Shows a termination signal the whole units buffered now.
  void Publish();

  int fd_ = -1;
  bool owned_ = false;
  bool regular_ = false;
  bool failed_ = false;
  int error_ = 0;
  std::size_t flushBound_ = 0;
  // The file's size when all it holds is whole.
  off_t wholeUpTo_ = 0;
  std::size_t wholeUnits_ = 0;
  std::string buffer_;
  // Where each buffered unit ends in buffer_, in order.
  std::vector<std::size_t> unitEnds_;
};

// From now on SIGTERM, SIGINT, SIGHUP and SIGQUIT end the process as they
// would have, but never while RecordFile::Flush is writing or a unit is being
// built: such a signal is acted on once the units are whole. Before the
// process ends, the whole units the last RecordFile opened holds go out.
// Output that is no regular file gets two seconds from the signal to take
// them (a pipe nobody reads never would); then the signal ends the process.
// Signals that are ignored stay ignored.
void HoldTerminationDuringWrites();

#endif  // ANNOTATOR_RECORDFILE_H_
