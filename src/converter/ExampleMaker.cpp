#include "converter/ExampleMaker.h"

#include <algorithm>
#include <utility>

#include "converter/TreeText.h"
#include "text/NumberText.h"

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
  Stop("Line " + Decimal(lines.LineNumber()) + " of " + name +
       " is longer than 99,999 bytes.");
  return true;
}

namespace {

bool Blank(std::string_view line) {
  return std::all_of(line.begin(), line.end(), tree_text::IsSpace);
}

// Reads `lines` to its end: true when every line left is blank. A line too
// long is not.
bool OnlyBlankLinesLeft(LineReader& lines) {
  std::string_view line;
  while (lines.Next(line)) {
    if (!Blank(line)) return false;
  }
  return !lines.Overlong();
}

}  // namespace

ExampleMaker::Step ExampleMaker::Next(ExampleRecordView& record, int& depth) {
  const bool tree = reader_.Next(trees_);
  if (Overlong(trees_, treesName_)) return Step::kStopped;
  if (reader_.TooLong()) {
    // The rest of the tree is unread: where the next one starts, and so
    // which TL and alignment lines go with it, is unknown.
    problem_ =
        Status::SentenceFailure(StatusCode::kMalformedSentence,
                                std::string(reader_.Problem()), ++number_);
    return Step::kStopped;
  }
  std::string_view tl;
  std::string_view alignment;
  const bool tlLine = tl_.Next(tl);
  if (Overlong(tl_, tlName_)) return Step::kStopped;
  const bool alignmentLine = alignment_.Next(alignment);
  if (Overlong(alignment_, alignmentName_)) return Step::kStopped;
  if (!tree && !tlLine && !alignmentLine) return Step::kEnd;
  // Blank lines after the last tree are an editor's habit, not sentences.
  if (!tree && (!tlLine || Blank(tl)) && (!alignmentLine || Blank(alignment)) &&
      (!tlLine || OnlyBlankLinesLeft(tl_)) &&
      (!alignmentLine || OnlyBlankLinesLeft(alignment_))) {
    return Step::kEnd;
  }
  ++number_;
  const std::string& shortName = !tree     ? treesName_
                                 : !tlLine ? tlName_
                                           : alignmentName_;
  if (!tree || !tlLine || !alignmentLine) {
    return Stop(shortName + " ends before sentence " + Decimal(number_) + ".");
  }
  problem_ = reader_.MakeRecord(tl, alignment, number_, record, depth);
  return problem_ ? Step::kRecord : Step::kSkipped;
}
