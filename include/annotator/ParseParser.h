#ifndef ANNOTATOR_PARSEPARSER_H_
#define ANNOTATOR_PARSEPARSER_H_

#include <cstddef>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Status.h"
#include "Tokenizer.h"

namespace CTree {

// One constituent of a C-structure tree. A node is a leaf when it has no
// children; a node may carry leaf text and children at once, and the tree
// operations then treat it as interior.
struct TreeNode {
  // All strings and Children empty, IsHead false, Index -1, no Parent.
  TreeNode();

  // Category of an interior node (NP), tag of a leaf (DET); may be empty.
  std::string Label;
  // Leaf text as written, position suffix included ("the-1"); the reader
  // starts every node it creates with "iNtErIoR", which stays in nodes
  // without leaf text.
  std::string RawWord;
  // RawWord without its "-N" suffix when N was the leaf's position, else
  // RawWord; empty in nodes without leaf text.
  std::string Word;
  // Sentence position of the leaf, from 1 in text order; -1 without leaf text.
  int Index = -1;
  // Written in front of a leaf's word by CStructFromHereAsString; nothing in
  // this library sets it.
  std::string PatternTag;
  // The node this one hangs under; nullptr for a root. Not owning.
  TreeNode* Parent = nullptr;
  // Child constituents in text order. The ParseParser that created them owns
  // them; these pointers do not.
  std::vector<TreeNode*> Children;
  // Head mark: the printers write "-HEAD" after the label when set.
  bool IsHead = false;
};

}  // namespace CTree

// The verdict of reading one bracketed C-structure text.
struct CStructureReading {
  // False when the text is malformed (see ParseParser::BuildTree).
  bool Ok = false;
  // When Ok: the co-embedding score of the tree the text reads into.
  int Depth = 0;
  // When not Ok: the text that the failing constituent received, a view into
  // the text that was read.
  std::string_view FailedText;

  // The verdict as a status: Ok, or kMalformedCStructure with a copy of
  // FailedText.
  Status ToStatus() const;
};

class CStructureEvents;

// The reading rules of ParseParser::BuildTree without building anything: the
// annotation loop needs a depth and a verdict, not a tree. Reads in time and
// memory linear in the text, at any nesting depth, and never ends the
// process. Keeps its scratch space between calls, so a reader reused for
// many texts of usual length stops allocating; the space a text far longer
// than the next one took is given back when the next one is read.
class CStructureReader {
 public:
  // Reads `text` exactly as ParseParser::ParseIntoTree would and returns the
  // score of the tree it would build, or where it would fail.
  CStructureReading MeasureDepth(std::string_view text);

  // The bytes of scratch space the reader holds now.
  std::size_t ScratchBytes() const;

 private:
  friend class ParseParser;
  // The extractor's way in, which builds no nodes.
  friend CStructureReading ReadCStructureEvents(CStructureReader& reader,
                                                std::string_view text,
                                                CStructureEvents& events);

  // One constituent being read: the text it received, what is left of it,
  // the node it fills (nullptr when only measuring) and the deepest child.
  struct Frame {
    std::size_t OrigBegin, OrigEnd, Begin, End;
    CTree::TreeNode* Node;
    std::size_t ChildDepth;
  };

  // The one reading core; `Sink` decides whether nodes are built.
  template <class Sink>
  CStructureReading Read(std::string_view text, Sink& sink,
                         CTree::TreeNode* root);
  // Gives back the scratch space of a much longer text than `text`.
  void FitScratch(std::size_t textSize);

  std::vector<std::size_t> matches_;
  std::vector<std::size_t> openBrackets_;
  std::vector<Frame> frames_;
};

// The message that ends a run on a malformed C-structure:
// "format error: no closing right paren found:", `failedText`, a line end.
std::string FormatErrorMessage(std::string_view failedText);

// Owns one C-structure tree: every node that its reader creates, released
// (without recursion, at any depth) when it parses again and when it is
// destroyed; released nodes are kept for the next trees to reuse until then.
// Not copyable; moving keeps every node where it is.
class ParseParser {
 public:
  ParseParser();
  ~ParseParser();
  ParseParser(const ParseParser&) = delete;
  ParseParser& operator=(const ParseParser&) = delete;
  ParseParser(ParseParser&& other) noexcept;
  ParseParser& operator=(ParseParser&& other) noexcept;

  // The root of the last tree read; nullptr before the first.
  CTree::TreeNode* Root = nullptr;
  // Splits leaf text at "-" to find a position suffix.
  Tokenizer WordTokenizer;

  // Reads `text`, one bracketed constituent such as "(S (NP (DET the-1)))",
  // into a new tree whose leaves carry the positions 1 to n in text order,
  // makes it Root and releases the previous tree. Text before the first "("
  // becomes part of the root's label ("C-Structure:(S ..." gives the label
  // "-Structure:(S"). On malformed text writes FormatErrorMessage to standard
  // error and ends the process with exit status 1.
  void ParseIntoTree(const std::string& text);

  // Fills `node` from `text` and builds its children under it, numbering
  // leaves from `counter`, which ends one past the last position given.
  // The new nodes belong to this parser. Ends the process like ParseIntoTree
  // on malformed text.
  void BuildTree(std::string text, CTree::TreeNode* node, int& counter);

