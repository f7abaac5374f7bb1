// Soak run of the whole controller: brenvik_robot as a child process on the simulated arm, and a
// client that sends it a random stream of commands over loopback DDS for a number of minutes,
// valid and invalid, of every kind (joint moves, spline moves, moves to a pose, trajectory goals
// and their cancels, stop, recover, enable and disable, set home, control IO, the switches and
// the collision sensitivity). At the end it reports:
//   - commands sent, by kind;
//   - commands completed, by outcome: trajectory goals by their result, the other commands by the
//     controller's own console lines about them;
//   - the controller's period overruns and its largest lateness;
//   - the controller's memory (resident set) a few seconds after start and at the end;
//   - status samples lost: per topic the samples received against 200 Hz, and the gaps in the
//     header stamps of current_actual_joint.
//
//   soak MINUTES [SEED]      (SEED defaults to 1; the same seed sends the same stream)

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
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "robot_factory/utility/load_robot_para.h"
#include "robot_model/brenvik_bot_v3_kinematics.h"
#include "ros2/action.h"
#include "ros2/executor.h"
#include "ros2/init.h"
#include "ros2/msg/control_msgs.h"
#include "ros2/msg/geometry_msgs.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/node.h"
#include "support/ros2_test_env.h"

namespace brenvik::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using FollowJointTrajectory = control_msgs::action::FollowJointTrajectory;
using std_msgs::msg::Bool;
using std_msgs::msg::Float64MultiArray;
using std_msgs::msg::Int32MultiArray;

constexpr int64_t kPeriodNs = 5'000'000;
constexpr int64_t kGapNs = 7'500'000;  // a stamp gap above 1.5 periods: samples are missing

constexpr const char* kStatusTopics[] = {"current_actual_joint", "current_reference_joint",
                                         "enable_flag",          "dynamic_torque_estimate",
                                         "is_collision_flag",    "tcp_pose",
                                         "collision_data",       "unnormal_flag"};
constexpr int kStatusTopicCount = 8;

// What the controller prints about a command's end, counted in its console log.
struct Outcome {
  const char* label;
  const char* text;
};
constexpr Outcome kOutcomes[] = {
    {"joint move reached its goal", "The trajectory executes success."},
    {"joint move failed (20 s limit or collision)", "time is over 20s or collision!"},
    {"joint move stopped: drives off", "enable is OFF, the trajectory can not be executed!"},
    {"controlled stops started", "periods to stop."},
    {"control IO finished", "Ctrl io command Finish."},
    {"control IO timed out", "Ctrl io command time out error!!!"},
    {"drives enabled or disabled", "The motors have been setEnable success."},
    {"enable or disable timed out", "enable or disable cmd time out error!!!"},
    {"set home succeeded", "set home SUCCESS!"},
    {"set home failed", "set home failed!"},
    {"recover succeeded", "recover cmd success!"},
    {"recover refused", "recover cmd ERROR!"},
    {"collisions detected", "The arm get collision."},
    {"motion refused: status ERROR or worse", "ROBOTSTATUS()>=RobotStatus::ERROR"},
    {"joint move refused: message size", "MOVJ get data size is ERROR"},
    {"move refused: planning failed", "planAllJoints Failed"},
    {"move refused: over range", "is over range"},
    {"move refused: leaves a limit", "leaves its limits"},
    {"pose move refused: no solution", "Do not get solution of the objective pos6D"},
    {"motor write errors", "The MOTOR write error."},
    {"motor read errors", "peroid update status error!"},
};

long residentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      return std::atol(line.c_str() + 6);
    }
  }
  return -1;
}

class Soak {
 public:
  Soak(double minutes, unsigned seed) : minutes_(minutes), random_(seed) {}

  int run();

