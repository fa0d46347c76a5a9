// Host processes for the harness: every run is bounded, and a child that outlives its bound is
// killed with its whole process group (the group it was started in, so only what we started).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace e2e {

struct Command {
  std::vector<std::string> argv;
  // "NAME=value" entries set on top of the harness's own environment; "NAME" alone removes one.
  std::vector<std::string> environment;
  int timeoutMs = 60000;
};

struct Outcome {
  bool timedOut = false;
  int exitStatus = -1;  // the exit code, or 128 + the signal that ended it
  std::string out;
  std::string err;

  bool ok() const { return !timedOut && exitStatus == 0; }
  std::string Describe() const;  // "exit status 3" / "timed out", with the output
};

// Runs a command to its end or its bound; captures what it prints.
Outcome Run(const Command& command);

// A command left running while the test goes on; killed (with its group) when the owner goes,
// unless it has ended by then.
class Background {
 public:
  explicit Background(const Command& command);
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;
  ~Background();

  bool Running();
  // Waits up to timeoutMs for the end; true when it ended. The exit status is then in status().
  bool Wait(int timeoutMs);
  int status() const { return status_; }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

std::string Join(const std::vector<std::string>& words, const char* separator = " ");

}  // namespace e2e
