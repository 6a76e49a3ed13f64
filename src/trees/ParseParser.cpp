#include "ParseParser.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

#include "records/ExitWithMessage.h"
#include "records/LegacyLimits.h"
#include "scan/PlainDepthScan.h"
#include "text/NumberText.h"
#include "text/SplitText.h"
#include "trees/CStructureEvents.h"
#include "trees/LeafCounter.h"
#include "trees/TreeWalk.h"

namespace {

constexpr std::size_t kNoMatch = kUnmatched;

// Measuring needs the reading rules but no nodes.
struct MeasureSink {
  CTree::TreeNode* NewChild(CTree::TreeNode* /*parent*/) { return nullptr; }
  void Label(CTree::TreeNode* /*node*/, std::string_view /*token*/) {}
  void LeafText(CTree::TreeNode* /*node*/, std::string_view /*text*/) {}
  void Close(CTree::TreeNode* /*node*/) {}
};

// Hands what the reading core meets on to a program's events, building
// nothing.
class EventSink {
 public:
  explicit EventSink(CStructureEvents& events) : events_(events) {}
  CTree::TreeNode* NewChild(CTree::TreeNode* /*parent*/) { return nullptr; }
  void Label(CTree::TreeNode* /*node*/, std::string_view token) {
    events_.Open(token);
  }
  void LeafText(CTree::TreeNode* /*node*/, std::string_view text) {
    events_.LeafText(text);
  }
  void Close(CTree::TreeNode* /*node*/) { events_.Close(); }

 private:
  CStructureEvents& events_;
};

// Builds nodes into the parser's store as the reading core meets them.
class BuildSink {
 public:
  // `filled` is the node the children go under, which may be one the store
  // has released.
  BuildSink(std::deque<CTree::TreeNode>& nodes, std::size_t& used, int& counter,
            const CTree::TreeNode* filled = nullptr)
      : nodes_(nodes), used_(used), counter_(counter), filled_(filled) {}

  // A node as TreeNode() makes it, reusing one the store holds past its
  // used part where it can: a parser that reads tree after tree then stops
  // allocating nodes, labels and child lists.
  CTree::TreeNode& Fresh() {
    // Handing out the node being filled would make it its own child, and
    // every walk over the tree would go round for ever.
    if (used_ < nodes_.size() && &nodes_[used_] == filled_) ++used_;
    if (used_ == nodes_.size()) {
      ++used_;
      return nodes_.emplace_back();
    }
    CTree::TreeNode& node = nodes_[used_++];
    node.Label.clear();
    node.RawWord.clear();
    node.Word.clear();
    node.Index = -1;
    node.PatternTag.clear();
    node.Parent = nullptr;
    node.Children.clear();
    node.IsHead = false;
    return node;
  }

  CTree::TreeNode* NewChild(CTree::TreeNode* parent) {
    CTree::TreeNode& child = Fresh();
    child.RawWord = kInteriorRawWord;
    child.Parent = parent;
    parent->Children.push_back(&child);
    return &child;
  }

  void Label(CTree::TreeNode* node, std::string_view token) {
    node->Label.assign(NodeLabel(token));
  }

  void LeafText(CTree::TreeNode* node, std::string_view text) {
    node->RawWord.assign(text);
    node->Word.assign(LeafWord(text, counter_));
    node->Index = counter_;
    counter_ = NextLeafPosition(counter_);
  }

  void Close(CTree::TreeNode* /*node*/) {}

 private:
  std::deque<CTree::TreeNode>& nodes_;
  std::size_t& used_;
  int& counter_;
  const CTree::TreeNode* filled_;
};

}  // namespace
CTree::TreeNode::TreeNode() = default;

namespace {

// Scratch space for texts up to this long is kept from one to the next.
constexpr std::size_t kUsualText = std::size_t{1} << 14;

// Frees `scratch` when it holds room for many more entries than a text of
// `textSize` bytes needs (no table takes more entries than the text has
// bytes).
template <class Scratch>
void FitTo(Scratch& scratch, std::size_t textSize) {
  if (scratch.capacity() > std::max(kUsualText, 4 * textSize)) {
    Scratch().swap(scratch);
  }
}

}  // namespace

void CStructureReader::FitScratch(std::size_t textSize) {
  FitTo(matches_, textSize);
  FitTo(openBrackets_, textSize);
  FitTo(frames_, textSize);
}

std::size_t CStructureReader::ScratchBytes() const {
  return matches_.capacity() * sizeof(std::size_t) +
         openBrackets_.capacity() * sizeof(std::size_t) +
         frames_.capacity() * sizeof(Frame);
}

