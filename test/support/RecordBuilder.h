#ifndef ANNOTATOR_TEST_SUPPORT_RECORDBUILDER_H_
#define ANNOTATOR_TEST_SUPPORT_RECORDBUILDER_H_

#include <string>

namespace testsupport {

// The ten lines of one input record, labels included; the defaults make a
// small well-formed record whose patterns are easy to derive by hand. Tests
// change the lines they are about and keep the rest.
struct RecordLines {
  std::string Header = "SentenceIndex: 1";
  std::string SL = "SL: a/dt dog/nn";
  std::string TL = "TL: un chien";
  std::string Alignment = "Alignment: ((1,1),(2,2))";
  std::string Type = "Type: NP";
  std::string Score = "CoEmbeddingScore: 0";
  std::string CStructure = "C-Structure:(NP (DT a-1) (NN dog-2))";
  std::string ConstSeq = "ConstSeq: DT NN";
  std::string Constraints = "XSideConstraints:";
  std::string Last;

  // The ten lines in record order, each ended by "\n".
  std::string Text() const;
};

}  // namespace testsupport

#endif  // ANNOTATOR_TEST_SUPPORT_RECORDBUILDER_H_
