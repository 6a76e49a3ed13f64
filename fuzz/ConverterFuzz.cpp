// Runs arbitrary bytes through make_examples' road: the input is split at
// its first two NUL bytes into the trees, the TL file and the alignments,
// and every record made is written as make_examples writes it. annotator's
// reader must read each back whole, and annotator must write it again
// byte for byte but for the header, with the depth make_examples gave.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "AnnotatedRecord.h"
#include "ParseParser.h"
#include "TrainingExampleReader.h"
#include "converter/ExampleMaker.h"
#include "records/LegacyLimits.h"
#include "text/NumberText.h"

namespace {

// The next part of `input`, up to a NUL or its end.
std::string Part(std::string_view& input) {
  const std::size_t end = input.find('\0');
  std::string part(input.substr(0, end));
  input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  return part;
}

void Check(bool holds) {
  if (!holds) std::abort();
}

// `text` without the carriage returns that end its lines. make_examples
// copies a TL line whole, and one that still ends in "\r" once its line end
// is off (a last line without "\n", or "\r\r\n") becomes a record line
// that annotator's reader takes for a CRLF line: a known difference, which
// annotator's output keeps as reading the TL line without it.
std::string WithoutLineEndCRs(std::string_view text) {
  std::string kept;
  for (const char c : text) {
    if (c == '\n') {
      while (!kept.empty() && kept.back() == '\r') kept.pop_back();
    }
    kept += c;
  }
  return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::istringstream trees(Part(input));
  std::istringstream tl(Part(input));
  std::istringstream alignment(Part(input));
  ExampleMaker maker(trees, tl, alignment, "trees", "tl", "alignment");

  std::string made;
  std::vector<std::size_t> starts;
  std::vector<int> depths;
  ExampleRecordView record;
  int depth = 0;
  for (;;) {
    const ExampleMaker::Step step = maker.Next(record, depth);
    if (step == ExampleMaker::Step::kEnd) break;
    if (step == ExampleMaker::Step::kRecord) {
      Check(record.Number == maker.Sentences());
      starts.push_back(made.size());
      depths.push_back(depth);
      AppendAnnotatedRecord(record, depth,
                            "SentenceIndex: " + Decimal(record.Number), made);
      continue;
    }
    // Every reason names its sentence, or the file or line it stopped at.
    Check(!maker.Problem().Message().empty());
    if (step == ExampleMaker::Step::kStopped) break;
  }
  starts.push_back(made.size());

  std::istringstream in(made);
  std::ostringstream listing;
  TrainingExampleReader reader(in, listing);
  CStructureReader measurer;
  ExampleRecord read;
  std::string again;
  for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
    Check(reader.NextRecord(read));
    const CStructureReading tree = measurer.MeasureDepth(read.CStructure);
    Check(tree.Ok && tree.Depth == depths[i]);
    again.clear();
    AppendAnnotatedRecord(read, tree.Depth, again);
    // Only the header differs: annotator writes it bare.
    const std::string_view unit =
        std::string_view(made).substr(starts[i], starts[i + 1] - starts[i]);
    const std::size_t headerEnd = unit.find('\n');
    Check(WithoutLineEndCRs(again.substr(again.find('\n'))) ==
          WithoutLineEndCRs(unit.substr(headerEnd)));
    Check(again.rfind(kRecordHeaderMark, 0) == 0);
  }
  Check(!reader.NextRecord(read));
  return 0;
}
