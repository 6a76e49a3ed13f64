// Feeds arbitrary bytes to the example reader and scores every complete
// example, the way the annotation loop does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "ParseParser.h"
#include "TrainingExampleReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream listing;
  TrainingExampleReader reader(in, listing);
  CStructureReader measurer;
  for (;;) {
    const ExampleFieldMap example = reader.Next();
    if (example.size() != 6) break;
    // Skip what the reader itself rejects; the example must still read.
    const CStructureReading reading =
        measurer.MeasureDepth(example.at("C-Structure"));
    if (reading.Ok && reading.Depth < 1) std::abort();
  }
  return 0;
}
