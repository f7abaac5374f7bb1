#include "controller_frame/robot_cmd_ros_two_wrapper.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/logger.h"
#include "controller_frame/all_axises_joint_plan_cmd.h"
#include "controller_frame/set_io_cmd.h"
#include "controller_frame/trapezoid_planner.h"
#include "devices/virtual_motor.h"
#include "robot_factory/brenvik_bot_v5.h"
#include "support/fake_loop_clock.h"
#include "support/robot_para_files.h"
#include "support/ros2_test_env.h"

namespace brenvik {
namespace {

using std_msgs::msg::Bool;
using std_msgs::msg::Float64MultiArray;
using std_msgs::msg::Int32MultiArray;

template <class Msg, class Data>
Msg message(Data data) {
  Msg msg;
  msg.data = std::move(data);
  return msg;
}
Bool boolean(bool value) { return message<Bool>(value); }
Int32MultiArray ints(std::vector<int32_t> data) { return message<Int32MultiArray>(data); }
std_msgs::msg::String text(const std::string& value) {
  return message<std_msgs::msg::String>(value);
}
Float64MultiArray doubles(std::vector<double> data) { return message<Float64MultiArray>(data); }

// The command node on the simulated arm; its callbacks are called directly and the control loop
// is stepped by hand, so no test waits for DDS or for time to pass.
class RobotCmdNodeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!ros2::ok()) {
      ros2_test::use_private_loopback_domain();
      const char* argv[] = {"robot_cmd_ros_two_wrapper_test"};
      ros2::init(1, argv);
    }
  }

  void SetUp() override {
    Logger::instance()->reset();
    Logger::instance()->display_level_ = 1;
    ::testing::internal::CaptureStdout();
    robot_ = std::make_shared<BrenvikBotV5>(test::kSimParaFile);
    interpolator_ =
        std::make_unique<Interpolator>(robot_, std::make_shared<testing::FakeLoopClock>());
    node_ = std::make_shared<RobotCmdRosTwoWrapper>(interpolator_.get());
    ::testing::internal::GetCapturedStdout();
  }
  void TearDown() override {
    node_.reset();
    interpolator_.reset();
    Logger::instance()->reset();
  }

  // Runs n control periods; returns what they printed.
  std::string step(int n = 1) {
    ::testing::internal::CaptureStdout();
    for (int i = 0; i < n; ++i) {
      time_ += Interpolator::kPeriod;
      interpolator_->update(time_);
    }
    return ::testing::internal::GetCapturedStdout();
  }
  // Periods until the loop is idle with an empty queue (at most 20 s of loop time).
  void runUntilIdle() {
    ::testing::internal::CaptureStdout();
    for (int i = 0; i < 4000 && !(interpolator_->idleFlag() && interpolator_->isCmdQueueEmpty());
         ++i) {
      time_ += Interpolator::kPeriod;
      interpolator_->update(time_);
    }
    ::testing::internal::GetCapturedStdout();
  }
  void enableDrives() {
    node_->serveOnCallback(boolean(true));
    runUntilIdle();
    ASSERT_TRUE(interpolator_->enableFlag());
  }
  // Calls f with standard output and standard error captured; returns both, stdout first.
  template <typename F>
  std::string captured(F f) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    f();
    const std::string err = ::testing::internal::GetCapturedStderr();
    return ::testing::internal::GetCapturedStdout() + err;
  }
  AllAxisesJointPlanCmd* lastJointMove() {
    return dynamic_cast<AllAxisesJointPlanCmd*>(interpolator_->getLastCmd());
  }
  // Read from the drives' state: a position read would advance a simulated drive one period.
  std::vector<double> motorPositions() {
    std::vector<double> positions;
    for (const AxisPara& axis : robot_->robot_para_.axis_paras) {
      positions.push_back(dynamic_cast<const VirtualMotor&>(*axis.motor).state().position);
    }
    return positions;
  }

  std::shared_ptr<Robot> robot_;
  std::unique_ptr<Interpolator> interpolator_;
  std::shared_ptr<RobotCmdRosTwoWrapper> node_;
  double time_ = 0.0;
};

