#include "CountFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include <system_error>
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
// Every count file given is open through the merge: reads of the size of a
// run's keep their buffers to a few megabytes however many are open.
constexpr std::size_t kRead = std::size_t{1} << 16;

// The lines of an input, read in large pieces. As for --merge-counts'
// tables, no record's line limit bounds them.
class LineInput {
 public:
  // A line longer than `longest` bytes throws std::bad_alloc, or, where
  // it is damaged gzip, is a failed read.
  LineInput(TrainingInput& in, std::size_t longest)
      : in_(in), longest_(longest) {}

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
      if (buffer_.size() - begin_ > longest_) {
        in_.ReadGzipToEnd();
        if (!in_.ReadFailed()) throw std::bad_alloc();
        ended_ = true;
        return false;
      }
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
  std::size_t longest_;
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
      // Any bound --max-words takes, as Decimal writes it.
      const std::string_view number = options.substr(start.size());
      std::uint64_t bound = 0;
      const char* const end = number.data() + number.size();
      const auto [stop, error] = std::from_chars(number.data(), end, bound);
      return error == std::errc() && stop == end &&
             (number == "0" || number[0] != '0');
    }
  }
  return false;
}

// A word link row: its count and both words, unescaped; false when `line`
// is none (a raw carriage return too, as in a pattern row).
bool SplitWordLine(std::string_view line, std::uint64_t& count, std::string& sl,
                   std::string& tl) {
  const std::size_t first = line.find('\t');
  const std::size_t second = line.find('\t', first + 1);
  if (first == 0 || first > 19 || second == std::string_view::npos ||
      line.find('\t', second + 1) != std::string_view::npos || line[0] == '0' ||
      line.find('\r') != std::string_view::npos ||
      !WellEscaped(line.substr(first + 1))) {
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
  return count <= kMostCounted && !(sl.empty() && tl.empty());
}

// Whether word `u` comes before word `v` as a count file's rows hold them:
// bytewise, escaped, each followed by `end` (-1 for nothing, which comes
// first). Up to where the words part they escape alike; there the first
// byte written tells, or, where both bytes are escaped, the letter after
// the backslash. Neither word is copied.
bool EscapedBefore(std::string_view u, std::string_view v, int end) {
  const std::size_t shorter = std::min(u.size(), v.size());
  const auto same = static_cast<std::size_t>(
      std::mismatch(u.begin(), u.begin() + shorter, v.begin()).first -
      u.begin());
  const auto written = [same, end](std::string_view word) {
    if (same == word.size()) return end;
    return TsvEscapeOf(word[same]) != 0
               ? int{'\\'}
               : int{static_cast<unsigned char>(word[same])};
  };
  const int p = written(u);
  const int q = written(v);
  if (p != q || p != '\\') return p < q;
  return static_cast<unsigned char>(TsvEscapeOf(u[same])) <
         static_cast<unsigned char>(TsvEscapeOf(v[same]));
}

// A refusal met while reading a count file: it leaves the merge, and the
// file keeps its message.
struct CountFileRefused {};

// What the files of a merge have counted so far, all together. The merge
// stops as soon as they count past kMostCounted, before any sum of counts
// can overflow: no file is refused for it, and which refusal comes first is
// told once every file is read as far as it will be.
struct CountedSoFar {
  std::uint64_t Rows = 0;
  std::uint64_t Links = 0;
};
struct CountsPassed {};

// Adds `count` (at most kMostCounted + 1) to `sum`, which stops just past
// kMostCounted; true once it has passed it. Neither can overflow.
bool AddUpTo(std::uint64_t& sum, std::uint64_t count) {
  sum = std::min(sum + count, kMostCounted + 1);
  return sum > kMostCounted;
}

// Adds `count` to a file's own count `mine` and to `all` unless it is null;
// throws CountsPassed rather than take `all` past kMostCounted.
void Tally(std::uint64_t count, std::uint64_t& mine, std::uint64_t* all) {
  AddUpTo(mine, count);
  if (all == nullptr) return;
  if (count > kMostCounted - *all) throw CountsPassed();
  *all += count;
}

// A count file as --from-counts reads it: its header when opened, its pattern
// rows as the merge asks for them, where they lie, its word links when they
// end. The file closes at its end or at its first refusal.
class CountFileRows : public SortedSource {
 public:
  // A line longer than `memory` bytes is more than the merge may hold.
  CountFileRows(const char* path, const WordLinkTaker& addLink,
                CountedSoFar& all, std::size_t memory)
      : path_(path), addLink_(addLink), all_(&all), memory_(memory) {}

  // Opens the file and reads its header, its options checked against
  // `options`, those of `first` (empty `options` takes this file's).
  // Throws CountFileRefused.
  void Open(const char* first, std::string& options) {
    reading_ = std::make_unique<Reading>(memory_);
    TrainingInput& in = reading_->In;
    if (IsStandardInput(path_)) {
      // One closed from the start is no file. It is named once at most:
      // the command line refuses more.
      if (StandardInputWasClosed()) {
        Refuse(messages::FileFailed("read", "count file", path_, EBADF));
      }
      in.OpenStandardInput();
    } else if (!in.Open(path_)) {
      Refuse(messages::FileFailed("open", "count file", path_, errno));
    }
    bytes_ = RegularFileSize(path_);
    std::string_view line;
    if (!reading_->Lines.Next(line) ||
        line.substr(0, kMagic.size()) != kMagic) {
      RefuseUnread(messages::NotCountFile(path_));
    }
    line.remove_prefix(kMagic.size());
    const std::string_view version = line.substr(0, line.find(' '));
    if (version != kVersion) {
      Refuse(messages::CountFileVersion(path_, version));
    }
    const std::string_view with =
        line.substr(std::min(line.size(), version.size() + 1));
    if (!ValidOptions(with)) Refuse(messages::NotCountFile(path_));
    if (options.empty()) {
      options.assign(with);
    } else if (with != options) {
      Refuse(messages::CountedApart(path_, with, first, options));
    }
    rows_ = true;
  }

  bool Next(std::uint64_t& count, std::string_view& fields) override {
    if (!rows_) return false;
    LineInput& lines = reading_->Lines;
    std::string_view line;
    if (!lines.Next(line)) RefuseUnread(messages::CountFileCut(path_));
    if (line == kWords) {
      rows_ = false;
      ReadWords();
      return false;
    }
    if (!SplitCountLine(line, count, fields)) {
      Refuse(messages::BadCountFileLine(lines.Number(), path_,
                                        messages::CountLineFault::kNotCount));
    }
    // The file merges with the others only in order.
    if (lines.Number() > 2 && fields <= last_) {
      Refuse(messages::BadCountFileLine(lines.Number(), path_,
                                        messages::CountLineFault::kOutOfOrder));
    }
    last_.assign(fields);
    Tally(count, rowsCounted_, all_ ? &all_->Rows : nullptr);
    return true;
  }

  std::uint64_t Bytes() const override { return bytes_; }

  // Reads the rest of the file, as the merge would have, for its refusal
  // and its counts, which no longer count towards the merge's.
  void Finish() {
    all_ = nullptr;
    try {
      std::uint64_t count = 0;
      std::string_view fields;
      while (Next(count, fields)) {
      }
    } catch (const CountFileRefused&) {
    }
  }
  const std::string& Refusal() const { return refusal_; }
  // What the rows and the word links read count, stopping just past
  // kMostCounted.
  std::uint64_t RowsCounted() const { return rowsCounted_; }
  std::uint64_t LinksCounted() const { return linksCounted_; }

 private:
  struct Reading {
    explicit Reading(std::size_t memory) : Lines(In, memory) {}
    TrainingInput In;
    LineInput Lines;
  };

  void ReadWords() {
    LineInput& lines = reading_->Lines;
    std::string_view line;
    bool sawEnd = false;
    while (!sawEnd && lines.Next(line)) {
      std::uint64_t count = 0;
      if (line == kEnd) {
        sawEnd = true;
      } else if (SplitWordLine(line, count, sl_, tl_)) {
        Tally(count, linksCounted_, all_ ? &all_->Links : nullptr);
        // A file read on only for its refusal adds nothing: the merge is
        // over, and its sums could pass what they may hold.
        if (all_) addLink_(sl_, tl_, static_cast<long long>(count));
      } else {
        Refuse(messages::BadCountFileLine(
            lines.Number(), path_, messages::CountLineFault::kNotWordLink));
      }
    }
    // A file cut short has no end line; one with more after it was added to.
    if (!sawEnd) RefuseUnread(messages::CountFileCut(path_));
    if (lines.Next(line) || lines.Cut()) {
      RefuseUnread(messages::NotCountFile(path_));
    }
    RefuseUnread("");
    reading_.reset();
  }

  // Refuses the file with the failed read's message if a read failed, else
  // with `refusal` unless it is empty.
  void RefuseUnread(const std::string& refusal) {
    if (reading_->Lines.Failed()) {
      Refuse(messages::FileFailed("read", "count file", path_,
                                  reading_->In.ReadReason()));
    }
    if (!refusal.empty()) Refuse(refusal);
  }
  // Whatever a file is refused for, damaged gzip is the truth about it.
  [[noreturn]] void Refuse(std::string refusal) {
    if (reading_) {
      reading_->In.ReadGzipToEnd();
      if (reading_->Lines.Failed()) {
        refusal = messages::FileFailed("read", "count file", path_,
                                       reading_->In.ReadReason());
      }
    }
    refusal_ = std::move(refusal);
    rows_ = false;
    reading_.reset();
    throw CountFileRefused();
  }

  const char* path_;
  const WordLinkTaker& addLink_;
  CountedSoFar* all_;
  std::size_t memory_;
  std::uint64_t rowsCounted_ = 0;
  std::uint64_t linksCounted_ = 0;
  std::unique_ptr<Reading> reading_;
  std::uint64_t bytes_ = 0;
  bool rows_ = false;
  std::string last_;
  std::string sl_, tl_;
  std::string refusal_;
};

}  // namespace

