#include "PatternExtractor.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "patterns/LinkIndex.h"
#include "patterns/PatternWriter.h"
#include "records/Sentence.h"
#include "text/Appender.h"
#include "trees/FlatTree.h"

using extraction::Appender;
using extraction::FlatTree;
using extraction::LinkIndex;
using extraction::PatternWriter;
using extraction::Sentence;

namespace {

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
  // The state is this call's alone while `take` runs: a `take` that uses
  // this extractor again finds none and makes its own, instead of refilling
  // the tree this loop walks.
  struct Lent {
    std::unique_ptr<State>& Owner;
    std::unique_ptr<State> Held;
    ~Lent() { Owner = std::move(Held); }
  } lent{state_, std::move(state_)};
  State& state = *lent.Held;
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
