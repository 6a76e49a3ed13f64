#include "ScoredLines.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <utility>
#include <vector>

#include "PatternFields.h"
#include "records/AlignmentLinks.h"

const std::string_view kScoredHeader =
    "count\tsource_count\ttarget_count\tp_tl_given_sl\tlex_tl_given_sl\t"
    "p_sl_given_tl\tlex_sl_given_tl\ttype\tsl_words\ttl_words\talignment\t"
    "c_structure\tconst_seq\tscore\tx_side_constraints\n";

namespace {

template <class Number>
void AppendNumber(Number number, std::string& out) {
  char text[32];
  const char* const end = std::to_chars(text, text + sizeof text, number).ptr;
  out.append(text, static_cast<std::size_t>(end - text));
}

// As a C++ stream writes a double by default: six significant digits.
void AppendStreamNumber(double number, std::string& out) {
  char text[32];
  const int size = std::snprintf(text, sizeof text, "%g", number);
  out.append(text, static_cast<std::size_t>(size));
}

// Appends the blank-separated words of `words`, each escaped, and then
// `label`, blank-separated.
void AppendPhrase(std::string_view words, std::string_view label,
                  std::string& out) {
  while (!words.empty()) {
    const std::size_t blank = std::min(words.find(' '), words.size());
    if (blank != 0) {
      AppendMosesEscaped(words.substr(0, blank), out);
      out.push_back(' ');
    }
    words.remove_prefix(std::min(blank + 1, words.size()));
  }
  out.push_back('[');
  // A label is escaped as words are: "|||" or "]" in it would end a field
  // or the label itself for whatever reads the line.
  AppendMosesEscaped(label, out);
  out.push_back(']');
}

// The end of the leaf text that starts at `at`: the first ")" after a "-"
// and digits, so that a leaf that is itself ")" keeps its text; else the
// first ")".
std::size_t LeafEnd(std::string_view tree, std::size_t at) {
  for (std::size_t close = tree.find(')', at); close != std::string_view::npos;
       close = tree.find(')', close + 1)) {
    std::size_t digits = close;
    while (digits > at && tree[digits - 1] >= '0' && tree[digits - 1] <= '9') {
      --digits;
    }
    if (digits < close && digits > at && tree[digits - 1] == '-') return close;
  }
  return std::min(tree.find(')', at), tree.size());
}

}  // namespace

void AppendMosesEscaped(std::string_view word, std::string& out) {
  for (const char c : word) {
    switch (c) {
      case '&':
        out.append("&amp;");
        break;
      case '|':
        out.append("&#124;");
        break;
      case '<':
        out.append("&lt;");
        break;
      case '>':
        out.append("&gt;");
        break;
      case '\'':
        out.append("&apos;");
        break;
      case '"':
        out.append("&quot;");
        break;
      case '[':
        out.append("&#91;");
        break;
      case ']':
        out.append("&#93;");
        break;
      default:
        out.push_back(c);
    }
  }
}

void AppendMosesTree(std::string_view tree, std::string& out) {
  std::size_t at = 0;
  while (at < tree.size()) {
    const char c = tree[at];
    if (c == ')') {
      out.push_back(']');
    } else if (c == ' ') {
      // Siblings stand a blank apart.
      if (at + 1 < tree.size() && tree[at + 1] == '(') out.push_back(' ');
    } else if (c == '(') {
      std::size_t end = at + 1;
      while (end < tree.size() && tree[end] != ' ' && tree[end] != ')') ++end;
      std::string_view label = tree.substr(at + 1, end - at - 1);
      if (label.size() >= 2 && label.front() == '<' && label.back() == '>') {
        label = label.substr(1, label.size() - 2);
      }
      out.push_back('[');
      AppendMosesEscaped(label, out);
      at = end;
      // What follows a label's blank is a child node or a leaf, which may
      // itself be "(" or ")".
      // A leaf holds no blank, a node does after its label.
      const std::size_t leafEnd =
          at + 1 < tree.size() ? LeafEnd(tree, at + 1) : tree.size();
      if (at + 1 < tree.size() && tree[at] == ' ' &&
          (tree[at + 1] != '(' ||
           tree.substr(at + 1, leafEnd - at - 1).find(' ') ==
               std::string_view::npos)) {
        std::string_view leaf = tree.substr(at + 1, leafEnd - at - 1);
        const std::size_t dash = leaf.rfind('-');
        if (dash != std::string_view::npos && dash + 1 < leaf.size() &&
            leaf.find_first_not_of("0123456789", dash + 1) ==
                std::string_view::npos) {
          leaf = leaf.substr(0, dash);
        }
        out.push_back(' ');
        AppendMosesEscaped(leaf, out);
        at = leafEnd;
      }
      continue;
    }
    ++at;
  }
}

void AppendScoredLine(const ScoredEntry& entry, std::string& out) {
  AppendNumber(entry.Count, out);
  for (const long long count : {entry.SourceCount, entry.TargetCount}) {
    out.push_back('\t');
    AppendNumber(count, out);
  }
  for (const double score : {entry.TLGivenSL, entry.LexTLGivenSL,
                             entry.SLGivenTL, entry.LexSLGivenTL}) {
    out.push_back('\t');
    AppendNumber(score, out);
  }
  for (const std::string_view field : entry.Fields) {
    out.push_back('\t');
    out.append(field);
  }
  out.push_back('\n');
}

void AppendMosesLine(const ScoredEntry& entry, std::string& out) {
  std::string text;
  std::string type;
  AppendUnescaped(entry.Fields[ScoredEntry::kType], type);
  AppendUnescaped(entry.Fields[ScoredEntry::kSL], text);
  AppendPhrase(text, type, out);
  out.append(" ||| ");
  text.clear();
  AppendUnescaped(entry.Fields[ScoredEntry::kTL], text);
  AppendPhrase(text, "X", out);
  out.append(" |||");
  for (const double score : {entry.SLGivenTL, entry.LexSLGivenTL,
                             entry.TLGivenSL, entry.LexTLGivenSL}) {
    out.push_back(' ');
    AppendStreamNumber(score, out);
  }
  out.append(" |||");
  std::vector<std::pair<int, int>> links;
  ForEachAlignmentPair(entry.Fields[ScoredEntry::kAlignment],
                       [&links](int s, int t) { links.emplace_back(s, t); });
  std::sort(links.begin(), links.end());
  links.erase(std::unique(links.begin(), links.end()), links.end());
  for (const auto& [s, t] : links) {
    out.push_back(' ');
    AppendNumber(s - 1, out);
    out.push_back('-');
    AppendNumber(t - 1, out);
  }
  out.append(" |||");
  for (const long long count :
       {entry.TargetCount, entry.SourceCount, entry.Count}) {
    out.push_back(' ');
    AppendStreamNumber(static_cast<double>(count), out);
  }
  out.append(" ||| ||| {{Tree ");
  text.clear();
  AppendUnescaped(entry.Fields[ScoredEntry::kCStructure], text);
  AppendMosesTree(text, out);
  out.append("}}\n");
}
