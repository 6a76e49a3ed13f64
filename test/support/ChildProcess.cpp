#include "support/ChildProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "support/TestSupport.h"

extern char** environ;

namespace testsupport {

namespace {

const char kStdoutFile[] = "child.stdout";
const char kStderrFile[] = "child.stderr";

}  // namespace

pid_t StartChild(const std::string& program,
                 const std::vector<std::string>& argv,
                 const ChildOptions& options) {
  const std::string outPath = TempPath(kStdoutFile);
  const std::string errPath = TempPath(kStderrFile);
  std::remove(outPath.c_str());

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  int pipeEnds[2] = {-1, -1};
  switch (options.Stdout) {
    case ChildStdout::ToFile:
    case ChildStdout::SharedWithStderr:
      posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
      break;
    case ChildStdout::Closed:
      posix_spawn_file_actions_addclose(&actions, 1);
      break;
    case ChildStdout::DevNull:
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
      break;
    case ChildStdout::ReaderGone:
      if (::pipe2(pipeEnds, O_CLOEXEC) != 0) ADD_FAILURE() << "pipe2 failed";
      ::close(pipeEnds[0]);
      posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
      break;
  }
  if (options.Stdout == ChildStdout::SharedWithStderr) {
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGXFSZ);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);

  // The child inherits the limit; this process writes nothing while it is
  // lowered.
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  if (options.FileSizeLimit != 0) {
    rlimit lowered = saved;
    lowered.rlim_cur = options.FileSizeLimit;
    ::setrlimit(RLIMIT_FSIZE, &lowered);
  }
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes,
                                  args.data(), environ);
  if (options.FileSizeLimit != 0) ::setrlimit(RLIMIT_FSIZE, &saved);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (pipeEnds[1] != -1) ::close(pipeEnds[1]);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << program;
    return -1;
  }
  return pid;
}

ChildRun FinishChild(pid_t pid) {
  ChildRun run;
  if (pid == -1) return run;
  int status = 0;
  while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) {
  }
  if (WIFEXITED(status)) run.ExitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.Signal = WTERMSIG(status);
  run.Stdout = ReadFile(TempPath(kStdoutFile));
  run.Stderr = ReadFile(TempPath(kStderrFile));
  return run;
}

ChildRun RunChild(const std::string& program,
                  const std::vector<std::string>& argv,
                  const ChildOptions& options) {
  return FinishChild(StartChild(program, argv, options));
}

}  // namespace testsupport
