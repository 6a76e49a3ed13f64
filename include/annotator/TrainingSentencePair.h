#ifndef ANNOTATOR_TRAININGSENTENCEPAIR_H_
#define ANNOTATOR_TRAININGSENTENCEPAIR_H_

#include <string>
#include <vector>

#include "ParseParser.h"
#include "Pattern.h"
#include "Status.h"

// One training sentence pair of the pattern learner: the SL sentence of
// "word/tag" tokens, its TL translation, the alignment string between them,
// the SL constituent tree and the patterns learned from the pair. Setting a
// sentence splits it at once into word lists. Sentences are split at the
// blank alone (tabs are ordinary characters); empty tokens are skipped, and
// after each blank at most 1,000,000 bytes of the rest are kept.
// Positions count from 0 in the word and tag lists and in ReturnPOS, from 1
// in alignments. Copies are independent except for the tree, which no copy
// owns.
class TrainingSentencePair {
 public:
  // All texts and lists empty, no tree.
  TrainingSentencePair();

  // Stores the SL sentence and appends its words and tags (nothing is
  // cleared). A token splits at its last "/": the word before it, the tag
  // (at most 10,000 bytes) after it, so "a/b/nn" is the word "a/b" tagged
  // "nn" and "//sym" the word "/"; for each such split "POSTag:", the tag
  // and a line end are written to standard output and flushed. A token
  // without "/", or whose last "/" is its last character, is a word with
  // tag "" ("/", "a/" and "//" are such words). A token "/tag" adds no word,
  // though its "POSTag:" line is written.
  void SetSLSent(std::string sentence);
  // The SL sentence as last set.
  std::string GetSLSent() const;
  // The SL words joined for a parser: each word and a blank; when that text
  // is longer than 2 characters and its second-to-last one is ".", its last
  // two characters are removed; then " ." is appended. Writes one "." per
  // word to standard output, with no line end.
  std::string GetSLSentToParse() const;

  // Stores the TL sentence and appends its tokens to the TL words (nothing
  // is cleared, nothing is printed).
  void SetTLSent(std::string sentence);
  // The TL sentence as last set.
  std::string GetTLSent() const;

  // Stores the alignment string; it is read only by GetAlMap.
  void SetAlignment(std::string alignment);
  std::string GetAlignment() const;

  // Stores a pointer to the SL tree; the pair never owns, creates or
  // destroys it, and the caller keeps it alive while the pair refers to it.
  void SetParseTree(ParseParser* parseTree);
  // The stored tree, nullptr until SetParseTree.
  ParseParser* GetParseTree() const;

  // The SL words, in sentence order.
  std::vector<std::string> GetSLWords() const;
  // The tag of each SL word, parallel to GetSLWords; "" for an untagged one.
  std::vector<std::string> GetSLPOSs() const;
  // The TL words, in sentence order.
  std::vector<std::string> GetTLWords() const;

  // Appends a copy of `pattern` to the pair's patterns.
  void AddPattern(Pattern pattern);
  // Copies of the patterns added, in the order added.
  std::vector<Pattern> GetPatterns() const;

  // The tag of the SL word at 0-based `position`, "SYM" for a tag "(" or
  // ")", "" when the position is negative or past the last word.
  std::string ReturnPOS(int position) const;

  // The alignment map: for each SL position s from 1 to the number of SL
  // words, an entry s -> (TL word t, t) per TL position t paired with s in
  // the alignment string, each t once, in ascending t. Pairs naming other SL
  // positions are ignored. When the alignment, the SL words or the TL words
  // are empty, first writes "Cannote process AlMap, Alignment and/or SLWords
  // and/or TLWords not given." and a line end to standard output. When a TL
  // position names no TL word (0, negative or past the last), writes "TL
  // Index ", the position, " exceeds TL sentence length." and a line end to
  // standard error and ends the process with exit status 1.
  AlMap GetAlMap() const;

  // GetAlMap without printing or ending the process: on success fills `out`
  // and returns Ok; when a TL position names no TL word, empties `out` and
  // returns kTLPositionBeyondSentence with the first such position (in
  // GetAlMap's order), also stored in `badTLPosition` when that is not null.
  Status TryGetAlMap(AlMap& out, int* badTLPosition = nullptr) const;

 private:
  void FindSLWordsandPOSs();
  void FindTLWords();

  std::string SLSent;
  std::string TLSent;
  std::string Alignment;
  ParseParser* ParseTree = nullptr;
  std::vector<std::string> SLWords;
  std::vector<std::string> SLPOSs;
  std::vector<std::string> TLWords;
  std::vector<Pattern> Patterns;
};

#endif  // ANNOTATOR_TRAININGSENTENCEPAIR_H_