TEST_F(RobotCmdNodeTest, JointMoveLengthSelectsTheForm) {
  const std::vector<double> target = {0.2, 0.1, -0.1, 0.3, 0.2};
  for (size_t length : {5u, 9u}) {
    std::vector<double> data = target;
    data.resize(length, 0.5);
    const std::string out = captured([&] { node_->movjCallback(doubles(data)); });
    EXPECT_NE(out.find("MOVJ get data size is ERROR\n"), std::string::npos) << out;
    EXPECT_TRUE(interpolator_->isCmdQueueEmpty());
    EXPECT_EQ(ROBOTSTATUS(), RobotStatus::WARN);
  }

  std::vector<double> data = target;
  data.push_back(0.4);
  captured([&] { node_->movjCallback(doubles(data)); });
  auto* planner =
      dynamic_cast<const TrapezoidPlanner*>(lastJointMove()->traj_interface_ptrs_[0].get());
  ASSERT_NE(planner, nullptr);
  const double max_vel = robot_->robot_para_.axis_paras[0].max_joint_vel;
  const double max_acc = robot_->robot_para_.axis_paras[0].max_joint_acc;
  EXPECT_DOUBLE_EQ(planner->getInput()->vmax, 0.4 * max_vel);
  EXPECT_DOUBLE_EQ(planner->getInput()->aa, 0.4 * max_acc);
  EXPECT_DOUBLE_EQ(planner->getInput()->ad, -0.4 * max_acc);
  EXPECT_FALSE(lastJointMove()->is_block);

  // Each move starts where the one queued before it ends: every target differs from the last.
  data = {0.3, 0.2, 0.0, 0.4, 0.3, 1.0, 1.0, 0.0};
  captured([&] { node_->movjCallback(doubles(data)); });
  EXPECT_FALSE(lastJointMove()->is_block);
  data = {0.2, 0.1, -0.1, 0.3, 0.2, 1.0, 1.0, 0.5};
  captured([&] { node_->movjCallback(doubles(data)); });
  EXPECT_TRUE(lastJointMove()->is_block);
  EXPECT_EQ(node_->watchedCommandCount(), 1u);
}

TEST_F(RobotCmdNodeTest, ScalesOutsideZeroToOneAreReplacedByHalf) {
  const std::string out = captured([&] {
    node_->movjCallback(doubles({0.2, 0.1, -0.1, 0.3, 0.2, 1.2, -0.1}));
  });
  EXPECT_NE(out.find("velocity scale > 1.0 or < 0.0 error, we reset velocity scale 0.5!\n"),
            std::string::npos);
  EXPECT_NE(out.find("acceleration scale > 1.0 or < 0.0 error, we reset acceleration scale 0.5!\n"),
            std::string::npos);
  auto* planner =
      dynamic_cast<const TrapezoidPlanner*>(lastJointMove()->traj_interface_ptrs_[1].get());
  ASSERT_NE(planner, nullptr);
  EXPECT_DOUBLE_EQ(planner->getInput()->vmax,
                   0.5 * robot_->robot_para_.axis_paras[1].max_joint_vel);
}

TEST_F(RobotCmdNodeTest, BlockingJointMoveIsReleasedOnceFinished) {
  enableDrives();
  captured([&] { node_->movjCallback(doubles({0.2, 0.05, 0.05, 0.05, 0.1, 1.0, 1.0, 1.0})); });
  captured([&] { node_->movjCallback(doubles({0.0, 0.1, 0.0, 0.0, 0.0, 1.0})); });
  // The first move ends and is held for its issuer; the second waits behind it.
  for (int i = 0; i < 1000; ++i) {
    step();
    const AbstractCmdInterface* current = interpolator_->currentCmd();
    if (current != nullptr && current->cmd_status.load() == cmd_status::kSucceeded) {
      break;
    }
  }
  ASSERT_NE(interpolator_->currentCmd(), nullptr);
  EXPECT_EQ(interpolator_->currentCmd()->cmd_status.load(), cmd_status::kSucceeded);
  node_->watchBlockingCommands();
  EXPECT_EQ(node_->watchedCommandCount(), 0u);
  runUntilIdle();
  EXPECT_NEAR(motorPositions()[1], 0.1, 1e-4);
}

