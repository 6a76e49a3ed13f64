#include "SortedRuns.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include "RecordFile.h"
#include "ReplacingFile.h"

namespace {

// A row in a run: its count and its line's size, eight bytes each in the
// machine's order (the run never leaves it), then the line.
constexpr std::size_t kHeader = 16;
// What each run reads and writes at a time: with the most runs open, a
// few megabytes beside the rows held.
constexpr std::size_t kRunBuffer = std::size_t{1} << 16;
constexpr std::size_t kMostFanIn = 64;
// Descriptors left to the rest of the program when the system's limit
// bounds the runs open.
constexpr std::size_t kOtherFiles = 32;

std::size_t DefaultFanIn() {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 ||
      limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= kMostFanIn * 2) {
    return kMostFanIn;
  }
  // Merging in --count's order keeps two sets of runs open.
  const auto open = static_cast<std::size_t>(limit.rlim_cur);
  return open > kOtherFiles + 4 ? (open - kOtherFiles) / 2 : 2;
}

class RunWriter {
 public:
  explicit RunWriter(int fd) : fd_(fd) { buffer_.reserve(kRunBuffer); }
  void Put(std::uint64_t count, std::string_view line) {
    const std::uint64_t header[2] = {count, line.size()};
    buffer_.append(reinterpret_cast<const char*>(header), kHeader);
    buffer_.append(line);
    if (buffer_.size() >= kRunBuffer) Flush();
  }
  void Flush() {
    if (!WriteWhole(fd_, buffer_)) throw TemporaryFileError();
    buffer_.clear();
  }

 private:
  int fd_;
  std::string buffer_;
};

}  // namespace

// Reads a run from its start, a row at a time, into a buffer as large as
// its longest row needs.
class RunReader {
 public:
  explicit RunReader(int fd) : fd_(fd), buffer_(kRunBuffer) {}
  // The next row; false at the run's end.
  bool Next(std::uint64_t& count, std::string_view& line) {
    if (!Fill(kHeader)) return false;
    std::uint64_t header[2];
    std::memcpy(header, buffer_.data() + begin_, kHeader);
    if (!Fill(kHeader + header[1])) throw TemporaryFileError();
    count = header[0];
    line = std::string_view(buffer_.data() + begin_ + kHeader, header[1]);
    begin_ += kHeader + header[1];
    return true;
  }

 private:
  // Makes `bytes` readable from begin_; false at the end of the run before
  // any of them.
  bool Fill(std::size_t bytes) {
    if (end_ - begin_ >= bytes) return true;
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    if (buffer_.size() < bytes) buffer_.resize(bytes);
    while (end_ < bytes) {
      const ssize_t got =
          ::pread(fd_, buffer_.data() + end_, buffer_.size() - end_, offset_);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) throw TemporaryFileError();
      if (got == 0) {
        if (end_ == 0) return false;
        throw TemporaryFileError();
      }
      end_ += static_cast<std::size_t>(got);
      offset_ += got;
    }
    return true;
  }

  int fd_;
  off_t offset_ = 0;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

SortedRuns::SortedRuns(RowOrder order, std::size_t memory, std::string dir,
                       std::size_t fanIn)
    : order_(order),
      memory_(memory),
      dir_(std::move(dir)),
      fanIn_(fanIn == 0 ? DefaultFanIn() : std::max<std::size_t>(fanIn, 2)) {}

SortedRuns::~SortedRuns() {
  for (const Input& input : inputs_) {
    if (input.Fd != -1) ::close(input.Fd);
  }
}

void SortedRuns::Add(std::uint64_t count, std::string_view line) {
  // Lines go in blocks of an eighth of the memory, so that a bound of a few
  // megabytes is kept as closely as a large one: a huge page each where the
  // bound holds eight, and otherwise blocks small enough to come from the
  // allocator, none of them rounded up to a huge page beyond its charge.
  const std::size_t block =
      memory_ / 8 >= kHugePage
          ? kHugePage
          : std::clamp<std::size_t>(memory_ / 8, 4096, kHugePage / 4);
  const std::size_t rows = std::max<std::size_t>(1024, 2 * held_.capacity());
  const auto need = [&] {
    std::size_t bytes = 0;
    if (line.size() > blockLeft_ &&
        (spare_.empty() || spare_.back().Size() < line.size())) {
      bytes += std::max(block, line.size());
    }
    if (held_.size() == held_.capacity()) {
      bytes += (rows - held_.capacity()) * sizeof(Row);
    }
    return bytes;
  };
  if (!held_.empty() && heldBytes_ + need() > memory_) Spill();
  if (line.size() > blockLeft_) {
    // The blocks of the last run are filled again before new ones are
    // taken: fresh memory costs a page fault per page.
    if (!spare_.empty() && spare_.back().Size() >= line.size()) {
      blocks_.push_back(std::move(spare_.back()));
      spare_.pop_back();
    } else {
      const std::size_t size = std::max(block, line.size());
      blocks_.emplace_back(size);
      heldBytes_ += size;
    }
    next_ = blocks_.back().Data();
    blockLeft_ = blocks_.back().Size();
  }
  if (held_.size() == held_.capacity()) {
    const std::size_t more = std::max<std::size_t>(1024, 2 * held_.capacity());
    heldBytes_ += (more - held_.capacity()) * sizeof(Row);
    held_.reserve(more);
  }
  char* const at = next_;
  if (!line.empty()) std::memcpy(at, line.data(), line.size());
  next_ += line.size();
  blockLeft_ -= line.size();
  held_.push_back(Row{count, at, line.size()});
}

