#include "RecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

volatile std::sig_atomic_t Writing = 0;
volatile std::sig_atomic_t HeldSignal = 0;

// Ends the process by `signal` with its default action, so that whoever
// waits for it sees the signal, as without the handler.
void DieBy(int signal) {
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void OnTermination(int signal) {
  if (Writing) {
    HeldSignal = signal;
  } else {
    // Blocked inside its own handler, the raised signal ends the process
    // as soon as the handler returns.
    DieBy(signal);
  }
}

// Writes `bytes` to `fd` until all went or a write failed; returns how many
// the kernel took.
std::size_t WritePrefix(int fd, std::string_view bytes) {
  std::size_t taken = 0;
  while (taken < bytes.size()) {
    const ssize_t written =
        ::write(fd, bytes.data() + taken, bytes.size() - taken);
    if (written < 0 && errno == EINTR) continue;
    // A write that takes nothing would loop for ever: count it as failed.
    if (written <= 0) break;
    taken += static_cast<std::size_t>(written);
  }
  return taken;
}

}  // namespace

void HoldTerminationDuringWrites() {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) != 0 ||
        current.sa_handler == SIG_IGN) {
      continue;
    }
    struct sigaction held {};
    held.sa_handler = OnTermination;
    sigemptyset(&held.sa_mask);
    held.sa_flags = SA_RESTART;
    ::sigaction(signal, &held, nullptr);
  }
}

bool WriteWhole(int fd, std::string_view bytes) {
  return WritePrefix(fd, bytes) == bytes.size();
}

RecordFile::~RecordFile() {
  if (owned_ && fd_ != -1) ::close(fd_);
}

bool RecordFile::Open(const char* path) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd == -1) return false;
  Begin(fd, true);
  return true;
}

void RecordFile::Adopt(int fd) { Begin(fd, false); }

void RecordFile::Begin(int fd, bool owned) {
  fd_ = fd;
  owned_ = owned;
  struct stat info;
  regular_ = ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
  if (regular_) {
    // Whatever the file held before this program's first unit stays.
    const off_t start = ::lseek(fd_, 0, SEEK_CUR);
    wholeUpTo_ = start < 0 ? 0 : start;
  }
}

bool RecordFile::EndUnit() {
  unitEnds_.push_back(buffer_.size());
  return buffer_.size() < flushBound_ || Flush();
}

bool RecordFile::Append(std::string_view unit) {
  buffer_.append(unit);
  return EndUnit();
}

bool RecordFile::Flush() {
  if (failed_) return false;
  if (unitEnds_.empty()) return true;
  const std::size_t whole = unitEnds_.back();
  Writing = 1;
  const std::size_t taken =
      WritePrefix(fd_, std::string_view(buffer_).substr(0, whole));
  if (taken == whole) {
    wholeUpTo_ += static_cast<off_t>(whole);
  } else {
    failed_ = true;
    if (regular_) {
      // The units the kernel took whole stay; the rest of what went out is
      // taken back. A pipe or a device cannot be cut, and there is nothing
      // better to do than to say so.
      std::size_t kept = 0;
      for (const std::size_t end : unitEnds_) {
        if (end > taken) break;
        kept = end;
      }
      wholeUpTo_ += static_cast<off_t>(kept);
      while (::ftruncate(fd_, wholeUpTo_) == -1 && errno == EINTR) {
      }
    }
  }
  Writing = 0;
  buffer_.erase(0, whole);
  unitEnds_.clear();
  if (HeldSignal != 0) DieBy(HeldSignal);
  return !failed_;
}

bool RecordFile::Close() {
  const bool flushed = fd_ != -1 && Flush();
  const int fd = fd_;
  fd_ = -1;
  if (!owned_ || fd == -1) return flushed;
  return ::close(fd) == 0 && flushed;
}
