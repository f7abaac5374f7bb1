#include "controller_frame/robot_cmd_ros_two_wrapper.h"

#include <gtest/gtest.h>

#include "common/logger.h"
#include "controller_frame/trapezoid_planner.h"
#include "robot_factory/brenvik_bot_v5.h"
#include "support/fake_loop_clock.h"
#include "support/robot_para_files.h"
#include "support/ros2_test_env.h"

namespace brenvik {
namespace {

using Doubles = std::vector<double>;
using Goal = RobotCmdRosTwoWrapper::FollowJointTrajectory::Goal;
using Result = RobotCmdRosTwoWrapper::FollowJointTrajectory::Result;

template <class Msg, class Data>
Msg msg(Data data) {
  Msg m;
  m.data = std::move(data);
  return m;
}
const auto flag = msg<std_msgs::msg::Bool, bool>;
const auto doubles = msg<std_msgs::msg::Float64MultiArray, Doubles>;
const auto ints = msg<std_msgs::msg::Int32MultiArray, std::vector<int32_t>>;

// The command node on the simulated arm, its callbacks called directly, the loop on a fake clock.
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
    out([&] {
      robot_ = std::make_shared<BrenvikBotV5>(test::kSimParaFile);
      interpolator_ =
          std::make_unique<Interpolator>(robot_, std::make_shared<testing::FakeLoopClock>());
      node_ = std::make_shared<RobotCmdRosTwoWrapper>(interpolator_.get());
    });
  }
  void TearDown() override {
    node_.reset();
    interpolator_.reset();
    Logger::instance()->reset();
  }

  template <typename F>
  std::string out(F f) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    f();
    const std::string err = ::testing::internal::GetCapturedStderr();
    return ::testing::internal::GetCapturedStdout() + err;
  }
  std::string movj(Doubles d) {
    return out([&] { node_->movjCallback(doubles(d)); });
  }
  std::string io(std::vector<int32_t> d) {
    return out([&] { node_->ctrlIOCallback(ints(d)); });
  }
  std::string pose(Doubles d) {
    return out([&] { node_->movjToPoseCallback(doubles(d)); });
  }
  // Rows of five joint values and a time, dims saying how many of each.
  std::string spline(std::vector<uint32_t> dims, Doubles data) {
    auto m = std::make_shared<std_msgs::msg::Float64MultiArray>(doubles(data));
    for (uint32_t size : dims) m->layout.dim.emplace_back().size = size;
    return out([&] { node_->movsCallback(m); });
  }
  // Runs n control periods, or until the loop is idle with an empty queue when n is 0.
  std::string step(int n = 1) {
    return out([&] {
      for (int i = 0; i < (n > 0 ? n : 4000); ++i) {
        if (n == 0 && interpolator_->idleFlag() && interpolator_->isCmdQueueEmpty()) break;
        time_ += Interpolator::kPeriod;
        interpolator_->update(time_);
      }
    });
  }
  void enableDrives() {
    out([&] { node_->serveOnCallback(flag(true)); });
    step(0);
    ASSERT_TRUE(interpolator_->enableFlag());
  }
  AllAxisesJointPlanCmd* lastJointMove() {
    return dynamic_cast<AllAxisesJointPlanCmd*>(interpolator_->getLastCmd());
  }
  std::shared_ptr<Robot> robot_;
  std::unique_ptr<Interpolator> interpolator_;
  std::shared_ptr<RobotCmdRosTwoWrapper> node_;
  double time_ = 0.0;
};

