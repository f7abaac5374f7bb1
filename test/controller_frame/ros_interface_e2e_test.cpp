// End-to-end tests of the controller's ROS 2 interface: brenvik_robot runs as a child process on
// the simulated arm (config/brenvik_v5_sim.yaml) and a client node of this process commands it
// over loopback DDS, as another ROS 2 program would. The tests watch what a client can see: the
// status topics, the action results and feedback, the console and the exit status.
//
// Each test process uses a DDS domain of its own (inherited by the child) and ends its child in
// every case: SIGINT first, SIGKILL when it does not exit in time.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ros2/action.h"
#include "ros2/executor.h"
#include "ros2/init.h"
#include "ros2/msg/control_msgs.h"
#include "ros2/msg/geometry_msgs.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/node.h"
#include "support/ros2_test_env.h"

namespace {

using namespace std::chrono_literals;
using FollowJointTrajectory = control_msgs::action::FollowJointTrajectory;
using Joints = std::vector<double>;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Bounds of the polls: generous, since a poll ends as soon as its condition holds.
constexpr std::chrono::milliseconds kDeadline = kSanitized ? 30000ms : 15000ms;
constexpr std::chrono::milliseconds kExitDeadline = kSanitized ? 20000ms : 10000ms;

constexpr int kAxes = 5;
constexpr double kPeriod = 0.005;         // s, the control period
constexpr double kReachTolerance = 1e-3;  // rad; the simulated motors follow at once
constexpr double kMaxJointVel[kAxes] = {1.5, 1.2, 1.5, 2.0, 2.5};  // rad/s, from the sim file

// The status topics, in the order of the counters below.
enum Topic {
  kActualJoint,
  kReferenceJoint,
  kEnableFlag,
  kTorqueEstimate,
  kIsCollision,
  kTcpPose,
  kCollisionData,
  kUnnormalFlag,
  kTopicCount
};
constexpr const char* kTopicNames[kTopicCount] = {"current_actual_joint", "current_reference_joint",
                                                  "enable_flag",          "dynamic_torque_estimate",
                                                  "is_collision_flag",    "tcp_pose",
                                                  "collision_data",       "unnormal_flag"};

// The controller as a child process, its standard output and error collected by a reader thread.
class ControllerProcess {
 public:
  explicit ControllerProcess(const std::vector<std::string>& args) {
    std::vector<std::string> all = {BRENVIK_ROBOT_EXECUTABLE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      ADD_FAILURE() << "pipe2: " << errno;
      return;
    }
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls until exec. The child dies with this process, so that not
      // even a crashed or killed test leaves a controller behind.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
      dup2(fds[1], STDOUT_FILENO);
      dup2(fds[1], STDERR_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
      ADD_FAILURE() << "fork: " << errno;
      close(fds[0]);
      return;
    }
    out_ = fds[0];
    reader_ = std::thread([this] { readOutput(); });
  }

  ~ControllerProcess() {
    if (pid_ > 0 && exit_status_ == kRunning) {
      stop(SIGINT);
      if (exit_status_ == kRunning) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
      }
    }
    if (reader_.joinable()) reader_.join();
    if (out_ >= 0) close(out_);
  }

  ControllerProcess(const ControllerProcess&) = delete;
  ControllerProcess& operator=(const ControllerProcess&) = delete;

  // Sends sig and waits for the exit; the exit status, or -1 when the process did not end in time.
  int stop(int sig) {
    if (pid_ > 0 && exit_status_ == kRunning) kill(pid_, sig);
    return waitForExit(kExitDeadline);
  }

  bool running() { return !poll(); }

  // The exit status (128 + the signal's number after a signal), or -1 while it still runs.
  int waitForExit(std::chrono::milliseconds deadline) {
    ros2_test::wait_until([&] { return poll(); }, deadline);
    return exit_status_ == kRunning ? -1 : exit_status_;
  }

  std::string output() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
  }

  bool printed(const std::string& text) const { return output().find(text) != std::string::npos; }

  size_t countPrinted(const std::string& text) const {
    const std::string all = output();
    size_t count = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
      ++count;
    }
    return count;
  }

 private:
  static constexpr int kRunning = -1;

  bool poll() {
    if (pid_ <= 0) return true;
    if (exit_status_ != kRunning) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
  }

  void readOutput() {
    char buffer[4096];
    while (true) {
      const ssize_t n = read(out_, buffer, sizeof(buffer));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      std::lock_guard<std::mutex> lock(mutex_);
      output_.append(buffer, static_cast<size_t>(n));
    }
  }

  pid_t pid_ = -1;
  int exit_status_ = kRunning;
  int out_ = -1;
  std::thread reader_;
  mutable std::mutex mutex_;
  std::string output_;
};

struct Sample {
  int64_t stamp_ns = 0;
  Joints positions;
};

// A client node of the controller: publishers on its command topics, subscriptions to its
// status topics, the trajectory action client. Everything runs on the test's thread, in the
// executor that spinUntil spins.
class ControllerOverDds : public ::testing::Test {
 protected:
  void SetUp() override {
    ros2_test::use_private_loopback_domain();
    const char* argv[] = {"ros_interface_e2e_test"};
    ros2::init(1, argv);
    node_ = std::make_shared<ros2::Node>("e2e_client");
    executor_.add_node(node_);
    subscribeToStatus();
    movj_ = publisher<std_msgs::msg::Float64MultiArray>("movj_topic");
    movs_ = publisher<std_msgs::msg::Float64MultiArray>("movj_s_topic");
    movj_to_pose_ = publisher<std_msgs::msg::Float64MultiArray>("movj_to_pose_topic");
    stop_ = publisher<std_msgs::msg::String>("stop_topic");
    serve_on_ = publisher<std_msgs::msg::Bool>("serve_on_topic");
    set_home_ = publisher<std_msgs::msg::String>("set_home_topic");
    ctrl_io_ = publisher<std_msgs::msg::Int32MultiArray>("ctrl_io_topic");
    recover_ = publisher<std_msgs::msg::Bool>("recover_topic");
    collision_enable_ = publisher<std_msgs::msg::Bool>("collision_enable_topic");
    sensitivity_ = publisher<std_msgs::msg::Float64MultiArray>("set_collision_sensitivity_topic");
  }

