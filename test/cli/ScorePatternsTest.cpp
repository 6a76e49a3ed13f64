// Tests of score_patterns: the built program on corpora whose tables are
// worked out by hand here, and its pieces (smoothing discounts, Moses'
// escapes, the order of escaped fields) on their own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ExtractOptions.h"
#include "PatternScorer.h"
#include "ScoreMessages.h"
#include "ScoredLines.h"
#include "support/ChildProcess.h"
#include "support/RecordBuilder.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ChildOptions;
using testsupport::ChildRun;
using testsupport::ReadFile;
using testsupport::TempPath;
using testsupport::WriteFile;

ChildRun ScorePatterns(const std::vector<std::string>& args,
                       const ChildOptions& options = {}) {
  std::vector<std::string> argv{"score_patterns"};
  argv.insert(argv.end(), args.begin(), args.end());
  return testsupport::RunChild(SCORE_PATTERNS_BIN, argv, options);
}

// A record of a flat NP (or `label`) over tagged words: one pattern, its
// root.
std::string Flat(const std::string& sl, const std::string& tl,
                 const std::string& alignment,
                 const std::string& label = "NP") {
  testsupport::RecordLines record;
  record.SL = "SL: " + sl;
  record.TL = "TL: " + tl;
  record.Alignment = "Alignment: " + alignment;
  std::string tree = "C-Structure:(" + label;
  std::string seq = "ConstSeq:";
  int leaf = 0;
  for (std::size_t at = 0; at < sl.size();) {
    const std::size_t end = std::min(sl.find(' ', at), sl.size());
    const std::string token = sl.substr(at, end - at);
    const std::size_t slash = token.rfind('/');
    std::string tag = token.substr(slash + 1);
    for (char& c : tag) c = static_cast<char>(std::toupper(c));
    tree += " (" + tag + " " + token.substr(0, slash) + "-" +
            std::to_string(++leaf) + ")";
    seq += " " + tag;
    at = end + 1;
  }
  record.CStructure = tree + ")";
  record.ConstSeq = seq;
  return record.Text();
}

// One SL side (the cat) meets two TL sides: "chat" three times under two
// alignments, the more frequent leaving "the" unlinked; "le chat" once, "le"
// linked from both SL words. A second side (a dog) is seen once.
std::string Corpus() {
  return Flat("the/dt cat/nn", "le chat", "((1,1),(2,1),(2,2))") +
         Flat("the/dt cat/nn", "le chat", "((2,2))") +
         Flat("the/dt cat/nn", "le chat", "((2,2))") +
         Flat("the/dt cat/nn", "le chat", "((1,2),(2,2))") +
         Flat("a/dt dog/nn", "un chien", "((1,1),(2,2))");
}

std::vector<std::vector<std::string>> Rows(const std::string& table) {
  std::vector<std::vector<std::string>> rows;
  std::size_t at = 0;
  while (at < table.size()) {
    const std::size_t end = table.find('\n', at);
    std::vector<std::string>& row = rows.emplace_back();
    for (std::size_t from = at;;) {
      const std::size_t tab = table.find('\t', from);
      if (tab == std::string::npos || tab > end) {
        row.push_back(table.substr(from, end - from));
        break;
      }
      row.push_back(table.substr(from, tab - from));
      from = tab + 1;
    }
    at = end + 1;
  }
  return rows;
}

// The word table of Corpus(), by hand: c(the,le) 1, c(cat,le) 1,
// c(cat,chat) 4, c(the,chat) 1, c(the,NULL) 2, c(NULL,le) 3; rows the 4,
// cat 5, NULL 3; columns le 5, chat 5, NULL 2.
struct ExpectedEntry {
  std::string Count, SourceCount, TargetCount;
  double TLGivenSL, LexTLGivenSL, SLGivenTL, LexSLGivenTL;
  std::string SL, TL, Alignment;
};