 private:
  pid_t startController(const std::string& log_path);
  void connect();
  void sendRandomCommand();
  std::vector<double> randomJoints(double margin);
  double uniform(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random_);
  }
  bool chance(double p) { return std::bernoulli_distribution(p)(random_); }
  void sendMovj();
  void sendSpline();
  void sendPose();
  void sendGoal();
  void report(pid_t pid, const std::string& log_path, double window, long rss_start, long rss_end);

  double minutes_;
  std::mt19937_64 random_;
  RobotPara para_;
  std::shared_ptr<BrenvikBotV3Kinematics> kinematics_;
  std::shared_ptr<ros2::Node> node_;
  std::map<std::string, ros2::Publisher<Float64MultiArray>::SharedPtr> arrays_;
  std::map<std::string, ros2::Publisher<Bool>::SharedPtr> flags_;
  std::map<std::string, ros2::Publisher<std_msgs::msg::String>::SharedPtr> texts_;
  ros2::Publisher<Int32MultiArray>::SharedPtr ctrl_io_;
  ros2::action::Client<FollowJointTrajectory>::SharedPtr action_;
  std::vector<std::shared_ptr<ros2::SubscriptionBase>> subscriptions_;

  std::mutex mutex_;
  bool measuring_ = false;
  std::array<size_t, kStatusTopicCount> received_{};
  std::vector<int64_t> stamps_;
  std::vector<double> actual_;
  std::map<std::string, size_t> sent_;
  std::map<std::string, size_t> goal_results_;
  std::vector<ros2::action::ClientGoalHandle<FollowJointTrajectory>::SharedPtr> active_goals_;
};

pid_t Soak::startController(const std::string& log_path) {
  std::vector<std::string> args = {BRENVIK_ROBOT_EXECUTABLE, "--robot-para-file",
                                   BRENVIK_SIM_PARA_FILE};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int out = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
  return pid;
}

void Soak::connect() {
  node_ = std::make_shared<ros2::Node>("brenvik_soak");
  for (const char* topic : {"movj_topic", "movj_s_topic", "movj_to_pose_topic", "movL_topic",
                            "set_collision_sensitivity_topic"}) {
    arrays_[topic] = node_->create_publisher<Float64MultiArray>(topic, 10);
  }
  for (const char* topic : {"serve_on_topic", "recover_topic", "collision_enable_topic",
                            "drag_teaching_enable_topic"}) {
    flags_[topic] = node_->create_publisher<Bool>(topic, 10);
  }
  for (const char* topic : {"stop_topic", "set_home_topic"}) {
    texts_[topic] = node_->create_publisher<std_msgs::msg::String>(topic, 10);
  }
  ctrl_io_ = node_->create_publisher<Int32MultiArray>("ctrl_io_topic", 10);
  action_ = ros2::action::create_client<FollowJointTrajectory>(node_, "follow_joint_trajectory");

  const ros2::QoS qos(10);
  subscriptions_.push_back(node_->create_subscription<sensor_msgs::msg::JointState>(
      kStatusTopics[0], qos, [this](const sensor_msgs::msg::JointState& msg) {
        std::lock_guard<std::mutex> lock(mutex_);
        actual_ = msg.position;
        if (!measuring_) return;
        ++received_[0];
        stamps_.push_back(ros2::Time(msg.header.stamp).nanoseconds());
      }));
  auto count = [this](int topic) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (measuring_) ++received_[topic];
  };
  subscriptions_.push_back(node_->create_subscription<sensor_msgs::msg::JointState>(
      kStatusTopics[1], qos, [count](const sensor_msgs::msg::JointState&) { count(1); }));
  for (int topic : {2, 4, 7}) {
    subscriptions_.push_back(node_->create_subscription<Bool>(
        kStatusTopics[topic], qos, [count, topic](const Bool&) { count(topic); }));
  }
  for (int topic : {3, 6}) {
    subscriptions_.push_back(node_->create_subscription<Float64MultiArray>(
        kStatusTopics[topic], qos, [count, topic](const Float64MultiArray&) { count(topic); }));
  }
  subscriptions_.push_back(node_->create_subscription<geometry_msgs::msg::Pose>(
      kStatusTopics[5], qos, [count](const geometry_msgs::msg::Pose&) { count(5); }));
}

std::vector<double> Soak::randomJoints(double margin) {
  std::vector<double> q(para_.axis_num);
  for (int i = 0; i < para_.axis_num; ++i) {
    const AxisPara& axis = para_.axis_paras[i];
    const double half = 0.5 * (axis.max_joint_pos - axis.min_joint_pos) * margin;
    const double mid = 0.5 * (axis.max_joint_pos + axis.min_joint_pos);
    q[i] = uniform(mid - half, mid + half);
  }
  return q;
}