std::string CountFileHeader(bool consistent, std::size_t maxWords) {
  return std::string(kMagic) + std::string(kVersion) +
         " consistent=" + (consistent ? "1" : "0") +
         " max-words=" + Decimal(maxWords);
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
  // The word links in a fixed order, so that equal counts make equal files:
  // bytewise by their rows' SL word, a tab and TL word, escaped; that is by
  // SL word as a tab follows it, then by TL word.
  const bool whole = words.ForEachPair(
      [](const WordTable::PairWords& a, const WordTable::PairWords& b) {
        return a.first != b.first ? EscapedBefore(a.first, b.first, '\t')
                                  : EscapedBefore(a.second, b.second, -1);
      },
      [&out](std::string_view sl, std::string_view tl, long long count) {
        std::string& row = out.Buffer();
        row += Decimal(count);
        row += '\t';
        AppendTsvField(sl, row);
        row += '\t';
        AppendTsvField(tl, row);
        row += '\n';
        return out.EndUnit();
      });
  return whole && out.Append(std::string(kEnd) + "\n");
}

std::string MergeCountFiles(const std::vector<const char*>& paths,
                            SortedRuns& patterns, const WordLinkTaker& addLink,
                            const RowTaker& take) {
  CountedSoFar all;
  std::vector<std::unique_ptr<CountFileRows>> files;
  files.reserve(paths.size());
  for (const char* path : paths) {
    files.push_back(
        std::make_unique<CountFileRows>(path, addLink, all, patterns.Memory()));
  }
  std::string options;
  try {
    for (const auto& file : files) {
      file->Open(paths.front(), options);
      patterns.AddSource(*file);
    }
    patterns.Merge(take);
    return "";
  } catch (const CountFileRefused&) {
  } catch (const CountsPassed&) {
  }
  // The refusal that reading the files one after another meets first: the
  // files before the one refused are read to their end. Those after it are
  // never needed, nor opened. A file's rows come before its word links.
  std::uint64_t rows = 0;
  std::uint64_t links = 0;
  for (const auto& file : files) {
    file->Finish();
    if (AddUpTo(rows, file->RowsCounted())) {
      return messages::TooManyCounted(
          "count files", static_cast<long long>(kMostCounted), "patterns");
    }
    if (AddUpTo(links, file->LinksCounted())) {
      return messages::TooManyCounted(
          "count files", static_cast<long long>(kMostCounted), "word links");
    }
    if (!file->Refusal().empty()) return file->Refusal();
  }
  return "";
}
