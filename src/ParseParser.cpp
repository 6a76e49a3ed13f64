#include "ParseParser.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

#include "CStructureEvents.h"
#include "ExitWithMessage.h"
#include "LeafCounter.h"
#include "LegacyLimits.h"
#include "NumberText.h"
#include "PlainDepthScan.h"
#include "SplitText.h"
#include "TreeWalk.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace {

constexpr std::size_t kNoMatch = static_cast<std::size_t>(-1);

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
  BuildSink(std::deque<CTree::TreeNode>& nodes, std::size_t& used, int& counter)
      : nodes_(nodes), used_(used), counter_(counter) {}

  // A node as TreeNode() makes it, reusing one the store holds past its
  // used part where it can: a parser that reads tree after tree then stops
  // allocating nodes, labels and child lists.
  CTree::TreeNode& Fresh() {
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
};

constexpr std::size_t kBlock = 64;

// The highest and the lowest nesting level that the bytes of a 64-byte block
// reach, and the level after its last byte, each counted from the level
// before the block.
struct LevelRange {
  int Highest = 0;
  int Lowest = 0;
  int Last = 0;
};

// How a 64-byte block is read, for every processor: SSE2 where there is
// (every x86-64 has it), byte by byte elsewhere.
struct BaselineBlocks {
  // One 64-byte block of a text as three bit masks: bit i stands for byte i.
  struct Masks {
    std::uint64_t Open = 0;
    std::uint64_t Close = 0;
    std::uint64_t Blank = 0;
#if defined(__SSE2__)
    // For the levels: +1 at "(", -1 at ")", 0 elsewhere, 16 bytes a part.
    __m128i Steps[4];
#else
    const char* Bytes = nullptr;
#endif
  };

  static void Classify(const char* block, Masks& masks) {
#if defined(__SSE2__)
    const __m128i open = _mm_set1_epi8('(');
    const __m128i close = _mm_set1_epi8(')');
    const __m128i blank = _mm_set1_epi8(' ');
    const auto bits = [](__m128i matches, int part) {
      return static_cast<std::uint64_t>(
                 static_cast<std::uint32_t>(_mm_movemask_epi8(matches)))
             << (16 * part);
    };
    // Spelled out part by part: not every compiler unrolls the loop.
    const auto classify = [&](int part) {
      const __m128i bytes =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * part));
      const __m128i opens = _mm_cmpeq_epi8(bytes, open);
      const __m128i closes = _mm_cmpeq_epi8(bytes, close);
      masks.Open |= bits(opens, part);
      masks.Close |= bits(closes, part);
      masks.Blank |= bits(_mm_cmpeq_epi8(bytes, blank), part);
      masks.Steps[part] = _mm_sub_epi8(closes, opens);
    };
    classify(0);
    classify(1);
    classify(2);
    classify(3);
#else
    for (std::size_t i = 0; i < kBlock; ++i) {
      const std::uint64_t bit = std::uint64_t{1} << i;
      if (block[i] == '(') masks.Open |= bit;
      if (block[i] == ')') masks.Close |= bit;
      if (block[i] == ' ') masks.Blank |= bit;
    }
    masks.Bytes = block;
#endif
  }

  static LevelRange Levels(const Masks& masks) {
    LevelRange range;
#if defined(__SSE2__)
    // Each part's levels summed from its left, in bytes (-64 to 64 fit).
    __m128i levels[4];
    for (int part = 0; part < 4; ++part) {
      __m128i level = masks.Steps[part];
      level = _mm_add_epi8(level, _mm_slli_si128(level, 1));
      level = _mm_add_epi8(level, _mm_slli_si128(level, 2));
      level = _mm_add_epi8(level, _mm_slli_si128(level, 4));
      levels[part] = _mm_add_epi8(level, _mm_slli_si128(level, 8));
    }
    // Then each part raised by the level the parts before it end at.
    const auto lastOf = [](__m128i level) {
      const __m128i pair = _mm_unpackhi_epi8(level, level);
      return _mm_shuffle_epi32(_mm_shufflehi_epi16(pair, 0xff), 0xff);
    };
    levels[1] = _mm_add_epi8(levels[1], lastOf(levels[0]));
    levels[2] = _mm_add_epi8(levels[2], lastOf(levels[1]));
    levels[3] = _mm_add_epi8(levels[3], lastOf(levels[2]));
    // Signed bytes compare as unsigned ones once their top bit is flipped, and
    // the lowest is the highest of the complements.
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i invert = _mm_set1_epi8(static_cast<char>(0x7f));
    __m128i highest = _mm_xor_si128(levels[0], flip);
    __m128i lowest = _mm_xor_si128(levels[0], invert);
    for (int part = 1; part < 4; ++part) {
      highest = _mm_max_epu8(highest, _mm_xor_si128(levels[part], flip));
      lowest = _mm_max_epu8(lowest, _mm_xor_si128(levels[part], invert));
    }
    // Both folded at once, one in each half.
    highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 8));
    lowest = _mm_max_epu8(lowest, _mm_srli_si128(lowest, 8));
    __m128i both = _mm_unpacklo_epi64(highest, lowest);
    both = _mm_max_epu8(both, _mm_srli_epi64(both, 32));
    both = _mm_max_epu8(both, _mm_srli_epi64(both, 16));
    both = _mm_max_epu8(both, _mm_srli_epi64(both, 8));
    range.Highest = (_mm_cvtsi128_si32(both) & 0xff) - 0x80;
    range.Lowest = 0x7f - (_mm_extract_epi16(both, 4) & 0xff);
    range.Last = static_cast<signed char>(
        static_cast<unsigned>(_mm_extract_epi16(levels[3], 7)) >> 8);
