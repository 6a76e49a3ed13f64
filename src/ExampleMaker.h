#ifndef ANNOTATOR_EXAMPLEMAKER_H_
#define ANNOTATOR_EXAMPLEMAKER_H_

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "LineReader.h"
#include "Status.h"
#include "TrainingExampleReader.h"

// Bracketed trees as parsers and treebanks write them, one at a time: any
// number per line or one over many lines, complete when their brackets
// balance. A tree is kept as its nodes in text order.
class BracketedTreeReader {
 public:
  // Reads the next tree from `lines`. True with the tree held, or with
  // Problem() set for a tree that does not read (the reading then goes on
  // after it); false at the end of input.
  bool Next(LineReader& lines);

  // Empty when the tree held reads; else why not.
  std::string_view Problem() const { return problem_; }

  // Converts the tree held, with `tl` (a TL sentence) and `alignment` (0-based
  // "i-j" links), into the fields of sentence `number`'s record, each a
  // whole line with its label, and the tree's depth. The views hold until
  // the next call. A sentence that cannot become a record returns its
  // reason: kMalformedSentence or kMalformedLink, Record set to `number`.
  Status MakeRecord(std::string_view tl, std::string_view alignment,
                    std::size_t number, ExampleRecordView& record, int& depth);

  // Reads the one tree of `text` (more than one, or none, is a problem).
  void ReadText(std::string_view text);

 private:
  struct Node {
    std::uint32_t Label, LabelSize, Word, WordSize;
    std::int32_t Parent;
  };

  void Clear();
  // Takes the tokens of `line` from `at_` on; true once a tree is complete.
  bool Scan(std::string_view line);
  void Fail(const char* reason) {
    if (problem_.empty()) problem_ = reason;
  }
  std::string_view Text(std::uint32_t at, std::uint32_t size) const {
    return std::string_view(text_).substr(at, size);
  }

  std::vector<Node> nodes_;
  std::string text_;  // labels and words of the tree, one after the other
  std::vector<std::int32_t> open_;
  std::string problem_;
  // The line being scanned and how far; a tree may end mid-line.
  std::string_view line_;
  std::size_t at_ = 0;
  bool lineHeld_ = false;
  bool started_ = false;
  // A stray ")" or word before this tree's "(" makes it unreadable.
  const char* carried_ = nullptr;

  // Scratch space kept from record to record.
  std::vector<std::uint32_t> depth_, liveChildren_;
  std::vector<std::pair<int, int>> links_;
  std::string sl_, alignmentLine_, type_, cStructure_, constSeq_, tlLine_;
};

// Sentence k of a corpus is tree k, TL line k and alignment line k of three
// streams; makes the record of each.
class ExampleMaker {
 public:
  // The names are what messages call the files.
  ExampleMaker(std::istream& trees, std::istream& tl, std::istream& alignment,
               std::string treesName, std::string tlName,
               std::string alignmentName);

  enum class Step {
    kRecord,   // a record was appended
    kSkipped,  // the sentence was skipped: Problem() says why
    kEnd,      // all three files ended together
    kStopped,  // a file ran short or held a line too long: Problem()
  };

  // Makes the next sentence's record fields and depth, as
  // BracketedTreeReader::MakeRecord gives them.
  Step Next(ExampleRecordView& record, int& depth);

  // The reason of the last kSkipped or kStopped: kMalformedSentence or
  // kMalformedLink, with Record set to the sentence for a skipped one.
  const Status& Problem() const { return problem_; }
  // Sentences taken so far, skipped ones included.
  std::size_t Sentences() const { return number_; }

 private:
  Step Stop(std::string message);
  // Stop for a line too long in `lines`, named `name`.
  bool Overlong(const LineReader& lines, const std::string& name);

  LineReader trees_, tl_, alignment_;
  std::string treesName_, tlName_, alignmentName_;
  BracketedTreeReader reader_;
  std::size_t number_ = 0;
  Status problem_;
};

#endif  // ANNOTATOR_EXAMPLEMAKER_H_
