#ifndef ANNOTATOR_REPLACINGFILE_H_
#define ANNOTATOR_REPLACINGFILE_H_

#include <string>

// An output that takes its name only once it is whole: written to a file of
// its own beside the file it replaces, unnamed where the system allows
// (O_TMPFILE), and renamed onto it by Commit. A run that ends before, by an
// error, a signal or a kill, leaves that file as it was and nothing beside
// it. Where the name is not a regular file (a device, a FIFO), the output
// goes to it directly, as there is nothing to replace. A symbolic link
// stays one: the file it leads to is replaced, or made.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile() { Discard(); }
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Opens the new file for `path`. False, with errno set, when it cannot,
  // or when a plain open of `path` for writing would fail: no name, a file
  // this process may not write, a link into no directory.
  bool Open(const char* path);
  int Fd() const { return fd_; }
  // Gives the file written a hidden name beside its own, where it has none
  // yet: a run with several outputs names them all before it renames any,
  // so that one that cannot be named leaves the others as they were. False,
  // with errno set, when it cannot.
  bool Prepare();
  // Gives the file written its name; false, with errno set, when that
  // fails, and the file is then gone. The descriptor must be flushed but stays
  // open.
  bool Commit();
  // Closes the file and removes it unless it was committed.
  void Discard();

 private:
  int fd_ = -1;
  bool direct_ = false;
  bool committed_ = false;
  // The name the file gets, and the name it is written under when the
  // system cannot make an unnamed one (empty when it can).
  std::string path_;
  std::string temporary_;
};

// A file of the program's own in `dir`, open for reading and writing, that
// no name reaches and that goes with its descriptor, however the process
// ends: unnamed where the system allows (O_TMPFILE), else made under a
// hidden name that is removed at once (a signal in between removes it
// too). -1, with errno set, when it cannot be made.
int OpenTemporaryFile(const std::string& dir);

// From now on SIGTERM, SIGINT, SIGHUP and SIGQUIT first remove the named
// temporary files of the ReplacingFiles open, then act as they did before
// (HoldTerminationDuringWrites' handler), or end the process as they would
// have. Signals that are ignored stay ignored.
void RemoveTemporariesOnTermination();

#endif  // ANNOTATOR_REPLACINGFILE_H_