  // Every test ends with an orderly shut-down of a controller still running, and no sanitizer
  // report from it.
  void TearDown() override {
    if (controller_) {
      if (controller_->running()) {
        EXPECT_EQ(controller_->stop(SIGINT), 0) << controller_->output();
      }
      for (const char* report : {"ThreadSanitizer", "AddressSanitizer", "LeakSanitizer",
                                 "runtime error:", "double free"}) {
        EXPECT_FALSE(controller_->printed(report)) << controller_->output();
      }
    }
    controller_.reset();
    ros2::shutdown();
  }

  template <class T>
  typename ros2::Publisher<T>::SharedPtr publisher(const std::string& topic) {
    return node_->create_publisher<T>(topic, ros2::QoS(10));
  }

  void subscribeToStatus() {
    // Deep queues: no status sample is dropped on this side between two spins.
    const ros2::QoS qos(500);
    auto joint_state = [this, &qos](Topic topic, std::vector<Sample>& history,
                                    sensor_msgs::msg::JointState& latest) {
      return node_->create_subscription<sensor_msgs::msg::JointState>(
          kTopicNames[topic], qos,
          [this, topic, &history, &latest](const sensor_msgs::msg::JointState& msg) {
            ++counts_[topic];
            latest = msg;
            history.push_back({ros2::Time(msg.header.stamp).nanoseconds(), msg.position});
          });
    };
    auto flag = [this, &qos](Topic topic, bool& latest) {
      return node_->create_subscription<std_msgs::msg::Bool>(
          kTopicNames[topic], qos, [this, topic, &latest](const std_msgs::msg::Bool& msg) {
            ++counts_[topic];
            latest = msg.data;
          });
    };
    auto array = [this, &qos](Topic topic, Joints& latest) {
      return node_->create_subscription<std_msgs::msg::Float64MultiArray>(
          kTopicNames[topic], qos,
          [this, topic, &latest](const std_msgs::msg::Float64MultiArray& msg) {
            ++counts_[topic];
            latest = msg.data;
          });
    };
    status_subs_.push_back(joint_state(kActualJoint, actual_history_, actual_));
    status_subs_.push_back(joint_state(kReferenceJoint, reference_history_, reference_));
    status_subs_.push_back(flag(kEnableFlag, enable_flag_));
    status_subs_.push_back(array(kTorqueEstimate, torque_estimate_));
    status_subs_.push_back(flag(kIsCollision, is_collision_));
    status_subs_.push_back(node_->create_subscription<geometry_msgs::msg::Pose>(
        kTopicNames[kTcpPose], qos, [this](const geometry_msgs::msg::Pose& msg) {
          ++counts_[kTcpPose];
          tcp_pose_ = msg;
        }));
    status_subs_.push_back(array(kCollisionData, collision_data_));
    status_subs_.push_back(flag(kUnnormalFlag, unnormal_flag_));
  }

