// Black-box tests of extract_patterns: the built program runs as a child
// process; what it writes is held against the in-process extractor, which
// PatternExtractorTest checks by hand.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <sstream>
#include <string>
#include <vector>

#include "PatternExtractor.h"
#include "support/ChildProcess.h"
#include "support/RecordBuilder.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ChildRun;
using testsupport::ChildStdout;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::TempPath;
using testsupport::WriteFile;

const char kUsage[] =
    "Usage: extract_patterns [--consistent] InFile [OutFile].\n";

ChildRun ExtractPatterns(const std::vector<std::string>& args,
                         ChildStdout mode = ChildStdout::ToFile) {
  std::vector<std::string> argv{"extract_patterns"};
  argv.insert(argv.end(), args.begin(), args.end());
  return testsupport::RunChild(EXTRACT_PATTERNS_BIN, argv, {mode});
}

std::string Example() {
  return std::string(ANNOTATOR_EXAMPLES) + "/training-examples.txt";
}

// The patterns of every record of `input` that gives some.
std::string Expected(const std::string& input, bool consistentOnly = false) {
  std::istringstream in(input);
  std::ostream listing(nullptr);
  TrainingExampleReader reader(in, listing);
  PatternExtractor extractor(consistentOnly);
  std::string patterns;
  std::string reason;
  for (ExampleFieldMap example = reader.Next(); example.size() == 6;
       example = reader.Next()) {
    extractor.AppendPatterns(example, patterns, reason);
  }
  return patterns;
}

std::string Record(const std::string& alignment,
                   const std::string& cStructure) {
  testsupport::RecordLines record;
  record.Alignment = alignment;
  record.CStructure = cStructure;
  return record.Text();
}

const std::string kGood =
    Record("Alignment: ((1,1),(2,2))", "C-Structure:(NP (DT a-1) (NN dog-2))");
const std::string kOther = Record("Alignment: ((1,2),(2,1))",
                                  "C-Structure:(NP (DT a-1) (N (NN dog-2)))");

TEST(ExtractPatternsCli, WritesOnlyPatternsToOutFileOrStandardOutput) {
  const std::string input = ReadFile(Example());
  const std::string all = Expected(input);
  const std::string consistent = Expected(input, true);
  ASSERT_NE(all, consistent);
  const std::string outFile = TempPath("patterns.txt");
  struct UseCase {
    std::vector<std::string> Args;
    std::string StdoutText;
    std::string FileText;
  };
  const UseCase cases[] = {
      {{Example()}, all, ""},
      {{Example(), "-"}, all, ""},
      {{Example(), outFile}, "", all},
      {{"--consistent", Example()}, consistent, ""},
      {{"--consistent", Example(), outFile}, "", consistent},
  };
  for (const UseCase& c : cases) {
    SCOPED_TRACE(c.Args.back());
    std::remove(outFile.c_str());
    const ChildRun run = ExtractPatterns(c.Args);
    EXPECT_EQ(run.ExitStatus, 0);
    EXPECT_EQ(run.Stderr, "");
    EXPECT_EQ(run.Stdout, c.StdoutText);
    EXPECT_EQ(ReadFile(outFile), c.FileText);
  }
}

TEST(ExtractPatternsCli, SkipsBadRecordsInOrderAndWritesAllTheOthers) {
  struct SkipCase {
    const char* Name;
    std::string Input;
    std::string StderrText;
  };
  const std::string noTree = Record("Alignment: ((1,1))", "C-Structure:NP");
  const std::string unclosed =
      Record("Alignment: ((1,1))", "C-Structure:(NP (DT a-1) (NN dog-2)");
  const std::string pastTL =
      Record("Alignment: ((1,1),(2,3))", "C-Structure:(NP (DT a-1))");
  const SkipCase cases[] = {
      {"no tree", kGood + noTree + kOther,
       "Record 2: malformed C-structure: NP\n"},
      {"unclosed", kGood + unclosed + kOther,
       "Record 2: malformed C-structure: (NP (DT a-1) (NN dog-2)\n"},
      {"past the TL words", kGood + pastTL + kOther,
       "Record 2: TL Index 3 exceeds TL sentence length.\n"},
      // Lines between records are no records.
      {"two, numbered by record", kGood + "junk\n" + pastTL + kOther + unclosed,
       "Record 2: TL Index 3 exceeds TL sentence length.\n"
       "Record 4: malformed C-structure: (NP (DT a-1) (NN dog-2)\n"},
  };
  const std::string inFile = TempPath("in.txt");
  for (const SkipCase& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFile(inFile, c.Input);
    const ChildRun run = ExtractPatterns({inFile});
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, c.StderrText);
    EXPECT_EQ(run.Stdout, Expected(kGood + kOther));
  }
}

