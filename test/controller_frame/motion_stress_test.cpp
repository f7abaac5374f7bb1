// A seeded random stream of commands of every kind, valid and invalid, into the command node's
// callbacks while the loop is stepped on the simulated arm with lagging
// drives. Checked: the motion rules every period; a stop at rest within max(v / stop acc) plus a
// period; every blocking move ends, stopped (4) when queued behind an abort; never FATAL; no
// command left alive. BRENVIK_STRESS_COMMANDS (2000) and BRENVIK_STRESS_SEED (1) size the run.

#include <gtest/gtest.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/logger.h"
#include "controller_frame/interpolator.h"
#include "controller_frame/robot_cmd_ros_two_wrapper.h"
#include "robot_factory/brenvik_bot_v5.h"
#include "support/robot_para_files.h"
#include "support/ros2_test_env.h"
#include "support/setpoint_checker.h"

namespace brenvik {
namespace {

using std_msgs::msg::Bool;
using std_msgs::msg::Float64MultiArray;
using FollowJointTrajectory = RobotCmdRosTwoWrapper::FollowJointTrajectory;
using GoalHandle = RobotCmdRosTwoWrapper::GoalHandle;
using V = std::vector<double>;

// A blocking joint move of the stream, followed to its end.
struct Followed {
  AbstractCmdInterface* cmd;
  size_t index;       // position in the stream, from 1
  long issued;        // the period it was sent before
  bool behind_abort;  // queued behind an aborted motion: must end stopped (4)
};

class MotionStressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ros2_test::use_private_loopback_domain();
    const char* argv[] = {"motion_stress_test", "--ros-args", "--log-level", "fatal"};
    ros2::init(4, argv);
    Logger::instance()->reset();
    Logger::instance()->display_level_ = 0;
    YAML::Node doc = YAML::LoadFile(test::kSimParaFile);
    doc["virtual_motor_para"]["tracking_bandwidth"] = 150.0;  // about 24 Hz: a visible lag
    const test::TempFile file(test::emit(doc));
    ::testing::internal::CaptureStdout();  // loop and node print thousands of lines
    robot_ = std::make_shared<BrenvikBotV5>(file.path());
    loop_ = std::make_unique<Interpolator>(robot_);  // stepped here, never run()
    node_ = std::make_shared<RobotCmdRosTwoWrapper>(loop_.get());
    goals_ = std::make_shared<ros2::action::detail::ServerCore>(
        *node_, "stress_goals", ros2::action::detail::action_types<FollowJointTrajectory>(),
        std::chrono::minutes(15));
    robot_refs_ = robot_.use_count();  // every command holds the robot: more are live commands
    checker_ = std::make_unique<testing::SetpointChecker>(robot_->robot_para_);
    q_ = v_ = V(robot_->robot_para_.axis_num, 0.0);
  }
  double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng_); }
  bool chance(double p) { return uniform(0.0, 1.0) < p; }
  int pick(size_t count) { return static_cast<int>(rng_() % count); }
  double oddValue() { return std::array<double, 5>{NAN, INFINITY, -INFINITY, 1e6, -7.0}[pick(5)]; }

  // Joint targets near the start of the next move, inside the limits or on them; one corrupted.
  V targets(bool corrupt) {
    V q = loop_->getMotionStartPoint();
    for (size_t i = 0; i < q.size(); ++i) {
      const AxisPara& axis = robot_->robot_para_.axis_paras[i];
      q[i] = std::clamp(q[i] + uniform(-0.6, 0.6), axis.min_joint_pos, axis.max_joint_pos);
    }
    if (corrupt) q[pick(q.size())] = oddValue();
    return q;
  }
  // One scale, two, or two and the block flag (a scale may be odd).
  Float64MultiArray jointMove(bool blocking) {
    Float64MultiArray msg{{}, targets(chance(0.1))};
    for (int k = 0, n = blocking ? 3 : 1 + pick(2); k < n; ++k) {
      msg.data.push_back(k == 2 ? 1.0 : chance(0.15) ? oddValue() / 4.0 : uniform(0.05, 1.0));
    }
    return msg;
  }
  // 3 to 5 knots, 0.3 to 1 s apart, from the next move's start to random targets: rows of N
  // positions and a time. Now and then a position is corrupted.
  std::vector<V> knots() {
    const V start = loop_->getMotionStartPoint(), end = targets(false);
    const size_t count = 3 + pick(3);
    const double dt = uniform(0.3, 1.0);
    std::vector<V> rows(count);
    for (size_t k = 0; k < count; ++k) {
      for (size_t i = 0; i < start.size(); ++i) {
        rows[k].push_back(start[i] + (end[i] - start[i]) * static_cast<double>(k + 1) / count);
      }
      rows[k].push_back(dt * static_cast<double>(k + 1));
    }
    if (chance(0.1)) rows[pick(count)][pick(start.size())] = oddValue();
    return rows;
  }
  void sendSpline() {
    auto msg = std::make_shared<Float64MultiArray>();
    for (const V& row : knots()) msg->data.insert(msg->data.end(), row.begin(), row.end());
    msg->layout.dim.resize(2);
    msg->layout.dim[1].size = static_cast<uint32_t>(q_.size() + 1);
    msg->layout.dim[0].size = static_cast<uint32_t>(msg->data.size()) / msg->layout.dim[1].size;
    node_->movsCallback(msg);
  }
  // A goal through the action server's handlers, as the executor calls them.
  void sendGoal() {
    auto goal = std::make_shared<FollowJointTrajectory::Goal>();
    for (size_t i = 1; i <= q_.size(); ++i) {
      goal->trajectory.joint_names.push_back("joint" + std::to_string(i));
    }
    for (const V& row : knots()) {
      trajectory_msgs::msg::JointTrajectoryPoint& point = goal->trajectory.points.emplace_back();
      point.positions.assign(row.begin(), row.end() - 1);
      point.time_from_start.sec = static_cast<int32_t>(row.back());
      point.time_from_start.nanosec = static_cast<uint32_t>(std::fmod(row.back(), 1.0) * 1e9);
    }
    ros2::action::GoalUUID uuid;
    for (uint8_t& byte : uuid) byte = static_cast<uint8_t>(rng_());
    if (node_->handle_goal(uuid, goal) == ros2::action::GoalResponse::REJECT) return;
    static_cast<void>(goals_->accept(uuid, true));
    goal_handles_.push_back(std::make_shared<GoalHandle>(goals_, uuid, goal));
    ++goals_accepted_;
    node_->handle_accepted(goal_handles_.back());
  }
  void cancelGoal() {
    goal_handles_.erase(std::remove_if(goal_handles_.begin(), goal_handles_.end(),
                                       [](const auto& g) { return !g->is_active(); }),
                        goal_handles_.end());
    if (goal_handles_.empty()) return;
    const std::shared_ptr<GoalHandle> goal = goal_handles_[pick(goal_handles_.size())];
    if (!goal->is_canceling() &&
        node_->handle_cancel(goal) == ros2::action::CancelResponse::ACCEPT) {
      static_cast<void>(goals_->start_canceling(goal->get_goal_id()));
    }
  }
  // At ERROR the node's recover waits up to 2 s for a quiet period of the loop (which runs on its
  // own thread there): the loop's own recover stands in for it.
  void recover() {
    if (ROBOTSTATUS() < RobotStatus::ERROR) return node_->recoverCallback(Bool());
    static_cast<void>(loop_->recover());
  }
  // Counts a broken rule; the first break keeps where the stream was.
  void violation(const std::string& what) {
    if (violations_++ == 0) first_ = what + "; last sent: command " + std::to_string(index_);
  }
  // One period and the checks of what it commanded; then, every fourth, the node's 20 ms watch.
  void step() {
    const double dt = Interpolator::kPeriod;
    loop_->update((period_ + 1) * dt);
    const V q_last = q_;
    q_ = loop_->refJointState().positions;
    // Re-seeded (homed, drives back on): the setpoint moved while the guard holds it at rest.
    const auto& guard = loop_->setpointGuard().velocities();
    if (q_ != q_last &&
        std::all_of(guard.begin(), guard.end(), [](double v) { return v == 0.0; })) {
      checker_->restart();
    }
    const size_t before = checker_->violations();
    checker_->check(q_, dt);
    if (checker_->violations() > before) violation(checker_->firstViolation());
    if (ROBOTSTATUS() >= RobotStatus::FATAL) violation(Logger::instance()->statusText());
    // A stop begun while the setpoint moves must be at rest when it ends, and at the latest after
    // the bound of the velocity commanded as it began; what was queued must end stopped.
    const bool stopping = loop_->stopFlag() == 1;
    if (stopping && !stop_seen_) {
      double bound = 0.0;
      for (size_t i = 0; i < v_.size(); ++i) {
        bound = std::max(bound,
                         std::fabs(v_[i]) / robot_->robot_para_.axis_paras[i].emergency_stop_acc);
      }
      stop_deadline_ = bound > 0.0 ? period_ + static_cast<long>(std::ceil(bound / dt)) + 1 : -1;
      for (Followed& f : followed_) {
        f.behind_abort |= loop_->currentCmd() && !cmd_status::isFinal(f.cmd->cmd_status.load());
      }
    }
    stop_seen_ = stopping;
    for (size_t i = 0; i < v_.size(); ++i) v_[i] = (q_[i] - q_last[i]) / dt;
    if (stop_deadline_ >= 0 && (!stopping || period_ >= stop_deadline_)) {
      for (double v : v_) {
        if (std::fabs(v) > 1e-6) violation("not at rest after a stop: " + std::to_string(v));
      }
      stop_deadline_ = -1;
    }
    if (++period_ % 4 == 0) watch();
  }
  // The node's watch timer, after the ends of the followed moves are read (the node lets go of
  // them). What was queued behind a stopped move was planned from a point the arm never reached:
  // it must end stopped too.
  void watch() {
    for (auto f = followed_.begin(); f != followed_.end();) {
      const int s = f->cmd->cmd_status.load();
      if (s == cmd_status::kStopped) {
        for (Followed& later : followed_) {
          later.behind_abort |= later.index > f->index && later.issued < last_watch_;
        }
      }
      if (f->behind_abort && cmd_status::isFinal(s) && s != cmd_status::kStopped) {
        violation("move " + std::to_string(f->index) + " behind an abort ended " +
                  std::to_string(s));
      }
      f = cmd_status::isFinal(s) ? followed_.erase(f) : f + 1;
    }
    node_->watchBlockingCommands();
    last_watch_ = period_;
  }

  std::shared_ptr<BrenvikBotV5> robot_;
  std::unique_ptr<Interpolator> loop_;
  std::shared_ptr<RobotCmdRosTwoWrapper> node_;
  std::shared_ptr<ros2::action::detail::ServerCore> goals_;
  std::vector<std::shared_ptr<GoalHandle>> goal_handles_;
  long robot_refs_ = 0, period_ = 0, last_watch_ = 0, stop_deadline_ = -1;
  std::unique_ptr<testing::SetpointChecker> checker_;
  V q_, v_;  // the commanded setpoint and its velocity
  std::mt19937_64 rng_;
  size_t index_ = 0, violations_ = 0, goals_accepted_ = 0;
  bool stop_seen_ = false;
  std::vector<Followed> followed_;
  std::string first_;
};

