#ifndef ANNOTATOR_PYTHON_EXAMPLES_H_
#define ANNOTATOR_PYTHON_EXAMPLES_H_

#include <cstddef>
#include <memory>
#include <utility>

#include "Binding.h"
#include "ParseParser.h"
#include "Status.h"
#include "TrainingExampleReader.h"

namespace annotator_python {

// `status` placed in `record`: its number, and the line of the field
// `offset` lines below the header.
inline Status PlacedIn(const ExampleRecordView& record, Status status,
                       std::size_t offset) {
  status.Record = record.Number;
  status.Line = record.HeaderLine == 0 ? 0 : record.HeaderLine + offset;
  return status;
}

// One training example of a file: its fields as read (with its number and
// header line), and the tree, which is built on first use and then kept.
struct Example {
  static constexpr const char* kOrigin =
      "Examples come from annotator.read and annotator.make_example";

  ExampleRecord Record;
  std::shared_ptr<ParseParser> Parsed;
  // Made by make_example: str() gives make_examples' record, whose header
  // holds the number.
  bool Numbered = false;

  Status At(Status status, std::size_t offset) const {
    return PlacedIn(Record.View(), std::move(status), offset);
  }
};

// The lines of a record's fields below its header.
constexpr std::size_t kAlignmentOffset = 3;
constexpr std::size_t kCStructureOffset = 6;

// Registers Example, what a record of a file offers (its fields, tree,
// score and patterns), and Pattern, what extraction makes of it.
void RegisterExampleTypes(py::module_& module);

}  // namespace annotator_python

namespace pybind11::detail {
template <>
class type_caster<annotator_python::Example>
    : public annotator_python::MadeObjectCaster<annotator_python::Example> {};
}  // namespace pybind11::detail

#endif  // ANNOTATOR_PYTHON_EXAMPLES_H_
