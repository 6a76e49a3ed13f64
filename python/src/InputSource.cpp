#include "InputSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

namespace annotator_python {

namespace {

// How long a wait on a pipe or terminal goes without a look at the
// interpreter's signal flags: KeyboardInterrupt comes within this of Ctrl-C
// even when the signal went to another thread than the waiting one.
constexpr int kWakeMilliseconds = 100;
// How many bytes of a regular file are read between two looks at the
// signal flags, whose reads no signal cuts short: at the slowest reader's
// pace (make_examples, about 20 MB/s) a look every 50 ms or so, and a
// thousandth of a percent of the time it takes to read them.
constexpr std::size_t kCheckBytes = 1 << 20;
// What one read() of a file object asks for.
constexpr std::size_t kFileReadSize = 64 << 10;

// Opens `path` for reading without waiting: a FIFO opened so has no writer
// yet, and the wait for one is the first poll(), which wakes for signals.
// Returns 0 or the errno value.
int OpenPath(const std::string& path, int& fd, bool& polled) {
  mode_t mode = 0;
  fd = OpenInputFile(path.c_str(), O_NONBLOCK, mode);
  if (fd < 0) return errno;
  // A regular file's reads never wait for a writer, so it is read plainly.
  polled = !S_ISREG(mode);
  if (!polled) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return 0;
}

}  // namespace

std::string PathBytes(const py::handle& path) {
  PyObject* converted = nullptr;
  if (!PyUnicode_FSConverter(path.ptr(), &converted)) {
    throw py::error_already_set();
  }
  py::bytes bytes = py::reinterpret_steal<py::bytes>(converted);
  return bytes;
}

// A path's descriptor, read as the programs read theirs (gzip data
// decompressed), with a look at the interpreter's signal flags at every
// wake of a wait, after every read a signal cut short and every
// kCheckBytes of a regular file.
class InputSource::PathBuffer : public DescriptorBuffer {
 public:
  std::optional<py::error_already_set>& Pending() { return pending_; }

 protected:
  // Runs the handlers of signals that came in; false when one raised.
  bool Interrupted() override {
    LockTaken locked;
    if (PyErr_CheckSignals() == 0) return true;
    pending_.emplace();
    return false;
  }

 private:
  std::optional<py::error_already_set> pending_;
};

// A Python file object the caller opened, read through its read() method.
class InputSource::FileBuffer : public std::streambuf {
 public:
  explicit FileBuffer(py::object file) : file_(std::move(file)) {}

  bool Failed() const { return pending_.has_value(); }
  std::optional<py::error_already_set>& Pending() { return pending_; }

  // The descriptor the file object reads, or -1 where it gives none: no
  // fileno(), or one that raises (io.BytesIO, a closed file).
  int Descriptor() const {
    try {
      return file_.attr("fileno")().cast<int>();
    } catch (py::error_already_set& error) {
      // KeyboardInterrupt and its like are not the object's answer.
      if (!error.matches(PyExc_Exception)) throw;
    } catch (const py::cast_error&) {
    }
    return -1;
  }

  void SkipByteOrderMark() { skipMark_ = true; }

  void Close() {
    file_ = py::object();
    done_ = true;
    setg(nullptr, nullptr, nullptr);
  }

  int Visit(visitproc visit, void* arg) const {
    Py_VISIT(file_.ptr());
    return 0;
  }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (done_) return traits_type::eof();
    const std::size_t got = skipMark_ ? FirstWithoutMark() : ReadFile();
    if (got == 0) {
      done_ = true;
      return traits_type::eof();
    }
    setg(chunk_.data(), chunk_.data(), chunk_.data() + got);
    return traits_type::to_int_type(*gptr());
  }