void ExpectTable(const std::string& table,
                 const std::vector<ExpectedEntry>& expected) {
  const auto rows = Rows(table);
  ASSERT_EQ(rows.size(), expected.size() + 1) << table;
  EXPECT_EQ(rows[0].size(), 15U);
  EXPECT_EQ(table.substr(0, table.find('\n') + 1), kScoredHeader);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& row = rows[i + 1];
    const ExpectedEntry& want = expected[i];
    ASSERT_EQ(row.size(), 15U) << i;
    EXPECT_EQ(row[0], want.Count) << i;
    EXPECT_EQ(row[1], want.SourceCount) << i;
    EXPECT_EQ(row[2], want.TargetCount) << i;
    EXPECT_DOUBLE_EQ(std::strtod(row[3].c_str(), nullptr), want.TLGivenSL);
    EXPECT_DOUBLE_EQ(std::strtod(row[4].c_str(), nullptr), want.LexTLGivenSL);
    EXPECT_DOUBLE_EQ(std::strtod(row[5].c_str(), nullptr), want.SLGivenTL);
    EXPECT_DOUBLE_EQ(std::strtod(row[6].c_str(), nullptr), want.LexSLGivenTL);
    EXPECT_EQ(row[7], "NP");
    EXPECT_EQ(row[8], want.SL);
    EXPECT_EQ(row[9], want.TL);
    EXPECT_EQ(row[10], want.Alignment);
    EXPECT_EQ(row[13], "2");
  }
}

class ScoredCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    inFile_ = TempPath("in.txt");
    WriteFile(inFile_, Corpus());
  }
  std::string inFile_;
};

TEST_F(ScoredCorpus, EveryNumberIsTheHandComputedOne) {
  const ChildRun run = ScorePatterns({inFile_});
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(run.Stderr, "");
  // chat: mean over none but cat, w(chat|cat) = 4/5; the unlinked takes
  // w(the|NULL) = 2/2. le chat: le from the and cat, (1/4 + 1/5) / 2, times
  // w(chat|cat); the from le 1/5, cat the mean of 1/5 and 4/5.
  ExpectTable(
      run.Stdout,
      {{"3", "4", "3", 3.0 / 4, 4.0 / 5, 1, 1 * (4.0 / 5), "the cat", "chat",
        "((2,1))"},
       {"1", "4", "1", 1.0 / 4, (1.0 / 4 + 1.0 / 5) / 2 * (4.0 / 5), 1,
        1.0 / 5 * ((1.0 / 5 + 4.0 / 5) / 2), "the cat", "le chat",
        "((1,1),(2,1),(2,2))"},
       {"1", "1", "1", 1, 1, 1, 1, "a dog", "un chien", "((1,1),(2,2))"}});
}

TEST_F(ScoredCorpus, MinCountLeavesEntriesOutButNotFromTheMarginals) {
  const ChildRun run = ScorePatterns({"--min-count", "2", inFile_});
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  ExpectTable(run.Stdout, {{"3", "4", "3", 3.0 / 4, 4.0 / 5, 1, 4.0 / 5,
                            "the cat", "chat", "((2,1))"}});
}

