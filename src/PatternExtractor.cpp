#include "PatternExtractor.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "AlignmentLinks.h"
#include "CStructureEvents.h"
#include "ConstraintEnding.h"
#include "DecimalOrder.h"
#include "LeafCounter.h"
#include "NumberText.h"
#include "SplitText.h"

namespace {

constexpr std::size_t kNoLeaf = static_cast<std::size_t>(-1);

// False when `text` holds neither a byte below 14 (tab, line feed, carriage
// return among them) nor a backslash; true when it may. Eight bytes at a
// time: it runs over every record.
bool MayHoldEscapable(std::string_view text) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  constexpr std::uint64_t kHighs = 0x8080808080808080;
  std::size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, sizeof word);
    const std::uint64_t backslashes = word ^ (kOnes * '\\');
    if ((((word - kOnes * 14) & ~word) |
         ((backslashes - kOnes) & ~backslashes)) &
        kHighs) {
      return true;
    }
  }
  for (; at < text.size(); ++at) {
    if (static_cast<unsigned char>(text[at]) < 14 || text[at] == '\\') {
      return true;
    }
  }
  return false;
}

// Appends to a string through a raw cursor held here, not read back from
// the string; the pieces are written through Unchecked, in room made for a
// bound at a time. The string has its final length again when the appender
// goes away.
class Appender {
 public:
  explicit Appender(std::string& out)
      : out_(out), start_(out.size()), trim_(true) {
    Attach(start_);
  }
  // Writes `scratch` from its start, over what it held, and leaves all its
  // room in place when it goes: the room then serves the next appender
  // without being filled anew.
  struct Scratch {};
  Appender(std::string& scratch, Scratch)
      : out_(scratch), start_(0), trim_(false) {
    Attach(0);
  }
  ~Appender() {
    if (trim_) out_.resize(Size());
  }
  Appender(const Appender&) = delete;
  Appender& operator=(const Appender&) = delete;

  // Where the next byte goes in the string.
  std::size_t Size() const { return static_cast<std::size_t>(cursor_ - base_); }
  // Writes from where this appender started again, over what it wrote: the
  // string keeps the room it grew to.
  void Rewind() { cursor_ = base_ + start_; }
  // The string's bytes so far; valid until the string is written again.
  std::string_view Written() const { return {base_, Size()}; }
  // Makes room for `size` more bytes and returns where they go; Commit then
  // takes the end of what was written there (see Unchecked).
  char* Reserve(std::size_t size) { return Room(size); }
  void Commit(char* end) { cursor_ = end; }

 private:
  void Attach(std::size_t used) {
    base_ = out_.data();
    cursor_ = base_ + used;
    limit_ = base_ + out_.size();
  }
  char* Room(std::size_t size) {
    if (static_cast<std::size_t>(limit_ - cursor_) < size) Grow(size);
    return cursor_;
  }
  // Growing by what this appender wrote so far keeps the zero-filling of
  // resize in proportion to the text written.
  void Grow(std::size_t size) {
    const std::size_t used = Size();
    out_.resize(used + size + std::max<std::size_t>(used - start_, 4096));
    Attach(used);
  }

  std::string& out_;
  std::size_t start_;
  bool trim_;
  char* base_ = nullptr;
  char* cursor_ = nullptr;
  char* limit_ = nullptr;
};

// Writes a pattern into room its appender made for the pattern's bound, so
// that no piece checks for room: a pattern is many short pieces. The bytes
// go to the appender when this goes away.
class Unchecked {
 public:
  Unchecked(Appender& out, std::size_t bound)
      : out_(out),
        origin_(out.Size()),
        start_(out.Reserve(bound + kPadding)),
        at_(start_),
        limit_(start_ + bound) {}
  ~Unchecked() {
    assert(at_ <= limit_);
    out_.Commit(at_);
  }
  Unchecked(const Unchecked&) = delete;
  Unchecked& operator=(const Unchecked&) = delete;

  // Short pieces are copied in two overlapping moves, never past either
  // end: a library call per piece would cost more than the copy.
  [[gnu::always_inline]] Unchecked& Put(std::string_view text) {
    const std::size_t n = text.size();
    const char* from = text.data();
    if (n > 32) {
      std::memcpy(at_, from, n);
    } else if (n >= 16) {
      Move<16>(at_, from);
      Move<16>(at_ + n - 16, from + n - 16);
    } else if (n >= 8) {
      Move<8>(at_, from);
      Move<8>(at_ + n - 8, from + n - 8);
    } else if (n >= 4) {
      Move<4>(at_, from);
      Move<4>(at_ + n - 4, from + n - 4);
    } else if (n > 0) {
      at_[0] = from[0];
      at_[n / 2] = from[n / 2];
      at_[n - 1] = from[n - 1];
    }
    at_ += n;
    return *this;
  }
  // Put for a piece of a padded text (see kPadding): a short piece is
  // copied whole with the bytes after it, which the next piece overwrites,
  // so its length decides nothing.
  [[gnu::always_inline]] Unchecked& PutPadded(std::string_view text) {
    const std::size_t n = text.size();
    if (n <= kPadding) {
      Move<kPadding / 2>(at_, text.data());
      Move<kPadding / 2>(at_ + kPadding / 2, text.data() + kPadding / 2);
    } else {
      std::memcpy(at_, text.data(), n);
    }
    at_ += n;
    return *this;
  }
  void Put(char c) { *at_++ = c; }
  void PutInt(int value) {
    // Most numbers in a pattern are leaf and word positions, a digit or two.
    const auto small = static_cast<unsigned>(value);
    if (small < 10) {
      *at_++ = static_cast<char>('0' + small);
    } else if (small < 100) {
      static constexpr char kPairs[] =
          "00010203040506070809101112131415161718192021222324252627282930313233"
          "34353637383940414243444546474849505152535455565758596061626364656667"
          "6869707172737475767778798081828384858687888990919293949596979899";
      std::memcpy(at_, kPairs + 2 * small, 2);
      at_ += 2;
    } else {
      at_ = std::to_chars(at_, at_ + kIntDigits, value).ptr;
    }
  }
  // Takes back the last byte written.
  void Unput() { --at_; }
  // Where the next byte goes; valid while the appender's string is not
  // written by other hands.
  const char* At() const { return at_; }
  // Where the next byte goes in the appender's string.
  std::size_t Size() const {
    return origin_ + static_cast<std::size_t>(at_ - start_);
  }

