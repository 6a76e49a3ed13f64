#ifndef ANNOTATOR_SPLITTEXT_H_
#define ANNOTATOR_SPLITTEXT_H_

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>

#include "records/LegacyLimits.h"

// The one splitting loop (Tokenizer, Tokenize, leaf text, sentences), over a
// view so that no step copies the rest of the text: calls `visit(piece)` for
// every piece of `text` between occurrences of `delimiter`. After a piece,
// `skip` characters are passed over and at most `restKept` characters of the
// rest are kept. Empty pieces are visited only when `keepEmpty`. An empty
// delimiter yields the whole text as one piece (a split at an empty
// delimiter would never end).
template <class Visit>
void SplitText(std::string_view text, std::string_view delimiter,
               bool keepEmpty, std::size_t skip, Visit&& visit,
               std::size_t restKept = kTokenizerRestKept) {
  if (delimiter.empty()) {
    if (!text.empty()) visit(text);
    return;
  }
  while (!text.empty()) {
    const std::size_t at = text.find(delimiter);
    const std::string_view piece = text.substr(0, at);
    if (keepEmpty || !piece.empty()) visit(piece);
    if (piece.size() < text.size()) {
      text = text.substr(std::min(piece.size() + skip, text.size()), restKept);
    } else {
      text = {};
    }
  }
}

// The words of a sentence: the non-empty pieces between blanks (tabs are
// ordinary characters), with the sentence's limit on the rest kept.
template <class Visit>
void ForEachSentenceToken(std::string_view sentence, Visit&& visit) {
  SplitText(sentence, " ", false, 1, std::forward<Visit>(visit),
            kSentenceRestKept);
}

// The tokens of an SL sentence as (word, tag, tagged): a token splits at its
// last "/" into the word before it and the tag (at most kTagKept bytes)
// after it, and is then `tagged`; a token without "/", or whose last "/" is
// its last character, is all word with an empty tag. The last "/" divides
// because tags never hold one while words do (dates, URLs, "and/or", the
// word "/" itself): a word must come through whole, or every later word
// stands one position off its leaf. The word may be empty ("/x"); callers
// that list tags still list that one.
template <class Visit>
void ForEachSLToken(std::string_view sentence, Visit&& visit) {
  ForEachSentenceToken(sentence, [&visit](std::string_view token) {
    const std::size_t slash = token.rfind('/');
    if (slash != std::string_view::npos && slash + 1 < token.size()) {
      visit(token.substr(0, slash), token.substr(slash + 1, kTagKept), true);
    } else {
      visit(token, std::string_view(), false);
    }
  });
}

// The value of a "Label: value" field line: after the first ":" and one
// blank; the whole line when it has no ":". The extractor and the Python
// module read the SL, TL and alignment lines through this one rule.
inline std::string_view FieldValue(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return line;
  line.remove_prefix(colon + 1);
  if (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  return line;
}

#endif  // ANNOTATOR_SPLITTEXT_H_
