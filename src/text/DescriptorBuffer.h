#ifndef ANNOTATOR_DESCRIPTORBUFFER_H_
#define ANNOTATOR_DESCRIPTORBUFFER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <streambuf>

// A stream buffer that reads a file descriptor with read(2), the one way the
// programs and the Python module read their files. A failed read ends the
// input there and keeps its errno (Error()), whatever the standard library:
// a reader sees the end of input, and its owner asks Failed() before it
// trusts what the last read gave.
//
// Large reads (sgetn) go straight from the descriptor into the reader's
// buffer, one read(2) each, and for a regular file in_avail() says how much
// is left without asking the system: a reader that takes what is at hand
// (ReadAtHand) costs one system call per piece and copies each byte once.
class DescriptorBuffer : public std::streambuf {
 public:
  DescriptorBuffer();
  ~DescriptorBuffer() override;
  DescriptorBuffer(const DescriptorBuffer&) = delete;
  DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;

  // Opens `path` for reading; false, with errno set, when it cannot be
  // opened or is a directory, which opens but cannot be read.
  bool Open(const char* path);
  // Reads `fd` from where it stands and closes it when done. With `polled`,
  // waits for input in poll() with a wake every `wakeMilliseconds` (for a
  // descriptor opened without blocking, or to look at signals).
  void Adopt(int fd, bool polled = false, int wakeMilliseconds = -1);
  // Lets go of the descriptor; reading after it finds the end.
  void Close();

  bool IsOpen() const { return fd_ >= 0; }
  // The errno of the read that failed, 0 while none has.
  int Error() const { return error_; }
  // True once reading ended by a failure or by Interrupted() saying stop.
  bool Failed() const { return error_ != 0 || stopped_; }

 protected:
  // Called when a signal interrupted a wait or a read, and at every wake of
  // a polled wait: false ends the input there, as a failure without an
  // errno. Reading goes on by default.
  virtual bool Interrupted() { return true; }

  int_type underflow() override;
  std::streamsize xsgetn(char* to, std::streamsize count) override;
  std::streamsize showmanyc() override;
  pos_type seekoff(off_type offset, std::ios_base::seekdir way,
                   std::ios_base::openmode which) override;

 private:
  // One read(2) of up to `room` bytes into `to`, waiting as the descriptor
  // needs; 0 at the end of input or at a failure.
  std::size_t ReadSome(char* to, std::size_t room);

  int fd_ = -1;
  bool polled_ = false;
  int wakeMilliseconds_ = -1;
  bool regular_ = false;
  // A regular file's size when opened, and the bytes read from it since.
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
  bool done_ = false;
  bool stopped_ = false;
  int error_ = 0;
  // For reads a byte at a time (sgetc): a small read-ahead.
  std::unique_ptr<char[]> ahead_;
};

#endif  // ANNOTATOR_DESCRIPTORBUFFER_H_
