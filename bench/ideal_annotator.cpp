// ideal_annotator: an annotator that does no work at all, to time in the
// place of the real one.
//
// Usage: ideal_annotator IN_FILE OUT_FILE
//
// Moves IN_FILE to OUT_FILE in 1 MiB blocks, then writes to standard output
// as many bytes as annotator's listing of IN_FILE takes, unless standard
// output is /dev/null (annotator lists nothing there). The listing sizes come
// from the file that IDEAL_LISTING_SIZES names: lines of "SIZE PATH". Its
// bytes and write calls are those of copy_floor, so whatever separates its
// time from copy_floor's is where and when it runs, not what it does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr std::size_t kBlock = 1 << 20;

void WriteAll(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w <= 0) std::exit(1);
    p += w;
    n -= static_cast<std::size_t>(w);
  }
}

unsigned long long ListingSize(const char* path) {
  const char* sizes = std::getenv("IDEAL_LISTING_SIZES");
  std::ifstream in(sizes ? sizes : "");
  unsigned long long size = 0;
  std::string name;
  while (in >> size && std::getline(in >> std::ws, name)) {
    if (name == path) return size;
  }
  std::fprintf(stderr, "no listing size for %s\n", path);
  std::exit(2);
}

bool StdoutIsDevNull() {
  struct stat out {
  }, null{};
  return ::fstat(1, &out) == 0 && ::stat("/dev/null", &null) == 0 &&
         out.st_rdev == null.st_rdev && S_ISCHR(out.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "Usage: %s IN_FILE OUT_FILE\n", argv[0]);
    return 2;
  }
  unsigned long long listing = StdoutIsDevNull() ? 0 : ListingSize(argv[1]);
  const int in = ::open(argv[1], O_RDONLY);
  const int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (in < 0 || out < 0) return 2;
  static char block[kBlock];
  for (;;) {
    const ssize_t n = ::read(in, block, sizeof block);
    if (n < 0) return 1;
    if (n == 0) break;
    WriteAll(out, block, static_cast<std::size_t>(n));
  }
  std::memset(block, '|', sizeof block);
  while (listing > 0) {
    const std::size_t n = listing < kBlock ? listing : kBlock;
    WriteAll(1, block, n);
    listing -= n;
  }
  return ::close(out) == 0 && ::close(in) == 0 ? 0 : 1;
}
