// The module's reading: the iterator over a file's examples, annotate()
// and the record files it writes. What an example offers is Examples.cpp.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "AnnotatedRecord.h"
#include "Binding.h"
#include "Examples.h"
#include "InputSource.h"
#include "ParseParser.h"
#include "Status.h"
#include "TrainingExampleReader.h"
#include "text/NumberText.h"

namespace annotator_python {

namespace {

// An iterator over the examples of one source. It ends, letting go of a
// file it opened, at the source's end, at a failure and on close().
class Reader {
 public:
  static constexpr const char* kOrigin = "Readers come from annotator.read";

  explicit Reader(const py::handle& source)
      : source_(std::make_unique<InputSource>(source)),
        reader_(std::make_unique<TrainingExampleReader>(source_->Stream(),
                                                        listing_)) {}

  std::shared_ptr<Example> Next() {
    if (!reader_) throw py::stop_iteration();
    // The lock is let go while reading, so a second thread could come in
    // here with the same iterator.
    RefuseWhileBusy();
    auto example = std::make_shared<Example>();
    bool complete = false;
    std::exception_ptr thrown;
    busy_ = true;
    {
      LockReleased released;
      try {
        complete = reader_->NextRecord(example->Record);
      } catch (...) {
        thrown = std::current_exception();
      }
    }
    busy_ = false;
    // A record read up to a failure is not a record: the failure is raised
    // in its place.
    if (thrown || source_->Failed() || !complete) {
      const Status status = thrown ? Status() : reader_->ReadStatus();
      Close();
      source_->RaiseIfFailed();
      if (thrown) std::rethrow_exception(thrown);
      if (!status) Raise(status);
      throw py::stop_iteration();
    }
    return example;
  }

  void Close() {
    RefuseWhileBusy();
    reader_.reset();
    source_->Close();
  }

  // What the collector asks of an object in a reference cycle. No thread
  // reads an object that is garbage, so neither refuses a busy Reader.
  int Visit(visitproc visit, void* arg) const {
    return source_->Visit(visit, arg);
  }
  void Clear() {
    reader_.reset();
    source_->Close();
  }

 private:
  void RefuseWhileBusy() const {
    if (busy_) {
      throw py::value_error("this iterator is being read by another thread");
    }
  }

  std::unique_ptr<InputSource> source_;
  std::ostream listing_{nullptr};
  std::unique_ptr<TrainingExampleReader> reader_;
  bool busy_ = false;  // read and written with the interpreter's lock held
};

}  // namespace
}  // namespace annotator_python

namespace pybind11::detail {
template <>
class type_caster<annotator_python::Reader>
    : public annotator_python::MadeObjectCaster<annotator_python::Reader> {};
}  // namespace pybind11::detail

namespace annotator_python {

namespace {

// The Reader an object holds; null for one whose constructor has not run
// (or ran and failed), whose value is no Reader yet. A Reader is the one
// C++ type in its object, so its layout is the simple one.
Reader* HeldReader(PyObject* self) {
  auto* object = reinterpret_cast<py::detail::instance*>(self);
  if (!object->simple_layout || !object->simple_holder_constructed) {
    return nullptr;
  }
  return static_cast<Reader*>(object->simple_value_holder[0]);
}

// A Reader holds a caller's file object, which may hold the Reader in turn
// (an attribute, a generator's frame): the collector has to see through
// the Reader to free such a cycle and the file in it.
void CollectReaders(PyHeapTypeObject* heapType) {
  PyTypeObject* type = &heapType->ht_type;
  type->tp_flags |= Py_TPFLAGS_HAVE_GC;
  type->tp_traverse = [](PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    const Reader* reader = HeldReader(self);
    return reader ? reader->Visit(visit, arg) : 0;
  };
  type->tp_clear = [](PyObject* self) {
    if (Reader* reader = HeldReader(self)) reader->Clear();
    return 0;
  };
  // Out of the collector's sight before the Reader goes: its destructor
  // lets go of Python objects, which may start a collection.
  type->tp_dealloc = [](PyObject* self) {
    PyObject_GC_UnTrack(self);
    py::detail::pybind11_object_dealloc(self);
  };
}

}  // namespace

bool SameFile(const std::string& first, const std::string& second) {
  struct stat a;
  struct stat b;
  return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

namespace {

// Writes all of `bytes`; false with errno set when a write fails, EINTR
// when a signal's handler raised, its exception then in `interruption`.
bool WriteAll(int fd, std::string_view bytes,
              std::optional<py::error_already_set>& interruption) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno != EINTR) return false;
    if (written > 0) bytes.remove_prefix(static_cast<std::size_t>(written));
    // A write to a pipe whose reader stalls waits until a signal ends it,
    // with what went before the signal or with EINTR: Ctrl-C has to end
    // the call, as it ends a read.
    if (!bytes.empty()) {
      LockTaken locked;
      if (PyErr_CheckSignals() != 0) {
        interruption.emplace();
        errno = EINTR;
        return false;
      }
    }
  }
  return true;
}

}  // namespace