  // Spins the client until pred holds or the deadline passes; returns the last result.
  template <class Pred>
  bool spinUntil(Pred pred, std::chrono::milliseconds deadline = kDeadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!pred()) {
      if (std::chrono::steady_clock::now() >= end) return pred();
      executor_.spin_once(5ms);
    }
    return true;
  }

  // Starts the controller on the simulated arm and waits until all of its status topics arrive.
  ::testing::AssertionResult startController(const std::vector<std::string>& ros_args = {}) {
    std::vector<std::string> args = {"--robot-para-file", BRENVIK_SIM_PARA_FILE};
    args.insert(args.end(), ros_args.begin(), ros_args.end());
    controller_ = std::make_unique<ControllerProcess>(args);
    const bool up = spinUntil([&] {
      return std::all_of(counts_.begin(), counts_.end(), [](size_t n) { return n > 0; });
    });
    if (!up) {
      return ::testing::AssertionFailure() << "the status topics did not arrive; console:\n"
                                           << controller_->output();
    }
    return ::testing::AssertionSuccess();
  }

  // Publishes once the controller's subscription has matched the publisher.
  template <class T>
  ::testing::AssertionResult send(const typename ros2::Publisher<T>::SharedPtr& pub, const T& msg) {
    if (!spinUntil([&] { return pub->get_subscription_count() > 0; })) {
      return ::testing::AssertionFailure() << "nothing subscribes to " << pub->get_topic_name();
    }
    pub->publish(msg);
    return ::testing::AssertionSuccess();
  }

  ::testing::AssertionResult sendMovj(const Joints& target, double vel_scale = 1.0) {
    return sendMovjOn(movj_, target, vel_scale);
  }

  ::testing::AssertionResult sendMovjOn(
      const ros2::Publisher<std_msgs::msg::Float64MultiArray>::SharedPtr& pub, const Joints& target,
      double vel_scale = 1.0) {
    std_msgs::msg::Float64MultiArray msg;
    msg.data = target;
    msg.data.push_back(vel_scale);
    return send(pub, msg);
  }

  ::testing::AssertionResult sendString(
      const ros2::Publisher<std_msgs::msg::String>::SharedPtr& pub, const std::string& text) {
    std_msgs::msg::String msg;
    msg.data = text;
    return send(pub, msg);
  }

  ::testing::AssertionResult sendBool(const ros2::Publisher<std_msgs::msg::Bool>::SharedPtr& pub,
                                      bool value) {
    std_msgs::msg::Bool msg;
    msg.data = value;
    return send(pub, msg);
  }

  ::testing::AssertionResult sendCtrlIo(const std::vector<int32_t>& data) {
    std_msgs::msg::Int32MultiArray msg;
    msg.data = data;
    return send(ctrl_io_, msg);
  }

  ::testing::AssertionResult sendSensitivity(const Joints& command) {
    std_msgs::msg::Float64MultiArray msg;
    msg.data = command;
    return send(sensitivity_, msg);
  }

  // Spline move on movj_s_topic: one row of kAxes joint values and a time per point.
  ::testing::AssertionResult sendSpline(const std::vector<Joints>& points,
                                        const std::vector<double>& times) {
    const size_t values_per_point = kAxes + 1;
    std_msgs::msg::Float64MultiArray msg;
    std_msgs::msg::MultiArrayDimension rows;
    rows.label = "points";
    rows.size = static_cast<uint32_t>(points.size());
    rows.stride = static_cast<uint32_t>(points.size() * values_per_point);
    std_msgs::msg::MultiArrayDimension columns;
    columns.label = "values";
    columns.size = static_cast<uint32_t>(values_per_point);
    columns.stride = static_cast<uint32_t>(values_per_point);
    msg.layout.dim = {rows, columns};
    for (size_t k = 0; k < points.size(); ++k) {
      msg.data.insert(msg.data.end(), points[k].begin(), points[k].end());
      msg.data.push_back(times[k]);
    }
    return send(movs_, msg);
  }

  // Enables the drives and waits for enable_flag and for the end of the enable command.
  ::testing::AssertionResult serveOn() {
    const std::string done = "The motors have been setEnable success.";
    const size_t before = controller_->countPrinted(done);
    ::testing::AssertionResult sent = sendBool(serve_on_, true);
    if (!sent) return sent;
    if (!spinUntil([&] { return enable_flag_ && controller_->countPrinted(done) > before; })) {
      return ::testing::AssertionFailure() << "enable_flag stayed false; console:\n"
                                           << controller_->output();
    }
    return ::testing::AssertionSuccess();
  }

  static bool near(const Joints& a, const Joints& b, double tolerance) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (!(std::fabs(a[i] - b[i]) <= tolerance)) return false;
    }
    return true;
  }

  // Waits until current_actual_joint shows target.
  ::testing::AssertionResult reaches(const Joints& target, double tolerance = kReachTolerance) {
    if (spinUntil([&] { return near(actual_.position, target, tolerance); })) {
      return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << "the arm did not reach [";
    for (double q : target) failure << q << " ";
    failure << "], it is at [";
    for (double q : actual_.position) failure << q << " ";
    return failure << "]; console:\n" << controller_->output();
  }

  // Waits until axis 1 of current_actual_joint has passed position (moving upwards).
  ::testing::AssertionResult passes(double position) {
    if (spinUntil([&] { return !actual_.position.empty() && actual_.position[0] > position; })) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "axis 1 never passed " << position << "; console:\n"
                                         << controller_->output();
  }

  // Waits until the arm has held its position for the last 0.2 s of current_actual_joint.
  bool waitUntilStill() {
    return spinUntil([&] {
      if (actual_history_.size() < 2) return false;
      const Sample& last = actual_history_.back();
      for (auto it = actual_history_.rbegin(); it != actual_history_.rend(); ++it) {
        if (!near(it->positions, last.positions, 1e-9)) return false;
        if (last.stamp_ns - it->stamp_ns >= 200'000'000) return true;
      }
      return false;
    });
  }

  // Since the counts were `before`, every topic has delivered as many samples as
  // current_actual_joint (the first one published in a period; the others follow within it).
  ::testing::AssertionResult everyTopicCaughtUp(const std::array<size_t, kTopicCount>& before) {
    const size_t received = counts_[kActualJoint] - before[kActualJoint];
    auto caught_up = [&] {
      for (int topic = 0; topic < kTopicCount; ++topic) {
        if (counts_[topic] - before[topic] + 1 < received) return false;
      }
      return true;
    };
    if (spinUntil(caught_up)) return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << received << " samples of " << kTopicNames[kActualJoint] << ", then";
    for (int topic = 0; topic < kTopicCount; ++topic) {
      failure << " " << kTopicNames[topic] << " " << counts_[topic] - before[topic];
    }
    return failure;
  }

  // Waits until the controller has printed text.
  ::testing::AssertionResult prints(const std::string& text) {
    if (spinUntil([&] { return controller_->printed(text); })) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the console never showed \"" << text << "\":\n"
                                         << controller_->output();
  }

  // Waits until n more samples of topic have arrived.
  bool waitForSamples(Topic topic, size_t n) {
    const size_t target = counts_[topic] + n;
    return spinUntil([&] { return counts_[topic] >= target; });
  }

  ros2::Executor executor_;
  ros2::Node::SharedPtr node_;
  std::unique_ptr<ControllerProcess> controller_;

  std::vector<std::shared_ptr<ros2::SubscriptionBase>> status_subs_;
  std::array<size_t, kTopicCount> counts_{};
  sensor_msgs::msg::JointState actual_;
  sensor_msgs::msg::JointState reference_;
  std::vector<Sample> actual_history_;
  std::vector<Sample> reference_history_;
  bool enable_flag_ = false;
  Joints torque_estimate_;
  bool is_collision_ = false;
  geometry_msgs::msg::Pose tcp_pose_;
  Joints collision_data_;
  bool unnormal_flag_ = false;

  ros2::Publisher<std_msgs::msg::Float64MultiArray>::SharedPtr movj_;
  ros2::Publisher<std_msgs::msg::Float64MultiArray>::SharedPtr movs_;
  ros2::Publisher<std_msgs::msg::Float64MultiArray>::SharedPtr movj_to_pose_;
  ros2::Publisher<std_msgs::msg::String>::SharedPtr stop_;
  ros2::Publisher<std_msgs::msg::Bool>::SharedPtr serve_on_;
  ros2::Publisher<std_msgs::msg::String>::SharedPtr set_home_;
  ros2::Publisher<std_msgs::msg::Int32MultiArray>::SharedPtr ctrl_io_;
  ros2::Publisher<std_msgs::msg::Bool>::SharedPtr recover_;
  ros2::Publisher<std_msgs::msg::Bool>::SharedPtr collision_enable_;
  ros2::Publisher<std_msgs::msg::Float64MultiArray>::SharedPtr sensitivity_;
};

// ---- Status topics and drive enable ----

class ControllerStatus : public ControllerOverDds {};

TEST_F(ControllerStatus, AllEightTopicsArriveEveryPeriodWithTheArmAtRest) {
  ASSERT_TRUE(startController());
  EXPECT_FALSE(enable_flag_);
  EXPECT_FALSE(is_collision_);
  EXPECT_FALSE(unnormal_flag_);

  ASSERT_EQ(actual_.name,
            (std::vector<std::string>{"joint1", "joint2", "joint3", "joint4", "joint5"}));
  EXPECT_EQ(actual_.header.frame_id, "base_link");
  EXPECT_TRUE(near(actual_.position, Joints(kAxes, 0.0), 1e-12));
  EXPECT_EQ(actual_.velocity.size(), static_cast<size_t>(kAxes));
  EXPECT_EQ(actual_.effort.size(), static_cast<size_t>(kAxes));
  EXPECT_EQ(reference_.name, actual_.name);
  EXPECT_TRUE(near(reference_.position, Joints(kAxes, 0.0), 1e-12));
  EXPECT_EQ(torque_estimate_.size(), static_cast<size_t>(kAxes));
  // Collision detection starts off: no detector record yet.
  EXPECT_TRUE(collision_data_.empty());
  const auto& q = tcp_pose_.orientation;
  EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0, 1e-9);
  EXPECT_GT(tcp_pose_.position.z, 0.0);

  // One second of periods: every topic once per period, stamped 5 ms apart.
  const std::array<size_t, kTopicCount> before = counts_;
  const size_t first = actual_history_.size();
  ASSERT_TRUE(waitForSamples(kActualJoint, 200));
  EXPECT_TRUE(everyTopicCaughtUp(before));
  const double span =
      static_cast<double>(actual_history_.back().stamp_ns - actual_history_[first].stamp_ns) * 1e-9;
  const double rate = static_cast<double>(actual_history_.size() - first - 1) / span;
  EXPECT_LE(rate, 210.0);
  // Periods the loop skips after an overrun (on a loaded machine) lower the rate.
  EXPECT_GE(rate, kSanitized ? 100.0 : 150.0);
}