void Soak::sendMovj() {
  Float64MultiArray msg;
  msg.data = randomJoints(0.8);
  msg.data.push_back(uniform(0.1, 1.0));
  if (chance(0.5)) msg.data.push_back(uniform(0.1, 1.0));
  if (chance(0.1)) {
    // Refused or corrected by the controller: a wrong length, a target out of range, a NaN, a
    // scale out of range.
    switch (std::uniform_int_distribution<int>(0, 3)(random_)) {
      case 0:
        msg.data.resize(2);
        break;
      case 1:
        msg.data[0] = 10.0;
        break;
      case 2:
        msg.data[1] = std::nan("");
        break;
      default:
        msg.data.back() = 3.0;
        break;
    }
    ++sent_["movj (invalid)"];
  } else {
    ++sent_["movj"];
  }
  arrays_["movj_topic"]->publish(msg);
}

void Soak::sendSpline() {
  const int points = std::uniform_int_distribution<int>(4, 6)(random_);
  const int values = para_.axis_num + 1;
  Float64MultiArray msg;
  msg.layout.dim.resize(2);
  msg.layout.dim[0].size = points;
  msg.layout.dim[1].size = values;
  double t = 0.0;
  for (int k = 0; k < points; ++k) {
    // The first point comes after 0 s: the spline starts where the arm is.
    t += uniform(1.0, 2.0);
    for (double q : randomJoints(0.3)) msg.data.push_back(q);
    msg.data.push_back(t);
  }
  ++sent_["movj_s"];
  arrays_["movj_s_topic"]->publish(msg);
}

void Soak::sendPose() {
  const Eigen::Matrix4d pose = kinematics_->forwardKinematics(randomJoints(0.5));
  const Eigen::Quaterniond q(Eigen::Matrix3d(pose.block<3, 3>(0, 0)));
  Float64MultiArray msg;
  msg.data = {pose(0, 3), pose(1, 3), pose(2, 3), q.x(), q.y(), q.z(), q.w(), uniform(0.2, 1.0)};
  ++sent_["movj_to_pose"];
  arrays_["movj_to_pose_topic"]->publish(msg);
}

void Soak::sendGoal() {
  FollowJointTrajectory::Goal goal;
  for (int i = 0; i < para_.axis_num; ++i) {
    goal.trajectory.joint_names.push_back("joint" + std::to_string(i + 1));
  }
  const int points = std::uniform_int_distribution<int>(4, 8)(random_);
  double t = 0.0;
  for (int k = 0; k < points; ++k) {
    t += uniform(0.8, 1.5);
    trajectory_msgs::msg::JointTrajectoryPoint point;
    point.positions = randomJoints(0.3);
    point.time_from_start.sec = static_cast<int32_t>(t);
    point.time_from_start.nanosec = static_cast<uint32_t>((t - std::floor(t)) * 1e9);
    goal.trajectory.points.push_back(point);
  }
  ros2::action::Client<FollowJointTrajectory>::SendGoalOptions options;
  options.goal_response_callback = [this](auto handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!handle) {
      ++goal_results_["rejected"];
      return;
    }
    active_goals_.push_back(handle);
  };
  options.result_callback = [this](const auto& wrapped) {
    static const std::map<ros2::action::ResultCode, const char*> kNames = {
        {ros2::action::ResultCode::SUCCEEDED, "succeeded"},
        {ros2::action::ResultCode::ABORTED, "aborted"},
        {ros2::action::ResultCode::CANCELED, "canceled"}};
    std::lock_guard<std::mutex> lock(mutex_);
    const auto name = kNames.find(wrapped.code);
    ++goal_results_[name != kNames.end() ? name->second : "unknown"];
    active_goals_.erase(std::remove_if(active_goals_.begin(), active_goals_.end(),
                                       [&](const auto& handle) {
                                         return handle->get_goal_id() == wrapped.goal_id;
                                       }),
                        active_goals_.end());
  };
  ++sent_["trajectory goal"];
  action_->async_send_goal(goal, options);
}

