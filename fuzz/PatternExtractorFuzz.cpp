// Reads arbitrary bytes as a training file and extracts the patterns of
// every record both ways, with and without --consistent, and holds each
// against patterns built one by one through Pattern, UpdateAlignments and
// FindXSideConstraints: the whole library at once. Stops on any
// disagreement.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "PatternExtractor.h"
#include "Status.h"
#include "TrainingExampleReader.h"
#include "support/PatternReference.h"

namespace {

void Check(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostream listing(nullptr);
  TrainingExampleReader reader(in, listing);
  PatternExtractor all;
  PatternExtractor consistent(true);
  ExampleRecord record;
  while (reader.NextRecord(record)) {
    // Output of earlier records stays in front and untouched.
    std::string allOut = "kept";
    std::string consistentOut = "kept";
    const Status allStatus = all.AppendPatterns(record, allOut);
    const Status consistentStatus =
        consistent.AppendPatterns(record, consistentOut);
    Check(allStatus.Ok() == consistentStatus.Ok());
    Check(allOut.compare(0, 4, "kept") == 0);
    Check(consistentOut.compare(0, 4, "kept") == 0);
    if (!allStatus) {
      Check(allStatus.Code == consistentStatus.Code &&
            allStatus.Message() == consistentStatus.Message() &&
            allStatus.Family() != StatusFamily::kNone &&
            allStatus.Record == record.Number && allStatus.Line != 0);
      Check(allOut == "kept" && consistentOut == "kept");
      continue;
    }
    const ExampleFieldMap example = record.ToMap();
    Check(allOut.substr(4) == testsupport::ReferencePatterns(example, false));
    Check(consistentOut.substr(4) ==
          testsupport::ReferencePatterns(example, true));
  }
  return 0;
}