// Each refusal of a command message says why and queues nothing; the status becomes WARN.
TEST_F(RobotCmdNodeTest, RefusedCommandsQueueNothing) {
  const Doubles data = {0, 0, 0, 0, 0, 0, 0.1, 0.1, 0, 0, 0, 1, 0.2, 0.2, 0, 0, 0, 2};
  Doubles over = data;
  over[13] = 1.7;
  const std::pair<std::string, const char*> rows[] = {
      {movj({0.2, 0.1, -0.1, 0.3, 0.2}), "MOVJ get data size is ERROR\n"},
      {movj({0.2, 0.1, -0.1, 0.3, 0.2, 1, 1, 1, 1}), "MOVJ get data size is ERROR\n"},
      {movj({0.2, 0.1, -0.1, 0.3, 0.2, 0.0}), "planAllJoints Failed"},  // a zero scale is kept
      {io({1}), "We recieve the wrong ctrl io cmd size=1, not euqal 2.\n"},
      {io({0, -1}), " invalid ctrl_io cmd, id:0,io_cmd: -1\n"},
      {io({-1, 0}), " invalid ctrl_io cmd, id:-1,io_cmd: 0\n"},
      {spline({0, 6}, {}), "The movj_s message holds no points.\n"},
      {spline({3, 5}, data), "We recieve the wrong movj cmd size=18"},
      {spline({3, 6}, Doubles(data.begin(), data.end() - 1)), "holds 17 values, not 3 points of 6"},
      {spline({}, data), "layout needs two dimensions"},
      {spline({3, 6}, over), "The 3st point 2st axim angle is over range."},
      {pose({0.3, 0.0, 0.2}), "wrong movl_j cmd size=3, not euqal 8.\n"},
      {pose({0, 0, 0.3, 0, 0, 0, 0, 0.5}), "Do not get solution of the objective pos6D."}};
  for (const auto& [printed, text] : rows) EXPECT_NE(printed.find(text), std::string::npos) << text;
  EXPECT_TRUE(interpolator_->isCmdQueueEmpty());
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::WARN);
}

// The length of a movj selects its form; a scale outside [0, 1] becomes 0.5. Rows: the message;
// vel and acc scale, block.
TEST_F(RobotCmdNodeTest, MovjFormsAndScales) {
  const std::pair<Doubles, Doubles> rows[] = {
      {{0.2, 0.1, -0.1, 0.3, 0.2, 0.4}, {0.4, 0.4, 0}},
      {{0.3, 0.2, 0.0, 0.4, 0.3, 1.2, -0.1}, {0.5, 0.5, 0}},
      {{0.2, 0.1, -0.1, 0.3, 0.2, 1.0, 0.3, 0.0}, {1.0, 0.3, 0}},
      {{0.3, 0.2, 0.0, 0.4, 0.3, 1.0, 1.0, 0.5}, {1.0, 1.0, 1}}};
  const AxisPara& axis = robot_->robot_para_.axis_paras[1];
  for (const auto& [data, want] : rows) {
    const std::string printed = movj(data);
    const auto& cmd = *lastJointMove();
    const auto& in =
        *dynamic_cast<const TrapezoidPlanner&>(*cmd.traj_interface_ptrs_[1]).getInput();
    EXPECT_EQ(Doubles({in.vmax / axis.max_joint_vel, in.aa / axis.max_joint_acc,
                       -in.ad / axis.max_joint_acc, cmd.is_block ? 1.0 : 0.0}),
              Doubles({want[0], want[1], want[1], want[2]}))
        << printed;
  }
  EXPECT_EQ(node_->watchedCommandCount(), 1u);
}

// A spline and a move to a pose are planned and reach their goal.
TEST_F(RobotCmdNodeTest, AcceptedCommandsReachTheirGoal) {
  enableDrives();
  EXPECT_NE(spline({3, 6}, {0, 0, 0, 0, 0, 0, 0.1, 0.1, 0, 0, 0, 1, 0.2, 0.2, 0, 0, 0, 3})
                .find("I recieve movj_s:"),
            std::string::npos);
  const TrajectoryInterface& axis2 = *lastJointMove()->traj_interface_ptrs_[1];
  EXPECT_DOUBLE_EQ(axis2.getMotionTime(), 3.0);
  EXPECT_DOUBLE_EQ(axis2.calPosition(1.0, nullptr), 0.1);
  const Eigen::Matrix4d goal = robot_->kinematics_->forwardKinematics({0.3, 0.4, 0.6, -0.5, 0.2});
  const Eigen::Quaterniond q(Eigen::Matrix3d(goal.block<3, 3>(0, 0)));
  pose({goal(0, 3), goal(1, 3), goal(2, 3), q.x(), q.y(), q.z(), q.w(), 1.0});
  step(0);
  step(20);  // the lagging drives settle
  const Eigen::Matrix4d reached =
      robot_->kinematics_->forwardKinematics(interpolator_->getActualJointPositions());
  EXPECT_TRUE(reached.isApprox(goal, 1e-4)) << reached << "\n" << goal;
}

