#include "converter/BracketedTreeReader.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "converter/TreeText.h"
#include "text/NumberText.h"

using namespace tree_text;

namespace {

// Scan writes to the C-structure at most this many bytes for each byte of
// the line it takes, and kOutSlack more: a word adds a blank before it,
// "-" and its number after it, and takes at least two bytes (itself and
// what ends it, or one at the line's end); a "(" adds one blank.
constexpr std::size_t kWordAdds = 2 + kMostDecimalBytes;
constexpr std::size_t kOutPerByte = 1 + kWordAdds / 2;
constexpr std::size_t kOutSlack = kWordAdds;

// A tree text from which the C-structure's offsets, held in 32 bits, would
// not fit: more than any record can come from. Lines bound a tree in
// Next; ReadText takes a text of any size.
constexpr std::size_t kLongestText =
    (std::numeric_limits<std::uint32_t>::max() - kOutSlack) / kOutPerByte -
    sizeof "C-Structure:";
static_assert(BracketedTreeReader::kLongestTree < kLongestText);

// A tree from lines that grew past kLongestTree: most likely one ")" is
// missing and the trees after it were taken for its part. A text too long
// for the C-structure's offsets is far longer still.
constexpr char kTooLongLines[] =
    "a tree longer than 99,999 bytes (unbalanced brackets?)";
constexpr char kTooLong[] = "a tree longer than 99,999 bytes";

// Where the label or word that starts at `from` ends.
const char* TokenEnd(const char* from, const char* end) {
  while (from < end && ClassOf(*from) == kWordChar) ++from;
  return from;
}

// Copies the label or word that starts at `from` to `to`, up to a blank, a
// bracket or `end`: one pass both finds its end and copies it. Returns where
// it ends in `from`.
const char* CopyToken(const char* from, const char* end, char*& to) {
  // One index for both sides: fewer pointers to step per byte.
  const auto held = static_cast<std::size_t>(end - from);
  std::size_t size = 0;
  while (size < held && ClassOf(from[size]) == kWordChar) {
    to[size] = from[size];
    ++size;
  }
  to += size;
  return from + size;
}

}  // namespace

void BracketedTreeReader::Clear() {
  nodes_.clear();
  cs_.Assign("C-Structure:");
  sl_.Assign("SL: ");
  innermost_ = -1;
  openCount_ = 0;
  problem_.clear();
  started_ = false;
  treeBytes_ = 0;
  simple_ = true;
  words_ = 0;
  deepest_ = 0;
}

