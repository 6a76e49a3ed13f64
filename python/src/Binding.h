#ifndef ANNOTATOR_PYTHON_BINDING_H_
#define ANNOTATOR_PYTHON_BINDING_H_

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "ParseParser.h"
#include "Status.h"
#include "TrainingExampleReader.h"

namespace annotator_python {

namespace py = pybind11;

// Sets the Python exception for a failed `status` and throws to pybind11:
// FormatError for the format family, AlignmentError for the alignment one.
// The one place where the library's failures become Python errors.
[[noreturn]] void Raise(const Status& status);

// Raises the OSError subclass (FileNotFoundError, IsADirectoryError,
// PermissionError, ...) that `error` (an errno value) names for `path`.
[[noreturn]] void RaiseOSError(int error, const std::string& path);

// Bytes from the files as Python text: UTF-8, with any other byte kept as a
// lone surrogate so that encoding the text back gives the bytes again.
py::str Text(std::string_view bytes);
// A Python text as the bytes it came from (the inverse of Text).
std::string Bytes(const py::handle& text);

// A Tree object: a view of `node`, which keeps `owner`, the parser that
// holds the node's tree, alive. Views copy nothing of the tree.
py::object MakeTree(const std::shared_ptr<ParseParser>& owner,
                    CTree::TreeNode* node);

// Opens `path` as a training file, as the programs do, but returns the
// errno value a Python user expects instead of the programs' one message (0
// when it opened). Called without the interpreter's lock, since opening a
// FIFO waits for its writer.
int OpenInput(std::ifstream& in, const std::string& path);
// True when both paths exist and name one file.
bool SameFile(const std::string& first, const std::string& second);
// Writes all of `bytes`; false with errno set when a write fails.
bool WriteAll(int fd, std::string_view bytes);

// An Example made from a sentence (make_example): its fields `record`'s
// lines; str() gives the record with "SentenceIndex: " and its number.
py::object NewMadeExample(const ExampleRecordView& record);

void RegisterErrors(py::module_& module);
void RegisterTree(py::module_& module);
void RegisterReading(py::module_& module);
void RegisterMaking(py::module_& module);

}  // namespace annotator_python

#endif  // ANNOTATOR_PYTHON_BINDING_H_
