#include "AnnotatedRecord.h"

#include <charconv>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>

namespace {

char* Put(char* out, std::string_view bytes) {
  // An empty view may have no data at all, which memcpy must not be given.
  if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
  return out + bytes.size();
}

char* PutLine(char* out, std::string_view line) {
  out = Put(out, line);
  *out = '\n';
  return out + 1;
}

}  // namespace

void AppendAnnotationListing(const ExampleRecordView& example,
                             std::string& listing) {
  constexpr std::string_view kOpening = "Printing new training example:\n";
  constexpr std::string_view kDebugSL = "DebugSL:|";
  const std::pair<std::string_view, std::string_view> bars[] = {
      {"Alignment", example.Alignment},
      {"C-Structure", example.CStructure},
      {"ConstSeq", example.ConstSeq},
      {"SL", example.SL},
      {"TL", example.TL},
      {"Type", example.Type}};
  // Sized first and filled in place, as the reader's listing is.
  std::size_t size = kOpening.size() + kDebugSL.size() + example.SL.size() + 1;
  // Each bar line is "|key|:|value|" and its line end.
  for (const auto& [key, value] : bars) size += key.size() + value.size() + 6;
  const std::size_t start = listing.size();
  listing.resize(start + size);
  char* out = Put(&listing[start], kOpening);
  for (std::size_t bar = 0; bar < std::size(bars); ++bar) {
    const auto& [key, value] = bars[bar];
    // DebugSL comes right before the SL line, the fourth.
    if (bar == 3) out = PutLine(Put(out, kDebugSL), example.SL);
    *out++ = '|';
    out = Put(out, key);
    out = Put(out, "|:|");
    out = PutLine(Put(out, value), "|");
  }
}

void AppendAnnotationListing(const ExampleRecord& example,
                             std::string& listing) {
  AppendAnnotationListing(example.View(), listing);
}

namespace {

constexpr std::string_view kHeader = "SentenceIndex:\n";
constexpr std::string_view kScoreLabel = "CoEmbeddingScore: ";
constexpr std::string_view kTrailer = "XSideConstraints:\n\n";

// The score's decimal digits in `digits`; returns how many.
std::size_t ScoreDigits(int score, char (&digits)[16]) {
  const auto printed = std::to_chars(digits, digits + sizeof digits, score);
  return static_cast<std::size_t>(printed.ptr - digits);
}

}  // namespace

std::size_t AnnotatedRecordSize(const ExampleRecordView& example, int score) {
  char digits[16];
  // Eight of the ten lines end in a line end of their own.
  return kHeader.size() + example.SL.size() + example.TL.size() +
         example.Alignment.size() + example.Type.size() + kScoreLabel.size() +
         ScoreDigits(score, digits) + example.CStructure.size() +
         example.ConstSeq.size() + kTrailer.size() + 7;
}

char* WriteAnnotatedRecord(const ExampleRecordView& example, int score,
                           char* out) {
  char digits[16];
  const std::size_t length = ScoreDigits(score, digits);
  out = Put(out, kHeader);
  out = PutLine(out, example.SL);
  out = PutLine(out, example.TL);
  out = PutLine(out, example.Alignment);
  out = PutLine(out, example.Type);
  out = Put(out, kScoreLabel);
  out = PutLine(out, std::string_view(digits, length));
  out = PutLine(out, example.CStructure);
  out = PutLine(out, example.ConstSeq);
  return Put(out, kTrailer);
}

void AppendAnnotatedRecord(const ExampleRecordView& example, int score,
                           std::string& out) {
  const std::size_t start = out.size();
  const std::size_t size = AnnotatedRecordSize(example, score);
  // Room made by resizing is filled with zeros first, which costs less than
  // a dozen appends for a short record and more for a long one.
  if (size < 4096) {
    out.resize(start + size);
    WriteAnnotatedRecord(example, score, &out[start]);
    return;
  }
  out.reserve(start + size);
  const auto line = [&out](std::string_view text) {
    out.append(text);
    out.push_back('\n');
  };
  char digits[16];
  const std::size_t length = ScoreDigits(score, digits);
  out.append(kHeader);
  line(example.SL);
  line(example.TL);
  line(example.Alignment);
  line(example.Type);
  out.append(kScoreLabel);
  line(std::string_view(digits, length));
  line(example.CStructure);
  line(example.ConstSeq);
  out.append(kTrailer);
}

void AppendAnnotatedRecord(const ExampleRecord& example, int score,
                           std::string& out) {
  AppendAnnotatedRecord(example.View(), score, out);
}
