#include "Tokenizer.h"

#include "text/SplitText.h"

namespace {

std::vector<std::string> Split(std::string_view text,
                               std::string_view delimiter, bool keepEmpty,
                               std::size_t skip) {
  std::vector<std::string> pieces;
  SplitText(text, delimiter, keepEmpty, skip,
            [&pieces](std::string_view piece) { pieces.emplace_back(piece); });
  return pieces;
}

}  // namespace

std::vector<std::string> Tokenizer::operator()(
    const std::string& text, const std::string& delimiter) const {
  return Split(text, delimiter, false, delimiter.size());
}

std::vector<std::string> Tokenize(const std::string& text,
                                  const std::string& delimiter) {
  return Split(text, delimiter, true, 1);
}