TEST_F(ControllerStatus, ServeOnEnablesTheDrives) {
  ASSERT_TRUE(startController());
  ASSERT_FALSE(enable_flag_);
  ASSERT_TRUE(serveOn());
  EXPECT_TRUE(prints("RobotCmdRosTwoWrapper::serveOnCallback -- data: true"));
  EXPECT_TRUE(prints("The motors have been setEnable success."));

  ASSERT_TRUE(sendBool(serve_on_, false));
  EXPECT_TRUE(spinUntil([&] { return !enable_flag_; }));
  EXPECT_TRUE(prints("RobotCmdRosTwoWrapper::serveOnCallback -- data: false"));
  EXPECT_FALSE(unnormal_flag_);
}

// ---- Joint moves on the command topics ----

class ControllerMotion : public ControllerOverDds {};

TEST_F(ControllerMotion, JointMoveReachesItsTargetOnCurrentActualJoint) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  const Joints target = {0.2, -0.1, 0.15, 0.1, -0.2};
  const std::array<size_t, kTopicCount> before = counts_;
  ASSERT_TRUE(sendMovj(target));
  ASSERT_TRUE(reaches(target));
  // Every period of the move published all eight topics.
  EXPECT_GT(counts_[kActualJoint] - before[kActualJoint], 50u);
  EXPECT_TRUE(everyTopicCaughtUp(before));
  EXPECT_TRUE(spinUntil([&] { return near(reference_.position, target, kReachTolerance); }));
  EXPECT_TRUE(prints("The trajectory executes success."));
  EXPECT_TRUE(waitUntilStill());
  EXPECT_TRUE(near(actual_.position, target, kReachTolerance));
  EXPECT_FALSE(unnormal_flag_);
}

TEST_F(ControllerMotion, MoveSentWhileAnotherIsQueuedStartsFromTheQueuedGoal) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  // Every axis moves: a point-to-point move with an axis at rest is refused by its planner.
  const Joints first = {0.2, 0.1, -0.1, 0.1, 0.1};
  const Joints second = {0.4, 0.2, -0.2, 0.2, 0.2};
  const size_t from = reference_history_.size();
  ASSERT_TRUE(sendMovj(first));
  ASSERT_TRUE(sendMovj(second));
  ASSERT_TRUE(reaches(second));
  // The second move was planned from the first one's goal, while the arm was still near 0.
  EXPECT_TRUE(prints("TrapezoidPlannerInput:0.000000,0.200000,"));
  EXPECT_TRUE(prints("TrapezoidPlannerInput:0.200000,0.400000,"));
  EXPECT_TRUE(prints("TrapezoidPlannerInput:-0.100000,-0.200000,"));
  EXPECT_TRUE(spinUntil(
      [&] { return controller_->countPrinted("The trajectory executes success.") == 2; }));

  // The reference path of every axis only ever goes towards the second goal, never faster than
  // the axis may move.
  ASSERT_GT(reference_history_.size(), from + 1);
  for (size_t k = from + 1; k < reference_history_.size(); ++k) {
    const Sample& a = reference_history_[k - 1];
    const Sample& b = reference_history_[k];
    const double dt = static_cast<double>(b.stamp_ns - a.stamp_ns) * 1e-9;
    const double periods = std::max(1.0, std::round(dt / kPeriod));
    for (int i = 0; i < kAxes; ++i) {
      const double step = (b.positions[i] - a.positions[i]) * (second[i] > 0.0 ? 1.0 : -1.0);
      ASSERT_GE(step, -1e-12) << "axis " << i + 1 << " went back at sample " << k;
      ASSERT_LE(step, kMaxJointVel[i] * kPeriod * periods * 1.05 + 1e-9)
          << "axis " << i + 1 << " jumped at sample " << k;
    }
  }
}

TEST_F(ControllerMotion, BlockingMoveIsReleasedAndTheNextMoveRuns) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  // N + 3 values: velocity scale, acceleration scale, blocking flag.
  const Joints first = {0.1, 0.1, 0.1, 0.1, 0.1};
  std_msgs::msg::Float64MultiArray blocking;
  blocking.data = first;
  blocking.data.insert(blocking.data.end(), {1.0, 1.0, 1.0});
  ASSERT_TRUE(send(movj_, blocking));
  ASSERT_TRUE(reaches(first));
  EXPECT_TRUE(prints("block ..."));
  const Joints second = {-0.1, -0.1, -0.1, -0.1, -0.1};
  ASSERT_TRUE(sendMovj(second));
  EXPECT_TRUE(reaches(second));
  EXPECT_TRUE(prints("The trajectory executes success."));
}

TEST_F(ControllerMotion, SplineMoveOnMovjSTopicPassesItsWaypoints) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  const std::vector<Joints> points = {{0.0, 0.0, 0.0, 0.0, 0.0},
                                      {0.1, -0.05, 0.05, 0.0, 0.1},
                                      {0.2, -0.1, 0.1, 0.0, 0.2},
                                      {0.3, -0.15, 0.15, 0.0, 0.3}};
  ASSERT_TRUE(sendSpline(points, {0.0, 0.25, 0.5, 0.75}));
  ASSERT_TRUE(reaches(points.back()));
  EXPECT_TRUE(prints("I recieve movj_s:"));
  EXPECT_TRUE(prints("The trajectory executes success."));
  // The reference passed through the inner waypoints (sampled every 5 ms).
  for (size_t k = 1; k + 1 < points.size(); ++k) {
    const bool passed =
        std::any_of(reference_history_.begin(), reference_history_.end(),
                    [&](const Sample& s) { return near(s.positions, points[k], 0.01); });
    EXPECT_TRUE(passed) << "waypoint " << k;
  }
}

