#include "converter/ExampleMaker.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "records/LegacyLimits.h"
#include "scan/TreeLineBlocks.h"
#include "text/NumberText.h"

namespace {

constexpr char kUnbalanced[] = "unbalanced brackets";
constexpr char kWordOutside[] = "a word outside brackets";
constexpr char kNoLabel[] = "a bracket without a label";
constexpr char kNoWords[] = "no words left after removing empty elements";

// What a character of a tree text is: part of a label or word, a blank
// between them, or a bracket.
enum CharClass : unsigned char { kWordChar, kSpaceChar, kOpenChar, kCloseChar };

struct CharClasses {
  CharClass Of[256];
  char Lower[256];  // ASCII letters lower-cased, every other byte as it is
  constexpr CharClasses() : Of(), Lower() {
    for (int c = 0; c < 256; ++c) {
      Of[c] = kWordChar;
      Lower[c] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    for (const unsigned char c : {' ', '\t', '\r', '\f', '\v'}) {
      Of[c] = kSpaceChar;
    }
    Of[static_cast<unsigned char>('(')] = kOpenChar;
    Of[static_cast<unsigned char>(')')] = kCloseChar;
  }
};
constexpr CharClasses kClasses;

CharClass ClassOf(char c) { return kClasses.Of[static_cast<unsigned char>(c)]; }
bool IsSpace(char c) { return ClassOf(c) == kSpaceChar; }

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

// Reads the decimal digits from `at` on, leaving `at` after them: their
// number, or -1 for none or more than nine (which might not fit).
int LinkNumber(const char*& at, const char* end) {
  const char* const first = at;
  unsigned long long value = 0;
  for (; at < end; ++at) {
    // One comparison: bytes below '0' wrap round to large numbers.
    const unsigned digit = static_cast<unsigned char>(*at) - unsigned{'0'};
    if (digit > 9) break;
    value = value * 10 + digit;
  }
  return at == first || at - first > 9 ? -1 : static_cast<int>(value);
}

std::string Words(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " word" : " words");
}

}  // namespace

bool IsWrapperLabel(std::string_view label) {
  return label.empty() || label == "ROOT" || label == "TOP";
}

void BracketedTreeReader::TextBuffer::Grow(std::size_t least) {
  const std::size_t capacity = std::max<std::size_t>(least, 2 * capacity_);
  std::unique_ptr<char[]> data(new char[capacity]);
  if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
  data_ = std::move(data);
  capacity_ = capacity;
}

void BracketedTreeReader::Clear() {
  nodes_.clear();
  cs_.Assign("C-Structure:");
  cStructureFrom_ = 0;
  cStructureTo_ = std::string_view::npos;
  sl_.Assign("SL: ");
  innermost_ = -1;
  openCount_ = 0;
  problem_.clear();
  started_ = false;
  simple_ = true;
  words_ = 0;
  deepest_ = 0;
}