TEST_F(RobotCmdNodeTest, StatusGates) {
  LOG_STATUS(RobotStatus::ERROR, error_code::kCollision, "The arm get collision.\n");
  captured([&] { node_->movjCallback(doubles({0.2, 0.1, 0.0, 0.0, 0.0, 1.0})); });
  EXPECT_EQ(Logger::instance()->statusText(), "ROBOTSTATUS()>=RobotStatus::ERROR, movj erro!\n");
  captured([&] { node_->movsCallback(std::make_shared<Float64MultiArray>()); });
  captured([&] { node_->movjToPoseCallback(doubles({0.3, 0, 0.2, 0, 0, 0, 1, 0.5})); });
  EXPECT_EQ(Logger::instance()->statusText(), "ROBOTSTATUS()>=RobotStatus::ERROR, movl_j erro!\n");
  EXPECT_TRUE(interpolator_->isCmdQueueEmpty());

  // Everything but motion is still taken at ERROR.
  captured([&] { node_->ctrlIOCallback(ints({1, 1})); });
  captured([&] { node_->setHomeCallback(text("home")); });
  captured([&] { node_->serveOnCallback(boolean(true)); });
  EXPECT_EQ(dynamic_cast<SetIoCmd*>(interpolator_->getLastCmd()), nullptr);
  runUntilIdle();

  LOG_STATUS(RobotStatus::FATAL, error_code::kMotorWrite, "The MOTOR write error.\n");
  captured([&] { node_->ctrlIOCallback(ints({1, 1})); });
  EXPECT_TRUE(interpolator_->isCmdQueueEmpty());
  EXPECT_EQ(Logger::instance()->statusCode(), error_code::kMotorWrite);
}

TEST_F(RobotCmdNodeTest, ControlIoCommands) {
  for (const std::vector<int32_t>& data : {std::vector<int32_t>{1}, {1, 2, 3}}) {
    const std::string out = captured([&] { node_->ctrlIOCallback(ints(data)); });
    EXPECT_NE(out.find("We recieve the wrong ctrl io cmd size=" + std::to_string(data.size()) +
                       ", not euqal 2.\n"),
              std::string::npos);
  }
  std::string out = captured([&] { node_->ctrlIOCallback(ints({0, -1})); });
  EXPECT_NE(out.find(" invalid ctrl_io cmd, id:0,io_cmd: -1\n"), std::string::npos);
  EXPECT_TRUE(interpolator_->isCmdQueueEmpty());

  out = captured([&] { node_->ctrlIOCallback(ints({2, 1})); });
  EXPECT_NE(out.find("ctrl_io id:2,io_cmd: 1\n"), std::string::npos);
  auto* cmd = dynamic_cast<SetIoCmd*>(interpolator_->getLastCmd());
  ASSERT_NE(cmd, nullptr);
  EXPECT_EQ(cmd->ctrl_io_id, 2);
  EXPECT_EQ(cmd->io_cmd, 1);
  // The simulated lifter reaches the commanded state in the command's second period.
  EXPECT_NE(step(3).find("Ctrl io command Finish."), std::string::npos);
  EXPECT_TRUE(interpolator_->isCmdQueueEmpty());
}

Float64MultiArray splineMessage(const std::vector<std::vector<double>>& points, int values) {
  Float64MultiArray msg;
  msg.layout.dim.resize(2);
  msg.layout.dim[0].size = static_cast<uint32_t>(points.size());
  msg.layout.dim[1].size = static_cast<uint32_t>(values);
  for (const auto& point : points) {
    msg.data.insert(msg.data.end(), point.begin(), point.end());
  }
  return msg;
}

TEST_F(RobotCmdNodeTest, SplineMoveChecks) {
  const std::vector<std::vector<double>> points = {{0, 0, 0, 0, 0, 0.0},
                                                   {0.1, 0.1, 0, 0, 0, 1.0},
                                                   {0.2, 0.2, 0, 0, 0, 2.0},
                                                   {0.3, 0.3, 0, 0, 0, 3.0}};
  auto send = [&](Float64MultiArray msg) {
    return captured(
        [&] { node_->movsCallback(std::make_shared<Float64MultiArray>(std::move(msg))); });
  };
  EXPECT_NE(send(splineMessage({}, 6)).find("The movj_s message holds no points.\n"),
            std::string::npos);
  EXPECT_NE(send(splineMessage(points, 5)).find("We recieve the wrong movj cmd size=24"),
            std::string::npos);
  Float64MultiArray short_data = splineMessage(points, 6);
  short_data.data.pop_back();
  EXPECT_NE(send(short_data).find("not 4 points of 6"), std::string::npos);
  Float64MultiArray no_layout = splineMessage(points, 6);
  no_layout.layout.dim.clear();
  EXPECT_NE(send(no_layout).find("layout needs two dimensions"), std::string::npos);
  std::vector<std::vector<double>> over = points;
  over[2][1] = 1.7;
  EXPECT_NE(send(splineMessage(over, 6))
                .find("The 3st point 2st axim angle is over range. Please send viable command "
                      "again.\n"),
            std::string::npos);
  EXPECT_TRUE(interpolator_->isCmdQueueEmpty());

  const std::string out = send(splineMessage(points, 6));
  EXPECT_NE(out.find("I recieve movj_s:"), std::string::npos) << out;
  auto* cmd = lastJointMove();
  ASSERT_NE(cmd, nullptr);
  EXPECT_FALSE(cmd->is_block);
  EXPECT_DOUBLE_EQ(cmd->traj_interface_ptrs_[1]->getMotionTime(), 3.0);
}

