#include "text/LineReader.h"

#include <algorithm>
#include <cstring>

#include "text/DescriptorBuffer.h"
#include "text/ReadAtHand.h"

namespace {

// Reads of 32 KiB come straight from the file (DescriptorBuffer) and stay in
// the processor's cache until their lines are taken, across the three files
// make_examples reads at once: reading all the free room instead costs
// make_examples 5.9 to 7.1% more CPU on the real trees.
constexpr std::size_t kReadSize = 32 << 10;
// Room for the longest line with its CR and newline, and a read; kept lines
// make it grow.
constexpr std::size_t kFirstCapacity = kReadSize + kLongestLine + 2;

// A buffer of `capacity` bytes and the padding after them, zero-filled so
// that every line is followed by readable bytes.
std::unique_ptr<char[]> NewBuffer(std::size_t capacity) {
  std::unique_ptr<char[]> buffer(new char[capacity + extraction::kPadding]);
  std::memset(buffer.get() + capacity, 0, extraction::kPadding);
  return buffer;
}

}  // namespace

LineReader::LineReader(std::istream& in)
    : in_(in), buffer_(NewBuffer(kFirstCapacity)), capacity_(kFirstCapacity) {}

extraction::PaddedView LineReader::Padded(std::string_view line) const {
  return extraction::PaddedView::InBuffer(
      buffer_.get(), capacity_ + extraction::kPadding, line);
}

void LineReader::KeepFrom(std::string_view line) {
  kept_ = static_cast<std::size_t>(line.data() - buffer_.get());
}

bool LineReader::Fill() {
  if (done_) return false;
  const std::size_t from = std::min(begin_, kept_);
  std::memmove(buffer_.get(), buffer_.get() + from, end_ - from);
  end_ -= from;
  begin_ -= from;
  if (kept_ != kNothingKept) kept_ -= from;
  // Kept lines may leave too little room for a read: grow, by doubling, so
  // that a record of long lines costs few copies.
  if (capacity_ - end_ < kReadSize) {
    const std::size_t capacity = std::max(2 * capacity_, end_ + kFirstCapacity);
    std::unique_ptr<char[]> grown = NewBuffer(capacity);
    std::memcpy(grown.get(), buffer_.get(), end_);
    buffer_ = std::move(grown);
    capacity_ = capacity;
  }
  const std::size_t got = ReadAtHand(in_, buffer_.get() + end_,
                                     std::min(kReadSize, capacity_ - end_));
  if (got == 0) {
    done_ = true;
    return false;
  }
  end_ += got;
  return true;
}

bool LineReader::NextAcrossReads(std::string_view& line) {
  if (overlong_) return false;
  for (;;) {
    const std::size_t held = end_ - begin_;
    const char* start = buffer_.get() + begin_;
    // A readable line's newline stands within its first 100,001 bytes.
    const auto* newline = static_cast<const char*>(
        std::memchr(start, '\n', std::min(held, kLongestLine + 2)));
    std::size_t length = 0;
    if (newline) {
      length = static_cast<std::size_t>(newline - start);
      begin_ += length + 1;
    } else if (held <= kLongestLine + 1 && Fill()) {
      continue;
    } else if (held == 0) {
      return false;
    } else {
      // The last line without a line end, or one too long to hold; the read
      // that found the end may have moved it.
      start = buffer_.get() + begin_;
      length = held;
      begin_ = end_;
    }
    ++lines_;
    if (length > 0 && start[length - 1] == '\r' && newline) --length;
    if (length > kLongestLine) {
      overlong_ = true;
      ReadGzipToEnd();
      return false;
    }
    line = std::string_view(start, length);
    return true;
  }
}

void LineReader::ReadGzipToEnd() {
  if (auto* file = dynamic_cast<DescriptorBuffer*>(in_.rdbuf())) {
    file->ReadGzipToEnd();
  }
}