bool BracketedTreeReader::Scan(std::string_view line) {
  const char* p = line.data() + at_;
  const char* const end = line.data() + line.size();
  char* out =
      cs_.Room(kOutPerByte * static_cast<std::size_t>(end - p) + kOutSlack);
  char* const base = out - cs_.Size();
  const auto offset = [base](const char* at) {
    return static_cast<std::uint32_t>(at - base);
  };
  while (p < end) {
    const CharClass kind = ClassOf(*p);
    if (kind == kSpaceChar) {
      ++p;
    } else if (kind == kOpenChar) {
      if (!started_) {
        started_ = true;
        treeBytes_ = static_cast<std::size_t>(end - p);
        if (carried_) Fail(carried_);
        carried_ = nullptr;
      }
      ++p;
      const std::int32_t parent = innermost_;
      if (parent >= 0) {
        Node& up = nodes_[static_cast<std::size_t>(parent)];
        // A bracket opened under a word: the word stands outside a leaf.
        if (up.WordSize) Fail(kWordOutside);
        ++up.Children;
        *out++ = ' ';
      }
      const std::uint32_t outBegin = offset(out);
      *out++ = '(';
      while (p < end && IsSpace(*p)) ++p;
      const char* label = p;
      p = CopyToken(p, end, out);
      auto size = static_cast<std::uint32_t>(p - label);
      if (bareLabels_) {
        const auto bare = static_cast<std::uint32_t>(
            BareLabel(std::string_view(label, size)).size());
        out -= size - bare;
        size = bare;
      }
      if (size == 0 && !nodes_.empty()) simple_ = false;
      innermost_ = static_cast<std::int32_t>(nodes_.size());
      // Filled where it lies: a node built aside and copied in whole
      // stalls on reading back the parts just written.
      Node& added = nodes_.emplace_back();
      added.Label = outBegin + 1;
      added.LabelSize = size;
      added.Parent = parent;
      added.OutBegin = outBegin;
      deepest_ = std::max(deepest_, ++openCount_);
    } else if (kind == kCloseChar) {
      ++p;
      if (innermost_ < 0) {
        // Before a tree's "(": it belongs to the tree to come.
        carried_ = kUnbalanced;
        continue;
      }
      Node& node = nodes_[static_cast<std::size_t>(innermost_)];
      if (!node.WordSize && !node.Children) simple_ = false;
      *out++ = ')';
      node.OutEnd = offset(out);
      innermost_ = node.Parent;
      --openCount_;
      if (innermost_ < 0) {
        // Extra ")" right after a tree are that tree's.
        while (p < end && (IsSpace(*p) || *p == ')')) {
          if (*p++ == ')') Fail(kUnbalanced);
        }
        at_ = static_cast<std::size_t>(p - line.data());
        cs_.End(out);
        return true;
      }
    } else {
      if (innermost_ < 0) {
        carried_ = kWordOutside;
        p = TokenEnd(p, end);
        continue;
      }
      const auto owner = static_cast<std::size_t>(innermost_);
      Node& node = nodes_[owner];
      // A second word, or a word beside brackets.
      if (node.WordSize || nodes_.size() - 1 > owner) {
        Fail(kWordOutside);
        p = TokenEnd(p, end);
        continue;
      }
      const std::string_view label(base + node.Label, node.LabelSize);
      if (label == kEmptyElement) simple_ = false;
      // The word goes to the C-structure and the SL line in the same pass,
      // the SL line's after a blank, with "/" and its tag.
      char* put =
          sl_.Room(static_cast<std::size_t>(end - p) + label.size() + 2);
      if (words_ > 0) *put++ = ' ';
      *out++ = ' ';
      node.Word = offset(out);
      const auto held = static_cast<std::size_t>(end - p);
      std::size_t size = 0;
      while (size < held && ClassOf(p[size]) == kWordChar) {
        out[size] = put[size] = p[size];
        ++size;
      }
      p += size;
      out += size;
      put += size;
      node.WordSize = static_cast<std::uint32_t>(size);
      *out++ = '-';
      out = PutDecimal(out, ++words_);
      *put++ = '/';
      // The x-side constraints compare lower-case tags.
      for (const char t : label)
        *put++ = kClasses.Lower[static_cast<unsigned char>(t)];
      sl_.End(put);
    }
  }
  at_ = line.size();
  cs_.End(out);
  return false;
}

bool BracketedTreeReader::Next(LineReader& lines) {
  Clear();
  if (tooLong_) return false;
  for (;;) {
    if (!lineHeld_) {
      if (!lines.Next(line_)) {
        if (lines.Overlong()) return false;
        if (started_) {
          Fail(kUnbalanced);
          return true;
        }
        // Words or brackets after the last tree make a sentence of their
        // own, which does not read.
        if (!carried_) return false;
        Fail(carried_);
        carried_ = nullptr;
        return true;
      }
      at_ = 0;
      lineHeld_ = true;
    }
    // A tree that goes on from the lines before may take only what is left
    // of its bytes from this one: the line break before it and what
    // follows.
    std::string_view line = line_;
    const bool goesOn = started_;
    if (goesOn) {
      const std::size_t left =
          kLongestTree > treeBytes_ ? kLongestTree - treeBytes_ - 1 : 0;
      line = line.substr(0, left);
    }
    if (Scan(line)) return true;
    if (line.size() < line_.size()) {
      Fail(kTooLongLines);
      tooLong_ = true;
      lines.ReadGzipToEnd();
      lineHeld_ = false;
      return true;
    }
    if (goesOn) treeBytes_ += 1 + line_.size();
    lineHeld_ = false;
  }
}

