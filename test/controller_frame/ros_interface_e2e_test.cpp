// brenvik_robot as a child process on the simulated arm, commanded over loopback DDS by a client
// node of this process: one walk through every topic, the trajectory action, the parameters and
// /rosout. What the command node makes of each message is checked in-process by its own test.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ros2/action.h"
#include "ros2/msg/control_msgs.h"
#include "ros2/msg/rcl_interfaces.h"
#include "ros2/ros2.h"
#include "support/child_process.h"
#include "support/ros2_test_env.h"

namespace {

using namespace std::chrono_literals;
using FollowJointTrajectory = control_msgs::action::FollowJointTrajectory;
using Joints = std::vector<double>;
using std_msgs::msg::Bool;
using Doubles = std_msgs::msg::Float64MultiArray;
using Code = ros2::action::ResultCode;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr std::chrono::milliseconds kDeadline = 30000ms;
#else
constexpr std::chrono::milliseconds kDeadline = 15000ms;
#endif
constexpr double kMaxJointVel[] = {1.5, 1.2, 1.5, 2.0, 2.5};  // rad/s, from the sim file
constexpr double kStopAcc[] = {6.0, 5.0, 6.0, 8.0, 10.0};     // emergency_stop_acc, rad/s²

template <class Msg, class Data>
Msg with(const Data& data) {
  Msg msg;
  msg.data = data;
  return msg;
}

class ControllerOverDds : public ::testing::Test {
 protected:
  using Client = ros2::action::Client<FollowJointTrajectory>;

  void SetUp() override {
    ros2_test::use_private_loopback_domain();
    const char* argv[] = {"ros_interface_e2e_test"};
    ros2::init(1, argv);
    node_ = std::make_shared<ros2::Node>("e2e_client");
    executor_.add_node(node_);
    using JointState = sensor_msgs::msg::JointState;
    listen<JointState>("current_actual_joint",
                       [this](const JointState& m) { actual_ = m.position; });
    listen<JointState>("current_reference_joint",
                       [this](const JointState& m) { reference_.push_back(m.position); });
    listen<Bool>("enable_flag", [this](const Bool& m) { enabled_ = m.data; });
    listen<Doubles>("collision_data", [this](const Doubles& m) { collision_ = m.data; });
    listen<Doubles>("dynamic_torque_estimate");
    listen<Bool>("is_collision_flag");
    listen<Bool>("unnormal_flag");
    listen<geometry_msgs::msg::Pose>("tcp_pose");
    listen<rcl_interfaces::msg::Log>("/rosout", [this](const rcl_interfaces::msg::Log& m) {
      rosout_ += m.name + ": " + m.msg + "\n";
    });
    client_ = ros2::action::create_client<FollowJointTrajectory>(node_, "follow_joint_trajectory");
    options_.feedback_callback = [this](Client::GoalHandle::SharedPtr,
                                        std::shared_ptr<const FollowJointTrajectory::Feedback> f) {
      feedback_ = *f;
    };
  }

  // A controller still running ends in order, with status 0 and no sanitizer report.
  void TearDown() override {
    client_.reset();
    if (controller_ && controller_->waitForExit(0ms) < 0) {
      controller_->signal(SIGINT);
      EXPECT_EQ(controller_->waitForExit(kDeadline), 0) << controller_->output();
    }
    for (const char* report : {"Sanitizer", "runtime error:", "double free"}) {
      EXPECT_FALSE(controller_ && controller_->printed(report)) << controller_->output();
    }
    controller_.reset();
    ros2::shutdown();
  }

