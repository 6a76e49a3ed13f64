// annotator InFile OutFile: writes every training example of InFile to
// OutFile with its co-embedding score, listing each on standard output.
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <string>

#include "AnnotatedRecord.h"
#include "Fatal.h"
#include "FileChecks.h"
#include "Messages.h"
#include "ParseParser.h"
#include "ProgramFiles.h"
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

  if (argc != 3) Fatal(messages::AnnotatorUsage(argc > 0 ? argv[0] : nullptr));
  std::ifstream in;
  OpenProgramFiles(argv[1], argv[2], in, Out);

  // A listing nobody can see is not built at all. Nor is one that would go
  // to OutFile itself (`annotator in out > out`): it would write over the
  // records.
  bool listed = (reopened & (1U << STDOUT_FILENO)) == 0 &&
                !WritesToDevNull(STDOUT_FILENO) &&
                !DescriptorNamesFile(STDOUT_FILENO, argv[2]);
  std::ostream unused(nullptr);
  TrainingExampleReader reader(in, unused);
  CStructureReader trees;
  ExampleRecord example;
  std::string listing;
  for (;;) {
    const bool complete = reader.NextRecord(example);
    if (reader.OverlongLine() != 0) {
      Fatal(messages::OverlongLineMessage(reader.OverlongLine()));
    }
    listing.clear();
    if (listed) {
      AppendReaderListing(example, listing);
      if (complete)
        AppendAnnotationListing(example, listing);
      else
        listing += messages::kNoTrainingExample;
      // One record's listing in one write; once standard output fails,
      // nothing later can reach it either.
      listed = WriteWhole(STDOUT_FILENO, listing);
    }
    if (!complete) break;

    const CStructureReading tree = trees.MeasureDepth(example.CStructure);
    if (!tree.Ok) Fatal(messages::FormatErrorMessage(tree.FailedText));
    // Out's bound is 0: every record goes to the kernel in a write of its
    // own as soon as it is whole.
    AppendAnnotatedRecord(example, tree.Depth, Out.Buffer());
    if (!Out.EndUnit()) Fatal(messages::kCannotWriteOutFile);
  }
  if (!Out.Close()) Fatal(messages::kCannotWriteOutFile);
  return 0;
}
