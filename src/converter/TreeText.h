#ifndef ANNOTATOR_TREETEXT_H_
#define ANNOTATOR_TREETEXT_H_

#include <string_view>

// What the converter's readers share about the text of trees and links:
// the classes of its bytes and the reasons a sentence does not read.
namespace tree_text {

inline constexpr char kUnbalanced[] = "unbalanced brackets";
inline constexpr char kWordOutside[] = "a word outside brackets";
inline constexpr char kNoLabel[] = "a bracket without a label";
inline constexpr char kNoWords[] =
    "no words left after removing empty elements";

// What a byte of a tree text is: part of a label or word, a blank between
// them, or a bracket.
enum CharClass : unsigned char { kWordChar, kSpaceChar, kOpenChar, kCloseChar };

struct CharClasses {
  CharClass Of[256];
  char Lower[256];  // ASCII letters lower-cased, every other byte as it is
  constexpr CharClasses() : Of(), Lower() {
    for (int c = 0; c < 256; ++c) {
      Of[c] = kWordChar;
      Lower[c] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    for (const unsigned char c : {' ', '\t', '\r', '\f', '\v'}) {
      Of[c] = kSpaceChar;
    }
    Of[static_cast<unsigned char>('(')] = kOpenChar;
    Of[static_cast<unsigned char>(')')] = kCloseChar;
  }
};
inline constexpr CharClasses kClasses;

inline CharClass ClassOf(char c) {
  return kClasses.Of[static_cast<unsigned char>(c)];
}
inline bool IsSpace(char c) { return ClassOf(c) == kSpaceChar; }

// An outer bracket that only wraps the tree: parsers write ROOT, treebanks
// an empty label, some TOP.
inline bool IsWrapperLabel(std::string_view label) {
  return label.empty() || label == "ROOT" || label == "TOP";
}

// A label without its function tags and co-index, so that counts gather by
// category: cut at the first "-" or "=" after its first byte. A label that
// begins with "-" (-NONE-, -LRB-) names a category whole.
inline std::string_view BareLabel(std::string_view label) {
  if (label.empty() || label[0] == '-') return label;
  return label.substr(0, label.find_first_of("-=", 1));
}

// The label of an empty element, which a record leaves out with its word.
inline constexpr std::string_view kEmptyElement = "-NONE-";

}  // namespace tree_text

#endif  // ANNOTATOR_TREETEXT_H_
