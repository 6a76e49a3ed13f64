#include <cxxabi.h>
#include <unistd.h>

#include "Binding.h"

namespace annotator_python {

namespace {

// Where Python's pthread_exit is caught, before its unwinding reaches a
// destructor that would need the lock: nothing the thread holds is wanted
// again, as the process is ending.
[[noreturn]] void WaitForTheEnd() {
  for (;;) ::pause();
}

}  // namespace

LockReleased::~LockReleased() {
  try {
    PyEval_RestoreThread(state_);
  } catch (abi::__forced_unwind&) {
    WaitForTheEnd();
  }
}

LockTaken::LockTaken() {
  try {
    state_ = PyGILState_Ensure();
  } catch (abi::__forced_unwind&) {
    WaitForTheEnd();
  }
}

LockTaken::~LockTaken() { PyGILState_Release(state_); }

PyObject* ReadFileObject(PyObject* file, std::size_t size) {
  try {
    return PyObject_CallMethod(file, "read", "n",
                               static_cast<Py_ssize_t>(size));
  } catch (abi::__forced_unwind&) {
    WaitForTheEnd();
  }
}

}  // namespace annotator_python
