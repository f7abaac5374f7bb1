// End-to-end tests of the controller's ROS 2 interface: brenvik_robot runs as a child process on
// the simulated arm (config/brenvik_v5_sim.yaml) and a client node of this process commands it
// over loopback DDS. Each scenario starts the controller once and checks several things a client
// can see: status topics, action results and feedback, the console and the exit status. Refusals
// and their texts are covered in-process by robot_cmd_ros_two_wrapper_test.cpp.

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
using Float64Array = std_msgs::msg::Float64MultiArray;

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
constexpr double kReachTolerance = 1e-3;  // rad; the simulated drives settle within periods
constexpr double kMaxJointVel[kAxes] = {1.5, 1.2, 1.5, 2.0, 2.5};  // rad/s, from the sim file
constexpr double kStopAcc[kAxes] = {6.0, 5.0, 6.0, 8.0, 10.0};     // emergency_stop_acc, rad/s²
const Joints kHome(kAxes, 0.0);
constexpr const char* kSuccess = "The trajectory executes success.";

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
// It dies with this process (PR_SET_PDEATHSIG), so that not even a crashed test leaves one behind.
class ControllerProcess {
 public:
  explicit ControllerProcess(std::vector<std::string> args) {
    args.insert(args.begin(), BRENVIK_ROBOT_EXECUTABLE);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      ADD_FAILURE() << "pipe2: " << errno;
      return;
    }
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {  // only async-signal-safe calls until exec
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
      dup2(fds[1], STDOUT_FILENO);
      dup2(fds[1], STDERR_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(fds[1]);
    out_ = fds[0];
    if (pid_ < 0) ADD_FAILURE() << "fork: " << errno;
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

  ~ControllerProcess() {
    if (stop(SIGINT) < 0 && pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (reader_.joinable()) reader_.join();
    if (out_ >= 0) close(out_);
  }

  ControllerProcess(const ControllerProcess&) = delete;
  ControllerProcess& operator=(const ControllerProcess&) = delete;

  // Sends sig to a running process and waits for the exit; the exit status, -1 when not in time.
  int stop(int sig) {
    if (running()) kill(pid_, sig);
    return waitForExit(kExitDeadline);
  }

  void signal(int sig) {
    if (running()) kill(pid_, sig);
  }
  bool running() { return !poll(); }

  // The exit status (128 + the signal's number after a signal), or -1 while it still runs.
  int waitForExit(std::chrono::milliseconds deadline) {
    ros2_test::wait_until([&] { return poll(); }, deadline);
    return exit_status_;
  }

  std::string output() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
  }

  size_t countPrinted(const std::string& text) const {
    const std::string all = output();
    size_t count = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
    return count;
  }
  bool printed(const std::string& text) const { return countPrinted(text) > 0; }

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

struct Sample {
  int64_t stamp_ns = 0;
  Joints positions;
};

bool near(const Joints& a, const Joints& b, double tolerance) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (!(std::fabs(a[i] - b[i]) <= tolerance)) return false;
  }
  return true;
}

// A client node of the controller: command publishers, status subscriptions and the trajectory
// action client, all spun on the test's thread by spinUntil.
class ControllerOverDds : public ::testing::Test {
 protected:
  using Client = ros2::action::Client<FollowJointTrajectory>;
  using WrappedResult = Client::WrappedResult;

  void SetUp() override {
    ros2_test::use_private_loopback_domain();
    const char* argv[] = {"ros_interface_e2e_test"};
    ros2::init(1, argv);
    node_ = std::make_shared<ros2::Node>("e2e_client");
    executor_.add_node(node_);
    subscribeToStatus();
    movj_ = publisher<Float64Array>("movj_topic");
    movs_ = publisher<Float64Array>("movj_s_topic");
    movj_to_pose_ = publisher<Float64Array>("movj_to_pose_topic");
    stop_ = publisher<std_msgs::msg::String>("stop_topic");
    serve_on_ = publisher<std_msgs::msg::Bool>("serve_on_topic");
    set_home_ = publisher<std_msgs::msg::String>("set_home_topic");
    ctrl_io_ = publisher<std_msgs::msg::Int32MultiArray>("ctrl_io_topic");
    recover_ = publisher<std_msgs::msg::Bool>("recover_topic");
    collision_enable_ = publisher<std_msgs::msg::Bool>("collision_enable_topic");
    sensitivity_ = publisher<Float64Array>("set_collision_sensitivity_topic");
    client_ = ros2::action::create_client<FollowJointTrajectory>(node_, "follow_joint_trajectory");
    options_.feedback_callback = [this](Client::GoalHandle::SharedPtr,
                                        std::shared_ptr<const FollowJointTrajectory::Feedback> f) {
      ++feedback_count_;
      last_feedback_ = *f;
    };
  }