  // Subscribes with a deep queue, so that no sample is dropped between two spins.
  template <class Msg>
  void listen(
      const std::string& topic, std::function<void(const Msg&)> f = [](const Msg&) {}) {
    subs_.push_back(node_->create_subscription<Msg>(topic, ros2::QoS(500), [=](const Msg& m) {
      ++counts_[topic];
      f(m);
    }));
  }
  template <class Future>
  auto wait(Future future) {
    EXPECT_EQ(executor_.spin_until_future_complete(future, kDeadline),
              ros2::FutureReturnCode::SUCCESS)
        << controller_->output();
    return future.get();
  }
  template <class Pred>
  ::testing::AssertionResult until(Pred pred, const std::string& what,
                                   std::chrono::milliseconds deadline = kDeadline) {
    for (const auto end = std::chrono::steady_clock::now() + deadline; !pred();) {
      if (std::chrono::steady_clock::now() >= end) {
        return ::testing::AssertionFailure() << what << "; console:\n" << controller_->output();
      }
      executor_.spin_once(5ms);
    }
    return ::testing::AssertionSuccess();
  }
  ::testing::AssertionResult prints(const std::string& text) {
    return until([&] { return controller_->printed(text); }, "the console never showed " + text);
  }
  ::testing::AssertionResult reaches(const Joints& target) {
    const auto near = [&] {
      double error = actual_.size() == target.size() ? 0.0 : 1.0;
      for (size_t i = 0; i < actual_.size() && i < target.size(); ++i) {
        error = std::max(error, std::fabs(actual_[i] - target[i]));
      }
      return error <= 1e-3;
    };
    return until(near, "the arm missed its target");
  }
  // Waits until axis 1 has passed position, moving upwards.
  ::testing::AssertionResult passes(double position) {
    return until([&] { return !actual_.empty() && actual_[0] > position; }, "axis 1 stayed back");
  }

  // Starts the controller and waits until all eight status topics have arrived.
  ::testing::AssertionResult start(std::vector<std::string> args = {}) {
    args.insert(args.begin(),
                {BRENVIK_ROBOT_EXECUTABLE, "--robot-para-file", BRENVIK_SIM_PARA_FILE});
    controller_ = std::make_unique<test_support::ChildProcess>(args);
    return until([&] { return counts_.size() - counts_.count("/rosout") == 8; }, "no status");
  }
  // Publishes on topic once the controller subscribes to it.
  template <class Msg>
  ::testing::AssertionResult send(const std::string& topic, const Msg& msg) {
    auto& pub = publishers_[topic];
    if (!pub) pub = node_->create_publisher<Msg>(topic, ros2::QoS(10));
    auto* typed = static_cast<ros2::Publisher<Msg>*>(pub.get());
    auto heard = until([&] { return typed->get_subscription_count() > 0; }, topic);
    if (heard) typed->publish(msg);
    return heard;
  }
  ::testing::AssertionResult serveOn() {
    if (auto sent = send("serve_on_topic", with<Bool>(true)); !sent) return sent;
    return until([&] { return enabled_ && controller_->printed("setEnable success."); }, "enable");
  }
  ::testing::AssertionResult home() {
    if (auto sent = send("movj_topic", with<Doubles>(Joints{0, 0, 0, 0, 0, 1.0})); !sent)
      return sent;
    return reaches(Joints(5, 0.0));
  }

  // Sampled once per 5 ms period, the setpoint never moved faster than max_joint_vel nor changed
  // its velocity faster than emergency_stop_acc: no stop was abrupt.
  ::testing::AssertionResult referenceWithinLimits() {
    const double dt = 0.005;
    Joints last_v(5, 0.0);
    for (size_t k = 1; k < reference_.size(); ++k) {
      for (int i = 0; i < 5; ++i) {
        const double v = (reference_[k][i] - reference_[k - 1][i]) / dt;
        if (std::fabs(v) > kMaxJointVel[i] * 1.001 ||
            (k > 1 && std::fabs(v - last_v[i]) > kStopAcc[i] * dt * 1.05 + 1e-9)) {
          return ::testing::AssertionFailure()
                 << "axis " << i + 1 << " at " << v << " rad/s at reference sample " << k;
        }
        last_v[i] = v;
      }
    }
    return ::testing::AssertionSuccess();
  }

