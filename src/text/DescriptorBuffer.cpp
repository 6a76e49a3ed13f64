#include "text/DescriptorBuffer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "text/Inflater.h"

namespace {

// What a pipe or terminal gives is read ahead in pieces of a pipe's
// capacity; a regular file goes straight to the reader through sgetn.
constexpr std::size_t kAheadSize = 64 << 10;

constexpr const char* kCutShort = "gzip data cut short";

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr std::size_t kMarkBytes = sizeof kByteOrderMark - 1;

}  // namespace

int OpenInputFile(const char* path, int flags, mode_t& mode) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | flags);
  if (fd < 0) return -1;
  struct stat info;
  int error = 0;
  if (::fstat(fd, &info) != 0) {
    error = errno;
  } else if (S_ISDIR(info.st_mode)) {
    error = EISDIR;
  }
  if (error != 0) {
    ::close(fd);
    errno = error;
    return -1;
  }
  mode = info.st_mode;
  return fd;
}

DescriptorBuffer::DescriptorBuffer() : ahead_(new char[kAheadSize]) {}

DescriptorBuffer::~DescriptorBuffer() { Close(); }

bool DescriptorBuffer::Open(const char* path) {
  mode_t mode = 0;
  const int fd = OpenInputFile(path, 0, mode);
  if (fd < 0) return false;
  Adopt(fd);
  return true;
}

void DescriptorBuffer::Adopt(int fd, bool polled, int wakeMilliseconds) {
  Close();
  fd_ = fd;
  polled_ = polled;
  wakeMilliseconds_ = wakeMilliseconds;
  done_ = stopped_ = sniffed_ = false;
  error_ = 0;
  problem_ = nullptr;
  sinceCheck_ = 0;
  gzip_.reset();
  compressed_.reset();
  struct stat info;
  regular_ = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  size_ = regular_ ? static_cast<std::uint64_t>(info.st_size) : 0;
  const off_t at = ::lseek(fd, 0, SEEK_CUR);
  position_ = at < 0 ? 0 : static_cast<std::uint64_t>(at);
}

void DescriptorBuffer::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  done_ = true;
  gzip_.reset();
  setg(nullptr, nullptr, nullptr);
}

std::size_t DescriptorBuffer::RawRead(char* to, std::size_t room) {
  if (done_ || fd_ < 0) return 0;
  for (;;) {
    if (polled_) {
      pollfd wait{fd_, POLLIN, 0};
      const int ready = ::poll(&wait, 1, wakeMilliseconds_);
      if (ready < 0 && errno != EINTR) {
        error_ = errno;
        break;
      }
      if (ready <= 0) {
        if (!Interrupted()) {
          stopped_ = true;
          break;
        }
        continue;
      }
    }
    const ssize_t got = ::read(fd_, to, room);
    if (got > 0) {
      position_ += static_cast<std::uint64_t>(got);
      sinceCheck_ += static_cast<std::size_t>(got);
      if (sinceCheck_ < checkEvery_) return static_cast<std::size_t>(got);
      sinceCheck_ = 0;
      if (Interrupted()) return static_cast<std::size_t>(got);
      stopped_ = true;
      break;
    }
    if (got == 0) break;
    if (errno == EAGAIN) continue;
    if (errno == EINTR) {
      if (Interrupted()) continue;
      stopped_ = true;
      break;
    }
    error_ = errno;
    break;
  }
  done_ = true;
  return 0;
}

std::size_t DescriptorBuffer::Sniff(char* to, std::size_t room) {
  sniffed_ = true;
  // A pipe may hand out less than a magic at a time, but a line that is
  // plain from its first byte is handed out as it comes.
  std::size_t held = 0;
  while (KindUnsettled(to, held)) {
    const std::size_t got = RawRead(to + held, room - held);
    if (got == 0) break;
    held += got;
  }
  const InputKind kind = KindOfInput(to, held);
  if (kind == InputKind::kPlain) return held;
  if (const char* refusal = RefusalOf(kind)) {
    Refuse(refusal);
    return 0;
  }
  compressed_.reset(new char[kAheadSize]);
  std::memcpy(compressed_.get(), to, held);
  gzip_ = std::make_unique<GzipInflater>();
  gzip_->Feed(compressed_.get(), held);
  return Inflate(to, room);
}

