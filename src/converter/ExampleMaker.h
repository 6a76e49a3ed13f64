#ifndef ANNOTATOR_EXAMPLEMAKER_H_
#define ANNOTATOR_EXAMPLEMAKER_H_

#include <cstddef>
#include <istream>
#include <string>

#include "Status.h"
#include "TrainingExampleReader.h"
#include "converter/BracketedTreeReader.h"
#include "text/LineReader.h"

// Sentence k of a corpus is tree k, TL line k and alignment line k of three
// streams; makes the record of each.
class ExampleMaker {
 public:
  // The names are what messages call the files.
  ExampleMaker(std::istream& trees, std::istream& tl, std::istream& alignment,
               std::string treesName, std::string tlName,
               std::string alignmentName);

  enum class Step {
    kRecord,   // a record was appended
    kSkipped,  // the sentence was skipped: Problem() says why
    kEnd,      // all three files ended together, but for blank lines
               // after the last tree
    kStopped,  // a file ran short, held a line too long or a tree too
               // long: Problem()
  };

  // Every label from now on without its function tags and co-indices.
  void SetBareLabels(bool bare) { reader_.SetBareLabels(bare); }

  // Makes the next sentence's record fields and depth, as
  // BracketedTreeReader::MakeRecord gives them.
  Step Next(ExampleRecordView& record, int& depth);

  // The reason of the last kSkipped or kStopped: kMalformedSentence or
  // kMalformedLink, with Record set to the sentence for a skipped one.
  const Status& Problem() const { return problem_; }
  // Sentences taken so far, skipped ones included.
  std::size_t Sentences() const { return number_; }

 private:
  Step Stop(std::string message);
  // Stop for a line too long in `lines`, named `name`.
  bool Overlong(const LineReader& lines, const std::string& name);

  LineReader trees_, tl_, alignment_;
  std::string treesName_, tlName_, alignmentName_;
  BracketedTreeReader reader_;
  std::size_t number_ = 0;
  Status problem_;
};

#endif  // ANNOTATOR_EXAMPLEMAKER_H_