// Each constituent is read as a window [begin, end) of the one text, so no
// step copies the rest of the text, and an explicit stack of frames stands in
// for the recursion, so depth costs heap, not machine stack. The brackets are
// matched once for the whole text: the ")" that closes a "(" within a window
// is the one the whole text pairs it with, when that lies inside the window.
template <class Sink>
CStructureReading CStructureReader::Read(std::string_view text, Sink& sink,
                                         CTree::TreeNode* root) {
  CStructureReading result;
  if (text.empty()) return result;  // nothing to drop the "(" from

  const char* base = text.data();
  const std::size_t size = text.size();
  FitScratch(size);
  MatchBrackets(text, matches_, openBrackets_);

  // The bytes looked for stand a few bytes on, behind a label or a word: a
  // plain loop finds them sooner than a call to memchr.
  const auto find = [base](std::size_t from, std::size_t to, char c) {
    for (; from < to; ++from) {
      if (base[from] == c) return from;
    }
    return kNoMatch;
  };

  // A constituent's first character is dropped unread; its label runs to the
  // first blank, which stays at the front of the rest.
  const auto open = [&](CTree::TreeNode* node, std::size_t from,
                        std::size_t to) {
    // Filled in place: a frame copied in whole from the stack stalls on
    // the stores that just made it.
    Frame& frame = frames_.emplace_back();
    frame.OrigBegin = from;
    frame.OrigEnd = to;
    frame.Node = node;
    frame.ChildDepth = 0;
    const std::size_t begin = from + 1;
    const std::size_t end = std::min(to, from + 1 + kConstituentTextKept);
    const std::size_t blank = find(begin, end, ' ');
    const std::size_t labelEnd = blank == kNoMatch ? end : blank;
    sink.Label(node, text.substr(begin, labelEnd - begin));
    frame.Begin = labelEnd;
    frame.End = std::min(end, labelEnd + kConstituentTextKept);
  };

  const auto fail = [&](const Frame& frame) {
    result.FailedText =
        text.substr(frame.OrigBegin, frame.OrigEnd - frame.OrigBegin);
    return result;
  };

  frames_.clear();
  open(root, 0, size);
  for (;;) {
    Frame& frame = frames_.back();
    const std::size_t child = find(frame.Begin, frame.End, '(');
    if (child != kNoMatch) {
      frame.End = std::min(frame.End, child + kConstituentTextKept);
      const std::size_t close = matches_[child];
      if (close == kNoMatch || close >= frame.End) return fail(frame);
      frame.Begin = close + 1;
      frame.End = std::min(frame.End, frame.Begin + kAfterChildKept);
      open(sink.NewChild(frame.Node), child, close + 1);
      continue;
    }

    std::size_t begin = frame.Begin;
    std::size_t end = frame.End;
    if (begin < end && base[begin] == ' ') {
      end = std::min(end, begin + 1 + kConstituentTextKept);
      while (begin < end && base[begin] == ' ') ++begin;
    }
    if (begin == end || base[end - 1] != ')') return fail(frame);
    --end;
    while (end > begin && base[end - 1] == ' ') --end;
    while (end > begin && base[end - 1] == ')') --end;
    if (begin < end) sink.LeafText(frame.Node, text.substr(begin, end - begin));
    sink.Close(frame.Node);

    const std::size_t depth = frame.ChildDepth + 1;
    frames_.pop_back();
    if (frames_.empty()) {
      result.Ok = true;
      result.Depth = ClampToIntRange(depth);
      return result;
    }
    frames_.back().ChildDepth = std::max(frames_.back().ChildDepth, depth);
  }
}

CStructureReading ReadCStructureEvents(CStructureReader& reader,
                                       std::string_view text,
                                       CStructureEvents& events) {
  EventSink sink(events);
  return reader.Read(text, sink, nullptr);
}

std::string_view NodeLabel(std::string_view token) {
  // Labels that a pattern wrote in angle brackets read without them.
  if (!token.empty() && token.front() == '<') {
    token = token.substr(1, kBracketedLabelKept);
    if (!token.empty()) token.remove_suffix(1);
  }
  return token;
}

std::string_view LeafWord(std::string_view text, int position) {
  // True when `digits` is a bare digit run whose value is the position.
  const auto isPosition = [position](std::string_view digits) {
    int value = 0;
    return ReadDigitsOnly(digits, value) && value == position;
  };
  // The suffix is only compared: a leaf's Index is always the counter.
  // A word made of dashes ("-" as "--2") leaves a single piece, so its
  // suffix is also recognised directly behind the last "-", provided
  // something stands before that "-" ("-4" has no word to cut it from).
  // That is the common case, and needs no splitting.
  const std::size_t dash = text.rfind('-');
  if (dash != std::string_view::npos && dash > 0 &&
      isPosition(text.substr(dash + 1))) {
    return text.substr(0, dash);
  }
  int pieces = 0;
  std::string_view last;
  SplitText(text, "-", false, 1, [&](std::string_view piece) {
    ++pieces;
    last = piece;
  });
  return pieces >= 2 && isPosition(last) ? text.substr(0, dash) : text;
}

