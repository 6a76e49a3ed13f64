#include "FileChecks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

unsigned reserved = 0;

// Where `path` names a file, or would once made: its directory's real path
// and its last name; empty where the directory does not resolve.
std::string PlaceOf(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const std::string directory = !slash          ? "."
                                : slash == path ? "/"
                                                : std::string(path, slash);
  const std::unique_ptr<char, decltype(&std::free)> real(
      ::realpath(directory.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) + "/" + (slash ? slash + 1 : path)
              : std::string();
}

}  // namespace

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

bool WritesToInput(int fd, const char* path) {
  struct stat output;
  struct stat input;
  const int found = std::strcmp(path, "-") == 0 ? ::fstat(STDIN_FILENO, &input)
                                                : ::stat(path, &input);
  return found == 0 && ::fstat(fd, &output) == 0 && S_ISREG(output.st_mode) &&
         output.st_dev == input.st_dev && output.st_ino == input.st_ino;
}

bool NameSamePlace(const char* first, const char* second) {
  struct stat info;
  if (::stat(first, &info) == 0 || ::stat(second, &info) == 0) {
    return NameSameFile(first, second);
  }
  const std::string place = PlaceOf(first);
  return !place.empty() && place == PlaceOf(second);
}

bool StandardInputWasClosed() { return (reserved & 1U) != 0; }

unsigned ReserveStandardDescriptors() {
  unsigned reopened = 0;
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) continue;
    // open() takes the lowest free descriptor, which is this one.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened == fd) reopened |= 1U << fd;
    if (opened != -1 && opened != fd) ::close(opened);
  }
  reserved = reopened;
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
