#include <set>
#include <string>
#include <vector>

#include "Pattern.h"
#include "TrainingSentencePair.h"
#include "patterns/ConstraintEnding.h"
#include "text/NumberText.h"

namespace {}  // namespace

std::set<std::string> FindXSideConstraints(const std::vector<int>& slInds,
                                           TrainingSentencePair* pair,
                                           Pattern* /*pattern*/) {
  std::set<std::string> constraints;
  if (!pair) return constraints;
  for (std::size_t j = 0; j < slInds.size(); ++j) {
    // Positions before the first word read no tag; testing first keeps
    // p - 1 from overflowing at the bottom of the int range.
    const int sl = slInds[j];
    const std::string tag = sl > 0 ? pair->ReturnPOS(sl - 1) : std::string();
    if (const char* ending = ConstraintEnding(tag)) {
      constraints.insert("(X" + Decimal(j + 1) + " " + ending);
    }
  }
  return constraints;
}
