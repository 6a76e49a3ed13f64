#include "ProgressLine.h"

#include <utility>

#include "RecordFile.h"

namespace {

constexpr std::chrono::milliseconds kRedrawEvery(250);
constexpr int kRecordsPerClock = 64;
// Back to the line's start and clear it: the new text may be shorter.
constexpr char kClearLine[] = "\r\033[K";

std::string Counted(long long count, const char* noun) {
  std::string text = std::to_string(count) + " " + noun;
  if (count != 1) text += "s";
  return text;
}

}  // namespace

ProgressLine::ProgressLine(int fd, bool progress, bool summary,
                           std::uint64_t inputSize,
                           std::function<std::uint64_t()> position)
    : fd_(fd),
      progress_(progress),
      summary_(summary),
      inputSize_(inputSize),
      position_(std::move(position)),
      next_(std::chrono::steady_clock::now() + kRedrawEvery) {}

void ProgressLine::Tick(long long records) {
  untilClock_ = kRecordsPerClock;
  const auto now = std::chrono::steady_clock::now();
  if (now < next_) return;
  next_ = now + kRedrawEvery;
  std::string text = kClearLine + Counted(records, "record") + " done";
  if (inputSize_ > 0) {
    const std::uint64_t read = position_ ? position_() : 0;
    const std::uint64_t percent =
        read >= inputSize_ ? 100 : read * 100 / inputSize_;
    text += ", " + std::to_string(percent) + "% of the input read";
  }
  Put(text);
  drawn_ = true;
}

void ProgressLine::Finish(const std::string& summary) {
  std::string text = drawn_ ? kClearLine : "";
  if (summary_) text += summary;
  if (!text.empty()) Put(text);
  drawn_ = false;
}

void ProgressLine::Put(const std::string& text) const {
  // A terminal that went away costs the line and nothing else.
  WriteWhole(fd_, text);
}

std::string RunSummary(long long records, long long skipped,
                       long long patterns) {
  return Counted(records, "record") + " read, " + std::to_string(skipped) +
         " skipped, " + Counted(patterns, "pattern") + " written.\n";
}

std::string CountSummary(long long records, long long skipped,
                         long long patterns, long long distinct) {
  return Counted(records, "record") + " read, " + std::to_string(skipped) +
         " skipped, " + Counted(patterns, "pattern") + " counted, " +
         std::to_string(distinct) + " distinct written.\n";
}
