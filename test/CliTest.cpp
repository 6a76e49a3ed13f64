// Black-box tests: the built program runs as a child process, and its output
// file, standard output, standard error and exit status are compared byte for
// byte with what a run must give.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support/TestSupport.h"

extern char** environ;

namespace {

using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::TempPath;
using testsupport::WriteFile;

// Where the child's standard output goes.
enum class StdoutMode { ToFile, Closed, ReaderGone };

struct ChildRun {
  int ExitStatus = -1;  // -1 when the child did not exit by itself
  int Signal = 0;       // the signal that ended it, if one did
  std::string Stdout;
  std::string Stderr;
};

// Runs the program with `argv` (argv[0] included, so tests choose the
// invocation name), standard input from /dev/null, and standard output as
// `mode` says. SIGPIPE is reset to its default in the child, so a program
// that forgets to handle it dies as it would from a shell.
ChildRun RunProgram(const std::vector<std::string>& argv,
                    StdoutMode mode = StdoutMode::ToFile) {
  const std::string outPath = TempPath("child.stdout");
  const std::string errPath = TempPath("child.stderr");
  std::remove(outPath.c_str());

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  int pipeEnds[2] = {-1, -1};
  switch (mode) {
    case StdoutMode::ToFile:
      posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
      break;
    case StdoutMode::Closed:
      posix_spawn_file_actions_addclose(&actions, 1);
      break;
    case StdoutMode::ReaderGone:
      // The reader is closed before the child starts: every write the child
      // makes to standard output meets a pipe nobody reads.
      if (::pipe2(pipeEnds, O_CLOEXEC) != 0) ADD_FAILURE() << "pipe2 failed";
      ::close(pipeEnds[0]);
      posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
      break;
  }
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  ChildRun run;
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, ANNOTATOR_BIN, &actions, &attributes,
                                  args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (pipeEnds[1] != -1) ::close(pipeEnds[1]);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << ANNOTATOR_BIN;
    return run;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) {
  }
  if (WIFEXITED(status)) run.ExitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.Signal = WTERMSIG(status);
  run.Stdout = ReadFile(outPath);
  run.Stderr = ReadFile(errPath);
  return run;
}

