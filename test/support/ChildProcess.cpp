#include "support/ChildProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <map>

#include "support/TestSupport.h"

extern char** environ;

namespace testsupport {

namespace {

const char kStdoutFile[] = "child.stdout";
const char kStderrFile[] = "child.stderr";

// The terminals of running children, by pid: the side this process reads,
// and the child's side, held open so that what the child wrote can still be
// read after it ended.
std::map<pid_t, std::pair<int, int>> Terminals;

// A pseudo-terminal in raw mode; both ends -1 when none can be had.
std::pair<int, int> OpenTerminal(std::string& name) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master == -1 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    if (master != -1) ::close(master);
    return {-1, -1};
  }
  name = ::ptsname(master);
  const int child = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios mode{};
  if (child != -1 && ::tcgetattr(child, &mode) == 0) {
    ::cfmakeraw(&mode);
    ::tcsetattr(child, TCSANOW, &mode);
  }
  ::fcntl(master, F_SETFL, O_NONBLOCK);
  return {master, child};
}

}  // namespace

pid_t StartChild(const std::string& program,
                 const std::vector<std::string>& argv,
                 const ChildOptions& options) {
  const std::string outPath = TempPath(kStdoutFile);
  const std::string errPath = TempPath(kStderrFile);
  std::remove(outPath.c_str());

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(
      &actions, 0, options.Stdin.empty() ? "/dev/null" : options.Stdin.c_str(),
      O_RDONLY, 0);
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
  std::pair<int, int> terminal{-1, -1};
  if (options.StderrTerminal) {
    std::string name;
    terminal = OpenTerminal(name);
    if (terminal.first == -1) ADD_FAILURE() << "no pseudo-terminal";
    posix_spawn_file_actions_addopen(&actions, 2, name.c_str(),
                                     O_RDWR | O_NOCTTY, 0);
  } else if (options.Stdout == ChildStdout::SharedWithStderr) {
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
  // An entry given replaces the inherited one of its name.
  const auto replaced = [&options](const char* entry) {
    for (const std::string& given : options.Environment) {
      const std::size_t name = given.find('=') + 1;
      if (given.compare(0, name, entry, 0, name) == 0) return true;
    }
    return false;
  };
  std::vector<char*> environment;
  for (char** entry = environ; *entry; ++entry) {
    if (!replaced(*entry)) environment.push_back(*entry);
  }
  for (const std::string& entry : options.Environment) {
    environment.push_back(const_cast<char*>(entry.c_str()));
  }
  environment.push_back(nullptr);
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes,
                                  args.data(), environment.data());
  if (options.FileSizeLimit != 0) ::setrlimit(RLIMIT_FSIZE, &saved);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (pipeEnds[1] != -1) ::close(pipeEnds[1]);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << program;
    if (terminal.first != -1) ::close(terminal.first);
    if (terminal.second != -1) ::close(terminal.second);
    return -1;
  }
  if (options.StderrTerminal) Terminals[pid] = terminal;
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
  const auto terminal = Terminals.find(pid);
  if (terminal == Terminals.end()) {
    run.Stderr = ReadFile(TempPath(kStderrFile));
    return run;
  }
  char bytes[4096];
  for (ssize_t got;
       (got = ::read(terminal->second.first, bytes, sizeof bytes)) > 0;) {
    run.Stderr.append(bytes, static_cast<std::size_t>(got));
  }
  ::close(terminal->second.first);
  ::close(terminal->second.second);
  Terminals.erase(terminal);
  return run;
}

ChildRun RunChild(const std::string& program,
                  const std::vector<std::string>& argv,
                  const ChildOptions& options) {
  return FinishChild(StartChild(program, argv, options));
}

}  // namespace testsupport