TEST_F(ControllerMotion, MoveToPoseReachesThePoseSeenOnTcpPose) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  // The pose of a known joint position, as the controller itself publishes it.
  const Joints pose_joints = {0.3, 0.2, -0.3, 0.2, 0.1};
  ASSERT_TRUE(sendMovj(pose_joints));
  ASSERT_TRUE(reaches(pose_joints));
  ASSERT_TRUE(waitForSamples(kTcpPose, 2));
  const geometry_msgs::msg::Pose pose = tcp_pose_;
  const Joints home(kAxes, 0.0);
  ASSERT_TRUE(sendMovj(home));
  ASSERT_TRUE(reaches(home));
  ASSERT_GT(std::fabs(tcp_pose_.position.y - pose.position.y), 0.01);

  std_msgs::msg::Float64MultiArray msg;
  msg.data = {pose.position.x,    pose.position.y,    pose.position.z,    pose.orientation.x,
              pose.orientation.y, pose.orientation.z, pose.orientation.w, 1.0};
  ASSERT_TRUE(send(movj_to_pose_, msg));
  EXPECT_TRUE(prints("I recieve movj_to_pose cmd"));
  // Inverse kinematics picks the solution nearest to the arm, which need not be pose_joints: the
  // pose is what must be reached.
  auto at_pose = [&] {
    const auto& a = tcp_pose_.orientation;
    const auto& b = pose.orientation;
    return std::fabs(tcp_pose_.position.x - pose.position.x) < 1e-4 &&
           std::fabs(tcp_pose_.position.y - pose.position.y) < 1e-4 &&
           std::fabs(tcp_pose_.position.z - pose.position.z) < 1e-4 &&
           std::fabs(a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w) > 1.0 - 1e-6;
  };
  EXPECT_TRUE(spinUntil(at_pose)) << controller_->output();
  EXPECT_TRUE(prints("The trajectory executes success."));
  ASSERT_TRUE(waitUntilStill());
  EXPECT_TRUE(at_pose());
}

TEST_F(ControllerMotion, StopTopicStopsAMoveAndTheNextMoveRuns) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  const Joints far = {1.0, 0.5, 0.5, 0.5, 0.5};
  ASSERT_TRUE(sendMovj(far));
  ASSERT_TRUE(passes(0.1));
  ASSERT_TRUE(sendString(stop_, "halt"));
  EXPECT_TRUE(prints("I should stop: 'halt'"));
  EXPECT_TRUE(prints("It take"));
  ASSERT_TRUE(waitUntilStill());
  EXPECT_LT(actual_.position[0], 0.95);
  EXPECT_GT(actual_.position[0], 0.1);
  EXPECT_FALSE(controller_->printed("The trajectory executes success."));

  // The stop is over once the arm stands: the next move runs.
  const Joints home(kAxes, 0.0);
  ASSERT_TRUE(sendMovj(home));
  EXPECT_TRUE(reaches(home));
}

TEST_F(ControllerMotion, RecoverClearsAStopRequestedWhileIdle) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  // A stop while nothing moves stays pending and stops the next move at once.
  ASSERT_TRUE(sendString(stop_, "idle"));
  ASSERT_TRUE(prints("I should stop: 'idle'"));
  const Joints target = {0.2, 0.1, 0.1, 0.1, 0.1};
  ASSERT_TRUE(sendMovj(target));
  ASSERT_TRUE(prints("It take 1 periods to stop."));
  ASSERT_TRUE(waitUntilStill());
  EXPECT_TRUE(near(actual_.position, Joints(kAxes, 0.0), 1e-12));

  ASSERT_TRUE(sendBool(recover_, true));
  ASSERT_TRUE(prints("recover cmd success!"));
  ASSERT_TRUE(sendMovj(target));
  EXPECT_TRUE(reaches(target));
  EXPECT_FALSE(controller_->printed("recover cmd ERROR!"));
}

TEST_F(ControllerMotion, RemappedMovjTopicMovesTheArm) {
  ASSERT_TRUE(startController({"--ros-args", "-r", "movj_topic:=my_movj"}));
  auto my_movj = publisher<std_msgs::msg::Float64MultiArray>("my_movj");
  ASSERT_TRUE(serveOn());
  const Joints target = {-0.2, 0.1, 0.1, -0.1, 0.1};
  ASSERT_TRUE(sendMovjOn(my_movj, target));
  ASSERT_TRUE(reaches(target));
  // The original name has no subscriber any more.
  EXPECT_EQ(movj_->get_subscription_count(), 0u);
}

