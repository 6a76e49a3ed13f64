#include "ProgressLine.h"

#include <utility>

#include "Messages.h"
#include "RecordFile.h"

namespace {

constexpr std::chrono::milliseconds kRedrawEvery(250);
constexpr int kRecordsPerClock = 64;
// Back to the line's start and clear it: the new text may be shorter.
constexpr char kClearLine[] = "\r\033[K";

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
  int percent = -1;
  if (inputSize_ > 0) {
    const std::uint64_t read = position_ ? position_() : 0;
    percent =
        read >= inputSize_ ? 100 : static_cast<int>(read * 100 / inputSize_);
  }
  Put(kClearLine + messages::Progress(records, percent));
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

std::uint64_t ReadPosition(std::istream& in) {
  const auto at = in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
  return at < 0 ? 0 : static_cast<std::uint64_t>(at);
}