// At ERROR no motion is taken, everything else is; at FATAL not even the devices.
TEST_F(RobotCmdNodeTest, StatusGates) {
  LOG_STATUS(RobotStatus::ERROR, error_code::kCollision, "The arm get collision.\n");
  movj({0.2, 0.1, 0.0, 0.0, 0.0, 1.0});
  EXPECT_EQ(Logger::instance()->statusText(), "ROBOTSTATUS()>=RobotStatus::ERROR, movj erro!\n");
  out([&] { node_->movsCallback(std::make_shared<std_msgs::msg::Float64MultiArray>()); });
  pose({0.3, 0, 0.2, 0, 0, 0, 1, 0.5});
  EXPECT_EQ(Logger::instance()->statusText(), "ROBOTSTATUS()>=RobotStatus::ERROR, movl_j erro!\n");
  const auto goal = std::make_shared<const Goal>();
  out([&] { EXPECT_EQ(node_->handle_goal({}, goal), ros2::action::GoalResponse::REJECT); });
  EXPECT_EQ(node_->planGoal(*goal).error_code, Result::INVALID_GOAL);
  EXPECT_TRUE(interpolator_->isCmdQueueEmpty());
  io({1, 0});
  EXPECT_FALSE(interpolator_->isCmdQueueEmpty());
  step(0);
  LOG_STATUS(RobotStatus::FATAL, error_code::kMotorWrite, "The MOTOR write error.\n");
  io({1, 1});
  EXPECT_TRUE(interpolator_->isCmdQueueEmpty());
}

// A recover during a stop completes at rest, lowering a collision's ERROR itself; FATAL stays.
TEST_F(RobotCmdNodeTest, RecoverWaitsForRestAndGivesUpOnFatal) {
  enableDrives();
  movj({1.0, 0.5, 0.5, 0.5, 0.5, 0.5});
  step(60);
  for (const bool fatal : {false, true}) {
    LOG_STATUS(fatal ? RobotStatus::FATAL : RobotStatus::ERROR,
               fatal ? error_code::kMotorWrite : error_code::kCollision, "A fault.\n");
    out([&] { node_->stopCallback(msg<std_msgs::msg::String>(std::string())); });
    step();
    out([&] { node_->recoverCallback(flag(false)); });
    EXPECT_TRUE(node_->recoverPending());
    EXPECT_TRUE(fatal || interpolator_->motionState() == MotionState::kStopping);
    std::string printed;
    ros2_test::wait_until(  // the watch timer's periods; FATAL waits out the recover's deadline
        [&] {
          printed += step() + out([&] { node_->watchBlockingCommands(); });
          return !node_->recoverPending();
        },
        std::chrono::milliseconds(8000));
    EXPECT_FALSE(node_->recoverPending() || Logger::instance()->recovering_);
    EXPECT_NE(printed.find(fatal ? "recover cmd ERROR!" : "recover cmd success!"),
              std::string::npos);
    EXPECT_EQ(ROBOTSTATUS(), fatal ? RobotStatus::FATAL : RobotStatus::WARN);
    EXPECT_EQ(interpolator_->stopFlag(), fatal ? 1 : 0);
  }
}