TEST_F(ControllerMotion, RefusedRequestsLeaveTheArmWhereItIsWithTheirMessages) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  const Joints home(kAxes, 0.0);

  std_msgs::msg::Float64MultiArray short_movj;
  short_movj.data = {0.1, 0.1, 0.1, 0.1};
  ASSERT_TRUE(send(movj_, short_movj));
  EXPECT_TRUE(prints("MOVJ get data size is ERROR"));

  ASSERT_TRUE(sendMovj({0.1, 2.0, 0.0, 0.0, 0.0}));
  EXPECT_TRUE(
      prints("The 1st point 2st axim angle is over range. Please send viable command again."));

  const Joints p0 = home;
  const Joints p1 = {0.1, 0.0, 0.0, 0.0, 0.0};
  const Joints p2 = {0.2, 1.7, 0.0, 0.0, 0.0};
  const Joints p3 = {0.3, 0.0, 0.0, 0.0, 0.0};
  ASSERT_TRUE(sendSpline({p0, p1, p3}, {0.0, 0.5, 1.0}));
  EXPECT_TRUE(prints("There are not eough point to get cubicspline."));
  ASSERT_TRUE(sendSpline({p0, p1, p2, p3}, {0.0, 0.5, 1.0, 1.5}));
  EXPECT_TRUE(
      prints("The 3st point 2st axim angle is over range. Please send viable command again."));
  std_msgs::msg::Float64MultiArray narrow;
  narrow.layout.dim.resize(2);
  narrow.layout.dim[0].size = 4;
  narrow.layout.dim[1].size = kAxes;
  narrow.data.assign(4 * kAxes, 0.0);
  ASSERT_TRUE(send(movs_, narrow));
  EXPECT_TRUE(prints("We recieve the wrong movj cmd size=20, not euqal (axis_num+1)"));

  std_msgs::msg::Float64MultiArray short_pose;
  short_pose.data = {0.3, 0.0, 0.3, 0.0, 0.0, 0.0, 1.0};
  ASSERT_TRUE(send(movj_to_pose_, short_pose));
  EXPECT_TRUE(prints("We recieve the wrong movl_j cmd size=7, not euqal 8."));
  std_msgs::msg::Float64MultiArray unreachable;
  unreachable.data = {5.0, 0.0, 0.3, 0.0, 0.0, 0.0, 1.0, 0.5};
  ASSERT_TRUE(send(movj_to_pose_, unreachable));
  EXPECT_TRUE(prints("Do not get solution of the objective pos6D. The cmd is useless."));

  ASSERT_TRUE(sendCtrlIo({1}));
  EXPECT_TRUE(prints("We recieve the wrong ctrl io cmd size=1, not euqal 2."));
  ASSERT_TRUE(sendCtrlIo({0, -1}));
  EXPECT_TRUE(prints(" invalid ctrl_io cmd, id:0,io_cmd: -1"));

  // Nothing was queued but the enable command, and the arm has not moved.
  EXPECT_EQ(controller_->countPrinted("interpolator read new command."), 1u);
  EXPECT_TRUE(near(actual_.position, home, 1e-12));
  // Refusals are warnings: the status stays below ERROR and moves are still taken. A velocity
  // scale out of range is replaced by 0.5 and the move goes ahead.
  EXPECT_FALSE(unnormal_flag_);
  const Joints target = {0.1, 0.1, 0.1, 0.1, 0.1};
  ASSERT_TRUE(sendMovj(target, 1.2));
  EXPECT_TRUE(prints("velocity scale > 1.0 or < 0.0 error, we reset velocity scale 0.5!"));
  EXPECT_TRUE(prints("TrapezoidPlannerInput:0.000000,0.100000,0.750000,"));
  EXPECT_TRUE(reaches(target));
}

// ---- The FollowJointTrajectory action ----

class ControllerTrajectoryAction : public ControllerOverDds {
 protected:
  using Client = ros2::action::Client<FollowJointTrajectory>;
  using WrappedResult = Client::WrappedResult;

  void SetUp() override {
    ControllerOverDds::SetUp();
    client_ = ros2::action::create_client<FollowJointTrajectory>(node_, "follow_joint_trajectory");
    options_.feedback_callback = [this](Client::GoalHandle::SharedPtr,
                                        std::shared_ptr<const FollowJointTrajectory::Feedback> f) {
      ++feedback_count_;
      last_feedback_ = *f;
    };
  }

  void TearDown() override {
    client_.reset();
    ControllerOverDds::TearDown();
  }

  // A goal through the given points at the given times (s), joints named joint1..joint5.
  static FollowJointTrajectory::Goal goal(const std::vector<Joints>& points,
                                          const std::vector<double>& times) {
    FollowJointTrajectory::Goal goal;
    goal.trajectory.joint_names = {"joint1", "joint2", "joint3", "joint4", "joint5"};
    for (size_t k = 0; k < points.size(); ++k) {
      trajectory_msgs::msg::JointTrajectoryPoint point;
      point.positions = points[k];
      const auto ns = static_cast<int64_t>(std::llround(times[k] * 1e9));
      point.time_from_start.sec = static_cast<int32_t>(ns / 1000000000);
      point.time_from_start.nanosec = static_cast<uint32_t>(ns % 1000000000);
      goal.trajectory.points.push_back(point);
    }
    return goal;
  }

  // Sends a goal and waits for the server's answer; null when it was rejected or never answered.
  Client::GoalHandle::SharedPtr sendGoal(const FollowJointTrajectory::Goal& goal) {
    if (!spinUntil([&] { return client_->action_server_is_ready(); })) {
      ADD_FAILURE() << "the action server never appeared";
      return nullptr;
    }
    auto handle = client_->async_send_goal(goal, options_);
    if (executor_.spin_until_future_complete(handle, kDeadline) !=
        ros2::FutureReturnCode::SUCCESS) {
      ADD_FAILURE() << "the goal was never answered";
      return nullptr;
    }
    return handle.get();
  }

  // Waits for the goal's result; a result with code UNKNOWN when none came.
  WrappedResult result(const Client::GoalHandle::SharedPtr& handle) {
    auto future = client_->async_get_result(handle);
    if (executor_.spin_until_future_complete(future, kDeadline) !=
        ros2::FutureReturnCode::SUCCESS) {
      ADD_FAILURE() << "no result arrived; console:\n" << controller_->output();
      return WrappedResult();
    }
    return future.get();
  }

  Client::SharedPtr client_;
  Client::SendGoalOptions options_;
  int feedback_count_ = 0;
  FollowJointTrajectory::Feedback last_feedback_;
};

TEST_F(ControllerTrajectoryAction, GoalSucceedsWithFeedbackAndErrorCodeZero) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  const std::vector<Joints> points = {{0.0, 0.0, 0.0, 0.0, 0.0},
                                      {0.05, 0.02, -0.05, 0.05, 0.05},
                                      {0.1, 0.04, -0.1, 0.1, 0.1},
                                      {0.15, 0.06, -0.15, 0.15, 0.15},
                                      {0.2, 0.08, -0.2, 0.2, 0.2}};
  auto handle = sendGoal(goal(points, {0.0, 0.2, 0.4, 0.6, 0.8}));
  ASSERT_NE(handle, nullptr);
  const WrappedResult outcome = result(handle);
  ASSERT_EQ(outcome.code, ros2::action::ResultCode::SUCCEEDED);
  ASSERT_NE(outcome.result, nullptr);
  EXPECT_EQ(outcome.result->error_code, FollowJointTrajectory::Result::SUCCESSFUL);
  EXPECT_GT(feedback_count_, 0);
  EXPECT_EQ(last_feedback_.joint_names.size(), static_cast<size_t>(kAxes));
  EXPECT_EQ(last_feedback_.actual.positions.size(), static_cast<size_t>(kAxes));
  EXPECT_TRUE(reaches(points.back()));
  EXPECT_TRUE(prints("First Move_group give us 5 points"));

  // The finished goal's command is released: the next move runs.
  const Joints home(kAxes, 0.0);
  ASSERT_TRUE(sendMovj(home));
  EXPECT_TRUE(reaches(home));
}