bool BracketedTreeReader::Scan(std::string_view line) {
  const char* p = line.data() + at_;
  const char* const end = line.data() + line.size();
  // Room for all the rest of the line can give: a word of n bytes after its
  // blank becomes a blank, the word, "-" and its number.
  char* out = cs_.Room(12 * static_cast<std::size_t>(end - p) + 64);
  char* const base = out - cs_.Size();
  const auto offset = [base](const char* at) {
    return static_cast<std::uint32_t>(at - base);
  };
  while (p < end) {
    const CharClass kind = ClassOf(*p);
    if (kind == kSpaceChar) {
      ++p;
    } else if (kind == kOpenChar) {
      ++p;
      if (!started_) {
        started_ = true;
        if (carried_) Fail(carried_);
        carried_ = nullptr;
      }
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
      const auto size = static_cast<std::uint32_t>(p - label);
      if (size == 0 && !nodes_.empty()) simple_ = false;
      innermost_ = static_cast<std::int32_t>(nodes_.size());
      nodes_.push_back({outBegin + 1, size, 0, 0, parent, 0, outBegin, 0});
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
      if (label == "-NONE-") simple_ = false;
      // The word goes to the C-structure and the SL line in the same pass.
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
      out = std::to_chars(out, out + 21, ++words_).ptr;
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
      // A new tree on a line of its own is mostly written plainly.
      if (!started_ && !carried_) {
        if (ScanPlainLine(lines.Padded(line_))) return true;
        Clear();
      }
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
    slowCs_.append(std::to_string(++words)).append(")");
    if (words > 1) slowSl_ += ' ';
    slowSl_.append(word).append("/");
    for (const char c : label) {
      slowSl_ += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
  }
  slowCs_.append(open_.size(), ')');
  open_.clear();
  cStructure = slowCs_;
  sl = slowSl_;
  depth = static_cast<int>(depth_[root]);
  return Status();
}

Status BracketedTreeReader::MakeRecord(std::string_view tl,
                                       std::string_view alignment,
                                       std::size_t number,
                                       ExampleRecordView& record, int& depth) {
  const auto badLink = [number](std::string reason) {
    return Status::SentenceFailure(StatusCode::kMalformedLink,
                                   std::move(reason), number);
  };
  if (!problem_.empty()) {
    return Status::SentenceFailure(StatusCode::kMalformedSentence, problem_,
                                   number);
  }
  std::size_t root = 0;
  std::string_view cStructure;
  std::string_view sl;
  std::size_t words = words_;
  if (simple_ && !nodes_.empty()) {
    // Every node is kept: the tree as read is the record's, once the
    // wrappers (each over one child, which comes right after it) are off.
    while (!nodes_[root].WordSize && nodes_[root].Children == 1 &&
           IsWrapperLabel(Text(nodes_[root].Label, nodes_[root].LabelSize))) {
      ++root;
    }
    cStructure =
        cs_.View().substr(cStructureFrom_, cStructureTo_ - cStructureFrom_);
    if (root > 0) {
      cStructure_.Assign("C-Structure:");
      cStructure_.Append(cStructure.substr(
          nodes_[root].OutBegin, nodes_[root].OutEnd - nodes_[root].OutBegin));
      cStructure = cStructure_.View();
    }
    sl = sl_.View();
    depth = static_cast<int>(deepest_ - root);
    if (nodes_[root].LabelSize == 0) {
      return Status::SentenceFailure(StatusCode::kMalformedSentence, kNoLabel,
                                     number);
    }
  } else {
    const Status rebuilt = Rebuild(number, root, cStructure, sl, depth);
    if (!rebuilt) return rebuilt;
    words = 0;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      words += nodes_[i].WordSize && depth_[i] != 0;
    }
  }

  const Node& top = nodes_[root];
  const std::string_view rootLabel = Text(top.Label, top.LabelSize);
  type_.Assign("Type: ");
  type_.Append(rootLabel);
  constSeq_.Assign("ConstSeq: ");
  if (top.WordSize) constSeq_.Append(rootLabel);
  for (std::size_t i = root + 1; i < nodes_.size(); ++i) {
    const Node& node = nodes_[i];
    if (static_cast<std::size_t>(node.Parent) != root ||
        (!simple_ && depth_[i] == 0)) {
      continue;
    }
    if (constSeq_.Size() > 10) constSeq_.Append(' ');
    constSeq_.Append(Text(node.Label, node.LabelSize));
  }

  const std::size_t tlWords = CountBlankSeparated(tl);
  // One pass over each link: the numbers are read as the link is found and
  // written as read. At most one link for every two bytes ("0-0" and a
  // blank), each put where it goes. Whether they come in order, as
  // aligners mostly write them, is noted on the way: when they do not, the
  // line is written again from the links sorted.
  const std::size_t most = alignment.size() / 2 + 1;
  if (links_.size() < most) links_.resize(most);
  std::uint64_t* const taken = links_.data();
  std::size_t count = 0;
  std::uint64_t last = 0;
  bool ordered = true;  // each link after the one before: sorted, no repeat
  alignmentLine_.Assign({});
  // A link of n bytes, at least 3, takes at most n + 5 in "(,),": its
  // numbers one more, each maybe a digit longer.
  char* const first = alignmentLine_.Room(3 * alignment.size() + 16);
  char* out = std::copy_n("Alignment: (", 12, first);
  const auto put = [&out](std::uint64_t link) {
    *out++ = '(';
    out = PutDecimal(out, link >> 32);
    *out++ = ',';
    out = PutDecimal(out, link & 0xffffffffU);
    out[0] = ')';
    out[1] = ',';
    out += 2;
  };
  const char* at = alignment.data();
  const char* const end = at + alignment.size();
  while (at < end) {
    if (IsSpace(*at)) {
      ++at;
      continue;
    }
    const char* const start = at;
    int slAt = LinkNumber(at, end);
    int tlAt = -1;
    if (at < end && *at == '-') tlAt = LinkNumber(++at, end);
    if (at < end && !IsSpace(*at)) {
      slAt = -1;
      while (at < end && !IsSpace(*at)) ++at;
    }
    if ((slAt < 0) | (tlAt < 0) | (static_cast<std::size_t>(slAt) >= words) |
        (static_cast<std::size_t>(tlAt) >= tlWords)) {
      const std::string link(start, static_cast<std::size_t>(at - start));
      if (slAt < 0 || tlAt < 0) {
        return badLink("malformed link \"" + link + "\"");
      }
      if (static_cast<std::size_t>(slAt) >= words) {
        return badLink("link " + link +
                       " is past the end of the SL sentence of " +
                       Words(words));
      }
      Status beyond =
          badLink("link " + link + " is past the end of the TL sentence of " +
                  Words(tlWords));
      beyond.Position = tlAt + 1;
      return beyond;
    }
    // One number sorts by SL then TL position with a single comparison.
    const std::uint64_t link =
        std::uint64_t{static_cast<std::uint32_t>(slAt) + 1} << 32 |
        (static_cast<std::uint32_t>(tlAt) + 1);
    ordered &= last < link;
    last = link;
    taken[count++] = link;
    put(link);
  }
  if (!ordered) {
    std::sort(taken, taken + count);
    count = static_cast<std::size_t>(std::unique(taken, taken + count) - taken);
    out = first + 12;
    for (std::size_t i = 0; i < count; ++i) put(taken[i]);
  }
  // Each link ends in ","; the last one's becomes the closing ")".
  if (count == 0) ++out;
  out[-1] = ')';
  alignmentLine_.End(out);
  tlLine_.Assign("TL: ");
  tlLine_.Append(tl);

  record = {sl,
            tlLine_.View(),
            alignmentLine_.View(),
            type_.View(),
            cStructure,
            constSeq_.View(),
            6,
            number,
            0,
            {}};
  // Every line must read back, by the readers' own limit.
  const std::pair<const char*, std::string_view> lines[] = {
      {"SL", record.SL},
      {"TL", record.TL},
      {"Alignment", record.Alignment},
      {"Type", record.Type},
      {"C-Structure", record.CStructure},
      {"ConstSeq", record.ConstSeq}};
  for (const auto& [name, line] : lines) {
    if (line.size() > kLongestLine) {
      return Status::SentenceFailure(
          StatusCode::kMalformedSentence,
          std::string("its ") + name +
              " line would be longer than 99,999 bytes",
          number);
    }
  }
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
