#ifndef ANNOTATOR_TEST_SUPPORT_CHILDPROCESS_H_
#define ANNOTATOR_TEST_SUPPORT_CHILDPROCESS_H_

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

// Where a child's standard output goes: captured, closed, a pipe whose
// reader is gone before the child starts, /dev/null, or captured together
// with standard error in one file.
enum class ChildStdout {
  ToFile,
  Closed,
  ReaderGone,
  DevNull,
  SharedWithStderr
};

struct ChildOptions {
  ChildStdout Stdout = ChildStdout::ToFile;
  // RLIMIT_FSIZE for the child in bytes; 0 leaves the limit alone.
  rlim_t FileSizeLimit = 0;
  // Standard error on a terminal (a pseudo-terminal in raw mode, so its
  // bytes come back as written) instead of a file.
  bool StderrTerminal = false;
  // "NAME=value" entries added to the child's environment.
  std::vector<std::string> Environment = {};
  // The file the child reads as standard input; "" is /dev/null.
  std::string Stdin = {};
};

struct ChildRun {
  int ExitStatus = -1;  // -1 when the child did not exit by itself
  int Signal = 0;       // the signal that ended it, if one did
  std::string Stdout;
  std::string Stderr;
};

// Starts `program` with `argv` (argv[0] included, so tests choose the
// invocation name), standard input from /dev/null (or options.Stdin),
// standard error captured
// and standard output as the options say. SIGPIPE and SIGXFSZ are reset to
// their defaults in the child, so a program that forgets to handle them dies
// as it would from a shell. Returns the child's pid, or -1 after reporting a
// test failure when it cannot be started.
pid_t StartChild(const std::string& program,
                 const std::vector<std::string>& argv,
                 const ChildOptions& options = {});

// Waits for the child that StartChild started and collects what it left.
ChildRun FinishChild(pid_t pid);

// StartChild, then FinishChild.
ChildRun RunChild(const std::string& program,
                  const std::vector<std::string>& argv,
                  const ChildOptions& options = {});

}  // namespace testsupport

#endif  // ANNOTATOR_TEST_SUPPORT_CHILDPROCESS_H_