  // A straight goal from home through five points spaced by dt seconds, joints named in order.
  static FollowJointTrajectory::Goal line(const Joints& end, double dt) {
    FollowJointTrajectory::Goal goal;
    goal.trajectory.joint_names = {"joint1", "joint2", "joint3", "joint4", "joint5"};
    for (int k = 0; k < 5; ++k) {
      auto& point = goal.trajectory.points.emplace_back();
      for (double q : end) point.positions.push_back(q * k / 4.0);
      const auto ns = std::llround(k * dt * 1e9);
      point.time_from_start.sec = static_cast<int32_t>(ns / 1000000000);
      point.time_from_start.nanosec = static_cast<uint32_t>(ns % 1000000000);
    }
    return goal;
  }
  Client::GoalHandle::SharedPtr sendGoal(const FollowJointTrajectory::Goal& goal) {
    EXPECT_TRUE(until([&] { return client_->action_server_is_ready(); }, "no action server"));
    return wait(client_->async_send_goal(goal, options_));
  }

  ros2::Executor executor_;
  ros2::Node::SharedPtr node_;
  std::unique_ptr<test_support::ChildProcess> controller_;
  std::vector<std::shared_ptr<ros2::SubscriptionBase>> subs_;
  std::map<std::string, std::shared_ptr<ros2::PublisherBase>> publishers_;
  std::map<std::string, size_t> counts_;
  Joints actual_, collision_;
  std::vector<Joints> reference_;
  bool enabled_ = false;
  std::string rosout_;
  Client::SharedPtr client_;
  Client::SendGoalOptions options_;
  FollowJointTrajectory::Feedback feedback_;
};

// Every command topic once (movj under a name remapped on the command line), the configuration
// as parameters, and SIGTERM during a move.
TEST_F(ControllerOverDds, TopicsParametersAndSigterm) {
  ASSERT_TRUE(start({"--ros-args", "-r", "movj_topic:=my_movj"}));
  ASSERT_TRUE(serveOn());
  ASSERT_TRUE(send("my_movj", with<Doubles>(Joints{0.4, 0.2, -0.2, 0.2, 0.2, 1.0})));
  ASSERT_TRUE(reaches({0.4, 0.2, -0.2, 0.2, 0.2}));
  Doubles spline = with<Doubles>(Joints{0.4, 0.2, -0.2, 0.2, 0.2, 0, 0.5, 0.1, -0.1, 0.3, 0.4, 1});
  spline.layout.dim.resize(2);  // two points of five joint values and a time
  spline.layout.dim[0].size = 2;
  spline.layout.dim[1].size = 6;
  ASSERT_TRUE(send("movj_s_topic", spline));
  ASSERT_TRUE(reaches({0.5, 0.1, -0.1, 0.3, 0.4}));

  // The other command topics, each with what the controller prints in answer.
  ASSERT_TRUE(send("movj_to_pose_topic", with<Doubles>(Joints{5, 0, 0.3, 0, 0, 0, 1, 0.5})));
  EXPECT_TRUE(prints("Do not get solution of the objective pos6D."));
  ASSERT_TRUE(send("stop_topic", with<std_msgs::msg::String>(std::string("idle"))));
  EXPECT_TRUE(prints("I should stop: 'idle'"));
  ASSERT_TRUE(send("recover_topic", with<Bool>(true)));
  EXPECT_TRUE(prints("recover cmd success!"));
  ASSERT_TRUE(send("set_home_topic", with<std_msgs::msg::String>(std::string("home"))));
  EXPECT_TRUE(prints("set home SUCCESS!"));
  ASSERT_TRUE(
      send("ctrl_io_topic", with<std_msgs::msg::Int32MultiArray>(std::vector<int32_t>{2, 1})));
  EXPECT_TRUE(prints("Ctrl io command Finish."));
  ASSERT_TRUE(send("drag_teaching_enable_topic", with<Bool>(false)));
  EXPECT_TRUE(prints("The system drag teaching enable has changed."));
  ASSERT_TRUE(send("collision_enable_topic", with<Bool>(true)));
  ASSERT_TRUE(until([&] { return collision_.size() >= 24; }, "no collision data"));
  ASSERT_TRUE(send("set_collision_sensitivity_topic", with<Doubles>(Joints{})));
  EXPECT_TRUE(prints("The collision sensitivity command is empty"));

  ros2::AsyncParametersClient parameters(node_, "/robot_cmd_processor");
  ASSERT_TRUE(parameters.wait_for_service(kDeadline));
  const auto got = wait(parameters.get_parameters({"robot_para_file", "axis_num"}));
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].as_string(), BRENVIK_SIM_PARA_FILE);
  EXPECT_EQ(got[1].as_int(), 5);

  ASSERT_TRUE(send("my_movj", with<Doubles>(Joints{1.0, 0.5, 0.5, 0.5, 0.5, 1.0})));
  ASSERT_TRUE(passes(0.25));
  controller_->signal(SIGTERM);
  EXPECT_EQ(controller_->waitForExit(kDeadline), 0) << controller_->output();
}

