#ifndef ANNOTATOR_LEGACYLIMITS_H_
#define ANNOTATOR_LEGACYLIMITS_H_

#include <cstddef>
#include <string_view>

// The lengths at which the learner's readers stop looking, and the markers
// its texts carry. Files written for the learner rely on them, so each is
// kept exactly; only texts handed in by other programs come near a limit.

// Input lines: at most this many bytes before the line end.
constexpr std::size_t kLongestLine = 99999;
// Any line containing this starts a record.
constexpr std::string_view kRecordHeaderMark = "SentenceIndex:";

// Splitting text at a delimiter (Tokenizer, Tokenize, leaf text at "-"):
// after each piece, at most this much of the rest is kept.
constexpr std::size_t kTokenizerRestKept = 100000;
// Splitting a sentence into words: after each blank, at most this much of
// the rest is kept.
constexpr std::size_t kSentenceRestKept = 1000000;
// An SL token's tag after its "/": at most this much is kept.
constexpr std::size_t kTagKept = 10000;

// Reading a C-structure: at most this much of a constituent's text is read
// past its label and past each child's "(", at most this much after a
// child's ")", and a label written in angle brackets at most this long.
constexpr std::size_t kConstituentTextKept = 1000000;
constexpr std::size_t kAfterChildKept = 10000000;
constexpr std::size_t kBracketedLabelKept = 100000;

// Joins an SL word to its sentence position in a pattern's word list
// ("dog---4"); at most this much of what follows it is read as the position.
constexpr std::string_view kWordPositionMarker = "---";
constexpr std::size_t kWordPositionKept = 10000;

// The leaf text the tree reader gives every node it creates, which stays in
// the nodes that hold no word.
constexpr char kInteriorRawWord[] = "iNtErIoR";

#endif  // ANNOTATOR_LEGACYLIMITS_H_
