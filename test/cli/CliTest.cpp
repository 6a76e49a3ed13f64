// Black-box tests: the built program runs as a child process, and its output
// file, standard output, standard error and exit status are compared byte for
// byte with what a run must give.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/RecordBuilder.h"
#include "support/TestSupport.h"

namespace {

using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::ReplaceLine;
using testsupport::TempPath;
using testsupport::WriteFile;

using testsupport::ChildOptions;
using testsupport::ChildRun;
using StdoutMode = testsupport::ChildStdout;

ChildRun RunProgram(const std::string& binary,
                    const std::vector<std::string>& argv,
                    const ChildOptions& options = {}) {
  return testsupport::RunChild(binary, argv, options);
}

ChildRun RunProgram(const std::vector<std::string>& argv,
                    const ChildOptions& options = {}) {
  return RunProgram(ANNOTATOR_BIN, argv, options);
}

// The usual invocation: `annotator inFile outFile`.
ChildRun Annotate(const std::string& inFile, const std::string& outFile,
                  const ChildOptions& options = {}) {
  return RunProgram({"annotator", inFile, outFile}, options);
}

std::string DataPath(const std::string& name) {
  return std::string(ANNOTATOR_TEST_DATA) + "/" + name;
}

// The six fields of one example, each a whole line with its label.
using Fields = std::map<std::string, std::string>;

Fields Example(const std::string& sl, const std::string& tl,
               const std::string& alignment, const std::string& type,
               const std::string& cStructure, const std::string& constSeq) {
  return {{"SL", sl},
          {"TL", tl},
          {"Alignment", alignment},
          {"Type", type},
          {"C-Structure", cStructure},
          {"ConstSeq", constSeq}};
}

// A ten-line input record as another tool would write it.
std::string InputRecord(const Fields& f) {
  testsupport::RecordLines record;
  record.SL = f.at("SL");
  record.TL = f.at("TL");
  record.Alignment = f.at("Alignment");
  record.Type = f.at("Type");
  record.CStructure = f.at("C-Structure");
  record.ConstSeq = f.at("ConstSeq");
  return record.Text();
}

std::string AnnotatedRecord(const Fields& f, int score) {
  return "SentenceIndex:\n" + f.at("SL") + "\n" + f.at("TL") + "\n" +
         f.at("Alignment") + "\n" + f.at("Type") +
         "\nCoEmbeddingScore: " + std::to_string(score) + "\n" +
         f.at("C-Structure") + "\n" + f.at("ConstSeq") +
         "\nXSideConstraints:\n\n";
}

// What the reader lists for the map it returns.
std::string ReaderListing(const Fields& f) {
  std::string listing = "Now handling the following training example:\n";
  for (const auto& [key, value] : f) {
    listing.append(key).append("\t").append(value).append("\n");
  }
  listing += "End printing training example.\n\n";
  if (f.size() != 6) listing += "Couldn't parse a next training example.\n";
  return listing;
}

// Both listings of a complete example: the reader's, then the loop's.
std::string Listing(const Fields& f) {
  std::string listing = ReaderListing(f) + "Printing new training example:\n";
  for (const auto& [key, value] : f) {
    if (key == "SL") listing += "DebugSL:|" + value + "\n";
    listing.append("|").append(key).append("|:|").append(value).append("|\n");
  }
  return listing;
}

const std::string kNoMoreExamples = "Couldn't produce a training example.\n";
// How every run that reads to the end of its input ends its listing.
const std::string kEndOfInput = ReaderListing({}) + kNoMoreExamples;

// "( " n times, then ")" n times: n constituents, each inside the one before,
// in the fewest characters a constituent can take (a label needs the blank
// after it, and a text without its own ")" is malformed).
std::string Nested(int levels) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += "( ";
  return text + std::string(static_cast<std::size_t>(levels), ')');
}

// The offsets in `annotated` at which a record ends, 0 included.
std::vector<std::size_t> RecordEnds(const std::string& annotated) {
  std::vector<std::size_t> ends = {0};
  std::size_t lines = 0;
  for (std::size_t at = 0; at < annotated.size(); ++at) {
    if (annotated[at] == '\n' && ++lines % 10 == 0) ends.push_back(at + 1);
  }
  return ends;
}

// The offsets in `patterns` at which a pattern ends, 0 included: before
// each "SentenceIndex:" line but the first, and at the end.
std::vector<std::size_t> PatternEnds(const std::string& patterns) {
  std::vector<std::size_t> ends = {0};
  const std::string header = "\nSentenceIndex:\n";
  for (std::size_t at = patterns.find(header); at != std::string::npos;
       at = patterns.find(header, at + 1)) {
    ends.push_back(at + 1);
  }
  if (!patterns.empty()) ends.push_back(patterns.size());
  return ends;
}

// Each program that writes whole units to an OutFile: annotator's records,
// extract_patterns' patterns, make_examples' records. make_examples reads
// the corpus inFile stands for: inFile.ptb, inFile.tl and inFile.align.
struct Program {
  const char* Name;
  const char* Binary;
  std::vector<std::size_t> (*UnitEnds)(const std::string&);

  bool MakesExamples() const {
    return Binary == std::string(MAKE_EXAMPLES_BIN);
  }
  // The input among a record file and a corpus that this program reads.
  std::string Input(const std::string& records,
                    const std::string& corpus) const {
    return MakesExamples() ? corpus : records;
  }
  std::vector<std::string> Argv(const std::string& inFile,
                                const std::string& outFile) const {
    if (MakesExamples()) {
      return {Name, inFile + ".ptb", inFile + ".tl", inFile + ".align",
              outFile};
    }
    return {Name, inFile, outFile};
  }
  ChildRun Run(const std::string& inFile, const std::string& outFile,
               const ChildOptions& options) const {
    return RunProgram(Binary, Argv(inFile, outFile), options);
  }
  bool IsAnnotator() const { return Binary == std::string(ANNOTATOR_BIN); }
  // What a failed write of `outFile` ("" for standard output) says: annotator
  // names nothing, the others the file and the system's `reason`.
  std::string WriteFailed(const std::string& outFile,
                          const std::string& reason) const {
    if (IsAnnotator()) return "Couldn't write outfile.\n";
    return "Couldn't write " +
           (outFile.empty() ? "standard output" : "outfile " + outFile) + ": " +
           reason + ".\n";
  }
};

const Program kPrograms[] = {
    {"annotator", ANNOTATOR_BIN, RecordEnds},
    {"extract_patterns", EXTRACT_PATTERNS_BIN, PatternEnds},
    {"make_examples", MAKE_EXAMPLES_BIN, RecordEnds},
};

// Writes the corpus `base` stands for (see Program): `sentences` trees, from
// one word to `deepest` levels deep in turn, with their TL lines and links.
void WriteCorpus(const std::string& base, int sentences, int deepest) {
  std::string trees, tl, links;
  for (int i = 0; i < sentences; ++i) {
    const std::size_t levels = 1 + static_cast<std::size_t>(i % deepest);
    for (std::size_t level = 0; level < levels; ++level) trees += "(NP ";
    trees += "(DT the) (NN cat" + std::to_string(i) + ")";
    trees += std::string(levels, ')') + "\n";
    tl += "le chat\n";
    links += "1-1 0-0\n";
  }
  WriteFile(base + ".ptb", trees);
  WriteFile(base + ".tl", tl);
  WriteFile(base + ".align", links);
}

// --- Recorded runs -------------------------------------------------------

struct RecordedCase {
  const char* Name;  // test/data/<Name>.{in,out,stdout,stderr}.txt
  int ExitStatus;
};

