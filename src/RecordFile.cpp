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
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    // A write that takes nothing would loop for ever: count it as failed.
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

RecordFile::~RecordFile() {
  if (fd_ != -1) ::close(fd_);
}

bool RecordFile::Open(const char* path) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd == -1) return false;
  Adopt(fd);
  return true;
}

void RecordFile::Adopt(int fd) {
  fd_ = fd;
  struct stat info;
  regular_ = ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
  if (regular_) {
    const off_t start = ::lseek(fd_, 0, SEEK_CUR);
    wholeUpTo_ = start < 0 ? 0 : start;
  }
}

bool RecordFile::Write(std::string_view record) {
  Writing = 1;
  const bool written = WriteWhole(fd_, record);
  if (written) {
    wholeUpTo_ += static_cast<off_t>(record.size());
  } else if (regular_) {
    // Whatever part of the record went out is taken back; a pipe or a
    // device cannot be cut, and there is nothing better to do than to say
    // so.
    while (::ftruncate(fd_, wholeUpTo_) == -1 && errno == EINTR) {
    }
  }
  Writing = 0;
  if (HeldSignal != 0) DieBy(HeldSignal);
  return written;
}

bool RecordFile::Close() {
  const int fd = fd_;
  fd_ = -1;
  return fd != -1 && ::close(fd) == 0;
}
