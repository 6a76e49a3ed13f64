#include <gtest/gtest.h>

#include <climits>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include "ParseParser.h"
#include "support/TestSupport.h"
#include "support/TreeCorpus.h"

namespace {

const char kExample[] = "(S (NP (DET the-1) (N dog-2)) (VP (V barks-3)))";

struct PrintCase {
  const char* Input;
  const char* Printed;
};

TEST(ReturnTreeAsStringForPrint, WritesEveryLeafWithItsPosition) {
  const PrintCase cases[] = {
      {kExample, "(S (NP (DET the-1)(N dog-2))(VP (V barks-3)))"},
      {"(N dog)", "(N dog-1)"},
      // A suffix that did not match stayed in the word and gains the position.
      {"(N dog-7)", "(N dog-7-1)"},
      {"(NP )", "(NP --1)"},
      {"(S (NP ) (N dog-1))", "(S (NP --1)(N dog-1))"},
      {"( the-1)", "( the-1)"},
      {"(<NP> (<DET> the-1))", "(NP (DET the-1))"},
      // Leaf text of a node with children is not written.
      {"(NP (DET the-1) extra)", "(NP (DET the-1))"},
      {"(X (Y (Z a b-1)))", "(X (Y (Z a b-1)))"},
  };
  for (const PrintCase& c : cases) {
    SCOPED_TRACE(c.Input);
    ParseParser parser;
    parser.ParseIntoTree(c.Input);
    EXPECT_EQ(parser.ReturnTreeAsStringForPrint(), c.Printed);
  }
}

TEST(ReturnTreeAsStringForPrint, MarksHeadsAfterTheLabel) {
  ParseParser parser;
  parser.ParseIntoTree("(NP (DET the-1) (N dog-2))");
  parser.Root->IsHead = true;
  parser.Root->Children[1]->IsHead = true;
  const std::string printed = parser.ReturnTreeAsStringForPrint();
  EXPECT_EQ(printed, "(NP-HEAD (DET the-1)(N-HEAD dog-2))");

  // The mark is not read back as a mark.
  ParseParser reread;
  reread.ParseIntoTree(printed);
  EXPECT_EQ(reread.Root->Label, "NP-HEAD");
  EXPECT_FALSE(reread.Root->IsHead);
}

TEST(ReturnTreeAsStringForPrint, WritesIndexAsSignedDecimal) {
  ParseParser parser;
  parser.ParseIntoTree("(S (A a-1) (B b-2) (C c-3))");
  parser.Root->Children[0]->Index = INT_MIN;
  parser.Root->Children[1]->Index = INT_MAX;
  parser.Root->Children[2]->Index = 0;
  EXPECT_EQ(parser.ReturnTreeAsStringForPrint(),
            "(S (A a--2147483648)(B b-2147483647)(C c-0))");
}

TEST(ReturnTreeAsStringForPrint, IsEmptyBeforeAnyParse) {
  ParseParser parser;
  EXPECT_EQ(parser.ReturnTreeAsStringForPrint(), "");
  EXPECT_EQ(testsupport::CaptureStdout([&] { parser.PrintTree(); }), "");
}

TEST(ReturnSubTree, AppendsAfterWhatTheStringHeld) {
  ParseParser parser;
  parser.ParseIntoTree(kExample);
  std::string out = "x";
  parser.ReturnSubTree(parser.Root->Children[0], out);
  EXPECT_EQ(out, "x(NP (DET the-1)(N dog-2))");
  parser.ReturnSubTree(parser.Root->Children[1]->Children[0], out);
  EXPECT_EQ(out, "x(NP (DET the-1)(N dog-2))(V barks-3)");
  parser.ReturnSubTree(nullptr, out);
  EXPECT_EQ(out, "x(NP (DET the-1)(N dog-2))(V barks-3)");
}

TEST(PrintTree, WritesTheReturnedStringWithoutLineEnd) {
  ParseParser parser;
  parser.ParseIntoTree(kExample);
  EXPECT_EQ(testsupport::CaptureStdout([&] { parser.PrintTree(); }),
            "(S (NP (DET the-1)(N dog-2))(VP (V barks-3)))");
}

TEST(PrintSubtree, WritesOnlyTheSubtree) {
  ParseParser parser;
  parser.ParseIntoTree(kExample);
  EXPECT_EQ(testsupport::CaptureStdout(
                [&] { parser.PrintSubtree(parser.Root->Children[1]); }),
            "(VP (V barks-3))");
  EXPECT_EQ(testsupport::CaptureStdout([&] { parser.PrintSubtree(nullptr); }),
            "");
}

TEST(PrintTreeNode, WritesRawWordLabelAndIndexLines) {
  ParseParser parser;
  parser.ParseIntoTree("(NP (DET the-1) (N dog-7) (Q ))");
  const struct {
    CTree::TreeNode* Node;
    const char* Lines;
  } cases[] = {
      {parser.Root, "\tWord:iNtErIoR\n\tLabel:NP\n\tIndex:-1\n"},
      {parser.Root->Children[0], "\tWord:the-1\n\tLabel:DET\n\tIndex:1\n"},
      // The word as written, suffix and all.
      {parser.Root->Children[1], "\tWord:dog-7\n\tLabel:N\n\tIndex:2\n"},
      {parser.Root->Children[2], "\tWord:iNtErIoR\n\tLabel:Q\n\tIndex:-1\n"},
      {nullptr, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Lines);
    EXPECT_EQ(testsupport::CaptureStdout([&] { parser.PrintTreeNode(c.Node); }),
              c.Lines);
  }
}

TEST(PrintTreeNode, WritesTheIndexInDecimalWhateverTheStreamFlags) {
  ParseParser parser;
  parser.ParseIntoTree(
      "(NP (DET the-1) (N a-2) (N b-3) (N c-4) (N d-5) "
      "(N e-6) (N f-7) (N g-8) (N h-9) (N i-10) (N j-11))");
  const std::ios::fmtflags saved = std::cout.flags();
  std::cout << std::hex << std::showpos << std::uppercase << std::setw(9);
  const std::string printed = testsupport::CaptureStdout(
      [&] { parser.PrintTreeNode(parser.Root->Children[10]); });
  std::cout.flags(saved);
  EXPECT_EQ(printed, "\tWord:j-11\n\tLabel:N\n\tIndex:11\n");
}

// Reads every tree, prints it, reads the print and expects the same tree.
void ExpectRoundTrips(const std::vector<treecorpus::NamedTree>& trees) {
  ParseParser parser;
  ParseParser reread;
  for (const treecorpus::NamedTree& tree : trees) {
    SCOPED_TRACE(tree.Name);
    parser.ParseIntoTree(tree.Text);
    const std::string printed = parser.ReturnTreeAsStringForPrint();
    std::string failed;
    ASSERT_TRUE(reread.TryParseIntoTree(printed, &failed))
        << failed.substr(0, 200);
    EXPECT_EQ(treecorpus::FirstDifference(parser.Root, reread.Root,
                                          treecorpus::SameNode),
              "");
    // Printing is a fixed point once read.
    EXPECT_EQ(reread.ReturnTreeAsStringForPrint(), printed);
  }
}

TEST(ReturnTreeAsStringForPrint, ReadsBackIntoTheSameGeneratedTrees) {
  ExpectRoundTrips(treecorpus::GeneratedTrees());
}

TEST(ReturnTreeAsStringForPrint, ReadsBackIntoTheSameRealTrees) {
  if (testsupport::SharedDir().empty()) GTEST_SKIP() << "no real corpus";
  ExpectRoundTrips(treecorpus::RealTrees());
}

TEST(PrintTree, WritesTheDeepestTreeLikeTheString) {
  ParseParser parser;
  parser.ParseIntoTree(treecorpus::DeepTree(""));
  const std::string printed = parser.ReturnTreeAsStringForPrint();
  EXPECT_EQ(testsupport::CaptureStdout([&] { parser.PrintTree(); }), printed);
  CTree::TreeNode* bottom = parser.Root;
  while (!bottom->Children.empty()) bottom = bottom->Children[0];
  EXPECT_EQ(testsupport::CaptureStdout([&] { parser.PrintSubtree(bottom); }),
            "( c-1)");
}

}  // namespace
