#ifndef ANNOTATOR_PYTHON_INPUTSOURCE_H_
#define ANNOTATOR_PYTHON_INPUTSOURCE_H_

#include <exception>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>

#include "Binding.h"
#include "text/DescriptorBuffer.h"

namespace annotator_python {

// A path as the bytes the system takes: a str, bytes or os.PathLike, encoded
// as open() encodes it. Raises ValueError for an embedded NUL, as open()
// does, rather than let the system read the path up to it.
std::string PathBytes(const py::handle& path);

// Where a training file is read from: a path the module opens itself, or a
// Python file object (binary or text) the caller opened and keeps. Every
// entry point that reads training files takes its input through one of
// these, so all read alike: waits on a pipe or terminal wake for signals,
// a failed read raises OSError with its errno, and the exception a signal
// handler or the file object raised comes out as it was raised.
//
// The stream is read without the interpreter's lock. A failure does not
// throw through the reader: the stream ends there, and Raise() afterwards
// says why, so no record is taken from a stream cut short by a failure.
class InputSource {
 public:
  // Opens `source` (a path or an object with a read() method). Called with
  // the interpreter's lock held; lets go of it while the open may wait.
  // Raises ValueError, or OSError (FileNotFoundError, IsADirectoryError,
  // PermissionError, ...) naming the path.
  explicit InputSource(const py::handle& source);
  ~InputSource();
  InputSource(const InputSource&) = delete;
  InputSource& operator=(const InputSource&) = delete;

  std::istream& Stream() { return stream_; }
  // The path opened ("" for a file object), for messages.
  const std::string& Path() const { return path_; }

  // True when the source is the file `path` names: the same path, or a file
  // object whose fileno() is that file's. False when `path` does not exist
  // or the file object gives no descriptor (io.BytesIO). With the lock held.
  bool IsFile(const std::string& path);
  // Drops a UTF-8 byte-order mark from the start of what the stream gives,
  // as make_examples drops it from each of its inputs; before the first
  // read.
  void SkipByteOrderMark();
  // True when the stream ended by a failure rather than at its end.
  bool Failed() const;
  // Raises the failure that ended the stream, if any; with the lock held.
  void RaiseIfFailed();
  // Lets go of a descriptor the source opened (a caller's file object
  // stays open); reading after it finds the end. With the lock held.
  void Close();
  // Visits the caller's file object, for the garbage collector.
  int Visit(visitproc visit, void* arg) const;

 private:
  class PathBuffer;
  class FileBuffer;
  std::string path_;
  // One of the two is set: a path's descriptor or the caller's file object.
  std::unique_ptr<PathBuffer> descriptor_;
  std::unique_ptr<FileBuffer> file_;
  std::istream stream_{nullptr};
};

}  // namespace annotator_python

#endif  // ANNOTATOR_PYTHON_INPUTSOURCE_H_
