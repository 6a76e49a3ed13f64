#include "RecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

volatile std::sig_atomic_t Writing = 0;
volatile std::sig_atomic_t HeldSignal = 0;

// What a termination signal between writes writes out: the held records of
// the file open now. Set while the file is open, read by the handler.
int HeldFd = -1;
bool HeldRegular = false;
const char* volatile HeldBatch = nullptr;
const volatile std::size_t* HeldBytes = nullptr;
volatile off_t HeldWholeUpTo = 0;

// Ends the process by `signal` with its default action, so that whoever
// waits for it sees the signal, as without the handler.
void DieBy(int signal) {
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Only async-signal-safe calls: the records held back are whole and done,
// so they go out before the process ends; a write that fails is cut back.
void WriteOutHeld() {
  if (HeldFd == -1 || !HeldBatch || !HeldBytes) return;
  const char* bytes = HeldBatch;
  std::size_t left = *HeldBytes;
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

void OnTermination(int signal) {
  if (Writing) {
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
  if (fd_ != -1) {
    HeldFd = -1;
    ::close(fd_);
  }
}

bool RecordFile::Open(const char* path) {
  fd_ = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ == -1) return false;
  struct stat info;
  regular_ = ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
  if (regular_) {
    const off_t start = ::lseek(fd_, 0, SEEK_CUR);
    wholeUpTo_ = start < 0 ? 0 : start;
  }
  if (!batch_) batch_.reset(new char[kBatchBytes]);
  held_ = 0;
  heldEnds_.clear();
  HeldWholeUpTo = wholeUpTo_;
  HeldRegular = regular_;
  HeldBatch = batch_.get();
  HeldBytes = &held_;
  HeldFd = fd_;
  return true;
}

bool RecordFile::WriteRecords(std::string_view bytes, const std::size_t* ends,
                              std::size_t count) {
  std::size_t done = 0;
  bool written = true;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    // A write that takes nothing would loop for ever: count it as failed.
    if (n <= 0) {
      written = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  // The records that went out whole stay; of the one cut short, nothing.
  std::size_t whole = 0;
  while (whole < count && ends[whole] <= done) ++whole;
  const std::size_t wholeBytes = whole == 0 ? 0 : ends[whole - 1];
  wholeRecords_ += whole;
  if (!written && regular_) {
    const off_t cut = wholeUpTo_ + static_cast<off_t>(wholeBytes);
    while (::ftruncate(fd_, cut) == -1 && errno == EINTR) {
    }
  }
  // Whatever part of a record went to a pipe or a device cannot be taken
  // back; there is nothing better to do than to say so.
  wholeUpTo_ += static_cast<off_t>(written ? done : wholeBytes);
  HeldWholeUpTo = wholeUpTo_;
  return written;
}

bool RecordFile::Append(std::string_view record) {
  if (held_ + record.size() > kBatchBytes && !Flush()) return false;
  if (record.size() > kBatchBytes) {
    const std::size_t end = record.size();
    Writing = 1;
    return EndWriting(WriteRecords(record, &end, 1));
  }
  std::memcpy(batch_.get() + held_, record.data(), record.size());
  Hold(record.size());
  return true;
}

void RecordFile::Hold(std::size_t size) {
  heldEnds_.push_back(held_ + size);
  // The bytes are in place before a signal handler may count them.
  std::atomic_signal_fence(std::memory_order_release);
  held_ = held_ + size;
}

bool RecordFile::Flush() {
  if (held_ == 0) return true;
  Writing = 1;
  const bool written = WriteRecords(std::string_view(batch_.get(), held_),
                                    heldEnds_.data(), heldEnds_.size());
  // Emptied before a signal may act, so that nothing goes out twice.
  held_ = 0;
  heldEnds_.clear();
  return EndWriting(written);
}

bool RecordFile::EndWriting(bool written) {
  Writing = 0;
  if (HeldSignal != 0) DieBy(HeldSignal);
  return written;
}

bool RecordFile::Close() {
  const bool flushed = fd_ != -1 && Flush();
  const int fd = fd_;
  fd_ = -1;
  HeldFd = -1;
  return fd != -1 && ::close(fd) == 0 && flushed;
}
