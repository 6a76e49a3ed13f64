#include "LineUp.h"

#include <string_view>

#include "NumberText.h"

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
  const std::string_view text = alignment;
  std::map<int, std::vector<int>>& hash =
      direction == 1 ? HashFromX : HashFromY;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '(' || i == 0) continue;
    const std::size_t comma = text.find(',', i + 1);
    if (comma == std::string_view::npos) return;
    const std::size_t close = text.find(')', comma + 1);
    if (close == std::string_view::npos) return;
    const int x = ReadLeadingInt(text.substr(i + 1, comma - i - 1));
    const int y = ReadLeadingInt(text.substr(comma + 1, close - comma - 1));
    if (direction == 1) {
      hash[x].push_back(y);
    } else {
      hash[y].push_back(x);
    }
    // The loop's step then passes the pair's ")".
    i = close;
  }
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