  static constexpr std::size_t kIntDigits = 11;  // "-2147483648"
  // A padded text holds this many bytes of its own after every piece cut
  // from it, and the room made here holds as many after the bound.
  static constexpr std::size_t kPadding = 32;

 private:
  template <std::size_t kBytes>
  static void Move(char* to, const char* from) {
    char bytes[kBytes];
    std::memcpy(bytes, from, kBytes);
    std::memcpy(to, bytes, kBytes);
  }

  Appender& out_;
  std::size_t origin_;
  char* start_;
  char* at_;
  char* limit_;
};

// The sentence side of a record, read without printing anything: what the
// patterns need of the SL words (their x-side constraints), the TL words as
// views into a copy, and the links.
struct Sentence {
  // Reads the SL, TL and alignment fields of `record`. Fails only with
  // kTLPositionBeyondSentence.
  Status Read(const ExampleRecordView& record);
  // The constraint ending of the SL word at `position` (from 1), nullptr
  // for none or a position outside the sentence.
  std::string_view ConstraintAt(int position) const {
    return position > 0 &&
                   static_cast<std::size_t>(position) <= ConstraintOf.size()
               ? ConstraintOf[static_cast<std::size_t>(position) - 1]
               : std::string_view();
  }

  // Empty for a word that its tag does not constrain.
  std::vector<std::string_view> ConstraintOf;
  std::size_t LongestConstraint = 0;
  // The TL words, as views into a copy of the TL value that is a padded
  // text (Unchecked::kPadding).
  std::string TLText;
  std::vector<std::string_view> TLWords;
  // (SL position, TL position) as CollectLinks gives them.
  std::vector<std::pair<int, int>> Links;
};

// Here and in the tables below, entries are built in place: one built on
// the stack and copied in whole stalls on the stores that just made it.
Status Sentence::Read(const ExampleRecordView& record) {
  ConstraintOf.clear();
  LongestConstraint = 0;
  ForEachSLToken(FieldValue(record.SL), [this](std::string_view word,
                                               std::string_view tag,
                                               bool /*tagged*/) {
    if (word.empty()) return;
    if (const char* ending = ConstraintEnding(tag)) {
      ConstraintOf.emplace_back(ending);
    } else {
      ConstraintOf.emplace_back();
    }
    LongestConstraint = std::max(LongestConstraint, ConstraintOf.back().size());
  });
  TLWords.clear();
  const std::string_view value = FieldValue(record.TL);
  TLText.assign(value.data(), value.size());
  TLText.append(Unchecked::kPadding, ' ');
  const std::string_view tl(TLText.data(), value.size());
  ForEachSentenceToken(tl, [this](std::string_view word) {
    TLWords.emplace_back(word.data(), word.size());
  });
  return CollectLinks(FieldValue(record.Alignment), ConstraintOf.size(),
                      TLWords.size(), Links);
}

// Lays a tree out, as the reader meets it, in the runs that patterns copy:
// the whole tree's C-structure as patterns write it (leaf numbers left out),
// its SL words joined by blanks and each constituent's children's labels, a
// subtree being one stretch of each. No node is built, and nothing is copied
// but into these runs.
class FlatTree final : public CStructureEvents {
 public:
  // A node with children: its label, where its text, leaves and children's
  // labels run, and its depth.
  struct Constituent {
    std::string_view Label;          // a view into Text
    std::size_t TextBegin, TextEnd;  // its C-structure in TreeText
    std::size_t FirstLeaf, EndLeaf;
    std::size_t SeqBegin, SeqEnd;  // its constituent sequence in SeqText
    int Depth;
  };
  // A childless node: what every pattern that covers it writes of it.
  struct Leaf {
    std::size_t WordBegin, WordEnd;  // in SLText
    std::size_t NumberAt;            // in TreeText, where its number goes
    int Position;                    // in the sentence; -1 without leaf text
  };

  // Reads `text` with the scratch space of `reader`, constituents in
  // preorder, leaves in text order.
  Status Read(CStructureReader& reader, std::string_view text);

  // A copy of the text read, a padded text (Unchecked::kPadding) that the
  // labels and words are views into.
  std::string Text;

