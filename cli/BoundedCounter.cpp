#include "BoundedCounter.h"

#include <utility>

namespace {

// The counter's share of the bound; the lines it does not hold gather in
// the rest before they go out. Measured on the real trees repeated nine
// times, most lines that come after the counter is full are ones it holds.
std::size_t CounterShare(std::size_t memory) { return memory / 8 * 7; }

}  // namespace

BoundedCounter::BoundedCounter(std::size_t memory, std::string dir)
    : memory_(memory),
      counter_(std::make_unique<PatternCounter>(CounterShare(memory))),
      others_(RowOrder::ByLine, memory - CounterShare(memory), std::move(dir)) {
}

void BoundedCounter::Add(const ExtractedPattern& pattern) { Count(pattern, 1); }

void BoundedCounter::AddCounted(std::uint64_t count, std::string_view fields) {
  ExtractedPattern pattern;
  pattern.Fields = fields;
  Count(pattern, count);
}

void BoundedCounter::Count(const ExtractedPattern& pattern,
                           std::uint64_t count) {
  const auto times = static_cast<long long>(count);
  if (!full_) {
    try {
      counter_->Add(pattern);
      if (times > 1) {
        counter_->CountIfHeld(PatternFieldsOf(pattern, line_), times - 1);
      }
      return;
    } catch (const PatternCounter::LimitReached&) {
      // A counter that holds nothing yet cannot make room.
      if (counter_->Total() == 0) throw;
      full_ = true;
    }
  }
  const std::string_view line = PatternFieldsOf(pattern, line_);
  if (counter_->CountIfHeld(line, times)) return;
  others_.Add(count, line);
  total_ += times;
}

bool BoundedCounter::WriteTable(const RowTaker& take) {
  // What fits stays as fast as it was.
  if (!full_) return counter_->WriteTable(take);
  RetireCounter();
  return others_.MergeInCountOrder(take);
}

bool BoundedCounter::WriteByLine(const RowTaker& take) {
  if (!full_) return counter_->WriteByLine(take);
  RetireCounter();
  return others_.Merge(take);
}

void BoundedCounter::RetireCounter() {
  others_.AddRun(
      [this](const RowTaker& run) { return counter_->WriteByLine(run); });
  total_ += counter_->Total();
  // The merge takes the memory the counter gave back.
  counter_.reset();
  others_.SetMemory(memory_);
}
