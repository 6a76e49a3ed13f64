#include "ExampleMaker.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "LegacyLimits.h"
#include "NumberText.h"
#include "SplitText.h"

namespace {

constexpr char kUnbalanced[] = "unbalanced brackets";
constexpr char kWordOutside[] = "a word outside brackets";
constexpr char kNoLabel[] = "a bracket without a label";
constexpr char kNoWords[] = "no words left after removing empty elements";

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

// Where the token at `at` ends: at a blank, a bracket or the line's end.
std::size_t TokenEnd(std::string_view line, std::size_t at) {
  while (at < line.size() && !IsSpace(line[at]) && line[at] != '(' &&
         line[at] != ')') {
    ++at;
  }
  return at;
}

// An outer bracket that only wraps the tree: parsers write ROOT, treebanks
// an empty label, some TOP.
bool IsWrapperLabel(std::string_view label) {
  return label.empty() || label == "ROOT" || label == "TOP";
}

void AppendNumber(std::string& out, std::size_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, static_cast<std::size_t>(end - digits));
}

std::string Words(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " word" : " words");
}

}  // namespace

void BracketedTreeReader::Clear() {
  nodes_.clear();
  text_.clear();
  open_.clear();
  problem_.clear();
  started_ = false;
}

bool BracketedTreeReader::Scan(std::string_view line) {
  while (at_ < line.size()) {
    const char c = line[at_];
    if (IsSpace(c)) {
      ++at_;
    } else if (c == '(') {
      ++at_;
      if (!started_) {
        started_ = true;
        if (carried_) Fail(carried_);
        carried_ = nullptr;
      }
      const auto parent = open_.empty() ? -1 : open_.back();
      // A bracket opened under a word: the word stands outside a leaf.
      if (parent >= 0 && nodes_[static_cast<std::size_t>(parent)].WordSize) {
        Fail(kWordOutside);
      }
      while (at_ < line.size() && IsSpace(line[at_])) ++at_;
      const std::size_t end = TokenEnd(line, at_);
      Node node{static_cast<std::uint32_t>(text_.size()),
                static_cast<std::uint32_t>(end - at_), 0, 0, parent};
      text_.append(line.substr(at_, end - at_));
      at_ = end;
      open_.push_back(static_cast<std::int32_t>(nodes_.size()));
      nodes_.push_back(node);
    } else if (c == ')') {
      ++at_;
      if (open_.empty()) {
        // Before a tree's "(": it belongs to the tree to come.
        carried_ = kUnbalanced;
        continue;
      }
      open_.pop_back();
      if (open_.empty()) {
        // Extra ")" right after a tree are that tree's.
        while (at_ < line.size() && (IsSpace(line[at_]) || line[at_] == ')')) {
          if (line[at_++] == ')') Fail(kUnbalanced);
        }
        return true;
      }
    } else {
      const std::size_t end = TokenEnd(line, at_);
      if (open_.empty()) {
        carried_ = kWordOutside;
      } else {
        const auto owner = static_cast<std::size_t>(open_.back());
        Node& node = nodes_[owner];
        // A second word, or a word beside brackets.
        if (node.WordSize || nodes_.size() - 1 > owner) {
          Fail(kWordOutside);
        } else {
          node.Word = static_cast<std::uint32_t>(text_.size());
          node.WordSize = static_cast<std::uint32_t>(end - at_);
          text_.append(line.substr(at_, end - at_));
        }
      }
      at_ = end;
    }
  }
  return false;
}

bool BracketedTreeReader::Next(LineReader& lines) {
  Clear();
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
    if (Scan(line_)) return true;
    lineHeld_ = false;
  }
}

void BracketedTreeReader::ReadText(std::string_view text) {
  Clear();
  carried_ = nullptr;
  at_ = 0;
  lineHeld_ = false;
  const bool complete = Scan(text);
  if (!complete && started_) Fail(kUnbalanced);
  // What follows the tree is no part of it.
  if (complete && at_ < text.size()) Fail(kWordOutside);
  if (!started_) Fail(carried_ ? carried_ : kNoWords);
  carried_ = nullptr;
}

