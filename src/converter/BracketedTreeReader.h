#ifndef ANNOTATOR_BRACKETEDTREEREADER_H_
#define ANNOTATOR_BRACKETEDTREEREADER_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "Status.h"
#include "TrainingExampleReader.h"
#include "records/LegacyLimits.h"
#include "text/LineReader.h"

// Bracketed trees as parsers and treebanks write them, one at a time: any
// number per line or one over many lines, complete when their brackets
// balance. A tree is kept as its nodes in text order.
class BracketedTreeReader {
 public:
  // The most bytes a tree read from lines may take, from its "(" to its
  // last ")", each line break counted as one: as a record's lines, so that
  // one missing ")" cannot pull the rest of a file into memory.
  static constexpr std::size_t kLongestTree = kLongestLine;

  // Reads the next tree from `lines`. True with the tree held, or with
  // Problem() set for a tree that does not read (the reading then goes on
  // after it), or with TooLong() set; false at the end of input and after
  // a tree too long, which ends the reading.
  bool Next(LineReader& lines);

  // Empty when the tree held reads; else why not.
  std::string_view Problem() const { return problem_; }
  // The tree held grew past kLongestTree before its brackets balanced;
  // the rest of it is not read, so where the next tree starts is unknown.
  bool TooLong() const { return tooLong_; }

  // Converts the tree held, with `tl` (a TL sentence) and `alignment` (0-based
  // "i-j" links), into the fields of sentence `number`'s record, each a
  // whole line with its label, and the tree's depth. The views hold until
  // the next call. A sentence that cannot become a record returns its
  // reason: kMalformedSentence or kMalformedLink, Record set to `number`
  // and, for a link past the TL sentence's end, Position to its TL position
  // from 1.
  Status MakeRecord(std::string_view tl, std::string_view alignment,
                    std::size_t number, ExampleRecordView& record, int& depth);

  // Labels read from now on lose their function tags and co-indices, as
  // tree_text::BareLabel cuts them.
  void SetBareLabels(bool bare) { bareLabels_ = bare; }

  // Reads the one tree of `text` (more than one, or none, is a problem).
  void ReadText(std::string_view text);

 private:
  // A text built in place: room is made first and filled through a
  // pointer, which costs less than an append per piece. The string only
  // grows; Size() is how much of it is the text.
  class TextBuffer {
   public:
    // At least `bytes` bytes to write at the end; valid until the next Room.
    char* Room(std::size_t bytes) {
      if (size_ + bytes > text_.size()) {
        text_.resize(std::max(size_ + bytes, 2 * text_.size()));
      }
      return text_.data() + size_;
    }
    // What was written from Room() on ends at `end`.
    void End(char* end) {
      size_ = static_cast<std::size_t>(end - text_.data());
    }
    void Assign(std::string_view text) {
      size_ = 0;
      Append(text);
    }
    void Append(std::string_view text) {
      char* at = Room(text.size());
      if (!text.empty()) std::memcpy(at, text.data(), text.size());
      size_ += text.size();
    }
    void Append(char c) { *Room(1) = c, ++size_; }
    std::size_t Size() const { return size_; }
    std::string_view View() const { return {text_.data(), size_}; }

   private:
    std::string text_;
    std::size_t size_ = 0;
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
  // The record's alignment line, from `alignment` checked against the
  // tree's `words` and the TL line's `tlWords`, in alignmentLine_.
  Status MakeAlignment(std::string_view alignment, std::size_t words,
                       std::size_t tlWords, std::size_t number);

  std::vector<Node> nodes_;
  TextBuffer cs_;  // "C-Structure:" and the tree as read so far
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
  // Bytes the tree took from its "(" to the end of the last line read.
  std::size_t treeBytes_ = 0;
  bool tooLong_ = false;
  bool bareLabels_ = false;
  // A stray ")" or word before this tree's "(" makes it unreadable.
  const char* carried_ = nullptr;

  // Scratch space kept from record to record.
  std::vector<std::uint32_t> depth_, liveChildren_;
  std::vector<std::int32_t> open_;
  std::vector<std::uint64_t> links_;  // SL position << 32 | TL position
  std::string slowCs_, slowSl_;
  TextBuffer type_, cStructure_, constSeq_, tlLine_, alignmentLine_;
};

#endif  // ANNOTATOR_BRACKETEDTREEREADER_H_
