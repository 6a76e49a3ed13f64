#include "RecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace {

volatile std::sig_atomic_t Writing = 0;
volatile std::sig_atomic_t Building = 0;
volatile std::sig_atomic_t HeldSignal = 0;

// What a termination signal writes out before the process ends: the whole
// units of the file opened last, as its last EndUnit or Flush left them.
volatile int HeldFd = -1;
volatile bool HeldRegular = false;
const char* volatile HeldUnits = nullptr;
volatile std::size_t HeldBytes = 0;
volatile off_t HeldWholeUpTo = 0;

// Ends the process by `signal` with its default action, so that whoever
// waits for it sees the signal, as without the handler.
void DieBy(int signal) {
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Only async-signal-safe calls; a write that fails is cut back.
void WriteOutHeld() {
  const char* bytes = HeldUnits;
  std::size_t left = HeldBytes;
  if (HeldFd == -1 || !bytes) return;
  while (left > 0) {
    const ssize_t written = ::write(HeldFd, bytes, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (HeldRegular) {
        while (::ftruncate(HeldFd, HeldWholeUpTo) == -1 && errno == EINTR) {
        }
      }
      return;
    }
    bytes += written;
    left -= static_cast<std::size_t>(written);
  }
}

// How long a termination signal waits for output that is no regular file
// to take the units under way: a pipe whose reader stopped reading would
// otherwise hold the process for ever, in a write that never returns. A
// regular file always takes its bytes, and is never given up on.
constexpr unsigned kHoldSeconds = 2;

// Ends the process by the signal held, though inside the handler of that
// very signal, which blocks it.
void OnHoldTimeout(int) {
  const int signal = HeldSignal;
  std::signal(signal, SIG_DFL);
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, signal);
  ::sigprocmask(SIG_UNBLOCK, &blocked, nullptr);
  std::raise(signal);
}

void OnTermination(int signal) {
  if (!HeldRegular && HeldSignal == 0) {
    HeldSignal = signal;
    ::alarm(kHoldSeconds);
  }
  if (Writing || Building) {
    HeldSignal = signal;
  } else {
    const int savedErrno = errno;
    WriteOutHeld();
    errno = savedErrno;
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
  struct sigaction timeout {};
  timeout.sa_handler = OnHoldTimeout;
  sigemptyset(&timeout.sa_mask);
  ::sigaction(SIGALRM, &timeout, nullptr);
}

bool WriteWhole(int fd, std::string_view bytes) {
  return WritePrefix(fd, bytes) == bytes.size();
}

RecordFile::~RecordFile() {
  if (fd_ != -1 && HeldFd == fd_) HeldFd = -1;
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
  HeldFd = -1;
  HeldRegular = regular_;
  Publish();
  HeldFd = fd_;
}

void RecordFile::Publish() {
  HeldBytes = 0;
  HeldWholeUpTo = wholeUpTo_;
  HeldUnits = buffer_.data();
  // The pointer is in place before the count makes it worth reading.
  std::atomic_signal_fence(std::memory_order_release);
  HeldBytes = failed_ || unitEnds_.empty() ? 0 : unitEnds_.back();
}

std::string& RecordFile::Buffer() {
  Building = 1;
  return buffer_;
}

bool RecordFile::EndUnit() {
  unitEnds_.push_back(buffer_.size());
  Publish();
  Building = 0;
  // A signal held while the unit was built takes it along.
  if (buffer_.size() < flushBound_ && HeldSignal == 0) return true;
  return Flush();
}

bool RecordFile::Append(std::string_view unit) {
  Buffer().append(unit);
  return EndUnit();
}

bool RecordFile::Flush() {
  Building = 0;
  if (failed_ || unitEnds_.empty()) {
    if (HeldSignal != 0) DieBy(HeldSignal);
    return !failed_;
  }
  const std::size_t whole = unitEnds_.back();
  Writing = 1;
  const std::size_t taken =
      WritePrefix(fd_, std::string_view(buffer_).substr(0, whole));
  if (taken == whole) {
    wholeUpTo_ += static_cast<off_t>(whole);
    wholeUnits_ += unitEnds_.size();
  } else {
    failed_ = true;
    // Taken before the cut below can change it.
    error_ = errno;
    // The units the kernel took whole stay; the rest of what went out is
    // taken back. A pipe or a device cannot be cut, and there is nothing
    // better to do than to say so.
    std::size_t kept = 0;
    for (const std::size_t end : unitEnds_) {
      if (end > taken) break;
      kept = end;
      ++wholeUnits_;
    }
    if (regular_) {
      wholeUpTo_ += static_cast<off_t>(kept);
      while (::ftruncate(fd_, wholeUpTo_) == -1 && errno == EINTR) {
      }
    }
  }
  buffer_.erase(0, whole);
  unitEnds_.clear();
  Publish();
  Writing = 0;
  if (HeldSignal != 0) DieBy(HeldSignal);
  return !failed_;
}

bool RecordFile::Close() {
  const bool flushed = fd_ != -1 && Flush();
  const int fd = fd_;
  if (fd != -1 && HeldFd == fd) HeldFd = -1;
  fd_ = -1;
  if (!owned_ || fd == -1) return flushed;
  if (::close(fd) != 0 && flushed) {
    // A network file system may report a lost write only here.
    error_ = errno;
    return false;
  }
  return flushed;
}
