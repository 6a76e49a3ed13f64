// Black-box tests of extract_patterns: the built program runs as a child
// process; what it writes is held against the in-process extractor, which
// PatternExtractorTest checks by hand.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
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
    "Usage: extract_patterns --help | --version | [--consistent] "
    "[--max-words N] [--tsv | --count [--memory SIZE] [--temp-dir DIR]] "
    "[--quiet] InFile [OutFile] | --merge-counts [--memory SIZE] "
    "[--temp-dir DIR] [--quiet] [-o OutFile] Table [Table...].\n";

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
std::string Expected(const std::string& input, bool consistentOnly = false,
                     std::size_t maxWords = 0) {
  std::istringstream in(input);
  std::ostream listing(nullptr);
  TrainingExampleReader reader(in, listing);
  PatternExtractor extractor(consistentOnly, maxWords);
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
  const std::string short2 = Expected(input, false, 2);
  const std::string consistentShort2 = Expected(input, true, 2);
  ASSERT_NE(all, consistent);
  ASSERT_NE(consistent, consistentShort2);
  ASSERT_NE(short2, consistentShort2);
  const std::string outFile = TempPath("patterns.txt");
  // Blank lines alone are an empty corpus, as between records they are
  // nothing: no file named in the wrong place.
  const std::string blank = TempPath("blank.txt");
  WriteFile(blank, "\n \r\n\t\n");
  struct UseCase {
    std::vector<std::string> Args;
    std::string StdoutText;
    std::string FileText;
  };
  const UseCase cases[] = {
      {{Example()}, all, ""},
      {{blank, outFile}, "", ""},
      {{Example(), "-"}, all, ""},
      {{Example(), outFile}, "", all},
      {{"--consistent", Example()}, consistent, ""},
      {{"--consistent", Example(), outFile}, "", consistent},
      {{"--max-words", "2", Example()}, short2, ""},
      {{"--max-words=2", "--consistent", Example(), "-"}, consistentShort2, ""},
      // Every bound a size_t holds is taken, the largest too.
      {{"--max-words", "18446744073709551615", Example()}, all, ""},
      {{"--consistent", "--max-words", "2", "--quiet", Example(), outFile},
       "",
       consistentShort2},
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
       "Record 2: malformed C-structure: C-Structure:NP\n"},
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
  const std::string unixText =
      ReadFile(Example()) +
      Record("Alignment: ((1,1))", "C-Structure:(NP (DT a-1)") + kGood;
  const std::string unixFile = TempPath("unix.txt");
  const std::string windowsFile = TempPath("windows.txt");
  WriteFile(unixFile, unixText);
  WriteFile(windowsFile, testsupport::WindowsLineEnds(unixText));

  const ChildRun unixRun = ExtractPatterns({unixFile});
  const ChildRun windowsRun = ExtractPatterns({windowsFile});

  EXPECT_EQ(unixRun.ExitStatus, 1);
  EXPECT_EQ(windowsRun.ExitStatus, unixRun.ExitStatus);
  EXPECT_EQ(windowsRun.Stderr, unixRun.Stderr);
  EXPECT_TRUE(windowsRun.Stdout == unixRun.Stdout) << "patterns differ";
}

