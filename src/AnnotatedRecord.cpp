#include "AnnotatedRecord.h"

#include <charconv>
#include <string_view>

namespace {

std::string_view Field(const ExampleFieldMap& example, const char* key) {
  const auto entry = example.find(key);
  return entry == example.end() ? std::string_view() : entry->second;
}

bool WriteLine(std::ostream& out, std::string_view first,
               std::string_view second = {}) {
  out << first << second << '\n' << std::flush;
  return !out.fail();
}

}  // namespace

void PrintExampleListing(const ExampleFieldMap& example,
                         std::ostream& listing) {
  listing << "Printing new training example:\n";
  for (const auto& [key, value] : example) {
    if (key == "SL") listing << "DebugSL:|" << value << '\n' << std::flush;
    listing << '|' << key << "|:|" << value << "|\n" << std::flush;
  }
}

bool WriteAnnotatedRecord(const ExampleFieldMap& example, int score,
                          std::ostream& out) {
  char digits[16];
  const auto printed = std::to_chars(digits, digits + sizeof digits, score);
  const std::string_view scoreText(
      digits, static_cast<std::size_t>(printed.ptr - digits));
  return WriteLine(out, "SentenceIndex:") &&
         WriteLine(out, Field(example, "SL")) &&
         WriteLine(out, Field(example, "TL")) &&
         WriteLine(out, Field(example, "Alignment")) &&
         WriteLine(out, Field(example, "Type")) &&
         WriteLine(out, "CoEmbeddingScore: ", scoreText) &&
         WriteLine(out, Field(example, "C-Structure")) &&
         WriteLine(out, Field(example, "ConstSeq")) &&
         WriteLine(out, "XSideConstraints:") && WriteLine(out, "");
}
