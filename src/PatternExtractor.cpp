#include "PatternExtractor.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <iostream>
#include <string_view>
#include <utility>
#include <vector>

#include "ConstraintEnding.h"
#include "NumberText.h"
#include "ParseParser.h"
#include "TrainingSentencePair.h"
#include "TreeWalk.h"

namespace {

constexpr std::size_t kNoLeaf = static_cast<std::size_t>(-1);

// The value of a "Label: value" line: after the first ":" and one blank.
std::string_view FieldValue(const ExampleFieldMap& example,
                            const std::string& key) {
  const auto found = example.find(key);
  if (found == example.end()) return {};
  std::string_view value = found->second;
  const std::size_t colon = value.find(':');
  if (colon == std::string_view::npos) return value;
  value.remove_prefix(colon + 1);
  if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  return value;
}

// Appends to a string through a raw cursor: a pattern is many short pieces,
// and each then costs one copy and one comparison. The string has its final
// length again when the appender goes away.
class Appender {
 public:
  explicit Appender(std::string& out)
      : out_(out), start_(out.size()), used_(out.size()) {}
  ~Appender() { out_.resize(used_); }
  Appender(const Appender&) = delete;
  Appender& operator=(const Appender&) = delete;

  Appender& Put(std::string_view text) {
    std::memcpy(Room(text.size()), text.data(), text.size());
    used_ += text.size();
    return *this;
  }
  void Put(char c) {
    *Room(1) = c;
    ++used_;
  }
  void PutInt(int value) {
    char* at = Room(kIntDigits);
    used_ = static_cast<std::size_t>(
        std::to_chars(at, at + kIntDigits, value).ptr - out_.data());
  }
  // Where the next byte goes in the string.
  std::size_t Size() const { return used_; }
  // Writes from where this appender started again, over what it wrote: the
  // string keeps the room it grew to.
  void Rewind() { used_ = start_; }
  // The string's bytes so far; valid until the next Put.
  std::string_view Written() const { return {out_.data(), used_}; }

 private:
  static constexpr std::size_t kIntDigits = 11;  // "-2147483648"

  char* Room(std::size_t size) {
    // Growing by what this appender wrote so far keeps the zero-filling of
    // resize in proportion to the text written.
    if (out_.size() - used_ < size) {
      out_.resize(used_ + size + std::max<std::size_t>(used_ - start_, 4096));
    }
    return out_.data() + used_;
  }

  std::string& out_;
  std::size_t start_;
  std::size_t used_;
};

// Sends std::cout nowhere while alive: SetSLSent lists every tag there, and
// a caller's standard output holds patterns.
class MutedStdout {
 public:
  MutedStdout()
      : buffer_(std::cout.rdbuf()),
        state_(std::cout.rdstate()),
        exceptions_(std::cout.exceptions()) {
    std::cout.exceptions(std::ios::goodbit);
    std::cout.rdbuf(nullptr);
  }
  ~MutedStdout() {
    std::cout.rdbuf(buffer_);
    std::cout.clear(state_);
    std::cout.exceptions(exceptions_);
  }
  MutedStdout(const MutedStdout&) = delete;
  MutedStdout& operator=(const MutedStdout&) = delete;

 private:
  std::streambuf* buffer_;
  std::ios::iostate state_;
  std::ios::iostate exceptions_;
};

}  // namespace

// Every pattern is written straight from tables filled once per record, so
// a pattern costs time in its own length and no subtree is copied for it
// but into the output. The text is byte for byte what building a Pattern
// per node and asking ReturnPatternAsString gives; the tests hold the two
// side by side.
struct PatternExtractor::State {
  // A node with children: where its text and leaves run, and its depth.
  struct Constituent {
    CTree::TreeNode* Node;
    std::size_t TextBegin, TextEnd;  // its C-structure in TreeText
    std::size_t FirstLeaf, EndLeaf;
    int Depth;
  };
  // A childless node: what every pattern that covers it writes of it.
  struct Leaf {
    std::size_t WordBegin, WordEnd;  // in SLText
    std::size_t NumberAt;            // in TreeText, where its number goes
    int Position;                    // in the sentence; -1 without leaf text
    const char* Constraint;  // ending of its x-side constraint, or nullptr
    std::size_t FirstLink, EndLink;  // its TL positions in Links
  };

