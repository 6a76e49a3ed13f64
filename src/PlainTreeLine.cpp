// The common case of BracketedTreeReader: a line that holds one whole tree
// written the plain way parsers write it.
#include <algorithm>
#include <charconv>
#include <cstring>

#include "ExampleMaker.h"
#include "TreeLineBlocks.h"

using line_blocks::CopyBlocks;
using line_blocks::CopyLowerBlocks;
using line_blocks::MarkCursor;

namespace {

// The "-n" put after each of the first `words` words takes this many bytes:
// two each, and one more for each from 10 on, from 100 on, and so on. A
// line within the readers' limit has fewer than 100,000 words.
std::size_t NumberBytes(std::size_t words) {
  const auto from = [words](std::size_t first) {
    return words >= first ? words - first + 1 : 0;
  };
  return 2 * words + from(10) + from(100) + from(1000) + from(10000);
}

bool IsWrapper(std::string_view label) {
  return label == "ROOT" || label == "TOP";
}

}  // namespace

// A plain line is one tree and nothing else: "(" at its first byte, ")" at
// its last, one blank between a label and what follows it and between
// siblings, a leaf "(TAG word)", no empty element, no empty label, no tab.
// Only its marks ("(", ")", " ") are visited, in order, from a bit map of
// the line: the labels and words between them are taken whole. The
// record's C-structure is the line itself with each word's number put
// after it, so it is copied in runs from one leaf's end to the next. Of
// the nodes, only those near the top are noted as the walk passes them:
// records name no others (the wrappers, the root and its children).
bool BracketedTreeReader::ScanPlainLine(extraction::PaddedView line) {
  const std::size_t size = line.size();
  const char* const text = line.data();
  if (size < 5 || text[0] != '(' || text[size - 1] != ')') return false;
  if (!line_blocks::MarkTreeLine(line.Text(), marks_)) return false;
  MarkCursor marks(marks_);

  // Each leaf takes at least 6 bytes of the line ("(T w) "), so a line
  // within the readers' limit has fewer than 100,000 leaves: each adds to
  // the C-structure "-" and at most 5 digits, no more than it takes, and
  // gives the SL line fewer bytes than it takes. The blocks' overshoot
  // needs kSlack more, which the line's padding also holds.
  static_assert(line_blocks::kSlack <= extraction::kPadding);
  char* out = cs_.Room(2 * size + 2 * line_blocks::kSlack);
  char* put = sl_.Room(size + 2 * line_blocks::kSlack);
  // Every "(" is written to top_, and kept when it is this near the top.
  if (top_.size() < size / 2 + 1) top_.resize(size / 2 + 1);
  TopOpen* const top = top_.data();
  std::size_t tops = 0;
  std::size_t copied = 0;  // bytes of the line already in cs_
  std::size_t depth = 0;
  std::size_t deepest = 0;
  std::size_t words = 0;
  std::size_t at = marks.Next();  // a "("
  for (;;) {
    // "(" and a label up to a blank; then "(" right after it, or a word up
    // to ")". The ")" that ends the line is a mark still to come.
    const std::size_t blank = marks.Next();
    const std::size_t labelSize = blank - at - 1;
    if (labelSize == 0 || text[blank] != ' ') return false;
    deepest = std::max(deepest, ++depth);
    top[tops] = {static_cast<std::uint32_t>(at),
                 static_cast<std::uint32_t>(depth),
                 static_cast<std::uint32_t>(words),
                 static_cast<std::uint32_t>(labelSize)};
    tops += depth <= kTopDepth;
    const std::size_t close = marks.Next();
    if (text[close] == '(') {
      if (close != blank + 1) return false;
      at = close;
      continue;
    }
    const std::size_t wordSize = close - blank - 1;
    if (wordSize == 0 || text[close] != ')' ||
        std::memcmp(text + at + 1, "-NONE- ", 7) == 0) {
      return false;
    }

    // The leaf: its word and number to the C-structure, "word/tag" to the
    // SL line.
    CopyBlocks(out, text + copied, close - copied);
    out += close - copied;
    copied = close;
    *out++ = '-';
    out = std::to_chars(out, out + 21, ++words).ptr;
    *put = ' ';
    put += words > 1;
    CopyBlocks(put, text + blank + 1, wordSize);
    put += wordSize;
    *put++ = '/';
    // The x-side constraints compare lower-case tags.
    CopyLowerBlocks(put, text + at + 1, labelSize);
    put += labelSize;
    --depth;

    // Then ")" closing the nodes above, until " (" opens a sibling or the
    // tree ends with the line.
    at = close;
    for (;;) {
      if (depth == 0) {
        if (at + 1 != size) return false;
        CopyBlocks(out, text + copied, size - copied);
        cs_.End(out + (size - copied));
        sl_.End(put);
        return NoteTop(line, tops, deepest, words);
      }
      // The last ")" with nodes still open: the tree goes on past the line.
      if (at + 1 == size) return false;
      const std::size_t next = marks.Next();
      if (next != at + 1) return false;
      if (text[next] == ')') {
        at = next;
        --depth;
        continue;
      }
      if (text[next] != ' ') return false;
      at = marks.Next();
      if (at != next + 1 || text[at] != '(') return false;
      break;
    }
  }
}

