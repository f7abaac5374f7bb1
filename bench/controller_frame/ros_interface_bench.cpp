// Figures of the controller's ROS 2 interface on loopback DDS.
//
//   ros_interface_bench latency [moves]   (default 200)
//     The whole controller in this process (simulated arm, control loop on the real clock, status
//     node, command node spun on its own thread) and a client node: the time from publishing a
//     movj_topic message to the first motor write of that move, p50 and p99. Moves alternate
//     between two targets; each is published once the previous move has ended and the pause after
//     it has passed, at a random phase of the control period.
//
//   ros_interface_bench status [seconds]  (default 60)
//     brenvik_robot as a child process on the simulated arm and a subscriber (keep last 10,
//     reliable) of its eight status topics: per topic the samples received against 200 Hz, and the
//     samples lost, found as gaps of more than 7.5 ms between the header stamps of
//     current_actual_joint.
//
//   ros_interface_bench                   (both, with their defaults)

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/logger.h"
#include "controller_frame/interpolator.h"
#include "controller_frame/publish_robot_status_ros2.h"
#include "controller_frame/robot_cmd_ros_two_wrapper.h"
#include "robot_factory/brenvik_bot_v5.h"
#include "ros2/executor.h"
#include "ros2/init.h"
#include "ros2/msg/geometry_msgs.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/node.h"
#include "support/ros2_test_env.h"

namespace brenvik::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size()))) - 1;
  return values[std::min(index, values.size() - 1)];
}

// Sends standard output and error to a file (or /dev/null) while alive: the controller's
// diagnostics would bury the figures.
class QuietConsole {
 public:
  explicit QuietConsole(const char* path = "/dev/null") {
    std::fflush(stdout);
    std::fflush(stderr);
    saved_out_ = dup(STDOUT_FILENO);
    saved_err_ = dup(STDERR_FILENO);
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    close(fd);
  }
  ~QuietConsole() {
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_out_, STDOUT_FILENO);
    dup2(saved_err_, STDERR_FILENO);
    close(saved_out_);
    close(saved_err_);
  }
  QuietConsole(const QuietConsole&) = delete;
  QuietConsole& operator=(const QuietConsole&) = delete;

 private:
  int saved_out_;
  int saved_err_;
};

// ---- latency: movj_topic to the first motor write ----

// When armed, the time of the next motor write of any axis.
struct WriteProbe {
  std::atomic<bool> armed{false};
  std::atomic<int64_t> first_write_ns{0};
};

// An axis motor that stamps the first write after the probe is armed, then forwards.
class TimestampingMotor : public CtrlMotorInterface {
 public:
  TimestampingMotor(std::shared_ptr<CtrlMotorInterface> inner, WriteProbe& probe)
      : inner_(std::move(inner)), probe_(probe) {}

  int init() override { return inner_->init(); }
  int setMotorPosition(double position) override {
    if (probe_.armed.exchange(false)) {
      probe_.first_write_ns.store(nowNs());
    }
    return inner_->setMotorPosition(position);
  }
  int getMotorPosition(double& position) override { return inner_->getMotorPosition(position); }
  int setEnableStatus(bool enable) override { return inner_->setEnableStatus(enable); }
  int getEnableStatus(bool& enabled) override { return inner_->getEnableStatus(enabled); }
  int setHome(int value) override { return inner_->setHome(value); }
  int getTorque(double& torque) override { return inner_->getTorque(torque); }
  int getVelocity(double& velocity) override { return inner_->getVelocity(velocity); }

 private:
  std::shared_ptr<CtrlMotorInterface> inner_;
  WriteProbe& probe_;
};

constexpr const char* kStatusTopicNames[] = {"current_actual_joint", "current_reference_joint",
                                             "enable_flag",          "dynamic_torque_estimate",
                                             "is_collision_flag",    "tcp_pose",
                                             "collision_data",       "unnormal_flag"};
