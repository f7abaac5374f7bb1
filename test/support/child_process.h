#pragma once

// A program run as a child process for tests: its standard output and error are collected by a
// reader thread, it dies with the test process (PR_SET_PDEATHSIG), and it is killed and reaped
// when the object goes. Environment: the test process's (set it before starting).

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/ros2_test_env.h"

namespace test_support {

class ChildProcess {
 public:
  explicit ChildProcess(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {  // only async-signal-safe calls until exec
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
      dup2(fds[1], STDOUT_FILENO);
      dup2(fds[1], STDERR_FILENO);
      execv(args[0], args.data());
      _exit(127);
    }
    close(fds[1]);
    out_ = fds[0];
    reader_ = std::thread([this] {
      char buffer[4096];
      for (ssize_t n; (n = read(out_, buffer, sizeof(buffer))) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return;
        std::lock_guard<std::mutex> lock(mutex_);
        output_.append(buffer, static_cast<size_t>(n));
      }
    });
  }

  ~ChildProcess() {
    if (waitForExit(std::chrono::milliseconds(0)) < 0 && pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (reader_.joinable()) reader_.join();
    if (out_ >= 0) close(out_);
  }

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void signal(int sig) {
    if (pid_ > 0 && exit_status_ < 0) kill(pid_, sig);
  }

  // The exit status (128 + the signal's number after a signal), or -1 while it still runs.
  // After the exit the whole output has been read.
  int waitForExit(std::chrono::milliseconds deadline) {
    ros2_test::wait_until([&] { return poll(); }, deadline);
    if (exit_status_ >= 0 && reader_.joinable()) reader_.join();
    return exit_status_;
  }

  std::string output() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
  }
  bool printed(const std::string& text) const { return output().find(text) != std::string::npos; }

 private:
  bool poll() {
    int status = 0;
    if (pid_ <= 0 || exit_status_ >= 0) return true;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
  }

  pid_t pid_ = -1;
  int exit_status_ = -1;
  int out_ = -1;
  std::thread reader_;
  mutable std::mutex mutex_;
  std::string output_;
};

}  // namespace test_support
