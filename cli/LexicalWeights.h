#ifndef ANNOTATOR_LEXICALWEIGHTS_H_
#define ANNOTATOR_LEXICALWEIGHTS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "WordTable.h"

// The lexical weights of table entries from a word table: each word of one
// side takes the mean weight of the words of the other side linked to it,
// or its weight with NULL when none is, and the side's weight is their
// product. One object serves entry after entry, its scratch space reused.
class LexicalWeights {
 public:
  explicit LexicalWeights(const WordTable& words) : words_(words) {}

  // The weights, TL given SL and SL given TL, of SL words `sl` and TL words
  // `tl` (table fields, escaped) linked by `alignment`.
  void Of(std::string_view sl, std::string_view tl, std::string_view alignment,
          double& tlGivenSL, double& slGivenTL);

 private:
  // The word table's numbers of the blank-separated words of `field`.
  void WordIds(std::string_view field, bool source,
               std::vector<std::uint32_t>& ids);

  const WordTable& words_;
  std::vector<std::uint32_t> sl_, tl_;
  std::vector<std::pair<int, int>> links_;
  // The weights a word is linked with, added up.
  struct Mean {
    double Sum = 0;
    int Linked = 0;
    void Add(double weight) {
      Sum += weight;
      ++Linked;
    }
    double Of() const { return Sum / Linked; }
  };
  std::vector<Mean> tlMeans_;
  std::string unescaped_;
};

#endif  // ANNOTATOR_LEXICALWEIGHTS_H_