TEST_F(RobotCmdNodeTest, JointMoveToPoseReachesThePose) {
  enableDrives();
  const std::vector<double> q = {0.3, 0.4, 0.6, -0.5, 0.2};
  const Eigen::Matrix4d pose = robot_->kinematics_->forwardKinematics(q);
  const Eigen::Quaterniond rotation(Eigen::Matrix3d(pose.block<3, 3>(0, 0)));
  captured([&] {
    node_->movjToPoseCallback(doubles({pose(0, 3), pose(1, 3), pose(2, 3), rotation.x(),
                                       rotation.y(), rotation.z(), rotation.w(), 1.0}));
  });
  ASSERT_NE(lastJointMove(), nullptr);
  runUntilIdle();
  step(20);  // the lagging drives settle
  const Eigen::Matrix4d reached = robot_->kinematics_->forwardKinematics(motorPositions());
  EXPECT_TRUE(reached.isApprox(pose, 1e-4)) << reached << "\n" << pose;
}

TEST_F(RobotCmdNodeTest, JointMoveToPoseRefusals) {
  std::string out = captured([&] { node_->movjToPoseCallback(doubles({0.3, 0.0, 0.2})); });
  EXPECT_NE(out.find("We recieve the wrong movl_j cmd size=3, not euqal 8.\n"), std::string::npos);
  // On the base axis there is no solution.
  out = captured([&] { node_->movjToPoseCallback(doubles({0, 0, 0.3, 0, 0, 0, 0, 0.5})); });
  EXPECT_NE(
      out.find(
          "transform_matrix:  1   0   0   0\n  0   1   0   0\n  0   0   1 0.3\n  0   0   0   1\n"),
      std::string::npos)
      << out;
  EXPECT_NE(out.find("Do not get solution of the objective pos6D. The cmd is useless.\n"),
            std::string::npos);
  EXPECT_TRUE(interpolator_->isCmdQueueEmpty());
}

TEST_F(RobotCmdNodeTest, SwitchesReachTheInterpolator) {
  captured([&] { node_->collisionCallback(boolean(true)); });
  EXPECT_TRUE(interpolator_->collisionEnable());
  captured([&] { node_->dragTeachingCallback(boolean(false)); });
  EXPECT_FALSE(interpolator_->dragTeachingEnable());

  step();
  // Data record: time, flag, 7, 5, five flags, five signals, then the five lower limits.
  const size_t lower = 4 + 5 + 5;
  ASSERT_GT(interpolator_->collisionData().size(), lower);
  const double normal = interpolator_->collisionData()[lower];
  // Level 0 on joint 1: the insensitive factor widens its band.
  captured([&] { node_->setCollisionSensitivityCallback(doubles({4, 0})); });
  step();
  EXPECT_LT(interpolator_->collisionData()[lower], normal);
  EXPECT_DOUBLE_EQ(interpolator_->collisionData()[lower + 1], normal);
}

// A recover during a stop returns at once and completes from the watch timer once the arm is at
// rest; with collision detection off it lowers a collision's ERROR itself.
TEST_F(RobotCmdNodeTest, RecoverWaitsForRestWithoutBlocking) {
  enableDrives();
  captured([&] { node_->movjCallback(doubles({1.0, 0.5, 0.5, 0.5, 0.5, 0.5})); });
  step(60);
  LOG_STATUS(RobotStatus::ERROR, error_code::kCollision, "The arm get collision.\n");
  captured([&] { node_->stopCallback(text("")); });
  step();
  const auto start = std::chrono::steady_clock::now();
  captured([&] { node_->recoverCallback(Bool()); });
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_TRUE(node_->recoverPending());
  EXPECT_EQ(interpolator_->motionState(), MotionState::kStopping);
  std::string out;
  for (int i = 0; i < 400 && node_->recoverPending(); ++i) {
    step();
    out += captured([&] { node_->watchBlockingCommands(); });
  }
  EXPECT_NE(out.find("recover cmd success!"), std::string::npos) << out;
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::WARN);
  EXPECT_EQ(interpolator_->stopFlag(), 0);
  EXPECT_FALSE(Logger::instance()->recovering_);
}