constexpr int kStatusTopicIds[] = {
    Interpolator::kActualJointState,      Interpolator::kRefJointState, Interpolator::kEnableFlag,
    Interpolator::kDynamicTorqueEstimate, Interpolator::kIsCollision,   Interpolator::kTcpPose,
    Interpolator::kCollisionData,         Interpolator::kUnnormalFlag};

int runLatency(int moves) {
  const std::vector<double> target_a = {0.02, 0.02, 0.02, 0.02, 0.02};
  const std::vector<double> target_b = {-0.02, -0.02, -0.02, -0.02, -0.02};
  std::vector<double> latencies_ms;
  int timeouts = 0;
  std::uint64_t overruns = 0;
  ros2_test::use_private_loopback_domain();
  const char* console_log = "/tmp/ros_interface_bench_latency.log";
  {
    QuietConsole quiet(console_log);
    const char* argv[] = {"ros_interface_bench", "--ros-args", "--log-level", "warn"};
    ros2::init(4, argv);
    auto robot = std::make_shared<BrenvikBotV5>(BRENVIK_SIM_PARA_FILE);
    Logger::instance()->display_level_ = 1;
    WriteProbe probe;
    for (AxisPara& axis : robot->robot_para_.axis_paras) {
      axis.motor = std::make_shared<TimestampingMotor>(axis.motor, probe);
      static_cast<void>(axis.motor->setEnableStatus(true));
    }
    auto* interpolator = new Interpolator(robot);
    auto status_node = std::make_shared<PublishRobotStatusROS2>("public_robot_status_node");
    interpolator->setStatusPublisher(status_node);
    for (size_t i = 0; i < std::size(kStatusTopicIds); ++i) {
      interpolator->addStatusTopic(kStatusTopicIds[i], kStatusTopicNames[i]);
    }
    std::thread control([interpolator] { interpolator->run(); });
    auto command_node = std::make_shared<RobotCmdRosTwoWrapper>(interpolator);
    ros2::Executor command_executor;
    command_executor.add_node(command_node);
    std::thread spinner([&] { command_executor.spin(); });

    auto client = std::make_shared<ros2::Node>("latency_client");
    auto movj =
        client->create_publisher<std_msgs::msg::Float64MultiArray>("movj_topic", ros2::QoS(10));
    const bool matched =
        ros2_test::wait_until([&] { return movj->get_subscription_count() > 0; }, 10000ms);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> phase_us(0, 4999);
    auto arrived = [&](const std::vector<double>& target) {
      const std::vector<double> q = interpolator->getActualJointPositions();
      for (size_t i = 0; i < q.size(); ++i) {
        if (std::fabs(q[i] - target[i]) > 1e-4) return false;
      }
      return interpolator->isCmdQueueEmpty();
    };
    for (int k = 0; matched && k < moves; ++k) {
      const std::vector<double>& target = k % 2 == 0 ? target_a : target_b;
      std_msgs::msg::Float64MultiArray msg;
      msg.data = target;
      msg.data.push_back(1.0);
      // Past the pause that follows the previous move, at a random phase of the period.
      std::this_thread::sleep_for(
          std::chrono::milliseconds(static_cast<int>(Interpolator::kPauseAfterTrajectory * 1000) +
                                    20) +
          std::chrono::microseconds(phase_us(random)));
      probe.first_write_ns.store(0);
      probe.armed.store(true);
      const int64_t published = nowNs();
      movj->publish(msg);
      const bool written =
          ros2_test::wait_until([&] { return probe.first_write_ns.load() != 0; }, 2000ms);
      if (!written) {
        probe.armed.store(false);
        ++timeouts;
      } else {
        latencies_ms.push_back(static_cast<double>(probe.first_write_ns.load() - published) * 1e-6);
      }
      if (!ros2_test::wait_until([&] { return arrived(target); }, 5000ms)) {
        ++timeouts;
        break;
      }
    }

    ros2::shutdown();
    spinner.join();
    command_node.reset();
    interpolator->requestExit();
    control.join();
    overruns = interpolator->overrunCount();
    delete interpolator;
  }
  std::printf(
      "latency: movj_topic published -> first motor write, in-process controller on the "
      "simulated arm, loopback DDS, 8 status topics published\n");
  std::printf("moves measured          %zu of %d (timeouts %d)\n", latencies_ms.size(), moves,
              timeouts);
  if (latencies_ms.empty()) {
    return 1;
  }
  std::printf("latency p50             %.3f ms\n", percentile(latencies_ms, 0.50));
  std::printf("latency p99             %.3f ms\n", percentile(latencies_ms, 0.99));
  std::printf("latency min / max       %.3f / %.3f ms\n",
              *std::min_element(latencies_ms.begin(), latencies_ms.end()),
              *std::max_element(latencies_ms.begin(), latencies_ms.end()));
  std::printf("control period overruns  %llu\n", static_cast<unsigned long long>(overruns));
  std::printf("controller console in   %s\n", console_log);
  return timeouts == 0 ? 0 : 1;
}

