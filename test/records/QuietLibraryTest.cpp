// A program linking the library reads bad input through the public API alone:
// the library must hand every failure back as a Status, and neither write to
// the standard streams nor end the process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "ParseParser.h"
#include "PatternExtractor.h"
#include "Status.h"
#include "TrainingExampleReader.h"
#include "support/RecordBuilder.h"
#include "support/TestSupport.h"

namespace {

// Sends std::cout, std::cerr and the descriptors 1 and 2 to a buffer and a
// file while alive; Captured() tells what reached any of them.
class QuietStreams {
 public:
  explicit QuietStreams(const std::string& path) : path_(path) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::FILE* sink = std::fopen(path.c_str(), "w");
    savedOut_ = ::dup(STDOUT_FILENO);
    savedErr_ = ::dup(STDERR_FILENO);
    ::dup2(::fileno(sink), STDOUT_FILENO);
    ::dup2(::fileno(sink), STDERR_FILENO);
    std::fclose(sink);
    coutBuffer_ = std::cout.rdbuf(streams_.rdbuf());
    cerrBuffer_ = std::cerr.rdbuf(streams_.rdbuf());
  }
  ~QuietStreams() { Restore(); }
  QuietStreams(const QuietStreams&) = delete;
  QuietStreams& operator=(const QuietStreams&) = delete;

  std::string Captured() {
    Restore();
    return streams_.str() + testsupport::ReadFile(path_);
  }

 private:
  void Restore() {
    if (savedOut_ < 0) return;
    std::cout.rdbuf(coutBuffer_);
    std::cerr.rdbuf(cerrBuffer_);
    std::fflush(nullptr);
    ::dup2(savedOut_, STDOUT_FILENO);
    ::dup2(savedErr_, STDERR_FILENO);
    ::close(savedOut_);
    ::close(savedErr_);
    savedOut_ = savedErr_ = -1;
  }

  std::string path_;
  std::ostringstream streams_;
  std::streambuf* coutBuffer_ = nullptr;
  std::streambuf* cerrBuffer_ = nullptr;
  int savedOut_ = -1;
  int savedErr_ = -1;
};

TEST(QuietLibrary, HandsBadInputBackAsStatusAndWritesNothing) {
  // Record 1 lacks its last two lines, so record 2's header is line 9.
  testsupport::RecordLines good;
  std::string first = good.Text();
  first.resize(first.find("XSideConstraints:"));
  testsupport::RecordLines malformed;
  malformed.CStructure = "C-Structure:(NP (DT a-1) (NN dog-2)";
  testsupport::RecordLines beyond;
  beyond.Alignment = "Alignment: ((1,1),(2,3))";
  std::istringstream input(first + malformed.Text() + beyond.Text() +
                           std::string(100000, '#') + "\n" + good.Text());

  const std::string path = testsupport::TempPath("streams");
  std::vector<Status> extracted;
  std::string patterns;
  Status measured;
  Status parsed;
  Status reading;
  std::string captured;
  {
    QuietStreams quiet(path);
    std::ostream listing(nullptr);
    TrainingExampleReader reader(input, listing);
    PatternExtractor extractor;
    CStructureReader trees;
    ParseParser parser;
    ExampleRecord record;
    while (reader.NextRecord(record)) {
      extracted.push_back(extractor.AppendPatterns(record, patterns));
      if (record.Number == 2) {
        measured = trees.MeasureDepth(record.CStructure).ToStatus();
        parsed = parser.TryParseIntoTree(record.CStructure);
      }
    }
    reading = reader.ReadStatus();
    captured = quiet.Captured();
  }
  std::remove(path.c_str());

  EXPECT_EQ(captured, "");
  ASSERT_EQ(extracted.size(), 3U);
  EXPECT_TRUE(extracted[0].Ok());
  EXPECT_NE(patterns, "");

  const std::string wholeLine = "C-Structure:(NP (DT a-1) (NN dog-2)";
  struct Expected {
    const char* What;
    const Status& Got;
    StatusCode Code;
    StatusFamily Family;
    std::string Text;
    int Position;
    std::size_t Line, Record;
  };
  const Expected cases[] = {
      {"extractor, malformed tree", extracted[1],
       StatusCode::kMalformedCStructure, StatusFamily::kFormat,
       wholeLine.substr(wholeLine.find('(')), 0, 15, 2},
      {"measuring", measured, StatusCode::kMalformedCStructure,
       StatusFamily::kFormat, wholeLine, 0, 0, 0},
      {"parsing", parsed, StatusCode::kMalformedCStructure,
       StatusFamily::kFormat, wholeLine, 0, 0, 0},
      {"extractor, TL position", extracted[2],
       StatusCode::kTLPositionBeyondSentence, StatusFamily::kAlignment, "", 3,
       22, 3},
      {"reader, over-long line", reading, StatusCode::kOverlongLine,
       StatusFamily::kFormat, "", 0, 29, 3},
  };
  for (const Expected& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_FALSE(c.Got);
    EXPECT_EQ(c.Got.Code, c.Code);
    EXPECT_EQ(c.Got.Family(), c.Family);
    EXPECT_EQ(c.Got.Text, c.Text);
    EXPECT_EQ(c.Got.Position, c.Position);
    EXPECT_EQ(c.Got.Line, c.Line);
    EXPECT_EQ(c.Got.Record, c.Record);
  }
}

}  // namespace
