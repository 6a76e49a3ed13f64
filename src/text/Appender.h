#ifndef ANNOTATOR_APPENDER_H_
#define ANNOTATOR_APPENDER_H_

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace extraction {

// Appends to a string through a raw cursor held here, not read back from
// the string; the pieces are written through BoundedWriter, in room made for a
// bound at a time. The string has its final length again when the appender
// goes away.
class Appender {
 public:
  explicit Appender(std::string& out)
      : out_(out), start_(out.size()), trim_(true) {
    Attach(start_);
  }
  // Writes `scratch` from its start, over what it held, and leaves all its
  // room in place when it goes: the room then serves the next appender
  // without being filled anew.
  struct Scratch {};
  Appender(std::string& scratch, Scratch)
      : out_(scratch), start_(0), trim_(false) {
    Attach(0);
  }
  ~Appender() {
    if (trim_) out_.resize(Size());
  }
  Appender(const Appender&) = delete;
  Appender& operator=(const Appender&) = delete;

  // Where the next byte goes in the string.
  std::size_t Size() const { return static_cast<std::size_t>(cursor_ - base_); }
  // Writes from where this appender started again, over what it wrote: the
  // string keeps the room it grew to.
  void Rewind() { cursor_ = base_ + start_; }
  // The string's bytes so far; valid until the string is written again.
  std::string_view Written() const { return {base_, Size()}; }
  // Makes room for `size` more bytes and returns where they go; Commit then
  // takes the end of what was written there (see BoundedWriter).
  char* Reserve(std::size_t size) { return Room(size); }
  void Commit(char* end) { cursor_ = end; }

 private:
  void Attach(std::size_t used) {
    base_ = out_.data();
    cursor_ = base_ + used;
    limit_ = base_ + out_.size();
  }
  char* Room(std::size_t size) {
    if (static_cast<std::size_t>(limit_ - cursor_) < size) Grow(size);
    return cursor_;
  }
  // Growing by what this appender wrote so far keeps the zero-filling of
  // resize in proportion to the text written.
  void Grow(std::size_t size) {
    const std::size_t used = Size();
    out_.resize(used + size + std::max<std::size_t>(used - start_, 4096));
    Attach(used);
  }

  std::string& out_;
  std::size_t start_;
  bool trim_;
  char* base_ = nullptr;
  char* cursor_ = nullptr;
  char* limit_ = nullptr;
};

}  // namespace extraction

#endif  // ANNOTATOR_APPENDER_H_
