// Reads arbitrary bytes as a training file and extracts the patterns of
// every record both ways, with and without --consistent, and holds each
// against patterns built one by one through Pattern, UpdateAlignments and
// FindXSideConstraints, and the patterns handed over one at a time against
// those appended: the whole library at once. Stops on any disagreement.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

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
    // One at a time, the same patterns; a pattern said to be plain holds
    // nothing a table must escape.
    std::string oneByOne = "kept";
    Check(all.ForEachPattern(record,
                             [&oneByOne](const ExtractedPattern& p) {
                               oneByOne.append(p.Text);
                               for (const std::string_view field :
                                    {p.Type, p.SLWords, p.TLWords, p.CStructure,
                                     p.ConstSeq}) {
                                 Check(!p.Plain ||
                                       field.find_first_of("\t\r\\") ==
                                           std::string_view::npos);
                               }
                               return true;
                             })
              .Ok());
    Check(oneByOne == allOut);
    const ExampleFieldMap example = record.ToMap();
    Check(allOut.substr(4) == testsupport::ReferencePatterns(example, false));
    Check(consistentOut.substr(4) ==
          testsupport::ReferencePatterns(example, true));
  }
  return 0;
}
