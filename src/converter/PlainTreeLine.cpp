// The common case of BracketedTreeReader: a line that holds one whole tree
// written the plain way parsers write it.
#include <algorithm>
#include <cstring>

#include "converter/ExampleMaker.h"
#include "scan/CountBits.h"
#include "scan/TreeLineBlocks.h"
#include "text/NumberText.h"

using line_blocks::CopyBlocks;
using line_blocks::CopyLowerBlocks;

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
// MarkTreeLine checks each byte against its neighbours; what is left is to
// visit the leaves in order, each found as the ")" right after a word,
// which also shows that the brackets balance. The record's C-structure is
// the line itself with each word's number put after it, so it is copied in
// runs from one leaf's end to the next. Of the nodes, only those near the
// top are noted, from the "(" between leaves: records name no others (the
// wrappers, the root and its children).
bool BracketedTreeReader::ScanPlainLine(extraction::PaddedView line) {
  const std::size_t size = line.size();
  const char* const text = line.data();
  if (size < 5 || text[0] != '(' || text[size - 1] != ')') return false;
  if (!line_blocks::MarkTreeLine(line.Text(), blocks_)) return false;
  const line_blocks::Block* const blocks = blocks_.data();

  // Each leaf takes at least 6 bytes of the line ("(T w) "), so a line
  // within the readers' limit has fewer than 100,000 leaves: each adds to
  // the C-structure "-" and at most 5 digits, no more than it takes, and
  // gives the SL line fewer bytes than it takes. The blocks' overshoot
  // needs kSlack more (more than a number's), which the line's padding
  // also holds.
  static_assert(line_blocks::kSlack <= extraction::kPadding);
  char* out = cs_.Room(2 * size + 2 * line_blocks::kSlack);
  char* put = sl_.Room(size + 2 * line_blocks::kSlack);
  if (top_.size() < size / 2 + 1) top_.resize(size / 2 + 1);
  TopOpen* const top = top_.data();
  std::size_t tops = 0;
  std::size_t copied = 0;  // bytes of the line already in cs_
  std::size_t deepest = 0;
  std::size_t words = 0;
  // How many "(" come before the last leaf's ")", and where it stands.
  std::uint32_t opensBefore = 0;
  std::size_t after = 0;
  const std::size_t blockCount = (size + 63) / 64;
  for (std::size_t block = 0; block < blockCount; ++block) {
    for (std::uint64_t leaves = blocks[block].Leaves; leaves != 0;
         leaves &= leaves - 1) {
      const auto bit = static_cast<unsigned>(__builtin_ctzll(leaves));
      const std::size_t close = 64 * block + bit;
      const std::uint64_t below = (std::uint64_t{1} << bit) - 1;
      const std::uint32_t opens =
          blocks[block].OpensBefore + CountBits(blocks[block].Opens & below);
      const std::uint32_t closes =
          blocks[block].ClosesBefore + CountBits(blocks[block].Closes & below);
      // Between two leaves the ")" come first: the tree may not close
      // there.
      if (words > 0 && closes >= opensBefore) return false;
      const std::uint32_t lowest = opensBefore - closes;
      const std::size_t depth = opens - closes;
      deepest = std::max(deepest, depth);
      // The blank before the word and the "(" before the tag are the last
      // two marks before the ")", mostly in its block.
      std::size_t blank = 0;
      std::size_t at = 0;
      const std::uint64_t marks = blocks[block].Marks & below;
      const std::uint64_t earlier =
          marks & ~(std::uint64_t{1} << 63 >> __builtin_clzll(marks | 1));
      if (earlier != 0) {
        blank =
            64 * block + 63 - static_cast<std::size_t>(__builtin_clzll(marks));
        at = 64 * block + 63 -
             static_cast<std::size_t>(__builtin_clzll(earlier));
      } else {
        blank = line_blocks::MarkBefore(blocks, close);
        at = line_blocks::MarkBefore(blocks, blank);
      }
      const std::size_t labelSize = blank - at - 1;
      const std::size_t wordSize = close - blank - 1;
      if (std::memcmp(text + at + 1, "-NONE- ", 7) == 0) return false;
      // The "(" near the top come first after the ")": those that open
      // the levels from the lowest on.
      for (std::size_t level = lowest + 1; level <= kTopDepth && level <= depth;
           ++level) {
        after =
            line_blocks::FirstFrom<&line_blocks::Block::Opens>(blocks, after);
        const std::size_t labelEnd =
            line_blocks::FirstFrom<&line_blocks::Block::Marks>(blocks,
                                                               after + 1);
        top[tops++] = {static_cast<std::uint32_t>(after),
                       static_cast<std::uint32_t>(level),
                       static_cast<std::uint32_t>(words),
                       static_cast<std::uint32_t>(labelEnd - after - 1)};
        ++after;
      }

      // The leaf: its word and number to the C-structure, "word/tag" to
      // the SL line.
      CopyBlocks(out, text + copied, close - copied);
      out += close - copied;
      copied = close;
      *out++ = '-';
      out = PutDecimal(out, ++words);
      *put = ' ';
      put += words > 1;
      CopyBlocks(put, text + blank + 1, wordSize);
      put += wordSize;
      *put++ = '/';
      // The x-side constraints compare lower-case tags.
      CopyLowerBlocks(put, text + at + 1, labelSize);
      put += labelSize;
      opensBefore = opens;
      after = close;
    }
  }
  // No "(" after the last leaf (each leads to one), and as many ")".
  if (blocks[blockCount].ClosesBefore != blocks[blockCount].OpensBefore) {
    return false;
  }
  CopyBlocks(out, text + copied, size - copied);
  cs_.End(out + (size - copied));
  sl_.End(put);
  return NoteTop(line, tops, deepest, words);
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