  // Every scenario ends with an orderly shut-down of a controller still running, and no sanitizer
  // report from it.
  void TearDown() override {
    client_.reset();
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
      subs_.push_back(node_->create_subscription<sensor_msgs::msg::JointState>(
          kTopicNames[topic], qos,
          [this, topic, &history, &latest](const sensor_msgs::msg::JointState& msg) {
            ++counts_[topic];
            latest = msg;
            history.push_back({ros2::Time(msg.header.stamp).nanoseconds(), msg.position});
          }));
    };
    auto value = [this, &qos](auto type, Topic topic, auto& latest) {
      using Msg = decltype(type);
      subs_.push_back(node_->create_subscription<Msg>(kTopicNames[topic], qos,
                                                      [this, topic, &latest](const Msg& msg) {
                                                        ++counts_[topic];
                                                        latest = msg;
                                                      }));
    };
    joint_state(kActualJoint, actual_history_, actual_);
    joint_state(kReferenceJoint, reference_history_, reference_);
    value(std_msgs::msg::Bool(), kEnableFlag, enable_flag_);
    value(Float64Array(), kTorqueEstimate, torque_estimate_);
    value(std_msgs::msg::Bool(), kIsCollision, is_collision_);
    value(geometry_msgs::msg::Pose(), kTcpPose, tcp_pose_);
    value(Float64Array(), kCollisionData, collision_data_);
    value(std_msgs::msg::Bool(), kUnnormalFlag, unnormal_flag_);
  }