void Soak::sendRandomCommand() {
  // Weights of the kinds of command, in the order of the cases below.
  static const std::vector<double> kWeights = {30, 8, 6, 10, 3, 4, 4, 4, 1, 6, 2, 2, 2, 1, 2};
  std::discrete_distribution<int> kind(kWeights.begin(), kWeights.end());
  std_msgs::msg::String text;
  text.data = "soak";
  switch (kind(random_)) {
    case 0:
      sendMovj();
      break;
    case 1:
      sendSpline();
      break;
    case 2:
      sendPose();
      break;
    case 3:
      sendGoal();
      break;
    case 4: {
      std::lock_guard<std::mutex> lock(mutex_);
      if (active_goals_.empty()) break;
      ++sent_["goal cancel"];
      action_->async_cancel_goal(active_goals_.back());
      break;
    }
    case 5:
      ++sent_["stop"];
      texts_["stop_topic"]->publish(text);
      break;
    case 6:
    case 7:
      ++sent_["recover"];
      flags_["recover_topic"]->publish(Bool{true});
      break;
    case 8:
      ++sent_["serve_on false"];
      flags_["serve_on_topic"]->publish(Bool{false});
      break;
    case 9:
      ++sent_["serve_on true"];
      flags_["serve_on_topic"]->publish(Bool{true});
      break;
    case 10: {
      Int32MultiArray msg;
      msg.data = {std::uniform_int_distribution<int>(0, 3)(random_),
                  std::uniform_int_distribution<int>(-1, 2)(random_)};
      ++sent_["ctrl_io"];
      ctrl_io_->publish(msg);
      break;
    }
    case 11:
      ++sent_["collision_enable"];
      flags_["collision_enable_topic"]->publish(Bool{chance(0.5)});
      break;
    case 12:
      ++sent_["drag_teaching_enable"];
      flags_["drag_teaching_enable_topic"]->publish(Bool{chance(0.5)});
      break;
    case 13:
      ++sent_["set_home"];
      texts_["set_home_topic"]->publish(text);
      break;
    default: {
      Float64MultiArray msg;
      msg.data = {static_cast<double>(std::uniform_int_distribution<int>(0, 3)(random_)),
                  uniform(0.5, 2.0)};
      ++sent_["collision sensitivity"];
      arrays_["set_collision_sensitivity_topic"]->publish(msg);
      break;
    }
  }
}

void Soak::report(pid_t pid, const std::string& log_path, double window, long rss_start,
                  long rss_end) {
  std::map<std::string, size_t> outcomes;
  size_t overruns = 0;
  double largest_lateness_ms = 0.0;
  size_t dropped_console_lines = 0;
  {
    std::ifstream log(log_path);
    std::string line;
    const std::string overrun_marker = "work ended ";
    while (std::getline(log, line)) {
      for (const Outcome& outcome : kOutcomes) {
        if (line.find(outcome.text) != std::string::npos) ++outcomes[outcome.label];
      }
      const size_t at = line.find(overrun_marker);
      if (line.find("Control period overrun") != std::string::npos && at != std::string::npos) {
        ++overruns;
        largest_lateness_ms =
            std::max(largest_lateness_ms, std::atof(line.c_str() + at + overrun_marker.size()));
      }
      if (line.find("console lines dropped") != std::string::npos) ++dropped_console_lines;
    }
  }

  size_t total = 0;
  std::printf("soak: brenvik_robot (pid %d) on the simulated arm, %.1f min of commands\n",
              static_cast<int>(pid), window / 60.0);
  std::printf("\ncommands sent\n");
  for (const auto& [kind, n] : sent_) {
    std::printf("  %-40s %8zu\n", kind.c_str(), n);
    total += n;
  }
  std::printf("  %-40s %8zu\n", "all", total);
  std::printf("\ntrajectory goals completed\n");
  for (const auto& [result, n] : goal_results_) std::printf("  %-40s %8zu\n", result.c_str(), n);
  std::printf("\ncommands completed, from the controller's console lines\n");
  for (const Outcome& outcome : kOutcomes) {
    std::printf("  %-52s %8zu\n", outcome.label, outcomes[outcome.label]);
  }
  std::printf("\ncontroller period overruns: %zu, largest lateness %.3f ms\n", overruns,
              largest_lateness_ms);
  std::printf("controller lines about dropped console lines: %zu\n", dropped_console_lines);
  std::printf("controller resident memory: %ld KiB after start, %ld KiB at the end\n", rss_start,
              rss_end);

  const double expected = window * 1e9 / static_cast<double>(kPeriodNs);
  std::printf("\nstatus samples over %.1f s (%.0f expected per topic)\n", window, expected);
  for (int topic = 0; topic < kStatusTopicCount; ++topic) {
    std::printf("  %-26s %10zu received\n", kStatusTopics[topic], received_[topic]);
  }
  size_t gaps = 0;
  int64_t largest_gap = 0;
  for (size_t k = 1; k < stamps_.size(); ++k) {
    const int64_t gap = stamps_[k] - stamps_[k - 1];
    largest_gap = std::max(largest_gap, gap);
    if (gap > kGapNs) ++gaps;
  }
  int64_t missing = 0;
  if (stamps_.size() > 1) {
    const int64_t span = (stamps_.back() - stamps_.front() + kPeriodNs / 2) / kPeriodNs;
    missing = span + 1 - static_cast<int64_t>(stamps_.size());
  }
  std::printf(
      "current_actual_joint: %lld samples missing over the span of its stamps, %zu gaps above "
      "7.5 ms, largest gap %.3f ms\n",
      static_cast<long long>(missing), gaps, static_cast<double>(largest_gap) * 1e-6);
  std::printf("controller log: %s\n", log_path.c_str());
}

