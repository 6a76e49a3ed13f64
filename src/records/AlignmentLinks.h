#ifndef ANNOTATOR_ALIGNMENTLINKS_H_
#define ANNOTATOR_ALIGNMENTLINKS_H_

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "Status.h"
#include "text/NumberText.h"

// Calls `visit(x, y)` for each (X, Y) pair of an alignment string, in the
// order of the string, read as LineUp documents: the character at offset 0
// never starts a pair; every later "(" does, X running to the next ",", Y
// from there to the next ")", each read by ReadLeadingInt. A pair whose ","
// or ")" is missing ends the reading.
template <class Visit>
void ForEachAlignmentPair(std::string_view text, Visit&& visit) {
  // The usual pair, "(" digits "," digits ")", read in one pass: with at
  // most nine digits each, the reading above gives the same two numbers. A
  // tenth digit stands where the "," or ")" should, and sends the pair the
  // long way.
  const auto digits = [text](std::size_t& at, int& value) {
    const std::size_t from = at;
    value = 0;
    for (; at < text.size() && at - from < 9 && text[at] >= '0' &&
           text[at] <= '9';
         ++at) {
      value = value * 10 + (text[at] - '0');
    }
    return at > from;
  };
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] != '(') continue;
    std::size_t at = i + 1;
    int x = 0;
    int y = 0;
    if (digits(at, x) && at < text.size() && text[at] == ',' &&
        digits(++at, y) && at < text.size() && text[at] == ')') {
      visit(x, y);
      i = at;
      continue;
    }
    const std::size_t comma = text.find(',', i + 1);
    if (comma == std::string_view::npos) return;
    const std::size_t close = text.find(')', comma + 1);
    if (close == std::string_view::npos) return;
    visit(ReadLeadingInt(text.substr(i + 1, comma - i - 1)),
          ReadLeadingInt(text.substr(comma + 1, close - comma - 1)));
    // The loop's step then passes the pair's ")".
    i = close;
  }
}

// The links of a sentence pair of `slCount` SL and `tlCount` TL words as
// (SL position, TL position), both from 1: SL positions ascending, each one's
// TL positions ascending and once each; pairs naming no SL word are dropped.
// Fills `links` (emptied first) and returns Ok, or, for the first link in
// that order whose TL position names no TL word, empties `links` and returns
// kTLPositionBeyondSentence with that position. Never prints.
Status CollectLinks(std::string_view alignment, std::size_t slCount,
                    std::size_t tlCount,
                    std::vector<std::pair<int, int>>& links);

// The links of `alignment` that name a word of both sentences, ordered as
// CollectLinks orders them, once each; the others are left out as if absent.
// Fills `links` (emptied first).
void LinksInside(std::string_view alignment, std::size_t slCount,
                 std::size_t tlCount, std::vector<std::pair<int, int>>& links);

#endif  // ANNOTATOR_ALIGNMENTLINKS_H_
