#include "ParseParser.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "ExitWithMessage.h"
#include "LeafCounter.h"
#include "LegacyLimits.h"
#include "NumberText.h"
#include "SplitText.h"
#include "TreeWalk.h"

namespace {

constexpr std::size_t kNoMatch = static_cast<std::size_t>(-1);

// Measuring needs the reading rules but no nodes.
struct MeasureSink {
  CTree::TreeNode* NewChild(CTree::TreeNode* /*parent*/) { return nullptr; }
  void Label(CTree::TreeNode* /*node*/, std::string_view /*token*/) {}
  void LeafText(CTree::TreeNode* /*node*/, std::string_view /*text*/) {}
};

// Builds nodes into the parser's store as the reading core meets them.
class BuildSink {
 public:
  BuildSink(std::deque<CTree::TreeNode>& nodes, int& counter)
      : nodes_(nodes), counter_(counter) {}

  CTree::TreeNode* NewChild(CTree::TreeNode* parent) {
    CTree::TreeNode& child = nodes_.emplace_back();
    child.RawWord = kInteriorRawWord;
    child.Parent = parent;
    parent->Children.push_back(&child);
    return &child;
  }

  void Label(CTree::TreeNode* node, std::string_view token) {
    // Labels that a pattern wrote in angle brackets read without them.
    if (!token.empty() && token.front() == '<') {
      token = token.substr(1, kBracketedLabelKept);
      if (!token.empty()) token.remove_suffix(1);
    }
    node->Label.assign(token);
  }

  void LeafText(CTree::TreeNode* node, std::string_view text) {
    node->RawWord.assign(text);
    int pieces = 0;
    std::string_view last;
    SplitText(text, "-", false, 1, [&](std::string_view piece) {
      ++pieces;
      last = piece;
    });
    // The suffix is only compared: a leaf's Index is always the counter.
    // A word made of dashes ("-" as "--2") leaves a single piece, so its
    // suffix is also recognised directly behind the last "-", provided
    // something stands before that "-" ("-4" has no word to cut it from).
    const std::size_t dash = text.rfind('-');
    const bool suffixBehindLastDash = dash != std::string_view::npos &&
                                      dash > 0 &&
                                      SuffixIsCounter(text.substr(dash + 1));
    if (suffixBehindLastDash || (pieces >= 2 && SuffixIsCounter(last))) {
      node->Word.assign(text.substr(0, dash));
    } else {
      node->Word.assign(text);
    }
    node->Index = counter_;
    counter_ = NextLeafPosition(counter_);
  }

 private:
  // True when `digits` is a bare digit run whose value is the counter.
  bool SuffixIsCounter(std::string_view digits) const {
    int value = 0;
    return ReadDigitsOnly(digits, value) && value == counter_;
  }

  std::deque<CTree::TreeNode>& nodes_;
  int& counter_;
};

// The depth of a text in the plain shape that trees are written in: every
// bracket a label, a blank, then either child brackets separated by blanks or
// one word without brackets, and the root's ")" as the last character. For
// such a text the full reading rules give exactly the bracket nesting depth,
// so one pass over the bytes suffices. Anything else (text between or after
// children, a bracket without its blank, extra ")", over-long texts) returns
// false and goes the full way.
bool MeasurePlainDepth(std::string_view text, std::size_t& depth) {
  const char* p = text.data();
  const char* const end = p + text.size();
  if (text.size() < 2 || text.size() >= kConstituentTextKept) return false;
  // The root's first character is dropped unread and its label runs to the
  // first blank, brackets and all ("C-Structure:(S").
  const char* blank =
      static_cast<const char*>(std::memchr(p + 1, ' ', text.size() - 1));
  if (!blank ||
      std::memchr(p + 1, ')', static_cast<std::size_t>(blank - p - 1))) {
    return false;
  }
  p = blank;
  std::size_t level = 1;
  std::size_t deepest = 1;
  // At the top of the loop p stands where a node's content may begin or
  // where its next child may: blanks, then "(", ")" or (content only) a word.
  bool contentStart = true;
  for (;;) {
    while (p < end && *p == ' ') ++p;
    if (p == end) return false;
    if (*p == '(') {
      ++p;
      while (p < end && *p != ' ' && *p != '(' && *p != ')') ++p;
      if (p == end || *p != ' ') return false;
      deepest = std::max(deepest, ++level);
      contentStart = true;
      continue;
    }
    if (*p != ')') {
      if (!contentStart) return false;
      while (p < end && *p != '(' && *p != ')') ++p;
      if (p == end || *p == '(') return false;
    }
    ++p;  // the node's ")"
    if (--level == 0) break;
    contentStart = false;
  }
  if (p != end) return false;
  depth = deepest;
  return true;
}

}  // namespace

CTree::TreeNode::TreeNode() = default;

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
  matches_.resize(size);
  openBrackets_.clear();
  for (std::size_t i = 0; i < size; ++i) {
    if (base[i] == '(') {
      matches_[i] = kNoMatch;
      openBrackets_.push_back(i);
    } else if (base[i] == ')' && !openBrackets_.empty()) {
      matches_[openBrackets_.back()] = i;
      openBrackets_.pop_back();
    }
  }

  const auto find = [base](std::size_t from, std::size_t to, char c) {
    const void* hit = std::memchr(base + from, c, to - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - base)
               : kNoMatch;
  };

  // A constituent's first character is dropped unread; its label runs to the
  // first blank, which stays at the front of the rest.
  const auto open = [&](CTree::TreeNode* node, std::size_t from,
                        std::size_t to) {
    Frame frame{from,     to,
                from + 1, std::min(to, from + 1 + kConstituentTextKept),
                node,     0};
    const std::size_t blank = find(frame.Begin, frame.End, ' ');
    const std::size_t labelEnd = blank == kNoMatch ? frame.End : blank;
    sink.Label(node, text.substr(frame.Begin, labelEnd - frame.Begin));
    frame.Begin = labelEnd;
    frame.End = std::min(frame.End, labelEnd + kConstituentTextKept);
    frames_.push_back(frame);
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
      reader_(std::move(other.reader_)) {}

ParseParser& ParseParser::operator=(ParseParser&& other) noexcept {
  if (this != &other) {
    Root = std::exchange(other.Root, nullptr);
    nodes_ = std::move(other.nodes_);
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
  // afterwards: the text may be a string of the old tree.
  auto fresh = std::make_unique<std::deque<CTree::TreeNode>>();
  CTree::TreeNode& root = fresh->emplace_back();
  root.RawWord = kInteriorRawWord;
  int counter = 1;
  BuildSink sink(*fresh, counter);
  const CStructureReading reading = reader_.Read(text, sink, &root);
  if (!reading.Ok) {
    if (failedText) failedText->assign(reading.FailedText);
    Root = nullptr;
    nodes_.reset();
    return reading.ToStatus();
  }
  nodes_ = std::move(fresh);
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
  BuildSink sink(*nodes_, counter);
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
