#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "TrainingExampleReader.h"
#include "support/RecordBuilder.h"
#include "support/TestSupport.h"

namespace {

// The ten lines of a record, each with its newline, with values that name
// the record so that shifted fields show.
std::string Record(const std::string& id) {
  testsupport::RecordLines record;
  record.Header = "SentenceIndex: " + id;
  record.SL = "SL: sl" + id;
  record.TL = "TL: tl" + id;
  record.Alignment = "Alignment: al" + id;
  record.Type = "Type: ty" + id;
  record.CStructure = "C-Structure:(S (N w" + id + "-1))";
  record.ConstSeq = "ConstSeq: cs" + id;
  return record.Text();
}

ExampleFieldMap Complete(const std::string& id) {
  return {{"SL", "SL: sl" + id},
          {"TL", "TL: tl" + id},
          {"Alignment", "Alignment: al" + id},
          {"Type", "Type: ty" + id},
          {"C-Structure", "C-Structure:(S (N w" + id + "-1))"},
          {"ConstSeq", "ConstSeq: cs" + id}};
}

// Every map the reader returns for `input`, up to and including the first
// incomplete one.
std::vector<ExampleFieldMap> ReadAll(const std::string& input,
                                     std::string* listing = nullptr) {
  std::istringstream in(input);
  std::ostringstream out;
  TrainingExampleReader reader(in, out);
  std::vector<ExampleFieldMap> maps;
  do {
    maps.push_back(reader.Next());
  } while (maps.back().size() == 6 && maps.size() < 100);
  if (listing) *listing = out.str();
  return maps;
}

struct ReadCase {
  std::string Name;
  std::string Input;
  std::vector<ExampleFieldMap> Expected;
};

TEST(TrainingExampleReader, TakesFieldsByPositionWhateverSurroundsThem) {
  const std::string one = Record("1");
  const std::string two = Record("2");
  const std::string withoutTrailing = one.substr(0, one.size() - 19);
  const std::vector<ReadCase> cases = {
      {"empty input", "", {{}}},
      {"whole records", one + two, {Complete("1"), Complete("2"), {}}},
      {"junk before and between records",
       "junk\n\nmore junk\n" + one + "x\ny\n" + two + "tail\n",
       {Complete("1"), Complete("2"), {}}},
      {"header with text around the mark",
       "<<SentenceIndex:>> 99\n" + one.substr(one.find('\n') + 1),
       {Complete("1"), {}}},
      {"file ending after ConstSeq", withoutTrailing, {Complete("1"), {}}},
      {"file ending after ConstSeq without a newline",
       withoutTrailing.substr(0, withoutTrailing.size() - 1),
       {Complete("1"), {}}},
      {"file ending after XSideConstraints",
       one.substr(0, one.size() - 1),
       {Complete("1"), {}}},
      {"record cut after its Alignment line",
       one.substr(0, one.find("Type:")),
       {{{"SL", "SL: sl1"},
         {"TL", "TL: tl1"},
         {"Alignment", "Alignment: al1"},
         {"Type", ""}}}},
      {"record cut right after its C-Structure line",
       one.substr(0, one.find("ConstSeq:")),
       {{{"SL", "SL: sl1"},
         {"TL", "TL: tl1"},
         {"Alignment", "Alignment: al1"},
         {"Type", "Type: ty1"},
         {"C-Structure", "C-Structure:(S (N w1-1))"},
         {"ConstSeq", ""}},
        {}}},
      {"header inside the fields is an ordinary value",
       "SentenceIndex:\nSL\nSentenceIndex: as TL\nA\nT\nscore\nC\nCS\nX\n\n",
       {{{"SL", "SL"},
         {"TL", "SentenceIndex: as TL"},
         {"Alignment", "A"},
         {"Type", "T"},
         {"C-Structure", "C"},
         {"ConstSeq", "CS"}},
        {}}},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ReadAll(c.Input), c.Expected);
  }
}

TEST(TrainingExampleReader, KeepsAHeaderFoundWhereTheDroppedLinesBelong) {
  const std::string one = Record("1");
  const std::string two = Record("2");
  const std::string three = Record("3");
  // Records without their empty last line, and without both dropped lines.
  const std::string nine = one.substr(0, one.size() - 1);
  const std::string eight = nine.substr(0, nine.size() - 18);
  EXPECT_EQ(ReadAll(nine + two.substr(0, two.size() - 1) + three),
            (std::vector<ExampleFieldMap>{
                Complete("1"), Complete("2"), Complete("3"), {}}));
  EXPECT_EQ(ReadAll(eight + two + eight),
            (std::vector<ExampleFieldMap>{
                Complete("1"), Complete("2"), Complete("1"), {}}));
}

TEST(TrainingExampleReader, DropsTheCarriageReturnOfALineEndOnly) {
  std::string crlf = Record("1");
  for (std::size_t at = crlf.find('\n'); at != std::string::npos;
       at = crlf.find('\n', at + 2)) {
    crlf.insert(at, "\r");
  }
  EXPECT_EQ(ReadAll(crlf), (std::vector<ExampleFieldMap>{Complete("1"), {}}));

  // One CR before the newline is the line end's; the others are text, and
  // so is a CR that ends the file.
  std::string inner = Record("1");
  inner.replace(inner.find("SL: sl1"), 7, "SL: \rsl1\r\r");
  inner.resize(inner.find("\nXSideConstraints:"));
  inner += "\r";
  const std::vector<ExampleFieldMap> maps = ReadAll(inner);
  ASSERT_EQ(maps.size(), 2U);
  EXPECT_EQ(maps[0].at("SL"), "SL: \rsl1\r");
  EXPECT_EQ(maps[0].at("ConstSeq"), "ConstSeq: cs1\r");
}

