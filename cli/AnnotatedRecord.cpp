#include "AnnotatedRecord.h"

#include <iterator>
#include <string_view>
#include <utility>

#include "records/LegacyLimits.h"
#include "text/NumberText.h"
#include "text/PutText.h"

namespace {

char* PutLine(char* out, std::string_view line) {
  out = PutText(out, line);
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
  char* out = PutText(&listing[start], kOpening);
  for (std::size_t bar = 0; bar < std::size(bars); ++bar) {
    const auto& [key, value] = bars[bar];
    // DebugSL comes right before the SL line, the fourth.
    if (bar == 3) out = PutLine(PutText(out, kDebugSL), example.SL);
    *out++ = '|';
    out = PutText(out, key);
    out = PutText(out, "|:|");
    out = PutLine(PutText(out, value), "|");
  }
}

void AppendAnnotationListing(const ExampleRecord& example,
                             std::string& listing) {
  AppendAnnotationListing(example.View(), listing);
}

namespace {

// The annotated record's layout, once: hands `put` its pieces in order, the
// header line as `header`, the score as `score`.
template <class Put>
void ForEachRecordPiece(const ExampleRecordView& example,
                        std::string_view header, std::string_view score,
                        Put&& put) {
  put(header);
  put("\n");
  for (const std::string_view line :
       {example.SL, example.TL, example.Alignment, example.Type}) {
    put(line);
    put("\n");
  }
  put("CoEmbeddingScore: ");
  put(score);
  put("\n");
  put(example.CStructure);
  put("\n");
  put(example.ConstSeq);
  put("\nXSideConstraints:\n\n");
}

}  // namespace

void AppendAnnotatedRecord(const ExampleRecordView& example, int score,
                           std::string& out) {
  AppendAnnotatedRecord(example, score, kRecordHeaderMark, out);
}

void AppendAnnotatedRecord(const ExampleRecordView& example, int score,
                           std::string_view header, std::string& out) {
  char digits[kMostDecimalBytes];
  const std::string_view scoreText(
      digits, static_cast<std::size_t>(PutDecimal(digits, score) - digits));
  std::size_t size = 0;
  ForEachRecordPiece(example, header, scoreText,
                     [&size](std::string_view piece) { size += piece.size(); });
  // Room made by resizing is filled with zeros first, which costs less than
  // a dozen appends for a short record and more for a long one.
  if (size < 4096) {
    const std::size_t start = out.size();
    out.resize(start + size);
    char* at = &out[start];
    ForEachRecordPiece(
        example, header, scoreText,
        [&at](std::string_view piece) { at = PutText(at, piece); });
    return;
  }
  out.reserve(out.size() + size);
  ForEachRecordPiece(example, header, scoreText,
                     [&out](std::string_view piece) { out.append(piece); });
}

void AppendAnnotatedRecord(const ExampleRecord& example, int score,
                           std::string& out) {
  AppendAnnotatedRecord(example.View(), score, out);
}