  // Only the bytes up to the offsets above are the tree's; the strings keep
  // what lies beyond as room for the next tree.
  std::string TreeText;
  std::string SLText;
  std::string SeqText;
  std::vector<Constituent> Constituents;
  std::vector<Leaf> Leaves;

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  void Open(std::string_view token) override;
  void LeafText(std::string_view text) override;
  void Close() override;

  // A node not yet closed. Whether it has children is known at its first
  // child, which is when a constituent's text begins.
  struct OpenNode {
    std::string_view Label;
    std::string_view Word;
    std::size_t Constituent;  // kNone while it has no child
    std::size_t Children;
    int Position;
    int ChildDepth;
  };
  std::vector<OpenNode> open_;
  // The labels of the children of every open node, innermost last.
  std::vector<std::string_view> childLabels_;
  int counter_ = 1;
  Appender* tree_ = nullptr;
  Appender* sl_ = nullptr;
  Appender* seq_ = nullptr;
};

Status FlatTree::Read(CStructureReader& reader, std::string_view text) {
  // Labels and words are cut from a padded copy of the text.
  Text.assign(text.data(), text.size());
  Text.append(Unchecked::kPadding, ' ');
  text = std::string_view(Text.data(), text.size());
  Appender tree(TreeText, Appender::Scratch{});
  Appender sl(SLText, Appender::Scratch{});
  Appender seq(SeqText, Appender::Scratch{});
  tree_ = &tree;
  sl_ = &sl;
  seq_ = &seq;
  Constituents.clear();
  Leaves.clear();
  open_.clear();
  childLabels_.clear();
  counter_ = 1;
  const CStructureReading reading = ReadCStructureEvents(reader, text, *this);
  // The runs are padded texts for the pattern writer.
  tree.Reserve(Unchecked::kPadding);
  sl.Reserve(Unchecked::kPadding);
  seq.Reserve(Unchecked::kPadding);
  tree_ = sl_ = seq_ = nullptr;
  return reading.ToStatus();
}

void FlatTree::Open(std::string_view token) {
  const std::string_view label = NodeLabel(token);
  if (!open_.empty()) {
    OpenNode& parent = open_.back();
    if (parent.Constituent == kNone) {
      parent.Constituent = Constituents.size();
      Constituent& constituent = Constituents.emplace_back();
      constituent.Label = parent.Label;
      constituent.TextBegin = tree_->Size();
      constituent.FirstLeaf = Leaves.size();
      Unchecked(*tree_, parent.Label.size() + 4)
          .Put(" (<")
          .PutPadded(parent.Label)
          .Put(">");
    }
    ++parent.Children;
    childLabels_.emplace_back(label.data(), label.size());
  }
  OpenNode& node = open_.emplace_back();
  node.Label = label;
  // Without leaf text the word is empty, but still a place in the padded
  // text for PutPadded to copy from.
  node.Word = label.substr(0, 0);
  node.Constituent = kNone;
  node.Position = -1;
}

void FlatTree::LeafText(std::string_view text) {
  OpenNode& node = open_.back();
  // A node with children takes a position for its text, and writes no word.
  if (node.Constituent == kNone) node.Word = LeafWord(text, counter_);
  node.Position = counter_;
  counter_ = NextLeafPosition(counter_);
}

void FlatTree::Close() {
  const OpenNode node = open_.back();
  open_.pop_back();
  const int depth = node.ChildDepth + 1;
  if (!open_.empty()) {
    open_.back().ChildDepth = std::max(open_.back().ChildDepth, depth);
  }
  if (node.Constituent == kNone) {
    Leaf& leaf = Leaves.emplace_back();
    leaf.Position = node.Position;
    {
      Unchecked tree(*tree_, node.Label.size() + node.Word.size() + 5);
      tree.Put(" (")
          .PutPadded(node.Label)
          .Put(" ")
          .PutPadded(node.Word)
          .Put("-");
      // The leaf's ")" follows its number.
      leaf.NumberAt = tree.Size();
      tree.Put(')');
    }
    Unchecked sl(*sl_, node.Word.size() + 1);
    if (Leaves.size() > 1) sl.Put(' ');
    leaf.WordBegin = sl.Size();
    sl.PutPadded(node.Word);
    leaf.WordEnd = sl.Size();
    return;
  }
  Constituent& constituent = Constituents[node.Constituent];
  {
    Unchecked tree(*tree_, 1);
    tree.Put(')');
    constituent.TextEnd = tree.Size();
  }
  constituent.EndLeaf = Leaves.size();
  constituent.Depth = depth;
  // Its children's labels are the last ones gathered.
  const std::size_t first = childLabels_.size() - node.Children;
  std::size_t bytes = node.Children;
  for (std::size_t i = first; i < childLabels_.size(); ++i) {
    bytes += childLabels_[i].size();
  }
  Unchecked seq(*seq_, bytes);
  constituent.SeqBegin = seq.Size();
  for (std::size_t i = first; i < childLabels_.size(); ++i) {
    if (i != first) seq.Put(' ');
    seq.PutPadded(childLabels_[i]);
  }
  constituent.SeqEnd = seq.Size();
  childLabels_.resize(first);
}