// ---- status: eight topics from the controller process ----

constexpr int kTopics = 8;
constexpr double kRate = 200.0;        // Hz, one sample per control period
constexpr int64_t kGapNs = 7'500'000;  // a stamp gap above 1.5 periods: samples are missing
constexpr int64_t kPeriodNs = 5'000'000;

struct StatusCounts {
  std::mutex mutex;
  bool measuring = false;
  std::array<size_t, kTopics> received{};
  std::vector<int64_t> stamps;  // current_actual_joint header stamps in the window
};

int runStatus(double seconds) {
  ros2_test::use_private_loopback_domain();
  char log_path[] = "/tmp/ros_interface_bench_XXXXXX";
  const int log_fd = mkstemp(log_path);
  if (log_fd < 0) return 1;
  close(log_fd);

  std::vector<std::string> args = {BRENVIK_ROBOT_EXECUTABLE, "--robot-para-file",
                                   BRENVIK_SIM_PARA_FILE};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int out = open(log_path, O_WRONLY | O_TRUNC);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out);
  if (pid < 0) return 1;

  const char* ros_argv[] = {"ros_interface_bench"};
  ros2::init(1, ros_argv);
  auto node = std::make_shared<ros2::Node>("status_subscriber");
  StatusCounts counts;
  std::vector<std::shared_ptr<ros2::SubscriptionBase>> subs;
  auto count = [&counts](int topic) {
    std::lock_guard<std::mutex> lock(counts.mutex);
    if (counts.measuring) ++counts.received[topic];
  };
  const ros2::QoS qos(10);
  subs.push_back(node->create_subscription<sensor_msgs::msg::JointState>(
      kStatusTopicNames[0], qos, [&](const sensor_msgs::msg::JointState& msg) {
        std::lock_guard<std::mutex> lock(counts.mutex);
        if (!counts.measuring) return;
        ++counts.received[0];
        counts.stamps.push_back(ros2::Time(msg.header.stamp).nanoseconds());
      }));
  subs.push_back(node->create_subscription<sensor_msgs::msg::JointState>(
      kStatusTopicNames[1], qos, [&](const sensor_msgs::msg::JointState&) { count(1); }));
  for (int topic : {2, 4, 7}) {
    subs.push_back(node->create_subscription<std_msgs::msg::Bool>(
        kStatusTopicNames[topic], qos, [&, topic](const std_msgs::msg::Bool&) { count(topic); }));
  }
  for (int topic : {3, 6}) {
    subs.push_back(node->create_subscription<std_msgs::msg::Float64MultiArray>(
        kStatusTopicNames[topic], qos,
        [&, topic](const std_msgs::msg::Float64MultiArray&) { count(topic); }));
  }
  subs.push_back(node->create_subscription<geometry_msgs::msg::Pose>(
      kStatusTopicNames[5], qos, [&](const geometry_msgs::msg::Pose&) { count(5); }));

  ros2::Executor executor;
  executor.add_node(node);
  std::thread spinner([&] { executor.spin(); });

  const bool connected = ros2_test::wait_until(
      [&] {
        return std::all_of(subs.begin(), subs.end(),
                           [](const auto& sub) { return sub->get_publisher_count() > 0; });
      },
      20000ms);
  // One second for the controller to settle, then the measured window.
  std::this_thread::sleep_for(1s);
  {
    std::lock_guard<std::mutex> lock(counts.mutex);
    counts.measuring = true;
  }
  const auto begin = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  {
    std::lock_guard<std::mutex> lock(counts.mutex);
    counts.measuring = false;
  }
  const double window = std::chrono::duration<double>(Clock::now() - begin).count();

  ros2::shutdown();
  spinner.join();
  kill(pid, SIGINT);
  int status = 0;
  if (!ros2_test::wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10000ms)) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }

  // The controller's own overruns over the whole run: after one that ends k periods late the
  // loop starts its next period at once and skips k - 1 points of its 5 ms grid.
  size_t overruns = 0;
  int64_t skipped_periods = 0;
  {
    std::ifstream log(log_path);
    std::string line;
    const std::string marker = "work ended ";
    while (std::getline(log, line)) {
      const size_t at = line.find(marker);
      if (line.find("Control period overrun") == std::string::npos || at == std::string::npos) {
        continue;
      }
      ++overruns;
      const double late_ms = std::atof(line.c_str() + at + marker.size());
      skipped_periods += static_cast<int64_t>(late_ms / 5.0);
    }
  }
  std::remove(log_path);

  const double expected = kRate * window;
  std::printf(
      "status: brenvik_robot child process on the simulated arm, subscriber keep last 10 "
      "reliable, loopback DDS, %.1f s window\n",
      window);
  if (!connected) std::printf("not every status topic was matched\n");
  std::printf("%-26s %10s %10s %10s\n", "topic", "received", "expected", "shortfall");
  for (int topic = 0; topic < kTopics; ++topic) {
    const auto received = static_cast<double>(counts.received[topic]);
    std::printf("%-26s %10zu %10.0f %10.0f\n", kStatusTopicNames[topic], counts.received[topic],
                expected, std::max(0.0, expected - received));
  }
  // Stamp gaps above 1.5 periods (a late period shows as one too, followed by a short gap); and
  // the samples missing over the span of the stamps, which late periods do not change.
  std::vector<int64_t>& stamps = counts.stamps;
  size_t gaps = 0;
  int64_t largest_gap = 0;
  size_t out_of_order = 0;
  for (size_t k = 1; k < stamps.size(); ++k) {
    const int64_t gap = stamps[k] - stamps[k - 1];
    if (gap <= 0) ++out_of_order;
    largest_gap = std::max(largest_gap, gap);
    if (gap > kGapNs) ++gaps;
  }
  int64_t missing = 0;
  if (stamps.size() > 1) {
    const int64_t span_periods = (stamps.back() - stamps.front() + kPeriodNs / 2) / kPeriodNs;
    missing = span_periods + 1 - static_cast<int64_t>(stamps.size());
  }
  std::printf(
      "current_actual_joint stamp gaps > 7.5 ms: %zu, largest gap %.3f ms, out of order "
      "%zu\n",
      gaps, static_cast<double>(largest_gap) * 1e-6, out_of_order);
  std::printf("current_actual_joint samples missing over the span of its stamps: %lld\n",
              static_cast<long long>(missing));
  std::printf("controller period overruns over the whole run: %zu (grid points skipped: %lld)\n",
              overruns, static_cast<long long>(skipped_periods));
  return connected ? 0 : 1;
}

}  // namespace
}  // namespace brenvik::bench

int main(int argc, char** argv) {
  using namespace brenvik::bench;
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "latency") {
    return runLatency(argc > 2 ? std::atoi(argv[2]) : 200);
  }
  if (mode == "status") {
    return runStatus(argc > 2 ? std::atof(argv[2]) : 60.0);
  }
  if (!mode.empty()) {
    std::fprintf(stderr, "usage: %s [latency [moves] | status [seconds]]\n", argv[0]);
    return 2;
  }
  const int latency = runLatency(200);
  const int status = runStatus(60.0);
  return latency != 0 ? latency : status;
}
