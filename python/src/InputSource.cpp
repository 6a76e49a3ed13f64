#include "InputSource.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace annotator_python {

namespace {

// How long a wait on a pipe or terminal goes without a look at the
// interpreter's signal flags: KeyboardInterrupt comes within this of Ctrl-C
// even when the signal went to another thread than the waiting one.
constexpr int kWakeMilliseconds = 100;
constexpr std::size_t kChunk = 1 << 16;

// Opens `path` for reading without waiting: a FIFO opened so has no writer
// yet, and the wait for one is the first poll(), which wakes for signals.
// Returns 0 or the errno value.
int OpenPath(const std::string& path, int& fd, bool& polled) {
  fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  struct stat info;
  int error = 0;
  if (::fstat(fd, &info) != 0) {
    error = errno;
  } else if (S_ISDIR(info.st_mode)) {
    error = EISDIR;
  }
  if (error != 0) {
    ::close(fd);
    fd = -1;
    return error;
  }
  // A regular file's reads never wait for a writer, so it is read plainly.
  polled = !S_ISREG(info.st_mode);
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

class InputSource::Buffer : public std::streambuf {
 public:
  Buffer(int fd, bool polled, py::object file)
      : fd_(fd), polled_(polled), file_(std::move(file)) {}
  ~Buffer() override { CloseDescriptor(); }

  bool Failed() const { return error_ != 0 || pending_.has_value(); }
  int Error() const { return error_; }
  std::optional<py::error_already_set>& Pending() { return pending_; }

  void Close() {
    CloseDescriptor();
    file_ = py::object();
    done_ = true;
    setg(nullptr, nullptr, nullptr);
  }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (done_) return traits_type::eof();
    const std::size_t got = file_ ? ReadFile() : ReadDescriptor();
    if (got == 0) {
      done_ = true;
      return traits_type::eof();
    }
    setg(chunk_.data(), chunk_.data(), chunk_.data() + got);
    return traits_type::to_int_type(*gptr());
  }

 private:
  void CloseDescriptor() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // Runs the handlers of signals that came in; false when one raised.
  bool SignalsLetGo() {
    py::gil_scoped_acquire locked;
    if (PyErr_CheckSignals() == 0) return true;
    pending_.emplace();
    return false;
  }

  std::size_t ReadDescriptor() {
    if (fd_ < 0) return 0;
    chunk_.resize(kChunk);
    for (;;) {
      if (polled_) {
        pollfd wait{fd_, POLLIN, 0};
        const int ready = ::poll(&wait, 1, kWakeMilliseconds);
        if (ready < 0 && errno != EINTR) {
          error_ = errno;
          return 0;
        }
        if (ready <= 0) {
          if (!SignalsLetGo()) return 0;
          continue;
        }
      }
      const ssize_t got = ::read(fd_, chunk_.data(), chunk_.size());
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno == EAGAIN) continue;
      if (errno == EINTR) {
        if (!SignalsLetGo()) return 0;
        continue;
      }
      error_ = errno;
      return 0;
    }
  }

  // A text file gives str, which goes on as the bytes it was read from
  // where it was read with surrogateescape, and as UTF-8 otherwise.
  std::size_t ReadFile() {
    py::gil_scoped_acquire locked;
    try {
      py::object got = file_.attr("read")(kChunk);
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

  int fd_;
  bool polled_;
  py::object file_;
  std::string chunk_;
  bool done_ = false;
  int error_ = 0;
  std::optional<py::error_already_set> pending_;
};

InputSource::InputSource(const py::handle& source) {
  const bool path = PyUnicode_Check(source.ptr()) ||
                    PyBytes_Check(source.ptr()) || !py::hasattr(source, "read");
  if (!path) {
    buffer_ = std::make_unique<Buffer>(
        -1, false, py::reinterpret_borrow<py::object>(source));
  } else {
    path_ = PathBytes(source);
    int fd = -1;
    bool polled = false;
    int error = 0;
    {
      py::gil_scoped_release released;
      error = OpenPath(path_, fd, polled);
    }
    if (error != 0) RaiseOSError(error, path_);
    buffer_ = std::make_unique<Buffer>(fd, polled, py::object());
  }
  stream_.rdbuf(buffer_.get());
}

InputSource::~InputSource() = default;

bool InputSource::Failed() const { return buffer_->Failed(); }

void InputSource::RaiseIfFailed() {
  std::optional<py::error_already_set>& pending = buffer_->Pending();
  if (pending) {
    py::error_already_set error = std::move(*pending);
    pending.reset();
    throw error;
  }
  if (buffer_->Error() != 0) {
    if (path_.empty()) {
      errno = buffer_->Error();
      PyErr_SetFromErrno(PyExc_OSError);
      throw py::error_already_set();
    }
    RaiseOSError(buffer_->Error(), path_);
  }
}

void InputSource::Close() { buffer_->Close(); }

}  // namespace annotator_python