void SortedRuns::SortHeld() {
  const auto lineOf = [](const Row& row) {
    return std::string_view(row.Line, row.Size);
  };
  if (order_ == RowOrder::ByCount) {
    std::sort(held_.begin(), held_.end(), [&](const Row& a, const Row& b) {
      return a.Count != b.Count ? a.Count > b.Count : lineOf(a) < lineOf(b);
    });
    return;
  }
  std::sort(held_.begin(), held_.end(),
            [&](const Row& a, const Row& b) { return lineOf(a) < lineOf(b); });
  std::size_t kept = 0;
  for (std::size_t i = 0; i < held_.size(); ++i) {
    if (kept != 0 && lineOf(held_[kept - 1]) == lineOf(held_[i])) {
      held_[kept - 1].Count += held_[i].Count;
    } else {
      held_[kept++] = held_[i];
    }
  }
  held_.resize(kept);
}

void SortedRuns::ReleaseHeld() {
  held_.clear();
  for (PageArray<char>& each : blocks_) spare_.push_back(std::move(each));
  blocks_.clear();
  // A bound lowered since they were taken gets the blocks back: else every
  // row that comes would be a run of its own.
  while (heldBytes_ > memory_ && !spare_.empty()) {
    heldBytes_ -= spare_.back().Size();
    spare_.pop_back();
  }
  next_ = nullptr;
  blockLeft_ = 0;
}

int SortedRuns::NewRun() {
  MakeRoomForRun();
  const int fd = OpenTemporaryFile(dir_);
  if (fd == -1) throw TemporaryFileError();
  inputs_.push_back(Input{fd, nullptr});
  return fd;
}

void SortedRuns::MakeRoomForRun() {
  if (inputs_.size() < fanIn_) return;
  // Runs of about the same size merge: those of the lowest level, runs
  // growing a level for each square root of the fan-in their size grows
  // by, that holds two or more. Merging every run each round would copy
  // every row written so far again in every round, which grows with the
  // square of the runs; this way a row is copied once per level.
  const std::uint64_t base = std::max<std::uint64_t>(
      2, static_cast<std::uint64_t>(std::sqrt(static_cast<double>(fanIn_))));
  std::vector<std::pair<int, std::size_t>> levels;  // (level, input)
  for (std::size_t i = 0; i < inputs_.size(); ++i) {
    std::uint64_t size = 0;
    if (inputs_[i].Source) {
      size = inputs_[i].Source->Bytes();
    } else {
      struct stat about {};
      if (::fstat(inputs_[i].Fd, &about) != 0) throw TemporaryFileError();
      size = static_cast<std::uint64_t>(about.st_size);
    }
    int level = 0;
    for (; size >= base; size /= base) ++level;
    levels.emplace_back(level, i);
  }
  std::sort(levels.begin(), levels.end());
  std::size_t first = 0;
  while (first + 1 < levels.size() &&
         levels[first].first != levels[first + 1].first) {
    ++first;
  }
  // Every run on a level of its own: the two smallest.
  if (first + 1 == levels.size()) first = 0;
  std::size_t last = first + 2;
  while (last < levels.size() && levels[last].first == levels[first].first) {
    ++last;
  }
  std::vector<Input> merged;
  for (std::size_t i = first; i < last; ++i) {
    merged.push_back(inputs_[levels[i].second]);
  }
  const int fd = OpenTemporaryFile(dir_);
  if (fd == -1) throw TemporaryFileError();
  try {
    RunWriter writer(fd);
    MergeInto(merged, {},
              [&writer](std::uint64_t count, std::string_view line) {
                writer.Put(count, line);
                return true;
              });
    writer.Flush();
  } catch (...) {
    ::close(fd);
    throw;
  }
  std::vector<Input> kept;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    const Input& input = inputs_[levels[i].second];
    if (i < first || i >= last) {
      kept.push_back(input);
    } else if (input.Fd != -1) {
      ::close(input.Fd);
    }
  }
  kept.push_back(Input{fd, nullptr});
  inputs_ = std::move(kept);
  roundBytes_ += static_cast<std::uint64_t>(::lseek(fd, 0, SEEK_END));
  ++rounds_;
}