  // ParseIntoTree that reports instead of ending the process: on malformed
  // text returns kMalformedCStructure with the failing constituent's text,
  // also stored in `failedText` (if given), and leaves Root nullptr. The
  // text may be a string of any node this parser holds or has released.
  Status TryParseIntoTree(std::string_view text,
                          std::string* failedText = nullptr);

  // BuildTree that reports instead of ending the process: on malformed text
  // returns kMalformedCStructure with the failing constituent's text, also
  // stored in `failedText` (if given); `node` keeps what was read before the
  // failure. A nullptr `node` reads nothing and returns Ok. The text is
  // taken by value because it may be a string of the very node it fills.
  // `node` may be one of a tree the parser has released; it is then never
  // reused for the nodes built under it.
  Status TryBuildTree(std::string text, CTree::TreeNode* node, int& counter,
                      std::string* failedText = nullptr);

  // Position (from 0) of the ")" that closes the first "(" of `text`, or -1
  // when there is no "(" or it is never closed.
  int FindMatchingRight(std::string text);

  // The bracketed form below is what the printers write: a node with
  // children as "(", Label, "-HEAD" when IsHead, " ", then its children's
  // forms with nothing between them, then ")" (leaf text it carries is left
  // out); a node without children as "(", Label, "-HEAD" when IsHead, " ",
  // Word, "-", Index in decimal, ")". Read back by ParseIntoTree it gives the
  // same shape, labels, words and positions when no node is marked head, none
  // carries both children and leaf text, every childless node has leaf text,
  // the positions run from 1 in text order and no word is made of "-" alone
  // (its suffix would read back as part of the word). None of the printers
  // changes the tree, and they take time linear in it at any depth.

  // Writes the bracketed form of the whole tree (Root) to standard output,
  // with no line end after it and no flush; nothing before the first parse.
  void PrintTree();
  // Writes the bracketed form of the subtree under `node` to standard output,
  // with no line end; nothing for nullptr.
  void PrintSubtree(CTree::TreeNode* node);
  // Writes three lines to standard output: "\tWord:" and RawWord, "\tLabel:"
  // and Label, "\tIndex:" and Index in decimal, each ended by "\n"; nothing
  // for nullptr.
  void PrintTreeNode(CTree::TreeNode* node);
  // The bracketed form of the whole tree: the characters PrintTree writes;
  // empty before the first parse.
  std::string ReturnTreeAsStringForPrint();
  // Appends the bracketed form of the subtree under `node` to `out`, keeping
  // what `out` held in front; appends nothing for nullptr.
  void ReturnSubTree(CTree::TreeNode* node, std::string& out);

  // Gives the childless nodes under `node` (whether or not they carry leaf
  // text) the positions `counter`, `counter`+1, ... in text order, and leaves
  // `counter` one past the last; nodes with children keep their Index. The
  // counter wraps from INT_MAX to INT_MIN instead of overflowing. Does
  // nothing for nullptr. Linear time at any depth.
  void AnnotateCStructure(CTree::TreeNode* node, int& counter);
  // Numbers like AnnotateCStructure and adds every position it gives to
  // `inds`, which is not emptied first. Does nothing for nullptr.
  void GetCoveredInds(CTree::TreeNode* node, std::set<int>& inds, int& counter);
  // The Index of `node` (1-based leaf position, -1 as read for a node without
  // leaf text); -1 for nullptr.
  int GetIndex(CTree::TreeNode* node);

 private:
  // Behind a pointer so that moving a parser never moves a node. Only the
  // first nodesUsed_ nodes belong to trees; those past them, and the nodes
  // of spare_, are kept for the next trees to reuse.
  std::unique_ptr<std::deque<CTree::TreeNode>> nodes_;
  std::size_t nodesUsed_ = 0;
  std::unique_ptr<std::deque<CTree::TreeNode>> spare_;
  CStructureReader reader_;
  // The text TryParseIntoTree reads, copied: it may be a string of a
  // released node that the new tree reuses.
  std::string text_;
};

// Depth of the tree under `node`: nodes on its longest root-to-leaf path. A
// node without children has depth 1; nullptr has depth 0. Does not modify the
// tree, and needs no stack space per level.
int GetCoEmbeddingScore(CTree::TreeNode* node);

// The C-structure of the subtree under `node` as a pattern writes it: "(<",
// Label, ">", then " " and each child's form, then ")" for a node with
// children (leaf text it carries is left out); "(", PatternTag, " ", Word,
// "-", counter in decimal, ")" for one without, the counter then going up by
// 1 (wrapping from INT_MAX to INT_MIN). `counter` ends one past the last
// position written, so calls on sibling subtrees number on from each other.
// Leaf Index is neither used nor changed; the tree is not modified. Empty for
// nullptr, counter unchanged. Linear time at any depth.
std::string CStructFromHereAsString(CTree::TreeNode* node, int& counter);

// The (Word, Index) pair of every childless node under `node`, in text order:
// the words that the subtree covers with their sentence positions (1-based,
// not renumbered; -1 for a node without leaf text). Leaf text of a node with
// children is left out. Empty for nullptr; does not modify the tree.
std::vector<std::pair<std::string, int>> ExtractSLWords(CTree::TreeNode* node);

#endif  // ANNOTATOR_PARSEPARSER_H_
