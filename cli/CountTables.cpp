#include "CountTables.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>

#include "FileChecks.h"
#include "Messages.h"
#include "PatternFields.h"
#include "records/TrainingFile.h"

namespace {

constexpr std::size_t kRead = std::size_t{1} << 20;

// One table, read whole; "" or the message of its refusal. It is read
// through the one input every program reads (gzip, "-" for standard input),
// but split here rather than by LineReader: a count line is bounded by no
// record's line limit, and a carriage return before its line feed ends no
// line of a table (SplitCountLine refuses it).
std::string ReadTable(const char* path, BoundedCounter& counter,
                      std::uint64_t& total) {
  TrainingInput in;
  if (IsStandardInput(path)) {
    if (StandardInputWasClosed()) {
      return messages::FileFailed("read", "count table", path, EBADF);
    }
    in.OpenStandardInput();
  } else if (!in.Open(path)) {
    return messages::FileFailed("open", "count table", path, errno);
  }
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
    in.Stream().read(buffer.data() + had, static_cast<std::streamsize>(kRead));
    const auto got = static_cast<std::size_t>(in.Stream().gcount());
    if (got == 0 && in.ReadFailed()) {
      refusal =
          messages::FileFailed("read", "count table", path, in.ReadReason());
      break;
    }
    buffer.resize(had + got);
    more = got > 0;
    for (std::size_t end; refusal.empty() &&
                          (end = buffer.find('\n', begin)) != std::string::npos;
         begin = end + 1) {
      ++number;
      std::uint64_t count = 0;
      std::string_view fields;
      const std::string_view line =
          std::string_view(buffer).substr(begin, end - begin);
      if (!SplitCountLine(line, count, fields)) {
        // The two kinds of counts are easily mixed up: say which is which.
        refusal = number == 1 && line.rfind("annotator-counts ", 0) == 0
                      ? messages::CountFileForTable(path)
                      : messages::BadCountLine(number, path, false);
      } else if (number > 1 && (count > lastCount ||
                                (count == lastCount && fields <= lastFields))) {
        refusal = messages::BadCountLine(number, path, true);
      } else if (count > kMostCounted - total) {
        refusal = messages::TooManyCounted(
            "count tables", static_cast<long long>(kMostCounted), "patterns");
      } else {
        total += count;
        counter.AddCounted(count, fields);
        lastCount = count;
        lastFields.assign(fields);
      }
    }
    // A line the table's memory cannot hold (a file without line feeds,
    // /dev/zero) is not read on without end; damaged gzip, though, can
    // look like one.
    if (refusal.empty() && buffer.size() - begin > counter.Memory()) {
      in.ReadGzipToEnd();
      if (!in.ReadFailed()) throw std::bad_alloc();
      refusal =
          messages::FileFailed("read", "count table", path, in.ReadReason());
    }
    // What follows the last line feed is a line without one.
    if (!more && refusal.empty() && begin < buffer.size()) {
      refusal = messages::BadCountLine(number + 1, path, false);
    }
  }
  // Whatever a table is refused for, damaged gzip is the truth about it.
  if (!refusal.empty()) {
    in.ReadGzipToEnd();
    if (in.ReadFailed()) {
      refusal =
          messages::FileFailed("read", "count table", path, in.ReadReason());
    }
  }
  return refusal;
}

}  // namespace

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
  if (count > kMostCounted) return false;
  fields = line.substr(tab + 1);
  // --count writes a carriage return in a field as \r: a raw one is a line
  // end that went CRLF on the way, whose patterns would be counted apart
  // from their own.
  if (fields.find('\r') != std::string_view::npos || !WellEscaped(fields)) {
    return false;
  }
  // Seven tabs and no eighth, found a word at a time by find (memchr),
  // where counting looks at every byte.
  std::size_t at = 0;
  for (int i = 0; i < 7; ++i) {
    at = fields.find('\t', at);
    if (at == std::string_view::npos) return false;
    ++at;
  }
  return fields.find('\t', at) == std::string_view::npos;
}

std::string ReadCountTables(const std::vector<const char*>& paths,
                            BoundedCounter& counter) {
  std::uint64_t total = 0;
  for (const char* path : paths) {
    std::string refusal = ReadTable(path, counter, total);
    if (!refusal.empty()) return refusal;
  }
  return "";
}
