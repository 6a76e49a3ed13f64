#ifndef ANNOTATOR_PATTERNTABLE_H_
#define ANNOTATOR_PATTERNTABLE_H_

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "ExtractedPattern.h"

// Appends `field` as one field of a tab-separated line. A tab, a backslash,
// a carriage return or a line feed inside it is written as "\t", "\\", "\r"
// or "\n", as PostgreSQL's text format does, so that a line splits at its
// own tabs alone and every field reads back unchanged.
void AppendTsvField(std::string_view field, std::string& line);

// Appends the eight pattern fields of a table line, each escaped and set off
// by tabs, without a line end: type, SL words, TL words, alignment,
// C-structure, constituent sequence, score, and the x-side constraints
// joined by single blanks.
void AppendPatternFields(const ExtractedPattern& pattern, std::string& line);

// Appends the --tsv line of `pattern`: the record number (from 1), the
// sentence id, the eight pattern fields and "\n".
void AppendTsvLine(std::size_t record, std::string_view sentenceId,
                   const ExtractedPattern& pattern, std::string& out);

// The sentence id of a record's header line: the text after its first
// "SentenceIndex:" with blanks trimmed at both ends; empty for a bare header.
std::string_view SentenceId(std::string_view header);

// The distinct patterns of a run with how often each occurred. Memory grows
// with the number of distinct patterns, not with the number added.
class PatternCounter {
 public:
  void Add(const ExtractedPattern& pattern);

  // How many patterns were added, and how many of them differ.
  long long Total() const { return total_; }
  std::size_t Distinct() const { return counts_.size(); }

  // Hands `take` every line of the table in order: the count, a tab, the
  // eight pattern fields and "\n"; highest count first, equal counts
  // bytewise by line. Stops when `take` returns false, and returns whether
  // every line was taken.
  bool WriteTable(const std::function<bool(std::string_view)>& take) const;

 private:
  std::unordered_map<std::string, long long> counts_;
  std::string key_;
  long long total_ = 0;
};

#endif  // ANNOTATOR_PATTERNTABLE_H_
