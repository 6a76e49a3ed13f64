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

ChildRun RunChild(const std::string& program,
                  const std::vector<std::string>& argv, ChildStdout mode) {
  const std::string outPath = TempPath("child.stdout");
  const std::string errPath = TempPath("child.stderr");
  std::remove(outPath.c_str());

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  int pipeEnds[2] = {-1, -1};
  switch (mode) {
    case ChildStdout::ToFile:
      posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
      break;
    case ChildStdout::Closed:
      posix_spawn_file_actions_addclose(&actions, 1);
      break;
    case ChildStdout::ReaderGone:
      if (::pipe2(pipeEnds, O_CLOEXEC) != 0) ADD_FAILURE() << "pipe2 failed";
      ::close(pipeEnds[0]);
      posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
      break;
  }
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);

  ChildRun run;
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes,
                                  args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (pipeEnds[1] != -1) ::close(pipeEnds[1]);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << program;
    return run;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) {
  }
  if (WIFEXITED(status)) run.ExitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.Signal = WTERMSIG(status);
  run.Stdout = ReadFile(outPath);
  run.Stderr = ReadFile(errPath);
  return run;
}

}  // namespace testsupport
