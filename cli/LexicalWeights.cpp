#include "LexicalWeights.h"

#include <algorithm>

#include "PatternFields.h"
#include "records/AlignmentLinks.h"

void LexicalWeights::WordIds(std::string_view field, bool source,
                             std::vector<std::uint32_t>& ids) {
  // The word table holds the words unescaped.
  if (field.find('\\') != std::string_view::npos) {
    unescaped_.clear();
    AppendUnescaped(field, unescaped_);
    field = unescaped_;
  }
  ids.clear();
  while (!field.empty()) {
    const std::size_t blank = std::min(field.find(' '), field.size());
    if (blank != 0) {
      const std::string_view word = field.substr(0, blank);
      ids.push_back(source ? words_.SourceId(word) : words_.TargetId(word));
    }
    field.remove_prefix(std::min(blank + 1, field.size()));
  }
}

void LexicalWeights::Of(std::string_view sl, std::string_view tl,
                        std::string_view alignment, double& tlGivenSL,
                        double& slGivenTL) {
  WordIds(sl, true, sl_);
  WordIds(tl, false, tl_);
  LinksInside(alignment, sl_.size(), tl_.size(), links_);
  // Each word takes the mean over the words of the other side linked to
  // it, added in position order: links come by SL, then TL position, so
  // an SL word's links come together.
  tlMeans_.assign(tl_.size(), Mean{});
  slGivenTL = 1;
  auto link = links_.cbegin();
  for (std::size_t s = 0; s < sl_.size(); ++s) {
    Mean mean;
    for (; link != links_.cend() && link->first == static_cast<int>(s) + 1;
         ++link) {
      double targetGivenSource = 0;
      double sourceGivenTarget = 0;
      words_.Weights(sl_[s], tl_[link->second - 1], targetGivenSource,
                     sourceGivenTarget);
      tlMeans_[link->second - 1].Add(targetGivenSource);
      mean.Add(sourceGivenTarget);
    }
    slGivenTL *=
        mean.Linked != 0 ? mean.Of() : words_.SourceGivenTarget(sl_[s], 0);
  }
  tlGivenSL = 1;
  for (std::size_t t = 0; t < tl_.size(); ++t) {
    tlGivenSL *= tlMeans_[t].Linked != 0 ? tlMeans_[t].Of()
                                         : words_.TargetGivenSource(0, tl_[t]);
  }
}
