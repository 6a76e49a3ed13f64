#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PatternTable.h"

namespace {

// Escapes byte by byte, the obvious way.
std::string Escaped(const std::string& field) {
  std::string out;
  for (const char c : field) {
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

TEST(AppendTsvField, EscapesEverySpecialByteWhereverItStands) {
  // Bytes are checked eight at a time: each special byte goes to every
  // place of two words and the tail after them, among neighbours that come
  // close to it (13, 14, 91, 93, bytes above 127).
  const std::string base = "ab\x0d\x0e[]\xc3\xa9\x80zyxw\x7f\x01q-rst";
  for (const char special : {'\t', '\\', '\r', '\n'}) {
    for (std::size_t at = 0; at <= base.size(); ++at) {
      std::string field = base;
      field.insert(at, 1, special);
      SCOPED_TRACE(std::to_string(static_cast<int>(special)) + " at " +
                   std::to_string(at));
      std::string line = "x\t";
      AppendTsvField(field, line);
      EXPECT_EQ(line, "x\t" + Escaped(field));
    }
  }
}

TEST(SentenceId, IsTheHeaderTextAfterTheMarkWithBlanksTrimmed) {
  const std::pair<const char*, const char*> cases[] = {
      {"SentenceIndex: 12", "12"},   {"SentenceIndex:", ""},
      {"SentenceIndex:   ", ""},     {"# SentenceIndex:  a b  ", "a b"},
      {"SentenceIndex:\t7 ", "\t7"},
  };
  for (const auto& [header, id] : cases) {
    SCOPED_TRACE(header);
    EXPECT_EQ(SentenceId(header), id);
  }
}

}  // namespace