void SortedRuns::Spill() {
  SortHeld();
  const int fd = NewRun();
  RunWriter writer(fd);
  for (const Row& row : held_) {
    writer.Put(row.Count, std::string_view(row.Line, row.Size));
  }
  writer.Flush();
  ++runs_;
  ReleaseHeld();
}

bool SortedRuns::AddRun(const std::function<bool(const RowTaker&)>& source) {
  const int fd = NewRun();
  RunWriter writer(fd);
  const bool whole =
      source([&writer](std::uint64_t count, std::string_view line) {
        writer.Put(count, line);
        return true;
      });
  writer.Flush();
  ++runs_;
  return whole;
}

void SortedRuns::AddSource(SortedSource& source) {
  MakeRoomForRun();
  inputs_.push_back(Input{-1, &source});
}

void SortedRuns::Release() {
  if (!held_.empty()) Spill();
  std::vector<PageArray<char>>().swap(spare_);
  std::vector<Row>().swap(held_);
  heldBytes_ = 0;
}

bool SortedRuns::Merge(const RowTaker& take) {
  SortHeld();
  return MergeInto(inputs_, held_, take);
}

bool SortedRuns::MergeInto(const std::vector<Input>& inputs,
                           const std::vector<Row>& held, const RowTaker& take) {
  struct Cursor {
    std::unique_ptr<RunReader> Reader;
    SortedSource* Source = nullptr;
    const Row* At = nullptr;
    const Row* End = nullptr;
    std::uint64_t Count = 0;
    std::string_view Line;
    bool Advance() {
      if (Reader) return Reader->Next(Count, Line);
      if (Source) return Source->Next(Count, Line);
      if (At == End) return false;
      Count = At->Count;
      Line = std::string_view(At->Line, At->Size);
      ++At;
      return true;
    }
  };
  std::vector<Cursor> cursors(inputs.size() + 1);
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (inputs[i].Source) {
      cursors[i].Source = inputs[i].Source;
    } else {
      cursors[i].Reader = std::make_unique<RunReader>(inputs[i].Fd);
    }
  }
  cursors.back().At = held.data();
  cursors.back().End = held.data() + held.size();
  const bool byLine = order_ == RowOrder::ByLine;
  // The heap's top is the cursor whose row comes first.
  const auto after = [byLine](const Cursor* a, const Cursor* b) {
    if (!byLine && a->Count != b->Count) return a->Count < b->Count;
    return a->Line > b->Line;
  };
  std::vector<Cursor*> heap;
  for (Cursor& cursor : cursors) {
    if (cursor.Advance()) heap.push_back(&cursor);
  }
  std::make_heap(heap.begin(), heap.end(), after);
  const auto pop = [&] {
    std::pop_heap(heap.begin(), heap.end(), after);
    Cursor* const top = heap.back();
    heap.pop_back();
    return top;
  };
  const auto push = [&](Cursor* cursor) {
    heap.push_back(cursor);
    std::push_heap(heap.begin(), heap.end(), after);
  };
  while (!heap.empty()) {
    // The first row stays where it is read until the equal ones are added.
    Cursor* const first = pop();
    std::uint64_t count = first->Count;
    while (byLine && !heap.empty() && heap.front()->Line == first->Line) {
      Cursor* const same = pop();
      count += same->Count;
      if (same->Advance()) push(same);
    }
    if (!take(count, first->Line)) return false;
    if (first->Advance()) push(first);
  }
  return true;
}

bool SortedRuns::MergeInCountOrder(const RowTaker& take) {
  if (inputs_.empty()) {
    // Every line is held once, after adding: their order by count is
    // all that is left.
    SortHeld();
    order_ = RowOrder::ByCount;
    SortHeld();
    for (const Row& row : held_) {
      if (!take(row.Count, std::string_view(row.Line, row.Size))) return false;
    }
    return true;
  }
  // The two sets share the memory only if the rows held leave first.
  Release();
  SortedRuns byCount(RowOrder::ByCount, memory_, dir_, fanIn_);
  Merge([&byCount](std::uint64_t count, std::string_view line) {
    byCount.Add(count, line);
    return true;
  });
  return byCount.Merge(take);
}