TEST(ExtractPatternsCli, AnyOtherUsePrintsUsageAndTouchesNoFile) {
  const std::string outFile = TempPath("out.txt");
  const std::string in = Example();
  // Each mistake, and what the program says of it before the usage line.
  const std::pair<std::vector<std::string>, std::string> uses[] = {
      {{}, "too few paths: 0 given, wanted InFile [OutFile]."},
      {{"--consistent"}, "too few paths: 0 given, wanted InFile [OutFile]."},
      {{in, outFile, "extra"},
       "too many paths: 3 given, wanted InFile [OutFile]."},
      {{"--help", in}, "--help goes alone."},
      {{in, "--consistent"},
       "options come before InFile, not after: --consistent."},
      {{"--consistent", "--consistent", in}, "--consistent given twice."},
      {{"-c", in, outFile}, "unknown option -c."},
      {{"--quite", in}, "unknown option --quite."},
      {{"--consistent=1", in}, "unknown option --consistent=1."},
      {{"--tsv", "--count", in}, "--tsv and --count cannot go together."},
      {{"--tsv", "--tsv", in}, "--tsv given twice."},
      {{"--quiet", "--quiet", in}, "--quiet given twice."},
      {{"--max-words", "1", "--max-words=2", in}, "--max-words given twice."},
      // The bound must be a whole number from 1; a missing one takes InFile.
      {{"--max-words", in},
       "--max-words takes a whole number from 1, not \"" + in + "\"."},
      {{"--max-words", "0", in},
       "--max-words takes a whole number from 1, not \"0\"."},
      {{"--max-words", "-1", in},
       "--max-words takes a whole number from 1, not \"-1\"."},
      // 2^64 + 1, which wraps to 1 where the overflow goes unseen.
      {{"--max-words", "18446744073709551617", in},
       "--max-words takes a whole number from 1, not "
       "\"18446744073709551617\"."},
      {{"--max-words", "2x", in},
       "--max-words takes a whole number from 1, not \"2x\"."},
      {{"--max-words", "abc", in},
       "--max-words takes a whole number from 1, not \"abc\"."},
      {{"--max-words=", in},
       "--max-words takes a whole number from 1, not \"\"."},
      {{"--max-words", "", in},
       "--max-words takes a whole number from 1, not \"\"."},
      // Nothing after the option is no value at all, not an empty one.
      {{"--max-words"}, "--max-words takes a whole number from 1; none given."},
      {{"--version", in}, "--version goes alone."},
      {{"--count", in, outFile, "--tsv"},
       "options come before InFile, not after: --tsv."},
      // Sizes: bytes, K, M or G, from 4M.
      {{"--count", "--memory", "3M", in},
       "--memory takes a size from 4M, as 512M or 4G, not \"3M\"."},
      {{"--count", "--memory=64X", in},
       "--memory takes a size from 4M, as 512M or 4G, not \"64X\"."},
      {{"--count", "--memory", "99999999999999999G", in},
       "--memory takes a size from 4M, as 512M or 4G, not "
       "\"99999999999999999G\"."},
      {{"--count", "--memory=", in},
       "--memory takes a size from 4M, as 512M or 4G, not \"\"."},
      {{"--memory", "64M", in},
       "--memory goes with --count or --merge-counts."},
      {{"--tsv", "--temp-dir", "/tmp", in},
       "--temp-dir goes with --count or --merge-counts."},
      {{"--count", "--temp-dir=", in}, "--temp-dir takes a directory."},
      {{"-o", outFile, in}, "-o goes with --merge-counts."},
      {{"--merge-counts"}, "too few paths: 0 given, wanted Table [Table...]."},
      {{"--merge-counts", "--count", in},
       "--merge-counts and --count cannot go together."},
      {{"--merge-counts", "--max-words", "2", in},
       "--merge-counts and --max-words cannot go together."},
      {{"--merge-counts", "-o", outFile, "-o", outFile, in}, "-o given twice."},
      {{"--merge-counts", in, "-o"}, "-o takes a file name."},
      {{"--merge-counts", "-", "-"},
       "\"-\" given twice: only one Table can be standard input."},
  };
  for (const auto& [args, problem] : uses) {
    SCOPED_TRACE(::testing::PrintToString(args));
    std::remove(outFile.c_str());
    const ChildRun run = ExtractPatterns(args);
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, "extract_patterns: " + problem + "\n" + kUsage);
    EXPECT_EQ(run.Stdout, "");
    EXPECT_FALSE(FileExists(outFile));
  }
}

