#include "TrainingSentencePair.h"

#include <iostream>
#include <set>
#include <string_view>
#include <utility>

#include "ExitWithMessage.h"

namespace {

// Each step keeps at most this much of the rest after a blank, and a tag at
// most this much of its token; sentences are far shorter.
constexpr std::size_t kRestKept = 1000000;
constexpr std::size_t kTagKept = 10000;

// Calls `visit(token)` for each non-empty blank-separated token. The rest is
// a window into `sentence`, so no step copies it.
template <class Visit>
void ForEachToken(std::string_view sentence, Visit&& visit) {
  std::string_view rest = sentence;
  while (!rest.empty()) {
    const std::size_t blank = rest.find(' ');
    const std::string_view token = rest.substr(0, blank);
    if (!token.empty()) visit(token);
    rest = blank == std::string_view::npos ? std::string_view()
                                           : rest.substr(blank + 1, kRestKept);
  }
}

}  // namespace

TrainingSentencePair::TrainingSentencePair() = default;

void TrainingSentencePair::SetSLSent(std::string sentence) {
  SLSent = std::move(sentence);
  FindSLWordsandPOSs();
}
std::string TrainingSentencePair::GetSLSent() const { return SLSent; }

void TrainingSentencePair::FindSLWordsandPOSs() {
  ForEachToken(SLSent, [this](std::string_view token) {
    const std::size_t slash = token.find('/');
    std::string_view word = token;
    std::string_view tag;
    if (slash != std::string_view::npos && slash + 1 < token.size()) {
      word = token.substr(0, slash);
      tag = token.substr(slash + 1, kTagKept);
      std::cout << "POSTag:" << tag << '\n' << std::flush;
    }
    // The tag line above is written even when the word turns out empty.
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
  ForEachToken(TLSent,
               [this](std::string_view token) { TLWords.emplace_back(token); });
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

bool TrainingSentencePair::TryGetAlMap(AlMap& out, int* badTLPosition) const {
  out.clear();
  // One reading of the string serves every SL position: asking LineUp once
  // per SL word, each query reading the whole string again, gives the same
  // map in time that grows with the product of the two lengths.
  LineUp lineUp;
  lineUp.FillHash(1, Alignment);
  for (const auto& [sl, tls] : lineUp.HashFromX) {
    if (sl < 1 || static_cast<std::size_t>(sl) > SLWords.size()) continue;
    for (const int tl : std::set<int>(tls.begin(), tls.end())) {
      // A TL position of 0 would name the word before the first.
      if (tl < 1 || static_cast<std::size_t>(tl) > TLWords.size()) {
        out.clear();
        if (badTLPosition) *badTLPosition = tl;
        return false;
      }
      out.emplace_hint(
          out.end(), sl,
          std::make_pair(TLWords[static_cast<std::size_t>(tl - 1)], tl));
    }
  }
  return true;
}

AlMap TrainingSentencePair::GetAlMap() const {
  if (Alignment.empty() || SLWords.empty() || TLWords.empty()) {
    std::cout << "Cannote process AlMap, Alignment and/or SLWords and/or "
                 "TLWords not given.\n"
              << std::flush;
  }
  AlMap alMap;
  int badTLPosition = 0;
  if (!TryGetAlMap(alMap, &badTLPosition)) {
    ExitWithMessage("TL Index " + std::to_string(badTLPosition) +
                    " exceeds TL sentence length.\n");
  }
  return alMap;
}
