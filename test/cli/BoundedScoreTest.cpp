// score_patterns held to --memory: its table through temporary files is
// the one it makes in memory, in every mode, and a temporary disk that
// fills ends the run as a full OutFile disk does.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/RecordBuilder.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ChildRun;
using testsupport::IsEmptyDirectory;
using testsupport::ReadFile;
using testsupport::TempPath;
using testsupport::WriteFile;

ChildRun Score(const std::vector<std::string>& args,
               const testsupport::ChildOptions& options = {}) {
  std::vector<std::string> argv{"score_patterns"};
  argv.insert(argv.end(), args.begin(), args.end());
  return testsupport::RunChild(SCORE_PATTERNS_BIN, argv, options);
}

// Two-level trees over long words, so that the table passes 4 MiB: SL
// sides recur with several TL sides and TL sides with several SL sides,
// links many-to-many and some words unlinked.
std::string MadeCorpus(int records) {
  std::mt19937 random(7);
  const auto pick = [&random](unsigned n) {
    return std::to_string(random() % n) + "-abcdefghijklmnopqrstuvw";
  };
  std::string text;
  for (int i = 0; i < records; ++i) {
    const std::string sl[5] = {"the", "n" + pick(900), "v" + pick(300), "a",
                               "m" + pick(900)};
    const char* const tags[5] = {"DT", "NN", "VBZ", "DT", "NNS"};
    const unsigned tlWords = 3 + random() % 4;
    std::string tl;
    for (unsigned t = 0; t < tlWords; ++t) {
      tl += (t ? " t" : "t") + pick(400);
    }
    std::string links;
    for (unsigned s = 1; s <= 5; ++s) {
      if (random() % 5 == 0) continue;
      for (unsigned n = 1 + random() % 3 / 2; n > 0; --n) {
        links += (links.empty() ? "(" : ",(") + std::to_string(s) + "," +
                 std::to_string(1 + random() % tlWords) + ")";
      }
    }
    testsupport::RecordLines record;
    record.SL = "SL:";
    std::string leaves[5];
    for (int w = 0; w < 5; ++w) {
      record.SL += " " + sl[w] + "/" + tags[w];
      leaves[w] = std::string("(") + tags[w] + " " + sl[w] + "-" +
                  std::to_string(w + 1) + ")";
    }
    record.TL = "TL: " + tl;
    record.Alignment = "Alignment: (" + links + ")";
    record.Type = "Type: S";
    record.CStructure = "C-Structure:(S (NP " + leaves[0] + " " + leaves[1] +
                        ") (VP " + leaves[2] + " (NP " + leaves[3] + " " +
                        leaves[4] + ")))";
    record.ConstSeq = "ConstSeq: NP VP";
    text += record.Text();
  }
  return text;
}

// Every mode between them: the table, Moses' form with the word table,
// both smoothings, --min-count and the options that choose patterns.
const std::vector<std::vector<std::string>> kModes = {
    {},
    {"--moses", "--lexical", "LEX"},
    {"--smoothing", "good-turing", "--min-count", "2"},
    {"--smoothing", "kneser-ney", "--consistent", "--max-words", "3"},
};

// Runs every mode on `in` without bound and at the least --memory, which
// must write the same files and leave no temporary one; then fills the
// temporary disk.
void ExpectSpilledTablesAreWhole(const std::string& in) {
  const std::string dir = TempPath("runs");
  ::mkdir(dir.c_str(), 0700);
  for (const std::vector<std::string>& mode : kModes) {
    std::string outputs[2];
    for (int bounded = 0; bounded < 2; ++bounded) {
      const std::string out = TempPath("out" + std::to_string(bounded));
      std::vector<std::string> args;
      for (const std::string& arg : mode) {
        args.push_back(arg == "LEX" ? out : arg);
      }
      if (bounded)
        args.insert(args.end(), {"--memory", "4M", "--temp-dir", dir});
      args.insert(args.end(), {"--quiet", in, out});
      const ChildRun run = Score(args);
      ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
      outputs[bounded] = ReadFile(out);
      if (mode.size() > 1 && mode[1] == "LEX") {
        outputs[bounded] += ReadFile(out + ".s2t") + ReadFile(out + ".t2s");
      }
    }
    SCOPED_TRACE(mode.empty() ? "table" : mode[0]);
    EXPECT_TRUE(outputs[0] == outputs[1]) << "tables differ";
    EXPECT_TRUE(IsEmptyDirectory(dir));
    // Runs were written: where none can be, the run ends.
    std::vector<std::string> args = mode;
    const std::string missing = TempPath("missing");
    args.insert(args.end(), {"--memory", "4M", "--temp-dir", missing, in});
    for (std::string& arg : args) {
      if (arg == "LEX") arg = TempPath("lex");
    }
    const ChildRun run = Score(args);
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr,
              "Couldn't write temporary file in " + missing + ".\n");
  }

  const std::string out = TempPath("old");
  WriteFile(out, "old\n");
  testsupport::ChildOptions small;
  small.FileSizeLimit = 64 << 10;
  const ChildRun run =
      Score({"--memory", "4M", "--temp-dir", dir, in, out}, small);
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_EQ(run.Stderr, "Couldn't write temporary file in " + dir + ".\n");
  EXPECT_EQ(ReadFile(out), "old\n");
  EXPECT_TRUE(IsEmptyDirectory(dir));
}

TEST(BoundedScore, MadeCorpusSpillsToTheSameTables) {
  const std::string in = TempPath("made.txt");
  WriteFile(in, MadeCorpus(12000));
  ExpectSpilledTablesAreWhole(in);
}

TEST(BoundedScore, RealTreesSpillToTheSameTables) {
  const std::string shared = testsupport::SharedDir();
  if (shared.empty()) GTEST_SKIP() << "no shared corpora";
  ExpectSpilledTablesAreWhole(shared + "/realdata/treebank-records.txt");
}

}  // namespace
