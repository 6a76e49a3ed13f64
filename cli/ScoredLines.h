#ifndef ANNOTATOR_SCOREDLINES_H_
#define ANNOTATOR_SCOREDLINES_H_

#include <string>
#include <string_view>

#include "PatternScorer.h"

// The header line of score_patterns' table, with its "\n".
extern const std::string_view kScoredHeader;

// Appends the table line of `entry`: its three counts, its four scores as
// the shortest text that reads back to the same double, its eight fields,
// tab-separated, and "\n".
void AppendScoredLine(const ScoredEntry& entry, std::string& out);

// Appends the line of `entry` in Moses' rule-table form, with its "\n":
// "SL words [TYPE] ||| TL words [X] ||| p(s|t) lex(s|t) p(t|s) lex(t|s)
// ||| alignment ||| c(t) c(s) c(s,t) ||| ||| {{Tree ...}}".
void AppendMosesLine(const ScoredEntry& entry, std::string& out);

// Appends `word` as Moses' escape-special-chars.perl writes it.
void AppendMosesEscaped(std::string_view word, std::string& out);

// Appends a C-structure ("(<NP> (DT the-1) (NN cat-2))") as the tree of
// Moses' {{Tree}} property ("[NP [DT the] [NN cat]]"): labels without their
// "<...>" marks, leaves without their numbers, both escaped.
void AppendMosesTree(std::string_view cStructure, std::string& out);

#endif  // ANNOTATOR_SCOREDLINES_H_
