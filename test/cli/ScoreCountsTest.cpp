// Tests of score_patterns --counts-only and --from-counts: a corpus counted
// in pieces and scored from the count files must give the table of one run,
// however it is cut, and count files that cannot add up must be refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "ScoreMessages.h"
#include "support/ChildProcess.h"
#include "support/RecordBuilder.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ChildRun;
using testsupport::ReadFile;
using testsupport::TempPath;
using testsupport::WriteFile;

// `openFiles` other than 0 lowers the child's limit on open files, and so
// the files a merge may hold open at once.
ChildRun ScorePatterns(const std::vector<std::string>& args,
                       const std::string& stdinFile = "", int openFiles = 0) {
  std::vector<std::string> argv{"score_patterns", "--quiet"};
  if (openFiles != 0) {
    argv = {"sh", "-c",
            "ulimit -n " + std::to_string(openFiles) + " && exec \"$0\" \"$@\"",
            SCORE_PATTERNS_BIN, "--quiet"};
  }
  argv.insert(argv.end(), args.begin(), args.end());
  testsupport::ChildOptions options;
  options.Stdin = stdinFile;
  return testsupport::RunChild(openFiles != 0 ? "/bin/sh" : SCORE_PATTERNS_BIN,
                               argv, options);
}

std::vector<std::string> SplitRecords(const std::string& text) {
  std::vector<std::string> records;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t next = text.find("\nSentenceIndex:", at);
    next = next == std::string::npos ? text.size() : next + 1;
    records.push_back(text.substr(at, next - at));
    at = next;
  }
  return records;
}

// The examples twice over, so that pieces share patterns and word links;
// between them words that need escapes or read as NULL, and a record that
// is skipped.
std::vector<std::string> MadeCorpus() {
  const std::string examples =
      ReadFile(ANNOTATOR_EXAMPLES "/training-examples.txt");
  testsupport::RecordLines odd;
  odd.SL = "SL: NULL/nn a\\b/nn";
  odd.TL = "TL: NULL x\\y";
  odd.CStructure = "C-Structure:(NP (NN NULL-1) (NN a\\b-2))";
  odd.ConstSeq = "ConstSeq: NN NN";
  testsupport::RecordLines broken;
  broken.CStructure = "C-Structure:(NP (DT a-1)";
  return SplitRecords(examples + odd.Text() + broken.Text() + examples);
}

// How a corpus is cut: into `Pieces` runs of records, an empty piece put
// in the middle, the count files given last to first, the first read from
// standard input, the last gzipped; merged with the open files limited to
// `OpenFiles` (0 for no limit).
struct Split {
  const char* Name;
  std::size_t Pieces;
  bool Empty, Reversed, Stdin, Gzipped;
  int OpenFiles;
};
constexpr Split kOnePiece{"one piece", 1, false, false, false, false, 0};
constexpr Split kTwoPieces{"two pieces", 2, false, false, false, false, 0};
constexpr Split kManyPieces{"many pieces", 7, false, false, false, true, 0};
constexpr Split kReversed{"reversed", 4, false, true, true, false, 0};
constexpr Split kEmptyPiece{"an empty piece", 3, true, false, false, false, 0};
// A limit of 40 lets four files be open: the pieces go through runs.
constexpr Split kFewOpen{
    "more pieces than may be open", 9, true, true, true, true, 40};

// The options counted with and those scored with; "LEX" stands for the
// --lexical prefix of the run.
struct Mode {
  const char* Name;
  std::vector<std::string> Counting, Scoring;
};
const Mode kDefault{"default", {}, {}};
const Mode kMoses{"--moses", {}, {"--moses"}};
const Mode kLexical{"--lexical", {}, {"--lexical", "LEX"}};
const Mode kGoodTuring{"good-turing", {}, {"--smoothing", "good-turing"}};
const Mode kKneserNey{
    "kneser-ney, --min-count", {}, {"--smoothing=kneser-ney", "--min-count=2"}};
const Mode kChosen{
    "--consistent --max-words", {"--consistent", "--max-words=3"}, {}};
// Small enough that the real trees go out in runs; one run takes none.
const Mode kSmallMemory{"--memory", {"--memory=4M"}, {"--memory=4M"}};