// Indexes a sentence's links by leaf and by TL position, so that a
// constituent's TL positions and its consistency cost time in its own size.
class LinkIndex {
 public:
  // Indexes the links of `sentence` for the leaves of `tree`.
  void Index(const FlatTree& tree, const Sentence& sentence);
  // Fills `tls` with the TL positions linked from a constituent's leaves,
  // ascending, each once.
  void GatherTL(const FlatTree::Constituent& constituent,
                std::vector<int>& tls);
  // The phrase-extraction rule: `tls` (as GatherTL gives them) is not empty
  // and its span takes no link from an SL word outside the constituent.
  bool Consistent(const FlatTree::Constituent& constituent,
                  const std::vector<int>& tls) const;

  // The TL positions linked from leaf i, ascending: LeafLinks from
  // LeafLinkBegin[i] to LeafLinkBegin[i + 1]. LinkLeaf gives the leaf of
  // each, so a stretch's links are one run to walk.
  std::vector<int> LeafLinks;
  std::vector<std::size_t> LinkLeaf;
  std::vector<std::size_t> LeafLinkBegin;

 private:
  // By SL position: the leaf that stands there, kNoLeaf when none does,
  // and where its links start in the sentence's links.
  std::vector<std::size_t> leafAt_;
  std::vector<std::size_t> linksFrom_;
  // By TL position: the first and last leaf linked to it, kNoLeaf and 0
  // when none is. A link from a position that is no leaf's makes the last
  // kNoLeaf, past every stretch, so one test serves both.
  struct LinkedLeaves {
    std::size_t First, Last;
  };
  std::vector<LinkedLeaves> leavesTo_;
  // By TL position: the last GatherTL call that met it, as mark_ counts
  // them.
  std::vector<unsigned> seen_;
  unsigned mark_ = 0;
};

void LinkIndex::Index(const FlatTree& tree, const Sentence& sentence) {
  const std::vector<std::pair<int, int>>& links = sentence.Links;
  const std::size_t slCount =
      links.empty() ? 0 : static_cast<std::size_t>(links.back().first);
  // The links run by SL position: where each position's run starts.
  linksFrom_.assign(slCount + 2, 0);
  for (const auto& link : links) {
    ++linksFrom_[static_cast<std::size_t>(link.first) + 1];
  }
  for (std::size_t sl = 1; sl < linksFrom_.size(); ++sl) {
    linksFrom_[sl] += linksFrom_[sl - 1];
  }
  LeafLinks.clear();
  LinkLeaf.clear();
  LeafLinkBegin.clear();
  for (std::size_t i = 0; i < tree.Leaves.size(); ++i) {
    LeafLinkBegin.push_back(LeafLinks.size());
    const int position = tree.Leaves[i].Position;
    if (position <= 0 || static_cast<std::size_t>(position) > slCount) {
      continue;
    }
    const auto sl = static_cast<std::size_t>(position);
    for (std::size_t l = linksFrom_[sl]; l < linksFrom_[sl + 1]; ++l) {
      LeafLinks.push_back(links[l].second);
      LinkLeaf.push_back(i);
    }
  }
  LeafLinkBegin.push_back(LeafLinks.size());

  // A node with children may carry leaf text and take a sentence position
  // of its own; that position is no leaf's, and in no stretch.
  leafAt_.assign(slCount + 1, kNoLeaf);
  for (std::size_t i = 0; i < tree.Leaves.size(); ++i) {
    const int position = tree.Leaves[i].Position;
    if (position > 0 && static_cast<std::size_t>(position) <= slCount) {
      leafAt_[static_cast<std::size_t>(position)] = i;
    }
  }
  const std::size_t tlCount = sentence.TLWords.size() + 1;
  leavesTo_.assign(tlCount, {kNoLeaf, 0});
  seen_.assign(tlCount, 0);
  mark_ = 0;
  for (const auto& [sl, tlPosition] : links) {
    const auto tl = static_cast<std::size_t>(tlPosition);
    const std::size_t leaf = leafAt_[static_cast<std::size_t>(sl)];
    LinkedLeaves& to = leavesTo_[tl];
    if (leaf == kNoLeaf) {
      to.Last = kNoLeaf;
      continue;
    }
    to.First = std::min(to.First, leaf);
    to.Last = std::max(to.Last, leaf);
  }
}

void LinkIndex::GatherTL(const FlatTree::Constituent& constituent,
                         std::vector<int>& tls) {
  const std::size_t begin = LeafLinkBegin[constituent.FirstLeaf];
  const std::size_t end = LeafLinkBegin[constituent.EndLeaf];
  // Room for every link, given back once the distinct ones are in.
  if (tls.size() < end - begin) tls.resize(end - begin);
  int* const first = tls.data();
  int* last = first;
  // Positions met before in this call are passed over, so only distinct
  // ones are kept and ordered.
  if (++mark_ == 0) {
    std::fill(seen_.begin(), seen_.end(), 0U);
    mark_ = 1;
  }
  int low = std::numeric_limits<int>::max();
  int high = 0;
  bool ascending = true;
  for (std::size_t l = begin; l < end; ++l) {
    const int tl = LeafLinks[l];
    unsigned& seen = seen_[static_cast<std::size_t>(tl)];
    if (seen == mark_) continue;
    seen = mark_;
    ascending = ascending && tl > high;
    low = std::min(low, tl);
    high = std::max(high, tl);
    *last++ = tl;
  }
  const auto count = static_cast<std::size_t>(last - first);
  // A span not much wider than the positions is read off in order; a wider
  // one is sorted.
  if (!ascending) {
    if (static_cast<std::size_t>(high - low) / 4 >= count) {
      std::sort(first, last);
    } else {
      last = first;
      for (int tl = low; tl <= high; ++tl) {
        if (seen_[static_cast<std::size_t>(tl)] == mark_) *last++ = tl;
      }
    }
  }
  tls.resize(count);
}

