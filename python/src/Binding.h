#ifndef ANNOTATOR_PYTHON_BINDING_H_
#define ANNOTATOR_PYTHON_BINDING_H_

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "ParseParser.h"

namespace annotator_python {

namespace py = pybind11;

// Why a call failed, in one shape for every part of the binding; raised as
// a Python exception by Raise alone.
struct Failure {
  enum class Kind { kFormat, kOverlongLine, kAlignment, kSameFile };
  Kind What = Kind::kFormat;
  // The text that could not be read (kFormat).
  std::string Text;
  // The TL position that names no TL word (kAlignment).
  long long Position = 0;
  // The record (from 1) and its line in the file, 0 where unknown.
  std::size_t Record = 0;
  std::size_t Line = 0;
};

// Sets the Python exception for `failure` and throws to pybind11.
[[noreturn]] void Raise(const Failure& failure);

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

void RegisterErrors(py::module_& module);
void RegisterTree(py::module_& module);
void RegisterReading(py::module_& module);

}  // namespace annotator_python

#endif  // ANNOTATOR_PYTHON_BINDING_H_