// The usual invocation: `annotator inFile outFile`.
ChildRun Annotate(const std::string& inFile, const std::string& outFile,
                  StdoutMode mode = StdoutMode::ToFile) {
  return RunProgram({"annotator", inFile, outFile}, mode);
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
  return "SentenceIndex: 1\n" + f.at("SL") + "\n" + f.at("TL") + "\n" +
         f.at("Alignment") + "\n" + f.at("Type") + "\nCoEmbeddingScore: 0\n" +
         f.at("C-Structure") + "\n" + f.at("ConstSeq") +
         "\nXSideConstraints:\n\n";
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
    {"crlf", 1},
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

TEST(AnnotatorCli, UnreadableInputFailsAfterOutputIsCreatedOrEmptied) {
  const std::string directory = TempPath("a-directory");
  ::mkdir(directory.c_str(), 0755);
  struct Case {
    const char* What;
    std::string InFile;
    bool OutFileExists;
  };
  const Case cases[] = {
      {"missing input, new output", TempPath("missing.txt"), false},
      {"missing input, existing output", TempPath("missing.txt"), true},
      {"directory as input", directory, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    const std::string outFile = TempPath("out.txt");
    std::remove(outFile.c_str());
    if (c.OutFileExists) WriteFile(outFile, "earlier annotations\n");

    const ChildRun run = Annotate(c.InFile, outFile);

    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, "Couldn't open training file.\n");
    EXPECT_EQ(run.Stdout, "");
    EXPECT_TRUE(FileExists(outFile));
    EXPECT_EQ(ReadFile(outFile), "");
  }
}

TEST(AnnotatorCli, UnopenableOutputFailsBeforeInputIsRead) {
  const std::string directory = TempPath("out-directory");
  ::mkdir(directory.c_str(), 0755);
  const std::string goodInput = DataPath("one-record.in.txt");
  struct Case {
    const char* What;
    std::string InFile;
    std::string OutFile;
  };
  const Case cases[] = {
      {"output in a missing directory", goodInput,
       TempPath("no-such-dir") + "/out.txt"},
      {"output is a directory", goodInput, directory},
      // The output is opened first, so its failure is the one reported.
      {"input missing as well", TempPath("missing.txt"), directory},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    const ChildRun run = Annotate(c.InFile, c.OutFile);
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
  const std::string expected = ReadFile(DataPath("several-records.out.txt"));
  ASSERT_FALSE(expected.empty());
  for (StdoutMode mode : {StdoutMode::Closed, StdoutMode::ReaderGone}) {
    SCOPED_TRACE(mode == StdoutMode::Closed ? "closed" : "reader gone");
    const std::string outFile = TempPath("out.txt");

    const ChildRun run =
        Annotate(DataPath("several-records.in.txt"), outFile, mode);

    EXPECT_EQ(run.Signal, 0);
    EXPECT_EQ(run.ExitStatus, 0);
    EXPECT_EQ(run.Stderr, "");
    EXPECT_EQ(ReadFile(outFile), expected);
  }
}

// --- Long and deep lines, generated ----------------------------------------

TEST(AnnotatorCli, ReadsLinesUpTo99999CharactersAndStopsAtLonger) {
  const Fields good = Example(
      "SL: a/dt cat/nn", "TL: un chat", "Alignment: ((1,1),(2,2))", "Type: NP",
      "C-Structure:(NP (DT a-1) (NN cat-2))", "ConstSeq: DT NN");
  const int goodScore = 2;
  const auto withField = [&good](const std::string& key, std::string value) {
    Fields f = good;
    f[key] = std::move(value);
    return f;
  };
  const std::string constSeqLabel = "ConstSeq: ";
  const auto constSeqOf = [&](std::size_t length) {
    return constSeqLabel + std::string(length - constSeqLabel.size(), 'N');
  };
  const std::string junk99999(99999, '#');

  // 33,333 levels fill exactly 99,999 characters; with the label in front
  // the root's "(" belongs to its label, leaving room for 33,329 levels.
  const Fields deepest = withField("C-Structure", Nested(33333));
  const Fields deepestLabelled =
      withField("C-Structure", "C-Structure:" + Nested(33329));
  ASSERT_EQ(deepest.at("C-Structure").size(), 99999u);
  ASSERT_EQ(deepestLabelled.at("C-Structure").size(), 99999u);

  // One ")" more makes the line 100,000 long: its first 99,999 characters
  // reach the C-Structure position, the stream fails, and the record stops
  // short of its ConstSeq.
  Fields cutTree = withField("C-Structure", Nested(33333));
  cutTree.erase("ConstSeq");

  const Fields longConstSeq = withField("ConstSeq", constSeqOf(99999));

  struct Case {
    const char* What;
    std::string Input;
    std::string Output;
    std::string Listed;
  };
  const std::vector<Case> cases = {
      {"deepest 99,999-character tree", InputRecord(deepest),
       AnnotatedRecord(deepest, 33333), Listing(deepest) + kEndOfInput},
      {"deepest tree behind its label", InputRecord(deepestLabelled),
       AnnotatedRecord(deepestLabelled, 33329),
       Listing(deepestLabelled) + kEndOfInput},
      {"100,000-character tree",
       InputRecord(good) +
           InputRecord(withField("C-Structure", Nested(33333) + ")")) +
           InputRecord(good),
       AnnotatedRecord(good, goodScore),
       Listing(good) + ReaderListing(cutTree) + kNoMoreExamples},
      {"99,999-character ConstSeq",
       InputRecord(longConstSeq) + InputRecord(good),
       AnnotatedRecord(longConstSeq, goodScore) +
           AnnotatedRecord(good, goodScore),
       Listing(longConstSeq) + Listing(good) + kEndOfInput},
      // A failing read at the ConstSeq position still completes the record.
      {"100,000-character ConstSeq",
       InputRecord(withField("ConstSeq", constSeqOf(100000))) +
           InputRecord(good),
       AnnotatedRecord(longConstSeq, goodScore),
       Listing(longConstSeq) + kEndOfInput},
      {"99,999-character junk line",
       InputRecord(good) + junk99999 + "\n" + InputRecord(good),
       AnnotatedRecord(good, goodScore) + AnnotatedRecord(good, goodScore),
       Listing(good) + Listing(good) + kEndOfInput},
      {"100,000-character junk line",
       InputRecord(good) + junk99999 + "#\n" + InputRecord(good),
       AnnotatedRecord(good, goodScore), Listing(good) + kEndOfInput},
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

  const ChildRun run = Annotate(corpus, first);
  const ChildRun rerun = Annotate(first, second);

  EXPECT_EQ(run.ExitStatus, 0);
  EXPECT_EQ(run.Stderr, "");
  EXPECT_EQ(rerun.ExitStatus, 0);
  const std::string written = ReadFile(first);
  EXPECT_EQ(CountHeaders(written), CountHeaders(ReadFile(corpus)));
  EXPECT_TRUE(ReadFile(second) == written) << "second run differs";
}

}  // namespace
