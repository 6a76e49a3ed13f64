#include "PatternFields.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/NumberText.h"

namespace {

constexpr std::string_view kHeaderMark = "SentenceIndex:";

// Whether one of the eight bytes at `bytes` is below 14 (as tab, line feed
// and carriage return are) or a backslash: the bytes that may need an
// escape. Exact, by the usual tests for a zero byte in a word.
bool MayNeedEscape(const char* bytes) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  constexpr std::uint64_t kHighs = 0x8080808080808080;
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  const std::uint64_t backslashes = word ^ (kOnes * '\\');
  const std::uint64_t below14 = (word - kOnes * 14) & ~word & kHighs;
  const std::uint64_t zero = (backslashes - kOnes) & ~backslashes & kHighs;
  return (below14 | zero) != 0;
}

char* Copy(std::string_view bytes, char* out) {
  // An empty view may hold no pointer at all, which memcpy must not get.
  if (bytes.empty()) return out;
  std::memcpy(out, bytes.data(), bytes.size());
  return out + bytes.size();
}

// Writes `field` escaped at `out`, which has room for twice its size, and
// returns where it ends. Escapes are rare: eight bytes at a time are checked
// for one, and plain runs are copied whole.
char* WriteEscaped(std::string_view field, char* out) {
  std::size_t run = 0;
  std::size_t at = 0;
  while (at < field.size()) {
    if (field.size() - at >= 8 && !MayNeedEscape(field.data() + at)) {
      at += 8;
      continue;
    }
    const std::size_t end = std::min(field.size(), at + 8);
    for (; at < end; ++at) {
      const char escape = TsvEscapeOf(field[at]);
      if (escape == 0) continue;
      out = Copy(field.substr(run, at - run), out);
      *out++ = '\\';
      *out++ = escape;
      run = at + 1;
    }
  }
  return Copy(field.substr(run), out);
}

}  // namespace

std::size_t PatternFieldsBound(const ExtractedPattern& pattern) {
  if (!pattern.Fields.empty()) return pattern.Fields.size();
  const std::size_t size = pattern.Type.size() + pattern.SLWords.size() +
                           pattern.TLWords.size() + pattern.Alignment.size() +
                           pattern.CStructure.size() + pattern.ConstSeq.size() +
                           pattern.Score.size() +
                           pattern.XSideConstraints.size() + 7;
  return pattern.Plain ? size : 2 * size;
}

char* WritePatternFields(const ExtractedPattern& pattern, char* out) {
  // The extractor wrote them so already.
  if (!pattern.Fields.empty()) return Copy(pattern.Fields, out);
  const std::string_view fields[] = {
      pattern.Type,       pattern.SLWords,  pattern.TLWords, pattern.Alignment,
      pattern.CStructure, pattern.ConstSeq, pattern.Score};
  const std::string_view constraints = pattern.XSideConstraints;
  // A pattern's fields hold no line feed, and most hold nothing else to
  // escape either: those are copied whole.
  if (pattern.Plain) {
    for (const std::string_view field : fields) {
      out = Copy(field, out);
      *out++ = '\t';
    }
    // One constraint per line becomes one blank between constraints.
    char* const from = out;
    out = Copy(constraints, out);
    for (char* at = from; at != out; ++at) {
      if (*at == '\n') *at = ' ';
    }
    return !constraints.empty() && constraints.back() == '\n' ? out - 1 : out;
  }
  for (const std::string_view field : fields) {
    out = WriteEscaped(field, out);
    *out++ = '\t';
  }
  for (std::size_t at = 0; at < constraints.size();) {
    const std::size_t end =
        std::min(constraints.find('\n', at), constraints.size());
    out = WriteEscaped(constraints.substr(at, end - at), out);
    at = end + 1;
    if (at < constraints.size()) *out++ = ' ';
  }
  return out;
}

char TsvEscapeOf(char c) {
  switch (c) {
    case '\t':
      return 't';
    case '\r':
      return 'r';
    case '\n':
      return 'n';
    case '\\':
      return '\\';
    default:
      return 0;
  }
}

void AppendTsvField(std::string_view field, std::string& line) {
  const std::size_t at = line.size();
  line.resize(at + 2 * field.size());
  line.resize(WriteEscaped(field, line.data() + at) - line.data());
}

void AppendUnescaped(std::string_view field, std::string& out) {
  for (std::size_t at = 0; at < field.size(); ++at) {
    char c = field[at];
    if (c == '\\' && at + 1 < field.size()) {
      c = field[++at];
      c = c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
    }
    out.push_back(c);
  }
}

bool WellEscaped(std::string_view text) {
  for (std::size_t at = text.find('\\'); at != std::string_view::npos;
       at = text.find('\\', at + 2)) {
    const char next = at + 1 < text.size() ? text[at + 1] : '\0';
    if (next != 't' && next != 'r' && next != 'n' && next != '\\') {
      return false;
    }
  }
  return true;
}

void AppendPatternFields(const ExtractedPattern& pattern, std::string& line) {
  const std::size_t at = line.size();
  line.resize(at + PatternFieldsBound(pattern));
  line.resize(WritePatternFields(pattern, line.data() + at) - line.data());
}

std::string_view PatternFieldsOf(const ExtractedPattern& pattern,
                                 std::string& scratch) {
  if (!pattern.Fields.empty()) return pattern.Fields;
  scratch.clear();
  AppendPatternFields(pattern, scratch);
  return scratch;
}

void AppendTsvLine(std::size_t record, std::string_view sentenceId,
                   const ExtractedPattern& pattern, std::string& out) {
  char digits[kMostDecimalBytes];
  char* const end = PutDecimal(digits, record);
  out.append(digits, end).push_back('\t');
  AppendTsvField(sentenceId, out);
  out.push_back('\t');
  AppendPatternFields(pattern, out);
  out.push_back('\n');
}

void AppendTableRow(long long count, std::string_view fields,
                    std::string& out) {
  char prefix[kMostDecimalBytes + 1];
  char* end = PutDecimal(prefix, count);
  *end++ = '\t';
  out.append(prefix, end).append(fields).push_back('\n');
}

std::string_view SentenceId(std::string_view header) {
  const std::size_t mark = header.find(kHeaderMark);
  if (mark == std::string_view::npos) return {};
  std::string_view id = header.substr(mark + kHeaderMark.size());
  const std::size_t first = id.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return id.substr(first, id.find_last_not_of(' ') - first + 1);
}
