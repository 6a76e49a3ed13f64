#ifndef ANNOTATOR_EXAMPLEMAKER_H_
#define ANNOTATOR_EXAMPLEMAKER_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Status.h"
#include "TrainingExampleReader.h"
#include "scan/TreeLineBlocks.h"
#include "text/LineReader.h"
#include "text/PaddedText.h"

// True for the label of an outer bracket that only wraps the tree, which a
// record leaves out when it holds a single constituent: parsers write ROOT,
// treebanks an empty label, some TOP.
bool IsWrapperLabel(std::string_view label);

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
  // reason: kMalformedSentence or kMalformedLink, Record set to `number`
  // and, for a link past the TL sentence's end, Position to its TL position
  // from 1.
  Status MakeRecord(std::string_view tl, std::string_view alignment,
                    std::size_t number, ExampleRecordView& record, int& depth);

  // Reads the one tree of `text` (more than one, or none, is a problem).
  void ReadText(std::string_view text);

 private:
  // A text built in place: room is made first and filled through a
  // pointer, which costs less than an append per piece.
  class TextBuffer {
   public:
    // At least `bytes` bytes to write at the end; valid until the next Room.
    char* Room(std::size_t bytes) {
      if (size_ + bytes > capacity_) Grow(size_ + bytes);
      return data_.get() + size_;
    }
    // What was written from Room() on ends at `end`.
    void End(char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }
    void Assign(std::string_view text) {
      size_ = 0;
      char* at = Room(text.size());
      if (!text.empty()) std::memcpy(at, text.data(), text.size());
      size_ = text.size();
    }
    void Append(std::string_view text) {
      char* at = Room(text.size());
      if (!text.empty()) std::memcpy(at, text.data(), text.size());
      size_ += text.size();
    }
    void Append(char c) { *Room(1) = c, ++size_; }
    std::size_t Size() const { return size_; }
    char* Data() { return data_.get(); }
    std::string_view View() const { return {data_.get(), size_}; }

   private:
    void Grow(std::size_t least);
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
  };

  // Label and Word are where they stand in cs_.
  struct Node {
    std::uint32_t Label, LabelSize, Word, WordSize;
    std::int32_t Parent;
    std::uint32_t Children;
    // Where the node's "(" and the end of its ")" stand in cs_.
    std::uint32_t OutBegin, OutEnd;
  };

  void Clear();
  // Takes the tokens of `line` from `at_` on; true once a tree is complete.
  // Writes the record's C-structure and SL lines as it reads, which are
  // right unless the tree has empty elements or odd wrappers (simple_).
  bool Scan(std::string_view line);
  // Takes `line` whole when it is one tree written plainly, as parsers
  // write a tree to a line, with what Scan would leave; false (with the
  // tree held left to Clear) for any other line, which Scan then reads.
  bool ScanPlainLine(extraction::PaddedView line);
  // Keeps, of a plain line read into cs_ and sl_, the nodes a record names
  // from the first `tops` of top_.
  bool NoteTop(extraction::PaddedView line, std::size_t tops,
               std::size_t deepest, std::size_t words);
  void Fail(const char* reason) {
    if (problem_.empty()) problem_ = reason;
  }
  // A label or word of the tree, which stand in cs_.
  std::string_view Text(std::uint32_t at, std::uint32_t size) const {
    return cs_.View().substr(at, size);
  }
  // The C-structure and SL lines of a tree that is not simple_, from its
  // nodes; the views point into slowCs_ and slowSl_.
  Status Rebuild(std::size_t number, std::size_t& root,
                 std::string_view& cStructure, std::string_view& sl,
                 int& depth);

  std::vector<Node> nodes_;
  TextBuffer cs_;  // "C-Structure:" and the tree as read so far
  // Where the record's C-structure line stands in cs_: all of it, but for
  // a plain line whose wrappers were cut.
  std::size_t cStructureFrom_ = 0;
  std::size_t cStructureTo_ = std::string_view::npos;
  TextBuffer sl_;  // "SL: " and the words as read so far
  // The bracket open last, which the next word or ")" belongs to, and how
  // many are open: a node's Parent leads back out, so no stack is kept.
  std::int32_t innermost_ = -1;
  std::size_t openCount_ = 0;
  std::string problem_;
  std::size_t words_ = 0;
  std::size_t deepest_ = 0;
  // No empty element, no node without word and children, no empty label
  // but the first node's.
  bool simple_ = true;
  // The line being scanned and how far; a tree may end mid-line.
  std::string_view line_;
  std::size_t at_ = 0;
  bool lineHeld_ = false;
  bool started_ = false;
  // A stray ")" or word before this tree's "(" makes it unreadable.
  const char* carried_ = nullptr;

  // Scratch space kept from record to record.
  std::vector<std::uint32_t> depth_, liveChildren_;
  std::vector<std::int32_t> open_;
  // A plain line's blocks, and its "(" near the top: where each stands,
  // its depth, the words before it and its label's size.
  struct TopOpen {
    std::uint32_t At, Depth, Words, LabelSize;
  };
  static constexpr std::size_t kTopDepth = 3;
  std::vector<line_blocks::Block> blocks_;
  std::vector<TopOpen> top_;
  std::vector<std::uint64_t> links_;  // SL position << 32 | TL position
  TextBuffer alignmentLine_;
  std::string slowCs_, slowSl_;
  TextBuffer type_, cStructure_, constSeq_, tlLine_;
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