TEST(ExtractPatternsCli, OverlongLineEndsTheRunAfterTheRecordsBeforeIt) {
  const std::string inFile = TempPath("in.txt");
  // Line 12 is the second record's SL line.
  WriteFile(inFile, kGood + "SentenceIndex: 2\n" + std::string(100000, 'x') +
                        "\n" + kOther);
  const ChildRun run = ExtractPatterns({inFile});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_EQ(run.Stderr,
            "Line 12 of the training file is longer than 99,999 bytes.\n");
  EXPECT_EQ(run.Stdout, Expected(kGood));
}

TEST(ExtractPatternsCli, ReadsAWindowsFileAsItsUnixTwin) {
  // The unclosed tree makes a message that names its text.
  const std::string unix =
      ReadFile(Example()) +
      Record("Alignment: ((1,1))", "C-Structure:(NP (DT a-1)") + kGood;
  const std::string unixFile = TempPath("unix.txt");
  const std::string windowsFile = TempPath("windows.txt");
  WriteFile(unixFile, unix);
  WriteFile(windowsFile, testsupport::WindowsLineEnds(unix));

  const ChildRun unixRun = ExtractPatterns({unixFile});
  const ChildRun windowsRun = ExtractPatterns({windowsFile});

  EXPECT_EQ(unixRun.ExitStatus, 1);
  EXPECT_EQ(windowsRun.ExitStatus, unixRun.ExitStatus);
  EXPECT_EQ(windowsRun.Stderr, unixRun.Stderr);
  EXPECT_TRUE(windowsRun.Stdout == unixRun.Stdout) << "patterns differ";
}

TEST(ExtractPatternsCli, AnyOtherUsePrintsUsageAndTouchesNoFile) {
  const std::string outFile = TempPath("out.txt");
  const std::vector<std::vector<std::string>> uses = {
      {},
      {"--consistent"},
      {Example(), outFile, "extra"},
      {"--help", Example()},
      {Example(), "--consistent"},
      {"--consistent", "--consistent", Example()},
      {"-c", Example(), outFile},
  };
  for (const auto& args : uses) {
    SCOPED_TRACE(::testing::PrintToString(args));
    std::remove(outFile.c_str());
    const ChildRun run = ExtractPatterns(args);
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, kUsage);
    EXPECT_EQ(run.Stdout, "");
    EXPECT_FALSE(FileExists(outFile));
  }
}

TEST(ExtractPatternsCli, FileErrorsEndTheRunAndSpareTheFiles) {
  const std::string inFile = TempPath("in.txt");
  const std::string outFile = TempPath("out.txt");
  const std::string directory = TempPath("dir");
  ::mkdir(directory.c_str(), 0755);
  struct FileCase {
    const char* Name;
    std::vector<std::string> Args;
    std::string StderrText;
  };
  std::vector<FileCase> cases = {
      {"missing input",
       {TempPath("missing.txt"), outFile},
       "Couldn't open training file.\n"},
      {"input is a directory",
       {directory, outFile},
       "Couldn't open training file.\n"},
      {"same file",
       {inFile, inFile},
       "InFile and OutFile name the same file.\n"},
      // Both programs check one file named twice before the input itself.
      {"same directory",
       {directory, directory},
       "InFile and OutFile name the same file.\n"},
      {"output in no directory",
       {inFile, TempPath("no/such/dir/out.txt")},
       "Couldn't open outfile.\n"},
  };
  if (FileExists("/dev/full")) {
    cases.push_back(
        {"full disk", {inFile, "/dev/full"}, "Couldn't write outfile.\n"});
  }
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFile(inFile, kGood);
    WriteFile(outFile, "kept\n");
    const ChildRun run = ExtractPatterns(c.Args);
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, c.StderrText);
    EXPECT_EQ(run.Stdout, "");
    EXPECT_EQ(ReadFile(inFile), kGood);
    EXPECT_EQ(ReadFile(outFile), "kept\n");
  }
}

TEST(ExtractPatternsCli, EndsQuietlyWhenTheReaderOfItsOutputIsGone) {
  const ChildRun run = ExtractPatterns({Example()}, ChildStdout::ReaderGone);
  EXPECT_EQ(run.Signal, SIGPIPE);
  EXPECT_EQ(run.Stderr, "");
}

}  // namespace
