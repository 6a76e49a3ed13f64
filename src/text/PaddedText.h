#ifndef ANNOTATOR_PADDEDTEXT_H_
#define ANNOTATOR_PADDEDTEXT_H_

#include <cassert>
#include <cstddef>
#include <string>
#include <string_view>

namespace extraction {

// Readable bytes that follow every padded piece, so that a short piece can
// be copied as whole blocks, whatever its length.
constexpr std::size_t kPadding = 32;

// A piece of text followed by at least kPadding readable bytes. It is made
// only by the types below that hold such a buffer, or cut from another
// padded piece, so no copy that reads past a piece takes that on trust.
class PaddedView {
 public:
  // The empty piece, padded by bytes of its own.
  PaddedView() : PaddedView(kBlanks, 0) {}

  // Named as std::string_view's, which a piece stands in for.
  // NOLINTBEGIN(readability-identifier-naming)
  const char* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // NOLINTEND(readability-identifier-naming)
  std::string_view Text() const { return {data_, size_}; }

  // The `count` bytes from `from` on, which lie within this piece.
  PaddedView Sub(std::size_t from, std::size_t count) const {
    assert(from <= size_ && count <= size_ - from);
    return {data_ + from, count};
  }
  // `piece`, a view of bytes within this piece, as a padded piece.
  PaddedView Within(std::string_view piece) const {
    if (piece.empty()) return {data_, 0};
    assert(piece.data() >= data_ &&
           piece.data() + piece.size() <= data_ + size_);
    return {piece.data(), piece.size()};
  }
  // `piece`, which lies within the first `capacity` - kPadding bytes of
  // `buffer`, all readable.
  static PaddedView InBuffer([[maybe_unused]] const char* buffer,
                             [[maybe_unused]] std::size_t capacity,
                             std::string_view piece) {
    assert(piece.data() >= buffer &&
           piece.data() + piece.size() + kPadding <= buffer + capacity);
    return {piece.data(), piece.size()};
  }
  // The first `used` bytes of `buffer`, which holds kPadding more.
  static PaddedView Over(const std::string& buffer, std::size_t used) {
    assert(buffer.size() >= used + kPadding);
    return {buffer.data(), used};
  }

 private:
  friend class PaddedText;
  PaddedView(const char* data, std::size_t size) : data_(data), size_(size) {}

  static constexpr char kBlanks[kPadding + 1] =
      "                                ";
  const char* data_;
  std::size_t size_;
};

// A copy of a text with kPadding blanks after it.
class PaddedText {
 public:
  void Assign(std::string_view text) {
    text_.assign(text.data(), text.size());
    text_.append(kPadding, ' ');
  }
  PaddedView View() const { return {text_.data(), text_.size() - kPadding}; }

 private:
  std::string text_ = std::string(kPadding, ' ');
};

}  // namespace extraction

#endif  // ANNOTATOR_PADDEDTEXT_H_
