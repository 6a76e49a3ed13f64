#include "BoundedCounter.h"

#include <utility>

BoundedCounter::BoundedCounter(std::size_t memory, std::string dir)
    : memory_(memory),
      dir_(std::move(dir)),
      counter_(std::make_unique<PatternCounter>(memory_)),
      lines_(RowOrder::ByLine, memory_, dir_) {}

void BoundedCounter::Spill() {
  lines_.AddRun([this](const RowTaker& take) {
    return counter_->WriteByLine(
        [&take](long long count, std::string_view line) {
          return take(static_cast<std::uint64_t>(count), line);
        });
  });
  total_ += counter_->Total();
}

void BoundedCounter::Add(const ExtractedPattern& pattern) {
  try {
    counter_->Add(pattern);
    return;
  } catch (const PatternCounter::LimitReached&) {
    // A counter that holds nothing yet cannot make room by going out.
    if (counter_->Total() == 0) throw;
  }
  Spill();
  // The full counter goes before the empty one takes its first memory.
  counter_.reset();
  counter_ = std::make_unique<PatternCounter>(memory_);
  counter_->Add(pattern);
}

bool BoundedCounter::WriteTable(const RowTaker& take) {
  // What fits stays as fast as it was.
  if (lines_.Runs() == 0) {
    return counter_->WriteTable(
        [&take](long long count, std::string_view line) {
          return take(static_cast<std::uint64_t>(count), line);
        });
  }
  Spill();
  // The merge takes the memory the counter gave back.
  counter_.reset();
  return lines_.MergeInCountOrder(take);
}
