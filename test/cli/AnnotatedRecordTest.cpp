#include <gtest/gtest.h>

#include <string>

#include "AnnotatedRecord.h"

namespace {

ExampleRecord Example() {
  ExampleRecord example;
  example.SL = "SL: the/dt dog/nn";
  example.TL = "TL: le chien";
  example.Alignment = "Alignment: ((1,1),(2,2))";
  example.Type = "Type: NP";
  example.CStructure = "C-Structure:(NP (DT the-1) (NN dog-2))";
  example.ConstSeq = "ConstSeq: DT NN";
  example.FieldCount = 6;
  return example;
}

TEST(AppendAnnotatedRecord, AppendsTheTenLineLayoutWithAFreshScore) {
  for (const int score : {2, -1, 0, 2147483647}) {
    SCOPED_TRACE(score);
    std::string out = "kept|";
    AppendAnnotatedRecord(Example(), score, out);
    EXPECT_EQ(out,
              "kept|SentenceIndex:\n"
              "SL: the/dt dog/nn\n"
              "TL: le chien\n"
              "Alignment: ((1,1),(2,2))\n"
              "Type: NP\n"
              "CoEmbeddingScore: " +
                  std::to_string(score) +
                  "\n"
                  "C-Structure:(NP (DT the-1) (NN dog-2))\n"
                  "ConstSeq: DT NN\n"
                  "XSideConstraints:\n"
                  "\n");
  }
}

TEST(AppendAnnotationListing, ListsEveryFieldBetweenBarsWithTheSlTwice) {
  std::string listing;
  AppendAnnotationListing(Example(), listing);
  EXPECT_EQ(listing,
            "Printing new training example:\n"
            "|Alignment|:|Alignment: ((1,1),(2,2))|\n"
            "|C-Structure|:|C-Structure:(NP (DT the-1) (NN dog-2))|\n"
            "|ConstSeq|:|ConstSeq: DT NN|\n"
            "DebugSL:|SL: the/dt dog/nn\n"
            "|SL|:|SL: the/dt dog/nn|\n"
            "|TL|:|TL: le chien|\n"
            "|Type|:|Type: NP|\n");
}

}  // namespace
