#ifndef ANNOTATOR_LINEUP_H_
#define ANNOTATOR_LINEUP_H_

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// The alignment map of a sentence pair: SL position (from 1) -> (TL word, TL
// position from 1), one entry per link, entries of one SL position in
// ascending TL position.
using AlMap = std::multimap<int, std::pair<std::string, int>>;

// Reads alignment strings, bracketed lists of (SL position, TL position)
// pairs such as "((1,1),(2,3))", and answers which positions on the other
// side a position is paired with. The character at offset 0 is the list's
// bracket and never starts a pair; every later "(" does: the text up to the
// next "," is X, the text after it up to the next ")" is Y, each read as
// ReadLeadingInt reads (so "( 3 , 4 )" gives 3 and 4, "(a,b)" gives 0 and
// 0). A pair whose "," or ")" is missing ends the reading and is ignored.
// Everything outside pairs is skipped. Reports nothing and never fails.
class LineUp {
 public:
  // X -> every Y paired with it, in the order of the string, repeats kept.
  std::map<int, std::vector<int>> HashFromX;
  // Y -> every X paired with it, in the order of the string, repeats kept.
  std::map<int, std::vector<int>> HashFromY;

  // Reads `alignment` and adds each pair to HashFromX when `direction` is 1,
  // to HashFromY for any other value, after what the map holds already.
  // Time linear in the length of `alignment`.
  void FillHash(int direction, const std::string& alignment);

  // Adds to `out` (which keeps what it holds) every Y paired with `x` in
  // `alignment`, plus anything HashFromX held for `x` before the call.
  // Returns 1 when some pair has `x` as its X, else 0. HashFromX is empty
  // afterwards.
  int GetEq(const std::string& alignment, int x, std::set<int>& out);

  // GetEq the other way round: adds every X paired with `y`, returns 1 when
  // some pair has `y` as its Y; HashFromY is empty afterwards.
  int GetEqFromY(const std::string& alignment, int y, std::set<int>& out);
};

#endif  // ANNOTATOR_LINEUP_H_
