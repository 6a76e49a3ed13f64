// make_example and make_examples: the converter of a parser's trees and an
// aligner's links into records, as the make_examples program runs it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "AnnotatedRecord.h"
#include "Binding.h"
#include "ExampleMaker.h"
#include "Status.h"

namespace annotator_python {

namespace {

// make_examples writes in pieces of whole records of about this size.
constexpr std::size_t kOutputChunk = 1 << 20;

// A file that ends in whole records: what goes out is a run of them, and a
// write that fails partway is cut back.
struct WholeRecordFile {
  explicit WholeRecordFile(int fd) : Fd(fd) {}
  bool Flush() {
    if (Error != 0) return false;
    if (WriteAll(Fd, Pending)) {
      WholeUpTo += Pending.size();
      Pending.clear();
      return true;
    }
    Error = errno;
    if (::ftruncate(Fd, static_cast<off_t>(WholeUpTo)) != 0) {
      // Not a regular file: nothing to cut back.
    }
    return false;
  }
  void Close() {
    Flush();
    if (::close(Fd) != 0 && Error == 0) Error = errno;
  }

  int Fd;
  int Error = 0;
  std::size_t WholeUpTo = 0;
  std::string Pending;
};

// A bracketed text as it stands, or an annotator.Tree written as a parser
// would write it: labels and words, no positions.
std::string TreeText(const py::handle& tree) {
  if (PyUnicode_Check(tree.ptr())) return Bytes(tree);
  std::string text;
  std::vector<long long> open;
  long long place = 0;
  for (const py::handle row : tree.attr("_flat")()) {
    const auto parent = row[py::int_(2)].cast<long long>();
    while (!open.empty() && open.back() != parent) {
      open.pop_back();
      text += ')';
    }
    text += " (" + Bytes(row[py::int_(0)]);
    const py::object word = row[py::int_(1)];
    if (word.is_none()) {
      open.push_back(place);
    } else {
      text += " " + Bytes(word) + ")";
    }
    ++place;
  }
  return text.append(open.size(), ')');
}

// The "i-j" text, or a list of 0-based (i, j) pairs written as one.
std::string LinksText(const py::handle& alignment) {
  if (PyUnicode_Check(alignment.ptr())) return Bytes(alignment);
  std::string text;
  for (const py::handle pair : alignment) {
    const auto link = pair.cast<std::pair<long long, long long>>();
    // A negative position reads as the malformed link it is.
    text +=
        std::to_string(link.first) + "-" + std::to_string(link.second) + " ";
  }
  return text;
}

py::object MakeExample(const py::handle& tree, const py::handle& tl,
                       const py::handle& alignment, std::size_t number) {
  const std::string treeText = TreeText(tree);
  const std::string tlText = Bytes(tl);
  const std::string links = LinksText(alignment);
  BracketedTreeReader reader;
  ExampleRecordView record;
  int depth = 0;
  Status status;
  {
    py::gil_scoped_release released;
    reader.ReadText(treeText);
    status = reader.MakeRecord(tlText, links, number, record, depth);
  }
  if (!status) Raise(status);
  return NewMadeExample(record);
}

std::size_t MakeExamples(const py::bytes& treesBytes, const py::bytes& tlBytes,
                         const py::bytes& alignmentBytes,
                         const py::bytes& outBytes) {
  const std::string paths[] = {treesBytes, tlBytes, alignmentBytes};
  const std::string outPath = outBytes;
  for (const std::string& path : paths) {
    if (SameFile(path, outPath)) {
      throw py::value_error("InFile and OutFile name the same file.");
    }
  }
  std::ifstream inputs[3];
  int fd = -1;
  int error = 0;
  std::string failedPath = outPath;
  {
    py::gil_scoped_release released;
    for (std::size_t i = 0; i < 3 && error == 0; ++i) {
      error = OpenInput(inputs[i], paths[i]);
      if (error != 0) failedPath = paths[i];
    }
    if (error == 0) {
      fd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                  0666);
      if (fd < 0) error = errno;
    }
  }
  if (error != 0) RaiseOSError(error, failedPath);

  ExampleMaker maker(inputs[0], inputs[1], inputs[2], paths[0], paths[1],
                     paths[2]);
  WholeRecordFile out(fd);
  ExampleRecordView record;
  int depth = 0;
  std::size_t records = 0;
  Status first;
  {
    py::gil_scoped_release released;
    for (bool going = true; going;) {
      switch (maker.Next(record, depth)) {
        case ExampleMaker::Step::kRecord:
          AppendAnnotatedRecord(
              record, depth, "SentenceIndex: " + std::to_string(record.Number),
              out.Pending);
          ++records;
          going = out.Pending.size() < kOutputChunk || out.Flush();
          break;
        case ExampleMaker::Step::kSkipped:
          if (first) first = maker.Problem();
          break;
        case ExampleMaker::Step::kStopped:
          first = maker.Problem();
          going = false;
          break;
        case ExampleMaker::Step::kEnd:
          going = false;
          break;
      }
    }
    out.Close();
  }
  if (out.Error != 0) RaiseOSError(out.Error, outPath);
  if (!first) Raise(first);
  return records;
}

}  // namespace

void RegisterMaking(py::module_& module) {
  module.def("make_example", &MakeExample, py::arg("tree"), py::arg("tl"),
             py::arg("alignment"), py::arg("number") = 1);
  module.def("_make_examples", &MakeExamples);
}

}  // namespace annotator_python