TEST(ExtractPatternsCli, FileErrorsEndTheRunAndSpareTheFiles) {
  const std::string inFile = TempPath("in.txt");
  const std::string outFile = TempPath("out.txt");
  const std::string directory = TempPath("dir");
  ::mkdir(directory.c_str(), 0755);
  const std::string intoNowhere = TempPath("nowhere.txt");
  ::symlink("no/such/dir/out.txt", intoNowhere.c_str());
  // What InFile and OutFile named the other way round read: a table.
  const std::string table = TempPath("table.tsv");
  WriteFile(table, "2\tNP\tthe cat\tle chat\t(1,1),(2,2)\n");
  const std::string noExample =
      "Training file " + table + " holds no training example.\n";
  struct FileCase {
    const char* Name;
    std::vector<std::string> Args;
    std::string StderrText;
  };
  std::vector<FileCase> cases = {
      {"missing input",
       {TempPath("missing.txt"), outFile},
       "Couldn't open training file " + TempPath("missing.txt") +
           ": No such file or directory.\n"},
      // After "--" an argument that begins with "-" is a path.
      {"input after --",
       {"--", "-missing.txt", outFile},
       "Couldn't open training file -missing.txt: No such file or "
       "directory.\n"},
      {"input is a directory",
       {directory, outFile},
       "Couldn't open training file " + directory + ": Is a directory.\n"},
      {"same file",
       {inFile, inFile},
       "InFile and OutFile name the same file.\n"},
      // Both programs check one file named twice before the input itself.
      {"same directory",
       {directory, directory},
       "InFile and OutFile name the same file.\n"},
      {"output in no directory",
       {inFile, TempPath("no/such/dir/out.txt")},
       "Couldn't open outfile " + TempPath("no/such/dir/out.txt") +
           ": No such file or directory.\n"},
      // A table's OutFile is refused as the patterns' is, before the input
      // is read, not once the table is whole.
      {"no table name",
       {"--count", inFile, ""},
       "Couldn't open outfile : No such file or directory.\n"},
      {"table through a link into no directory",
       {"--count", inFile, intoNowhere},
       "Couldn't open outfile " + intoNowhere +
           ": No such file or directory.\n"},
      {"input and output swapped", {table, outFile}, noExample},
      {"table of an input and output swapped",
       {"--count", table, outFile},
       noExample},
  };
  if (FileExists("/dev/full")) {
    cases.push_back(
        {"full disk",
         {inFile, "/dev/full"},
         "Couldn't write outfile /dev/full: No space left on device.\n"});
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

// A table goes where the patterns would: under the longest name the system
// takes, and through symbolic links, each leading from its own directory,
// to the file at their end. The links stay, and nothing is left beside.
TEST(ExtractPatternsCli, TableGoesWhereThePatternsWould) {
  const std::string inFile = TempPath("in.txt");
  WriteFile(inFile, kGood);
  const std::string longest(NAME_MAX, 'a');
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {longest, {longest, "link", "sub"}},
      {"link", {"link", "sub", "target"}},
  };
  int round = 0;
  for (const auto& [outFile, names] : cases) {
    for (const std::string format : {"--tsv", "--count"}) {
      SCOPED_TRACE(format + " " + outFile.substr(0, 8));
      const std::string dir = TempPath("round" + std::to_string(round++));
      ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
      ASSERT_EQ(::mkdir((dir + "/sub").c_str(), 0755), 0);
      ASSERT_EQ(::symlink("sub/on", (dir + "/link").c_str()), 0);
      ASSERT_EQ(::symlink("../target", (dir + "/sub/on").c_str()), 0);
      const ChildRun run =
          ExtractPatterns({format, inFile, dir + "/" + outFile});
      EXPECT_EQ(run.ExitStatus, 0);
      EXPECT_EQ(run.Stderr, "");
      EXPECT_EQ(ReadFile(dir + "/" + (outFile == "link" ? "target" : outFile)),
                ExtractPatterns({format, inFile}).Stdout);
      EXPECT_EQ(testsupport::NamesIn(dir), names);
    }
  }
}

// `program` with `args` run by a user who is no superuser: this one, or
// nobody where this is root.
ChildRun RunUnprivileged(const std::string& program,
                         const std::vector<std::string>& args) {
  std::vector<std::string> argv{program};
  std::string runs = program;
  if (::geteuid() == 0) {
    runs = "/usr/bin/setpriv";
    argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
            program};
  }
  argv.insert(argv.end(), args.begin(), args.end());
  return testsupport::RunChild(runs, argv);
}