// N_1 = 2 (le chat, a dog), N_2 = 0, N_3 = 1 (chat); N = 3 entries.
TEST_F(ScoredCorpus, SmoothingsDiscountTheCountsBothProbabilitiesShare) {
  // d_1 = 2 (0 + 0.1) / (2 + 0.1); d_2 = 1 caps 16.5, and d_3 is raised to it.
  const double d1 = 2 * 0.1 / 2.1;
  // Y = 1: D_1 = 1 caps at 0.9, D_3 = 3 at 2.9; c - D + D n1(s) n1(t) / N.
  const double chat = 3 - 2.9 + 2.9 * 2 * 1 / 3;
  const double leChat = 1 - 0.9 + 0.9 * 2 * 1 / 3;
  const double dog = 1 - 0.9 + 0.9 * 1 * 1 / 3;
  const double lex = (1.0 / 4 + 1.0 / 5) / 2 * (4.0 / 5);
  const double lexBack = 1.0 / 5 * ((1.0 / 5 + 4.0 / 5) / 2);
  struct Case {
    const char* Smoothing;
    std::vector<ExpectedEntry> Entries;
  };
  const Case cases[] = {
      {"good-turing",
       {{"3", "4", "3", 3.0 / 4, 4.0 / 5, 1, 4.0 / 5, "the cat", "chat",
         "((2,1))"},
        {"1", "4", "1", d1 / 4, lex, d1, lexBack, "the cat", "le chat",
         "((1,1),(2,1),(2,2))"},
        {"1", "1", "1", d1, 1, d1, 1, "a dog", "un chien", "((1,1),(2,2))"}}},
      {"kneser-ney",
       {{"3", "4", "3", chat / 4, 4.0 / 5, chat / 3, 4.0 / 5, "the cat", "chat",
         "((2,1))"},
        {"1", "4", "1", leChat / 4, lex, leChat, lexBack, "the cat", "le chat",
         "((1,1),(2,1),(2,2))"},
        {"1", "1", "1", dog, 1, dog, 1, "a dog", "un chien", "((1,1),(2,2))"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Smoothing);
    const ChildRun run = ScorePatterns({"--smoothing", c.Smoothing, inFile_});
    EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
    ExpectTable(run.Stdout, c.Entries);
  }
}

TEST_F(ScoredCorpus, MosesFormIsSortedBytewiseWithTheWordTableBeside) {
  const std::string outFile = TempPath("out.txt");
  const std::string prefix = TempPath("lex");
  const ChildRun run =
      ScorePatterns({"--moses", "--lexical", prefix, inFile_, outFile});
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(ReadFile(outFile),
            "a dog [NP] ||| un chien [X] ||| 1 1 1 1 ||| 0-0 1-1 ||| 1 1 1 "
            "||| ||| {{Tree [NP [DT a] [NN dog]]}}\n"
            "the cat [NP] ||| chat [X] ||| 1 0.8 0.75 0.8 ||| 1-0 ||| 3 4 3 "
            "||| ||| {{Tree [NP [DT the] [NN cat]]}}\n"
            "the cat [NP] ||| le chat [X] ||| 1 0.1 0.25 0.18 ||| 0-0 1-0 1-1 "
            "||| 1 4 1 ||| ||| {{Tree [NP [DT the] [NN cat]]}}\n");
  EXPECT_EQ(ReadFile(prefix + ".s2t"),
            "NULL the 0.5000000\nchat cat 0.8000000\nchat the 0.2500000\n"
            "chien dog 1.0000000\nle NULL 1.0000000\nle cat 0.2000000\n"
            "le the 0.2500000\nun a 1.0000000\n");
  EXPECT_EQ(ReadFile(prefix + ".t2s"),
            "NULL le 0.6000000\na un 1.0000000\ncat chat 0.8000000\n"
            "cat le 0.2000000\ndog chien 1.0000000\nthe NULL 1.0000000\n"
            "the chat 0.2000000\nthe le 0.2000000\n");
}

// A skipped record's sentences still count, all but the links beyond them.
TEST(WordTableOfARun, SkippedRecordsCountTheirLinksInsideTheSentences) {
  testsupport::RecordLines broken;
  broken.CStructure = "C-Structure:(NP (DT a-1)";
  const std::pair<std::string, const char*> cases[] = {
      {Flat("a/dt b/nn", "x", "((1,1),(2,2))"),
       "NULL b 1.0000000\nx a 1.0000000\n"},
      {broken.Text(), "chien dog 1.0000000\nun a 1.0000000\n"}};
  for (const auto& [record, sourceToTarget] : cases) {
    const std::string inFile = TempPath("in.txt");
    WriteFile(inFile, record);
    const ChildRun run = ScorePatterns(
        {"--lexical", TempPath("lex"), inFile, TempPath("out.txt")});
    EXPECT_EQ(run.ExitStatus, 1) << run.Stderr;
    EXPECT_EQ(ReadFile(TempPath("lex.s2t")), sourceToTarget) << record;
  }
}

// Sides by decreasing count, then bytewise; entries of a side by
// decreasing count, then bytewise by TL words.
TEST(ScoredOrder, CountsFirstThenBytes) {
  struct Case {
    const char* Name;
    std::vector<std::string> Records;
    std::vector<std::string> SLThenTL;
  };
  const Case cases[] = {
      {"equal sides bytewise",
       {Flat("dog/nn", "chien", "((1,1))"), Flat("cat/nn", "chat", "((1,1))")},
       {"cat", "chat", "dog", "chien"}},
      {"a larger side first",
       {Flat("cat/nn", "chat", "((1,1))"), Flat("dog/nn", "chien", "((1,1))"),
        Flat("dog/nn", "chien", "((1,1))")},
       {"dog", "chien", "cat", "chat"}},
      {"equal entries by TL words",
       {Flat("cat/nn", "minou", "((1,1))"), Flat("cat/nn", "chat", "((1,1))")},
       {"cat", "chat", "cat", "minou"}},
      {"a larger entry first",
       {Flat("cat/nn", "chat", "((1,1))"), Flat("cat/nn", "minou", "((1,1))"),
        Flat("cat/nn", "minou", "((1,1))")},
       {"cat", "minou", "cat", "chat"}},
      // The sort reads the first bytes of types and SL words as numbers:
      // types alike in seven bytes, then the shorter first, but bytewise
      // past that whatever their lengths; SL words alike in eight bytes.
      {"types alike in their first bytes",
       {Flat("a/nn", "x", "((1,1))", "ABCDEFGx"),
        Flat("b/nn", "x", "((1,1))", "ABCDEFGab"),
        Flat("c/nn", "x", "((1,1))", "ABCDEFG")},
       {"c", "x", "b", "x", "a", "x"}},
      {"SL words alike in their first eight bytes",
       {Flat("aaaaaaaabaaaaaaaaaaaaaaa/nn", "x", "((1,1))"),
        Flat("aaaaaaaaaaaaaaaazzzzzzzz/nn", "x", "((1,1))")},
       {"aaaaaaaaaaaaaaaazzzzzzzz", "x", "aaaaaaaabaaaaaaaaaaaaaaa", "x"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string input;
    for (const std::string& record : c.Records) input += record;
    const std::string inFile = TempPath("order.txt");
    WriteFile(inFile, input);
    const ChildRun run = ScorePatterns({inFile});
    EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
    std::vector<std::string> got;
    const auto rows = Rows(run.Stdout);
    for (std::size_t i = 1; i < rows.size(); ++i) {
      got.push_back(rows[i][8]);
      got.push_back(rows[i][9]);
    }
    EXPECT_EQ(got, c.SLThenTL);
  }
}

TEST(ScoredOrder, FieldsCompareAsTheyReadUnescaped) {
  struct Case {
    const char* A;
    const char* B;
    int Sign;
  };
  // A tab reads below a blank, though its escape's backslash does not.
  const Case cases[] = {{"a\\tb", "a b", -1},  {"a\\\\", "a\\t", 1},
                        {"ab", "ab", 0},       {"a", "ab", -1},
                        {"a\\nb", "a\\nb", 0}, {"b", "a\\t", 1}};
  for (const Case& c : cases) {
    const int order = CompareFields(c.A, c.B);
    EXPECT_EQ((order > 0) - (order < 0), c.Sign) << c.A << " " << c.B;
    const int back = CompareFields(c.B, c.A);
    EXPECT_EQ((back > 0) - (back < 0), -c.Sign) << c.B << " " << c.A;
  }
}

TEST(MosesForm, EscapesWordsAndTreesAsMosesDoes) {
  struct Case {
    const char* CStructure;
    const char* Tree;
  };
  const Case cases[] = {
      {"(<NP> (DT the-1) (NN cat-2))", "[NP [DT the] [NN cat]]"},
      {"(<S> (<NP> (NN a&b-1)) (VP (VB x|y-2)))",
       "[S [NP [NN a&amp;b]] [VP [VB x&#124;y]]]"},
      {"(<PRN> (-LRB- (-1) (-RRB- )-2))", "[PRN [-LRB- (] [-RRB- )]]"},
      {"(<X> (SYM --3))", "[X [SYM -]]"},
      {"(<X> (Q \"'<>[]-1))", "[X [Q &quot;&apos;&lt;&gt;&#91;&#93;]]"},
      {"(<X> (CD 1-2-3))", "[X [CD 1-2]]"},
  };
  for (const Case& c : cases) {
    std::string tree;
    AppendMosesTree(c.CStructure, tree);
    EXPECT_EQ(tree, c.Tree) << c.CStructure;
  }
  // The label of the left-hand side too, read from its table field: a
  // "|||" in it would split the line.
  ScoredEntry entry;
  entry.Fields[ScoredEntry::kType] = "A|||B\\\\";
  entry.Fields[ScoredEntry::kSL] = "a";
  entry.Fields[ScoredEntry::kTL] = "x";
  std::string line;
  AppendMosesLine(entry, line);
  EXPECT_EQ(line.substr(0, line.find(" ||| x")), "a [A&#124;&#124;&#124;B\\]");
}

// Discounts on a count-of-counts worked out by hand, N_2 = 0 among them.
TEST(Smoothing, DiscountsFollowTheCountOfCounts) {
  //                   N_1  N_2  N_3  N_4  N_5..N_10
  const double n[11] = {0, 10, 0, 4, 2, 1, 0, 0, 0, 0, 0};
  // d_1 = 2 (0.1 / 10.1); d_2 = 1.5 (4.1 / 0.1) caps at 1 and holds on.
  EXPECT_DOUBLE_EQ(PatternScorer::GoodTuringFactor(n, 1), 2 * 0.1 / 10.1);
  EXPECT_DOUBLE_EQ(PatternScorer::GoodTuringFactor(n, 2), 1);
  EXPECT_DOUBLE_EQ(PatternScorer::GoodTuringFactor(n, 3), 1);
  // Y = 1: D_1 = 1 - 0 caps at 0.9; D_2 divides by N_2 = 0 and takes its
  // cap; D_3 = 3 - 4 (2 / 4) = 1.
  EXPECT_DOUBLE_EQ(PatternScorer::KneserNeyDiscount(n, 1), 0.9);
  EXPECT_DOUBLE_EQ(PatternScorer::KneserNeyDiscount(n, 2), 1.9);
  EXPECT_DOUBLE_EQ(PatternScorer::KneserNeyDiscount(n, 3), 1);
  EXPECT_DOUBLE_EQ(PatternScorer::KneserNeyDiscount(n, 7), 1);
  // D_2 = 2 - 3 Y N_3 / N_2 = 2 takes its cap; D_3 = 3 - 4 Y 0 / 0 is no
  // number and takes its cap.
  const double few[11] = {0, 1, 5, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_DOUBLE_EQ(PatternScorer::KneserNeyDiscount(few, 2), 1.9);
  EXPECT_DOUBLE_EQ(PatternScorer::KneserNeyDiscount(few, 3), 2.9);
}

// The names in the directory of `path`, dot files included, but for the
// files the test harness keeps a child's output in.
std::vector<std::string> NamesBeside(const std::string& path) {
  std::vector<std::string> names =
      testsupport::NamesIn(path.substr(0, path.rfind('/')));
  names.erase(std::remove_if(names.begin(), names.end(),
                             [](const std::string& name) {
                               return name.rfind("child.", 0) == 0;
                             }),
              names.end());
  return names;
}

// A run that cannot finish leaves OutFile as it was and nothing beside it.
class WholeOrAbsent : public ::testing::Test {
 protected:
  void SetUp() override {
    inFile_ = TempPath("in.txt");
    outFile_ = TempPath("out.txt");
    std::string input;
    for (int i = 0; i < 2000; ++i) input += Corpus();
    WriteFile(inFile_, input);
    WriteFile(outFile_, "old\n");
  }
  void ExpectUntouched() {
    EXPECT_EQ(ReadFile(outFile_), "old\n");
    EXPECT_EQ(NamesBeside(outFile_),
              (std::vector<std::string>{"in.txt", "out.txt"}));
  }
  std::string inFile_;
  std::string outFile_;
};

TEST_F(WholeOrAbsent, AFailedWriteLeavesOutFileAsItWas) {
  ChildOptions limited;
  limited.FileSizeLimit = 100;
  const ChildRun run = ScorePatterns({inFile_, outFile_}, limited);
  EXPECT_EQ(run.ExitStatus, 1);
  // The limit holds for standard error too, a file here: the message may be
  // cut, never changed.
  const std::string said =
      "Couldn't write outfile " + outFile_ + ": File too large.\n";
  EXPECT_FALSE(run.Stderr.empty());
  EXPECT_EQ(run.Stderr, said.substr(0, run.Stderr.size()));
  ExpectUntouched();
}

TEST_F(WholeOrAbsent, AFailedReadLeavesOutFileAsItWas) {
  ChildOptions failing;
  failing.Environment = {"LD_PRELOAD=" FAILING_READ_LIB,
                         "ANNOTATOR_FAILING_READ_PATH=" + inFile_,
                         "ANNOTATOR_FAILING_READ_AFTER=300000",
                         "ASAN_OPTIONS=verify_asan_link_order=0"};
  const ChildRun run = ScorePatterns({inFile_, outFile_}, failing);
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_EQ(run.Stderr, "Couldn't read training file " + inFile_ +
                            ": Input/output error.\n");
  ExpectUntouched();
}

TEST_F(WholeOrAbsent, ASignalLeavesOutFileAsItWas) {
  for (const int signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal);
    const std::string fifo = TempPath("in.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t pid = testsupport::StartChild(
        SCORE_PATTERNS_BIN, {"score_patterns", fifo, outFile_});
    ASSERT_NE(pid, -1);
    int input = -1;
    for (int tries = 0; tries < 500 && input == -1; ++tries) {
      input = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (input == -1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    if (input == -1) ::kill(pid, SIGKILL);
    ASSERT_NE(input, -1);
    ::fcntl(input, F_SETFL, 0);
    const std::string records = Corpus();
    ASSERT_EQ(::write(input, records.data(), records.size()),
              static_cast<ssize_t>(records.size()));
    // Read, and asleep waiting for more.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::kill(pid, signal);
    const ChildRun run = testsupport::FinishChild(pid);
    ::close(input);
    ::unlink(fifo.c_str());
    EXPECT_EQ(run.Signal, signal);
    ExpectUntouched();
  }
}

// The word tables' directory gone while the run reads: no file takes its
// name, OutFile included, since each is named beside its own first.
TEST_F(WholeOrAbsent, AWordTableThatCannotBeNamedLeavesOutFileAsItWas) {
  const std::string fifo = TempPath("in.fifo");
  const std::string lexDir = TempPath("lex");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(lexDir.c_str(), 0700), 0);
  // Opened before the child, so that neither side waits.
  const int input = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_NE(input, -1);
  const pid_t pid = testsupport::StartChild(
      SCORE_PATTERNS_BIN,
      {"score_patterns", "--lexical", lexDir + "/lex", fifo, outFile_});
  ASSERT_NE(pid, -1);
  const std::string records = Corpus();
  EXPECT_EQ(::write(input, records.data(), records.size()),
            static_cast<ssize_t>(records.size()));
  bool held = false;
  for (int tries = 0; tries < 1000 && !held; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    held = testsupport::HoldsFileIn(pid, lexDir);
  }
  EXPECT_TRUE(held);
  EXPECT_EQ(::rmdir(lexDir.c_str()), 0);
  ::close(input);
  const ChildRun run = testsupport::FinishChild(pid);
  ::unlink(fifo.c_str());
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_EQ(run.Stderr, "Couldn't write outfile " + lexDir +
                            "/lex.s2t: No such file or directory.\n");
  ExpectUntouched();
}

// Every output takes its name only at the end, so one that named an input
// or another output would replace it unasked.
TEST(ScorePatternsCli, NoOutputReplacesAnInputOrAnother) {
  const std::string records = TempPath("records.s2t");
  const std::string counts = TempPath("part.counts");
  WriteFile(records, Corpus());
  ScorePatterns({"--counts-only", records, counts});
  const std::string kept = ReadFile(counts);
  const std::string lex = TempPath("lex");
  struct Case {
    std::vector<std::string> Args;
    std::string Stderr;
  };
  const Case cases[] = {
      {{"--lexical", TempPath("records"), records},
       messages::WordTableNamesOther(records)},
      // Neither file is there yet.
      {{"--lexical", lex, records, TempPath("./lex.t2s")},
       messages::WordTableNamesOther(lex + ".t2s")},
      {{"--from-counts", counts, "-o", counts},
       "InFile and OutFile name the same file.\n"},
      // InFile and OutFile the wrong way round.
      {{counts, records}, messages::HoldsNoTrainingExample(counts)},
      {{"--counts-only", counts, records},
       messages::HoldsNoTrainingExample(counts)},
  };
  for (const Case& c : cases) {
    const ChildRun run = ScorePatterns(c.Args);
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, c.Stderr);
    EXPECT_EQ(ReadFile(records), Corpus());
    EXPECT_EQ(ReadFile(counts), kept);
    EXPECT_FALSE(testsupport::FileExists(lex + ".t2s"));
  }
}

TEST_F(WholeOrAbsent, RefusalsTouchNothing) {
  struct Case {
    std::vector<std::string> Args;
    std::string Stderr;
  };
  const std::string usage(messages::kScorePatternsUsage);
  const auto refused = [&usage](const std::string& problem) {
    return "score_patterns: " + problem + "\n" + usage;
  };
  const Case cases[] = {
      {{outFile_, outFile_}, "InFile and OutFile name the same file.\n"},
      {{"--smoothing", "witten-bell", inFile_, outFile_},
       refused("--smoothing takes good-turing or kneser-ney, not "
               "\"witten-bell\".")},
      {{"--min-count", "0", inFile_, outFile_},
       refused("--min-count takes a whole number from 1, not \"0\".")},
      {{"--count", inFile_, outFile_}, refused("unknown option --count.")},
      {{"--moses", "--moses", inFile_, outFile_},
       refused("--moses given twice.")},
      {{"--lexical=", inFile_, outFile_},
       refused("--lexical takes a file name prefix.")},
      {{"--memory", "3M", inFile_, outFile_},
       refused("--memory takes a size from 4M, as 512M or 4G, not \"3M\".")},
      // Each mode of counting apart takes only its own options.
      {{"--smoothing", "good-turing", "--counts-only", inFile_},
       refused("--counts-only and --smoothing cannot go together.")},
      {{"--consistent", "--from-counts", inFile_},
       refused("--from-counts and --consistent cannot go together.")},
      {{"--counts-only", "--from-counts", inFile_},
       refused("--counts-only and --from-counts cannot go together.")},
      {{"-o", outFile_, inFile_}, refused("-o goes with --from-counts.")},
      {{"--from-counts"},
       refused("too few paths: 0 given, wanted CountFile [CountFile...].")},
      {{"--lexical", TempPath("no/such/dir/lex"), inFile_, outFile_},
       "Couldn't open outfile " + TempPath("no/such/dir/lex") +
           ".s2t: No such file or directory.\n"},
  };
  for (const Case& c : cases) {
    const ChildRun run = ScorePatterns(c.Args);
    EXPECT_EQ(run.ExitStatus, 1);
    EXPECT_EQ(run.Stderr, c.Stderr);
    ExpectUntouched();
  }
}

}  // namespace
