// Reads arbitrary bytes as C-structure text both ways, measuring and
// building, and stops on any disagreement between the two.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ParseParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CStructureReader reader;
  const CStructureReading reading = reader.MeasureDepth(text);
  ParseParser parser;
  const Status built = parser.TryParseIntoTree(text);
  if (built.Ok() != reading.Ok) std::abort();
  if (!built) {
    // A rejected text has no tree to compare; its verdict must match.
    const Status measured = reading.ToStatus();
    if (built.Code != measured.Code || built.Text != measured.Text ||
        built.Text != reading.FailedText) {
      std::abort();
    }
    return 0;
  }
  if (GetCoEmbeddingScore(parser.Root) != reading.Depth) std::abort();
  return 0;
}
