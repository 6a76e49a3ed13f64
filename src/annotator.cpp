// annotator InFile OutFile: writes every training example of InFile to
// OutFile with its co-embedding score, listing each on standard output.
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "AnnotatedRecord.h"
#include "Fatal.h"
#include "FileChecks.h"
#include "ParseParser.h"
#include "RecordFile.h"
#include "TrainingExampleReader.h"

RecordFile Out;

int main(int argc, char** argv) {
  // The listing is only a listing: a closed standard output or a reader that
  // went away must cost neither the output file nor the exit status, and a
  // file-size limit is a failed write like any other.
  const unsigned reopened = ReserveStandardDescriptors();
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  HoldTerminationDuringWrites();

  if (argc != 3) {
    Fatal(std::string("Usage: ") + (argc > 0 && argv[0] ? argv[0] : "") +
          " InFile OutFile.\n");
  }
  const char* inFile = argv[1];
  if (NameSameFile(inFile, argv[2])) {
    Fatal("InFile and OutFile name the same file.\n");
  }
  // The input is opened first, so a mistyped path costs no output file.
  static char inBuffer[1 << 16];
  std::ifstream in;
  in.rdbuf()->pubsetbuf(inBuffer, sizeof inBuffer);
  if (!OpenTrainingFile(in, inFile)) Fatal("Couldn't open training file.\n");
  if (!Out.Open(argv[2])) Fatal("Couldn't open outfile.\n");

  // A listing nobody can see is not built at all.
  bool listed = (reopened & (1U << STDOUT_FILENO)) == 0 &&
                !WritesToDevNull(STDOUT_FILENO);
  std::ostream unused(nullptr);
  TrainingExampleReader reader(in, unused);
  CStructureReader trees;
  ExampleRecordView example;

  // The listing goes out in batches too, never ahead of the records it
  // lists: a failed write of record N leaves the listing up to record N,
  // as when every record went out on its own. `listingEnds` holds where
  // each record's part of `listing` ends, from record `firstListed` on.
  constexpr std::size_t kListingBatch = std::size_t{1} << 20;
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
    const std::size_t failed = Out.WholeRecords() - firstListed;
    writeListing(failed < listingEnds.size() ? listingEnds[failed]
                                             : listing.size());
    Fatal("Couldn't write outfile.\n");
  };
  // Everything held goes out, the records first.
  const auto flush = [&]() {
    if (!Out.Flush()) failedWrite();
    writeListing(listing.size());
    listing.clear();
    listingEnds.clear();
    firstListed = Out.WholeRecords();
  };
  const auto stop = [&](const std::string& message) {
    flush();
    Fatal(message);
  };

  for (;;) {
    if (listing.size() >= kListingBatch) flush();
    const bool complete = reader.NextRecordView(example);
    if (reader.OverlongLine() != 0) {
      stop(OverlongLineMessage(reader.OverlongLine()));
    }
    if (listed) {
      AppendReaderListing(example, listing);
      if (complete)
        AppendAnnotationListing(example, listing);
      else
        listing += "Couldn't produce a training example.\n";
      listingEnds.push_back(listing.size());
    }
    if (!complete) break;

    const CStructureReading tree = trees.MeasureDepth(example.CStructure);
    if (!tree.Ok) stop(FormatErrorMessage(tree.FailedText));
    const bool appended = Out.AppendWritten(
        AnnotatedRecordSize(example, tree.Depth),
        [&](char* to) { WriteAnnotatedRecord(example, tree.Depth, to); });
    if (!appended) failedWrite();
  }
  flush();
  if (!Out.Close()) Fatal("Couldn't write outfile.\n");
  return 0;
}
