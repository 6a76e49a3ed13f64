// The linear reading core against a word-for-word reading of the bracket
// rules: copies of the rest of the text at every step and one call per
// constituent. Too slow and too deep for real lines, but plain enough to be
// checked by eye, so the two must agree on every short text.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ParseParser.h"
#include "scan/PlainDepthScan.h"

namespace {

struct RefNode {
  std::string Label;
  std::string RawWord = "iNtErIoR";
  std::string Word;
  int Index = -1;
  std::vector<std::unique_ptr<RefNode>> Children;
};

int RefFindMatchingRight(const std::string& text) {
  const std::size_t open = text.find('(');
  if (open == std::string::npos || open + 1 == text.size()) return -1;
  int depth = 1;
  for (std::size_t i = open + 1; i < text.size(); ++i) {
    if (text[i] == '(') ++depth;
    if (text[i] == ')' && --depth == 0) return static_cast<int>(i);
  }
  return -1;
}

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// NOLINTNEXTLINE(misc-no-recursion): short texts only.
bool RefBuild(std::string text, RefNode* node, int& counter,
              std::string* failed) {
  const std::string received = text;
  if (text.empty()) {
    *failed = received;
    return false;
  }
  text = text.substr(1);
  const std::size_t blank = text.find(' ');
  std::string token = text.substr(0, blank);
  text = blank == std::string::npos ? "" : text.substr(blank);
  if (!token.empty() && token[0] == '<') {
    token = token.substr(1);
    if (!token.empty()) token.pop_back();
  }
  node->Label = token;
  while (text.find('(') != std::string::npos) {
    text = text.substr(text.find('('));
    const int close = RefFindMatchingRight(text);
    if (close < 0) {
      *failed = received;
      return false;
    }
    const std::string child = text.substr(0, close + 1);
    text = text.substr(close + 1);
    node->Children.push_back(std::make_unique<RefNode>());
    if (!RefBuild(child, node->Children.back().get(), counter, failed)) {
      return false;
    }
  }
  while (!text.empty() && text[0] == ' ') text = text.substr(1);
  if (text.empty() || text.back() != ')') {
    *failed = received;
    return false;
  }
  text.pop_back();
  while (!text.empty() && text.back() == ' ') text.pop_back();
  while (!text.empty() && text.back() == ')') text.pop_back();
  if (!text.empty()) {
    node->RawWord = text;
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : text + "-") {
      if (c != '-') {
        piece += c;
      } else if (!piece.empty()) {
        pieces.push_back(piece);
        piece.clear();
      }
    }
    const auto isPosition = [counter](const std::string& digits) {
      return AllDigits(digits) && digits.size() < 10 &&
             std::stoi(digits) == counter;
    };
    const std::size_t dash = text.rfind('-');
    const bool cut = (pieces.size() >= 2 && isPosition(pieces.back())) ||
                     (dash != std::string::npos && dash > 0 &&
                      isPosition(text.substr(dash + 1)));
    node->Word = cut ? text.substr(0, dash) : text;
    node->Index = counter++;
  }
  return true;
}

// NOLINTNEXTLINE(misc-no-recursion): short texts only.
int RefDepth(const RefNode& node) {
  int deepest = 0;
  for (const auto& child : node.Children) {
    deepest = std::max(deepest, RefDepth(*child));
  }
  return deepest + 1;
}

// NOLINTNEXTLINE(misc-no-recursion): short texts only.
std::string Describe(const RefNode& node) {
  std::string out = "[" + node.Label + "|" + node.RawWord + "|" + node.Word +
                    "|" + std::to_string(node.Index) + "]";
  if (node.Children.empty()) return out;
  out += "{";
  for (const auto& child : node.Children) out += Describe(*child);
  return out + "}";
}

// NOLINTNEXTLINE(misc-no-recursion): short texts only.
std::string Describe(const CTree::TreeNode& node) {
  std::string out = "[" + node.Label + "|" + node.RawWord + "|" + node.Word +
                    "|" + std::to_string(node.Index) + "]";
  if (node.Children.empty()) return out;
  out += "{";
  for (const CTree::TreeNode* child : node.Children) out += Describe(*child);
  return out + "}";
}