const RecordedCase kRecordedCases[] = {
    {"one-record", 0},
    {"several-records", 0},
    {"empty", 0},
    {"junk-between-records", 0},
    {"cut-before-cstructure", 0},
    {"cut-after-cstructure", 0},
    {"no-final-newline", 0},
    {"missing-trailing-lines", 0},
    {"header-in-constseq", 0},
    {"crlf", 0},
    {"malformed-after-good", 1},
    {"blank-after-label", 1},
    {"empty-cstructure", 1},
    {"unmatched-paren", 1},
};

TEST(AnnotatorCli, MatchesRecordedRunsByteForByte) {
  for (const RecordedCase& c : kRecordedCases) {
    SCOPED_TRACE(c.Name);
    const std::string base = DataPath(c.Name);
    for (const char* part :
         {".in.txt", ".out.txt", ".stdout.txt", ".stderr.txt"}) {
      ASSERT_TRUE(FileExists(base + part)) << base + part;
    }
    const std::string outFile = TempPath(std::string(c.Name) + ".out");
    WriteFile(outFile, "stale content from an earlier run\n");

    const ChildRun run = Annotate(base + ".in.txt", outFile);

    EXPECT_EQ(run.ExitStatus, c.ExitStatus);
    EXPECT_EQ(run.Stdout, ReadFile(base + ".stdout.txt"));
    EXPECT_EQ(run.Stderr, ReadFile(base + ".stderr.txt"));
    EXPECT_EQ(ReadFile(outFile), ReadFile(base + ".out.txt"));
  }
}

TEST(AnnotatorCli, RerunOverItsOwnOutputReproducesItByteForByte) {
  for (const RecordedCase& c : kRecordedCases) {
    SCOPED_TRACE(c.Name);
    const std::string first = TempPath(std::string(c.Name) + ".first");
    const std::string second = TempPath(std::string(c.Name) + ".second");
    Annotate(DataPath(std::string(c.Name) + ".in.txt"), first);

    // Even a run that ended on a malformed tree leaves whole records only.
    const ChildRun rerun = Annotate(first, second);

    EXPECT_EQ(rerun.ExitStatus, 0);
    EXPECT_EQ(rerun.Stderr, "");
    EXPECT_EQ(ReadFile(second), ReadFile(first));
  }
}

// --- Command line and files ----------------------------------------------

TEST(AnnotatorCli, WrongArgumentCountPrintsUsageAndTouchesNoFile) {
  const std::string existing = TempPath("existing.txt");
  const std::string absent = TempPath("absent.txt");
  const std::string content = ReadFile(DataPath("one-record.in.txt"));
  const std::vector<std::vector<std::string>> argumentLists = {
      {},
      {existing},
      {"--help"},
      {existing, absent, "extra"},
      {absent, existing, existing},
  };
  for (const auto& arguments : argumentLists) {
    std::string shown;
    for (const std::string& arg : arguments) shown += " " + arg;
    SCOPED_TRACE("arguments:" + shown);
    WriteFile(existing, content);
    std::vector<std::string> argv = {"annotator"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());

    const ChildRun run = RunProgram(argv);

    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, "Usage: annotator InFile OutFile.\n");
    EXPECT_EQ(run.Stdout, "");
    EXPECT_EQ(ReadFile(existing), content);
    EXPECT_FALSE(FileExists(absent));
  }
}

TEST(AnnotatorCli, UsageNamesTheWordTheProgramWasInvokedBy) {
  EXPECT_EQ(RunProgram({"/opt/tools/annotate-v2"}).Stderr,
            "Usage: /opt/tools/annotate-v2 InFile OutFile.\n");
  // Started without even an invocation name, there is no word to show.
  const ChildRun bare = RunProgram({});
  EXPECT_EQ(bare.ExitStatus, 1);
  EXPECT_EQ(bare.Stderr, "Usage:  InFile OutFile.\n");
}

TEST(AnnotatorCli, UnreadableInputLeavesTheOutputAsItWas) {
  const std::string directory = TempPath("a-directory");
  ::mkdir(directory.c_str(), 0755);
  const std::string outFile = TempPath("out.txt");
  struct Case {
    const char* What;
    std::string InFile;
    std::string OutFile;
    bool OutFileExists;
  };
  const Case cases[] = {
      {"missing input, new output", TempPath("missing.txt"), outFile, false},
      {"missing input, existing output", TempPath("missing.txt"), outFile,
       true},
      {"directory as input", directory, outFile, true},
      // The input is opened first, so its failure is the one reported.
      {"output unopenable as well", TempPath("missing.txt"), directory, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    std::remove(outFile.c_str());
    if (c.OutFileExists) WriteFile(outFile, "earlier annotations\n");

    const ChildRun run = Annotate(c.InFile, c.OutFile);

    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, "Couldn't open training file.\n");
    EXPECT_EQ(run.Stdout, "");
    EXPECT_EQ(FileExists(outFile), c.OutFileExists);
    if (c.OutFileExists) {
      EXPECT_EQ(ReadFile(outFile), "earlier annotations\n");
    }
  }
}

TEST(AnnotatorCli, UnopenableOutputFailsBeforeInputIsRead) {
  const std::string directory = TempPath("out-directory");
  ::mkdir(directory.c_str(), 0755);
  const std::string goodInput = DataPath("one-record.in.txt");
  for (const std::string& outFile :
       {TempPath("no-such-dir") + "/out.txt", directory}) {
    SCOPED_TRACE(outFile);
    const ChildRun run = Annotate(goodInput, outFile);
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, "Couldn't open outfile.\n");
    EXPECT_EQ(run.Stdout, "");
  }
}

TEST(AnnotatorCli, RefusesInputAndOutputThatNameOneFileAndLeavesItAlone) {
  const std::string inFile = TempPath("in.txt");
  const std::string content = ReadFile(DataPath("several-records.in.txt"));
  const std::string hardLink = TempPath("hard-link.txt");
  const std::string symLink = TempPath("sym-link.txt");
  const std::size_t slash = inFile.rfind('/');
  struct Case {
    const char* What;
    std::string OutFile;
  };
  const Case cases[] = {
      {"same path", inFile},
      {"same file through a dot",
       inFile.substr(0, slash + 1) + "./" + inFile.substr(slash + 1)},
      {"hard link", hardLink},
      {"symbolic link", symLink},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    std::remove(inFile.c_str());
    std::remove(hardLink.c_str());
    std::remove(symLink.c_str());
    WriteFile(inFile, content);
    ASSERT_EQ(::link(inFile.c_str(), hardLink.c_str()), 0);
    ASSERT_EQ(::symlink(inFile.c_str(), symLink.c_str()), 0);

    const ChildRun run = Annotate(inFile, c.OutFile);

    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, "InFile and OutFile name the same file.\n");
    EXPECT_EQ(run.Stdout, "");
    EXPECT_EQ(ReadFile(inFile), content);
  }
}

TEST(AnnotatorCli, FailedWriteOfOutputEndsTheRunWithStatusOne) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  const std::string recorded = ReadFile(DataPath("one-record.stdout.txt"));
  ASSERT_GE(recorded.size(), kEndOfInput.size());
  // The first record is listed, then its write fails.
  const std::string listed =
      recorded.substr(0, recorded.size() - kEndOfInput.size());

  const ChildRun run = Annotate(DataPath("one-record.in.txt"), "/dev/full");

  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_EQ(run.Stderr, "Couldn't write outfile.\n");
  EXPECT_EQ(run.Stdout, listed);
}