#else
    int level = 0;
    range.Highest = -1 - static_cast<int>(kBlock);
    range.Lowest = 1 + static_cast<int>(kBlock);
    for (std::size_t i = 0; i < kBlock; ++i) {
      level += (masks.Bytes[i] == '(') - (masks.Bytes[i] == ')');
      range.Highest = std::max(range.Highest, level);
      range.Lowest = std::min(range.Lowest, level);
    }
    range.Last = level;
#endif
    return range;
  }

  // Spelled out: without a popcount instruction in the target, the builtin
  // becomes a library call per block.
  static int CountBits(std::uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555U;
    bits = (bits & 0x3333333333333333U) + ((bits >> 2) & 0x3333333333333333U);
    bits = (bits + (bits >> 4)) & 0x0f0f0f0f0f0f0f0fU;
    return static_cast<int>((bits * 0x0101010101010101U) >> 56);
  }
};

#if defined(__x86_64__) && defined(__GNUC__)
#define ANNOTATOR_AVX2_BLOCKS 1
// The same reading 32 bytes at a time, for processors with AVX2: half the
// instructions per block, where the scan spends most of a run's own time.
struct Avx2Blocks {
  struct Masks {
    std::uint64_t Open = 0;
    std::uint64_t Close = 0;
    std::uint64_t Blank = 0;
    // +1 at "(", -1 at ")", 0 elsewhere, 32 bytes a half.
    __m256i Steps[2];
  };