// Goals checked by name and planned from the arm, or refused with the standard code and a reason.
TEST_F(RobotCmdNodeTest, TrajectoryGoals) {
  Goal base;  // one point at 1 s, joints named in order
  base.trajectory.joint_names = {"joint1", "joint2", "joint3", "joint4", "joint5"};
  base.trajectory.points.emplace_back().positions = {0.1, 0, 0, 0, 0};
  base.trajectory.points[0].time_from_start.sec = 1;
  std::vector<Goal> g(8, base);
  g[0].trajectory.points.clear();
  g[1].trajectory.joint_names.clear();
  g[2].trajectory.joint_names = {"joint1", "joint1", "joint3", "joint4", "gripper"};
  g[3].trajectory.points[0].positions.pop_back();
  g[4].trajectory.points.insert(g[4].trajectory.points.begin(), base.trajectory.points[0]);
  g[4].trajectory.points[0].time_from_start.sec = 0;  // 0.1 rad away from the arm at 0 s
  g[5].trajectory.header.stamp.sec = 1;
  g[6].goal_tolerance = {{"wrist", 0.1}};
  g[7].path_tolerance = {{"joint2", NAN}};
  const std::pair<int32_t, const char*> refused[] = {
      {Result::INVALID_GOAL, "The goal has no points."},
      {Result::INVALID_JOINTS, "once each: missing joint1 joint2 joint3 joint4 joint5."},
      {Result::INVALID_JOINTS, ": unknown gripper; named twice joint1; missing joint2 joint5."},
      {Result::INVALID_GOAL, "Point 1 has 4 positions for 5 joint names."},
      {Result::INVALID_GOAL, "The first point at 0 s is 0.100000 rad from the arm on axis 1"},
      {Result::OLD_HEADER_TIMESTAMP, "its trajectory would have ended"},
      {Result::INVALID_JOINTS, "The goal tolerance names an unknown joint wrist."},
      {Result::INVALID_GOAL, "The path tolerance of joint2 is not a number."}};
  for (size_t k = 0; k < g.size(); ++k) {
    const auto plan = node_->planGoal(g[k]);
    EXPECT_EQ(plan.error_code, refused[k].first) << k;
    EXPECT_EQ(plan.cmd, nullptr);
    EXPECT_NE(plan.error_string.find(refused[k].second), std::string::npos) << plan.error_string;
  }

  // Named in another order, stamped just under 2 s ago; tolerances by name (< 0: none, 0: default).
  Goal one = base;
  one.trajectory.joint_names = {"joint3", "joint1", "joint2", "joint5", "joint4"};
  one.trajectory.points[0].positions = {0.3, 0.1, 0.2, 0.5, 0.4};
  one.trajectory.points[0].time_from_start.sec = 2;
  one.trajectory.header.stamp.sec = static_cast<int32_t>(node_->now().seconds()) - 2;
  one.trajectory.header.stamp.nanosec = 999999999;
  one.path_tolerance = {{"joint1", 0.05}, {"joint2", 0.0}};
  one.goal_tolerance = {{"joint3", -1.0}, {"joint4", 0.02}};
  one.goal_time_tolerance.nanosec = 250000000;
  out([&] {
    EXPECT_EQ(node_->handle_goal({}, std::make_shared<const Goal>(one)),
              ros2::action::GoalResponse::ACCEPT_AND_EXECUTE);
  });
  const auto plan = node_->planGoal(one);
  ASSERT_NE(plan.cmd, nullptr) << plan.error_string;
  const double threshold = robot_->robot_para_.axis_paras[0].joint_pos_error_threshold;
  EXPECT_EQ(plan.last_point, Doubles({0.1, 0.2, 0.3, 0.4, 0.5}));
  EXPECT_EQ(plan.path_tolerance, Doubles({0.05, 0, 0, 0, 0}));
  EXPECT_EQ(plan.goal_tolerance, Doubles({threshold, threshold, 0, 0.02, threshold}));
  EXPECT_DOUBLE_EQ(plan.goal_time_tolerance, 0.25);
  for (int i = 0; i < 5; ++i) {
    const TrajectoryInterface& axis = *plan.cmd->traj_interface_ptrs_[i];
    EXPECT_EQ(Doubles({axis.calPosition(0, nullptr), axis.calPosition(2, nullptr)}),
              Doubles({0.0, plan.last_point[i]}));
  }
}

}  // namespace
}  // namespace brenvik
