// brenvik_robot as a child process on the simulated arm, commanded over loopback DDS.

#include <gtest/gtest.h>

#include <cmath>

#include "ros2/action.h"
#include "ros2/msg/control_msgs.h"
#include "ros2/msg/rcl_interfaces.h"
#include "ros2/ros2.h"
#include "support/child_process.h"
#include "support/ros2_test_env.h"

namespace {

using namespace std::chrono_literals;
using Action = control_msgs::action::FollowJointTrajectory;
using Joints = std::vector<double>;
using std_msgs::msg::Bool;
using Doubles = std_msgs::msg::Float64MultiArray;

constexpr std::chrono::milliseconds kDeadline = 30000ms;  // room for a sanitizer build

class ControllerOverDds : public ::testing::Test {
 protected:
  void SetUp() override {
    ros2_test::use_private_loopback_domain();
    const char* argv[] = {"ros_interface_e2e_test"};
    ros2::init(1, argv);
    node_ = std::make_shared<ros2::Node>("e2e_client");
    executor_.add_node(node_);
    using JointState = sensor_msgs::msg::JointState;
    listen<JointState>("current_actual_joint", [this](const JointState& m) { actual_ = m; });
    listen<JointState>("current_reference_joint",
                       [this](const JointState& m) { reference_.push_back(m.position); });
    listen<Bool>("enable_flag", [this](const Bool& m) { enabled_ = m.data; });
    listen<Doubles>("collision_data", [this](const Doubles& m) { collision_ = m.data; });
    listen<Doubles>("dynamic_torque_estimate");
    listen<rcl_interfaces::msg::Log>("/rosout", [this](const rcl_interfaces::msg::Log& m) {
      rosout_ += m.name + ": " + m.msg + "\n";
    });
    client_ = ros2::action::create_client<Action>(node_, "follow_joint_trajectory");
  }
  void TearDown() override {
    client_.reset();
    for (const char* report : {"Sanitizer", "runtime error:", "double free"})
      EXPECT_FALSE(controller_ && controller_->printed(report)) << controller_->output();
    controller_.reset();
    ros2::shutdown();
  }

  template <class Msg>  // with a deep queue: no sample is dropped between two spins
  void listen(const std::string& topic, std::function<void(const Msg&)> f = nullptr) {
    subs_.push_back(node_->create_subscription<Msg>(topic, ros2::QoS(500), [=](const Msg& m) {
      ++counts_[topic];
      if (f) f(m);
    }));
  }
  template <class Pred>
  ::testing::AssertionResult until(Pred pred, const std::string& what,
                                   std::chrono::milliseconds deadline = kDeadline) {
    for (const auto end = std::chrono::steady_clock::now() + deadline; !pred();) {
      if (std::chrono::steady_clock::now() >= end)
        return ::testing::AssertionFailure() << what << "; console:\n" << controller_->output();
      executor_.spin_once(5ms);
    }
    return ::testing::AssertionSuccess();
  }
  template <class Future>
  auto wait(Future future) {
    EXPECT_EQ(executor_.spin_until_future_complete(future, kDeadline),
              ros2::FutureReturnCode::SUCCESS);
    return future.get();
  }
  ::testing::AssertionResult reaches(double low, double high) {
    return until([&] { return actual_.position[0] >= low && actual_.position[0] <= high; },
                 "axis 1 never reached " + std::to_string(low));
  }
  template <class Msg>
  ::testing::AssertionResult send(const std::string& topic, const Msg& msg) {
    auto pub = node_->create_publisher<Msg>(topic, ros2::QoS(10));
    publishers_.push_back(pub);  // kept: a sample is not lost with its writer
    auto heard = until([&] { return pub->get_subscription_count() > 0; }, topic);
    if (heard) pub->publish(msg);
    return heard;
  }

  // Since sample `from` (one per 5 ms) within max_joint_vel and emergency_stop_acc of the sim file.
  ::testing::AssertionResult referenceWithinLimits(size_t from) {
    const double max_vel[] = {1.5, 1.2, 1.5, 2.0, 2.5}, stop_acc[] = {6, 5, 6, 8, 10}, dt = 0.005;
    for (size_t k = from + 2; k < reference_.size(); ++k) {
      for (int i = 0; i < 5; ++i) {
        const double v = (reference_[k][i] - reference_[k - 1][i]) / dt;
        const double before = (reference_[k - 1][i] - reference_[k - 2][i]) / dt;
        if (std::fabs(v) > max_vel[i] * 1.001 ||
            std::fabs(v - before) > stop_acc[i] * dt * 1.05 + 1e-9) {
          return ::testing::AssertionFailure() << "axis " << i + 1 << " at sample " << k;
        }
      }
    }
    return ::testing::AssertionSuccess();
  }
  // A goal from the arm through four points toward `end`, ms apart; no `end`: joint5 unnamed.
  std::shared_ptr<ros2::action::ClientGoalHandle<Action>> sendGoal(const Joints& end, int ms) {
    Action::Goal goal;
    goal.trajectory.joint_names = {"joint1", "joint2", "joint3", "joint4", "joint5"};
    for (int k = 1; k <= 4; ++k) {
      auto& point = goal.trajectory.points.emplace_back();
      for (double q : end) point.positions.push_back(q * k / 4.0);
      point.time_from_start = {k * ms / 1000, static_cast<uint32_t>(k * ms % 1000 * 1000000)};
    }
    if (end.empty()) goal.trajectory.joint_names.pop_back();
    EXPECT_TRUE(until([&] { return client_->action_server_is_ready(); }, "no action server"));
    return wait(client_->async_send_goal(goal));
  }