  // Where the last pattern written put each field's value, as offsets into
  // the string it went to: a pair per field, in ExtractedPattern's order.
  enum Mark : std::size_t {
    kStart,
    kSL,
    kTL = kSL + 2,
    kAlignment = kTL + 2,
    kType = kAlignment + 2,
    kScore = kType + 2,
    kCStructure = kScore + 2,
    kConstSeq = kCStructure + 2,
    kConstraints = kConstSeq + 2,
    kEnd = kConstraints + 1,
    kMarks
  };

  void Collect(const TrainingSentencePair& pair, const AlMap& alMap);
  void GatherTL(const Constituent& constituent);
  bool Consistent(const Constituent& constituent) const;
  // Whether `constituent` gives a pattern under the extractor's bounds;
  // gathers its TL positions (TLs) when it may.
  bool Keeps(const Constituent& constituent, bool consistentOnly,
             std::size_t maxWords);
  void Write(const Constituent& constituent, Appender& out);
  // The last pattern written, whose text is `text`.
  ExtractedPattern Written(std::string_view text,
                           const Constituent& constituent) const;

  ParseParser Parser;
  std::vector<std::string> TLWords;
  // The whole tree's C-structure as patterns write it, leaf numbers left
  // out, and the SL words joined by blanks as patterns print them: a
  // subtree's text is one stretch of each, so a pattern copies whole runs.
  std::string TreeText;
  std::string SLText;
  std::vector<Constituent> Constituents;
  std::vector<Leaf> Leaves;
  std::vector<int> Links;
  // By SL position: the leaf that stands there, kNoLeaf when none does.
  std::vector<std::size_t> LeafAt;
  // By TL position: the first and last leaf linked to it (kNoLeaf when none
  // is), and whether a position that is no leaf's links to it.
  std::vector<std::size_t> FirstLeafFrom, LastLeafFrom;
  std::vector<char> StrayFrom;
  // By TL position: its pattern position in the pattern being written.
  std::vector<int> PatternTL;
  // The TL positions of the pattern being written, ascending, each once.
  std::vector<int> TLs;
  std::vector<std::size_t> Open;
  std::vector<int> Depths;
  std::size_t Marks[kMarks] = {};
  // One pattern's text at a time, for ForEachPattern.
  std::string PatternText;
};