TEST_F(MotionStressTest, RandomCommandStreamKeepsEveryMotionRule) {
  const auto env = [](const char* name, size_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
  };
  const size_t commands = env("BRENVIK_STRESS_COMMANDS", 2000),
               seed = env("BRENVIK_STRESS_SEED", 1);
  rng_.seed(seed);
  using std_msgs::msg::String;
  const std::vector<std::pair<double, std::function<void()>>> kinds = {
      // share, send
      {3, [&] { node_->serveOnCallback(Bool{true}); }},
      {14, [&] { node_->movjCallback(jointMove(false)); }},
      {8, [&] { node_->movjCallback(jointMove(true)); }},
      {4, [&] { node_->stopCallback(String()); }},
      {5, [&] { sendSpline(); }},
      {6, [&] { sendGoal(); }},
      {3, [&] { cancelGoal(); }},
      {5, [&] { recover(); }},
      {1, [&] { node_->serveOnCallback(Bool{false}); }},
      {1, [&] { node_->setHomeCallback(String()); }},
      {4,
       [&] {
         node_->ctrlIOCallback(std_msgs::msg::Int32MultiArray{{}, {pick(4) - 1, pick(5) - 1}});
       }},
      {2, [&] { node_->collisionCallback(Bool{chance(0.5)}); }},
      {2, [&] { node_->dragTeachingCallback(Bool{chance(0.5)}); }},
      {2,
       [&] {
         node_->setCollisionSensitivityCallback(
             Float64MultiArray{{}, V(pick(9), chance(0.1) ? oddValue() : pick(8))});
       }},
  };
  V shares;
  for (const auto& kind : kinds) shares.push_back(kind.first);
  std::discrete_distribution<size_t> next(shares.begin(), shares.end());
  for (size_t k = 0; index_ < commands; k = next(rng_)) {  // the drives start off: enable first
    ++index_;
    AbstractCmdInterface* before = loop_->getLastCmd();
    kinds[k].second();
    AbstractCmdInterface* cmd = loop_->getLastCmd();
    if (k == 2 && cmd != before && cmd->is_block.load()) {
      followed_.push_back({cmd, index_, period_, loop_->stopFlag() == 1 && loop_->currentCmd()});
    }
    for (int gap = chance(0.3) ? 0 : 1 + pick(80); gap > 0; --gap) step();
  }
  // Then, for at most 1 h of loop time, until nothing is queued, followed or held for an issuer.
  for (long i = 0; i < 720000 && !(loop_->idleFlag() == 1 && loop_->isCmdQueueEmpty() &&
                                   followed_.empty() && loop_->releasedLaterCount() == 0);
       ++i) {
    step();
  }
  ::testing::internal::GetCapturedStdout();
  for (const Followed& f : followed_) violation("move " + std::to_string(f.index) + " never ended");
  std::printf("stress: seed %zu, %zu commands (%zu goals accepted), %ld periods, %zu violations\n",
              seed, index_, goals_accepted_, period_, violations_);
  EXPECT_EQ(robot_.use_count() - robot_refs_, 0) << "commands left alive after the stream";
  EXPECT_EQ(node_->watchedCommandCount(), 0u);
  EXPECT_EQ(violations_, 0u) << "seed " << seed << ", first: " << first_;
}

}  // namespace
}  // namespace brenvik
