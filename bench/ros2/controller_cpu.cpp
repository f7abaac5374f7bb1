// CPU time of brenvik_robot on the simulated arm, read from /proc (user + system time of every
// thread) over a window, at rest or with a client publishing to it:
//
//   controller_cpu [seconds] [rate_hz] [topic]    (defaults: 30, 0, movL_topic)
//
// The controller runs as a child process on the loopback interface and gets no command: its
// control loop runs and publishes the eight status topics every 5 ms, its executor waits. With
// rate_hz > 0 a client node of this process publishes on topic at that rate during the window:
// movL_topic (Float64MultiArray; the controller takes each message and ignores it) or movj_topic
// (joint moves at half speed, alternating between two targets 0.1 rad apart on the first axis,
// which the controller plans and queues). Prints the controller's CPU use in percent of one core,
// per thread and in all.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ros2/executor.h"
#include "ros2/init.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/node.h"
#include "support/ros2_test_env.h"

namespace {

using namespace std::chrono_literals;

struct ThreadTime {
  std::string name;
  long ticks = 0;  // user + system, in clock ticks
};

// Every thread of a process with its CPU time so far.
std::map<int, ThreadTime> thread_times(pid_t pid) {
  std::map<int, ThreadTime> out;
  const std::string dir = "/proc/" + std::to_string(pid) + "/task";
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return out;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::ifstream in(dir + "/" + e->d_name + "/stat");
    std::string line;
    if (!std::getline(in, line)) continue;
    // pid (comm) state ppid ... utime is field 14, stime field 15; comm may hold spaces.
    const size_t open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
      if (i == 14) utime = std::atol(field.c_str());
      if (i == 15) stime = std::atol(field.c_str());
    }
    out[std::atoi(e->d_name)] = {line.substr(open + 1, close - open - 1), utime + stime};
  }
  closedir(d);
  return out;
}

pid_t start_controller() {
  std::vector<std::string> args = {BRENVIK_ROBOT_EXECUTABLE, "--robot-para-file",
                                   BRENVIK_SIM_PARA_FILE};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int run(double seconds, double rate_hz, const std::string& topic) {
  ros2_test::use_private_loopback_domain();
  const pid_t pid = start_controller();
  if (pid < 0) return 1;
  const char* ros_argv[] = {"controller_cpu"};
  ros2::init(1, ros_argv);
  auto node = std::make_shared<ros2::Node>("controller_cpu_client");
  bool up = false;
  auto status = node->create_subscription<sensor_msgs::msg::JointState>(
      "current_actual_joint", 10, [&](const sensor_msgs::msg::JointState&) { up = true; });
  auto pub = node->create_publisher<std_msgs::msg::Float64MultiArray>(topic, 10);
  ros2::Executor exec;
  exec.add_node(node);
  const auto give_up = std::chrono::steady_clock::now() + 20s;
  while (!(up && pub->get_subscription_count() > 0) && std::chrono::steady_clock::now() < give_up) {
    exec.spin_once(100ms);
  }
  exec.remove_node(node);
  status.reset();
  if (!up) {
    std::fprintf(stderr, "the controller did not come up\n");
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return 1;
  }
  std::this_thread::sleep_for(2s);  // start-up settles

  const auto before = thread_times(pid);
  const auto begin = std::chrono::steady_clock::now();
  const auto end = begin + std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::duration<double>(seconds));
  long sent = 0;
  if (rate_hz > 0) {
    const auto period = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(1.0 / rate_hz));
    std_msgs::msg::Float64MultiArray msg;
    for (auto next = begin; next < end; next += period) {
      std::this_thread::sleep_until(next);
      msg.data = {(sent % 2) * 0.1, 0, 0, 0, 0, 0.5};
      pub->publish(msg);
      ++sent;
    }
  } else {
    std::this_thread::sleep_until(end);
  }
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  const auto after = thread_times(pid);
  kill(pid, SIGINT);
  waitpid(pid, nullptr, 0);
  ros2::shutdown();

  const double tick = 1.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
  std::printf("brenvik_robot on the simulated arm, %.1f s", elapsed);
  if (rate_hz > 0) {
    std::printf(", a client publishing %s at %.1f Hz", topic.c_str(), sent / elapsed);
  } else {
    std::printf(", no client");
  }
  std::printf("\n  thread           CPU %% of one core\n");
  long total = 0;
  for (const auto& [tid, t] : after) {
    const auto b = before.find(tid);
    const long used = t.ticks - (b == before.end() ? 0 : b->second.ticks);
    total += used;
    const std::string name = tid == pid ? "main (executor)" : t.name;
    if (used > 0) std::printf("  %-16s %6.2f\n", name.c_str(), 100.0 * used * tick / elapsed);
  }
  std::printf("  %-16s %6.2f\n", "all threads", 100.0 * total * tick / elapsed);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
  const double rate_hz = argc > 2 ? std::atof(argv[2]) : 0.0;
  const std::string topic = argc > 3 ? argv[3] : "movL_topic";
  if (seconds <= 0 || rate_hz < 0 || (topic != "movL_topic" && topic != "movj_topic")) {
    std::fprintf(stderr, "usage: controller_cpu [seconds] [rate_hz] [movL_topic|movj_topic]\n");
    return 2;
  }
  return run(seconds, rate_hz, topic);
}