int OpenOutputFile(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

int OpenOutput(const std::string& path) {
  int fd = -1;
  int error = 0;
  {
    LockReleased released;
    fd = OpenOutputFile(path);
    if (fd < 0) error = errno;
  }
  if (fd < 0) RaiseOSError(error, path);
  return fd;
}

bool WholeRecordFile::Flush() {
  if (Error != 0) return false;
  if (WriteAll(Fd, Pending, Interruption)) {
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

void WholeRecordFile::Close() {
  if (Fd < 0) return;
  Flush();
  if (::close(Fd) != 0 && Error == 0) Error = errno;
  Fd = -1;
}

void WholeRecordFile::RaiseIfFailed(const std::string& path) {
  if (Interruption) {
    py::error_already_set error = std::move(*Interruption);
    Interruption.reset();
    throw std::move(error);
  }
  if (Error != 0) RaiseOSError(Error, path);
}

namespace {

std::size_t Annotate(const py::handle& inSource, const py::handle& outName) {
  const std::string outPath = PathBytes(outName);
  InputSource source(inSource);
  if (source.IsFile(outPath)) {
    throw py::value_error("InFile and OutFile name the same file.");
  }
  WholeRecordFile out(OpenOutput(outPath));
  std::size_t records = 0;
  Status status;
  {
    LockReleased released;
    const ClosedAtEnd closed(out);
    std::ostream unused(nullptr);
    TrainingExampleReader reader(source.Stream(), unused);
    CStructureReader trees;
    // Views into the reader's buffer, as the program reads: no copy of a
    // record's lines before they go out.
    ExampleRecordView example;
    while (reader.NextRecordView(example)) {
      // A failed or interrupted read ends the stream where it stood, maybe
      // within this record's last field.
      if (source.Failed()) break;
      const CStructureReading tree = trees.MeasureDepth(example.CStructure);
      if (!tree.Ok) {
        status = PlacedIn(example, tree.ToStatus(), kCStructureOffset);
        break;
      }
      AppendAnnotatedRecord(example, tree.Depth, out.Pending);
      ++records;
      if (out.Pending.size() >= WholeRecordFile::kFlushBytes && !out.Flush())
        break;
    }
    if (status) status = reader.ReadStatus();
  }
  out.RaiseIfFailed(outPath);
  // The records before a failed or interrupted read are written whole.
  source.RaiseIfFailed();
  if (!status) Raise(status);
  return records;
}

}  // namespace

py::object NewMadeExample(const ExampleRecordView& record) {
  auto example = std::make_shared<Example>();
  for (auto [field, view] : {std::pair{&ExampleRecord::SL, record.SL},
                             {&ExampleRecord::TL, record.TL},
                             {&ExampleRecord::Alignment, record.Alignment},
                             {&ExampleRecord::Type, record.Type},
                             {&ExampleRecord::CStructure, record.CStructure},
                             {&ExampleRecord::ConstSeq, record.ConstSeq}}) {
    (example->Record.*field).assign(view);
  }
  example->Record.FieldCount = record.FieldCount;
  example->Record.Number = record.Number;
  example->Record.Header = "SentenceIndex: " + Decimal(record.Number);
  example->Numbered = true;
  return py::cast(example);
}

void RegisterReading(py::module_& module) {
  // The types are named before the reader's and _annotate's signatures
  // mention them.
  RegisterExampleTypes(module);
  py::class_<Reader> readers(module, "_Reader",
                             py::custom_type_setup(CollectReaders));
  PickleAsProtocolTwo(readers);
  readers.def(py::init<const py::handle&>())
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &Reader::Next)
      .def("close", &Reader::Close)
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](Reader& reader, const py::args&) { reader.Close(); });

  module.def("_annotate", &Annotate);
}

}  // namespace annotator_python
