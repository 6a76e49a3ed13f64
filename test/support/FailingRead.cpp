// Loaded with LD_PRELOAD into a program under test: its read() of the file
// named by ANNOTATOR_FAILING_READ_PATH hands out ANNOTATOR_FAILING_READ_AFTER
// bytes in all, then fails with EIO, as a dying disk does. Reads of every
// other file pass through untouched.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

using ReadFunction = ssize_t (*)(int, void*, size_t);

// The file's identity, or {0, 0} when no path is set or it cannot be found.
struct FileId {
  dev_t Device = 0;
  ino_t Inode = 0;
};

FileId FailingFile() {
  static const FileId id = [] {
    FileId found;
    struct stat info {};
    const char* path = std::getenv("ANNOTATOR_FAILING_READ_PATH");
    if (path && ::stat(path, &info) == 0) found = {info.st_dev, info.st_ino};
    return found;
  }();
  return id;
}

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
  static const auto real =
      reinterpret_cast<ReadFunction>(::dlsym(RTLD_NEXT, "read"));
  static const char* const after = std::getenv("ANNOTATOR_FAILING_READ_AFTER");
  static size_t left = after ? std::strtoull(after, nullptr, 10) : 0;
  const FileId failing = FailingFile();
  struct stat info {};
  if (failing.Inode == 0 || ::fstat(fd, &info) != 0 ||
      info.st_dev != failing.Device || info.st_ino != failing.Inode) {
    return real(fd, buffer, count);
  }
  if (left == 0) {
    errno = EIO;
    return -1;
  }
  const ssize_t got = real(fd, buffer, count < left ? count : left);
  if (got > 0) left -= static_cast<size_t>(got);
  return got;
}
