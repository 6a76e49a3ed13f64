#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>

#include "AnnotatedRecord.h"

namespace {

const ExampleFieldMap& Example() {
  static const ExampleFieldMap example = {
      {"SL", "SL: the/dt dog/nn"},
      {"TL", "TL: le chien"},
      {"Alignment", "Alignment: ((1,1),(2,2))"},
      {"Type", "Type: NP"},
      {"C-Structure", "C-Structure:(NP (DT the-1) (NN dog-2))"},
      {"ConstSeq", "ConstSeq: DT NN"}};
  return example;
}

TEST(WriteAnnotatedRecord, WritesTheTenLineLayoutWithAFreshScore) {
  for (const int score : {2, -1, 0, 2147483647}) {
    SCOPED_TRACE(score);
    std::ostringstream out;
    EXPECT_TRUE(WriteAnnotatedRecord(Example(), score, out));
    EXPECT_EQ(out.str(),
              "SentenceIndex:\n"
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

// Accepts `room` characters, then refuses every write.
class FullBuffer : public std::streambuf {
 public:
  explicit FullBuffer(int room) : room_(room) {}

 protected:
  int_type overflow(int_type c) override {
    return room_-- > 0 ? c : traits_type::eof();
  }

 private:
  int room_;
};

TEST(WriteAnnotatedRecord, ReportsAFailedWriteInsteadOfGoingOn) {
  for (const int room : {0, 20, 100}) {
    SCOPED_TRACE(room);
    FullBuffer buffer(room);
    std::ostream out(&buffer);
    EXPECT_FALSE(WriteAnnotatedRecord(Example(), 2, out));
  }
}

TEST(PrintExampleListing, ListsEveryFieldBetweenBarsWithTheSlTwice) {
  std::ostringstream listing;
  PrintExampleListing(Example(), listing);
  EXPECT_EQ(listing.str(),
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
