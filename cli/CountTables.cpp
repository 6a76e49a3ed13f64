#include "CountTables.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "Messages.h"

namespace {

constexpr std::size_t kRead = std::size_t{1} << 20;

// The count of a count line and its fields; false when it is none.
bool SplitCountLine(std::string_view line, std::uint64_t& count,
                    std::string_view& fields) {
  const std::size_t tab = line.find('\t');
  if (tab == 0 || tab == std::string_view::npos || tab > 19 || line[0] == '0') {
    return false;
  }
  count = 0;
  for (std::size_t i = 0; i < tab; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
    count = count * 10 + static_cast<std::uint64_t>(line[i] - '0');
  }
  // Counts that add up must still fit.
  if (count > (std::uint64_t{1} << 62)) return false;
  fields = line.substr(tab + 1);
  return std::count(fields.begin(), fields.end(), '\t') == 7;
}

// One table, read whole; "" or the message of its refusal.
std::string ReadTable(const char* path, SortedRuns& byLine) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd == -1) return messages::FileFailed("open", "count table", path, errno);
  std::string buffer;
  std::size_t begin = 0;
  long long number = 0;
  std::uint64_t lastCount = 0;
  std::string lastFields;
  std::string refusal;
  for (bool more = true; more && refusal.empty();) {
    buffer.erase(0, begin);
    begin = 0;
    const std::size_t had = buffer.size();
    buffer.resize(had + kRead);
    ssize_t got;
    do {
      got = ::read(fd, buffer.data() + had, kRead);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      refusal = messages::FileFailed("read", "count table", path, errno);
      break;
    }
    buffer.resize(had + static_cast<std::size_t>(got));
    more = got > 0;
    for (std::size_t end; refusal.empty() &&
                          (end = buffer.find('\n', begin)) != std::string::npos;
         begin = end + 1) {
      ++number;
      std::uint64_t count = 0;
      std::string_view fields;
      if (!SplitCountLine(std::string_view(buffer).substr(begin, end - begin),
                          count, fields)) {
        refusal = messages::BadCountLine(number, path, false);
      } else if (number > 1 && (count > lastCount ||
                                (count == lastCount && fields <= lastFields))) {
        refusal = messages::BadCountLine(number, path, true);
      } else {
        byLine.Add(count, fields);
        lastCount = count;
        lastFields.assign(fields);
      }
    }
    // What follows the last line feed is a line without one.
    if (!more && refusal.empty() && begin < buffer.size()) {
      refusal = messages::BadCountLine(number + 1, path, false);
    }
  }
  ::close(fd);
  return refusal;
}

}  // namespace

std::string ReadCountTables(const std::vector<const char*>& paths,
                            SortedRuns& byLine) {
  for (const char* path : paths) {
    std::string refusal = ReadTable(path, byLine);
    if (!refusal.empty()) return refusal;
  }
  return "";
}
