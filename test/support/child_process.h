#pragma once

// A child process whose output goes to a file; it dies with the test and is reaped with the object.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/ros2_test_env.h"

namespace test_support {

class ChildProcess {
 public:
  explicit ChildProcess(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    const int out = mkostemp(path_.data(), O_CLOEXEC);
    const pid_t parent = getpid();
    if (out >= 0 && (pid_ = fork()) == 0) {  // only async-signal-safe calls until exec
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() == parent && dup2(out, 1) == 1 && dup2(out, 2) == 2)
        execv(args[0], args.data());
      _exit(127);
    }
    close(out);
  }
  ~ChildProcess() {
    if (waitForExit(std::chrono::milliseconds(0)) < 0 && pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    unlink(path_.c_str());
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void signal(int sig) {
    if (pid_ > 0 && exit_status_ < 0) kill(pid_, sig);
  }

  // The exit status (128 + the signal's number after a signal), or -1 while it still runs.
  int waitForExit(std::chrono::milliseconds deadline) {
    ros2_test::wait_until(
        [&] {
          int status = 0;
          if (pid_ <= 0 || exit_status_ >= 0) return true;
          if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
          exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
          return true;
        },
        deadline);
    return exit_status_;
  }

  std::string output() const {
    std::stringstream text;
    text << std::ifstream(path_).rdbuf();
    return text.str();
  }
  bool printed(const std::string& text) const { return output().find(text) != std::string::npos; }

 private:
  std::string path_ = "/tmp/child_output_XXXXXX";
  pid_t pid_ = -1;
  int exit_status_ = -1;
};

}  // namespace test_support
