#include "FileChecks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool NameSameFile(const char* first, const char* second) {
  struct stat a;
  struct stat b;
  return ::stat(first, &a) == 0 && ::stat(second, &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsDirectory(const char* path) {
  struct stat info;
  return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

void ReserveStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) continue;
    // open() takes the lowest free descriptor, which is this one.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != -1 && opened != fd) ::close(opened);
  }
}
