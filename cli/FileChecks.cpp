#include "FileChecks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

bool NameSameFile(const char* first, const char* second) {
  struct stat a;
  struct stat b;
  return ::stat(first, &a) == 0 && ::stat(second, &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool DescriptorNamesFile(int fd, const char* path) {
  struct stat a;
  struct stat b;
  return ::fstat(fd, &a) == 0 && ::stat(path, &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

unsigned ReserveStandardDescriptors() {
  unsigned reopened = 0;
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) continue;
    // open() takes the lowest free descriptor, which is this one.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened == fd) reopened |= 1U << fd;
    if (opened != -1 && opened != fd) ::close(opened);
  }
  return reopened;
}

bool WritesToDevNull(int fd) {
  struct stat target;
  struct stat devNull;
  // A character device is /dev/null when it carries /dev/null's numbers.
  return ::fstat(fd, &target) == 0 && S_ISCHR(target.st_mode) &&
         ::stat("/dev/null", &devNull) == 0 && S_ISCHR(devNull.st_mode) &&
         target.st_rdev == devNull.st_rdev;
}

bool IsStandardInput(const char* path) { return std::strcmp(path, "-") == 0; }

std::uint64_t RegularFileSize(const char* path) {
  struct stat info {};
  const int found = IsStandardInput(path) ? ::fstat(STDIN_FILENO, &info)
                                          : ::stat(path, &info);
  return found == 0 && S_ISREG(info.st_mode)
             ? static_cast<std::uint64_t>(info.st_size)
             : 0;
}
