#ifndef ANNOTATOR_TOKENIZER_H_
#define ANNOTATOR_TOKENIZER_H_

#include <string>
#include <vector>

// Splits text at a delimiter. Stateless; the tree reader keeps one to split
// leaf text at "-".
class Tokenizer {
 public:
  // The pieces of `text` between occurrences of `delimiter`, in text order,
  // empty pieces left out ("-a--b-" at "-" gives "a", "b"). After each piece
  // the delimiter's whole length is skipped, and at most 100,000 bytes
  // of the rest are kept for further pieces. An empty text gives no piece; an
  // empty delimiter gives the whole text as the only piece.
  std::vector<std::string> operator()(const std::string& text,
                                      const std::string& delimiter) const;
};

// Like Tokenizer, but empty pieces are kept ("a--b" at "-" gives "a", "",
// "b") and exactly one character is skipped after each piece, so the further
// characters of a longer delimiter begin the next piece.
std::vector<std::string> Tokenize(const std::string& text,
                                  const std::string& delimiter);

#endif  // ANNOTATOR_TOKENIZER_H_