TEST_F(ControllerTrajectoryAction, GoalCanceledMidMotionStopsTheArmAndEndsCanceled) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  const std::vector<Joints> points = {{0.0, 0.0, 0.0, 0.0, 0.0},
                                      {0.25, 0.1, 0.1, 0.1, 0.1},
                                      {0.5, 0.2, 0.2, 0.2, 0.2},
                                      {0.75, 0.3, 0.3, 0.3, 0.3},
                                      {1.0, 0.4, 0.4, 0.4, 0.4}};
  auto handle = sendGoal(goal(points, {0.0, 0.5, 1.0, 1.5, 2.0}));
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(passes(0.1));
  auto cancel = client_->async_cancel_goal(handle);
  ASSERT_EQ(executor_.spin_until_future_complete(cancel, kDeadline),
            ros2::FutureReturnCode::SUCCESS);
  ASSERT_NE(cancel.get(), nullptr);
  EXPECT_EQ(cancel.get()->return_code, action_msgs::srv::CancelGoal_Response::ERROR_NONE);
  EXPECT_EQ(cancel.get()->goals_canceling.size(), 1u);

  const WrappedResult outcome = result(handle);
  EXPECT_EQ(outcome.code, ros2::action::ResultCode::CANCELED);
  EXPECT_TRUE(prints("Got request to cancel goal"));
  EXPECT_TRUE(prints("It take"));
  ASSERT_TRUE(waitUntilStill());
  EXPECT_GT(actual_.position[0], 0.1);
  EXPECT_LT(actual_.position[0], 0.9);

  const Joints home(kAxes, 0.0);
  ASSERT_TRUE(sendMovj(home));
  EXPECT_TRUE(reaches(home));
}

TEST_F(ControllerTrajectoryAction, GoalCanceledWhileQueuedNeverRunsAndTheMoveAheadGoesOn) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  const Joints first = {0.8, 0.3, 0.3, 0.3, 0.3};
  ASSERT_TRUE(sendMovj(first, 0.5));
  ASSERT_TRUE(passes(0.1));
  // Queued behind the move: starts from its goal at 0 s, first point half a second later.
  const std::vector<Joints> points = {{0.7, 0.2, 0.2, 0.2, 0.2},
                                      {0.6, 0.1, 0.1, 0.1, 0.1},
                                      {0.5, 0.0, 0.0, 0.0, 0.0},
                                      {0.4, -0.1, -0.1, -0.1, -0.1}};
  auto handle = sendGoal(goal(points, {0.5, 1.0, 1.5, 2.0}));
  ASSERT_NE(handle, nullptr);
  auto cancel = client_->async_cancel_goal(handle);
  ASSERT_EQ(executor_.spin_until_future_complete(cancel, kDeadline),
            ros2::FutureReturnCode::SUCCESS);
  const WrappedResult outcome = result(handle);
  EXPECT_EQ(outcome.code, ros2::action::ResultCode::CANCELED);
  // The move ahead of the goal was not stopped, and the goal's points were never followed.
  EXPECT_TRUE(reaches(first));
  EXPECT_FALSE(prints("It take"));
}

TEST_F(ControllerTrajectoryAction, StopDuringAGoalAbortsIt) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  const std::vector<Joints> points = {{0.0, 0.0, 0.0, 0.0, 0.0},
                                      {0.25, 0.1, 0.1, 0.1, 0.1},
                                      {0.5, 0.2, 0.2, 0.2, 0.2},
                                      {0.75, 0.3, 0.3, 0.3, 0.3},
                                      {1.0, 0.4, 0.4, 0.4, 0.4}};
  auto handle = sendGoal(goal(points, {0.0, 0.5, 1.0, 1.5, 2.0}));
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(passes(0.1));
  ASSERT_TRUE(sendString(stop_, "halt"));
  const WrappedResult outcome = result(handle);
  EXPECT_EQ(outcome.code, ros2::action::ResultCode::ABORTED);
  ASSERT_NE(outcome.result, nullptr);
  EXPECT_EQ(outcome.result->error_code, FollowJointTrajectory::Result::PATH_TOLERANCE_VIOLATED);
  ASSERT_TRUE(waitUntilStill());
  EXPECT_LT(actual_.position[0], 0.9);
}

TEST_F(ControllerTrajectoryAction, GoalsThatCannotRunAreAborted) {
  ASSERT_TRUE(startController());
  const std::vector<Joints> points = {{0.0, 0.0, 0.0, 0.0, 0.0},
                                      {0.05, 0.0, 0.0, 0.0, 0.0},
                                      {0.1, 0.0, 0.0, 0.0, 0.0},
                                      {0.15, 0.0, 0.0, 0.0, 0.0}};

  // Too few points for a spline.
  auto three = sendGoal(goal({points[0], points[1], points[2]}, {0.0, 0.2, 0.4}));
  ASSERT_NE(three, nullptr);
  WrappedResult outcome = result(three);
  EXPECT_EQ(outcome.code, ros2::action::ResultCode::ABORTED);
  ASSERT_NE(outcome.result, nullptr);
  EXPECT_EQ(outcome.result->error_code, FollowJointTrajectory::Result::INVALID_GOAL);
  EXPECT_EQ(outcome.result->error_string, "");
  EXPECT_TRUE(prints("There are not eough point to get cubicspline."));
  EXPECT_TRUE(prints("Goal Failed"));

  // A first point at 0 s away from the arm would make it jump.
  std::vector<Joints> away = points;
  for (Joints& point : away) point[1] += 0.3;
  auto jump = sendGoal(goal(away, {0.0, 0.2, 0.4, 0.6}));
  ASSERT_NE(jump, nullptr);
  outcome = result(jump);
  EXPECT_EQ(outcome.code, ros2::action::ResultCode::ABORTED);
  ASSERT_NE(outcome.result, nullptr);
  EXPECT_EQ(outcome.result->error_code, FollowJointTrajectory::Result::INVALID_GOAL);
  EXPECT_NE(outcome.result->error_string.find("the arm would jump"), std::string::npos)
      << outcome.result->error_string;

  // The drives are still off: the trajectory refuses to run.
  ASSERT_FALSE(enable_flag_);
  auto disabled = sendGoal(goal(points, {0.0, 0.2, 0.4, 0.6}));
  ASSERT_NE(disabled, nullptr);
  outcome = result(disabled);
  EXPECT_EQ(outcome.code, ros2::action::ResultCode::ABORTED);
  ASSERT_NE(outcome.result, nullptr);
  EXPECT_NE(outcome.result->error_code, FollowJointTrajectory::Result::SUCCESSFUL);
  EXPECT_TRUE(prints("enable is OFF, the trajectory can not be executed!"));
  EXPECT_TRUE(near(actual_.position, Joints(kAxes, 0.0), 1e-12));
}