TEST_F(RobotCmdNodeTest, RecoverGivesUpOnFatal) {
  LOG_STATUS(RobotStatus::FATAL, error_code::kMotorWrite, "The MOTOR write error.\n");
  captured([&] { node_->stopCallback(text("")); });
  step();
  captured([&] { node_->recoverCallback(Bool()); });
  EXPECT_TRUE(node_->recoverPending());
  ros2_test::wait_until(
      [&] {
        captured([&] { node_->watchBlockingCommands(); });
        return !node_->recoverPending();
      },
      std::chrono::milliseconds(5000));
  EXPECT_FALSE(node_->recoverPending());
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::FATAL);
  EXPECT_EQ(interpolator_->stopFlag(), 1);
  EXPECT_FALSE(Logger::instance()->recovering_);
}

TEST_F(RobotCmdNodeTest, TrajectoryGoalsAreAcceptedBelowError) {
  const auto goal = std::make_shared<const RobotCmdRosTwoWrapper::FollowJointTrajectory::Goal>();
  captured([&] {
    EXPECT_EQ(node_->handle_goal({}, goal), ros2::action::GoalResponse::ACCEPT_AND_EXECUTE);
  });
  LOG_STATUS(RobotStatus::WARN, error_code::kCommandRejected, "x\n");
  captured([&] {
    EXPECT_EQ(node_->handle_goal({}, goal), ros2::action::GoalResponse::ACCEPT_AND_EXECUTE);
  });
  LOG_STATUS(RobotStatus::ERROR, error_code::kCommandRejected, "x\n");
  const std::string out = captured(
      [&] { EXPECT_EQ(node_->handle_goal({}, goal), ros2::action::GoalResponse::REJECT); });
  EXPECT_NE(out.find("recover first"), std::string::npos);
}

