#ifndef ANNOTATOR_SPLITTEXT_H_
#define ANNOTATOR_SPLITTEXT_H_

#include <algorithm>
#include <cstddef>
#include <string_view>

// The splitting loop behind Tokenizer and Tokenize, over a view so that no
// step copies the rest of the text: calls `visit(piece)` for every piece of
// `text` between occurrences of `delimiter`. After a piece, `skip` characters
// are passed over and at most 100,000 characters of the rest are kept. Empty
// pieces are visited only when `keepEmpty`. An empty delimiter yields the
// whole text as one piece (a split at an empty delimiter would never end).
template <class Visit>
void SplitText(std::string_view text, std::string_view delimiter,
               bool keepEmpty, std::size_t skip, Visit&& visit) {
  constexpr std::size_t kRestKept = 100000;
  if (delimiter.empty()) {
    if (!text.empty()) visit(text);
    return;
  }
  while (!text.empty()) {
    const std::size_t at = text.find(delimiter);
    const std::string_view piece = text.substr(0, at);
    if (keepEmpty || !piece.empty()) visit(piece);
    if (piece.size() < text.size()) {
      text = text.substr(std::min(piece.size() + skip, text.size()), kRestKept);
    } else {
      text = {};
    }
  }
}

#endif  // ANNOTATOR_SPLITTEXT_H_