 private:
  // A text file gives str, which goes on as the bytes it was read from
  // where it was read with surrogateescape, and as UTF-8 otherwise.
  std::size_t ReadFile() {
    if (!file_) return 0;
    LockTaken locked;
    // The file object's read() is C code as often as not (open(), gzip),
    // which runs no signal handler: without a look here, Ctrl-C would wait
    // for the end of the input. A handler that raises ends the stream as a
    // failed read does.
    if (PyErr_CheckSignals() != 0) {
      pending_.emplace();
      return 0;
    }
    try {
      const auto got = py::reinterpret_steal<py::object>(
          ReadFileObject(file_.ptr(), kFileReadSize));
      if (!got) throw py::error_already_set();
      if (PyUnicode_Check(got.ptr())) {
        chunk_ = Bytes(got);
      } else {
        Py_buffer view;
        if (PyObject_GetBuffer(got.ptr(), &view, PyBUF_SIMPLE) != 0) {
          throw py::type_error(
              "read() of the file object should return bytes or str, not " +
              std::string(Py_TYPE(got.ptr())->tp_name));
        }
        chunk_.assign(static_cast<const char*>(view.buf),
                      static_cast<std::size_t>(view.len));
        PyBuffer_Release(&view);
      }
      return chunk_.size();
    } catch (py::error_already_set& error) {
      pending_.emplace(std::move(error));
    } catch (py::builtin_exception& error) {
      error.set_error();
      pending_.emplace();
    }
    return 0;
  }

  // The first chunk without a mark at its start: a read() may hand out
  // the mark in pieces, or nothing but it, which is no end of the input.
  std::size_t FirstWithoutMark() {
    skipMark_ = false;
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    std::string held;
    while (ReadFile() > 0) {
      held += chunk_;
      if (held.size() >= kMark.size() || kMark.compare(0, held.size(), held))
        break;
    }
    if (pending_) return 0;
    const bool marked = held.compare(0, kMark.size(), kMark) == 0;
    if (marked) held.erase(0, kMark.size());
    chunk_ = std::move(held);
    return chunk_.empty() && marked ? ReadFile() : chunk_.size();
  }

  py::object file_;
  std::string chunk_;
  bool done_ = false;
  bool skipMark_ = false;
  std::optional<py::error_already_set> pending_;
};

InputSource::InputSource(const py::handle& source) {
  const bool path = PyUnicode_Check(source.ptr()) ||
                    PyBytes_Check(source.ptr()) || !py::hasattr(source, "read");
  if (!path) {
    file_ = std::make_unique<FileBuffer>(
        py::reinterpret_borrow<py::object>(source));
    stream_.rdbuf(file_.get());
  } else {
    path_ = PathBytes(source);
    // Made before the open: a MemoryError after it would leave the
    // descriptor open with nothing to close it.
    descriptor_ = std::make_unique<PathBuffer>();
    int fd = -1;
    bool polled = false;
    int error = 0;
    {
      LockReleased released;
      error = OpenPath(path_, fd, polled);
    }
    if (error != 0) RaiseOSError(error, path_);
    descriptor_->Adopt(fd, polled, kWakeMilliseconds);
    if (!polled) descriptor_->CheckEvery(kCheckBytes);
    stream_.rdbuf(descriptor_.get());
  }
}

InputSource::~InputSource() = default;

bool InputSource::IsFile(const std::string& path) {
  if (!file_) return SameFile(path_, path);
  struct stat named;
  struct stat opened;
  if (::stat(path.c_str(), &named) != 0) return false;
  const int fd = file_->Descriptor();
  return fd >= 0 && ::fstat(fd, &opened) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

void InputSource::SkipByteOrderMark() {
  if (descriptor_) {
    descriptor_->SkipByteOrderMark();
  } else {
    file_->SkipByteOrderMark();
  }
}

bool InputSource::Failed() const {
  return descriptor_ ? descriptor_->Failed() : file_->Failed();
}

void InputSource::RaiseIfFailed() {
  std::optional<py::error_already_set>& pending =
      descriptor_ ? descriptor_->Pending() : file_->Pending();
  if (pending) {
    py::error_already_set error = std::move(*pending);
    pending.reset();
    throw std::move(error);
  }
  if (descriptor_ && descriptor_->Error() != 0) {
    RaiseOSError(descriptor_->Error(), path_);
  }
  if (descriptor_ && descriptor_->Problem()) {
    RaiseInputProblem(descriptor_->Problem(), path_);
  }
}

void InputSource::Close() {
  if (descriptor_) {
    descriptor_->Close();
  } else {
    file_->Close();
  }
}

int InputSource::Visit(visitproc visit, void* arg) const {
  return file_ ? file_->Visit(visit, arg) : 0;
}

}  // namespace annotator_python
