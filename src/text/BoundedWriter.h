#ifndef ANNOTATOR_BOUNDEDWRITER_H_
#define ANNOTATOR_BOUNDEDWRITER_H_

#include <cassert>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "text/Appender.h"
#include "text/NumberText.h"
#include "text/PaddedText.h"

namespace extraction {

// Writes a pattern into room its appender made for the pattern's bound, so
// that no piece has to grow the string: a pattern is many short pieces. The
// bound is worked out by hand from what the pieces are cut from; every put
// asserts that it stays inside it, so a bound too small stops a build with
// assertions at the put that overruns, not at some later read. The bytes go
// to the appender when this goes away.
class BoundedWriter {
 public:
  BoundedWriter(Appender& out, std::size_t bound)
      : out_(out),
        origin_(out.Size()),
        start_(out.Reserve(bound + kPadding)),
        at_(start_),
        limit_(start_ + bound) {}
  ~BoundedWriter() { out_.Commit(at_); }
  BoundedWriter(const BoundedWriter&) = delete;
  BoundedWriter& operator=(const BoundedWriter&) = delete;

  // Short pieces are copied in two overlapping moves, never past either
  // end: a library call per piece would cost more than the copy.
  [[gnu::always_inline]] BoundedWriter& Put(std::string_view text) {
    const std::size_t n = text.size();
    assert(n <= Room());
    const char* from = text.data();
    if (n > 32) {
      std::memcpy(at_, from, n);
    } else if (n >= 16) {
      Move<16>(at_, from);
      Move<16>(at_ + n - 16, from + n - 16);
    } else if (n >= 8) {
      Move<8>(at_, from);
      Move<8>(at_ + n - 8, from + n - 8);
    } else if (n >= 4) {
      Move<4>(at_, from);
      Move<4>(at_ + n - 4, from + n - 4);
    } else if (n > 0) {
      at_[0] = from[0];
      at_[n / 2] = from[n / 2];
      at_[n - 1] = from[n - 1];
    }
    at_ += n;
    return *this;
  }
  // A short padded piece is copied whole with the bytes after it, which the
  // next piece overwrites (the room holds kPadding bytes past the bound), so
  // its length decides nothing.
  [[gnu::always_inline]] BoundedWriter& PutPadded(PaddedView text) {
    const std::size_t n = text.size();
    assert(n <= Room());
    if (n <= kPadding) {
      Move<kPadding / 2>(at_, text.data());
      Move<kPadding / 2>(at_ + kPadding / 2, text.data() + kPadding / 2);
    } else {
      std::memcpy(at_, text.data(), n);
    }
    at_ += n;
    return *this;
  }
  void Put(char c) {
    assert(Room() >= 1);
    *at_++ = c;
  }
  void PutInt(int value) {
    // The room's padding takes the longest number, so the check may follow
    // the write.
    static_assert(kMostDecimalBytes <= kPadding);
    at_ = PutDecimal(at_, value);
    assert(at_ <= limit_);
  }
  // Takes back the last byte written.
  void Unput() { --at_; }
  // Where the next byte goes; valid while the appender's string is not
  // written by other hands.
  const char* At() const { return at_; }
  // Where the next byte goes in the appender's string.
  std::size_t Size() const {
    return origin_ + static_cast<std::size_t>(at_ - start_);
  }

  static constexpr std::size_t kIntDigits = 11;  // "-2147483648"

 private:
  std::size_t Room() const { return static_cast<std::size_t>(limit_ - at_); }

  template <std::size_t kBytes>
  static void Move(char* to, const char* from) {
    char bytes[kBytes];
    std::memcpy(bytes, from, kBytes);
    std::memcpy(to, bytes, kBytes);
  }

  Appender& out_;
  std::size_t origin_;
  char* start_;
  char* at_;
  char* limit_;
};

}  // namespace extraction

#endif  // ANNOTATOR_BOUNDEDWRITER_H_
