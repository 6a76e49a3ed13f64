// annotator InFile OutFile: writes every training example of InFile to
// OutFile with its co-embedding score, listing each on standard output.
#include <csignal>
#include <fstream>
#include <iostream>
#include <string>

#include "AnnotatedRecord.h"
#include "Fatal.h"
#include "FileChecks.h"
#include "ParseParser.h"
#include "TrainingExampleReader.h"

std::ofstream Out;

int main(int argc, char** argv) {
  // The listing is only a listing: a closed standard output or a reader that
  // went away must cost neither the output file nor the exit status.
  ReserveStandardDescriptors();
  std::signal(SIGPIPE, SIG_IGN);

  if (argc != 3) {
    Fatal(std::string("Usage: ") + (argc > 0 && argv[0] ? argv[0] : "") +
          " InFile OutFile.\n");
  }
  const char* inFile = argv[1];
  if (NameSameFile(inFile, argv[2])) {
    Fatal("InFile and OutFile name the same file.\n");
  }
  Out.open(argv[2], std::ios::out | std::ios::trunc);
  if (!Out.is_open()) Fatal("Couldn't open outfile.\n");

  CStructureReader reader;
  for (;;) {
    const ExampleFieldMap example = GetNextSentencePair(inFile);
    if (example.size() != 6) {
      std::cout << "Couldn't produce a training example.\n" << std::flush;
      break;
    }
    PrintExampleListing(example, std::cout);
    const CStructureReading tree =
        reader.MeasureDepth(example.at("C-Structure"));
    if (!tree.Ok) Fatal(FormatErrorMessage(tree.FailedText));
    if (!WriteAnnotatedRecord(example, tree.Depth, Out)) {
      Fatal("Couldn't write outfile.\n");
    }
  }
  Out.close();
  if (Out.fail()) Fatal("Couldn't write outfile.\n");
  return 0;
}
