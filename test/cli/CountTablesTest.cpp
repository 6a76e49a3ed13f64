// extract_patterns --count in bounded memory, and --merge-counts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/RecordBuilder.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ChildRun;
using testsupport::HoldsFileIn;
using testsupport::IsEmptyDirectory;
using testsupport::ReadFile;
using testsupport::TempPath;
using testsupport::WriteFile;

ChildRun Extract(const std::vector<std::string>& args,
                 const testsupport::ChildOptions& options = {}) {
  std::vector<std::string> argv{"extract_patterns"};
  argv.insert(argv.end(), args.begin(), args.end());
  return testsupport::RunChild(EXTRACT_PATTERNS_BIN, argv, options);
}

// Records `from` to `to`, whose long words recur every 8,000 records: a
// table of 24,000 lines, some 8 MB of them held.
std::string Records(int from, int to) {
  std::string text;
  for (int i = from; i < to; ++i) {
    const std::string n =
        std::to_string(i % 8000) + "abcdefghijklmnopqrstuvwxyz";
    testsupport::RecordLines record;
    record.SL = "SL: w" + n + "/dt x" + n + "/nn y" + n + "/vb";
    record.TL = "TL: u" + n + " v" + n + " z" + n;
    record.Alignment = "Alignment: ((1,1),(2,2),(3,3))";
    record.Type = "Type: S";
    record.CStructure = "C-Structure:(S (NP (DT w" + n + "-1) (NN x" + n +
                        "-2)) (VP (VB y" + n + "-3)))";
    record.ConstSeq = "ConstSeq: NP VP";
    text += record.Text();
  }
  return text;
}

constexpr int kRecords = 16000;

class CountTables : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(inFile_, Records(0, kRecords));
    ::mkdir(tempDir_.c_str(), 0700);
    const ChildRun run = Extract({"--count", inFile_});
    ASSERT_EQ(run.ExitStatus, 0);
    whole_ = run.Stdout;
    WriteFile(outFile_, "old\n");
  }
  // OutFile as it was and no temporary file anywhere.
  void ExpectUntouched() {
    EXPECT_EQ(ReadFile(outFile_), "old\n");
    EXPECT_TRUE(IsEmptyDirectory(tempDir_));
  }

  const std::string inFile_ = TempPath("in.txt");
  const std::string outFile_ = TempPath("out.txt");
  const std::string tempDir_ = TempPath("tmp");
  std::string whole_;
};

// At 4 MiB the table takes several runs: the disk that fills proves it.
TEST_F(CountTables, SpilledTableIsTheWholeOne) {
  const std::vector<std::string> bounded = {"--count",    "--memory", "4M",
                                            "--temp-dir", tempDir_,   inFile_};
  ChildRun run = Extract(bounded);
  EXPECT_EQ(run.ExitStatus, 0);
  EXPECT_TRUE(run.Stdout == whole_) << "tables differ";
  std::vector<std::string> toFile = bounded;
  toFile.push_back(outFile_);
  run = Extract(toFile);
  EXPECT_EQ(run.ExitStatus, 0);
  EXPECT_TRUE(ReadFile(outFile_) == whole_) << "tables differ";
  EXPECT_TRUE(IsEmptyDirectory(tempDir_));

  WriteFile(outFile_, "old\n");
  testsupport::ChildOptions small;
  small.FileSizeLimit = 64 << 10;
  for (const std::string& dir : {tempDir_, TempPath("missing")}) {
    toFile[4] = dir;
    run = Extract(toFile, small);
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, "Couldn't write temporary file in " + dir + ".\n");
    ExpectUntouched();
  }
}

// The pieces of a corpus, split anywhere between records, counted apart
// and merged in any order, give the table of the whole; a piece kept
// gzipped reads as its table.
TEST_F(CountTables, MergedPiecesGiveTheWholeTable) {
  const std::vector<std::vector<int>> splits = {
      {0, kRecords}, {0, 8000, kRecords}, {0, 1, 7777, 7778, kRecords}};
  for (const std::vector<int>& cuts : splits) {
    SCOPED_TRACE(cuts.size() - 1);
    std::vector<std::string> args{"--merge-counts", "--memory", "4M",
                                  "--temp-dir", tempDir_};
    // The last piece first.
    for (std::size_t i = cuts.size() - 1; i > 0; --i) {
      const std::string piece = TempPath("piece" + std::to_string(i));
      WriteFile(piece + ".txt", Records(cuts[i - 1], cuts[i]));
      ASSERT_EQ(Extract({"--count", piece + ".txt", piece}).ExitStatus, 0);
      if (i == 1) WriteFile(piece, testsupport::Gzip(ReadFile(piece)));
      args.push_back(piece);
    }
    // As with sort, -o may follow the tables.
    const bool named = cuts.size() > 3;
    if (named) args.insert(args.end(), {"-o", outFile_});
    const ChildRun run = Extract(args);
    EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
    EXPECT_TRUE((named ? ReadFile(outFile_) : run.Stdout) == whole_)
        << "tables differ";
    EXPECT_TRUE(IsEmptyDirectory(tempDir_));
  }
}

// Lines that come again once the counter is full still add their counts
// where it holds them: a table merged with itself is that of its corpus
// twice over.
TEST_F(CountTables, TableMergedWithItselfCountsTwice) {
  const std::string table = TempPath("table");
  WriteFile(table, whole_);
  WriteFile(inFile_, Records(0, kRecords) + Records(0, kRecords));
  const ChildRun twice = Extract({"--count", inFile_});
  const ChildRun run = Extract({"--merge-counts", "--memory", "4M",
                                "--temp-dir", tempDir_, table, table});
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_TRUE(run.Stdout == twice.Stdout) << "tables differ";
  EXPECT_TRUE(IsEmptyDirectory(tempDir_));
}