std::size_t DescriptorBuffer::First(char* to, std::size_t room) {
  std::size_t held = Sniff(to, room);
  if (!skipMark_) return held;
  // A pipe, or a gzip member's end, may hand out the mark in pieces.
  while (held > 0 && held < kMarkBytes &&
         std::memcmp(to, kByteOrderMark, held) == 0) {
    const std::size_t got = ReadSome(to + held, room - held);
    if (got == 0) break;
    held += got;
  }
  if (held < kMarkBytes || std::memcmp(to, kByteOrderMark, kMarkBytes) != 0) {
    return held;
  }
  held -= kMarkBytes;
  std::memmove(to, to + kMarkBytes, held);
  // Nothing but the mark is no end of the input.
  return held > 0 ? held : ReadSome(to, room);
}

void DescriptorBuffer::Refuse(const char* why) {
  problem_ = why;
  stopped_ = done_ = true;
}

std::size_t DescriptorBuffer::Inflate(char* to, std::size_t room) {
  for (;;) {
    if (problem_) return 0;
    if (gzip_->Hungry()) {
      const std::size_t got = RawRead(compressed_.get(), kAheadSize);
      if (got == 0) {
        // Only a whole member may end the data; a failed read speaks for
        // itself.
        if (!Failed() && !gzip_->AtMemberEnd()) Refuse(kCutShort);
        return 0;
      }
      gzip_->Feed(compressed_.get(), got);
    }
    const std::size_t made = gzip_->Inflate(to, room);
    // What came before the damage is handed out first.
    if (made > 0 || room == 0) return made;
    if (gzip_->Damage()) Refuse(gzip_->Damage());
  }
}

void DescriptorBuffer::ReadGzipToEnd() {
  if (!gzip_) return;
  // The read-ahead takes what is made; none of it is handed out.
  setg(ahead_.get(), ahead_.get(), ahead_.get());
  while (Inflate(ahead_.get(), kAheadSize) > 0) {
  }
}

DescriptorBuffer::int_type DescriptorBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const std::size_t got = sniffed_ ? ReadSome(ahead_.get(), kAheadSize)
                                   : First(ahead_.get(), kAheadSize);
  if (got == 0) return traits_type::eof();
  setg(ahead_.get(), ahead_.get(), ahead_.get() + got);
  return traits_type::to_int_type(*gptr());
}

std::streamsize DescriptorBuffer::xsgetn(char* to, std::streamsize count) {
  // The first bytes are looked at in the read-ahead, and handed out from
  // there: one copy of one read in a run.
  if (!sniffed_) underflow();
  std::streamsize taken = std::max<std::streamsize>(
      0, std::min<std::streamsize>(egptr() - gptr(), count));
  std::copy(gptr(), gptr() + taken, to);
  gbump(static_cast<int>(taken));
  // As sgetn promises, short only at the end; a reader that wants no wait
  // asks for no more than in_avail() says is there.
  while (taken < count) {
    const std::size_t got =
        ReadSome(to + taken, static_cast<std::size_t>(count - taken));
    if (got == 0) break;
    taken += static_cast<std::streamsize>(got);
  }
  return taken;
}

std::streamsize DescriptorBuffer::showmanyc() {
  if (done_ || !regular_ || gzip_ || position_ >= size_) return 0;
  return static_cast<std::streamsize>(size_ - position_);
}

DescriptorBuffer::pos_type DescriptorBuffer::seekoff(off_type offset,
                                                     std::ios_base::seekdir way,
                                                     std::ios_base::openmode) {
  // Only where reading stands is told; the descriptor is never moved.
  if (offset != 0 || way != std::ios_base::cur) return pos_type(off_type(-1));
  // Gzip input tells how far its compressed bytes are read.
  if (gzip_) return pos_type(static_cast<off_type>(position_));
  return pos_type(static_cast<off_type>(position_) - (egptr() - gptr()));
}