// A table does not replace an OutFile its user may not write, in a
// directory where it could: refused before the input is read, in the
// patterns' words. Root may, as it may write the patterns there.
TEST(ExtractPatternsCli, TableSparesAnOutFileItsUserMayNotWrite) {
  const std::string dir = TempPath("open");
  ::chmod(dir.substr(0, dir.rfind('/')).c_str(), 0711);
  ASSERT_EQ(::mkdir(dir.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
  const std::string inFile = dir + "/in.txt";
  const std::string outFile = dir + "/out.tsv";
  WriteFile(inFile, kGood);
  ::chmod(inFile.c_str(), 0644);
  if (RunUnprivileged("/usr/bin/test", {"-w", dir, "-a", "-x", dir})
          .ExitStatus != 0) {
    GTEST_SKIP() << "no unprivileged user may write " << dir;
  }
  for (const std::string format : {"--tsv", "--count"}) {
    SCOPED_TRACE(format);
    WriteFile(outFile, "kept\n");
    ASSERT_EQ(::chmod(outFile.c_str(), 0444), 0);
    const ChildRun run =
        RunUnprivileged(EXTRACT_PATTERNS_BIN, {format, inFile, outFile});
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr,
              "Couldn't open outfile " + outFile + ": Permission denied.\n");
    EXPECT_EQ(ReadFile(outFile), "kept\n");
  }
  if (::geteuid() == 0) {
    EXPECT_EQ(ExtractPatterns({"--count", inFile, outFile}).ExitStatus, 0);
    EXPECT_NE(ReadFile(outFile), "kept\n");
  }
}

TEST(ExtractPatternsCli, EndsQuietlyWhenTheReaderOfItsOutputIsGone) {
  const ChildRun run = ExtractPatterns({Example()}, ChildStdout::ReaderGone);
  EXPECT_EQ(run.Signal, SIGPIPE);
  EXPECT_EQ(run.Stderr, "");
}

// A reader that stops reading cannot keep a run told to end from ending:
// the units under way wait for it a moment, then the signal ends the run.
TEST(ExtractPatternsCli, EndsOnASignalThoughTheReaderStoppedReading) {
  std::string corpus;
  for (int i = 0; i < 2000; ++i) corpus += kGood;
  const std::string inFile = TempPath("in.txt");
  WriteFile(inFile, corpus);
  const std::string fifo = TempPath("stalled.fifo");
  std::remove(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const pid_t pid = testsupport::StartChild(EXTRACT_PATTERNS_BIN,
                                            {"extract_patterns", inFile, fifo});
  ASSERT_NE(pid, -1);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  const auto state = [pid] {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t paren = stat.rfind(')');
    return paren == std::string::npos ? 'Z' : stat[paren + 2];
  };
  // Until the pipe is full and the run asleep in its write.
  for (int tries = 0; tries < 1000; ++tries) {
    int unread = 0;
    if (::ioctl(reader, FIONREAD, &unread) == 0 && unread >= 4096 &&
        state() == 'S') {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGTERM);
  // Far longer than the wait, then by force: a run that hangs fails the
  // test rather than hanging it.
  for (int tries = 0; tries < 3000 && state() != 'Z'; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const bool ended = state() == 'Z';
  if (!ended) ::kill(pid, SIGKILL);
  const ChildRun run = testsupport::FinishChild(pid);
  ::close(reader);
  std::remove(fifo.c_str());
  EXPECT_TRUE(ended);
  EXPECT_EQ(run.Signal, SIGTERM);
}

// --- The pattern table -----------------------------------------------------

// Four records: one with an id; one with a bare header and a tab inside a
// word; one whose patterns have one and two constraints, with a backslash
// in a TL word and none in its tree; and the first again under another id.
std::string TableInput() {
  const auto record = [](const std::string& header, const std::string& sl,
                         const std::string& tl, const std::string& tree) {
    return header + "\nSL: " + sl + "\nTL: " + tl +
           "\nAlignment: ((1,1),(2,2))\nType: S\nCoEmbeddingScore: 0\n"
           "C-Structure:" +
           tree + "\nConstSeq: \nXSideConstraints:\n\n";
  };
  return record("SentenceIndex: 7 ", "the/dt cat/nn", "le chat",
                "(NP (DT the-1) (NN cat-2))") +
         record("SentenceIndex:", "the/dt a\tb/nn", "le x",
                "(S (NP (DT the-1) (NN a\tb-2)))") +
         record("SentenceIndex:  9", "cats/nns sleep/vb", "chats dor\\ment",
                "(S (NP (NNS cats-1)) (VP (VB sleep-2)))") +
         record("SentenceIndex: 7", "the/dt cat/nn", "le chat",
                "(NP (DT the-1) (NN cat-2))");
}

// The eight pattern fields of each pattern above, as the table writes them.
const char kTheCat[] =
    "NP\tthe cat\tle chat\t((1,1),(2,2))\t(<NP> (DT the-1) (NN cat-2))\t"
    "DT NN\t2\t(X2 NUM *SG)\n";
const char kTabS[] =
    "S\tthe a\\tb\tle x\t((1,1),(2,2))\t(<S> (<NP> (DT the-1) (NN "
    "a\\tb-2)))\tNP\t3\t(X2 NUM *SG)\n";
const char kTabNP[] =
    "NP\tthe a\\tb\tle x\t((1,1),(2,2))\t(<NP> (DT the-1) (NN a\\tb-2))\t"
    "DT NN\t2\t(X2 NUM *SG)\n";
const char kCatsS[] =
    "S\tcats sleep\tchats dor\\\\ment\t((1,1),(2,2))\t(<S> (<NP> (NNS cats-1)) "
    "(<VP> (VB sleep-2)))\tNP VP\t3\t(X1 NUM *PL) (X2 TENSE *PRESENT)\n";
const char kCatsNP[] =
    "NP\tcats\tchats\t((1,1))\t(<NP> (NNS cats-1))\tNNS\t2\t(X1 NUM "
    "*PL)\n";
const char kSleepVP[] =
    "VP\tsleep\tdor\\\\ment\t((1,1))\t(<VP> (VB sleep-1))\tVB\t2\t(X1 TENSE "
    "*PRESENT)\n";

TEST(ExtractPatternsCli, WritesHandCheckedTablesAndLines) {
  const std::string inFile = TempPath("in.txt");
  WriteFile(inFile, TableInput());
  const std::string s = "";
  // The cats record, then the same without its backslash: the one record
  // needs its fields escaped and the other not, yet their NP patterns are
  // one line of the table.
  const auto withoutBackslash = [](std::string text) {
    return text.replace(text.find("dor\\\\ment"), 9, "dorment");
  };
  const std::string input = TableInput();
  const std::size_t cats = input.find("SentenceIndex:  9");
  const std::string catsRecord =
      input.substr(cats, input.find("SentenceIndex: 7", cats) - cats);
  std::string plainCats = catsRecord;
  plainCats.replace(plainCats.find("dor\\ment"), 8, "dorment");
  const std::string mixedFile = TempPath("mixed.txt");
  WriteFile(mixedFile, catsRecord + plainCats);
  struct TableCase {
    std::vector<std::string> Args;
    std::string Table;
  };
  const TableCase cases[] = {
      {{"--tsv", inFile},
       s + "1\t7\t" + kTheCat + "2\t\t" + kTabS + "2\t\t" + kTabNP + "3\t9\t" +
           kCatsS + "3\t9\t" + kCatsNP + "3\t9\t" + kSleepVP + "4\t7\t" +
           kTheCat},
      // Most frequent first, then bytewise: "NP\tc" < "NP\tt" < "S" < "VP".
      {{"--count", inFile},
       s + "2\t" + kTheCat + "1\t" + kCatsNP + "1\t" + kTabNP + "1\t" + kCatsS +
           "1\t" + kTabS + "1\t" + kSleepVP},
      {{"--max-words", "1", "--tsv", inFile},
       s + "3\t9\t" + kCatsNP + "3\t9\t" + kSleepVP},
      {{"--consistent", "--max-words", "1", "--count", inFile},
       s + "1\t" + kCatsNP + "1\t" + kSleepVP},
      {{"--count", mixedFile},
       s + "2\t" + kCatsNP + "1\t" + kCatsS + "1\t" + withoutBackslash(kCatsS) +
           "1\t" + kSleepVP + "1\t" + withoutBackslash(kSleepVP)},
  };
  for (const TableCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.Args));
    const ChildRun run = ExtractPatterns(c.Args);
    EXPECT_EQ(run.ExitStatus, 0);
    EXPECT_EQ(run.Stderr, "");
    EXPECT_EQ(run.Stdout, c.Table);
  }
}

TEST(ExtractPatternsCli, HelpAndVersionGoToStandardOutput) {
  const ChildRun help = ExtractPatterns({"--help"});
  EXPECT_EQ(help.ExitStatus, 0);
  EXPECT_EQ(help.Stderr, "");
  // The usage line first, then every option explained.
  EXPECT_EQ(help.Stdout.rfind(kUsage, 0), 0u) << help.Stdout;
  for (const char* option :
       {"--consistent", "--max-words N", "--tsv", "--count", "--memory SIZE",
        "--temp-dir DIR", "--merge-counts", "--quiet", "--help", "--version"}) {
    EXPECT_NE(help.Stdout.find(std::string("\n  ") + option), std::string::npos)
        << option;
  }
  const ChildRun version = ExtractPatterns({"--version"});
  EXPECT_EQ(version.ExitStatus, 0);
  EXPECT_EQ(version.Stderr, "");
  EXPECT_EQ(version.Stdout, std::string("extract_patterns (annotator) ") +
                                ANNOTATOR_VERSION + "\n");
}

// --- On a terminal -----------------------------------------------------------

TEST(ExtractPatternsCli, SumsUpTheRunOnATerminalUnlessQuiet) {
  const std::string inFile = TempPath("in.txt");
  const std::string outFile = TempPath("out.txt");
  const std::string emptyFile = TempPath("empty.txt");
  WriteFile(inFile, kGood + "junk\n" + kOther + kOther);
  WriteFile(emptyFile, "");
  const ChildRun patterns = ExtractPatterns({inFile});
  ASSERT_EQ(patterns.ExitStatus, 0);
  const std::string table = TempPath("table.tsv");
  ASSERT_EQ(ExtractPatterns({"--count", inFile, table}).ExitStatus, 0);
  // make_examples sums up its sentences the same way.
  const std::string corpus = TempPath("corpus");
  WriteFile(corpus + ".ptb", "(NN a) (NN b)");
  WriteFile(corpus + ".tl", "x\ny\n");
  WriteFile(corpus + ".align", "0-0\n\n");
  const std::vector<std::string> corpusFiles = {corpus + ".ptb", corpus + ".tl",
                                                corpus + ".align"};
  struct TerminalCase {
    std::vector<std::string> Args;
    std::string Summary;
    bool ProgressMayShow;  // patterns go to a file
    const char* Binary = EXTRACT_PATTERNS_BIN;
  };
  const TerminalCase cases[] = {
      {{inFile, outFile},
       "3 records read, 0 skipped, 5 patterns written.\n",
       true},
      {{inFile}, "3 records read, 0 skipped, 5 patterns written.\n", false},
      {{"--count", inFile, outFile},
       "3 records read, 0 skipped, 5 patterns counted, 3 distinct "
       "written.\n",
       true},
      {{"--merge-counts", "-o", outFile, table, table},
       "2 count tables read, 10 patterns counted, 3 distinct written.\n",
       false},
      {{emptyFile, outFile},
       "0 records read, 0 skipped, 0 patterns written.\n",
       true},
      {{"--quiet", inFile, outFile}, "", false},
      {corpusFiles, "2 sentences read, 0 skipped, 2 records written.\n", false,
       MAKE_EXAMPLES_BIN},
      {{"--quiet", corpusFiles[0], corpusFiles[1], corpusFiles[2], outFile},
       "",
       false,
       MAKE_EXAMPLES_BIN},
  };
  for (const TerminalCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.Args));
    std::vector<std::string> argv{"program"};
    argv.insert(argv.end(), c.Args.begin(), c.Args.end());
    testsupport::ChildOptions options;
    options.StderrTerminal = true;
    const ChildRun run = testsupport::RunChild(c.Binary, argv, options);
    EXPECT_EQ(run.ExitStatus, 0);
    // A progress line drawn meanwhile is cleared before the summary.
    const std::string clear = "\r\033[K";
    const std::string& text = run.Stderr;
    if (c.ProgressMayShow && text.rfind(clear, 0) == 0) {
      EXPECT_EQ(text.substr(text.rfind(clear)), clear + c.Summary);
    } else {
      EXPECT_EQ(text, c.Summary);
    }
  }
  // Nothing of the kind where standard error is no terminal.
  EXPECT_EQ(patterns.Stderr, "");
}