  ros2::Executor executor_;
  ros2::Node::SharedPtr node_;
  std::unique_ptr<test_support::ChildProcess> controller_;
  std::vector<std::shared_ptr<ros2::SubscriptionBase>> subs_;
  std::vector<std::shared_ptr<ros2::PublisherBase>> publishers_;
  std::map<std::string, size_t> counts_;
  sensor_msgs::msg::JointState actual_;
  Joints collision_;
  std::vector<Joints> reference_;
  bool enabled_ = false;
  std::string rosout_;
  ros2::action::Client<Action>::SharedPtr client_;
};

// brenvikctl's walk sends the other commands and has the status golden and a successful goal.
TEST_F(ControllerOverDds, EveryTopicTheActionParametersAndSigint) {
  controller_ = std::make_unique<test_support::ChildProcess>(
      std::vector<std::string>{BRENVIK_ROBOT_EXECUTABLE, "--robot-para-file", BRENVIK_SIM_PARA_FILE,
                               "--ros-args", "-r", "movj_topic:=my_movj"});
  ASSERT_TRUE(until([&] { return counts_.size() - counts_.count("/rosout") == 5; }, "no status"));
  EXPECT_EQ(actual_.name,
            (std::vector<std::string>{"joint1", "joint2", "joint3", "joint4", "joint5"}));
  EXPECT_EQ(actual_.header.frame_id, "base_link");
  ASSERT_TRUE(send("serve_on_topic", Bool{true}));
  ASSERT_TRUE(until([&] { return enabled_; }, "the drives stayed off"));
  ASSERT_TRUE(send("my_movj", Doubles{{}, {0.4, 0.2, -0.2, 0.2, 0.2, 1.0}}));
  ASSERT_TRUE(reaches(0.399, 0.401));
  ASSERT_TRUE(send("set_home_topic", std_msgs::msg::String{"home"}));
  EXPECT_TRUE(until([&] { return controller_->printed("set home SUCCESS!"); }, "no home"));
  EXPECT_TRUE(reaches(-1e-3, 1e-3));  // a simulated motor's home is position 0
  ASSERT_TRUE(send("collision_enable_topic", Bool{true}));
  ASSERT_TRUE(until([&] { return collision_.size() >= 24; }, "no collision data"));

  ros2::AsyncParametersClient parameters(node_, "/robot_cmd_processor");
  ASSERT_TRUE(parameters.wait_for_service(kDeadline));
  const auto got = wait(parameters.get_parameters({"robot_para_file", "axis_num"}));
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].as_string() + " " + std::to_string(got[1].as_int()), BRENVIK_SIM_PARA_FILE " 5");

  const size_t from = reference_.size();  // the goals' setpoints from here on
  auto outcome = wait(client_->async_get_result(sendGoal({}, 400)));  // joint5 not named
  ASSERT_EQ(outcome.code, ros2::action::ResultCode::ABORTED);
  EXPECT_EQ(outcome.result->error_code, Action::Result::INVALID_JOINTS);
  const std::string refusal = "joint_names must name joint1..joint5 once each: missing joint5.";
  EXPECT_EQ(outcome.result->error_string, refusal);
  const std::string line = "robot_cmd_processor: Goal refused: " + refusal;
  EXPECT_TRUE(until([&] { return rosout_.find(line) != std::string::npos; }, rosout_));

  auto handle = sendGoal({1.0, 0.4, 0.4, 0.4, 0.4}, 750);
  ASSERT_TRUE(reaches(0.3, 0.9));
  EXPECT_EQ(wait(client_->async_cancel_goal(handle))->goals_canceling.size(), 1u);
  EXPECT_EQ(wait(client_->async_get_result(handle)).code, ros2::action::ResultCode::CANCELED);
  EXPECT_LT(actual_.position[0], 0.9);  // stopped part-way
  const double stopped = actual_.position[0];
  handle = sendGoal({1.4, 0.4, 0.4, 0.4, 0.4}, 750);
  ASSERT_TRUE(reaches(stopped + 0.1, 1.3));
  auto result = client_->async_get_result(handle);
  const size_t before = reference_.size();
  controller_->signal(SIGINT);
  outcome = wait(result);
  EXPECT_EQ(outcome.code, ros2::action::ResultCode::ABORTED);
  EXPECT_EQ(outcome.result->error_string, "The trajectory was stopped: The controller shut down.");
  EXPECT_EQ(controller_->waitForExit(kDeadline), 0) << controller_->output();
  until([] { return false; }, "", 300ms);  // the samples published before the exit
  EXPECT_GT(reference_.size(), before);
  EXPECT_TRUE(referenceWithinLimits(from));
}

}  // namespace