TEST_F(CountTables, RefusesWhatIsNoTableInOrder) {
  const std::string fields = "\tA\tB\tC\tD\tE\tF\tG\tH\n";
  const std::string table = TempPath("table.tsv");
  const std::string refusal = "Line 2 of count table " + table;
  // Damaged mid-stream, gzip makes garbage lines before its check tells.
  std::string damaged = testsupport::Gzip(whole_);
  damaged[damaged.size() / 2] ^= 0x55;
  const std::pair<std::string, std::string> cases[] = {
      {damaged, "Couldn't read count table " + table + ": damaged gzip data."},
      {"2" + fields + "3" + fields, refusal + " is out of --count's order."},
      {"2\tZ" + fields.substr(2) + "2" + fields,
       refusal + " is out of --count's order."},
      {"2" + fields + "2" + fields, refusal + " is out of --count's order."},
      {"2" + fields + "x" + fields, refusal + " is not a count line."},
      {"2" + fields + "01" + fields, refusal + " is not a count line."},
      {"2" + fields + "1\tA\tB\n", refusal + " is not a count line."},
      {"2" + fields + "\n", refusal + " is not a count line."},
      // --count writes a carriage return as \r: a raw one ends no line.
      {"2" + fields + "1" + fields.substr(0, fields.size() - 1) + "\r\n",
       refusal + " is not a count line."},
      {"2" + fields + "1\tA\tB\tC\tD\tE\tF\tG\tH",
       refusal + " is not a count line."},
      // --count writes no other escape than \t, \n, \r and \\.
      {"2" + fields + "1\tA\\q" + fields.substr(2),
       refusal + " is not a count line."},
      {"2" + fields + "1" + fields.substr(0, fields.size() - 1) + "\\\n",
       refusal + " is not a count line."},
      {"annotator-counts 1 consistent=0 max-words=0\nwords\nend\n",
       "Count table " + table +
           " was written by score_patterns --counts-only: score_patterns "
           "--from-counts reads it."},
      // A line the merge's memory cannot hold is not read on without end.
      {"2" + fields + std::string(std::size_t{5} << 20, 'x'),
       "Ran out of memory."},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text.substr(0, 40));  // the gzip is long, and binary
    WriteFile(table, text);
    const ChildRun run =
        Extract({"--merge-counts", "--memory", "4M", "-o", outFile_, table});
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, message + "\n");
    ExpectUntouched();
  }
  // Each line may count 2^62, but no more in all, so that no sum overflows.
  const std::string most = TempPath("most.tsv");
  WriteFile(most, "4611686018427387904" + fields);
  const ChildRun twice =
      Extract({"--merge-counts", "-o", outFile_, most, most});
  EXPECT_EQ(twice.Stderr,
            "The count tables hold more than 4611686018427387904 patterns in "
            "all.\n");
  ExpectUntouched();
  // The last table, read from standard input, is named so.
  testsupport::ChildOptions fromStdin;
  fromStdin.Stdin = table;
  const ChildRun piped =
      Extract({"--merge-counts", "-o", outFile_, "-"}, fromStdin);
  EXPECT_EQ(piped.Stderr, "Line 2 of standard input is not a count line.\n");
  const ChildRun run =
      Extract({"--merge-counts", "-o", outFile_, inFile_ + ".none", table});
  EXPECT_EQ(run.Stderr, "Couldn't open count table " + inFile_ +
                            ".none: No such file or directory.\n");
  ExpectUntouched();
}

// SIGTERM while runs are on disk, once while counting and once while the
// table is merged out of them.
TEST_F(CountTables, SignalLeavesNoTemporaryFile) {
  const std::string fifo = TempPath("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const bool merging : {false, true}) {
    SCOPED_TRACE(merging ? "merging" : "counting");
    const std::string in = merging ? inFile_ : fifo;
    const std::string out = merging ? fifo : outFile_;
    // Opened before the child, so that neither side waits.
    const int fd = ::open(fifo.c_str(), O_RDWR);
    ASSERT_NE(fd, -1);
    const pid_t pid = testsupport::StartChild(
        EXTRACT_PATTERNS_BIN, {"extract_patterns", "--count", "--memory", "4M",
                               "--temp-dir", tempDir_, in, out});
    ASSERT_NE(pid, -1);
    // The records go in whole, and the program waits for more; or the
    // table fills the pipe, and the program waits for it to be read.
    std::thread feeder;
    std::atomic<bool> fed{merging};
    if (!merging) {
      feeder = std::thread([fd, &fed] {
        const std::string records = Records(0, kRecords);
        // Cut short once the program is gone.
        std::size_t at = 0;
        for (ssize_t written = 0; at < records.size() && written >= 0;
             at += static_cast<std::size_t>(written)) {
          written = ::write(fd, records.data() + at, records.size() - at);
        }
        fed = true;
      });
    }
    bool held = false;
    for (int tries = 0; tries < 1000 && !held; ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      held = HoldsFileIn(pid, tempDir_);
    }
    if (merging) {
      // Until the pipe is full.
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    ::kill(pid, SIGTERM);
    const ChildRun run = testsupport::FinishChild(pid);
    // What the program did not read is read here, for the feeder to end.
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    for (char bytes[1 << 16]; !fed;) {
      if (::read(fd, bytes, sizeof bytes) <= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    if (feeder.joinable()) feeder.join();
    ::close(fd);
    EXPECT_TRUE(held);
    EXPECT_EQ(run.Signal, SIGTERM);
    ExpectUntouched();
  }
}

}  // namespace
