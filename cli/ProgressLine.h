#ifndef ANNOTATOR_PROGRESSLINE_H_
#define ANNOTATOR_PROGRESSLINE_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <string>

// What a run tells on a terminal: while it reads, one line that it rewrites
// in place with the records done and how much of the input is read; at the
// end one summary line in its place. Writes go straight to the descriptor,
// and a failed write costs nothing but the line.
class ProgressLine {
 public:
  // Shows progress on `fd` when `progress` is set, the summary when
  // `summary` is. `inputSize` is the input's size in bytes, 0 when unknown
  // (a pipe); `position` tells how many bytes of it are read, and is asked
  // only when the line is redrawn.
  ProgressLine(int fd, bool progress, bool summary, std::uint64_t inputSize,
               std::function<std::uint64_t()> position);

  // Called once per record read; redraws the line at most a few times a
  // second.
  void Update(long long records) {
    if (progress_ && --untilClock_ <= 0) Tick(records);
  }

  // Replaces the progress line by `summary`, which ends with "\n".
  void Finish(const std::string& summary);

 private:
  void Tick(long long records);
  void Put(const std::string& text) const;

  int fd_;
  bool progress_;
  bool summary_;
  bool drawn_ = false;
  std::uint64_t inputSize_;
  std::function<std::uint64_t()> position_;
  // Records until the clock is read again: reading it per record would cost
  // more than some records do.
  int untilClock_ = 1;
  std::chrono::steady_clock::time_point next_;
};

// How many bytes of `in` its buffer has taken: a ProgressLine position.
std::uint64_t ReadPosition(std::istream& in);

#endif  // ANNOTATOR_PROGRESSLINE_H_