// ---- Drive and device commands, switches ----

class ControllerDevices : public ControllerOverDds {};

TEST_F(ControllerDevices, SetHomeZeroesTheSimulatedMotors) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  const Joints target = {0.2, -0.1, 0.1, 0.1, 0.1};
  ASSERT_TRUE(sendMovj(target));
  ASSERT_TRUE(reaches(target));
  ASSERT_TRUE(sendString(set_home_, "home"));
  EXPECT_TRUE(prints("I should setHome: 'home'"));
  EXPECT_TRUE(prints("set home SUCCESS!"));
  // A simulated motor's home is position 0.
  EXPECT_TRUE(reaches(Joints(kAxes, 0.0), 1e-12));
}

TEST_F(ControllerDevices, GripperAndLifterCommandsReachTheirStates) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(sendCtrlIo({1, 5}));
  EXPECT_TRUE(prints("I recieve ctrl io cmd: ctrl_io_id=1,cmd=5"));
  EXPECT_TRUE(prints("ctrl_io id:1,io_cmd: 5"));
  EXPECT_TRUE(prints("Ctrl io command Finish."));
  ASSERT_TRUE(sendCtrlIo({2, 1}));
  EXPECT_TRUE(prints("ctrl_io id:2,io_cmd: 1"));
  EXPECT_TRUE(spinUntil([&] { return controller_->countPrinted("Ctrl io command Finish.") == 2; }));
  EXPECT_FALSE(controller_->printed("Ctrl io command time out error!!!"));
  EXPECT_FALSE(unnormal_flag_);
}

// Band limits in the collision data record: 5 lower limits from index 14, 5 upper from 19.
constexpr size_t kLowerLimits = 14;
constexpr size_t kUpperLimits = 19;

TEST_F(ControllerDevices, CollisionSwitchAndSensitivityChangeTheCollisionData) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(collision_data_.empty());
  ASSERT_TRUE(sendBool(collision_enable_, true));
  EXPECT_TRUE(prints("I get collision_enable command: 1"));
  EXPECT_TRUE(prints("The system collision_enable has changed."));
  ASSERT_TRUE(spinUntil([&] { return collision_data_.size() >= kUpperLimits + kAxes; }));
  EXPECT_EQ(collision_data_[1], 0.0);
  EXPECT_EQ(collision_data_[2], 7.0);
  EXPECT_EQ(collision_data_[3], static_cast<double>(kAxes));
  // Bounds from the sim file (lower -3 -3 -3 -2 -2, upper 3 3 3 2 2) times the normal factor 2.
  const Joints normal_lower = {-6.0, -6.0, -6.0, -4.0, -4.0};
  const Joints normal_upper = {6.0, 6.0, 6.0, 4.0, 4.0};
  auto band = [&](size_t first) {
    if (collision_data_.size() < first + kAxes) return Joints();
    return Joints(collision_data_.begin() + static_cast<std::ptrdiff_t>(first),
                  collision_data_.begin() + static_cast<std::ptrdiff_t>(first + kAxes));
  };
  EXPECT_TRUE(near(band(kLowerLimits), normal_lower, 1e-12));
  EXPECT_TRUE(near(band(kUpperLimits), normal_upper, 1e-12));
  EXPECT_FALSE(is_collision_);

  // Level 0 on every joint: the insensitive factor 4 widens the band.
  ASSERT_TRUE(sendSensitivity({4.0, 0.0, 0.0, 0.0, 0.0, 0.0}));
  EXPECT_TRUE(spinUntil([&] {
    return near(band(kLowerLimits), {-12.0, -12.0, -12.0, -8.0, -8.0}, 1e-12) &&
           near(band(kUpperLimits), {12.0, 12.0, 12.0, 8.0, 8.0}, 1e-12);
  }));
  // Type 1 with a value below 0.5 first returns to normal (type 0), then widens only the upper
  // limits of joints 2 and 3.
  ASSERT_TRUE(sendSensitivity({0.0}));
  EXPECT_TRUE(spinUntil([&] { return near(band(kLowerLimits), normal_lower, 1e-12); }));
  ASSERT_TRUE(sendSensitivity({1.0, 0.0}));
  EXPECT_TRUE(spinUntil([&] {
    return near(band(kUpperLimits), {6.0, 12.0, 12.0, 4.0, 4.0}, 1e-12);
  }));
  EXPECT_TRUE(near(band(kLowerLimits), normal_lower, 1e-12));
  EXPECT_FALSE(is_collision_);

  // Switched off, the record is no longer refreshed: its time value stands still.
  ASSERT_TRUE(sendBool(collision_enable_, false));
  ASSERT_TRUE(prints("I get collision_enable command: 0"));
  ASSERT_TRUE(waitForSamples(kCollisionData, 2));
  const double frozen = collision_data_[0];
  ASSERT_TRUE(waitForSamples(kCollisionData, 20));
  EXPECT_EQ(collision_data_[0], frozen);
}

// ---- Process start and end ----

class ControllerLifecycle : public ControllerOverDds {};

TEST_F(ControllerLifecycle, SigintEndsTheControllerWithStatusZero) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  EXPECT_EQ(controller_->stop(SIGINT), 0) << controller_->output();
}

TEST_F(ControllerLifecycle, SigtermDuringAMoveEndsTheControllerWithStatusZero) {
  ASSERT_TRUE(startController());
  ASSERT_TRUE(serveOn());
  ASSERT_TRUE(sendMovj({1.0, 0.5, 0.5, 0.5, 0.5}));
  ASSERT_TRUE(passes(0.05));
  EXPECT_EQ(controller_->stop(SIGTERM), 0) << controller_->output();
}

TEST_F(ControllerLifecycle, MissingParameterFileEndsStartUpWithStatusOne) {
  controller_ = std::make_unique<ControllerProcess>(
      std::vector<std::string>{"--robot-para-file", "missing.yaml"});
  EXPECT_EQ(controller_->waitForExit(kExitDeadline), 1) << controller_->output();
  EXPECT_TRUE(controller_->printed("Error: File missing.yaml not found!")) << controller_->output();
  EXPECT_EQ(counts_[kActualJoint], 0u);
}

}  // namespace
