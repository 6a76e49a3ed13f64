#include "ReplacingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "text/NumberText.h"

namespace {

// The named temporaries a signal removes: few, and fixed in size, so that
// the handler reads them without taking memory.
constexpr int kMostTemporaries = 4;
char Temporaries[kMostTemporaries][PATH_MAX + 32];
volatile std::sig_atomic_t TemporaryInUse[kMostTemporaries] = {};

int Register(const std::string& name) {
  // errno as the system would say it, for the message naming the file.
  if (name.size() >= sizeof Temporaries[0]) {
    errno = ENAMETOOLONG;
    return -1;
  }
  for (int i = 0; i < kMostTemporaries; ++i) {
    if (TemporaryInUse[i]) continue;
    std::memcpy(Temporaries[i], name.c_str(), name.size() + 1);
    TemporaryInUse[i] = 1;
    return i;
  }
  errno = EMFILE;
  return -1;
}

void Unregister(const std::string& name) {
  for (int i = 0; i < kMostTemporaries; ++i) {
    if (TemporaryInUse[i] && name == Temporaries[i]) TemporaryInUse[i] = 0;
  }
}

// The handler each signal had before, which acts once the temporaries are
// gone: RecordFile's, which lets the units being written finish first.
constexpr int kMostSignal = 64;
void (*Previous[kMostSignal])(int) = {};

void OnTermination(int signal) {
  for (int i = 0; i < kMostTemporaries; ++i) {
    if (TemporaryInUse[i]) ::unlink(Temporaries[i]);
  }
  if (signal < kMostSignal && Previous[signal] != nullptr) {
    Previous[signal](signal);
    return;
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// The directory of `path` ("." for none) and its last part.
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Tries at a free name, for a temporary and for the unnamed file's name.
constexpr int kMostAttempts = 100;

// A name beside `path` that no file holds yet, for a hidden temporary.
// Whatever name `path` may have, this one must fit too, and it is made only
// once the output is whole: the part taken from `path` gives way where the
// system's longest name, or path, is reached; the process and the attempt
// keep it unique.
std::string TemporaryName(const std::string& path, int attempt) {
  const std::size_t slash = path.rfind('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string dir = DirectoryOf(path);
  const std::string tail =
      "." + Decimal(::getpid()) + "." + Decimal(attempt) + ".tmp";
  const long longestName = ::pathconf(dir.c_str(), _PC_NAME_MAX);
  const std::size_t names =
      longestName > 0 ? static_cast<std::size_t>(longestName) : NAME_MAX;
  const std::size_t paths =
      PATH_MAX - 1 - std::min<std::size_t>(dir.size() + 1, PATH_MAX - 1);
  const std::size_t fixed = 1 + tail.size();
  const std::size_t room = std::min(names, paths);
  std::size_t keep = room > fixed ? room - fixed : 0;
  if (keep < base.size()) {
    // Not inside a UTF-8 character, for those who list the directory.
    while (keep > 0 &&
           (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80) {
      --keep;
    }
    base.resize(keep);
  }
  return dir + "/." + base + tail;
}

// `path` with the symbolic links of its last part followed, each relative
// to its own directory: the file they lead to is replaced, or made where it
// is missing, as a plain open would, and the links stay. False, with errno
// set, where they go round (ELOOP, as open says) or cannot be read.
bool FollowLinks(std::string& path) {
  for (int links = 0;; ++links) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      return true;
    }
    // Linux's own bound on links in one lookup.
    if (links == 40) {
      errno = ELOOP;
      return false;
    }
    char target[PATH_MAX];
    const ssize_t size = ::readlink(path.c_str(), target, sizeof target);
    if (size < 0) return false;
    if (static_cast<std::size_t>(size) == sizeof target) {
      errno = ENAMETOOLONG;
      return false;
    }
    const std::string_view to(target, static_cast<std::size_t>(size));
    path = to[0] == '/' ? std::string() : DirectoryOf(path) + "/";
    path.append(to);
  }
}

}  // namespace

int OpenTemporaryFile(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd != -1 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
    return fd;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = dir + "/.annotator." + Decimal(::getpid()) + "." +
                             Decimal(attempt) + ".tmp";
    if (Register(name) < 0) return -1;
    fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const int error = errno;
    if (fd != -1) ::unlink(name.c_str());
    Unregister(name);
    if (fd != -1 || error != EEXIST) {
      errno = error;
      return fd;
    }
  }
  errno = EEXIST;
  return -1;
}

void RemoveTemporariesOnTermination() {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) != 0 ||
        current.sa_handler == SIG_IGN) {
      continue;
    }
    if (current.sa_handler != SIG_DFL && !(current.sa_flags & SA_SIGINFO) &&
        current.sa_handler != OnTermination && signal < kMostSignal) {
      Previous[signal] = current.sa_handler;
    }
    struct sigaction removing {};
    removing.sa_handler = OnTermination;
    sigemptyset(&removing.sa_mask);
    removing.sa_flags = SA_RESTART;
    ::sigaction(signal, &removing, nullptr);
  }
}

