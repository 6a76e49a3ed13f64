#include "CountFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string_view>
#include <utility>

#include "CountTables.h"
#include "FileChecks.h"
#include "Messages.h"
#include "PatternFields.h"
#include "ScoreMessages.h"
#include "records/TrainingFile.h"
#include "text/NumberText.h"

namespace {

constexpr std::string_view kMagic = "annotator-counts ";
constexpr std::string_view kVersion = "1";
constexpr std::string_view kWords = "words";
constexpr std::string_view kEnd = "end";
constexpr std::size_t kRead = std::size_t{1} << 20;

// The lines of an input, read in large pieces. As for --merge-counts'
// tables, no record's line limit bounds them.
class LineInput {
 public:
  explicit LineInput(TrainingInput& in) : in_(in) {}

  // The next line, without its line feed; false at the end, after a failed
  // read (Failed()), or before a last line without a line feed (then
  // Cut()).
  bool Next(std::string_view& line) {
    for (;;) {
      const std::size_t end = buffer_.find('\n', begin_);
      if (end != std::string::npos) {
        line = std::string_view(buffer_).substr(begin_, end - begin_);
        begin_ = end + 1;
        ++number_;
        return true;
      }
      if (ended_) return false;
      buffer_.erase(0, begin_);
      begin_ = 0;
      const std::size_t had = buffer_.size();
      buffer_.resize(had + kRead);
      in_.Stream().read(buffer_.data() + had,
                        static_cast<std::streamsize>(kRead));
      const auto got = static_cast<std::size_t>(in_.Stream().gcount());
      buffer_.resize(had + got);
      ended_ = got == 0;
    }
  }
  bool Failed() const { return in_.ReadFailed(); }
  bool Cut() const { return begin_ < buffer_.size(); }
  // The number of the line Next gave last, from 1.
  long long Number() const { return number_; }

