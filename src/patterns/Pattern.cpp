#include "Pattern.h"

#include <string_view>
#include <utility>

#include "records/LegacyLimits.h"
#include "text/NumberText.h"

namespace {

// Where the marker of `word` begins, or npos. A word may itself end in
// dashes ("-LRB-", "--"), so the marker is the "---" right before a run of
// digits that ends the word, if there is one; only without such a suffix
// does the first "---" count.
std::size_t FindMarker(std::string_view word) {
  std::size_t digits = word.size();
  while (digits > 0 && word[digits - 1] >= '0' && word[digits - 1] <= '9') {
    --digits;
  }
  if (digits < word.size() && digits >= kWordPositionMarker.size() &&
      word.substr(digits - kWordPositionMarker.size(),
                  kWordPositionMarker.size()) == kWordPositionMarker) {
    return digits - kWordPositionMarker.size();
  }
  return word.find(kWordPositionMarker);
}

void AppendJoined(const std::vector<std::string>& words, std::string& out) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out.push_back(' ');
    out.append(words[i]);
  }
}

}  // namespace

Pattern::Pattern() = default;

void Pattern::SetConstSeq(std::string constSeq) {
  ConstSeq = std::move(constSeq);
}
std::string Pattern::GetConstSeq() const { return ConstSeq; }

void Pattern::SetType(std::string type) { Type = std::move(type); }
std::string Pattern::GetType() const { return Type; }

void Pattern::SetSLWords(std::vector<std::string> words) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string& word = words[i];
    const std::size_t marker = FindMarker(word);
    if (marker == std::string::npos) {
      SLWords.push_back(std::move(word));
      SLWordSentInds.push_back(-1);
      continue;
    }
    const std::size_t suffix = marker + kWordPositionMarker.size();
    const int index = suffix < word.size()
                          ? ReadLeadingInt(std::string_view(word).substr(
                                suffix, kWordPositionKept))
                          : -1;
    // Positions count from 0 in each call, so a second call meets the keys
    // of the first; those keep their first value.
    SLIndsPatternToSent.emplace(ClampToIntRange(i), index);
    SLWordSentInds.push_back(index);
    word.resize(marker);
    SLWords.push_back(std::move(word));
  }
}
std::vector<std::string> Pattern::GetSLWords() const { return SLWords; }
std::vector<int> Pattern::GetSLWordSentInds() const { return SLWordSentInds; }
std::map<int, int> Pattern::GetSLIndsPatternToSent() const {
  return SLIndsPatternToSent;
}

void Pattern::SetTLWords(std::vector<std::string> words) {
  TLWords = std::move(words);
}
std::vector<std::string> Pattern::GetTLWords() const { return TLWords; }

void Pattern::SetSLIndsSent(std::vector<int> inds) {
  SLIndsSent = std::move(inds);
}
std::vector<int> Pattern::GetSLIndsSent() const { return SLIndsSent; }

void Pattern::SetAlignments(std::multimap<int, int> alignments) {
  Alignments = std::move(alignments);
}
std::multimap<int, int> Pattern::GetAlignments() const { return Alignments; }

void Pattern::SetCStruct(std::string cStruct) { CStruct = std::move(cStruct); }
std::string Pattern::GetCStruct() const { return CStruct; }

void Pattern::SetCStructNoTags(std::string cStructNoTags) {
  CStructNoTags = std::move(cStructNoTags);
}
std::string Pattern::GetCStructNoTags() const { return CStructNoTags; }

void Pattern::SetXSideConstraints(std::set<std::string> constraints) {
  XSideConstraints = std::move(constraints);
}
std::set<std::string> Pattern::GetXSideConstraints() const {
  return XSideConstraints;
}

void Pattern::SetCoEmbeddingScore(int score) { CoEmbeddingScore = score; }
int Pattern::GetCoEmbeddingScore() const { return CoEmbeddingScore; }

std::string Pattern::ReturnPatternAsString() const {
  std::string out;
  if (Type.empty()) return out;
  out.append("SentenceIndex:\nSL: ");
  AppendJoined(SLWords, out);
  out.append("\nTL: ");
  AppendJoined(TLWords, out);
  out.append("\nAlignment: (");
  bool first = true;
  for (const auto& [sl, tl] : Alignments) {
    if (!first) out.push_back(',');
    first = false;
    out.append("(").append(Decimal(sl)).append(",");
    out.append(Decimal(tl)).append(")");
  }
  out.append(")\nType: ").append(Type);
  out.append("\nCoEmbeddingScore: ").append(Decimal(CoEmbeddingScore));
  // The C-structure follows its label directly: the tree reader takes the
  // label into the root's label, and a blank there would break the line.
  out.append("\nC-Structure:").append(CStruct);
  out.append("\nConstSeq: ").append(ConstSeq);
  out.append("\nXSideConstraints:\n");
  for (const std::string& constraint : XSideConstraints) {
    out.append(constraint).push_back('\n');
  }
  return out;
}