TEST(AnnotatorCli, WritesEveryRecordWhenStandardOutputIsClosedOrUnread) {
  const std::string corpus = TempPath("corpus");
  WriteCorpus(corpus, 10, 3);
  const std::string outFile = TempPath("out.txt");
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(program.Name);
    const std::string inFile =
        program.Input(DataPath("several-records.in.txt"), corpus);
    ASSERT_EQ(program.Run(inFile, outFile, {}).ExitStatus, 0);
    const std::string expected = ReadFile(outFile);
    ASSERT_FALSE(expected.empty());
    for (StdoutMode mode :
         {StdoutMode::Closed, StdoutMode::ReaderGone, StdoutMode::DevNull}) {
      SCOPED_TRACE(static_cast<int>(mode));
      std::remove(outFile.c_str());

      const ChildRun run = program.Run(inFile, outFile, {mode});

      EXPECT_EQ(run.Signal, 0);
      EXPECT_EQ(run.ExitStatus, 0);
      EXPECT_EQ(run.Stderr, "");
      EXPECT_EQ(ReadFile(outFile), expected);
    }
  }
}

TEST(AnnotatorCli, ListsNothingWhenStandardOutputIsOutFileItself) {
  const std::string inFile = DataPath("several-records.in.txt");
  const std::string expected = ReadFile(DataPath("several-records.out.txt"));
  const std::string outFile = TempPath("out.txt");
  const std::string elsewhere = TempPath("listing.txt");
  struct Case {
    const char* Redirect;  // $2 is OutFile, $3 another file
    std::string Listed;    // what lands in the other file
  };
  const Case cases[] = {
      {"> \"$2\"", ""},
      {">> \"$2\"", ""},
      {"> \"$3\"", ReadFile(DataPath("several-records.stdout.txt"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Redirect);
    std::remove(outFile.c_str());
    std::remove(elsewhere.c_str());

    const ChildRun run = testsupport::RunChild(
        "/bin/sh",
        {"sh", "-c", std::string("\"$0\" \"$1\" \"$2\" ") + c.Redirect,
         ANNOTATOR_BIN, inFile, outFile, elsewhere});

    EXPECT_EQ(run.ExitStatus, 0);
    EXPECT_EQ(run.Stderr, "");
    EXPECT_EQ(ReadFile(outFile), expected);
    EXPECT_EQ(ReadFile(elsewhere), c.Listed);
  }
}

// --- Windows line ends ------------------------------------------------------

TEST(AnnotatorCli, AnnotatesAWindowsFileAsItsUnixTwin) {
  for (const std::string name :
       {"several-records", "junk-between-records", "malformed-after-good"}) {
    SCOPED_TRACE(name);
    const std::string unixFile = DataPath(name + ".in.txt");
    const std::string windowsFile = TempPath("windows.txt");
    WriteFile(windowsFile, testsupport::WindowsLineEnds(ReadFile(unixFile)));
    const std::string unixOut = TempPath("unix.out");
    const std::string windowsOut = TempPath("windows.out");

    const ChildRun unixRun = Annotate(unixFile, unixOut);
    const ChildRun windowsRun = Annotate(windowsFile, windowsOut);

    EXPECT_EQ(windowsRun.ExitStatus, unixRun.ExitStatus);
    EXPECT_EQ(windowsRun.Stdout, unixRun.Stdout);
    EXPECT_EQ(windowsRun.Stderr, unixRun.Stderr);
    EXPECT_EQ(ReadFile(windowsOut), ReadFile(unixOut));
  }
}

// --- Long and deep lines, generated ----------------------------------------

const Fields& GoodExample() {
  static const Fields good = Example(
      "SL: a/dt cat/nn", "TL: un chat", "Alignment: ((1,1),(2,2))", "Type: NP",
      "C-Structure:(NP (DT a-1) (NN cat-2))", "ConstSeq: DT NN");
  return good;
}
const int kGoodScore = 2;

Fields WithField(const std::string& key, std::string value) {
  Fields f = GoodExample();
  f[key] = std::move(value);
  return f;
}

// A ConstSeq line of exactly `length` bytes.
std::string ConstSeqOf(std::size_t length) {
  const std::string label = "ConstSeq: ";
  return label + std::string(length - label.size(), 'N');
}

TEST(AnnotatorCli, ReadsLinesOf99999BytesWhole) {
  const Fields& good = GoodExample();
  // 33,333 levels fill exactly 99,999 bytes; with the label in front the
  // root's "(" belongs to its label, leaving room for 33,329 levels.
  const Fields deepest = WithField("C-Structure", Nested(33333));
  const Fields deepestLabelled =
      WithField("C-Structure", "C-Structure:" + Nested(33329));
  ASSERT_EQ(deepest.at("C-Structure").size(), 99999u);
  ASSERT_EQ(deepestLabelled.at("C-Structure").size(), 99999u);
  const Fields longConstSeq = WithField("ConstSeq", ConstSeqOf(99999));
  const std::string lastRecord = InputRecord(longConstSeq);

  struct Case {
    const char* What;
    std::string Input;
    std::string Output;
    std::string Listed;
  };
  const std::vector<Case> cases = {
      {"deepest tree", InputRecord(deepest), AnnotatedRecord(deepest, 33333),
       Listing(deepest) + kEndOfInput},
      {"deepest tree behind its label", InputRecord(deepestLabelled),
       AnnotatedRecord(deepestLabelled, 33329),
       Listing(deepestLabelled) + kEndOfInput},
      {"ConstSeq", lastRecord + InputRecord(good),
       AnnotatedRecord(longConstSeq, kGoodScore) +
           AnnotatedRecord(good, kGoodScore),
       Listing(longConstSeq) + Listing(good) + kEndOfInput},
      {"ConstSeq as the last line, without a line end",
       lastRecord.substr(0, lastRecord.find("\nXSideConstraints:")),
       AnnotatedRecord(longConstSeq, kGoodScore),
       Listing(longConstSeq) + kEndOfInput},
      {"ConstSeq in a Windows file, its CR not counted",
       testsupport::WindowsLineEnds(lastRecord + InputRecord(good)),
       AnnotatedRecord(longConstSeq, kGoodScore) +
           AnnotatedRecord(good, kGoodScore),
       Listing(longConstSeq) + Listing(good) + kEndOfInput},
      {"junk line between records",
       InputRecord(good) + std::string(99999, '#') + "\n" + InputRecord(good),
       AnnotatedRecord(good, kGoodScore) + AnnotatedRecord(good, kGoodScore),
       Listing(good) + Listing(good) + kEndOfInput},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    const std::string inFile = TempPath("in.txt");
    const std::string outFile = TempPath("out.txt");
    const std::string rerunFile = TempPath("rerun.txt");
    WriteFile(inFile, c.Input);

    const ChildRun run = Annotate(inFile, outFile);

    EXPECT_EQ(run.ExitStatus, 0);
    EXPECT_EQ(run.Stderr, "");
    EXPECT_TRUE(run.Stdout == c.Listed) << "standard output differs";
    const std::string written = ReadFile(outFile);
    EXPECT_TRUE(written == c.Output) << "output file differs";
    EXPECT_EQ(Annotate(outFile, rerunFile).ExitStatus, 0);
    EXPECT_TRUE(ReadFile(rerunFile) == written) << "rerun differs";
  }
}

TEST(AnnotatorCli, StopsWithAMessageAtALineOf100000BytesOrMore) {
  const Fields& good = GoodExample();
  // Lines 1 to 10 are the first record, 11 a comment, 12 to 21 the second.
  const std::string input =
      InputRecord(good) + "# a comment\n" + InputRecord(good);
  struct Case {
    const char* What;
    std::size_t Line;
    std::string Replacement;
  };
  const std::vector<Case> cases = {
      {"the file's first line", 1, std::string(100000, 'x')},
      {"an SL line", 2, std::string(100000, 'x')},
      {"a ConstSeq line", 8, ConstSeqOf(100000)},
      // Only the CR right before the newline is the line end's.
      {"a ConstSeq line with a CR of its own", 8, ConstSeqOf(99999) + "\r\r"},
      {"a record's last line", 10, std::string(100001, 'x')},
      {"a line between records", 11, std::string(100000, '#')},
      {"a header", 12, "SentenceIndex:" + std::string(99986, ' ')},
      {"a tree", 18, "C-Structure:" + Nested(33330)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    ASSERT_GE(c.Replacement.size(), 100000u);
    const std::string inFile = TempPath("in.txt");
    const std::string outFile = TempPath("out.txt");
    WriteFile(inFile, ReplaceLine(input, c.Line, c.Replacement));

    const ChildRun run = Annotate(inFile, outFile);

    // The records before it are written whole; nothing of its own record.
    const bool firstRecordDone = c.Line > 10;
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, "Line " + std::to_string(c.Line) +
                              " of the training file is longer than 99,999 "
                              "bytes.\n");
    EXPECT_EQ(run.Stdout, firstRecordDone ? Listing(good) : "");
    EXPECT_EQ(ReadFile(outFile),
              firstRecordDone ? AnnotatedRecord(good, kGoodScore) : "");
  }
}

// --- Whole records only ---------------------------------------------------

// A record whose tree nests `levels` labelled constituents over one leaf:
// its patterns add up to megabytes from a line of kilobytes.
std::string DeepRecord(int levels) {
  std::string tree = "C-Structure:";
  for (int i = 0; i < levels; ++i) tree += "(A ";
  tree += "(N a-1)" + std::string(static_cast<std::size_t>(levels), ')');
  return InputRecord(WithField("C-Structure", tree));
}

TEST(AnnotatorCli, FileSizeLimitInsideARecordLeavesTheRecordsBeforeIt) {
  // Patterns leave about a megabyte at a time: the limit must fall inside
  // later writes too, so they come by the megabyte.
  const std::string deepFile = TempPath("deep.txt");
  WriteFile(deepFile, InputRecord(GoodExample()) + DeepRecord(1500));
  const std::string corpus = TempPath("corpus");
  WriteCorpus(corpus, 3000, 40);
  const std::string outFile = TempPath("out.txt");
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(program.Name);
    const std::string input =
        program.Input(program.Binary == std::string(ANNOTATOR_BIN)
                          ? DataPath("several-records.in.txt")
                          : deepFile,
                      corpus);
    ASSERT_EQ(program.Run(input, outFile, {}).ExitStatus, 0);
    const std::string expected = ReadFile(outFile);
    const std::vector<std::size_t> ends = program.UnitEnds(expected);
    ASSERT_GE(ends.size(), 4u);
    const std::size_t step = std::max<std::size_t>(1, ends.size() / 6);
    for (std::size_t whole = 0; whole + 1 < ends.size(); whole += step) {
      SCOPED_TRACE(whole);
      const std::size_t limit = (ends[whole] + ends[whole + 1]) / 2;

      const ChildRun run =
          program.Run(input, outFile, {StdoutMode::ToFile, limit});

      EXPECT_EQ(run.Signal, 0);
      EXPECT_EQ(run.ExitStatus, 1);
      // The limit holds for standard error too, a file here: the message
      // may be cut, never changed.
      const std::string said = program.WriteFailed(outFile, "File too large");
      EXPECT_FALSE(run.Stderr.empty());
      EXPECT_EQ(run.Stderr, said.substr(0, run.Stderr.size()));
      EXPECT_TRUE(ReadFile(outFile) == expected.substr(0, ends[whole]))
          << ReadFile(outFile).size() << " bytes";
    }
  }
}

// Tens of megabytes of records of the lengths real corpora have, a few
// hundred bytes to a few kilobytes. Built in place: tests run unoptimised.
std::string GeneratedCorpus(std::size_t bytes) {
  const std::size_t deepest = 400;
  std::string opens;
  for (std::size_t i = 0; i < deepest; ++i) opens += "( ";
  const std::string closes(deepest, ')');
  const std::string head =
      InputRecord(GoodExample())
          .substr(0, InputRecord(GoodExample()).find("C-Structure:"));
  const std::string tail = "\nConstSeq: DT NN\nXSideConstraints:\n\n";
  std::mt19937 random(7);
  std::uniform_int_distribution<std::size_t> size(1, deepest);
  std::string corpus;
  corpus.reserve(bytes + 4 * deepest);
  while (corpus.size() < bytes) {
    const std::size_t levels = size(random);
    corpus.append(head).append(opens, 0, 2 * levels);
    corpus.append(closes, 0, levels).append(tail);
    corpus.append("SentenceIndex:\nSL: ").append(2 * size(random), 'w');
    corpus.append(head, head.find("\nTL:"));
    corpus.append(GoodExample().at("C-Structure")).append(tail);
  }
  return corpus;
}

TEST(AnnotatorCli, KilledRunLeavesOnlyWholeRecords) {
  const std::string recordsFile = TempPath("records.txt");
  const std::string patternsFile = TempPath("patterns.txt");
  const std::string outFile = TempPath("out.txt");
  WriteFile(recordsFile, GeneratedCorpus(24 << 20));
  // Tens of megabytes of patterns of a few hundred bytes to tens of
  // kilobytes.
  std::string deep;
  for (int i = 0; i < 100; ++i) {
    deep += InputRecord(GoodExample()) + DeepRecord(300);
  }
  WriteFile(patternsFile, deep);
  // Tens of megabytes of records made from trees.
  const std::string corpus = TempPath("corpus");
  WriteCorpus(corpus, 40000, 100);
  std::mt19937 random(20261208);
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(program.Name);
    const std::string inFile = program.Input(
        program.Binary == std::string(ANNOTATOR_BIN) ? recordsFile
                                                     : patternsFile,
        corpus);
    const auto started = std::chrono::steady_clock::now();
    const ChildRun full = program.Run(inFile, outFile, {StdoutMode::DevNull});
    const auto fullTime = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(full.ExitStatus, 0);
    const std::string expected = ReadFile(outFile);
    const std::vector<std::size_t> ends = program.UnitEnds(expected);

    std::uniform_int_distribution<long long> moment(
        0, std::chrono::duration_cast<std::chrono::microseconds>(fullTime)
               .count());
    for (int kill = 0; kill < 8; ++kill) {
      const int signal = kill % 2 ? SIGKILL : SIGTERM;
      // A signal that comes before the program empties OutFile would
      // otherwise leave the run before it to be judged.
      std::remove(outFile.c_str());
      const pid_t pid = testsupport::StartChild(
          program.Binary, program.Argv(inFile, outFile), {StdoutMode::DevNull});
      std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
      ::kill(pid, signal);
      const ChildRun run = testsupport::FinishChild(pid);

      const std::string written = ReadFile(outFile);
      SCOPED_TRACE("signal " + std::to_string(signal) + " after " +
                   std::to_string(written.size()) + " bytes");
      EXPECT_TRUE(run.Signal == signal || run.ExitStatus == 0);
      EXPECT_TRUE(expected.compare(0, written.size(), written) == 0);
      // SIGKILL may stop the kernel's copy of a unit at a page boundary;
      // nothing else may leave part of one.
      const bool wholeUnits =
          std::binary_search(ends.begin(), ends.end(), written.size());
      const bool pageCut = signal == SIGKILL && written.size() % 4096 == 0;
      EXPECT_TRUE(wholeUnits || pageCut);
    }
  }
}