  template <class Pred>
  bool spinUntil(Pred pred, std::chrono::milliseconds deadline = kDeadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!pred()) {
      if (std::chrono::steady_clock::now() >= end) return pred();
      executor_.spin_once(5ms);
    }
    return true;
  }

  ::testing::AssertionResult failure(const std::string& what) {
    return ::testing::AssertionFailure() << what << "; console:\n" << controller_->output();
  }

  // Starts the controller on the simulated arm and waits until all of its status topics arrive.
  ::testing::AssertionResult startController(const std::vector<std::string>& ros_args = {}) {
    std::vector<std::string> args = {"--robot-para-file", BRENVIK_SIM_PARA_FILE};
    args.insert(args.end(), ros_args.begin(), ros_args.end());
    controller_ = std::make_unique<ControllerProcess>(args);
    if (spinUntil([&] {
          return std::all_of(counts_.begin(), counts_.end(), [](size_t n) { return n > 0; });
        })) {
      return ::testing::AssertionSuccess();
    }
    return failure("the status topics did not arrive");
  }

  // Publishes once the controller's subscription has matched the publisher.
  template <class T>
  ::testing::AssertionResult send(const typename ros2::Publisher<T>::SharedPtr& pub, const T& msg) {
    if (!spinUntil([&] { return pub->get_subscription_count() > 0; })) {
      return failure(std::string("nothing subscribes to ") + pub->get_topic_name());
    }
    pub->publish(msg);
    return ::testing::AssertionSuccess();
  }

  template <class T, class Data>
  ::testing::AssertionResult sendData(const std::shared_ptr<ros2::Publisher<T>>& pub,
                                      const Data& data) {
    T msg;
    msg.data = data;
    return send(pub, msg);
  }

  ::testing::AssertionResult sendMovj(const Joints& target, double vel_scale = 1.0) {
    Joints data = target;
    data.push_back(vel_scale);
    return sendData(movj_, data);
  }

  // Spline move on movj_s_topic: one row of kAxes joint values and a time per point.
  ::testing::AssertionResult sendSpline(const std::vector<Joints>& points,
                                        const std::vector<double>& times) {
    const auto values = static_cast<uint32_t>(kAxes + 1);
    Float64Array msg;
    msg.layout.dim.resize(2);
    msg.layout.dim[0].size = static_cast<uint32_t>(points.size());
    msg.layout.dim[0].stride = static_cast<uint32_t>(points.size()) * values;
    msg.layout.dim[1].size = values;
    msg.layout.dim[1].stride = values;
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
    if (::testing::AssertionResult sent = sendData(serve_on_, true); !sent) return sent;
    if (spinUntil([&] { return enable_flag_.data && controller_->countPrinted(done) > before; })) {
      return ::testing::AssertionSuccess();
    }
    return failure("enable_flag stayed false");
  }

  // Waits until current_actual_joint shows target.
  ::testing::AssertionResult reaches(const Joints& target, double tolerance = kReachTolerance) {
    if (spinUntil([&] { return near(actual_.position, target, tolerance); })) {
      return ::testing::AssertionSuccess();
    }
    std::string at;
    for (double q : actual_.position) at += std::to_string(q) + " ";
    return failure("the arm did not reach its target, it is at " + at);
  }

  // Moves to target and waits for the end of the move.
  ::testing::AssertionResult moveTo(const Joints& target) {
    const size_t done = controller_->countPrinted(kSuccess);
    if (::testing::AssertionResult sent = sendMovj(target); !sent) return sent;
    if (::testing::AssertionResult reached = reaches(target); !reached) return reached;
    return prints(kSuccess, done + 1);
  }

  // Waits until axis 1 of current_actual_joint has passed position (moving upwards).
  ::testing::AssertionResult passes(double position) {
    if (spinUntil([&] { return !actual_.position.empty() && actual_.position[0] > position; })) {
      return ::testing::AssertionSuccess();
    }
    return failure("axis 1 never passed " + std::to_string(position));
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

  // Since reference sample `from` the setpoint never moved faster than max_joint_vel nor changed
  // its velocity faster than emergency_stop_acc (above max_joint_acc): no stop was abrupt.
  ::testing::AssertionResult referenceWithinLimits(size_t from = 0) {
    Joints last_v(kAxes, 0.0);
    for (size_t k = from + 1; k < reference_history_.size(); ++k) {
      const Sample& a = reference_history_[k - 1];
      const Sample& b = reference_history_[k];
      // One sample per control period; the stamps carry the publishing thread's jitter.
      const double dt = kPeriod;
      for (int i = 0; i < kAxes; ++i) {
        const double v = (b.positions[i] - a.positions[i]) / dt;
        if (std::fabs(v) > kMaxJointVel[i] * 1.001) {
          return failure("axis " + std::to_string(i + 1) + " moved at " + std::to_string(v) +
                         " rad/s at reference sample " + std::to_string(k));
        }
        if (k > from + 1 && std::fabs(v - last_v[i]) > kStopAcc[i] * dt * 1.05 + 1e-9) {
          return failure("axis " + std::to_string(i + 1) + " changed its velocity by " +
                         std::to_string(v - last_v[i]) + " rad/s at reference sample " +
                         std::to_string(k));
        }
        last_v[i] = v;
      }
    }
    return ::testing::AssertionSuccess();
  }

  // Waits until the controller has printed text (count times).
  ::testing::AssertionResult prints(const std::string& text, size_t count = 1) {
    if (spinUntil([&] { return controller_->countPrinted(text) >= count; })) {
      return ::testing::AssertionSuccess();
    }
    return failure("the console never showed \"" + text + "\"");
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

  // Cancels a goal; true when the server accepted the cancel request.
  bool cancel(const Client::GoalHandle::SharedPtr& handle) {
    auto response = client_->async_cancel_goal(handle);
    return executor_.spin_until_future_complete(response, kDeadline) ==
               ros2::FutureReturnCode::SUCCESS &&
           response.get() != nullptr &&
           response.get()->return_code == action_msgs::srv::CancelGoal_Response::ERROR_NONE &&
           response.get()->goals_canceling.size() == 1u;
  }

  ros2::Executor executor_;
  ros2::Node::SharedPtr node_;
  std::unique_ptr<ControllerProcess> controller_;
  std::vector<std::shared_ptr<ros2::SubscriptionBase>> subs_;
  std::array<size_t, kTopicCount> counts_{};
  sensor_msgs::msg::JointState actual_, reference_;
  std::vector<Sample> actual_history_, reference_history_;
  std_msgs::msg::Bool enable_flag_, is_collision_, unnormal_flag_;
  Float64Array torque_estimate_, collision_data_;
  geometry_msgs::msg::Pose tcp_pose_;

  ros2::Publisher<Float64Array>::SharedPtr movj_, movs_, movj_to_pose_, sensitivity_;
  ros2::Publisher<std_msgs::msg::String>::SharedPtr stop_, set_home_;
  ros2::Publisher<std_msgs::msg::Bool>::SharedPtr serve_on_, recover_, collision_enable_;
  ros2::Publisher<std_msgs::msg::Int32MultiArray>::SharedPtr ctrl_io_;
  Client::SharedPtr client_;
  Client::SendGoalOptions options_;
  int feedback_count_ = 0;
  FollowJointTrajectory::Feedback last_feedback_;
};

// Status topics, joint moves on the command topics, stop and recover, set home, the gripper, the
// collision switch, refusals, and SIGTERM during a move.
TEST_F(ControllerOverDds, TopicsMovesStopRecoverDevicesAndSigterm) {
  ASSERT_TRUE(startController());
  EXPECT_FALSE(enable_flag_.data);
  EXPECT_FALSE(is_collision_.data);
  ASSERT_EQ(actual_.name,
            (std::vector<std::string>{"joint1", "joint2", "joint3", "joint4", "joint5"}));
  EXPECT_EQ(actual_.header.frame_id, "base_link");
  EXPECT_TRUE(near(actual_.position, kHome, 1e-12));
  EXPECT_EQ(actual_.velocity.size(), static_cast<size_t>(kAxes));
  EXPECT_EQ(reference_.name, actual_.name);
  EXPECT_EQ(torque_estimate_.data.size(), static_cast<size_t>(kAxes));
  EXPECT_TRUE(collision_data_.data.empty());  // collision detection starts off
  const auto& q = tcp_pose_.orientation;
  EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0, 1e-9);
  EXPECT_GT(tcp_pose_.position.z, 0.0);
  ASSERT_TRUE(serveOn());
  EXPECT_TRUE(prints("RobotCmdRosTwoWrapper::serveOnCallback -- data: true"));

  // Two moves, the second sent while the first is still queued: it is planned from the first
  // one's goal.
  const Joints first = {0.2, 0.1, -0.1, 0.1, 0.1};
  const Joints second = {0.4, 0.2, -0.2, 0.2, 0.2};
  const size_t before = counts_[kActualJoint];
  const size_t from = reference_history_.size();
  ASSERT_TRUE(sendMovj(first));
  ASSERT_TRUE(sendMovj(second));
  ASSERT_TRUE(reaches(second));
  EXPECT_GT(counts_[kActualJoint] - before, 50u);
  EXPECT_TRUE(prints("TrapezoidPlannerInput:0.000000,0.200000,"));
  EXPECT_TRUE(prints("TrapezoidPlannerInput:0.200000,0.400000,"));
  EXPECT_TRUE(prints("TrapezoidPlannerInput:-0.100000,-0.200000,"));
  EXPECT_TRUE(prints(kSuccess, 2));
  EXPECT_TRUE(spinUntil([&] { return near(reference_.position, second, kReachTolerance); }));
  EXPECT_TRUE(referenceWithinLimits(from));

  // A spline on movj_s_topic from where the arm is passes its waypoints.
  std::vector<Joints> points;
  for (double k = 0.0; k < 4.0; k += 1.0) {
    const Joints step = {0.1, -0.05, 0.05, 0.05, 0.1};
    points.push_back(second);
    for (int i = 0; i < kAxes; ++i) points.back()[i] += k * step[i];
  }
  ASSERT_TRUE(sendSpline(points, {0.0, 0.5, 1.0, 1.5}));
  ASSERT_TRUE(reaches(points.back()));
  EXPECT_TRUE(prints("I recieve movj_s:"));
  EXPECT_TRUE(prints(kSuccess, 3));
  // movj_to_pose_topic reaches the node (its inverse kinematics is the node's tests' subject).
  ASSERT_TRUE(sendData(movj_to_pose_, Joints{5.0, 0.0, 0.3, 0.0, 0.0, 0.0, 1.0, 0.5}));
  EXPECT_TRUE(prints("Do not get solution of the objective pos6D. The cmd is useless."));
  ASSERT_TRUE(moveTo(kHome));

  // A stop while idle stays pending and stops the next move at once, until recover clears it.
  ASSERT_TRUE(waitUntilStill());  // the lagging drives settle
  const Joints rest = actual_.position;
  ASSERT_TRUE(sendData(stop_, "idle"));
  ASSERT_TRUE(prints("I should stop: 'idle'"));
  const Joints target = {0.2, 0.1, 0.1, 0.1, 0.1};
  ASSERT_TRUE(sendMovj(target));
  ASSERT_TRUE(prints("The pending stop ends the waiting commands."));
  ASSERT_TRUE(waitUntilStill());
  EXPECT_TRUE(near(actual_.position, rest, 1e-12));
  ASSERT_TRUE(sendData(recover_, true));
  ASSERT_TRUE(prints("recover cmd success!"));
  ASSERT_TRUE(sendMovj(target));
  ASSERT_TRUE(reaches(target));

  // Set home: a simulated motor's home is position 0.
  ASSERT_TRUE(sendData(set_home_, "home"));
  EXPECT_TRUE(prints("I should setHome: 'home'"));
  EXPECT_TRUE(prints("set home SUCCESS!"));
  EXPECT_TRUE(reaches(kHome, 1e-12));

  // Gripper and lifter.
  ASSERT_TRUE(sendData(ctrl_io_, std::vector<int32_t>{1, 5}));
  EXPECT_TRUE(prints("ctrl_io id:1,io_cmd: 5"));
  ASSERT_TRUE(sendData(ctrl_io_, std::vector<int32_t>{2, 1}));
  EXPECT_TRUE(prints("ctrl_io id:2,io_cmd: 1"));
  EXPECT_TRUE(prints("Ctrl io command Finish.", 2));
  EXPECT_FALSE(controller_->printed("Ctrl io command time out error!!!"));

  // A refusal leaves the arm where it is (the node's tests cover every refusal).
  ASSERT_TRUE(sendData(movj_, Joints{0.1, 0.1, 0.1, 0.1}));
  EXPECT_TRUE(prints("MOVJ get data size is ERROR"));
  EXPECT_TRUE(near(actual_.position, kHome, 1e-12));
  EXPECT_FALSE(unnormal_flag_.data);  // refusals are warnings

  // The collision switch: the detector's data record arrives while it is on.
  ASSERT_TRUE(sendData(collision_enable_, true));
  EXPECT_TRUE(prints("The system collision_enable has changed."));
  ASSERT_TRUE(spinUntil([&] { return collision_data_.data.size() >= 19 + kAxes; }));
  EXPECT_FALSE(is_collision_.data);
  ASSERT_TRUE(sendData(collision_enable_, false));
  ASSERT_TRUE(prints("I get collision_enable command: 0"));

  // SIGTERM during a move ends the controller with status 0.
  ASSERT_TRUE(sendMovj({1.0, 0.5, 0.5, 0.5, 0.5}));
  ASSERT_TRUE(passes(0.25));
  EXPECT_EQ(controller_->stop(SIGTERM), 0) << controller_->output();
}