// The leaves under a node are a run of the leaf list, so "outside" is
// outside one range of leaves.
bool LinkIndex::Consistent(const FlatTree::Constituent& constituent,
                           const std::vector<int>& tls) const {
  if (tls.empty()) return false;
  // A position no leaf links to passes: its First is past every stretch's
  // start, its Last (0) before every stretch's end.
  for (int tl = tls.front(); tl <= tls.back(); ++tl) {
    const LinkedLeaves& to = leavesTo_[static_cast<std::size_t>(tl)];
    if (to.First < constituent.FirstLeaf || to.Last >= constituent.EndLeaf) {
      return false;
    }
  }
  return true;
}

// Writes one constituent's pattern straight from the tables, so a pattern
// costs time in its own length and no subtree is copied for it but into the
// output: byte for byte what building a Pattern for the node and asking
// ReturnPatternAsString gives (the tests hold the two side by side).
class PatternWriter {
 public:
  // Appends the pattern of `constituent`, whose TL positions are `tls` (as
  // LinkIndex::GatherTL gives them), to `out`.
  void Write(const FlatTree& tree, const LinkIndex& links,
             const Sentence& sentence, const FlatTree::Constituent& constituent,
             const std::vector<int>& tls, Appender& out);

  // Appends the same pattern's eight fields as one table line
  // (ExtractedPattern::Fields) instead, for a Plain record.
  void WriteFields(const FlatTree& tree, const LinkIndex& links,
                   const Sentence& sentence,
                   const FlatTree::Constituent& constituent,
                   const std::vector<int>& tls, Appender& out);

  // The pattern Write wrote last, as views into where it went: valid until
  // that string is written again.
  ExtractedPattern Written(const FlatTree::Constituent& constituent) const;

  // Indexes the constraints of the leaves of `tree`, whose words `sentence`
  // holds, for the record's patterns.
  void Index(const FlatTree& tree, const Sentence& sentence);

  // Whether the record being cut holds no tab, carriage return or backslash
  // where its patterns' fields come from (ExtractedPattern::Plain).
  void SetPlain(bool plain) { plain_ = plain; }
  bool Plain() const { return plain_; }

 private:
  // At least as many bytes as either form of the pattern takes: each piece
  // is bounded by what it is cut from, each number by kIntDigits.
  static std::size_t Bound(const FlatTree& tree, const LinkIndex& links,
                           const Sentence& sentence,
                           const FlatTree::Constituent& constituent);

  // The fields each form writes alike. PutTL numbers the TL positions for
  // PutAlignment, so it comes first. Each is inlined, so that the
  // appender's cursor stays in a register over a whole pattern.
  [[gnu::always_inline]] static void PutSL(
      const FlatTree& tree, const FlatTree::Constituent& constituent,
      Unchecked& out);
  [[gnu::always_inline]] void PutTL(const Sentence& sentence,
                                    const std::vector<int>& tls,
                                    Unchecked& out);
  [[gnu::always_inline]] void PutAlignment(
      const LinkIndex& links, const FlatTree::Constituent& constituent,
      Unchecked& out);
  [[gnu::always_inline]] static void PutCStructure(
      const FlatTree& tree, const FlatTree::Constituent& constituent,
      Unchecked& out);
  [[gnu::always_inline]] static void PutConstSeq(
      const FlatTree& tree, const FlatTree::Constituent& constituent,
      Unchecked& out);
  // Each constraint followed by kAfter; one copy of the loop per form, each
  // inlined where it is used.
  template <char kAfter>
  [[gnu::always_inline]] void PutConstraints(
      const FlatTree::Constituent& constituent, Unchecked& out) const;

  // Where the last pattern written put each field's value in the string it
  // went to: a pair per field, in ExtractedPattern's order.
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
  const char* marks_[kMarks] = {};
  bool plain_ = false;
  // By TL position: its pattern position in the pattern being written.
  std::vector<int> patternTL_;
  // By leaf: the constraint its word takes (empty for none), and how many
  // leaves before it take one, so that a stretch without any costs nothing;
  // and the leaves that take one, in order.
  std::vector<std::string_view> leafConstraint_;
  std::vector<std::size_t> constrainedBefore_;
  std::vector<std::size_t> constrained_;
};

