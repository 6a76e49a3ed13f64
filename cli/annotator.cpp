// annotator InFile OutFile: writes every training example of InFile to
// OutFile with its co-embedding score, listing each on standard output.
#include <unistd.h>

#include <csignal>
#include <string>
#include <string_view>
#include <vector>

#include "AnnotatedRecord.h"
#include "Fatal.h"
#include "FileChecks.h"
#include "Messages.h"
#include "ParseParser.h"
#include "ProgramFiles.h"
#include "ProgramReader.h"
#include "RecordFile.h"
#include "TrainingExampleReader.h"

RecordFile Out;

namespace {

// The most bytes of records, and of listing, held back before they go out:
// enough to make write calls few, and little enough to stay in the
// processor's cache until the kernel copies them.
constexpr std::size_t kBatchBytes = std::size_t{256} << 10;

}  // namespace

int main(int argc, char** argv) {
  // The listing is only a listing: a closed standard output or a reader that
  // went away must cost neither the output file nor the exit status, and a
  // file-size limit is a failed write like any other.
  const unsigned reopened = ReserveStandardDescriptors();
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  HoldTerminationDuringWrites();

  if (argc != 3) Fatal(messages::AnnotatorUsage(argc > 0 ? argv[0] : nullptr));
  TrainingInput in;
  OpenAnnotatorFiles(argv[1], argv[2], in, Out);

  // A listing nobody can see is not built at all. Nor is one that would go
  // to OutFile itself (`annotator in out > out`): it would write over the
  // records.
  bool listed = (reopened & (1U << STDOUT_FILENO)) == 0 &&
                !WritesToDevNull(STDOUT_FILENO) &&
                !DescriptorNamesFile(STDOUT_FILENO, argv[2]);
  ProgramReader reader(in);
  CStructureReader trees;
  ExampleRecordView example;

  // Records go out in batches of up to kBatchBytes, each in one write.
  Out.SetFlushBound(kBatchBytes);

  // The listing goes out in batches too, never ahead of the records it
  // lists: a failed write of record N leaves the listing up to record N,
  // as when every record went out on its own. `listingEnds` holds where
  // each record's part of `listing` ends, from record `firstListed` on.
  std::string listing;
  std::vector<std::size_t> listingEnds;
  std::size_t firstListed = 0;
  const auto writeListing = [&](std::size_t end) {
    // Once standard output fails, nothing later can reach it either.
    if (listed && end > 0) {
      listed =
          WriteWhole(STDOUT_FILENO, std::string_view(listing).substr(0, end));
    }
  };
  const auto failedWrite = [&]() {
    const std::size_t failed = Out.WholeUnits() - firstListed;
    writeListing(failed < listingEnds.size() ? listingEnds[failed]
                                             : listing.size());
    Fatal(messages::kCannotWriteOutFile);
  };
  // Everything held goes out, the records first.
  const auto flush = [&]() {
    if (!Out.Flush()) failedWrite();
    writeListing(listing.size());
    listing.clear();
    listingEnds.clear();
    firstListed = Out.WholeUnits();
  };
  const auto stop = [&](const std::string& message) {
    flush();
    Fatal(message);
  };

  for (;;) {
    if (listing.size() >= kBatchBytes) flush();
    const bool complete = reader.Next(example);
    if (reader.EndedShort()) stop(reader.EndMessage());
    if (listed) {
      AppendReaderListing(example, listing);
      if (complete)
        AppendAnnotationListing(example, listing);
      else
        listing += messages::kNoTrainingExample;
      listingEnds.push_back(listing.size());
    }
    if (!complete) break;

    const CStructureReading tree = trees.MeasureDepth(example.CStructure);
    if (!tree.Ok) stop(messages::FormatErrorMessage(tree.FailedText));
    // Built in place at the end of Out's buffer.
    AppendAnnotatedRecord(example, tree.Depth, Out.Buffer());
    if (!Out.EndUnit()) failedWrite();
  }
  flush();
  if (!Out.Close()) Fatal(messages::kCannotWriteOutFile);
  return 0;
}