// The FollowJointTrajectory action: refused goals, success with feedback, cancel while moving
// and while queued, a stop aborting a goal, serve off, and SIGINT.
TEST_F(ControllerOverDds, TrajectoryGoalsCancelsServeOffAndSigint) {
  ASSERT_TRUE(startController());
  const std::vector<Joints> small = {
      {0.0, 0.0, 0.0, 0.0, 0.0}, {0.05, 0.0, 0.0, 0.0, 0.0}, {0.1, 0.0, 0.0, 0.0, 0.0}};
  // The error code of an aborted goal, kNotAborted for any other outcome.
  constexpr int kNotAborted = 1000;
  std::string error_string;
  auto abortCode = [&](const FollowJointTrajectory::Goal& sent) {
    auto handle = sendGoal(sent);
    if (handle == nullptr) return kNotAborted;
    const WrappedResult outcome = result(handle);
    if (outcome.code != ros2::action::ResultCode::ABORTED || outcome.result == nullptr) {
      return kNotAborted;
    }
    error_string = outcome.result->error_string;
    return static_cast<int>(outcome.result->error_code);
  };
  // Every joint must be named: the refusal says which is missing, in the result and on the
  // console.
  FollowJointTrajectory::Goal unnamed = goal(small, {0.0, 0.4, 0.8});
  unnamed.trajectory.joint_names.pop_back();
  EXPECT_EQ(abortCode(unnamed), FollowJointTrajectory::Result::INVALID_JOINTS);
  EXPECT_EQ(error_string, "joint_names must name joint1..joint5 once each: missing joint5.");
  EXPECT_TRUE(prints("Goal refused: joint_names must name joint1..joint5 once each"));
  // A short goal is planned, and the drives are still off.
  const int disabled = abortCode(goal(small, {0.0, 0.4, 0.8}));
  EXPECT_NE(disabled, kNotAborted);
  EXPECT_NE(disabled, FollowJointTrajectory::Result::SUCCESSFUL);
  EXPECT_EQ(error_string,
            "The trajectory was stopped: enable is OFF, the trajectory can not be executed!");
  EXPECT_TRUE(prints("enable is OFF, the trajectory can not be executed!"));
  EXPECT_TRUE(near(actual_.position, kHome, 1e-12));
  ASSERT_TRUE(serveOn());

  // Success with feedback and error code 0; the finished goal's command is released.
  std::vector<Joints> points;
  for (double k = 0.0; k < 5.0; k += 1.0)
    points.push_back({0.05 * k, 0.02 * k, -0.05 * k, 0.05 * k, 0.05 * k});
  auto handle = sendGoal(goal(points, {0.0, 0.4, 0.8, 1.2, 1.6}));
  ASSERT_NE(handle, nullptr);
  WrappedResult outcome = result(handle);
  ASSERT_EQ(outcome.code, ros2::action::ResultCode::SUCCEEDED);
  ASSERT_NE(outcome.result, nullptr);
  EXPECT_EQ(outcome.result->error_code, FollowJointTrajectory::Result::SUCCESSFUL);
  EXPECT_GT(feedback_count_, 0);
  EXPECT_EQ(last_feedback_.joint_names.size(), static_cast<size_t>(kAxes));
  EXPECT_EQ(last_feedback_.actual.positions.size(), static_cast<size_t>(kAxes));
  EXPECT_TRUE(reaches(points.back()));
  ASSERT_TRUE(moveTo(kHome));

  // Cancelled mid-motion: the arm stops part-way and the goal ends CANCELED.
  std::vector<Joints> long_points;
  for (double k = 0.0; k < 5.0; k += 1.0)
    long_points.push_back({0.25 * k, 0.1 * k, 0.1 * k, 0.1 * k, 0.1 * k});
  const FollowJointTrajectory::Goal long_goal = goal(long_points, {0.0, 0.75, 1.5, 2.25, 3.0});
  handle = sendGoal(long_goal);
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(passes(0.1));
  EXPECT_TRUE(cancel(handle));
  EXPECT_EQ(result(handle).code, ros2::action::ResultCode::CANCELED);
  EXPECT_TRUE(prints("Got request to cancel goal"));
  EXPECT_TRUE(prints("It take"));
  ASSERT_TRUE(waitUntilStill());
  EXPECT_GT(actual_.position[0], 0.1);
  EXPECT_LT(actual_.position[0], 0.9);
  EXPECT_TRUE(referenceWithinLimits());
  ASSERT_TRUE(moveTo(kHome));
  // A movj that changes one joint only reaches its target.
  ASSERT_TRUE(moveTo({0.0, 0.0, 0.0, 0.3, 0.0}));

  // Cancelled while queued behind a move: it never runs, and the move ahead goes on.
  const size_t stops = controller_->countPrinted("It take");
  const Joints first = {0.8, 0.3, 0.3, 0.3, 0.3};
  ASSERT_TRUE(sendMovj(first, 0.5));
  // Topic and action are separate channels: the goal is sent once the move is under way.
  ASSERT_TRUE(passes(0.02));
  std::vector<Joints> queued;
  for (double k = 1.0; k < 5.0; k += 1.0)
    queued.push_back({0.8 - 0.1 * k, 0.3 - 0.1 * k, 0.3 - 0.1 * k, 0.3 - 0.1 * k, 0.3 - 0.1 * k});
  handle = sendGoal(goal(queued, {0.5, 1.0, 1.5, 2.0}));
  ASSERT_NE(handle, nullptr);
  EXPECT_TRUE(cancel(handle)) << controller_->output();
  EXPECT_EQ(result(handle).code, ros2::action::ResultCode::CANCELED);
  EXPECT_TRUE(reaches(first));
  EXPECT_EQ(controller_->countPrinted("It take"), stops);
  ASSERT_TRUE(moveTo(kHome));

  // A stop during a goal aborts it.
  handle = sendGoal(long_goal);
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(passes(0.1));
  ASSERT_TRUE(sendData(stop_, "halt"));
  outcome = result(handle);
  EXPECT_EQ(outcome.code, ros2::action::ResultCode::ABORTED);
  ASSERT_NE(outcome.result, nullptr);
  EXPECT_EQ(outcome.result->error_code, FollowJointTrajectory::Result::PATH_TOLERANCE_VIOLATED);
  EXPECT_EQ(outcome.result->error_string, "The trajectory was stopped: A stop was requested.");
  ASSERT_TRUE(waitUntilStill());
  EXPECT_LT(actual_.position[0], 0.9);
  // The stop holds later moves until a recover.
  ASSERT_TRUE(sendData(recover_, true));
  ASSERT_TRUE(prints("recover cmd success!"));

  // Serve off disables the drives.
  ASSERT_TRUE(sendData(serve_on_, false));
  EXPECT_TRUE(spinUntil([&] { return !enable_flag_.data; }));
  EXPECT_TRUE(prints("RobotCmdRosTwoWrapper::serveOnCallback -- data: false"));
  EXPECT_FALSE(unnormal_flag_.data);

  // SIGINT during a goal: the arm decelerates to rest, the goal gets its result, and the
  // controller ends with status 0 within the stop time plus a second.
  ASSERT_TRUE(serveOn());
  ASSERT_TRUE(moveTo(kHome));
  handle = sendGoal(long_goal);
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(passes(0.1));
  auto result_future = client_->async_get_result(handle);
  const size_t before_sigint = reference_history_.size();
  controller_->signal(SIGINT);
  ASSERT_EQ(executor_.spin_until_future_complete(result_future, kDeadline),
            ros2::FutureReturnCode::SUCCESS)
      << controller_->output();
  EXPECT_EQ(result_future.get().code, ros2::action::ResultCode::ABORTED);
  EXPECT_EQ(result_future.get().result->error_string,
            "The trajectory was stopped: The controller shut down.");
  EXPECT_EQ(controller_->waitForExit(kSanitized ? kExitDeadline : 1500ms), 0)
      << controller_->output();
  spinUntil([] { return false; }, 300ms);  // the samples published before the exit
  EXPECT_GT(reference_history_.size(), before_sigint);
  EXPECT_TRUE(referenceWithinLimits());
}

TEST_F(ControllerOverDds, RemappedMovjTopicMovesTheArm) {
  ASSERT_TRUE(startController({"--ros-args", "-r", "movj_topic:=my_movj"}));
  auto my_movj = publisher<Float64Array>("my_movj");
  ASSERT_TRUE(serveOn());
  const Joints target = {-0.2, 0.1, 0.1, -0.1, 0.1};
  ASSERT_TRUE(sendData(my_movj, Joints{-0.2, 0.1, 0.1, -0.1, 0.1, 1.0}));
  EXPECT_TRUE(reaches(target));
  EXPECT_EQ(movj_->get_subscription_count(), 0u);  // the original name has no subscriber
}

TEST_F(ControllerOverDds, MissingParameterFileEndsStartUpWithStatusOne) {
  controller_ = std::make_unique<ControllerProcess>(
      std::vector<std::string>{"--robot-para-file", "missing.yaml"});
  EXPECT_EQ(controller_->waitForExit(kExitDeadline), 1) << controller_->output();
  EXPECT_TRUE(controller_->printed("Error: File missing.yaml not found!")) << controller_->output();
  EXPECT_EQ(counts_[kActualJoint], 0u);
}

}  // namespace