std::size_t PatternWriter::Bound(const FlatTree& tree, const LinkIndex& links,
                                 const Sentence& sentence,
                                 const FlatTree::Constituent& constituent) {
  // The labels and line ends of the text form, with room to spare.
  constexpr std::size_t kFixed = 128;
  constexpr std::size_t kDigits = Unchecked::kIntDigits;
  const std::size_t leaves = constituent.EndLeaf - constituent.FirstLeaf;
  const std::size_t linkCount = links.LeafLinkBegin[constituent.EndLeaf] -
                                links.LeafLinkBegin[constituent.FirstLeaf];
  const std::size_t sl = tree.Leaves[constituent.EndLeaf - 1].WordEnd -
                         tree.Leaves[constituent.FirstLeaf].WordBegin;
  // Distinct TL words with one blank between each take at most the line.
  const std::size_t tl = sentence.TLText.size() + 1;
  const std::size_t alignment = 2 + linkCount * (4 + 2 * kDigits);
  const std::size_t cStructure =
      constituent.TextEnd - constituent.TextBegin + leaves * kDigits;
  const std::size_t constraints =
      leaves * (4 + kDigits + sentence.LongestConstraint);
  return kFixed + sl + tl + alignment + constituent.Label.size() + kDigits +
         cStructure + (constituent.SeqEnd - constituent.SeqBegin) + constraints;
}

void PatternWriter::Write(const FlatTree& tree, const LinkIndex& links,
                          const Sentence& sentence,
                          const FlatTree::Constituent& constituent,
                          const std::vector<int>& tls, Appender& appender) {
  Unchecked out(appender, Bound(tree, links, sentence, constituent));
  marks_[kStart] = out.At();
  out.Put("SentenceIndex:\nSL: ");
  marks_[kSL] = out.At();
  PutSL(tree, constituent, out);
  marks_[kSL + 1] = out.At();
  out.Put("\nTL: ");
  marks_[kTL] = out.At();
  PutTL(sentence, tls, out);
  marks_[kTL + 1] = out.At();
  out.Put("\nAlignment: ");
  marks_[kAlignment] = out.At();
  PutAlignment(links, constituent, out);
  marks_[kAlignment + 1] = out.At();
  out.Put("\nType: ");
  marks_[kType] = out.At();
  out.PutPadded(constituent.Label);
  marks_[kType + 1] = out.At();
  out.Put("\nCoEmbeddingScore: ");
  marks_[kScore] = out.At();
  out.PutInt(constituent.Depth);
  marks_[kScore + 1] = out.At();
  out.Put("\nC-Structure:");
  marks_[kCStructure] = out.At();
  PutCStructure(tree, constituent, out);
  marks_[kCStructure + 1] = out.At();
  out.Put("\nConstSeq: ");
  marks_[kConstSeq] = out.At();
  PutConstSeq(tree, constituent, out);
  marks_[kConstSeq + 1] = out.At();
  out.Put("\nXSideConstraints:\n");
  marks_[kConstraints] = out.At();
  PutConstraints<'\n'>(constituent, out);
  marks_[kEnd] = out.At();
}

void PatternWriter::WriteFields(const FlatTree& tree, const LinkIndex& links,
                                const Sentence& sentence,
                                const FlatTree::Constituent& constituent,
                                const std::vector<int>& tls,
                                Appender& appender) {
  Unchecked out(appender, Bound(tree, links, sentence, constituent));
  out.PutPadded(constituent.Label);
  out.Put('\t');
  PutSL(tree, constituent, out);
  out.Put('\t');
  PutTL(sentence, tls, out);
  out.Put('\t');
  PutAlignment(links, constituent, out);
  out.Put('\t');
  PutCStructure(tree, constituent, out);
  out.Put('\t');
  PutConstSeq(tree, constituent, out);
  out.Put('\t');
  out.PutInt(constituent.Depth);
  out.Put('\t');
  // Blanks between the constraints, none after the last.
  const std::size_t from = out.Size();
  PutConstraints<' '>(constituent, out);
  if (out.Size() != from) out.Unput();
}

inline void PatternWriter::PutSL(const FlatTree& tree,
                                 const FlatTree::Constituent& constituent,
                                 Unchecked& out) {
  const std::vector<FlatTree::Leaf>& leaves = tree.Leaves;
  const std::size_t firstLeaf = constituent.FirstLeaf;
  const std::size_t endLeaf = constituent.EndLeaf;
  out.PutPadded({tree.SLText.data() + leaves[firstLeaf].WordBegin,
                 leaves[endLeaf - 1].WordEnd - leaves[firstLeaf].WordBegin});
}

inline void PatternWriter::PutTL(const Sentence& sentence,
                                 const std::vector<int>& tls, Unchecked& out) {
  // Only the entries of this pattern's TL positions are written and read.
  if (patternTL_.size() <= sentence.TLWords.size()) {
    patternTL_.resize(sentence.TLWords.size() + 1);
  }
  for (std::size_t k = 0; k < tls.size(); ++k) {
    if (k > 0) out.Put(' ');
    out.PutPadded(sentence.TLWords[static_cast<std::size_t>(tls[k] - 1)]);
    patternTL_[static_cast<std::size_t>(tls[k])] = ClampToIntRange(k + 1);
  }
}

inline void PatternWriter::PutAlignment(
    const LinkIndex& links, const FlatTree::Constituent& constituent,
    Unchecked& out) {
  const std::size_t firstLeaf = constituent.FirstLeaf;
  const std::size_t begin = links.LeafLinkBegin[firstLeaf];
  const std::size_t end = links.LeafLinkBegin[constituent.EndLeaf];
  out.Put('(');
  for (std::size_t l = begin; l < end; ++l) {
    if (l != begin) out.Put(',');
    out.Put('(');
    out.PutInt(ClampToIntRange(links.LinkLeaf[l] - firstLeaf + 1));
    out.Put(',');
    out.PutInt(patternTL_[static_cast<std::size_t>(links.LeafLinks[l])]);
    out.Put(')');
  }
  out.Put(')');
}

