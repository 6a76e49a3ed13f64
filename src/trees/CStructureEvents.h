#ifndef ANNOTATOR_CSTRUCTUREEVENTS_H_
#define ANNOTATOR_CSTRUCTUREEVENTS_H_

#include <string_view>

#include "ParseParser.h"

// What the tree reader tells a program that wants a tree's constituents as
// it meets them and not as nodes: the pattern extractor lays trees out
// straight into its own tables, so no node, label or word is copied for it.
// The reading rules are the reader's own (ParseParser::TryParseIntoTree),
// and the views live as long as the text read.
class CStructureEvents {
 public:
  // A constituent opens: `token` is the text before its first blank, as
  // NodeLabel reads it. The first call is the root's; each later one is a
  // child of the innermost constituent still open.
  virtual void Open(std::string_view token) = 0;
  // The innermost open constituent's leaf text, if it has any, just before
  // it closes; read as LeafWord with the next leaf position.
  virtual void LeafText(std::string_view text) = 0;
  // The innermost open constituent closes.
  virtual void Close() = 0;

 protected:
  ~CStructureEvents() = default;
};

// Reads `text` by the rules of ParseParser::TryParseIntoTree, with the
// scratch space of `reader`, and tells `events` of every constituent. The
// verdict is the one TryParseIntoTree gives; after a failure the events
// stop partway.
CStructureReading ReadCStructureEvents(CStructureReader& reader,
                                       std::string_view text,
                                       CStructureEvents& events);

// A node's label as read from the token before its first blank: a label a
// pattern wrote in angle brackets reads without them.
std::string_view NodeLabel(std::string_view token);

// The word of leaf text `text` on the leaf numbered `position`: the text
// without its "-N" suffix when N is that position, else the whole text.
std::string_view LeafWord(std::string_view text, int position);

#endif  // ANNOTATOR_CSTRUCTUREEVENTS_H_
