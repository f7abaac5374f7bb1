// Cost of publishing the status messages and round-trip latency between two processes over
// the loopback interface. The same executable, started with --echo-peer, is the other process:
// it returns every Float64MultiArray received on bench_ping on bench_pong.
//
//   ros2_bench                      (starts its own peer)
//   ros2_bench --echo-peer          (the peer)

#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ros2/executor.h"
#include "ros2/init.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/node.h"
#include "support/ros2_test_env.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

std::string g_self;

sensor_msgs::msg::JointState joint_state() {
  sensor_msgs::msg::JointState js;
  js.header.frame_id = "base_link";
  for (int i = 1; i <= 5; ++i) {
    js.name.push_back("joint" + std::to_string(i));
    js.position.push_back(0.1 * i);
    js.velocity.push_back(0.01 * i);
    js.effort.push_back(1.0 * i);
  }
  return js;
}

void BM_PublishJointState(benchmark::State& state) {
  auto node = std::make_shared<ros2::Node>("bench_js");
  auto pub = node->create_publisher<sensor_msgs::msg::JointState>("current_actual_joint", 10);
  auto js = joint_state();
  for (auto _ : state) {
    js.header.stamp = node->now();
    pub->publish(js);
  }
}
BENCHMARK(BM_PublishJointState);

void BM_PublishFloat64MultiArray(benchmark::State& state) {
  auto node = std::make_shared<ros2::Node>("bench_f64");
  auto pub = node->create_publisher<std_msgs::msg::Float64MultiArray>("dynamic_torque", 10);
  std_msgs::msg::Float64MultiArray m;
  m.data = {1, 2, 3, 4, 5};
  for (auto _ : state) pub->publish(m);
}
BENCHMARK(BM_PublishFloat64MultiArray);

// Publishing with a subscriber in another process, which adds the loopback send.
void BM_PublishJointStateToRemoteReader(benchmark::State& state) {
  auto node = std::make_shared<ros2::Node>("bench_js_remote");
  auto pub = node->create_publisher<sensor_msgs::msg::JointState>("bench_ping_js", 10);
  pid_t pid = 0;
  char* argv[] = {g_self.data(), const_cast<char*>("--echo-peer"), nullptr};
  posix_spawn(&pid, g_self.c_str(), nullptr, nullptr, argv, environ);
  if (!ros2_test::wait_until([&] { return pub->get_subscription_count() > 0; }, 10000ms)) {
    state.SkipWithError("peer did not subscribe");
  }
  auto js = joint_state();
  for (auto _ : state) pub->publish(js);
  kill(pid, SIGINT);
  waitpid(pid, nullptr, 0);
}
BENCHMARK(BM_PublishJointStateToRemoteReader);

void BM_PingPongFloat64MultiArray(benchmark::State& state) {
  auto node = std::make_shared<ros2::Node>("bench_ping");
  std::atomic<int> pongs{0};
  auto pub = node->create_publisher<std_msgs::msg::Float64MultiArray>("bench_ping", 10);
  auto sub = node->create_subscription<std_msgs::msg::Float64MultiArray>(
      "bench_pong", 10, [&](const std_msgs::msg::Float64MultiArray&) { pongs.fetch_add(1); });
  pid_t pid = 0;
  char* argv[] = {g_self.data(), const_cast<char*>("--echo-peer"), nullptr};
  posix_spawn(&pid, g_self.c_str(), nullptr, nullptr, argv, environ);
  ros2::Executor exec;
  exec.add_node(node);
  std_msgs::msg::Float64MultiArray m;
  m.data = {1, 2, 3, 4, 5};
  // Wait until one exchange goes through (discovery in both directions).
  bool ready = false;
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (!ready && std::chrono::steady_clock::now() < end) {
    pub->publish(m);
    exec.spin_once(20ms);
    ready = pongs.load() > 0;
  }
  if (!ready) state.SkipWithError("peer did not answer");
  exec.spin_some();
  std::vector<double> rtt_us;
  rtt_us.reserve(100000);
  for (auto _ : state) {
    const int before = pongs.load();
    const auto t0 = std::chrono::steady_clock::now();
    pub->publish(m);
    while (pongs.load() == before) exec.spin_once(100ms);
    rtt_us.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
  }
  kill(pid, SIGINT);
  waitpid(pid, nullptr, 0);
  if (rtt_us.empty()) return;
  std::sort(rtt_us.begin(), rtt_us.end());
  auto pct = [&](double p) { return rtt_us[static_cast<size_t>(p * (rtt_us.size() - 1))]; };
  state.counters["rtt_p50_us"] = pct(0.50);
  state.counters["rtt_p99_us"] = pct(0.99);
  state.counters["one_way_p50_us"] = pct(0.50) / 2;
  state.counters["one_way_p99_us"] = pct(0.99) / 2;
}
BENCHMARK(BM_PingPongFloat64MultiArray)->Iterations(20000);

int run_echo_peer() {
  const char* argv[] = {"echo_peer"};
  ros2::init(1, argv);
  auto node = std::make_shared<ros2::Node>("bench_echo");
  auto pong = node->create_publisher<std_msgs::msg::Float64MultiArray>("bench_pong", 10);
  auto ping = node->create_subscription<std_msgs::msg::Float64MultiArray>(
      "bench_ping", 10, [&](const std_msgs::msg::Float64MultiArray& m) { pong->publish(m); });
  auto sink = node->create_subscription<sensor_msgs::msg::JointState>(
      "bench_ping_js", 10, [](const sensor_msgs::msg::JointState&) {});
  ros2::spin(node);
  ros2::shutdown();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--echo-peer") == 0) return run_echo_peer();
  g_self = argv[0];
  ros2_test::use_private_loopback_domain();
  const char* ros_argv[] = {"ros2_bench"};
  ros2::init(1, ros_argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  ros2::shutdown();
  return 0;
}
