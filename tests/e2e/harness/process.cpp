#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace e2e {
namespace {

constexpr int kPollMs = 5;

long long NowMs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

int StatusOf(int wstatus) {
  if (WIFEXITED(wstatus)) return WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) return 128 + WTERMSIG(wstatus);
  return -1;
}

// An unnamed temporary file for a child's output: no pipe to drain while we wait.
int CaptureFile() {
  FILE* f = std::tmpfile();
  if (f == nullptr) throw std::runtime_error(std::string("tmpfile: ") + std::strerror(errno));
  int fd = dup(fileno(f));
  std::fclose(f);
  return fd;
}

std::string ReadAll(int fd) {
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

// The harness's environment with the command's changes applied.
std::vector<std::string> EnvironmentFor(const Command& command) {
  std::vector<std::string> result;
  for (char** e = environ; *e != nullptr; ++e) result.push_back(*e);
  for (const std::string& change : command.environment) {
    std::string name = change.substr(0, change.find('='));
    std::erase_if(result, [&](const std::string& e) { return e.compare(0, name.size() + 1, name + "=") == 0; });
    if (change.find('=') != std::string::npos) result.push_back(change);
  }
  return result;
}

// Starts the command in a process group of its own, its output going to the given descriptors.
pid_t Start(const Command& command, int outFd, int errFd) {
  if (command.argv.empty()) throw std::runtime_error("empty command");
  std::vector<char*> argv;
  for (const std::string& a : command.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> environment = EnvironmentFor(command);
  std::vector<char*> envp;
  for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    setpgid(0, 0);
    int devNull = open("/dev/null", O_RDONLY);
    dup2(devNull, 0);
    dup2(outFd, 1);
    dup2(errFd, 2);
    execvpe(argv[0], argv.data(), envp.data());
    std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
    _exit(127);
  }
  setpgid(pid, pid);  // also here, so the group exists before we might kill it
  return pid;
}

// Waits for the child up to the deadline; kills its group when the deadline passes.
bool WaitOrKill(pid_t pid, long long deadline, int* status) {
  for (;;) {
    int wstatus = 0;
    pid_t done = waitpid(pid, &wstatus, WNOHANG);
    if (done == pid) {
      *status = StatusOf(wstatus);
      return true;
    }
    if (done < 0 && errno != EINTR) {
      *status = -1;
      return true;
    }
    if (NowMs() >= deadline) break;
    usleep(kPollMs * 1000);
  }
  kill(-pid, SIGKILL);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  *status = StatusOf(wstatus);
  return false;
}

}  // namespace

std::string Outcome::Describe() const {
  std::string text = timedOut ? "timed out" : "exit status " + std::to_string(exitStatus);
  if (!out.empty()) text += "\n--- stdout ---\n" + out;
  if (!err.empty()) text += "\n--- stderr ---\n" + err;
  return text;
}

Outcome Run(const Command& command) {
  int outFd = CaptureFile();
  int errFd = CaptureFile();
  Outcome outcome;
  pid_t pid = Start(command, outFd, errFd);
  outcome.timedOut = !WaitOrKill(pid, NowMs() + command.timeoutMs, &outcome.exitStatus);
  outcome.out = ReadAll(outFd);
  outcome.err = ReadAll(errFd);
  close(outFd);
  close(errFd);
  return outcome;
}

Background::Background(const Command& command) {
  int devNull = open("/dev/null", O_WRONLY);
  pid_ = Start(command, devNull, devNull);
  close(devNull);
}

Background::~Background() {
  if (pid_ > 0 && Running()) WaitOrKill(pid_, NowMs(), &status_);
}

bool Background::Running() {
  if (pid_ <= 0 || status_ != -1) return false;
  int wstatus = 0;
  if (waitpid(pid_, &wstatus, WNOHANG) == pid_) {
    status_ = StatusOf(wstatus);
    return false;
  }
  return true;
}

bool Background::Wait(int timeoutMs) {
  long long deadline = NowMs() + timeoutMs;
  while (Running()) {
    if (NowMs() >= deadline) return false;
    usleep(kPollMs * 1000);
  }
  return true;
}

std::string Join(const std::vector<std::string>& words, const char* separator) {
  std::string text;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) text += separator;
    text += words[i];
  }
  return text;
}

}  // namespace e2e
