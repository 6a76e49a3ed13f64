#ifndef ANNOTATOR_TEST_SUPPORT_CHILDPROCESS_H_
#define ANNOTATOR_TEST_SUPPORT_CHILDPROCESS_H_

#include <string>
#include <vector>

namespace testsupport {

// Where a child's standard output goes.
enum class ChildStdout { ToFile, Closed, ReaderGone };

struct ChildRun {
  int ExitStatus = -1;  // -1 when the child did not exit by itself
  int Signal = 0;       // the signal that ended it, if one did
  std::string Stdout;
  std::string Stderr;
};

// Runs `program` with `argv` (argv[0] included, so tests choose the
// invocation name), standard input from /dev/null, standard error captured
// and standard output as `mode` says: captured, closed, or a pipe whose
// reader is gone before the child starts. SIGPIPE is reset to its default in
// the child, so a program that forgets to handle it dies as it would from a
// shell. Reports a test failure when the child cannot be started.
ChildRun RunChild(const std::string& program,
                  const std::vector<std::string>& argv,
                  ChildStdout mode = ChildStdout::ToFile);

}  // namespace testsupport

#endif  // ANNOTATOR_TEST_SUPPORT_CHILDPROCESS_H_