TEST(AnnotatorCli, OutFileWhoseReaderLeavesIsAFailedWrite) {
  // More output than a pipe holds, so that writes go on after the reader
  // left.
  const std::string inFile = TempPath("in.txt");
  std::string input = GeneratedCorpus(2 << 20);
  for (int i = 0; i < 5; ++i) input += DeepRecord(300);
  WriteFile(inFile, input);
  const std::string corpus = TempPath("corpus");
  WriteCorpus(corpus, 3000, 40);
  const std::string fifo = TempPath("fifo");
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(program.Name);
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opened without waiting for the writer, so that a program that never
    // opens its end cannot hang the test.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_NE(reader, -1);
    const pid_t pid = testsupport::StartChild(
        program.Binary, program.Argv(program.Input(inFile, corpus), fifo),
        {StdoutMode::DevNull});
    pollfd ready{reader, POLLIN, 0};
    EXPECT_EQ(::poll(&ready, 1, 20000), 1);
    char bytes[100];
    EXPECT_GT(::read(reader, bytes, sizeof bytes), 0);
    ::close(reader);

    const ChildRun run = testsupport::FinishChild(pid);

    EXPECT_EQ(run.Signal, 0);
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, program.WriteFailed(fifo, "Broken pipe"));
  }
}

// Records go out in batches of a few hundred kilobytes: a limit in a later
// batch, on a record that a batch edge would split or at a batch's last
// record, still leaves exactly the records before the one it stops. (The
// limit holds for standard output too, so the listing goes to /dev/null.)
TEST(AnnotatorCli, FileSizeLimitInALaterBatchLeavesTheRecordsBeforeIt) {
  const std::string inFile = TempPath("in.txt");
  const std::string outFile = TempPath("out.txt");
  WriteFile(inFile, GeneratedCorpus(3 << 20));
  const ChildRun full = Annotate(inFile, outFile, {StdoutMode::DevNull});
  ASSERT_EQ(full.ExitStatus, 0);
  const std::string expected = ReadFile(outFile);
  const std::vector<std::size_t> ends = RecordEnds(expected);
  // The first record that ends past each megabyte.
  std::vector<std::size_t> past;
  for (std::size_t mb = 1; mb <= 2; ++mb) {
    past.push_back(static_cast<std::size_t>(
        std::upper_bound(ends.begin(), ends.end(), mb << 20) - ends.begin()));
  }
  ASSERT_LT(past.back() + 1, ends.size());
  const std::vector<std::size_t> limits = {
      (ends[past[0] - 1] + ends[past[0]]) / 2,  // inside the straddler
      ends[past[0]] + 1,                        // one byte into the next
      ends[past[1] - 1],                        // right at a record's end
      (ends[past[1]] + ends[past[1] + 1]) / 2,
  };
  for (const std::size_t limit : limits) {
    SCOPED_TRACE(limit);
    const std::size_t whole = static_cast<std::size_t>(
        std::upper_bound(ends.begin(), ends.end(), limit) - ends.begin() - 1);

    const ChildRun run =
        Annotate(inFile, outFile, {StdoutMode::DevNull, limit});

    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, "Couldn't write outfile.\n");
    EXPECT_TRUE(ReadFile(outFile) == expected.substr(0, ends[whole]));
  }
}