// Short texts near the accepted shape: random trees with random damage.
std::string RandomText(std::mt19937& random) {
  static const std::string kAlphabet = "()  ab-1-2<>x";
  std::uniform_int_distribution<int> coin(0, 9);
  std::string text;
  int open = 0;
  const int steps = std::uniform_int_distribution<int>(1, 30)(random);
  for (int i = 0; i < steps; ++i) {
    const int roll = coin(random);
    if (roll < 3) {
      text += "(" + std::string(1, "SNV<"[coin(random) % 4]) +
              (coin(random) < 8 ? " " : "");
      ++open;
    } else if (roll < 5 && open > 0) {
      text += ")";
      --open;
    } else {
      text +=
          kAlphabet[static_cast<std::size_t>(coin(random)) % kAlphabet.size()];
    }
  }
  while (open-- > 0 && coin(random) < 9) text += ")";
  if (!text.empty() && coin(random) == 0) text.insert(0, "C-Structure:");
  return text;
}

// A well-formed random tree with at most one character changed, inserted or
// removed: texts on both sides of the plain shape that most lines have.
std::string NearlyPlainText(std::mt19937& random) {
  std::uniform_int_distribution<int> coin(0, 9);
  std::string text = coin(random) < 3 ? "C-Structure:(S" : "(S";
  // Half the texts run to a few hundred bytes, so that brackets, blanks and
  // words fall on both sides of every edge a reader may cut the text at.
  const std::size_t least = coin(random) < 5 ? 0 : 300;
  int open = 1;
  int leaves = 0;
  while (open > 0) {
    const int roll = coin(random);
    if ((roll < 4 && open < 6) || (open == 1 && text.size() < least)) {
      text += least > 0 && coin(random) < 8 ? " (N " : " (N";
      ++open;
    } else if (roll < 7 || text.back() == ')') {
      text += ")";
      --open;
    } else {
      text += " " + std::string(1 + coin(random), 'w') + "-" +
              std::to_string(++leaves) + ")";
      --open;
    }
  }
  const std::size_t at =
      std::uniform_int_distribution<std::size_t>(0, text.size())(random);
  const char put = " ()x\t"[coin(random) % 5];
  switch (coin(random) % 4) {
    case 0:
      text.insert(at, 1, put);
      break;
    case 1:
      if (at < text.size()) text.erase(at, 1);
      break;
    case 2:
      if (at < text.size()) text[at] = put;
      break;
    default:
      break;
  }
  return text;
}

// The block scan either leaves `text` to the full rules or gives `depth`,
// the depth they give; a text they reject (depth -1) must be left to them.
testing::AssertionResult EveryScanGives(const std::string& text, int depth) {
  std::size_t measured = 0;
  if (MeasurePlainDepth(text, measured) &&
      static_cast<int>(measured) != depth) {
    return testing::AssertionFailure() << "the scan gives " << measured;
  }
  return testing::AssertionSuccess();
}

// The reader and the tree builder give `text` the same verdict, depth and
// failing text, and so does every scan.
void ExpectOneReading(CStructureReader& reader, ParseParser& parser,
                      const std::string& text) {
  std::string failed;
  const bool ok = parser.TryParseIntoTree(text, &failed);
  const CStructureReading reading = reader.MeasureDepth(text);
  ASSERT_EQ(reading.Ok, ok);
  ASSERT_TRUE(EveryScanGives(text, ok ? GetCoEmbeddingScore(parser.Root) : -1));
  if (ok) {
    ASSERT_EQ(reading.Depth, GetCoEmbeddingScore(parser.Root));
  } else {
    ASSERT_EQ(reading.FailedText, failed);
  }
}