  __attribute__((target("avx2,popcnt"))) static void Classify(const char* block,
                                                              Masks& masks) {
    const __m256i open = _mm256_set1_epi8('(');
    const __m256i close = _mm256_set1_epi8(')');
    const __m256i blank = _mm256_set1_epi8(' ');
    // No lambda: it would not carry the target along.
    for (int half = 0; half < 2; ++half) {
      const __m256i bytes = _mm256_loadu_si256(
          reinterpret_cast<const __m256i*>(block + 32 * half));
      const __m256i opens = _mm256_cmpeq_epi8(bytes, open);
      const __m256i closes = _mm256_cmpeq_epi8(bytes, close);
      const __m256i blanks = _mm256_cmpeq_epi8(bytes, blank);
      const int shift = 32 * half;
      masks.Open |=
          std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(opens))}
          << shift;
      masks.Close |= std::uint64_t{static_cast<std::uint32_t>(
                         _mm256_movemask_epi8(closes))}
                     << shift;
      masks.Blank |= std::uint64_t{static_cast<std::uint32_t>(
                         _mm256_movemask_epi8(blanks))}
                     << shift;
      masks.Steps[half] = _mm256_sub_epi8(closes, opens);
    }
  }

  __attribute__((target("avx2,popcnt"))) static LevelRange Levels(
      const Masks& masks) {
    // Each 16-byte lane's levels summed from its left (-64 to 64 fit a
    // byte), then each lane raised by the level the lanes before it end at.
    const __m256i lastByte = _mm256_set1_epi8(15);
    __m256i halves[2];
    for (int half = 0; half < 2; ++half) {
      __m256i level = masks.Steps[half];
      level = _mm256_add_epi8(level, _mm256_slli_si256(level, 1));
      level = _mm256_add_epi8(level, _mm256_slli_si256(level, 2));
      level = _mm256_add_epi8(level, _mm256_slli_si256(level, 4));
      level = _mm256_add_epi8(level, _mm256_slli_si256(level, 8));
      // The low lane's end, moved into the high lane.
      const __m256i ends = _mm256_shuffle_epi8(level, lastByte);
      halves[half] =
          _mm256_add_epi8(level, _mm256_permute2x128_si256(ends, ends, 0x08));
    }
    // The first half's end, under every byte of the second.
    const __m256i firstEnd = _mm256_shuffle_epi8(
        _mm256_permute2x128_si256(halves[0], halves[0], 0x11), lastByte);
    halves[1] = _mm256_add_epi8(halves[1], firstEnd);

    const __m256i high = _mm256_max_epi8(halves[0], halves[1]);
    const __m256i low = _mm256_min_epi8(halves[0], halves[1]);
    __m128i highest = _mm_max_epi8(_mm256_castsi256_si128(high),
                                   _mm256_extracti128_si256(high, 1));
    __m128i lowest = _mm_min_epi8(_mm256_castsi256_si128(low),
                                  _mm256_extracti128_si256(low, 1));
    // Spelled out: the shifts must be constants even unoptimised.
    highest = _mm_max_epi8(highest, _mm_srli_si128(highest, 8));
    lowest = _mm_min_epi8(lowest, _mm_srli_si128(lowest, 8));
    highest = _mm_max_epi8(highest, _mm_srli_si128(highest, 4));
    lowest = _mm_min_epi8(lowest, _mm_srli_si128(lowest, 4));
    highest = _mm_max_epi8(highest, _mm_srli_si128(highest, 2));
    lowest = _mm_min_epi8(lowest, _mm_srli_si128(lowest, 2));
    highest = _mm_max_epi8(highest, _mm_srli_si128(highest, 1));
    lowest = _mm_min_epi8(lowest, _mm_srli_si128(lowest, 1));
    LevelRange range;
    range.Highest = static_cast<signed char>(_mm_cvtsi128_si32(highest));
    range.Lowest = static_cast<signed char>(_mm_cvtsi128_si32(lowest));
    range.Last = static_cast<signed char>(_mm256_extract_epi8(halves[1], 31));
    return range;
  }

  __attribute__((target("avx2,popcnt"))) static int CountBits(
      std::uint64_t bits) {
    return __builtin_popcountll(bits);
  }
};
#endif

// For every bit of `from`, marks the first position at or after it that is
// not in `through`, carrying runs that reach the block's end into the next
// block through `carry`. Each run of `through` holds at most one bit of
// `from` that is not at a run's first position, so one addition does it.
std::uint64_t FirstOutside(std::uint64_t from, std::uint64_t through,
                           std::uint64_t& carry) {
  const std::uint64_t inside = from & through;
  const std::uint64_t sum = inside + through;
  const std::uint64_t total = sum + carry;
  carry = (sum < inside || total < sum) ? 1 : 0;
  return (total & ~through) | (from & ~through);
}

