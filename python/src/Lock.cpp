#include <unistd.h>

#include "Binding.h"

namespace annotator_python {

namespace {

// Python's ending of a thread (pthread_exit) is the one unwinding that can
// come out of its C code: caught where it starts, before it reaches a
// destructor that would need the lock, the thread waits for the process
// to end, holding nothing that is wanted again.
[[noreturn]] void WaitForTheEnd() {
  for (;;) ::pause();
}

}  // namespace

LockReleased::~LockReleased() {
  try {
    PyEval_RestoreThread(state_);
  } catch (...) {
    WaitForTheEnd();
  }
}

LockTaken::LockTaken() {
  try {
    state_ = PyGILState_Ensure();
  } catch (...) {
    WaitForTheEnd();
  }
}

LockTaken::~LockTaken() { PyGILState_Release(state_); }

PyObject* ReadFileObject(PyObject* file, std::size_t size) {
  try {
    return PyObject_CallMethod(file, "read", "n",
                               static_cast<Py_ssize_t>(size));
  } catch (...) {
    WaitForTheEnd();
  }
}

}  // namespace annotator_python