bool ReplacingFile::Open(const char* path) {
  // Refused here, as a plain open refuses it, not once the output is whole.
  if (*path == '\0') {
    errno = ENOENT;
    return false;
  }
  path_ = path;
  struct stat info;
  const bool exists = ::stat(path, &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) {
    direct_ = true;
    fd_ = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd_ != -1;
  }
  if (!FollowLinks(path_)) return false;
  // A file this process may not write is not replaced behind its
  // permissions' back, which the rename alone would do.
  if (exists && ::faccessat(AT_FDCWD, path_.c_str(), W_OK, AT_EACCESS) != 0) {
    return false;
  }
  // An unnamed file is named only at Commit: too late to learn it cannot.
  if (TemporaryName(path_, kMostAttempts - 1).size() >= PATH_MAX) {
    errno = ENAMETOOLONG;
    return false;
  }
  fd_ = ::open(DirectoryOf(path_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC,
               0666);
  for (int attempt = 0; fd_ == -1 && attempt < kMostAttempts; ++attempt) {
    temporary_ = TemporaryName(path_, attempt);
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                 0666);
    if (fd_ == -1 && errno != EEXIST) break;
  }
  if (fd_ == -1) {
    temporary_.clear();
    return false;
  }
  if (!temporary_.empty() && Register(temporary_) < 0) {
    const int error = errno;
    Discard();
    errno = error;
    return false;
  }
  // The replacement keeps the permissions of the file it replaces.
  if (exists) ::fchmod(fd_, info.st_mode & 07777);
  return true;
}

bool ReplacingFile::Prepare() {
  if (fd_ == -1) return false;
  if (direct_ || !temporary_.empty()) return true;
  // An unnamed file gets a hidden name first, then the one it replaces.
  const std::string self = "/proc/self/fd/" + Decimal(fd_);
  for (int attempt = 0; attempt < kMostAttempts; ++attempt) {
    const std::string name = TemporaryName(path_, attempt);
    if (Register(name) < 0) return false;
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(),
                 AT_SYMLINK_FOLLOW) == 0) {
      temporary_ = name;
      return true;
    }
    Unregister(name);
    if (errno != EEXIST) return false;
  }
  return false;
}

bool ReplacingFile::Commit() {
  if (!Prepare()) return false;
  if (direct_) {
    committed_ = true;
    return true;
  }
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
    // The caller names the rename's reason, not the clean-up's.
    const int error = errno;
    Discard();
    errno = error;
    return false;
  }
  Unregister(temporary_);
  temporary_.clear();
  committed_ = true;
  return true;
}

void ReplacingFile::Discard() {
  if (!temporary_.empty() && !committed_) {
    ::unlink(temporary_.c_str());
    Unregister(temporary_);
    temporary_.clear();
  }
  if (fd_ != -1) {
    ::close(fd_);
    fd_ = -1;
  }
}