TEST(CStructureReader, AgreesWithAWordForWordReadingOnRandomTexts) {
  std::mt19937 random(20261208);
  CStructureReader reader;
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    const std::string text =
        round % 2 ? RandomText(random) : NearlyPlainText(random);
    SCOPED_TRACE("text: \"" + text + "\"");

    RefNode refRoot;
    int refCounter = 1;
    std::string refFailed;
    const bool refOk = RefBuild(text, &refRoot, refCounter, &refFailed);

    ParseParser parser;
    std::string failed;
    const bool ok = parser.TryParseIntoTree(text, &failed);
    const CStructureReading reading = reader.MeasureDepth(text);

    ASSERT_EQ(ok, refOk);
    ASSERT_EQ(reading.Ok, refOk);
    ASSERT_TRUE(EveryScanGives(text, refOk ? RefDepth(refRoot) : -1));
    if (refOk) {
      ++accepted;
      ASSERT_EQ(Describe(*parser.Root), Describe(refRoot));
      ASSERT_EQ(reading.Depth, RefDepth(refRoot));
    } else {
      ASSERT_EQ(failed, refFailed);
      ASSERT_EQ(reading.FailedText, refFailed);
    }
  }
  // Both kinds of text must have been met for the agreement to mean much.
  EXPECT_GT(accepted, 2000);
  EXPECT_LT(accepted, 18000);
}

// Shapes slid byte by byte through the first blocks of a text: a reader that
// looks at a text in blocks must see a shape alike on both sides of an edge.
TEST(CStructureReader, AgreesWithTheBuiltTreeWhereverAShapeFalls) {
  const std::vector<std::string> shapes = {
      "(N w-1)",          // plain
      "(N  a b-1 )",      // a word of words, blanks around it
      "(N (M x-2)  )",    // blanks after the last child
      "(N w-1 (M x-2))",  // a word, then a child
      "(N w-1) x",        // text after a ")"
      "(N)",              // a label that runs into ")"
      "(N(M x-2))",       // a label that runs into "("
      "(N w-1))",         // one ")" too many
  };
  // Before the shape the reader stands at the start of a node's content, or
  // behind a child, or behind a deeper child that set the depth to beat.
  const std::vector<std::pair<std::string, std::string>> frames = {
      {"(S", ")"}, {"(S (A a-1)", ")"}, {"(S (A (B b-1)", "))"}};
  CStructureReader reader;
  ParseParser parser;
  for (const std::string& shape : shapes) {
    for (const auto& [head, tail] : frames) {
      for (std::size_t blanks = 1; blanks < 140; ++blanks) {
        const std::string text = head + std::string(blanks, ' ') + shape + tail;
        SCOPED_TRACE("text: \"" + text + "\"");
        ASSERT_NO_FATAL_FAILURE(ExpectOneReading(reader, parser, text));
      }
    }
  }
}

// Trees that rise and fall by many levels, more than a byte counts,
// through blocks that both open and close.
TEST(CStructureReader, AgreesWithTheBuiltTreeOnDeepTreesOfMixedBlocks) {
  CStructureReader reader;
  ParseParser parser;
  for (const int levels : {1, 30, 63, 64, 65, 100, 200, 1000}) {
    std::string rise;
    std::string fall;
    for (int level = 0; level < levels; ++level) {
      rise += " (A (W w-1)";  // one level more
      fall += " (W w-1))";    // one level less
    }
    for (const std::string& text :
         {"(S" + rise + fall + ")", "(S" + rise + fall + "))",
          "(S" + rise + fall.substr(1) + ")", "(S" + rise + ")"}) {
      SCOPED_TRACE("levels: " + std::to_string(levels) + ", text of " +
                   std::to_string(text.size()) + " bytes");
      ASSERT_NO_FATAL_FAILURE(ExpectOneReading(reader, parser, text));
    }
    // The plain one is measured by the scan itself.
    std::size_t depth = 0;
    ASSERT_TRUE(MeasurePlainDepth("(S" + rise + fall + ")", depth));
    EXPECT_EQ(depth, static_cast<std::size_t>(levels) + 2);
  }
}

}  // namespace
