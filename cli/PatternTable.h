#ifndef ANNOTATOR_PATTERNTABLE_H_
#define ANNOTATOR_PATTERNTABLE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

// Appends the --count line of a pattern seen `count` times whose eight
// fields are `fields` as AppendPatternFields wrote them.
void AppendTableRow(long long count, std::string_view fields, std::string& out);

// The sentence id of a record's header line: the text after its first
// "SentenceIndex:" with blanks trimmed at both ends; empty for a bare header.
std::string_view SentenceId(std::string_view header);

// The distinct patterns of a run with how often each occurred. Memory grows
// with the number of distinct patterns, not with the number added: each
// distinct line is kept once, in blocks, and found again through an open
// hash table of small slots.
class PatternCounter {
 public:
  PatternCounter();

  void Add(const ExtractedPattern& pattern);

  // How many patterns were added, and how many of them differ.
  long long Total() const { return total_; }
  std::size_t Distinct() const { return rows_.size(); }

  // Hands `take` every row of the table in order, its count and its eight
  // pattern fields (a line is the count, a tab, the fields and "\n");
  // highest count first, equal counts bytewise by line. Stops when `take`
  // returns false, and returns whether every row was taken.
  bool WriteTable(
      const std::function<bool(long long, std::string_view)>& take) const;

 private:
  struct Row {
    std::uint32_t Block;
    std::uint32_t Size;
    std::size_t Offset;
    std::uint64_t Hash;
    long long Count;
  };

  std::string_view KeyOf(const Row& row) const {
    return std::string_view(blocks_[row.Block]).substr(row.Offset, row.Size);
  }
  void Grow();

  std::vector<Row> rows_;
  // Per slot the index of its row plus 1; 0 for an empty slot. A power of
  // two long, at most half full.
  std::vector<std::uint32_t> slots_;
  // The distinct lines, each written once where it is built: at the end of
  // the last block, which a line that is no new one leaves again.
  std::vector<std::string> blocks_;
  long long total_ = 0;
};

#endif  // ANNOTATOR_PATTERNTABLE_H_
