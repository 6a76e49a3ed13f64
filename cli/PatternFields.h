#ifndef ANNOTATOR_PATTERNFIELDS_H_
#define ANNOTATOR_PATTERNFIELDS_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "ExtractedPattern.h"

// Appends `field` as one field of a tab-separated line. A tab, a backslash,
// a carriage return or a line feed inside it is written as "\t", "\\", "\r"
// or "\n", as PostgreSQL's text format does, so that a line splits at its
// own tabs alone and every field reads back unchanged.
void AppendTsvField(std::string_view field, std::string& line);

// The letter after the backslash with which AppendTsvField writes `c`, or 0
// for a byte written as it is.
char TsvEscapeOf(char c);

// Appends `field` as it read before AppendTsvField escaped it.
void AppendUnescaped(std::string_view field, std::string& out);

// Whether every backslash of `text` begins one of AppendTsvField's four
// escapes. Any other (`a\qb`, a backslash at the end) was written by no
// table writer: reading it as its bare byte would count a damaged line as
// some other pattern.
bool WellEscaped(std::string_view text);

// Appends the eight pattern fields of a table line, each escaped and set off
// by tabs, without a line end: type, SL words, TL words, alignment,
// C-structure, constituent sequence, score, and the x-side constraints
// joined by single blanks. A pattern that carries its Fields gives them as
// they are.
void AppendPatternFields(const ExtractedPattern& pattern, std::string& line);

// Appends the --tsv line of `pattern`: the record number (from 1), the
// sentence id, the eight pattern fields and "\n".
void AppendTsvLine(std::size_t record, std::string_view sentenceId,
                   const ExtractedPattern& pattern, std::string& out);

// Appends the --count line of a pattern seen `count` times whose eight
// fields are `fields` as AppendPatternFields wrote them.
void AppendTableRow(long long count, std::string_view fields, std::string& out);

// The sentence id of a record's header line: the text after its first
// "SentenceIndex:" with blanks trimmed at both ends; empty for a bare header.
std::string_view SentenceId(std::string_view header);

// The room WritePatternFields may need for `pattern`.
std::size_t PatternFieldsBound(const ExtractedPattern& pattern);

// Writes the eight fields of AppendPatternFields at `out`, which has room
// for PatternFieldsBound(pattern) bytes, and returns where they end.
char* WritePatternFields(const ExtractedPattern& pattern, char* out);

// The eight fields of `pattern`: those the extractor wrote when it has
// them, else written into `scratch`.
std::string_view PatternFieldsOf(const ExtractedPattern& pattern,
                                 std::string& scratch);

#endif  // ANNOTATOR_PATTERNFIELDS_H_