void BracketedTreeReader::ReadText(std::string_view text) {
  Clear();
  carried_ = nullptr;
  at_ = 0;
  lineHeld_ = false;
  tooLong_ = false;
  if (text.size() > kLongestText) {
    Fail(kTooLong);
    return;
  }
  const bool complete = Scan(text);
  if (!complete && started_) Fail(kUnbalanced);
  // What follows the tree is no part of it.
  if (complete && at_ < text.size()) Fail(kWordOutside);
  if (!started_) Fail(carried_ ? carried_ : kNoWords);
  carried_ = nullptr;
}

Status BracketedTreeReader::Rebuild(std::size_t number, std::size_t& root,
                                    std::string_view& cStructure,
                                    std::string_view& sl, int& depth) {
  const auto malformed = [number](std::string reason) {
    return Status::SentenceFailure(StatusCode::kMalformedSentence,
                                   std::move(reason), number);
  };
  const std::size_t count = nodes_.size();
  // Bottom up, children after their parent in text order: a node lives
  // when it is a word other than an empty element or has a living child;
  // depth_ is 0 for the others.
  depth_.assign(count, 1);
  liveChildren_.assign(count, 0);
  for (std::size_t i = count; i-- > 0;) {
    const Node& node = nodes_[i];
    const bool lives = node.WordSize
                           ? Text(node.Label, node.LabelSize) != kEmptyElement
                           : liveChildren_[i] > 0;
    if (!lives) {
      depth_[i] = 0;
      continue;
    }
    if (node.Parent >= 0) {
      const auto parent = static_cast<std::size_t>(node.Parent);
      ++liveChildren_[parent];
      depth_[parent] = std::max(depth_[parent], depth_[i] + 1);
    }
  }
  if (count == 0 || depth_[0] == 0) return malformed(kNoWords);
  root = 0;
  while (!nodes_[root].WordSize && liveChildren_[root] == 1 &&
         IsWrapperLabel(Text(nodes_[root].Label, nodes_[root].LabelSize))) {
    std::size_t child = root + 1;
    while (static_cast<std::size_t>(nodes_[child].Parent) != root ||
           depth_[child] == 0) {
      ++child;
    }
    root = child;
  }

  slowCs_.assign("C-Structure:");
  slowSl_.assign("SL: ");
  open_.clear();
  std::size_t words = 0;
  for (std::size_t i = root; i < count; ++i) {
    if (depth_[i] == 0) continue;
    const Node& node = nodes_[i];
    const std::string_view label = Text(node.Label, node.LabelSize);
    if (label.empty()) {
      open_.clear();
      return malformed(kNoLabel);
    }
    if (i != root) {
      while (open_.back() != node.Parent) {
        open_.pop_back();
        slowCs_ += ')';
      }
      slowCs_ += ' ';
    }
    slowCs_.append("(").append(label);
    if (!node.WordSize) {
      open_.push_back(static_cast<std::int32_t>(i));
      continue;
    }
    const std::string_view word = Text(node.Word, node.WordSize);
    slowCs_.append(" ").append(word).append("-");
    slowCs_.append(Decimal(++words)).append(")");
    if (words > 1) slowSl_ += ' ';
    slowSl_.append(word).append("/");
    for (const char c : label) {
      slowSl_ += kClasses.Lower[static_cast<unsigned char>(c)];
    }
  }
  slowCs_.append(open_.size(), ')');
  open_.clear();
  cStructure = slowCs_;
  sl = slowSl_;
  depth = static_cast<int>(depth_[root]);
  return Status();
}