inline void PatternWriter::PutCStructure(
    const FlatTree& tree, const FlatTree::Constituent& constituent,
    Unchecked& out) {
  const std::vector<FlatTree::Leaf>& leaves = tree.Leaves;
  // The subtree's text begins with the blank that sets it off inside its
  // parent.
  const char* const text = tree.TreeText.data();
  std::size_t from = constituent.TextBegin + 1;
  int counter = 1;
  for (std::size_t i = constituent.FirstLeaf; i < constituent.EndLeaf; ++i) {
    out.PutPadded({text + from, leaves[i].NumberAt - from});
    out.PutInt(counter++);
    from = leaves[i].NumberAt;
  }
  out.PutPadded({text + from, constituent.TextEnd - from});
}

inline void PatternWriter::PutConstSeq(const FlatTree& tree,
                                       const FlatTree::Constituent& constituent,
                                       Unchecked& out) {
  out.PutPadded({tree.SeqText.data() + constituent.SeqBegin,
                 constituent.SeqEnd - constituent.SeqBegin});
}

template <char kAfter>
inline void PatternWriter::PutConstraints(
    const FlatTree::Constituent& constituent, Unchecked& out) const {
  const std::size_t firstLeaf = constituent.FirstLeaf;
  const std::size_t from = constrainedBefore_[firstLeaf];
  const std::size_t to = constrainedBefore_[constituent.EndLeaf];
  if (from == to) return;
  const auto put = [&](std::size_t position, std::string_view ending) {
    out.Put("(X");
    out.PutInt(ClampToIntRange(position));
    out.Put(' ');
    out.Put(ending);
    out.Put(kAfter);
  };
  // The constraints sort as texts, "(X10 " before "(X2 "; below ten leaves
  // that is the order of the constrained leaves themselves.
  const std::size_t count = constituent.EndLeaf - firstLeaf;
  if (count < 10) {
    for (std::size_t k = from; k < to; ++k) {
      const std::size_t leaf = constrained_[k];
      put(leaf - firstLeaf + 1, leafConstraint_[leaf]);
    }
    return;
  }
  ForEachInDecimalTextOrder(
      static_cast<long long>(count), [&](long long position) {
        const std::size_t leaf =
            firstLeaf + static_cast<std::size_t>(position) - 1;
        if (!leafConstraint_[leaf].empty()) {
          put(static_cast<std::size_t>(position), leafConstraint_[leaf]);
        }
      });
}

void PatternWriter::Index(const FlatTree& tree, const Sentence& sentence) {
  leafConstraint_.clear();
  constrained_.clear();
  constrainedBefore_.assign(1, 0);
  for (std::size_t i = 0; i < tree.Leaves.size(); ++i) {
    leafConstraint_.push_back(sentence.ConstraintAt(tree.Leaves[i].Position));
    if (!leafConstraint_.back().empty()) constrained_.push_back(i);
    constrainedBefore_.push_back(constrained_.size());
  }
}

ExtractedPattern PatternWriter::Written(
    const FlatTree::Constituent& constituent) const {
  const auto between = [this](std::size_t from, std::size_t to) {
    return std::string_view(
        marks_[from], static_cast<std::size_t>(marks_[to] - marks_[from]));
  };
  const auto field = [&](std::size_t mark) { return between(mark, mark + 1); };
  ExtractedPattern pattern;
  pattern.Text = between(kStart, kEnd);
  pattern.SLWords = field(kSL);
  pattern.TLWords = field(kTL);
  pattern.Alignment = field(kAlignment);
  pattern.Type = field(kType);
  pattern.Score = field(kScore);
  pattern.CStructure = field(kCStructure);
  pattern.ConstSeq = field(kConstSeq);
  pattern.XSideConstraints = field(kConstraints);
  pattern.SLWordCount = constituent.EndLeaf - constituent.FirstLeaf;
  pattern.Plain = plain_;
  return pattern;
}

// The line of a record's field `offset` lines below its header, 0 when the
// record was not read from a file.
std::size_t FieldLine(const ExampleRecordView& record, std::size_t offset) {
  return record.HeaderLine == 0 ? 0 : record.HeaderLine + offset;
}

}  // namespace

// Scratch space kept from record to record, one part per job.
struct PatternExtractor::State {
  CStructureReader Reader;
  Sentence Words;
  FlatTree Tree;
  LinkIndex Links;
  PatternWriter Writer;
  // The TL positions of the pattern being written.
  std::vector<int> TLs;
  // One pattern's text at a time, for ForEachPattern.
  std::string PatternText;

  // Whether `constituent` gives a pattern under the extractor's bounds;
  // gathers its TL positions into TLs when it may.
  bool Keeps(const FlatTree::Constituent& constituent, bool consistentOnly,
             std::size_t maxWords) {
    // An unlabelled node is no constituent; the word bound is checked
    // first, as it is the cheaper.
    if (constituent.Label.empty()) return false;
    if (maxWords != 0 &&
        constituent.EndLeaf - constituent.FirstLeaf > maxWords) {
      return false;
    }
    Links.GatherTL(constituent, TLs);
    return !consistentOnly || Links.Consistent(constituent, TLs);
  }
};