// A read of the input that fails (a dying disk, through a shim whose read()
// fails with EIO after so many bytes) ends the run as an over-long line
// does: the records taken before it are written whole, their listing too,
// then the message and status 1; never a crash, never an input taken as
// ended, and not the record the failure cut short, which may end in a line
// cut in two. The records taken are at least those in the reader's pieces
// of 32 KiB read whole before the failure. It falls at the start, inside a
// record, right after a record's last line, at the reader's piece edges,
// where annotator's first batch goes out, and at what would be the end.
// Runs whose reads of `path` fail with EIO after `after` bytes.
ChildOptions FailingRead(const std::string& path, std::size_t after) {
  ChildOptions failing;
  failing.Environment = {
      "LD_PRELOAD=" FAILING_READ_LIB, "ANNOTATOR_FAILING_READ_PATH=" + path,
      "ANNOTATOR_FAILING_READ_AFTER=" + std::to_string(after),
      // The shim comes first in the preload list, before a sanitizer.
      "ASAN_OPTIONS=verify_asan_link_order=0"};
  return failing;
}

TEST(AnnotatorCli, FailedReadOfInputWritesTheRecordsBeforeItAndStatusOne) {
  const std::string record = InputRecord(GoodExample());
  const std::size_t records = (600U << 10) / record.size();
  std::string input;
  for (std::size_t i = 0; i < records; ++i) input += record;
  const std::string inFile = TempPath("in.txt");
  const std::string outFile = TempPath("out.txt");
  WriteFile(inFile, input);
  const std::size_t kPiece = 32U << 10;
  const std::size_t failAfter[] = {
      0,      3 * record.size() + 25,     5 * record.size(), 256U << 10,
      kPiece, kPiece + 2 * record.size(), input.size()};
  for (const Program& program : kPrograms) {
    // Its three files are read line by line: see the test after this one.
    if (program.MakesExamples()) continue;
    SCOPED_TRACE(program.Name);
    const ChildRun full = program.Run(inFile, outFile, {});
    ASSERT_EQ(full.ExitStatus, 0);
    const std::string expected = ReadFile(outFile);
    const std::string listing =
        full.Stdout.substr(0, full.Stdout.size() - kEndOfInput.size());
    for (const std::size_t after : failAfter) {
      SCOPED_TRACE(after);
      // A run that reads no record leaves OutFile as it was: here, absent.
      ::unlink(outFile.c_str());
      const ChildRun run =
          program.Run(inFile, outFile, FailingRead(inFile, after));

      EXPECT_EQ(run.Signal, 0);
      EXPECT_EQ(run.ExitStatus, 1);
      EXPECT_EQ(run.Stderr, program.IsAnnotator()
                                ? "Couldn't read training file.\n"
                                : "Couldn't read training file " + inFile +
                                      ": Input/output error.\n");
      // Every record gives the same output, so whole records are a multiple
      // of one record's share.
      const std::string written = ReadFile(outFile);
      const std::size_t taken = written.size() / (expected.size() / records);
      EXPECT_TRUE(written == expected.substr(0, written.size()));
      EXPECT_EQ(written.size() % (expected.size() / records), 0U);
      EXPECT_LE(taken, after / record.size());
      EXPECT_GE(taken, after / kPiece * kPiece / record.size());
      EXPECT_TRUE(run.Stdout ==
                  listing.substr(0, taken * (listing.size() / records)))
          << "standard output differs";
    }
  }
}

TEST(MakeExamplesCli, FailedReadOfAnyInputWritesWholeRecordsAndStatusOne) {
  const std::string corpus = TempPath("corpus");
  WriteCorpus(corpus, 8000, 30);
  const std::string outFile = TempPath("out.txt");
  const Program& program = kPrograms[2];
  ASSERT_EQ(program.Run(corpus, outFile, {}).ExitStatus, 0);
  const std::string expected = ReadFile(outFile);
  const std::vector<std::size_t> ends = RecordEnds(expected);
  const std::pair<const char*, const char*> files[] = {
      {".ptb", "tree file"}, {".tl", "TL file"}, {".align", "alignment file"}};
  for (const auto& [file, role] : files) {
    for (const std::size_t after : {std::size_t{0}, std::size_t{40000}}) {
      SCOPED_TRACE(std::string(file) + " after " + std::to_string(after));
      // A run that makes no record leaves OutFile as it was: here, absent.
      ::unlink(outFile.c_str());
      const ChildRun run =
          program.Run(corpus, outFile, FailingRead(corpus + file, after));

      EXPECT_EQ(run.Signal, 0);
      EXPECT_EQ(run.ExitStatus, 1);
      EXPECT_EQ(run.Stderr, "Couldn't read " + std::string(role) + " " +
                                corpus + file + ": Input/output error.\n");
      const std::string written = ReadFile(outFile);
      EXPECT_TRUE(written == expected.substr(0, written.size()));
      EXPECT_TRUE(std::binary_search(ends.begin(), ends.end(), written.size()));
      EXPECT_EQ(FileExists(outFile), after > 0);
    }
  }
}

