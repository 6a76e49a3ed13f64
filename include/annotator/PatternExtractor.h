#ifndef ANNOTATOR_PATTERNEXTRACTOR_H_
#define ANNOTATOR_PATTERNEXTRACTOR_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "ExtractedPattern.h"
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

  // Appends to `out` (which keeps what it holds) the patterns of `example`,
  // a record as TrainingExampleReader::Next returns it (a missing key reads
  // as an empty line). One pattern per labelled node that has children, the
  // root included, a node before its descendants: SL words with the leaves'
  // tags kept in the C-structure ("(<NP> (DT the-1) (NN cat-2))"), the TL
  // words and links projected from the record's alignment, the node's label
  // as type, its children's labels as constituent sequence, its depth as
  // co-embedding score and the x-side constraints of its SL tags. SL, TL and
  // alignment are the texts after their label's first ":" and one blank; the
  // tree is the C-Structure line from its first "(", whatever stands before
  // it. Returns true. When the record cannot give patterns, leaves `out` as
  // it was, stores the reason in `skipReason` as one line ended by "\n" and
  // returns false: "malformed C-structure: " and the text of the failing
  // constituent (the whole line, label included, when it has no "("), or
  // "TL Index T exceeds TL sentence length." for the first aligned TL
  // position T that names no TL word.
  bool AppendPatterns(const ExampleFieldMap& example, std::string& out,
                      std::string& skipReason);

  // The patterns AppendPatterns would append, handed to `take` one at a
  // time as each is written, in the same order; the views of each live until
  // `take` returns. Memory stays within a bound set by the record's lines,
  // however much text its patterns add up to. Returns false with
  // `skipReason` set as AppendPatterns does, before any pattern, for a
  // record that gives none; returns false with `skipReason` empty as soon as
  // `take` returns false; true otherwise.
  bool ForEachPattern(const ExampleFieldMap& example,
                      const std::function<bool(const ExtractedPattern&)>& take,
                      std::string& skipReason);

 private:
  // The checks that come before any pattern: false with `skipReason` set
  // for a record that gives none.
  bool Prepare(const ExampleFieldMap& example, std::string& skipReason);

  bool consistentOnly_;
  std::size_t maxWords_;
  // Scratch space reused from record to record; made afresh when a move
  // took it.
  struct State;
  std::unique_ptr<State> state_;
};

#endif  // ANNOTATOR_PATTERNEXTRACTOR_H_