PatternExtractor::PatternExtractor(bool consistentOnly, std::size_t maxWords)
    : consistentOnly_(consistentOnly),
      maxWords_(maxWords),
      state_(std::make_unique<State>()) {}
PatternExtractor::~PatternExtractor() = default;
PatternExtractor::PatternExtractor(PatternExtractor&& other) noexcept = default;
PatternExtractor& PatternExtractor::operator=(
    PatternExtractor&& other) noexcept = default;

Status PatternExtractor::Prepare(const ExampleRecordView& record) {
  if (!state_) state_ = std::make_unique<State>();
  State& state = *state_;

  // The tree starts at the line's first "(", so a label that holds a ":"
  // cannot move it, nor a ":" inside the tree cut it.
  const std::string_view cStructure = record.CStructure;
  const std::size_t tree = cStructure.find('(');
  Status status = tree == std::string_view::npos
                      ? Status::MalformedCStructure(cStructure)
                      : state.Tree.Read(state.Reader, cStructure.substr(tree));
  if (!status) {
    status.Line = FieldLine(record, 6);
  } else {
    status = state.Words.Read(record);
    if (!status) status.Line = FieldLine(record, 3);
  }
  if (!status) {
    status.Record = record.Number;
    return status;
  }

  state.Links.Index(state.Tree, state.Words);
  state.Writer.Index(state.Tree, state.Words);
  // Every field of a pattern is cut from the tree and the TL words, or made
  // of digits and fixed texts.
  state.Writer.SetPlain(!MayHoldEscapable(cStructure) &&
                        !MayHoldEscapable(record.TL));
  return status;
}

Status PatternExtractor::AppendPatterns(const ExampleRecord& record,
                                        std::string& out) {
  return Append(record, out, nullptr);
}

Status PatternExtractor::AppendPatterns(
    const ExampleRecord& record, std::string& out,
    std::vector<std::vector<int>>& slPositions) {
  return Append(record, out, &slPositions);
}

Status PatternExtractor::Append(const ExampleRecord& record, std::string& out,
                                std::vector<std::vector<int>>* slPositions) {
  Status status = Prepare(record.View());
  if (!status) return status;
  State& state = *state_;
  Appender appender(out);
  for (const FlatTree::Constituent& constituent : state.Tree.Constituents) {
    if (!state.Keeps(constituent, consistentOnly_, maxWords_)) continue;
    state.Writer.Write(state.Tree, state.Links, state.Words, constituent,
                       state.TLs, appender);
    if (slPositions) {
      std::vector<int>& positions = slPositions->emplace_back();
      for (std::size_t i = constituent.FirstLeaf; i < constituent.EndLeaf;
           ++i) {
        positions.push_back(state.Tree.Leaves[i].Position);
      }
    }
  }
  return status;
}

Status PatternExtractor::ForEachPattern(
    const ExampleRecord& record,
    const std::function<bool(const ExtractedPattern&)>& take) {
  return ForEachPattern(record.View(), take);
}

Status PatternExtractor::ForEachPattern(
    const ExampleRecordView& record,
    const std::function<bool(const ExtractedPattern&)>& take) {
  return Each(record, take, false);
}

Status PatternExtractor::ForEachPatternFields(
    const ExampleRecordView& record,
    const std::function<bool(const ExtractedPattern&)>& take) {
  return Each(record, take, true);
}

Status PatternExtractor::Each(
    const ExampleRecordView& record,
    const std::function<bool(const ExtractedPattern&)>& take, bool fields) {
  Status status = Prepare(record);
  if (!status) return status;
  State& state = *state_;
  // Fields need no escape only in a Plain record; the rest go the way of
  // the text form, which the taker escapes.
  fields = fields && state.Writer.Plain();
  // One pattern at a time, over the last one: memory is one pattern's. The
  // room stays from record to record, so it is never filled anew.
  Appender appender(state.PatternText, Appender::Scratch{});
  for (const FlatTree::Constituent& constituent : state.Tree.Constituents) {
    if (!state.Keeps(constituent, consistentOnly_, maxWords_)) continue;
    appender.Rewind();
    if (fields) {
      state.Writer.WriteFields(state.Tree, state.Links, state.Words,
                               constituent, state.TLs, appender);
      ExtractedPattern pattern;
      pattern.Fields = appender.Written();
      pattern.SLWordCount = constituent.EndLeaf - constituent.FirstLeaf;
      pattern.Plain = true;
      if (!take(pattern)) break;
      continue;
    }
    state.Writer.Write(state.Tree, state.Links, state.Words, constituent,
                       state.TLs, appender);
    if (!take(state.Writer.Written(constituent))) break;
  }
  return status;
}

bool PatternExtractor::AppendPatterns(const ExampleFieldMap& example,
                                      std::string& out,
                                      std::string& skipReason) {
  ExampleRecord record;
  const auto take = [&example](const char* key, std::string& field) {
    const auto found = example.find(key);
    if (found != example.end()) field = found->second;
  };
  take("SL", record.SL);
  take("TL", record.TL);
  take("Alignment", record.Alignment);
  take("Type", record.Type);
  take("C-Structure", record.CStructure);
  take("ConstSeq", record.ConstSeq);
  const Status status = AppendPatterns(record, out);
  if (!status) skipReason = status.Message() + "\n";
  return status.Ok();
}