// Goals as MoveIt and people send them: checked by name, planned from the arm, refused with the
// standard code and a reason.
TEST_F(RobotCmdNodeTest, TrajectoryGoalsAreCheckedByNameAndPlannedFromTheArm) {
  using Goal = RobotCmdRosTwoWrapper::FollowJointTrajectory::Goal;
  using Result = RobotCmdRosTwoWrapper::FollowJointTrajectory::Result;
  const auto point = [](std::vector<double> q, int32_t sec) {
    trajectory_msgs::msg::JointTrajectoryPoint p;
    p.positions = std::move(q);
    p.time_from_start.sec = sec;
    return p;
  };
  const auto goal = [&](std::vector<std::string> names, std::vector<double> q, int32_t sec = 1) {
    Goal g;
    g.trajectory.joint_names = std::move(names);
    g.trajectory.points.push_back(point(std::move(q), sec));
    return g;
  };
  const std::vector<std::string> names = {"joint1", "joint2", "joint3", "joint4", "joint5"};
  struct Case {
    Goal goal;
    int32_t code;
    const char* reason;
  };
  Goal no_points = goal(names, {});
  no_points.trajectory.points.clear();
  Goal old = goal(names, {0.1, 0, 0, 0, 0});
  old.trajectory.header.stamp.sec = 1;
  Goal away = goal(names, {0.5, 0, 0, 0, 0}, 0);
  away.trajectory.points.push_back(point({0.6, 0, 0, 0, 0}, 1));
  Goal bad_tolerance = goal(names, {0.1, 0, 0, 0, 0});
  bad_tolerance.goal_tolerance.resize(1);
  bad_tolerance.goal_tolerance[0].name = "wrist";
  const Case cases[] = {
      {no_points, Result::INVALID_GOAL, "The goal has no points."},
      {goal({}, {}), Result::INVALID_JOINTS,
       "once each: missing joint1 joint2 joint3 joint4 joint5."},
      {goal({"joint1", "joint1", "joint3", "joint4", "gripper"}, {0, 0, 0, 0, 0}),
       Result::INVALID_JOINTS, ": unknown gripper; named twice joint1; missing joint2 joint5."},
      {goal(names, {0, 0, 0, 0}), Result::INVALID_GOAL,
       "Point 1 has 4 positions for 5 joint names."},
      {away, Result::INVALID_GOAL, "The first point at 0 s is 0.500000 rad from the arm on axis 1"},
      {old, Result::OLD_HEADER_TIMESTAMP, "its trajectory would have ended"},
      {bad_tolerance, Result::INVALID_JOINTS, "The goal tolerance names an unknown joint wrist."},
  };
  for (const Case& c : cases) {
    const auto plan = node_->planGoal(c.goal);
    EXPECT_EQ(plan.error_code, c.code) << c.reason;
    EXPECT_EQ(plan.cmd, nullptr) << c.reason;
    EXPECT_NE(plan.error_string.find(c.reason), std::string::npos) << plan.error_string;
  }

  // One point, named in another order, reached from where the arm is; the tolerances by name.
  Goal one = goal({"joint3", "joint1", "joint2", "joint5", "joint4"}, {0.3, 0.1, 0.2, 0.5, 0.4}, 2);
  one.path_tolerance.resize(1);
  one.path_tolerance[0].name = "joint2";
  one.path_tolerance[0].position = 0.05;
  one.goal_tolerance.resize(2);
  one.goal_tolerance[0].name = "joint3";
  one.goal_tolerance[0].position = -1.0;
  one.goal_tolerance[1].name = "joint4";
  one.goal_tolerance[1].position = 0.02;
  one.goal_time_tolerance.nanosec = 250000000;
  const auto plan = node_->planGoal(one);
  ASSERT_NE(plan.cmd, nullptr) << plan.error_string;
  const double threshold = robot_->robot_para_.axis_paras[0].joint_pos_error_threshold;
  EXPECT_EQ(plan.last_point, (std::vector<double>{0.1, 0.2, 0.3, 0.4, 0.5}));
  EXPECT_EQ(plan.path_tolerance, (std::vector<double>{0, 0.05, 0, 0, 0}));
  EXPECT_EQ(plan.goal_tolerance, (std::vector<double>{threshold, threshold, 0, 0.02, threshold}));
  EXPECT_DOUBLE_EQ(plan.goal_time_tolerance, 0.25);
  for (int i = 0; i < 5; ++i) {
    const TrajectoryInterface& axis = *plan.cmd->traj_interface_ptrs_[i];
    EXPECT_DOUBLE_EQ(axis.calPosition(0.0, nullptr), 0.0) << "axis " << i + 1;
    EXPECT_DOUBLE_EQ(axis.calPosition(2.0, nullptr), plan.last_point[i]) << "axis " << i + 1;
  }
}

TEST_F(RobotCmdNodeTest, ConfigurationIsOfferedAsReadOnlyParameters) {
  const auto& axes = robot_->robot_para_.axis_paras;
  EXPECT_EQ(node_->get_parameter("axis_num").as_int(), 5);
  EXPECT_EQ(node_->get_parameter("joint_names").as_string_array(),
            (std::vector<std::string>{"joint1", "joint2", "joint3", "joint4", "joint5"}));
  EXPECT_EQ(node_->get_parameter("max_joint_vel").as_double_array().at(4), axes[4].max_joint_vel);
  EXPECT_EQ(node_->get_parameter("min_joint_pos").as_double_array().at(0), axes[0].min_joint_pos);
  EXPECT_EQ(node_->get_parameter("emergency_stop_acc").as_double_array().size(), 5u);
  const auto refused = node_->set_parameter({"max_joint_acc", std::vector<double>(5, 99.0)});
  EXPECT_EQ(refused.reason, "parameter 'max_joint_acc' cannot be set because it is read-only");
  EXPECT_EQ(node_->get_parameter("robot_para_file").as_string(), "");
  node_.reset();
  node_ = std::make_shared<RobotCmdRosTwoWrapper>(
      interpolator_.get(),
      ros2::NodeOptions().parameter_overrides({{"robot_para_file", "/x.yaml"}, {"axis_num", 9}}));
  EXPECT_EQ(node_->get_parameter("robot_para_file").as_string(), "/x.yaml");
  EXPECT_EQ(node_->get_parameter("axis_num").as_int(), 5);
}

}  // namespace
}  // namespace brenvik