// The wrappers: while the node at a depth is ROOT or TOP over exactly one
// child (the one node a level down), the root is that child. The nodes a
// record names, the root and its children, are then kept with where they
// stand in cs_.
bool BracketedTreeReader::NoteTop(extraction::PaddedView line, std::size_t tops,
                                  std::size_t deepest, std::size_t words) {
  const char* const text = line.data();
  const std::size_t size = line.size();
  const TopOpen* const top = top_.data();
  std::size_t opensAt[kTopDepth + 2] = {};
  for (std::size_t i = 0; i < tops; ++i) ++opensAt[top[i].Depth];
  std::size_t first = 0;  // the root, in top
  for (;;) {
    const TopOpen& node = top[first];
    const std::size_t blank = node.At + 1 + node.LabelSize;
    const std::string_view label(text + node.At + 1, node.LabelSize);
    if (text[blank + 1] != '(' || opensAt[node.Depth + 1] != 1 ||
        !IsWrapper(label)) {
      break;
    }
    // Its children would lie past what top holds: the full reader takes it.
    if (node.Depth + 2 > kTopDepth) return false;
    ++first;
  }
  const TopOpen& root = top[first];
  const std::size_t rootDepth = root.Depth;

  // The wrappers are cut off where they stand: the line's name is written
  // over what comes before the root, so that the record's C-structure is
  // a view of cs_, not a copy. Each "(" after the root moves by the "-n"
  // after the words before it.
  const std::size_t start = cs_.Size() - (NumberBytes(words) + size);
  const std::size_t rootBegin = root.At + start;
  const std::size_t rootEnd = cs_.Size() - (rootDepth - 1);
  if (first > 0) std::memcpy(cs_.Data() + root.At, "C-Structure:", start);
  cStructureFrom_ = root.At;
  cStructureTo_ = rootEnd;

  Node& rootNode = nodes_.emplace_back();
  rootNode.OutBegin = static_cast<std::uint32_t>(rootBegin);
  rootNode.Label = rootNode.OutBegin + 1;
  rootNode.LabelSize = root.LabelSize;
  rootNode.Parent = -1;
  rootNode.Children = static_cast<std::uint32_t>(opensAt[rootDepth + 1]);
  rootNode.OutEnd = static_cast<std::uint32_t>(rootEnd);
  const std::size_t blank = root.At + 1 + root.LabelSize;
  if (text[blank + 1] != '(') {
    rootNode.Word = static_cast<std::uint32_t>(blank + 1 + start);
    rootNode.WordSize =
        static_cast<std::uint32_t>(size - rootDepth - blank - 1);
  }
  for (std::size_t i = first + 1; i < tops; ++i) {
    const TopOpen& open = top[i];
    if (open.Depth != rootDepth + 1) continue;
    Node& node = nodes_.emplace_back();
    node.OutBegin =
        static_cast<std::uint32_t>(open.At + start + NumberBytes(open.Words));
    node.Label = node.OutBegin + 1;
    node.LabelSize = open.LabelSize;
    node.Parent = 0;
  }
  words_ = words;
  deepest_ = deepest - (rootDepth - 1);
  started_ = true;
  at_ = size;
  return true;
}