// The trajectory action: a refusal (in the result, on the console and on /rosout), a success with
// feedback, a cancel mid-motion and SIGINT mid-goal, both decelerating within emergency_stop_acc.
TEST_F(ControllerOverDds, TrajectoryGoalCancelAndSigint) {
  ASSERT_TRUE(start());
  ASSERT_TRUE(serveOn());
  FollowJointTrajectory::Goal unnamed = line({0.2, 0, 0, 0, 0}, 0.4);
  unnamed.trajectory.joint_names.pop_back();
  auto outcome = wait(client_->async_get_result(sendGoal(unnamed)));
  EXPECT_EQ(outcome.code, Code::ABORTED);
  ASSERT_NE(outcome.result, nullptr);
  EXPECT_EQ(outcome.result->error_code, FollowJointTrajectory::Result::INVALID_JOINTS);
  const std::string refusal = "joint_names must name joint1..joint5 once each: missing joint5.";
  EXPECT_EQ(outcome.result->error_string, refusal);
  EXPECT_TRUE(until([&] { return rosout_.find("Goal refused: " + refusal) != std::string::npos; },
                    rosout_));
  EXPECT_NE(rosout_.find("robot_cmd_processor: Goal refused: "), std::string::npos) << rosout_;

  const Joints end = {0.2, 0.08, -0.2, 0.2, 0.2};
  outcome = wait(client_->async_get_result(sendGoal(line(end, 0.4))));
  ASSERT_EQ(outcome.code, Code::SUCCEEDED) << controller_->output();
  EXPECT_EQ(outcome.result->error_code, FollowJointTrajectory::Result::SUCCESSFUL);
  EXPECT_EQ(feedback_.actual.positions.size(), 5u);
  EXPECT_TRUE(reaches(end));
  ASSERT_TRUE(home());

  // Cancelled mid-motion: the arm stops part-way and the goal ends CANCELED.
  const auto long_goal = line({1.0, 0.4, 0.4, 0.4, 0.4}, 0.75);
  auto handle = sendGoal(long_goal);
  ASSERT_TRUE(passes(0.1));
  EXPECT_EQ(wait(client_->async_cancel_goal(handle))->goals_canceling.size(), 1u);
  EXPECT_EQ(wait(client_->async_get_result(handle)).code, Code::CANCELED);
  EXPECT_LT(actual_[0], 0.9);
  EXPECT_TRUE(referenceWithinLimits());
  ASSERT_TRUE(home());

  // SIGINT mid-goal: the arm decelerates to rest, the goal gets its result, the controller ends
  // with status 0.
  handle = sendGoal(long_goal);
  ASSERT_TRUE(passes(0.1));
  auto result = client_->async_get_result(handle);
  const size_t before = reference_.size();
  controller_->signal(SIGINT);
  outcome = wait(result);
  EXPECT_EQ(outcome.code, Code::ABORTED);
  EXPECT_EQ(outcome.result->error_string, "The trajectory was stopped: The controller shut down.");
  EXPECT_EQ(controller_->waitForExit(kDeadline), 0) << controller_->output();
  until([] { return false; }, "", 300ms);  // the samples published before the exit
  EXPECT_GT(reference_.size(), before);
  EXPECT_TRUE(referenceWithinLimits());
}

TEST_F(ControllerOverDds, MissingParameterFileEndsStartUpWithStatusOne) {
  controller_ = std::make_unique<test_support::ChildProcess>(
      std::vector<std::string>{BRENVIK_ROBOT_EXECUTABLE, "--robot-para-file", "missing.yaml"});
  EXPECT_EQ(controller_->waitForExit(kDeadline), 1) << controller_->output();
  EXPECT_TRUE(controller_->printed("Error: File missing.yaml not found!")) << controller_->output();
}

}  // namespace
