// annotator InFile OutFile: writes every training example of InFile to
// OutFile with its co-embedding score, listing each on standard output.
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <string>

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
  std::string record;
  for (;;) {
    const bool complete = reader.NextRecord(example);
    if (reader.OverlongLine() != 0) {
      Fatal(OverlongLineMessage(reader.OverlongLine()));
    }
    listing.clear();
    if (listed) {
      AppendReaderListing(example, listing);
      if (complete)
        AppendAnnotationListing(example, listing);
      else
        listing += "Couldn't produce a training example.\n";
      // One record's listing in one write; once standard output fails,
      // nothing later can reach it either.
      listed = WriteWhole(STDOUT_FILENO, listing);
    }
    if (!complete) break;

    const CStructureReading tree = trees.MeasureDepth(example.CStructure);
    if (!tree.Ok) Fatal(FormatErrorMessage(tree.FailedText));
    record.clear();
    AppendAnnotatedRecord(example, tree.Depth, record);
    if (!Out.Write(record)) Fatal("Couldn't write outfile.\n");
  }
  if (!Out.Close()) Fatal("Couldn't write outfile.\n");
  return 0;
}