std::vector<std::string> Scoring(const Mode& mode, const std::string& lex) {
  std::vector<std::string> args = mode.Scoring;
  std::replace(args.begin(), args.end(), std::string("LEX"), lex);
  return args;
}

void ExpectPiecesMakeTheWhole(const std::vector<std::string>& records,
                              const Split& split, const Mode& mode) {
  SCOPED_TRACE(std::string(split.Name) + ", " + mode.Name);
  std::string corpus;
  for (const std::string& record : records) corpus += record;
  const std::string whole = TempPath("whole.txt");
  WriteFile(whole, corpus);
  std::vector<std::string> args;
  for (const auto& options :
       {mode.Counting, Scoring(mode, TempPath("whole-lex"))}) {
    for (const std::string& arg : options) {
      if (arg.rfind("--memory", 0) != 0) args.push_back(arg);
    }
  }
  args.insert(args.end(), {whole, TempPath("whole.tsv")});
  const ChildRun one = ScorePatterns(args);

  std::vector<std::string> pieces;
  for (std::size_t i = 0; i < split.Pieces; ++i) {
    std::string piece;
    for (std::size_t r = records.size() * i / split.Pieces;
         r < records.size() * (i + 1) / split.Pieces; ++r) {
      piece += records[r];
    }
    pieces.push_back(piece);
    if (split.Empty && i == split.Pieces / 2) pieces.emplace_back();
  }
  if (split.Reversed) std::reverse(pieces.begin(), pieces.end());
  std::vector<std::string> countFiles;
  int worst = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const std::string in = TempPath("piece" + std::to_string(i) + ".txt");
    const std::string counts = in + ".counts";
    WriteFile(in, pieces[i]);
    args = mode.Counting;
    args.insert(args.end(), {"--counts-only", in, counts});
    const ChildRun run = ScorePatterns(args);
    worst = std::max(worst, run.ExitStatus);
    if (split.Gzipped && i + 1 == pieces.size()) {
      WriteFile(counts + ".gz", testsupport::Gzip(ReadFile(counts)));
      countFiles.push_back(counts + ".gz");
    } else {
      countFiles.push_back(counts);
    }
  }
  args = Scoring(mode, TempPath("pieces-lex"));
  args.push_back("--from-counts");
  args.insert(args.end(), countFiles.begin(), countFiles.end());
  if (split.Stdin) args[args.size() - countFiles.size()] = "-";
  // Without -o the table goes to standard output.
  const bool toStdout = split.Pieces == 1;
  if (!toStdout) args.insert(args.end(), {"-o", TempPath("pieces.tsv")});
  const ChildRun merged = ScorePatterns(
      args, split.Stdin ? countFiles.front() : "", split.OpenFiles);

  EXPECT_EQ(merged.ExitStatus, 0) << merged.Stderr;
  EXPECT_EQ(worst, one.ExitStatus);
  EXPECT_TRUE(ReadFile(TempPath("whole.tsv")) ==
              (toStdout ? merged.Stdout : ReadFile(TempPath("pieces.tsv"))));
  if (std::string(mode.Name) == kLexical.Name) {
    for (const char* side : {".s2t", ".t2s"}) {
      EXPECT_TRUE(ReadFile(TempPath("whole-lex") + side) ==
                  ReadFile(TempPath("pieces-lex") + side))
          << side;
    }
  }
}

TEST(CountFiles, PiecesOfAMadeCorpusScoreAsTheWhole) {
  const std::vector<std::string> records = MadeCorpus();
  for (const Split& split :
       {kOnePiece, kTwoPieces, kManyPieces, kReversed, kEmptyPiece, kFewOpen}) {
    for (const Mode& mode : {kDefault, kMoses, kLexical, kGoodTuring,
                             kKneserNey, kChosen, kSmallMemory}) {
      ExpectPiecesMakeTheWhole(records, split, mode);
    }
  }
}

TEST(CountFiles, PiecesOfTheRealTreesScoreAsTheWhole) {
  if (testsupport::SharedDir().empty()) GTEST_SKIP() << "no shared corpus";
  const std::vector<std::string> records = SplitRecords(
      ReadFile(testsupport::SharedDir() + "/realdata/treebank-records.txt"));
  // A mode to a split: each run of the whole takes seconds.
  const std::pair<Split, Mode> cases[] = {{kManyPieces, kSmallMemory},
                                          {kReversed, kMoses}};
  for (const auto& [split, mode] : cases) {
    ExpectPiecesMakeTheWhole(records, split, mode);
  }
}