// The depth of a text whose brackets nest plainly: every "(" after the
// root's label is followed by its own label and a blank before any other
// bracket, and the brackets balance with the root's ")" as the last
// character. Each constituent then reads exactly its matched brackets, and
// words or stray text around children change nothing of the depth, so the
// full reading rules give the bracket nesting depth. Anything else (a bracket
// without its blank, a ")" too many or too few, text after the root,
// over-long texts) returns false and goes the full way.
//
// Both rules are checked 64 bytes at a time on bit masks instead of byte by
// byte.
template <class Blocks>
bool ScanPlainDepth(std::string_view text, std::size_t& depth) {
  const char* const base = text.data();
  const std::size_t size = text.size();
  if (size < 2 || size >= kConstituentTextKept) return false;
  // The root's first character is dropped unread and its label runs to the
  // first blank, brackets and all ("C-Structure:(S").
  const char* blank =
      static_cast<const char*>(std::memchr(base + 1, ' ', size - 1));
  if (!blank ||
      std::memchr(base + 1, ')', static_cast<std::size_t>(blank - base - 1))) {
    return false;
  }
  const std::size_t start = static_cast<std::size_t>(blank - base);
  // The root's ")" must be the last byte; every byte before it, from the
  // root's blank on, is read in blocks, and the nesting must stay at 1 or
  // more through them and be 1 before that ")".
  const std::size_t last = size - 1;
  if (base[last] != ')') return false;

  std::int64_t level = 1;
  std::int64_t deepest = 1;
  std::uint64_t openBefore = 0;  // the previous block's last byte was "("
  std::uint64_t labelCarry = 0;
  char tail[kBlock];
  for (std::size_t at = start; at < last; at += kBlock) {
    const std::size_t count = std::min(kBlock, last - at);
    const char* block = base + at;
    if (count < kBlock) {
      // Filler that is neither bracket nor blank changes no rule.
      std::memcpy(tail, block, count);
      std::memset(tail + count, 'x', kBlock - count);
      block = tail;
    }
    typename Blocks::Masks m;
    Blocks::Classify(block, m);
    const std::uint64_t brackets = m.Open | m.Close;

    // The first bracket or blank after each "(" must be a blank. A "(" whose
    // label runs into the root's ")" leaves the nesting above 1 at the end.
    const std::uint64_t labelEnds = FirstOutside(
        (m.Open << 1) | openBefore, ~(brackets | m.Blank), labelCarry);
    if ((labelEnds & brackets) != 0) return false;
    openBefore = m.Open >> 63;

    // Blocks that only open or only close are counted, not walked.
    if (m.Close == 0) {
      level += Blocks::CountBits(m.Open);
      deepest = std::max(deepest, level);
      continue;
    }
    if (m.Open == 0) {
      level -= Blocks::CountBits(m.Close);
    } else {
      const LevelRange range = Blocks::Levels(m);
      if (level + range.Lowest < 1) return false;
      deepest = std::max(deepest, level + range.Highest);
      level += range.Last;
    }
    if (level < 1) return false;
  }
  if (level != 1) return false;
  depth = static_cast<std::size_t>(deepest);
  return true;
}

#if defined(ANNOTATOR_AVX2_BLOCKS)
// Everything the scan calls is compiled into it, for AVX2.
__attribute__((target("avx2,popcnt"), flatten)) bool ScanPlainDepthAvx2(
    std::string_view text, std::size_t& depth) {
  return ScanPlainDepth<Avx2Blocks>(text, depth);
}
#endif

// The scan for this processor, chosen once.
bool MeasurePlainDepth(std::string_view text, std::size_t& depth) {
  static const PlainDepthScan scan = CanRunPlainDepthScan(PlainDepthScan::kAvx2)
                                         ? PlainDepthScan::kAvx2
                                         : PlainDepthScan::kBaseline;
  return ::MeasurePlainDepth(scan, text, depth);
}

}  // namespace

bool CanRunPlainDepthScan(PlainDepthScan scan) {
#if defined(ANNOTATOR_AVX2_BLOCKS)
  if (scan == PlainDepthScan::kAvx2) {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
  }
#endif
  return scan == PlainDepthScan::kBaseline;
}

bool MeasurePlainDepth(PlainDepthScan scan, std::string_view text,
                       std::size_t& depth) {
#if defined(ANNOTATOR_AVX2_BLOCKS)
  if (scan == PlainDepthScan::kAvx2) return ScanPlainDepthAvx2(text, depth);
#endif
  (void)scan;
  return ScanPlainDepth<BaselineBlocks>(text, depth);
}

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
  // Only the entries at a "(" are ever read, and each is written below.
  if (matches_.size() < size) matches_.resize(size);
  openBrackets_.clear();
  // The brackets are found 64 bytes at a time, and only they are visited.
  char tail[kBlock];
  for (std::size_t at = 0; at < size; at += kBlock) {
    const char* block = base + at;
    if (size - at < kBlock) {
      // Filler that is no bracket changes nothing.
      std::memcpy(tail, block, size - at);
      std::memset(tail + (size - at), 'x', kBlock - (size - at));
      block = tail;
    }
    BaselineBlocks::Masks masks;
    BaselineBlocks::Classify(block, masks);
    for (std::uint64_t brackets = masks.Open | masks.Close; brackets != 0;
         brackets &= brackets - 1) {
      const auto bit = static_cast<unsigned>(__builtin_ctzll(brackets));
      const std::size_t i = at + bit;
      if ((masks.Open >> bit) & 1U) {
        matches_[i] = kNoMatch;
        openBrackets_.push_back(i);
      } else if (!openBrackets_.empty()) {
        matches_[openBrackets_.back()] = i;
        openBrackets_.pop_back();
      }
    }
  }

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
  BuildSink sink(*nodes_, nodesUsed_, counter);
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