// --- Standard output as the output -----------------------------------------

TEST(ExtractPatternsCli, ClosedStandardOutputIsAFailedWrite) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{Example()},
        std::vector<std::string>{"--tsv", Example(), "-"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const ChildRun run = ExtractPatterns(args, ChildStdout::Closed);
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr,
              "Couldn't write standard output: Bad file descriptor.\n");
  }
}

// Standard input closed when a program starts is no input, and standard
// output appended to an input would be read back as it is written (the
// file limit stops a program that does so).
TEST(StandardStreams, AClosedInputOrAnOutputIntoAnInputIsRefused) {
  const std::string in = TempPath("in.txt");
  const std::string closed =
      "Couldn't read standard input: Bad file descriptor.\n";
  const std::string same = "InFile and OutFile name the same file.\n";
  struct Case {
    const char* Program;
    std::vector<std::string> Args;
    std::string Redirection;
    std::string Stderr;
  };
  const Case cases[] = {
      {EXTRACT_PATTERNS_BIN, {"-"}, "<&-", closed},
      {EXTRACT_PATTERNS_BIN, {"--merge-counts", "-"}, "<&-", closed},
      {SCORE_PATTERNS_BIN, {"--from-counts", "-"}, "<&-", closed},
      {EXTRACT_PATTERNS_BIN, {in}, ">>'" + in + "'", same},
      {EXTRACT_PATTERNS_BIN, {"-"}, "<'" + in + "' >>'" + in + "'", same},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Redirection);
    WriteFile(in, kGood);
    std::vector<std::string> argv{
        "sh", "-c",
        "ulimit -f 2000; exec \"$0\" --quiet \"$@\" " + c.Redirection,
        c.Program};
    argv.insert(argv.end(), c.Args.begin(), c.Args.end());
    const ChildRun run = testsupport::RunChild("/bin/sh", argv);
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, c.Stderr);
    EXPECT_EQ(ReadFile(in), kGood);
  }
}