void PatternExtractor::State::Collect(const TrainingSentencePair& pair,
                                      const AlMap& alMap) {
  TreeText.clear();
  SLText.clear();
  Constituents.clear();
  Leaves.clear();
  Links.clear();
  Open.clear();
  Depths.clear();
  WalkInTextOrder(
      Parser.Root,
      [&](CTree::TreeNode* node) {
        Depths.push_back(0);
        if (node->Children.empty()) {
          TreeText.append(" (").append(node->Label).append(" ");
          TreeText.append(node->Word).append("-");
          Leaf leaf{0, 0, TreeText.size(), node->Index, nullptr, Links.size(),
                    0};
          // The leaf's ")" follows its number.
          TreeText.push_back(')');
          if (!Leaves.empty()) SLText.push_back(' ');
          leaf.WordBegin = SLText.size();
          // Handed to SetSLWords with "---" and its position, a word comes
          // back whole: the marker is the "---" before the final digits, so
          // dashes that end the word stay in it. A leaf without text has no
          // position and is handed over with the bare marker.
          SLText.append(node->Word);
          leaf.WordEnd = SLText.size();
          if (node->Index > 0) {
            leaf.Constraint = ConstraintEnding(pair.ReturnPOS(node->Index - 1));
            const auto [first, last] = alMap.equal_range(node->Index);
            for (auto link = first; link != last; ++link) {
              Links.push_back(link->second.second);
            }
          }
          leaf.EndLink = Links.size();
          Leaves.push_back(leaf);
          return;
        }
        Open.push_back(Constituents.size());
        Constituents.push_back({node, TreeText.size(), 0, Leaves.size(), 0, 0});
        TreeText.append(" (<").append(node->Label).append(">");
      },
      [&](CTree::TreeNode* node) {
        const int depth = Depths.back() + 1;
        Depths.pop_back();
        if (!Depths.empty()) Depths.back() = std::max(Depths.back(), depth);
        if (node->Children.empty()) return;
        TreeText.push_back(')');
        Constituent& constituent = Constituents[Open.back()];
        Open.pop_back();
        constituent.TextEnd = TreeText.size();
        constituent.EndLeaf = Leaves.size();
        constituent.Depth = depth;
      });

  // A node with children may carry leaf text and take a sentence position
  // of its own; that position is no leaf's, and in no stretch.
  const std::size_t slCount =
      alMap.empty() ? 0 : static_cast<std::size_t>(alMap.rbegin()->first);
  LeafAt.assign(slCount + 1, kNoLeaf);
  for (std::size_t i = 0; i < Leaves.size(); ++i) {
    const int position = Leaves[i].Position;
    if (position > 0 && static_cast<std::size_t>(position) <= slCount) {
      LeafAt[static_cast<std::size_t>(position)] = i;
    }
  }
  const std::size_t tlCount = TLWords.size() + 1;
  FirstLeafFrom.assign(tlCount, kNoLeaf);
  LastLeafFrom.assign(tlCount, 0);
  StrayFrom.assign(tlCount, 0);
  PatternTL.assign(tlCount, 0);
  for (const auto& [sl, word] : alMap) {
    const auto tl = static_cast<std::size_t>(word.second);
    const std::size_t leaf = LeafAt[static_cast<std::size_t>(sl)];
    if (leaf == kNoLeaf) {
      StrayFrom[tl] = 1;
      continue;
    }
    FirstLeafFrom[tl] = std::min(FirstLeafFrom[tl], leaf);
    LastLeafFrom[tl] = std::max(LastLeafFrom[tl], leaf);
  }
}

void PatternExtractor::State::GatherTL(const Constituent& constituent) {
  TLs.assign(Links.begin() + static_cast<std::ptrdiff_t>(
                                 Leaves[constituent.FirstLeaf].FirstLink),
             Links.begin() + static_cast<std::ptrdiff_t>(
                                 Leaves[constituent.EndLeaf - 1].EndLink));
  std::sort(TLs.begin(), TLs.end());
  TLs.erase(std::unique(TLs.begin(), TLs.end()), TLs.end());
}

// The phrase-extraction rule: the TL span of the stretch takes no link from
// an SL word outside it. The leaves under a node are a run of the leaf list,
// so "outside" is outside one range of leaves.
bool PatternExtractor::State::Consistent(const Constituent& constituent) const {
  if (TLs.empty()) return false;
  for (int tl = TLs.front(); tl <= TLs.back(); ++tl) {
    const auto at = static_cast<std::size_t>(tl);
    if (StrayFrom[at]) return false;
    if (FirstLeafFrom[at] != kNoLeaf &&
        (FirstLeafFrom[at] < constituent.FirstLeaf ||
         LastLeafFrom[at] >= constituent.EndLeaf)) {
      return false;
    }
  }
  return true;
}

bool PatternExtractor::State::Keeps(const Constituent& constituent,
                                    bool consistentOnly, std::size_t maxWords) {
  // An unlabelled node is no constituent; the word bound is checked first,
  // as it is the cheaper.
  if (constituent.Node->Label.empty()) return false;
  if (maxWords != 0 && constituent.EndLeaf - constituent.FirstLeaf > maxWords) {
    return false;
  }
  GatherTL(constituent);
  return !consistentOnly || Consistent(constituent);
}