// The word links of a count file come bytewise by their rows' words, NULL's
// empty word and escaped words among them, so that equal counts make equal
// files.
TEST(CountFiles, WordLinksComeInRowOrder) {
  std::string corpus;
  for (const std::string& record : MadeCorpus()) corpus += record;
  const std::string in = TempPath("in.txt");
  WriteFile(in, corpus);
  ScorePatterns({"--counts-only", in, TempPath("in.counts")});
  const std::string text = ReadFile(TempPath("in.counts"));
  std::vector<std::string> words;
  for (std::size_t at = text.find("\nwords\n") + 7;
       at < text.size() && text.compare(at, 4, "end\n") != 0;
       at = text.find('\n', at) + 1) {
    const std::size_t tab = text.find('\t', at) + 1;
    words.push_back(text.substr(tab, text.find('\n', at) - tab));
  }
  EXPECT_GT(words.size(), 20U);
  EXPECT_TRUE(std::adjacent_find(words.begin(), words.end(),
                                 std::greater_equal<>()) == words.end());
}

// Count files that cannot add up are refused with a message naming the
// file, and no table is written.
TEST(CountFiles, RefusalsNameTheFileAndWriteNothing) {
  std::string corpus;
  for (const std::string& record : MadeCorpus()) corpus += record;
  const std::string in = TempPath("in.txt");
  WriteFile(in, corpus);
  const std::string plain = TempPath("plain.counts");
  const std::string chosen = TempPath("chosen.counts");
  ScorePatterns({"--counts-only", in, plain});
  ScorePatterns({"--consistent", "--counts-only", in, chosen});
  const std::string unbounded = TempPath("unbounded.counts");
  ScorePatterns(
      {"--max-words", "18446744073709551615", "--counts-only", in, unbounded});
  const std::string table = TempPath("count.tsv");
  testsupport::RunChild(EXTRACT_PATTERNS_BIN,
                        {"extract_patterns", "--count", in, table});
  std::vector<std::string> lines;
  const std::string good = ReadFile(plain);
  for (std::size_t at = 0; at < good.size(); at = good.find('\n', at) + 1) {
    lines.push_back(good.substr(at, good.find('\n', at) - at));
  }
  const std::size_t words = static_cast<std::size_t>(
      std::find(lines.begin(), lines.end(), "words") - lines.begin());
  // A file of `lines` with line `number` (from 1) made `text`.
  const auto changed = [&](const std::string& name, std::size_t number,
                           const std::string& text) {
    std::string file;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      file += (i + 1 == number ? text : lines[i]) + "\n";
    }
    WriteFile(TempPath(name), file);
    return TempPath(name);
  };
  const auto bad = [](const std::string& path, long long line,
                      messages::CountLineFault fault) {
    return messages::BadCountFileLine(line, path, fault);
  };
  // Line `number` of the file with its count made 2^62, the most one line
  // may count: two such files count past what their sums may hold.
  const auto most = [&](const std::string& name, std::size_t number) {
    const std::string& line = lines[number - 1];
    return changed(name, number,
                   "4611686018427387904" + line.substr(line.find('\t')));
  };
  const std::string manyRows = most("many-rows", 2);
  const std::string manyLinks = most("many-links", words + 2);
  const std::string tooMany =
      "The count files hold more than 4611686018427387904 ";
  const std::string cut = TempPath("cut");
  WriteFile(cut, good.substr(0, good.size() - 4));
  const std::string half = TempPath("half");
  WriteFile(half, good.substr(0, good.size() - 2));
  // Damaged mid-stream, gzip makes garbage lines before its check tells.
  const std::string damaged = TempPath("damaged.gz");
  std::string packed = testsupport::Gzip(good);
  packed[packed.size() / 2] ^= 0x55;
  WriteFile(damaged, packed);
  struct Case {
    std::vector<std::string> Files;
    std::string Stderr;
    std::string Stdin = "";
  };
  const Case cases[] = {
      {{plain, chosen},
       "Count file " + chosen +
           " was counted with consistent=1 max-words=0, count file " + plain +
           " with consistent=0 max-words=0.\n"},
      // The largest bound is written, and read back, as it was given.
      {{plain, unbounded},
       "Count file " + unbounded +
           " was counted with consistent=0 max-words=18446744073709551615, "
           "count file " +
           plain + " with consistent=0 max-words=0.\n"},
      {{plain, table}, messages::NotCountFile(table)},
      {{in}, messages::NotCountFile(in)},
      {{changed("v2", 1, "annotator-counts 2 consistent=0 max-words=0")},
       "Count file " + TempPath("v2") + " is of version 2, not 1.\n"},
      {{changed("odd", 1, "annotator-counts 1 consistent=2 max-words=0")},
       messages::NotCountFile(TempPath("odd"))},
      {{cut}, messages::CountFileCut(cut)},
      {{half}, messages::CountFileCut(half)},
      {{damaged},
       "Couldn't read count file " + damaged + ": damaged gzip data.\n"},
      {{changed("more", lines.size(), "end\nend")},
       messages::NotCountFile(TempPath("more"))},
      {{changed("doubled", 3, lines[1])},
       bad(TempPath("doubled"), 3, messages::CountLineFault::kOutOfOrder)},
      {{changed("swapped", 2, lines[2])},
       bad(TempPath("swapped"), 3, messages::CountLineFault::kOutOfOrder)},
      {{changed("zero", 2, "0" + lines[1])},
       bad(TempPath("zero"), 2, messages::CountLineFault::kNotCount)},
      // Rows escape a carriage return: a raw one is a line end gone CRLF.
      {{changed("cr", 2, lines[1] + "\r")},
       bad(TempPath("cr"), 2, messages::CountLineFault::kNotCount)},
      {{changed("cr-link", words + 2, lines[words + 1] + "\r")},
       bad(TempPath("cr-link"), static_cast<long long>(words) + 2,
           messages::CountLineFault::kNotWordLink)},
      // No escape but those the writer writes: a\qb is not aqb.
      {{changed("escape-link", words + 2, "1\ta\\qb\tc")},
       bad(TempPath("escape-link"), static_cast<long long>(words) + 2,
           messages::CountLineFault::kNotWordLink)},
      {{changed("link", words + 2, "1\tonly")},
       bad(TempPath("link"), static_cast<long long>(words) + 2,
           messages::CountLineFault::kNotWordLink)},
      // The files merge at once, yet the refusal is the one that reading
      // them one after another meets first.
      {{TempPath("link"), TempPath("zero")},
       bad(TempPath("link"), static_cast<long long>(words) + 2,
           messages::CountLineFault::kNotWordLink)},
      {{manyRows, manyRows}, tooMany + "patterns in all.\n"},
      {{manyLinks, manyLinks}, tooMany + "word links in all.\n"},
      // Counting past the most is met in turn like any refusal.
      {{manyRows, manyRows, TempPath("zero")}, tooMany + "patterns in all.\n"},
      {{TempPath("doubled"), manyRows},
       bad(TempPath("doubled"), 3, messages::CountLineFault::kOutOfOrder)},
      // A line the merge's memory cannot hold is not read on without end.
      {{changed("endless", 2, std::string(std::size_t{5} << 20, 'x'))},
       "Ran out of memory at record 0.\n"},
      {{TempPath("none")},
       "Couldn't open count file " + TempPath("none") +
           ": No such file or directory.\n"},
      // Standard input reads --count's table.
      {{"-"},
       "Standard input was not written by score_patterns --counts-only.\n",
       table},
      // One standard input cannot be read as two files: refused before
      // either is read.
      {{"-", "-"},
       "score_patterns: \"-\" given twice: only one CountFile can be "
       "standard input.\n" +
           std::string(messages::kScorePatternsUsage),
       plain},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--memory", "4M", "--from-counts"};
    args.insert(args.end(), c.Files.begin(), c.Files.end());
    args.insert(args.end(), {"-o", TempPath("out.tsv")});
    const ChildRun run = ScorePatterns(args, c.Stdin);
    EXPECT_EQ(run.ExitStatus, 1) << c.Stderr;
    EXPECT_EQ(run.Stderr, c.Stderr);
    EXPECT_FALSE(testsupport::FileExists(TempPath("out.tsv")));
  }
}

}  // namespace
