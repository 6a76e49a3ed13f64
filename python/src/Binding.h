#ifndef ANNOTATOR_PYTHON_BINDING_H_
#define ANNOTATOR_PYTHON_BINDING_H_

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <typeinfo>

#include "ParseParser.h"
#include "Status.h"
#include "TrainingExampleReader.h"

namespace annotator_python {

namespace py = pybind11;

// The interpreter's lock let go for a scope, as py::gil_scoped_release
// lets it go. Once the interpreter has begun to end, Python ends a thread
// that takes the lock back with pthread_exit, an unwinding that aborts the
// process where it leaves a destructor that may not throw, as pybind11's
// may not, and that would run its callers' destructors without the lock:
// a daemon thread still reading when a script ended took the process down
// with it. A thread that the interpreter's end meets here waits for the
// process to end instead, as Python makes it from 3.14 on.
class LockReleased {
 public:
  LockReleased() : state_(PyEval_SaveThread()) {}
  ~LockReleased();
  LockReleased(const LockReleased&) = delete;
  LockReleased& operator=(const LockReleased&) = delete;

 private:
  PyThreadState* state_;
};

// The lock taken back for a scope within a LockReleased one, a thread the
// interpreter's end meets waiting as there.
class LockTaken {
 public:
  LockTaken();
  ~LockTaken();
  LockTaken(const LockTaken&) = delete;
  LockTaken& operator=(const LockTaken&) = delete;

 private:
  PyGILState_STATE state_;
};

// file.read(size) under a LockTaken: the read may let go of the lock
// while it waits, and a thread the interpreter's end meets there waits
// as LockReleased's do. A new reference, or null with the error set.
PyObject* ReadFileObject(PyObject* file, std::size_t size);

// Sets the Python exception for a failed `status` and throws to pybind11:
// FormatError for the format family, AlignmentError for the alignment one.
// The one place where the library's failures become Python errors.
[[noreturn]] void Raise(const Status& status);

// Raises the OSError subclass (FileNotFoundError, IsADirectoryError,
// PermissionError, ...) that `error` (an errno value) names for `path`.
[[noreturn]] void RaiseOSError(int error, const std::string& path);
// Raises OSError for input that was read but cannot be taken, as "REASON:
// 'PATH'": compressed in a way that is not read, or gzip data damaged or
// cut short.
[[noreturn]] void RaiseInputProblem(const char* reason,
                                    const std::string& path);

// Bytes from the files as Python text: UTF-8, with any other byte kept as a
// lone surrogate so that encoding the text back gives the bytes again.
py::str Text(std::string_view bytes);
// A Python text as the bytes it came from (the inverse of Text).
std::string Bytes(const py::handle& text);

// `value` as a count that --max-words and --min-count take: an int from 1
// to the largest size_t, or None (0) where `orNone`. Anything else raises,
// naming `name`: TypeError for what is no int (True is one to Python, but
// no count), ValueError for an int out of that range.
std::size_t CountFromOne(const py::handle& value, const char* name,
                         bool orNone);

// A Tree object: a view of `node`, which keeps `owner`, the parser that
// holds the node's tree, alive. Views copy nothing of the tree.
py::object MakeTree(const std::shared_ptr<ParseParser>& owner,
                    CTree::TreeNode* node);

// Raises TypeError when `object` is an instance of the bound class `type`
// that __new__ made alone, so that it holds no C++ object: unpickling makes
// one so before __setstate__ fills it, and pybind11 would hand a method of
// such an object memory that no constructor ran on. `origin` says where the
// class's objects come from.
void RefuseUnmade(const py::handle& object, const std::type_info& type,
                  const char* origin);

// Gives the bound class `type` a __reduce_ex__ that pickles as protocol 2
// does under protocols 0 and 1 too, which would otherwise call pybind11's
// base class and abort the process.
void PickleAsProtocolTwo(const py::handle& type);

// The caster of a bound class T whose methods are refused on an object
// that holds nothing (RefuseUnmade); T::kOrigin says where its objects come
// from. Declared as the class's type_caster in every file that binds or
// passes T, before its first use there.
template <class T>
class MadeObjectCaster : public py::detail::type_caster_base<T> {
 public:
  // NOLINTNEXTLINE(readability-identifier-naming): pybind11 calls it so.
  bool load(py::handle object, bool convert) {
    RefuseUnmade(object, typeid(T), T::kOrigin);
    return py::detail::type_caster_base<T>::load(object, convert);
  }
};

// True when both paths exist and name one file.
bool SameFile(const std::string& first, const std::string& second);

// Creates or empties `path` for writing records and returns its descriptor,
// or -1 with errno set. Called without the interpreter's lock: the open may
// wait (a FIFO).
int OpenOutputFile(const std::string& path);
// OpenOutputFile with the lock held, which it lets go of while it waits.
// Raises OSError naming the path.
int OpenOutput(const std::string& path);

// An output file that only ever ends in whole records: Pending goes out in
// one run of writes, and a write that fails partway is cut back to the last
// whole record, so a reader never meets half a record. Error keeps the errno
// of the first failure; a write waiting on a pipe whose reader stalls wakes
// for signals, and one whose handler raised fails so, keeping the exception
// in Interruption. Used without the interpreter's lock.
struct WholeRecordFile {
  // Records go out in pieces of about this size.
  static constexpr std::size_t kFlushBytes = 1 << 20;

  explicit WholeRecordFile(int fd) : Fd(fd) {}
  // Writes Pending; false (and nothing more is written) once a write failed.
  bool Flush();
  // Flushes and closes the descriptor, if there is one.
  void Close();
  // Raises what ended the writing, if anything did; with the lock held.
  void RaiseIfFailed(const std::string& path);

  int Fd;
  int Error = 0;
  std::optional<py::error_already_set> Interruption;
  std::size_t WholeUpTo = 0;
  std::string Pending;
};

// Closes `file` where its scope ends, however it ends: the records made
// before a std::bad_alloc go out whole, as the programs write them, and no
// descriptor outlives the call that raised MemoryError. Declared within
// the scope that let go of the interpreter's lock, as writes may wait.
class ClosedAtEnd {
 public:
  explicit ClosedAtEnd(WholeRecordFile& file) : file_(file) {}
  ~ClosedAtEnd() { file_.Close(); }
  ClosedAtEnd(const ClosedAtEnd&) = delete;
  ClosedAtEnd& operator=(const ClosedAtEnd&) = delete;

 private:
  WholeRecordFile& file_;
};

// An Example made from a sentence (make_example): its fields `record`'s
// lines; str() gives the record with "SentenceIndex: " and its number.
py::object NewMadeExample(const ExampleRecordView& record);

void RegisterErrors(py::module_& module);
void RegisterTree(py::module_& module);
void RegisterReading(py::module_& module);
void RegisterMaking(py::module_& module);
void RegisterScoring(py::module_& module);

}  // namespace annotator_python

#endif  // ANNOTATOR_PYTHON_BINDING_H_