// --- Compressed input and standard input ------------------------------------

// Gzip input reads as the bytes it holds in every program, told by its first
// bytes whatever the file is called; gzip data damaged or cut short is a
// failed read after the units before it, and input compressed another way
// is refused. make_examples' compressed file is its tree file.
TEST(ProgramsCli, ReadGzipInputAsItsBytesAndRefuseOtherCompression) {
  const std::string record = InputRecord(GoodExample());
  std::string records;
  for (int i = 0; i < 4000; ++i) records += record;
  const std::string recordFile = TempPath("in.txt");
  const std::string corpus = TempPath("corpus");
  WriteCorpus(corpus, 8000, 30);
  const std::string outFile = TempPath("out.txt");
  const struct {
    const char* Name;
    std::string (*Pack)(const std::string&);
    const char* Reason;  // "" when it reads as the plain file
  } cases[] = {
      {"gzip", [](const std::string& text) { return testsupport::Gzip(text); },
       ""},
      {"two members",
       [](const std::string& text) {
         const std::size_t half = text.size() / 2 + 7;
         return testsupport::Gzip(text.substr(0, half)) +
                testsupport::Gzip(text.substr(half));
       },
       ""},
      {"cut short",
       [](const std::string& text) {
         const std::string packed = testsupport::Gzip(text);
         return packed.substr(0, packed.size() / 2);
       },
       "gzip data cut short"},
      {"bad check",
       [](const std::string& text) {
         std::string packed = testsupport::Gzip(text);
         packed[packed.size() - 8] ^= 0x55;  // the CRC-32 of the data
         return packed;
       },
       "damaged gzip data"},
      // What is made before the damage shows may hold a line too long: the
      // damage is what stops the run.
      {"bad check after a line too long",
       [](const std::string& text) {
         std::string packed =
             testsupport::Gzip(text + std::string(100000, 'x') + "\n");
         packed[packed.size() - 8] ^= 0x55;
         return packed;
       },
       "damaged gzip data"},
      {"xz",
       [](const std::string& text) {
         return std::string("\xfd\x37\x7a\x58\x5a\x00", 6) + text;
       },
       "compressed with xz, which is not read; decompress it first"},
      {"bzip2", [](const std::string& text) { return "BZh91AY&SY" + text; },
       "compressed with bzip2, which is not read; decompress it first"},
      {"zstd",
       [](const std::string& text) { return "\x28\xb5\x2f\xfd" + text; },
       "compressed with zstd, which is not read; decompress it first"},
  };
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(program.Name);
    const std::string packedFile =
        program.MakesExamples() ? corpus + ".ptb" : recordFile;
    const std::string text =
        program.MakesExamples() ? ReadFile(packedFile) : records;
    WriteFile(packedFile, text);
    const std::string inFile = program.Input(recordFile, corpus);
    const ChildRun plain = program.Run(inFile, outFile, {});
    const std::string expected = ReadFile(outFile);
    const std::vector<std::size_t> ends = program.UnitEnds(expected);
    for (const auto& c : cases) {
      SCOPED_TRACE(c.Name);
      WriteFile(packedFile, c.Pack(text));
      ::unlink(outFile.c_str());

      const ChildRun run = program.Run(inFile, outFile, {});

      const std::string written = ReadFile(outFile);
      if (*c.Reason == '\0') {
        EXPECT_EQ(run.ExitStatus, plain.ExitStatus);
        EXPECT_EQ(run.Stderr, plain.Stderr);
        EXPECT_TRUE(run.Stdout == plain.Stdout) << "standard output differs";
        EXPECT_TRUE(written == expected) << "output differs";
        continue;
      }
      EXPECT_EQ(run.ExitStatus, 1);
      EXPECT_EQ(
          run.Stderr,
          program.IsAnnotator()
              ? std::string("Couldn't read training file.\n")
              : "Couldn't read " +
                    std::string(program.MakesExamples() ? "tree file"
                                                        : "training file") +
                    " " + packedFile + ": " + c.Reason + ".\n");
      // Whole units before the failure: all the data before a cut, none of
      // an input that was never read.
      EXPECT_TRUE(written == expected.substr(0, written.size()));
      EXPECT_TRUE(std::binary_search(ends.begin(), ends.end(), written.size()));
      EXPECT_EQ(written.empty(),
                c.Reason != std::string("gzip data cut short") &&
                    c.Reason != std::string("damaged gzip data"));
    }
    WriteFile(packedFile, text);
  }
}

// "-" is standard input for every input of extract_patterns, score_patterns
// and make_examples, plain or gzip: the run gives what it gives with the
// file named. Two inputs of make_examples cannot both be standard input.
TEST(ProgramsCli, ReadStandardInputForADash) {
  std::string records;
  for (int i = 0; i < 300; ++i) records += InputRecord(GoodExample());
  const std::string recordFile = TempPath("in.txt");
  WriteFile(recordFile, records);
  WriteFile(recordFile + ".gz", testsupport::Gzip(records));
  const std::string corpus = TempPath("corpus");
  WriteCorpus(corpus, 500, 12);
  for (const char* file : {".ptb", ".tl", ".align"}) {
    WriteFile(corpus + file + ".gz",
              testsupport::Gzip(ReadFile(corpus + file)));
  }
  const std::string outFile = TempPath("out.txt");
  const std::string ptb = corpus + ".ptb", tl = corpus + ".tl",
                    align = corpus + ".align";
  const struct {
    const char* Binary;
    std::vector<std::string> Named, Dashed;
    std::string Stdin;
  } cases[] = {
      {EXTRACT_PATTERNS_BIN,
       {"extract_patterns", "--tsv", recordFile, outFile},
       {"extract_patterns", "--tsv", "-", outFile},
       recordFile},
      // "--" leaves "-" standard input.
      {EXTRACT_PATTERNS_BIN,
       {"extract_patterns", recordFile},
       {"extract_patterns", "--", "-"},
       recordFile + ".gz"},
      {EXTRACT_PATTERNS_BIN,
       {"extract_patterns", "--count", recordFile, outFile},
       {"extract_patterns", "--count", "-", outFile},
       recordFile + ".gz"},
      {SCORE_PATTERNS_BIN,
       {"score_patterns", "--quiet", recordFile, outFile},
       {"score_patterns", "--quiet", "-", outFile},
       recordFile + ".gz"},
      {MAKE_EXAMPLES_BIN,
       {"make_examples", ptb, tl, align, outFile},
       {"make_examples", "-", tl, align, outFile},
       ptb + ".gz"},
      {MAKE_EXAMPLES_BIN,
       {"make_examples", ptb, tl, align, outFile},
       {"make_examples", ptb, "-", align, outFile},
       tl},
      {MAKE_EXAMPLES_BIN,
       {"make_examples", ptb, tl, align},
       {"make_examples", "--", ptb, tl, "-"},
       align + ".gz"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Dashed[0] + " from " + c.Stdin);
    std::remove(outFile.c_str());
    const ChildRun named = RunProgram(c.Binary, c.Named);
    const std::string expected = ReadFile(outFile);
    std::remove(outFile.c_str());
    ChildOptions options;
    options.Stdin = c.Stdin;

    const ChildRun dashed = RunProgram(c.Binary, c.Dashed, options);

    EXPECT_EQ(dashed.ExitStatus, 0);
    EXPECT_EQ(dashed.Stderr, named.Stderr);
    EXPECT_TRUE(dashed.Stdout == named.Stdout) << "standard output differs";
    EXPECT_TRUE(ReadFile(outFile) == expected) << "output differs";
  }

  ChildOptions fromOut;
  fromOut.Stdin = outFile;
  WriteFile(outFile, records);
  const ChildRun same = RunProgram(EXTRACT_PATTERNS_BIN,
                                   {"extract_patterns", "-", outFile}, fromOut);
  EXPECT_EQ(same.Stderr, "InFile and OutFile name the same file.\n");
  EXPECT_TRUE(ReadFile(outFile) == records);

  WriteFile(recordFile, std::string("\xfd\x37\x7a\x58\x5a\x00", 6) + records);
  ChildOptions xz;
  xz.Stdin = recordFile;
  const ChildRun refused =
      RunProgram(SCORE_PATTERNS_BIN, {"score_patterns", "-", outFile}, xz);
  EXPECT_EQ(refused.ExitStatus, 1);
  EXPECT_EQ(refused.Stderr,
            "Couldn't read standard input: compressed with xz, which is not "
            "read; decompress it first.\n");

  const ChildRun twice =
      RunProgram(MAKE_EXAMPLES_BIN, {"make_examples", ptb, "-", "-"});
  EXPECT_EQ(twice.ExitStatus, 1);
  EXPECT_EQ(twice.Stderr.substr(0, twice.Stderr.find('\n') + 1),
            "make_examples: \"-\" given twice: only one of Trees, TLFile and "
            "AlignmentFile can be standard input.\n");
}