Status BracketedTreeReader::MakeRecord(std::string_view tl,
                                       std::string_view alignment,
                                       std::size_t number,
                                       ExampleRecordView& record, int& depth) {
  const auto malformed = [number](std::string reason) {
    return Status::SentenceFailure(StatusCode::kMalformedSentence,
                                   std::move(reason), number);
  };
  const auto badLink = [number](std::string reason) {
    return Status::SentenceFailure(StatusCode::kMalformedLink,
                                   std::move(reason), number);
  };
  if (!problem_.empty()) return malformed(problem_);
  const std::size_t count = nodes_.size();
  // Bottom up, children after their parent in text order: a node lives
  // when it is a word other than an empty element or has a living child;
  // depth_ is 0 for the others.
  depth_.assign(count, 1);
  liveChildren_.assign(count, 0);
  for (std::size_t i = count; i-- > 0;) {
    const Node& node = nodes_[i];
    const bool lives = node.WordSize
                           ? Text(node.Label, node.LabelSize) != "-NONE-"
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
  std::size_t root = 0;
  while (!nodes_[root].WordSize && liveChildren_[root] == 1 &&
         IsWrapperLabel(Text(nodes_[root].Label, nodes_[root].LabelSize))) {
    std::size_t child = root + 1;
    while (static_cast<std::size_t>(nodes_[child].Parent) != root ||
           depth_[child] == 0) {
      ++child;
    }
    root = child;
  }

  const std::string_view rootLabel =
      Text(nodes_[root].Label, nodes_[root].LabelSize);
  cStructure_.assign("C-Structure:");
  sl_.assign("SL: ");
  constSeq_.assign("ConstSeq: ");
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
        cStructure_ += ')';
      }
      cStructure_ += ' ';
      if (static_cast<std::size_t>(node.Parent) == root) {
        if (constSeq_.size() > 10) constSeq_ += ' ';
        constSeq_.append(label);
      }
    }
    cStructure_.append("(").append(label);
    if (!node.WordSize) {
      open_.push_back(static_cast<std::int32_t>(i));
      continue;
    }
    const std::string_view word = Text(node.Word, node.WordSize);
    cStructure_.append(" ").append(word).append("-");
    AppendNumber(cStructure_, ++words);
    cStructure_ += ')';
    if (words > 1) sl_ += ' ';
    sl_.append(word).append("/");
    // The x-side constraints compare lower-case tags.
    for (const char c : label) {
      sl_ += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
  }
  cStructure_.append(open_.size(), ')');
  open_.clear();
  if (nodes_[root].WordSize) constSeq_.append(rootLabel);
  type_.assign("Type: ").append(rootLabel);

  std::size_t tlWords = 0;
  ForEachSentenceToken(tl, [&tlWords](std::string_view) { ++tlWords; });
  links_.clear();
  for (std::size_t at = 0; at < alignment.size();) {
    if (IsSpace(alignment[at])) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < alignment.size() && !IsSpace(alignment[end])) ++end;
    const std::string_view link = alignment.substr(at, end - at);
    at = end;
    const std::size_t dash = link.find('-');
    int sl = 0;
    int tlAt = 0;
    if (dash == std::string_view::npos ||
        !ReadDigitsOnly(link.substr(0, dash), sl) ||
        !ReadDigitsOnly(link.substr(dash + 1), tlAt)) {
      return badLink("malformed link \"" + std::string(link) + "\"");
    }
    if (static_cast<std::size_t>(sl) >= words) {
      return badLink("link " + std::string(link) +
                     " is past the end of the SL sentence of " + Words(words));
    }
    if (static_cast<std::size_t>(tlAt) >= tlWords) {
      return badLink("link " + std::string(link) +
                     " is past the end of the TL sentence of " +
                     Words(tlWords));
    }
    links_.emplace_back(sl + 1, tlAt + 1);
  }
  std::sort(links_.begin(), links_.end());
  links_.erase(std::unique(links_.begin(), links_.end()), links_.end());
  alignmentLine_.assign("Alignment: (");
  for (const auto& [sl, tlAt] : links_) {
    if (alignmentLine_.size() > 12) alignmentLine_ += ',';
    alignmentLine_ += '(';
    AppendNumber(alignmentLine_, static_cast<std::size_t>(sl));
    alignmentLine_ += ',';
    AppendNumber(alignmentLine_, static_cast<std::size_t>(tlAt));
    alignmentLine_ += ')';
  }
  alignmentLine_ += ')';
  tlLine_.assign("TL: ").append(tl);

  record = {sl_,       tlLine_, alignmentLine_, type_, cStructure_,
            constSeq_, 6,       number,         0,     {}};
  // Every line must read back, by the readers' own limit.
  const std::pair<const char*, std::string_view> lines[] = {
      {"SL", sl_},
      {"TL", tlLine_},
      {"Alignment", alignmentLine_},
      {"Type", type_},
      {"C-Structure", cStructure_},
      {"ConstSeq", constSeq_}};
  for (const auto& [name, line] : lines) {
    if (line.size() > kLongestLine) {
      return malformed(std::string("its ") + name +
                       " line would be longer than 99,999 bytes");
    }
  }
  depth = static_cast<int>(depth_[root]);
  return Status();
}

ExampleMaker::ExampleMaker(std::istream& trees, std::istream& tl,
                           std::istream& alignment, std::string treesName,
                           std::string tlName, std::string alignmentName)
    : trees_(trees),
      tl_(tl),
      alignment_(alignment),
      treesName_(std::move(treesName)),
      tlName_(std::move(tlName)),
      alignmentName_(std::move(alignmentName)) {}

ExampleMaker::Step ExampleMaker::Stop(std::string message) {
  problem_ = Status::SentenceFailure(StatusCode::kMalformedSentence,
                                     std::move(message), 0);
  return Step::kStopped;
}

bool ExampleMaker::Overlong(const LineReader& lines, const std::string& name) {
  if (!lines.Overlong()) return false;
  Stop("Line " + std::to_string(lines.LineNumber()) + " of " + name +
       " is longer than 99,999 bytes.");
  return true;
}

ExampleMaker::Step ExampleMaker::Next(ExampleRecordView& record, int& depth) {
  const bool tree = reader_.Next(trees_);
  if (Overlong(trees_, treesName_)) return Step::kStopped;
  std::string_view tl;
  std::string_view alignment;
  const bool tlLine = tl_.Next(tl);
  if (Overlong(tl_, tlName_)) return Step::kStopped;
  const bool alignmentLine = alignment_.Next(alignment);
  if (Overlong(alignment_, alignmentName_)) return Step::kStopped;
  if (!tree && !tlLine && !alignmentLine) return Step::kEnd;
  ++number_;
  const std::string& shortName = !tree     ? treesName_
                                 : !tlLine ? tlName_
                                           : alignmentName_;
  if (!tree || !tlLine || !alignmentLine) {
    return Stop(shortName + " ends before sentence " + std::to_string(number_) +
                ".");
  }
  problem_ = reader_.MakeRecord(tl, alignment, number_, record, depth);
  return problem_ ? Step::kRecord : Step::kSkipped;
}
