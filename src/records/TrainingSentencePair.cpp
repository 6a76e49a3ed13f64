#include "TrainingSentencePair.h"

#include <iostream>
#include <string_view>
#include <utility>

#include "records/AlignmentLinks.h"
#include "records/ExitWithMessage.h"
#include "text/SplitText.h"

TrainingSentencePair::TrainingSentencePair() = default;

void TrainingSentencePair::SetSLSent(std::string sentence) {
  SLSent = std::move(sentence);
  FindSLWordsandPOSs();
}
std::string TrainingSentencePair::GetSLSent() const { return SLSent; }

void TrainingSentencePair::FindSLWordsandPOSs() {
  ForEachSLToken(
      SLSent, [this](std::string_view word, std::string_view tag, bool tagged) {
        // The tag line is written even when the word turns out empty.
        if (tagged) std::cout << "POSTag:" << tag << '\n' << std::flush;
        if (!word.empty()) {
          SLWords.emplace_back(word);
          SLPOSs.emplace_back(tag);
        }
      });
}

std::string TrainingSentencePair::GetSLSentToParse() const {
  std::string text;
  for (const std::string& word : SLWords) {
    std::cout << '.';
    text.append(word).push_back(' ');
  }
  // A sentence-final period of the last word is dropped here and written
  // back as a token of its own below.
  if (text.size() > 2 && text[text.size() - 2] == '.') {
    text.resize(text.size() - 2);
  }
  text.append(" .");
  return text;
}

void TrainingSentencePair::SetTLSent(std::string sentence) {
  TLSent = std::move(sentence);
  FindTLWords();
}
std::string TrainingSentencePair::GetTLSent() const { return TLSent; }

void TrainingSentencePair::FindTLWords() {
  ForEachSentenceToken(
      TLSent, [this](std::string_view token) { TLWords.emplace_back(token); });
}

void TrainingSentencePair::SetAlignment(std::string alignment) {
  Alignment = std::move(alignment);
}
std::string TrainingSentencePair::GetAlignment() const { return Alignment; }

void TrainingSentencePair::SetParseTree(ParseParser* parseTree) {
  ParseTree = parseTree;
}
ParseParser* TrainingSentencePair::GetParseTree() const { return ParseTree; }

std::vector<std::string> TrainingSentencePair::GetSLWords() const {
  return SLWords;
}
std::vector<std::string> TrainingSentencePair::GetSLPOSs() const {
  return SLPOSs;
}
std::vector<std::string> TrainingSentencePair::GetTLWords() const {
  return TLWords;
}

void TrainingSentencePair::AddPattern(Pattern pattern) {
  Patterns.push_back(std::move(pattern));
}
std::vector<Pattern> TrainingSentencePair::GetPatterns() const {
  return Patterns;
}

std::string TrainingSentencePair::ReturnPOS(int position) const {
  if (position < 0 || static_cast<std::size_t>(position) >= SLPOSs.size()) {
    return "";
  }
  const std::string& tag = SLPOSs[static_cast<std::size_t>(position)];
  if (tag == "(" || tag == ")") return "SYM";
  return tag;
}

Status TrainingSentencePair::TryGetAlMap(AlMap& out, int* badTLPosition) const {
  out.clear();
  std::vector<std::pair<int, int>> links;
  Status status =
      CollectLinks(Alignment, SLWords.size(), TLWords.size(), links);
  if (!status) {
    if (badTLPosition) *badTLPosition = status.Position;
    return status;
  }
  for (const auto& [sl, tl] : links) {
    out.emplace_hint(
        out.end(), sl,
        std::make_pair(TLWords[static_cast<std::size_t>(tl - 1)], tl));
  }
  return status;
}

AlMap TrainingSentencePair::GetAlMap() const {
  if (Alignment.empty() || SLWords.empty() || TLWords.empty()) {
    std::cout << "Cannote process AlMap, Alignment and/or SLWords and/or "
                 "TLWords not given.\n"
              << std::flush;
  }
  AlMap alMap;
  const Status status = TryGetAlMap(alMap);
  if (!status) ExitWithMessage(status.Message() + "\n");
  return alMap;
}