// Records are held back between batch writes; a termination signal then
// writes out the records done before it ends the run. The input is a pipe
// that has delivered three records and stays open, so the run waits for
// more with those three held.
TEST(AnnotatorCli, TerminationBetweenBatchesWritesOutTheRecordsHeldBack) {
  const std::string fifo = TempPath("in.fifo");
  const std::string outFile = TempPath("out.txt");
  std::remove(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const pid_t pid = testsupport::StartChild(
      ANNOTATOR_BIN, {"annotator", fifo, outFile}, {StdoutMode::DevNull});
  ASSERT_NE(pid, -1);
  // Opened without blocking, so that a run that never opens its input
  // fails the test instead of hanging it.
  int input = -1;
  for (int tries = 0; tries < 500 && input == -1; ++tries) {
    input = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (input == -1) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (input == -1) ::kill(pid, SIGKILL);
  ASSERT_NE(input, -1);
  ::fcntl(input, F_SETFL, 0);
  const std::string records = InputRecord(GoodExample()) +
                              InputRecord(GoodExample()) +
                              InputRecord(GoodExample());
  ASSERT_EQ(::write(input, records.data(), records.size()),
            static_cast<ssize_t>(records.size()));
  // Taken from the pipe, and the run asleep waiting for more: the three
  // records are done.
  const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
  for (int tries = 0; tries < 500; ++tries) {
    int unread = 0;
    const std::string state = ReadFile(stat);
    const std::size_t paren = state.rfind(')');
    if (::ioctl(input, FIONREAD, &unread) == 0 && unread == 0 &&
        paren != std::string::npos && state.compare(paren, 3, ") S") == 0) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGTERM);
  const ChildRun run = testsupport::FinishChild(pid);
  ::close(input);
  std::remove(fifo.c_str());

  EXPECT_EQ(run.Signal, SIGTERM);
  const std::string one = AnnotatedRecord(GoodExample(), kGoodScore);
  EXPECT_EQ(ReadFile(outFile), one + one + one);
}

TEST(AnnotatorCli, ListingComesBeforeTheMessageOnASharedStream) {
  const std::string base = DataPath("malformed-after-good");
  const ChildRun run = Annotate(base + ".in.txt", TempPath("out.txt"),
                                {StdoutMode::SharedWithStderr});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_EQ(run.Stdout,
            ReadFile(base + ".stdout.txt") + ReadFile(base + ".stderr.txt"));
}

// --- Whole files -------------------------------------------------------------

std::vector<std::string> ScoreLines(const std::string& annotated) {
  std::vector<std::string> scores;
  const std::string mark = "CoEmbeddingScore: ";
  for (std::size_t at = annotated.find(mark); at != std::string::npos;
       at = annotated.find(mark, at + 1)) {
    scores.push_back(annotated.substr(
        at + mark.size(), annotated.find('\n', at) - at - mark.size()));
  }
  return scores;
}

// `text` with the rest of every line that begins with `mark` replaced by
// `rest`.
std::string Replaced(const std::string& text, const std::string& mark,
                     const std::string& rest) {
  std::string replaced;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(at, end - at);
    replaced += line.rfind(mark, 0) == 0 ? mark + rest + "\n" : line;
    at = end;
  }
  return replaced;
}

std::size_t CountHeaders(const std::string& text) {
  std::size_t count = 0;
  for (std::size_t at = text.find("SentenceIndex:"); at != std::string::npos;
       at = text.find("SentenceIndex:", at + 1)) {
    ++count;
  }
  return count;
}

TEST(AnnotatorCli, AnnotatesTheBundledExample) {
  const std::string example = std::string(ANNOTATOR_TEST_DATA) +
                              "/../../examples/training-examples.txt";
  ASSERT_TRUE(FileExists(example));
  const std::string outFile = TempPath("out.txt");
  const std::string rerunFile = TempPath("rerun.txt");

  const ChildRun run = Annotate(example, outFile);

  EXPECT_EQ(run.ExitStatus, 0);
  EXPECT_EQ(run.Stderr, "");
  const std::string written = ReadFile(outFile);
  EXPECT_EQ(ScoreLines(written),
            (std::vector<std::string>{"3", "2", "4", "4", "3", "3", "5", "2",
                                      "2", "3", "4", "5"}));
  Annotate(outFile, rerunFile);
  EXPECT_EQ(ReadFile(rerunFile), written);
}

TEST(AnnotatorCli, RoundTripsTheRealCorpusByteForByte) {
  const std::string shared = testsupport::SharedDir();
  if (shared.empty()) GTEST_SKIP() << "no shared corpus beside this clone";
  const std::string corpus = shared + "/realdata/treebank-records.txt";
  const std::string first = TempPath("first.txt");
  const std::string second = TempPath("second.txt");

  const std::string made = TempPath("made.txt");
  const std::string tree = shared + "/realdata/treebank";

  const ChildRun run = Annotate(corpus, first);
  const ChildRun rerun = Annotate(first, second);
  const ChildRun making = RunProgram(
      MAKE_EXAMPLES_BIN,
      {"make_examples", tree + ".ptb", tree + ".tl", tree + ".align", made});

  EXPECT_EQ(run.ExitStatus, 0);
  EXPECT_EQ(run.Stderr, "");
  EXPECT_EQ(rerun.ExitStatus, 0);
  const std::string written = ReadFile(first);
  EXPECT_EQ(CountHeaders(written), CountHeaders(ReadFile(corpus)));
  EXPECT_TRUE(ReadFile(second) == written) << "second run differs";
  // The parser's and aligner's files give the corpus back, scored; annotator
  // takes nothing from it but the headers' numbers.
  EXPECT_EQ(making.ExitStatus, 0);
  EXPECT_EQ(making.Stderr, "");
  const std::string records = ReadFile(made);
  EXPECT_TRUE(Replaced(records, "CoEmbeddingScore: ", "0") == ReadFile(corpus));
  EXPECT_TRUE(Replaced(records, "SentenceIndex:", "") == written);
}

// --- make_examples ---------------------------------------------------------

TEST(MakeExamplesCli, KeepsTheFileRulesOfThePrograms) {
  const std::string sentence1 =
      "SentenceIndex: 1\nSL: a/nn\nTL: x\nAlignment: ((1,1))\nType: "
      "NN\nCoEmbeddingScore: 1\nC-Structure:(NN a-1)\nConstSeq: "
      "NN\nXSideConstraints:\n\n";
  const std::string longLine(100000, 'x');
  // One ")" missing, and the trees after it taken for its part.
  const auto manyLines = [](const std::string& line) {
    std::string lines;
    for (int i = 0; i < 20000; ++i) lines += line;
    return lines;
  };
  const std::string manyTrees = manyLines("(NN c)\n");
  const std::string bom = "\xEF\xBB\xBF";
  // Gzip damaged at its check, far past what a sentence or two reads.
  std::string lines = "x\n";
  for (int i = 0; i < 200000; ++i) lines += "y\n";
  std::string damaged = testsupport::Gzip(lines);
  damaged[damaged.size() - 8] ^= 0x55;
  // What OutFile holds before each run: a run that makes no record leaves
  // it so.
  const std::string before = "the aligner's links\n";
  // {file} in a message stands for the path of the file it names.
  const struct {
    const char* Name;
    std::string Trees, TL, Links;
    std::string Out, Stderr;
    bool OutIsTL = false;
  } cases[] = {
      {"all empty", "", "", "", "", ""},
      {"every sentence skipped", "(ROOT)", "x", "0-0", before,
       "Sentence 1: no words left after removing empty elements.\n"},
      // Training examples named as AlignmentFile, OutFile in their place.
      {"records for links", "(NN a)", "x", sentence1, before,
       "Sentence 1: malformed link \"SentenceIndex:\".\n"
       "{ptb} ends before sentence 2.\n"},
      {"over-long first line", "(NN a)", longLine, "0-0", before,
       "Line 1 of {tl} is longer than 99,999 bytes.\n"},
      {"TL short", "(NN a) (NN b)", "x\n", "0-0\n0-0\n", sentence1,
       "{tl} ends before sentence 2.\n"},
      {"trees short", "(NN a)", "x\nx\n", "0-0\n\n", sentence1,
       "{ptb} ends before sentence 2.\n"},
      {"links short", "(NN a)\n(NN b)", "x\ny", "0-0", sentence1,
       "{align} ends before sentence 2.\n"},
      // Another file's end is no reason to read this one on to its damage.
      {"trees short beside damaged gzip", "(NN a)", damaged, "0-0\n0-0\n",
       sentence1, "{ptb} ends before sentence 2.\n"},
      {"CRLF", "(NN\r\n a)\r\n", "x\r\n", "0-0\r\n", sentence1, ""},
      // Windows editors begin a file with a byte-order mark.
      {"marked trees", bom + "(NN a)\r\n", "x\r\n", "0-0\r\n", sentence1, ""},
      {"marked TL", "(NN a)\r\n", bom + "x\r\n", "0-0\r\n", sentence1, ""},
      {"marked links, gzip", "(NN a)\r\n", "x\r\n",
       testsupport::Gzip(bom + "0-0\r\n"), sentence1, ""},
      {"over-long line", "(NN a) (NN b)", "x\n" + longLine, "0-0\n0-0",
       sentence1, "Line 2 of {tl} is longer than 99,999 bytes.\n"},
      {"a tree past the record line limit", "(NN a)\n(S (NN b)\n" + manyTrees,
       manyLines("x\n"), manyLines("0-0\n"), sentence1,
       "Sentence 2: a tree longer than 99,999 bytes (unbalanced brackets?).\n"},
      {"OutFile is an input", "(NN a)", "x", "0-0", "", "", true},
  };
  const std::string base = TempPath("corpus");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFile(base + ".ptb", c.Trees);
    WriteFile(base + ".tl", c.TL);
    WriteFile(base + ".align", c.Links);
    const std::string outFile = c.OutIsTL ? base + ".tl" : TempPath("out.txt");
    if (!c.OutIsTL) WriteFile(outFile, before);

    const ChildRun run = kPrograms[2].Run(base, outFile, {});

    std::string message =
        c.OutIsTL ? "InFile and OutFile name the same file.\n" : c.Stderr;
    for (const char* role : {"ptb", "tl", "align"}) {
      const std::string mark = std::string("{") + role + "}";
      const std::size_t at = message.find(mark);
      if (at != std::string::npos)
        message.replace(at, mark.size(), base + "." + role);
    }
    EXPECT_EQ(run.Stderr, message);
    EXPECT_EQ(run.ExitStatus, message.empty() ? 0 : 1);
    EXPECT_EQ(ReadFile(outFile), c.OutIsTL ? c.TL : c.Out);
    if (c.OutIsTL || c.Out == before) continue;
    // annotator finds the scores right and rewrites the headers alone.
    const std::string annotated = TempPath("annotated.txt");
    ASSERT_EQ(Annotate(outFile, annotated).ExitStatus, 0);
    EXPECT_EQ(ReadFile(annotated), Replaced(c.Out, "SentenceIndex:", ""));
  }
  const ChildRun version =
      RunProgram(MAKE_EXAMPLES_BIN, {"make_examples", "--version"});
  EXPECT_EQ(version.Stdout.rfind("make_examples (annotator) ", 0), 0U);
}