 private:
  TrainingInput& in_;
  std::string buffer_;
  std::size_t begin_ = 0;
  bool ended_ = false;
  long long number_ = 0;
};

// The options part of a version 1 header ("consistent=0 max-words=0"),
// or false.
bool ValidOptions(std::string_view options) {
  for (const std::string_view start :
       {"consistent=0 max-words=", "consistent=1 max-words="}) {
    if (options.substr(0, start.size()) == start) {
      const std::string_view number = options.substr(start.size());
      return !number.empty() && (number == "0" || number[0] != '0') &&
             number.size() < 20 &&
             std::all_of(number.begin(), number.end(),
                         [](char c) { return c >= '0' && c <= '9'; });
    }
  }
  return false;
}

// A word link row: its count and both words, unescaped; false when `line`
// is none.
bool SplitWordLine(std::string_view line, std::uint64_t& count, std::string& sl,
                   std::string& tl) {
  const std::size_t first = line.find('\t');
  const std::size_t second = line.find('\t', first + 1);
  if (first == 0 || first > 19 || second == std::string_view::npos ||
      line.find('\t', second + 1) != std::string_view::npos || line[0] == '0') {
    return false;
  }
  count = 0;
  for (std::size_t i = 0; i < first; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
    count = count * 10 + static_cast<std::uint64_t>(line[i] - '0');
  }
  sl.clear();
  tl.clear();
  AppendUnescaped(line.substr(first + 1, second - first - 1), sl);
  AppendUnescaped(line.substr(second + 1), tl);
  return count <= (std::uint64_t{1} << 62) && !(sl.empty() && tl.empty());
}

// One count file, read whole, its options checked against `options`, the
// first file's (`first` names it; empty `options` takes this file's).
std::string ReadCountFile(const char* path, const char* first,
                          std::string& options, SortedRuns& patterns,
                          const WordLinkTaker& addLink) {
  TrainingInput in;
  if (IsStandardInput(path)) {
    in.OpenStandardInput();
  } else if (!in.Open(path)) {
    return messages::FileFailed("open", "count file", path, errno);
  }
  LineInput lines(in);
  const auto unread = [&]() -> std::string {
    if (lines.Failed()) {
      return messages::FileFailed("read", "count file", path, in.ReadReason());
    }
    return "";
  };
  std::string_view line;
  if (!lines.Next(line) || line.substr(0, kMagic.size()) != kMagic) {
    const std::string refusal = unread();
    return refusal.empty() ? messages::NotCountFile(path) : refusal;
  }
  line.remove_prefix(kMagic.size());
  const std::string_view version = line.substr(0, line.find(' '));
  if (version != kVersion) return messages::CountFileVersion(path, version);
  const std::string_view with =
      line.substr(std::min(line.size(), version.size() + 1));
  if (!ValidOptions(with)) return messages::NotCountFile(path);
  if (options.empty()) {
    options.assign(with);
  } else if (with != options) {
    return messages::CountedApart(path, with, first, options);
  }

  std::string refusal;
  std::string last;
  bool sawWords = false;
  patterns.AddRun([&](const RowTaker& take) {
    while (lines.Next(line)) {
      if (line == kWords) {
        sawWords = true;
        return true;
      }
      std::uint64_t count = 0;
      std::string_view fields;
      if (!SplitCountLine(line, count, fields)) {
        refusal = messages::BadCountFileLine(
            lines.Number(), path, messages::CountLineFault::kNotCount);
        return false;
      }
      // Each file is a run that merges with the others only in order.
      if (lines.Number() > 2 && fields <= last) {
        refusal = messages::BadCountFileLine(
            lines.Number(), path, messages::CountLineFault::kOutOfOrder);
        return false;
      }
      last.assign(fields);
      take(count, fields);
    }
    return false;
  });
  if (!refusal.empty()) return refusal;
  std::string sl, tl;
  bool sawEnd = false;
  while (sawWords && !sawEnd && lines.Next(line)) {
    std::uint64_t count = 0;
    if (line == kEnd) {
      sawEnd = true;
    } else if (SplitWordLine(line, count, sl, tl)) {
      addLink(sl, tl, static_cast<long long>(count));
    } else {
      return messages::BadCountFileLine(lines.Number(), path,
                                        messages::CountLineFault::kNotWordLink);
    }
  }
  refusal = unread();
  if (!refusal.empty()) return refusal;
  // A file cut short has no end line; one with more after it was added to.
  if (!sawEnd) return messages::CountFileCut(path);
  if (lines.Next(line) || lines.Cut()) return messages::NotCountFile(path);
  return unread();
}

}  // namespace

std::string CountFileHeader(bool consistent, std::size_t maxWords) {
  return std::string(kMagic) + std::string(kVersion) +
         " consistent=" + (consistent ? "1" : "0") +
         " max-words=" + Decimal(static_cast<long long>(maxWords));
}

bool WriteCountFile(RecordFile& out, const std::string& header,
                    const std::function<bool(const RowTaker&)>& patterns,
                    const WordTable& words) {
  if (!out.Append(header + "\n")) return false;
  if (!patterns([&out](std::uint64_t count, std::string_view fields) {
        AppendTableRow(static_cast<long long>(count), fields, out.Buffer());
        return out.EndUnit();
      })) {
    return false;
  }
  if (!out.Append(std::string(kWords) + "\n")) return false;
  // The word links in a fixed order, so that equal counts make equal files.
  std::vector<std::pair<std::string, long long>> links;
  words.ForEachPair(
      [&links](std::string_view sl, std::string_view tl, long long count) {
        std::string key;
        AppendTsvField(sl, key);
        key += '\t';
        AppendTsvField(tl, key);
        links.emplace_back(std::move(key), count);
      });
  std::sort(links.begin(), links.end());
  for (const auto& [key, count] : links) {
    std::string& row = out.Buffer();
    row += Decimal(count);
    row += '\t';
    row += key;
    row += '\n';
    if (!out.EndUnit()) return false;
  }
  return out.Append(std::string(kEnd) + "\n");
}

std::string ReadCountFiles(const std::vector<const char*>& paths,
                           SortedRuns& patterns, const WordLinkTaker& addLink) {
  std::string options;
  for (const char* path : paths) {
    std::string refusal =
        ReadCountFile(path, paths.front(), options, patterns, addLink);
    if (!refusal.empty()) return refusal;
  }
  return "";
}
