#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Tokenizer.h"

namespace {

using Pieces = std::vector<std::string>;

struct SplitCase {
  std::string Text;
  std::string Delimiter;
  Pieces SkippingEmpty;  // Tokenizer
  Pieces KeepingEmpty;   // Tokenize
};

TEST(Tokenize, SplitsLikeTheTwoSplittersPromise) {
  const std::vector<SplitCase> cases = {
      {"a-b-c", "-", {"a", "b", "c"}, {"a", "b", "c"}},
      {"a--b", "-", {"a", "b"}, {"a", "", "b"}},
      {"-a-", "-", {"a"}, {"", "a"}},
      {"-a--b-", "-", {"a", "b"}, {"", "a", "", "b"}},
      {"", "-", {}, {}},
      {"-", "-", {}, {""}},
      {"abc", "-", {"abc"}, {"abc"}},
      // A longer delimiter: Tokenize skips one character only, so the rest of
      // the delimiter begins the next piece.
      {"a<>b", "<>", {"a", "b"}, {"a", ">b"}},
      {"a b\tc", " ", {"a", "b\tc"}, {"a", "b\tc"}},
      {std::string("a\0b-c", 5),
       "-",
       {std::string("a\0b", 3), "c"},
       {std::string("a\0b", 3), "c"}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE("text \"" + c.Text + "\" at \"" + c.Delimiter + "\"");
    EXPECT_EQ(Tokenizer()(c.Text, c.Delimiter), c.SkippingEmpty);
    EXPECT_EQ(Tokenize(c.Text, c.Delimiter), c.KeepingEmpty);
  }
}

TEST(Tokenize, EmptyDelimiterGivesTheWholeTextInsteadOfLoopingForever) {
  EXPECT_EQ(Tokenizer()("abc", ""), Pieces{"abc"});
  EXPECT_EQ(Tokenize("abc", ""), Pieces{"abc"});
  EXPECT_EQ(Tokenize("", ""), Pieces{});
}

TEST(Tokenize, KeepsAtMostOneHundredThousandCharactersAfterAPiece) {
  const std::string tail(150000, 'x');
  const Pieces pieces = Tokenizer()("a-" + tail, "-");
  ASSERT_EQ(pieces.size(), 2U);
  EXPECT_EQ(pieces[0], "a");
  EXPECT_EQ(pieces[1], std::string(100000, 'x'));
  // The first piece itself is not cut.
  EXPECT_EQ(Tokenize(tail, "-"), Pieces{tail});
}

TEST(Tokenize, SplitsManyPiecesInOnePass) {
  std::string text;
  for (int i = 0; i < 50000; ++i) text += "a-";
  EXPECT_EQ(Tokenizer()(text, "-").size(), 50000U);
  EXPECT_EQ(Tokenize(text, "-").size(), 50000U);
}

}  // namespace