// Three or four files after the one option, --help and --version alone:
// each mistake is named before the usage line, and an input that cannot be
// opened by its role, its path and the system's reason.
TEST(MakeExamplesCli, SaysWhatWasWrongAndWhere) {
  const std::string base = TempPath("corpus");
  WriteCorpus(base, 2, 2);
  const std::string outFile = TempPath("out.txt");
  const std::string directory = TempPath("dir");
  ::mkdir(directory.c_str(), 0755);
  const std::string ptb = base + ".ptb", tl = base + ".tl",
                    align = base + ".align", missing = TempPath("missing");
  const std::string usage = "\nUsage: make_examples --help";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--quiet", "a", "b"},
       "make_examples: too few paths: 2 given, wanted Trees TLFile "
       "AlignmentFile [OutFile]." +
           usage},
      {{"a", "b", "c", "d", "e"},
       "make_examples: too many paths: 5 given, wanted Trees TLFile "
       "AlignmentFile [OutFile]." +
           usage},
      {{"--quite", ptb, tl, align},
       "make_examples: unknown option --quite." + usage},
      {{"--quiet", "--quiet", ptb, tl, align},
       "make_examples: --quiet given twice." + usage},
      // Either order of the two options; the third is the repeat.
      {{"--bare-labels", "--quiet", "--bare-labels", ptb, tl, align},
       "make_examples: --bare-labels given twice." + usage},
      {{ptb, "--quiet", tl, align},
       "make_examples: options come before Trees, not after: --quiet." + usage},
      {{"--help", ptb, tl, align}, "make_examples: --help goes alone." + usage},
      // After "--" an argument that begins with "-" is a path.
      {{"--quiet", "--", "-missing.ptb", tl, align},
       "Couldn't open tree file -missing.ptb: No such file or directory.\n"},
      {{missing, tl, align, outFile},
       "Couldn't open tree file " + missing + ": No such file or directory.\n"},
      {{ptb, missing, align, outFile},
       "Couldn't open TL file " + missing + ": No such file or directory.\n"},
      {{ptb, tl, directory, outFile},
       "Couldn't open alignment file " + directory + ": Is a directory.\n"},
      {{ptb, tl, align, directory},
       "Couldn't open outfile " + directory + ": Is a directory.\n"},
  };
  for (const auto& [args, said] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    std::vector<std::string> argv = {"make_examples"};
    argv.insert(argv.end(), args.begin(), args.end());
    const ChildRun run = RunProgram(MAKE_EXAMPLES_BIN, argv);
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr.substr(0, said.size()), said);
    EXPECT_EQ(run.Stdout, "");
  }
}

}  // namespace
