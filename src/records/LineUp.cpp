#include "LineUp.h"

#include "records/AlignmentLinks.h"

namespace {

// The lookup half of GetEq and GetEqFromY; the map is left empty either way,
// so a LineUp carries nothing from one query to the next.
int TakeEq(std::map<int, std::vector<int>>& hash, int key, std::set<int>& out) {
  const auto found = hash.find(key);
  const bool present = found != hash.end();
  if (present) out.insert(found->second.begin(), found->second.end());
  hash.clear();
  return present ? 1 : 0;
}

}  // namespace

void LineUp::FillHash(int direction, const std::string& alignment) {
  std::map<int, std::vector<int>>& hash =
      direction == 1 ? HashFromX : HashFromY;
  ForEachAlignmentPair(alignment, [&](int x, int y) {
    if (direction == 1) {
      hash[x].push_back(y);
    } else {
      hash[y].push_back(x);
    }
  });
}

int LineUp::GetEq(const std::string& alignment, int x, std::set<int>& out) {
  FillHash(1, alignment);
  return TakeEq(HashFromX, x, out);
}

int LineUp::GetEqFromY(const std::string& alignment, int y,
                       std::set<int>& out) {
  FillHash(2, alignment);
  return TakeEq(HashFromY, y, out);
}
