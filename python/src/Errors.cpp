#include <cerrno>
#include <cstring>
#include <string>
#include <typeinfo>

#include "Binding.h"
#include "Status.h"

namespace annotator_python {

namespace {

constexpr std::size_t kQuotedText = 200;

PyObject* FormatErrorType = nullptr;
PyObject* AlignmentErrorType = nullptr;

py::object OrNone(std::size_t value) {
  return value == 0 ? py::none() : py::object(py::int_(value));
}

PyObject* MakeType(py::module_& module, const char* name, const char* doc,
                   py::dict defaults) {
  const std::string qualified = std::string("annotator.") + name;
  PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc,
                                             PyExc_ValueError, defaults.ptr());
  if (!type) throw py::error_already_set();
  module.add_object(name, py::reinterpret_borrow<py::object>(type));
  return type;
}

}  // namespace

void Raise(const Status& status) {
  PyObject* type = status.Family() == StatusFamily::kAlignment
                       ? AlignmentErrorType
                       : FormatErrorType;
  // A message quotes the start of the text; the whole of it, which can be
  // a line of 100,000 bytes or a tree of any size, is in `text`.
  Status shown = status;
  if (shown.Text.size() > kQuotedText) {
    shown.Text.resize(kQuotedText);
    shown.Text += "...";
  }
  py::object error =
      py::reinterpret_borrow<py::object>(type)(Text(shown.Message()));
  error.attr("record") = OrNone(status.Record);
  if (type == FormatErrorType) {
    error.attr("line") = OrNone(status.Line);
    error.attr("text") = Text(status.Text);
  } else if (status.Code == StatusCode::kMalformedLink) {
    // A link that does not read, or is past the SL end, names no TL
    // position; one past the TL end names one from 1.
    error.attr("position") = OrNone(static_cast<std::size_t>(status.Position));
  } else {
    error.attr("position") = status.Position;
  }
  PyErr_SetObject(type, error.ptr());
  throw py::error_already_set();
}

void RaiseOSError(int error, const std::string& path) {
  py::object name =
      py::reinterpret_steal<py::object>(PyUnicode_DecodeFSDefaultAndSize(
          path.data(), static_cast<Py_ssize_t>(path.size())));
  errno = error;
  PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, name.ptr());
  throw py::error_already_set();
}

void RaiseInputProblem(const char* reason, const std::string& path) {
  py::object name =
      py::reinterpret_steal<py::object>(PyUnicode_DecodeFSDefaultAndSize(
          path.data(), static_cast<Py_ssize_t>(path.size())));
  // No errno names these, and an OSError given a filename would print one.
  const std::string message =
      std::string(reason) + ": " + std::string(py::repr(name));
  PyErr_SetString(PyExc_OSError, message.c_str());
  throw py::error_already_set();
}

void RefuseUnmade(const py::handle& object, const std::type_info& type,
                  const char* origin) {
  py::detail::type_info* bound = py::detail::get_type_info(type);
  if (!bound || !PyObject_TypeCheck(object.ptr(), bound->type)) return;
  auto* instance = reinterpret_cast<py::detail::instance*>(object.ptr());
  if (instance->get_value_and_holder(bound).holder_constructed()) return;
  const std::string name =
      py::str(py::type::handle_of(object).attr("__name__"));
  throw py::type_error("this " + name + " was made by " + name +
                       ".__new__ alone and holds nothing; " + origin);
}

void PickleAsProtocolTwo(const py::handle& type) {
  // Protocols 0 and 1 rebuild an object by calling the first base of its
  // class that Python did not make, here pybind11's own, whose
  // construction throws through C when no class of ours is under it. The
  // reduction of protocol 2 (the class's __new__, then __setstate__) reads
  // back under any protocol, and refuses what cannot be pickled.
  py::setattr(type, "__reduce_ex__",
              py::cpp_function(
                  [](const py::handle& self, int protocol) {
                    const py::handle object(
                        reinterpret_cast<PyObject*>(&PyBaseObject_Type));
                    return object.attr("__reduce_ex__")(
                        self, protocol < 2 ? 2 : protocol);
                  },
                  py::name("__reduce_ex__"), py::is_method(type)));
}

py::str Text(std::string_view bytes) {
  PyObject* text = PyUnicode_DecodeUTF8(
      bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "surrogateescape");
  if (!text) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(text);
}

std::string Bytes(const py::handle& text) {
  if (!PyUnicode_Check(text.ptr())) {
    throw py::type_error("expected str, not " +
                         std::string(Py_TYPE(text.ptr())->tp_name));
  }
  py::object bytes = py::reinterpret_steal<py::object>(
      PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogateescape"));
  if (!bytes) throw py::error_already_set();
  return std::string(PyBytes_AS_STRING(bytes.ptr()),
                     static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.ptr())));
}

std::size_t CountFromOne(const py::handle& value, const char* name,
                         bool orNone) {
  if (orNone && value.is_none()) return 0;
  const std::string must =
      std::string(name) + (orNone ? " must be None or " : " must be ");
  // pybind11's own cast would truncate a Decimal or take True as 1.
  if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr())) {
    throw py::type_error(must + "an int, not " + Py_TYPE(value.ptr())->tp_name);
  }
  const auto whole =
      py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
  if (!whole) throw py::error_already_set();
  if (whole < py::int_(1)) throw py::value_error(must + "at least 1");
  const std::size_t count = PyLong_AsSize_t(whole.ptr());
  if (PyErr_Occurred()) {
    PyErr_Clear();
    throw py::value_error(must + "at most " +
                          std::to_string(static_cast<std::size_t>(-1)));
  }
  return count;
}

void RegisterErrors(py::module_& module) {
  py::dict formatDefaults;
  formatDefaults["record"] = py::none();
  formatDefaults["line"] = py::none();
  formatDefaults["text"] = py::str("");
  FormatErrorType = MakeType(
      module, "FormatError",
      "A C-structure that does not read as a tree, or a line longer than "
      "99,999 bytes.\n\nAttributes: record (the record's number from 1, or "
      "None), line (the line number in the file from 1, or None) and text "
      "(the part of the C-structure that could not be read; empty for an "
      "over-long line). str() of it is the message extract_patterns "
      "gives.",
      formatDefaults);
  py::dict alignmentDefaults;
  alignmentDefaults["record"] = py::none();
  alignmentDefaults["position"] = py::none();
  AlignmentErrorType = MakeType(
      module, "AlignmentError",
      "An alignment that links a TL position the TL sentence does not "
      "have, or (from make_example) a link that does not read or is past "
      "the SL sentence's end.\n\nAttributes: position (that TL position, "
      "from 1; None for a link that names none) and record (the record's or "
      "sentence's number from 1, or None).",
      alignmentDefaults);
}

}  // namespace annotator_python