// --- Memory ----------------------------------------------------------------

TEST(ExtractPatternsCli, DeepRecordRunsInBoundedMemory) {
  if (testsupport::kSanitized) {
    GTEST_SKIP() << "no address-space limit under a sanitizer";
  }
  // 8,000 labelled levels give about 190 MB of patterns from a line of
  // 32 KB; the run may map 100 MB.
  std::string tree = "C-Structure:";
  for (int i = 0; i < 8000; ++i) tree += "(A ";
  tree += "(N a-1)" + std::string(8000, ')');
  const std::string inFile = TempPath("in.txt");
  WriteFile(inFile, kGood + Record("Alignment: ((1,1))", tree));
  struct MemoryCase {
    std::vector<std::string> Options;
    int ExitStatus;
    std::string StderrText;
  };
  const MemoryCase cases[] = {
      {{"--quiet"}, 0, ""},
      // Counting holds a quarter of what the run may map, and puts the rest
      // on disk.
      {{"--count"}, 0, ""},
      // Told to hold more than it may map, it runs out.
      {{"--count", "--memory", "1G"}, 1, "Ran out of memory at record 2.\n"},
  };
  for (const MemoryCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.Options));
    std::vector<std::string> argv{"sh", "-c",
                                  "ulimit -v 100000 && exec \"$0\" \"$@\"",
                                  EXTRACT_PATTERNS_BIN};
    argv.insert(argv.end(), c.Options.begin(), c.Options.end());
    argv.push_back(inFile);
    const ChildRun run =
        testsupport::RunChild("/bin/sh", argv, {ChildStdout::DevNull});
    EXPECT_EQ(run.Signal, 0);
    EXPECT_EQ(run.ExitStatus, c.ExitStatus);
    EXPECT_EQ(run.Stderr, c.StderrText);
  }
}

}  // namespace
