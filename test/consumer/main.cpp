// Uses the installed library the way another learner would: reads a record
// from memory, scores its tree, and checks malformed trees without dying.
#include <annotator/ParseParser.h>
#include <annotator/TrainingExampleReader.h>

#include <iostream>
#include <sstream>
#include <string>

namespace {

int Fail(const std::string& what) {
  std::cerr << "consumer: " << what << "\n";
  return 1;
}

}  // namespace

int main() {
  std::istringstream file(
      "SentenceIndex: 1\n"
      "SL: the/dt dog/nn barks/vbz\n"
      "TL: le chien aboie\n"
      "Alignment: ((1,1),(2,2),(3,3))\n"
      "Type: S\n"
      "CoEmbeddingScore: 0\n"
      "C-Structure:(S (NP (DT the-1) (NN dog-2)) (VP (VBZ barks-3)))\n"
      "ConstSeq: NP VP\n"
      "XSideConstraints:\n"
      "\n");
  std::ostringstream listing;
  TrainingExampleReader reader(file, listing);
  const ExampleFieldMap example = reader.Next();
  if (example.size() != 6) return Fail("the record was not read whole");

  ParseParser parser;
  parser.ParseIntoTree(example.at("C-Structure"));
  const int score = GetCoEmbeddingScore(parser.Root);
  if (score != 3) return Fail("score " + std::to_string(score) + ", not 3");

  std::string failedText;
  if (parser.TryParseIntoTree("(S (NP) (N dog-1))", &failedText) ||
      failedText != "(NP)") {
    return Fail("a bracket without a blank was not rejected");
  }

  CStructureReader depthReader;
  const CStructureReading unclosed = depthReader.MeasureDepth("(S (N dog-1)");
  if (unclosed.Ok || unclosed.FailedText != "(S (N dog-1)") {
    return Fail("a root without its \")\" was not rejected");
  }

  std::cout << "score " << score << "\n";
  return 0;
}
