#ifndef ANNOTATOR_DESCRIPTORBUFFER_H_
#define ANNOTATOR_DESCRIPTORBUFFER_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <streambuf>
#include <string_view>

class GzipInflater;

// Opens `path` for reading, with `flags` added to O_RDONLY | O_CLOEXEC, and
// stores its mode in `mode`: the descriptor, or -1 with errno set when it
// cannot be opened or is a directory (EISDIR), which opens but cannot be
// read. Every input file of the programs and the Python module is opened
// here.
int OpenInputFile(const char* path, int flags, mode_t& mode);

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
//
// What the descriptor holds is told by its first bytes, read before the
// first byte is handed out (a pipe's are taken from it, never put back):
// gzip data is handed out decompressed, and input compressed another way
// (xz, bzip2, zstd) fails at once with Problem() saying so. Plain input
// goes on as above; the look costs it one copy of its first read.
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
  // For gzip input, decompresses what is left, handing none of it out:
  // damage shows only where zlib meets it, often at the check at a member's
  // end, and bytes made before it can look like a fault of the data's own
  // (a line too long). A reader about to stop at such a fault calls this
  // first, and Failed() then tells whether the data was damaged. Plain
  // input is left where it stands.
  void ReadGzipToEnd();
  // Calls Interrupted() after every `bytes` read from a descriptor that is
  // not polled, whose reads a signal does not cut short (a regular file):
  // its owner's look at signals then comes at least that often. 0, the
  // default, never calls it.
  void CheckEvery(std::size_t bytes) {
    checkEvery_ = bytes == 0 ? kNeverCheck : bytes;
  }
  // Drops a UTF-8 byte-order mark (EF BB BF), which Windows editors put at
  // the start of a text file, from the start of the input as handed out:
  // after decompression for gzip. Asked before the first read; it holds for
  // every descriptor adopted after it too.
  void SkipByteOrderMark() { skipMark_ = true; }
  // The bytes read ahead and not yet handed out (decompressed, for gzip):
  // after a first sgetc(), what the first read brought.
  std::string_view AtHand() const {
    return {gptr(), static_cast<std::size_t>(egptr() - gptr())};
  }

  bool IsOpen() const { return fd_ >= 0; }
  // The errno of the read that failed, 0 while none has.
  int Error() const { return error_; }
  // Why input that was read could not be handed out, or null: compressed
  // in a way that is not read, or gzip data damaged or cut short.
  const char* Problem() const { return problem_; }
  // True once reading ended by a failure, a Problem() or by Interrupted()
  // saying stop.
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
  // Up to `room` bytes of the input as handed out, into `to`; 0 at its end
  // or at a failure.
  std::size_t ReadSome(char* to, std::size_t room) {
    return gzip_ ? Inflate(to, room) : RawRead(to, room);
  }
  // One read(2) of up to `room` bytes into `to`, waiting as the descriptor
  // needs; 0 at the end of the file or at a failure.
  std::size_t RawRead(char* to, std::size_t room);
  // ReadSome for the first read, into at least kMagicBytes of room: reads
  // the input's first bytes and tells its kind. Plain bytes stay where they
  // were read, gzip data goes to the inflater and is handed out
  // decompressed, and other compression ends the input with its Problem().
  std::size_t Sniff(char* to, std::size_t room);
  // Sniff, then, for SkipByteOrderMark(), the mark taken off what it gave.
  std::size_t First(char* to, std::size_t room);
  // Ends the input for Problem() `why`.
  void Refuse(const char* why);
  // ReadSome for gzip data.
  std::size_t Inflate(char* to, std::size_t room);

  int fd_ = -1;
  bool polled_ = false;
  int wakeMilliseconds_ = -1;
  bool regular_ = false;
  // A regular file's size when opened, and the bytes read from it since.
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
  bool done_ = false;
  // Set by Interrupted() saying stop and by a Problem().
  bool stopped_ = false;
  int error_ = 0;
  bool sniffed_ = false;
  bool skipMark_ = false;
  const char* problem_ = nullptr;
  static constexpr std::size_t kNeverCheck = static_cast<std::size_t>(-1);
  std::size_t checkEvery_ = kNeverCheck;
  std::size_t sinceCheck_ = 0;
  // Set for gzip input, with the compressed bytes it is fed from.
  std::unique_ptr<GzipInflater> gzip_;
  std::unique_ptr<char[]> compressed_;
  // For reads a byte at a time (sgetc): a small read-ahead.
  std::unique_ptr<char[]> ahead_;
};

#endif  // ANNOTATOR_DESCRIPTORBUFFER_H_
