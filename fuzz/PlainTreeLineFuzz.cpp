// Reads arbitrary bytes as one line of a parser's trees both ways, through
// the stream reader (which takes a plainly written line by its quick path)
// and by the full rules alone, and stops when a tree the stream reader
// makes is not the one the full rules make.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "converter/ExampleMaker.h"
#include "text/LineReader.h"

namespace {

// The record made of the tree `reader` holds, or its problem.
std::string Outcome(BracketedTreeReader& reader) {
  ExampleRecordView record;
  int depth = 0;
  const Status status = reader.MakeRecord("x", "", 1, record, depth);
  if (!status) return "problem: " + status.Message();
  return std::string(record.SL) + "\n" + std::string(record.Type) + "\n" +
         std::string(record.CStructure) + "\n" + std::string(record.ConstSeq) +
         "\n" + std::to_string(depth);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  // A line as a line reader hands it out.
  if (line.find('\n') != std::string::npos) return 0;
  while (!line.empty() && line.back() == '\r') line.pop_back();
  std::istringstream in(line + "\n");
  LineReader lines(in);
  BracketedTreeReader stream;
  if (!stream.Next(lines) || !stream.Problem().empty()) return 0;
  const std::string streamed = Outcome(stream);
  if (streamed.rfind("problem: ", 0) == 0) return 0;
  // A line of several trees is not one tree to the full rules.
  if (stream.Next(lines)) return 0;
  BracketedTreeReader full;
  full.ReadText(line);
  if (Outcome(full) != streamed) std::abort();
  return 0;
}