TEST(TrainingExampleReader, KeepsNulBytesAndInvalidUtf8) {
  const std::string odd("SL: a\0b\xff\xfe\0", 10);
  std::string input = Record("1");
  input.replace(input.find("SL: sl1"), 7, odd);
  EXPECT_EQ(ReadAll(input).at(0).at("SL"), odd);
}

TEST(TrainingExampleReader, ReadsLinesOf99999BytesWhole) {
  const std::string longSl(99999, 's');
  std::string input = Record("1");
  input.replace(input.find("SL: sl1"), 7, longSl);
  EXPECT_EQ(ReadAll(input + Record("2")).at(0).at("SL"), longSl);

  // The same length as the file's last line, without a line end.
  const std::string lastLine(99999, 'c');
  std::string cut = Record("1");
  cut.resize(cut.find("ConstSeq:"));
  const std::vector<ExampleFieldMap> maps = ReadAll(cut + lastLine);
  ASSERT_EQ(maps.size(), 2U);
  EXPECT_EQ(maps[0].at("ConstSeq"), lastLine);
}

TEST(TrainingExampleReader, StopsAtAnOverlongLineWhereverItStands) {
  const std::string records = Record("1") + "junk\n" + Record("2");
  const std::string tooLong(100000, 'x');
  struct OverlongCase {
    std::string Name;
    std::size_t Line;
    std::size_t RecordsBefore;
  };
  const std::vector<OverlongCase> cases = {
      {"first line of the file", 1, 0},
      {"SL line", 2, 0},
      {"ConstSeq line", 8, 0},
      {"last dropped line", 10, 0},
      {"between records", 11, 1},
      {"next header", 12, 1},
      {"C-Structure of the second record", 18, 1},
  };
  for (const OverlongCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::istringstream in(testsupport::ReplaceLine(records, c.Line, tooLong));
    std::ostringstream listing;
    TrainingExampleReader reader(in, listing);
    for (std::size_t record = 0; record < c.RecordsBefore; ++record) {
      EXPECT_EQ(reader.Next().size(), 6U);
    }
    const std::string listedBefore = listing.str();
    EXPECT_EQ(reader.OverlongLine(), 0U);
    EXPECT_TRUE(reader.Next().empty());
    EXPECT_EQ(reader.OverlongLine(), c.Line);
    EXPECT_TRUE(reader.Next().empty());
    // Nothing of the record that holds the line is listed.
    EXPECT_EQ(listing.str(), listedBefore);
  }
}

TEST(TrainingExampleReader, ListsEveryExampleItReturns) {
  std::string listing;
  ReadAll(Record("1"), &listing);
  EXPECT_EQ(listing,
            "Now handling the following training example:\n"
            "Alignment\tAlignment: al1\n"
            "C-Structure\tC-Structure:(S (N w1-1))\n"
            "ConstSeq\tConstSeq: cs1\n"
            "SL\tSL: sl1\n"
            "TL\tTL: tl1\n"
            "Type\tType: ty1\n"
            "End printing training example.\n"
            "\n"
            "Now handling the following training example:\n"
            "End printing training example.\n"
            "\n"
            "Couldn't parse a next training example.\n");
}

TEST(TrainingExampleReader, AReaderMovedFromReadsNothing) {
  std::istringstream in(Record("1") + Record("2"));
  std::ostringstream out;
  TrainingExampleReader from(in, out);
  EXPECT_EQ(from.Next(), Complete("1"));
  TrainingExampleReader to(std::move(from));
  const std::string listed = out.str();
  ExampleRecord record;
  // NOLINTNEXTLINE(bugprone-use-after-move): what is tested.
  EXPECT_FALSE(from.NextRecord(record));
  EXPECT_TRUE(from.Next().empty());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(out.str(), listed);
  EXPECT_EQ(to.Next(), Complete("2"));
}

TEST(TrainingExampleReader, ReturnsEmptyMapsOnceTheInputHasFailed) {
  std::istringstream in(Record("1"));
  std::ostringstream out;
  TrainingExampleReader reader(in, out);
  EXPECT_EQ(reader.Next(), Complete("1"));
  for (int call = 0; call < 3; ++call) EXPECT_TRUE(reader.Next().empty());
}

TEST(GetNextSentencePairDeathTest, UnreadableInputEndsTheProcess) {
  EXPECT_EXIT(GetNextSentencePair("/nonexistent/training.txt"),
              ::testing::ExitedWithCode(1), "^Couldn't open training file.\n$");
  EXPECT_EXIT(GetNextSentencePair("/"), ::testing::ExitedWithCode(1),
              "^Couldn't open training file.\n$");
  const std::string path = testsupport::TempPath("overlong.txt");
  testsupport::WriteFile(path, Record("1") + "\n\n" + std::string(100000, 'x'));
  EXPECT_EXIT(
      {
        GetNextSentencePair(path.c_str());
        GetNextSentencePair(path.c_str());
      },
      ::testing::ExitedWithCode(1),
      "^Line 13 of the training file is longer than 99,999 bytes.\n$");
}

}  // namespace
