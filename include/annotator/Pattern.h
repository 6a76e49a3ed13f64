#ifndef ANNOTATOR_PATTERN_H_
#define ANNOTATOR_PATTERN_H_

#include <map>
#include <set>
#include <string>
#include <vector>

#include "LineUp.h"

class TrainingSentencePair;

// One candidate translation pattern cut out of a training sentence pair: an
// SL stretch with its C-structure, the TL words aligned to it, the links
// between them, a type, a constituent sequence, a co-embedding score and
// x-side constraints. A plain value: copies are independent, and every
// getter returns a copy. No operation fails, prints or ends the process.
class Pattern {
 public:
  // Every text and list empty, co-embedding score 1.
  Pattern();

  // Replaces the constituent sequence.
  void SetConstSeq(std::string constSeq);
  std::string GetConstSeq() const;

  // Replaces the type; a pattern without a type has an empty text form.
  void SetType(std::string type);
  std::string GetType() const;

  // Appends `words` (nothing is cleared first). A word may end in the marker
  // "---" and its SL sentence index ("dog---4"): the word is kept without
  // the marker, and the index, read by ReadLeadingInt from at most 10,000
  // bytes after the marker, goes to GetSLWordSentInds and, under
  // the word's 0-based position in `words`, to GetSLIndsPatternToSent
  // unless that key is present already. A marker with nothing after it
  // gives -1; a word without a marker gives -1 in GetSLWordSentInds only.
  // The marker is the "---" followed by nothing but digits (at least one)
  // to the end, so words that end in dashes keep them ("-LRB----3" is
  // "-LRB-" at 3, "-----2" is "--" at 2); a word without such an ending is
  // cut at its first "---" ("dog---x" is "dog" at 0).
  void SetSLWords(std::vector<std::string> words);
  // The SL words in pattern order, without their "---" suffixes.
  std::vector<std::string> GetSLWords() const;
  // Parallel to GetSLWords: each word's sentence index from its suffix, -1
  // where it had none.
  std::vector<int> GetSLWordSentInds() const;
  // 0-based position in the list given to SetSLWords -> sentence index, for
  // the words that carried "---"; the first call to name a position wins.
  std::map<int, int> GetSLIndsPatternToSent() const;

  // Replaces the TL words, in pattern order.
  void SetTLWords(std::vector<std::string> words);
  std::vector<std::string> GetTLWords() const;

  // Replaces the SL sentence positions (from 1) of the words, in pattern
  // order: the form UpdateAlignments and FindXSideConstraints take.
  void SetSLIndsSent(std::vector<int> inds);
  std::vector<int> GetSLIndsSent() const;

  // Replaces the links, SL pattern position -> TL pattern position; links of
  // one key keep their insertion order.
  void SetAlignments(std::multimap<int, int> alignments);
  std::multimap<int, int> GetAlignments() const;

  // Replaces the C-structure text.
  void SetCStruct(std::string cStruct);
  std::string GetCStruct() const;

  // Replaces the C-structure without tags; kept, never printed.
  void SetCStructNoTags(std::string cStructNoTags);
  std::string GetCStructNoTags() const;

  // Replaces the x-side constraints.
  void SetXSideConstraints(std::set<std::string> constraints);
  std::set<std::string> GetXSideConstraints() const;

  // Replaces the co-embedding score.
  void SetCoEmbeddingScore(int score);
  int GetCoEmbeddingScore() const;

  // The pattern in the training-example layout, every line ended by "\n":
  // "SentenceIndex:", "SL: " and the SL words joined by single blanks, "TL: "
  // and the TL words likewise, "Alignment: " and the links as "((1,1),(2,3))"
  // ("()" without links), "Type: " and the type, "CoEmbeddingScore: " and the
  // score, "C-Structure:" directly followed by the C-structure, "ConstSeq: "
  // and the sequence, "XSideConstraints:", then each constraint on a line of
  // its own in byte order. The empty string when the type is empty.
  std::string ReturnPatternAsString() const;

 private:
  std::string ConstSeq;
  std::string Type;
  std::vector<std::string> SLWords;
  std::vector<int> SLWordSentInds;
  std::vector<int> SLIndsSent;
  std::map<int, int> SLIndsPatternToSent;
  std::vector<std::string> TLWords;
  std::multimap<int, int> Alignments;
  std::string CStruct;
  std::string CStructNoTags;
  std::set<std::string> XSideConstraints;
  int CoEmbeddingScore = 1;
};

// Carries a sentence alignment over onto a pattern whose words stand at the
// SL positions `slInds` (from 1; entry j is pattern position j + 1). The TL
// words aligned to any of them are appended to `tlWords` once each, in TL
// sentence order; the result links SL pattern position -> TL pattern
// position, both from 1, the TL pattern positions counting the appended
// words only. An SL position without links keeps its pattern position and
// adds nothing; one named twice links under both pattern positions; links of
// one SL position keep the order of `alMap`. A TL position that `alMap`
// names twice keeps the first word met. Ends the process with "Something
// went wrong in UpdateAlignments.\n" on standard error and exit status 1 if
// its two passes over the links ever disagree, which no input can cause.
std::multimap<int, int> UpdateAlignments(const std::vector<int>& slInds,
                                         std::vector<std::string>& tlWords,
                                         const AlMap& alMap);

// The x-side constraints of a pattern whose words stand at the SL positions
// `slInds` (from 1; entry j is pattern position j + 1), from the tags that
// `pair` reports through ReturnPOS: "(X" pattern position " NUM *SG)" for
// "nn", "NUM *PL)" for "nns", "TENSE *PAST)" for "vbd", "TENSE *PRESENT)"
// for "vb", compared case-sensitively; any other tag, and a position outside
// the sentence, adds nothing. A null `pair` has no tags. `pattern` is
// neither read nor changed; neither pointer is owned. Prints nothing.
std::set<std::string> FindXSideConstraints(const std::vector<int>& slInds,
                                           TrainingSentencePair* pair,
                                           Pattern* pattern);

#endif  // ANNOTATOR_PATTERN_H_
