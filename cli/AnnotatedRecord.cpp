#include "AnnotatedRecord.h"

#include <charconv>
#include <string_view>

namespace {

void AppendLine(std::string& out, std::string_view line) {
  out.append(line);
  out.push_back('\n');
}

void AppendBarLine(std::string& listing, std::string_view key,
                   std::string_view value) {
  listing.push_back('|');
  listing.append(key);
  listing.append("|:|");
  listing.append(value);
  listing.append("|\n");
}

}  // namespace

void AppendAnnotationListing(const ExampleRecord& example,
                             std::string& listing) {
  listing.append("Printing new training example:\n");
  AppendBarLine(listing, "Alignment", example.Alignment);
  AppendBarLine(listing, "C-Structure", example.CStructure);
  AppendBarLine(listing, "ConstSeq", example.ConstSeq);
  listing.append("DebugSL:|");
  AppendLine(listing, example.SL);
  AppendBarLine(listing, "SL", example.SL);
  AppendBarLine(listing, "TL", example.TL);
  AppendBarLine(listing, "Type", example.Type);
}

void AppendAnnotatedRecord(const ExampleRecord& example, int score,
                           std::string& out) {
  char digits[16];
  const auto printed = std::to_chars(digits, digits + sizeof digits, score);
  AppendLine(out, "SentenceIndex:");
  AppendLine(out, example.SL);
  AppendLine(out, example.TL);
  AppendLine(out, example.Alignment);
  AppendLine(out, example.Type);
  out.append("CoEmbeddingScore: ");
  AppendLine(out, std::string_view(
                      digits, static_cast<std::size_t>(printed.ptr - digits)));
  AppendLine(out, example.CStructure);
  AppendLine(out, example.ConstSeq);
  AppendLine(out, "XSideConstraints:");
  AppendLine(out, "");
}