void PatternExtractor::State::Write(const Constituent& constituent,
                                    Appender& out) {
  const std::size_t firstLeaf = constituent.FirstLeaf;
  const std::size_t endLeaf = constituent.EndLeaf;

  Marks[kStart] = out.Size();
  out.Put("SentenceIndex:\nSL: ");
  Marks[kSL] = out.Size();
  out.Put(std::string_view(SLText).substr(
      Leaves[firstLeaf].WordBegin,
      Leaves[endLeaf - 1].WordEnd - Leaves[firstLeaf].WordBegin));
  Marks[kSL + 1] = out.Size();

  out.Put("\nTL: ");
  Marks[kTL] = out.Size();
  for (std::size_t k = 0; k < TLs.size(); ++k) {
    if (k > 0) out.Put(' ');
    out.Put(TLWords[static_cast<std::size_t>(TLs[k] - 1)]);
    PatternTL[static_cast<std::size_t>(TLs[k])] = ClampToIntRange(k + 1);
  }

  Marks[kTL + 1] = out.Size();
  out.Put("\nAlignment: ");
  Marks[kAlignment] = out.Size();
  out.Put('(');
  bool firstLink = true;
  for (std::size_t i = firstLeaf; i < endLeaf; ++i) {
    for (std::size_t l = Leaves[i].FirstLink; l < Leaves[i].EndLink; ++l) {
      out.Put(firstLink ? "(" : ",(");
      firstLink = false;
      out.PutInt(ClampToIntRange(i - firstLeaf + 1));
      out.Put(',');
      out.PutInt(PatternTL[static_cast<std::size_t>(Links[l])]);
      out.Put(')');
    }
  }

  out.Put(')');
  Marks[kAlignment + 1] = out.Size();
  out.Put("\nType: ");
  Marks[kType] = out.Size();
  out.Put(constituent.Node->Label);
  Marks[kType + 1] = out.Size();
  out.Put("\nCoEmbeddingScore: ");
  Marks[kScore] = out.Size();
  out.PutInt(constituent.Depth);
  Marks[kScore + 1] = out.Size();

  out.Put("\nC-Structure:");
  Marks[kCStructure] = out.Size();
  // The subtree's text begins with the blank that sets it off inside its
  // parent.
  const std::string_view tree(TreeText);
  std::size_t from = constituent.TextBegin + 1;
  int counter = 1;
  for (std::size_t i = firstLeaf; i < endLeaf; ++i) {
    out.Put(tree.substr(from, Leaves[i].NumberAt - from));
    out.PutInt(counter++);
    from = Leaves[i].NumberAt;
  }
  out.Put(tree.substr(from, constituent.TextEnd - from));
  Marks[kCStructure + 1] = out.Size();

  out.Put("\nConstSeq: ");
  Marks[kConstSeq] = out.Size();
  bool firstChild = true;
  for (const CTree::TreeNode* child : constituent.Node->Children) {
    if (!firstChild) out.Put(' ');
    firstChild = false;
    out.Put(child->Label);
  }

  Marks[kConstSeq + 1] = out.Size();
  out.Put("\nXSideConstraints:\n");
  Marks[kConstraints] = out.Size();
  // The constraints sort as texts, "(X10 " before "(X2 ", so the pattern
  // positions are visited in the order of their decimal texts.
  const auto count = static_cast<long long>(endLeaf - firstLeaf);
  long long position = 1;
  for (long long visited = 0; visited < count; ++visited) {
    const Leaf& leaf =
        Leaves[firstLeaf + static_cast<std::size_t>(position) - 1];
    if (leaf.Constraint) {
      out.Put("(X");
      out.PutInt(static_cast<int>(position));
      out.Put(' ');
      out.Put(leaf.Constraint);
      out.Put('\n');
    }
    if (position * 10 <= count) {
      position *= 10;
    } else {
      while (position % 10 == 9 || position + 1 > count) position /= 10;
      ++position;
    }
  }
  Marks[kEnd] = out.Size();
}

