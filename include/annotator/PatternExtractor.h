#ifndef ANNOTATOR_PATTERNEXTRACTOR_H_
#define ANNOTATOR_PATTERNEXTRACTOR_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ExtractedPattern.h"
#include "Status.h"
#include "TrainingExampleReader.h"

// The first step of the pattern learner: cuts every constituent of a training
// example into a candidate pattern and writes each in the text form of
// Pattern::ReturnPatternAsString. Keeps its scratch space between records, so
// one extractor reused over a file stops allocating once it has seen the
// largest record. Never ends the process and writes nothing to standard
// output or standard error, whatever the record holds.
class PatternExtractor {
 public:
  // With `consistentOnly`, keeps only the constituents whose SL stretch is
  // alignment-consistent: linked to at least one TL word, and no TL word
  // between the first and the last of those is linked from outside it.
  // With `maxWords` above 0, keeps only the constituents that span at most
  // that many SL words (leaves).
  explicit PatternExtractor(bool consistentOnly = false,
                            std::size_t maxWords = 0);
  ~PatternExtractor();
  PatternExtractor(PatternExtractor&& other) noexcept;
  PatternExtractor& operator=(PatternExtractor&& other) noexcept;

  // Appends to `out` (which keeps what it holds) the patterns of `record`,
  // as TrainingExampleReader::NextRecord fills it. One pattern per labelled
  // node that has children, the root included, a node before its
  // descendants: SL words with the leaves' tags kept in the C-structure
  // ("(<NP> (DT the-1) (NN cat-2))"), the TL words and links projected from
  // the record's alignment, the node's label as type, its children's labels
  // as constituent sequence, its depth as co-embedding score and the x-side
  // constraints of its SL tags. SL, TL and alignment are the texts after
  // their label's first ":" and one blank; the tree is the C-Structure line
  // from its first "(", whatever stands before it. Returns Ok. When the
  // record cannot give patterns, leaves `out` as it was and returns
  // kMalformedCStructure with the text of the failing constituent (the whole
  // line, label included, when it has no "("), or else
  // kTLPositionBeyondSentence with the first aligned TL position that names
  // no TL word; Record and Line (of the failing field) are the record's
  // when it was read by a reader.
  Status AppendPatterns(const ExampleRecord& record, std::string& out);

  // AppendPatterns that also appends to `slPositions`, for each pattern it
  // writes, the sentence positions (from 1; -1 for a leaf without leaf text)
  // of the pattern's SL words in order: what the text form leaves out, as
  // it numbers a pattern's leaves from 1. Appends nothing when it fails.
  Status AppendPatterns(const ExampleRecord& record, std::string& out,
                        std::vector<std::vector<int>>& slPositions);

  // The same for a record as TrainingExampleReader::Next returns it (a
  // missing key reads as an empty line): returns true, or false with the
  // failure's Message() and a line end in `skipReason`.
  bool AppendPatterns(const ExampleFieldMap& example, std::string& out,
                      std::string& skipReason);

  // The patterns AppendPatterns would append, handed to `take` one at a
  // time as each is written, in the same order; the views of each live until
  // `take` returns. Memory stays within a bound set by the record's lines,
  // however much text its patterns add up to. Returns what AppendPatterns
  // returns, before any pattern when the record gives none; stops at once,
  // still Ok, when `take` returns false. `take` may use this extractor too.
  Status ForEachPattern(
      const ExampleRecord& record,
      const std::function<bool(const ExtractedPattern&)>& take);

  // The same for a record as TrainingExampleReader::NextRecordView gives
  // it, whose views must hold until this returns.
  Status ForEachPattern(
      const ExampleRecordView& record,
      const std::function<bool(const ExtractedPattern&)>& take);

  // ForEachPattern for a program that wants each pattern as a table line
  // and not as text: a pattern of a Plain record comes as its Fields alone,
  // written once and never as text; one of any other record comes as
  // ForEachPattern gives it.
  Status ForEachPatternFields(
      const ExampleRecordView& record,
      const std::function<bool(const ExtractedPattern&)>& take);

 private:
  // The checks and tables that come before any pattern of `record`.
  Status Prepare(const ExampleRecordView& record);
  Status Each(const ExampleRecordView& record,
              const std::function<bool(const ExtractedPattern&)>& take,
              bool fields);
  Status Append(const ExampleRecord& record, std::string& out,
                std::vector<std::vector<int>>* slPositions);

  bool consistentOnly_;
  std::size_t maxWords_;
  // Scratch space reused from record to record; made afresh when a move
  // took it.
  struct State;
  std::unique_ptr<State> state_;
};

#endif  // ANNOTATOR_PATTERNEXTRACTOR_H_