CStructureReading CStructureReader::MeasureDepth(std::string_view text) {
  CStructureReading plain;
  std::size_t depth = 0;
  if (MeasurePlainDepth(text, depth)) {
    plain.Ok = true;
    plain.Depth = ClampToIntRange(depth);
    return plain;
  }
  MeasureSink sink;
  return Read(text, sink, nullptr);
}

std::string FormatErrorMessage(std::string_view failedText) {
  std::string message = "format error: no closing right paren found:";
  message.append(failedText);
  message.push_back('\n');
  return message;
}

ParseParser::ParseParser() = default;
ParseParser::~ParseParser() = default;

// A moved-from parser must not keep a Root into nodes it no longer owns.
ParseParser::ParseParser(ParseParser&& other) noexcept
    : Root(std::exchange(other.Root, nullptr)),
      WordTokenizer(other.WordTokenizer),
      nodes_(std::move(other.nodes_)),
      nodesUsed_(std::exchange(other.nodesUsed_, 0)),
      spare_(std::move(other.spare_)),
      reader_(std::move(other.reader_)) {}

ParseParser& ParseParser::operator=(ParseParser&& other) noexcept {
  if (this != &other) {
    Root = std::exchange(other.Root, nullptr);
    nodes_ = std::move(other.nodes_);
    nodesUsed_ = std::exchange(other.nodesUsed_, 0);
    spare_ = std::move(other.spare_);
    reader_ = std::move(other.reader_);
  }
  return *this;
}

Status CStructureReading::ToStatus() const {
  return Ok ? Status() : Status::MalformedCStructure(FailedText);
}

Status ParseParser::TryParseIntoTree(std::string_view text,
                                     std::string* failedText) {
  // The new tree is read into a store of its own and the old one released
  // afterwards: the text may be a string of the old tree. The two stores
  // then trade places, so the next tree reuses the nodes of this one's
  // predecessor.
  if (!spare_) spare_ = std::make_unique<std::deque<CTree::TreeNode>>();
  // A string of a tree released before the old one lies in that store, and
  // the nodes being filled would overwrite it while it is read; a store
  // that holds none (a parser's first two trees) needs no copy.
  if (!spare_->empty()) {
    FitTo(text_, text.size());
    text = text_.assign(text);
  }
  std::size_t used = 0;
  int counter = 1;
  BuildSink sink(*spare_, used, counter);
  CTree::TreeNode& root = sink.Fresh();
  root.RawWord = kInteriorRawWord;
  const CStructureReading reading = reader_.Read(text, sink, &root);
  if (!reading.Ok) {
    if (failedText) failedText->assign(reading.FailedText);
    Root = nullptr;
    nodesUsed_ = 0;
    return reading.ToStatus();
  }
  std::swap(nodes_, spare_);
  nodesUsed_ = used;
  Root = &root;
  return Status();
}

void ParseParser::ParseIntoTree(const std::string& text) {
  const Status status = TryParseIntoTree(text);
  if (!status) ExitWithMessage(FormatErrorMessage(status.Text));
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): see the declaration.
Status ParseParser::TryBuildTree(std::string text, CTree::TreeNode* node,
                                 int& counter, std::string* failedText) {
  if (!node) return Status();
  if (!nodes_) nodes_ = std::make_unique<std::deque<CTree::TreeNode>>();
  BuildSink sink(*nodes_, nodesUsed_, counter, node);
  const CStructureReading reading = reader_.Read(text, sink, node);
  if (!reading.Ok && failedText) failedText->assign(reading.FailedText);
  return reading.ToStatus();
}

void ParseParser::BuildTree(std::string text, CTree::TreeNode* node,
                            int& counter) {
  const Status status = TryBuildTree(std::move(text), node, counter);
  if (!status) ExitWithMessage(FormatErrorMessage(status.Text));
}

int ParseParser::FindMatchingRight(std::string text) {
  const std::size_t open = text.find('(');
  if (open == std::string::npos || open + 1 >= text.size()) return -1;
  std::size_t depth = 1;
  for (std::size_t i = open + 1; i < text.size(); ++i) {
    if (text[i] == '(') {
      ++depth;
    } else if (text[i] == ')' && --depth == 0) {
      return i > static_cast<std::size_t>(INT_MAX) ? -1 : static_cast<int>(i);
    }
  }
  return -1;
}

int GetCoEmbeddingScore(CTree::TreeNode* node) {
  std::size_t depth = 0;
  std::size_t deepest = 0;
  WalkInTextOrder(
      node,
      [&](CTree::TreeNode* /*current*/) {
        deepest = std::max(deepest, ++depth);
      },
      [&depth](CTree::TreeNode* /*current*/) { --depth; });
  return ClampToIntRange(deepest);
}