ExtractedPattern PatternExtractor::State::Written(
    std::string_view text, const Constituent& constituent) const {
  const auto field = [&](std::size_t mark) {
    return text.substr(Marks[mark], Marks[mark + 1] - Marks[mark]);
  };
  ExtractedPattern pattern;
  pattern.Text = text.substr(Marks[kStart], Marks[kEnd] - Marks[kStart]);
  pattern.SLWords = field(kSL);
  pattern.TLWords = field(kTL);
  pattern.Alignment = field(kAlignment);
  pattern.Type = field(kType);
  pattern.Score = field(kScore);
  pattern.CStructure = field(kCStructure);
  pattern.ConstSeq = field(kConstSeq);
  pattern.XSideConstraints = field(kConstraints);
  pattern.SLWordCount = constituent.EndLeaf - constituent.FirstLeaf;
  return pattern;
}

PatternExtractor::PatternExtractor(bool consistentOnly, std::size_t maxWords)
    : consistentOnly_(consistentOnly),
      maxWords_(maxWords),
      state_(std::make_unique<State>()) {}
PatternExtractor::~PatternExtractor() = default;
PatternExtractor::PatternExtractor(PatternExtractor&& other) noexcept = default;
PatternExtractor& PatternExtractor::operator=(
    PatternExtractor&& other) noexcept = default;

bool PatternExtractor::Prepare(const ExampleFieldMap& example,
                               std::string& skipReason) {
  if (!state_) state_ = std::make_unique<State>();
  State& state = *state_;

  // The tree starts at the line's first "(", so a label that holds a ":"
  // cannot move it, nor a ":" inside the tree cut it.
  const auto line = example.find("C-Structure");
  const std::string_view cStructure =
      line == example.end() ? std::string_view() : line->second;
  const std::size_t tree = cStructure.find('(');
  std::string failedText;
  if (tree == std::string_view::npos ||
      !state.Parser.TryParseIntoTree(cStructure.substr(tree), &failedText)) {
    if (tree == std::string_view::npos) failedText.assign(cStructure);
    skipReason = "malformed C-structure: " + failedText + "\n";
    return false;
  }

  TrainingSentencePair pair;
  {
    const MutedStdout muted;
    pair.SetSLSent(std::string(FieldValue(example, "SL")));
  }
  pair.SetTLSent(std::string(FieldValue(example, "TL")));
  pair.SetAlignment(std::string(FieldValue(example, "Alignment")));
  pair.SetParseTree(&state.Parser);
  AlMap alMap;
  int badTL = 0;
  if (!pair.TryGetAlMap(alMap, &badTL)) {
    skipReason =
        "TL Index " + std::to_string(badTL) + " exceeds TL sentence length.\n";
    return false;
  }

  state.TLWords = pair.GetTLWords();
  state.Collect(pair, alMap);
  return true;
}

bool PatternExtractor::AppendPatterns(const ExampleFieldMap& example,
                                      std::string& out,
                                      std::string& skipReason) {
  if (!Prepare(example, skipReason)) return false;
  State& state = *state_;
  Appender appender(out);
  for (const State::Constituent& constituent : state.Constituents) {
    if (!state.Keeps(constituent, consistentOnly_, maxWords_)) continue;
    state.Write(constituent, appender);
  }
  return true;
}

bool PatternExtractor::ForEachPattern(
    const ExampleFieldMap& example,
    const std::function<bool(const ExtractedPattern&)>& take,
    std::string& skipReason) {
  skipReason.clear();
  if (!Prepare(example, skipReason)) return false;
  State& state = *state_;
  // One pattern at a time, over the last one: memory is one pattern's.
  state.PatternText.clear();
  Appender appender(state.PatternText);
  for (const State::Constituent& constituent : state.Constituents) {
    if (!state.Keeps(constituent, consistentOnly_, maxWords_)) continue;
    appender.Rewind();
    state.Write(constituent, appender);
    if (!take(state.Written(appender.Written(), constituent))) return false;
  }
  return true;
}