int Soak::run() {
  ros2_test::use_private_loopback_domain();
  {
    // The loader's summary would bury the report: it goes to /dev/null.
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(null);
    LoadRobotPara loader;
    const int loaded = loader.load(BRENVIK_SIM_PARA_FILE, para_);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    if (loaded != load_result::kOk) {
      std::fprintf(stderr, "soak: cannot load %s\n", BRENVIK_SIM_PARA_FILE);
      return 1;
    }
  }
  kinematics_ = std::make_shared<BrenvikBotV3Kinematics>();
  static_cast<void>(kinematics_->setMdhPara(para_.mdh_para.zds, para_.mdh_para.xas,
                                            para_.mdh_para.alphas, para_.mdh_para.qzeros));

  const std::string log_path = "/tmp/brenvik_soak_" + std::to_string(getpid()) + ".log";
  const pid_t pid = startController(log_path);
  if (pid < 0) return 1;

  const char* argv[] = {"soak", "--ros-args", "--log-level", "warn"};
  ros2::init(4, argv);
  connect();
  ros2::Executor executor;
  executor.add_node(node_);
  std::thread spinner([&] { executor.spin(); });

  const bool ready = ros2_test::wait_until(
      [&] {
        return action_->action_server_is_ready() &&
               std::all_of(subscriptions_.begin(), subscriptions_.end(),
                           [](const auto& sub) { return sub->get_publisher_count() > 0; });
      },
      20000ms);
  if (!ready) {
    std::fprintf(stderr, "soak: the controller did not come up (log: %s)\n", log_path.c_str());
    ros2::shutdown();
    spinner.join();
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return 1;
  }
  std::this_thread::sleep_for(2s);
  const long rss_start = residentKiB(pid);
  flags_["serve_on_topic"]->publish(Bool{true});
  {
    std::lock_guard<std::mutex> lock(mutex_);
    measuring_ = true;
  }
  const auto begin = Clock::now();
  const auto end = begin + std::chrono::duration<double>(minutes_ * 60.0);
  std::uniform_int_distribution<int> pause_ms(20, 400);
  while (Clock::now() < end && ros2::ok()) {
    sendRandomCommand();
    std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms(random_)));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    measuring_ = false;
  }
  const double window = std::chrono::duration<double>(Clock::now() - begin).count();
  // Let the last commands end before the memory is read.
  std_msgs::msg::String text;
  text.data = "soak ends";
  texts_["stop_topic"]->publish(text);
  std::this_thread::sleep_for(3s);
  const long rss_end = residentKiB(pid);

  kill(pid, SIGINT);
  int status = 0;
  if (!ros2_test::wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 15000ms)) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  ros2::shutdown();
  spinner.join();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    report(pid, log_path, window, rss_start, rss_end);
  }
  const bool clean_exit = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  std::printf("controller exit: %s\n", clean_exit ? "status 0" : "not clean");
  return clean_exit ? 0 : 1;
}

}  // namespace
}  // namespace brenvik::bench

int main(int argc, char** argv) {
  const double minutes = argc > 1 ? std::atof(argv[1]) : 0.0;
  if (minutes <= 0.0 || argc > 3) {
    std::fprintf(stderr, "usage: %s MINUTES [SEED]\n", argv[0]);
    return 2;
  }
  const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1;
  return brenvik::bench::Soak(minutes, seed).run();
}
