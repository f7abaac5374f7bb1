// A seeded random stream of commands of every kind, valid and invalid, fed straight into the
// command node's callbacks and action handlers while the control loop is stepped period by period
// on the simulated arm with lagging drives. Rules checked: every period's setpoint is finite,
// inside the joint limits and within the velocity and acceleration limits; a stop of a moving arm
// is at rest within max(v / emergency_stop_acc) plus a period; every blocking move and goal ends
// in a final state, stopped (4) when it was queued behind an aborted motion; nothing ends in
// FATAL; afterwards no command is left alive. BRENVIK_STRESS_COMMANDS (default 2000) and
// BRENVIK_STRESS_SEED (default 1) size the run: fewer commands with the same seed replay a prefix.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <yaml-cpp/yaml.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
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
using ros2::action::GoalStatus;

constexpr int kWatchEvery = 4;             // periods per tick of the node's 20 ms watch timer
constexpr double kDriveBandwidth = 150.0;  // rad/s (about 24 Hz): the drives lag visibly
constexpr long kDrainPeriods = 720000;     // 1 h of loop time to finish what the stream left
constexpr double kRestVelocity = 1e-6;     // rad/s

size_t fromEnv(const char* name, size_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

template <class... Args>
std::string str(const Args&... args) {
  std::ostringstream out;
  (out << ... << args);
  return out.str();
}

template <class Msg, class Data>
Msg message(Data data) {
  Msg msg;
  msg.data = std::move(data);
  return msg;
}

bool isFinal(int status) {
  return status == cmd_status::kSucceeded || status == cmd_status::kFailed ||
         status == cmd_status::kStopped;
}

// Passes every call on to a simulated drive and keeps the position it last accepted: the setpoint
// the drive really follows (motor side, rad). A home moves the drive's frame to 0.
class SetpointTap : public CtrlMotorInterface {
 public:
  explicit SetpointTap(std::shared_ptr<CtrlMotorInterface> drive) : drive_(std::move(drive)) {}
  int init() override { return drive_->init(); }
  int setMotorPosition(double position) override {
    const int r = drive_->setMotorPosition(position);
    setpoint = r == 0 ? position : setpoint;
    return r;
  }
  int getMotorPosition(double& position) override { return drive_->getMotorPosition(position); }
  int setEnableStatus(bool enable) override { return drive_->setEnableStatus(enable); }
  int getEnableStatus(bool& enabled) override { return drive_->getEnableStatus(enabled); }
  int setHome(int value) override {
    const int r = drive_->setHome(value);
    homed = homed || r == 0;
    setpoint = r == 0 ? 0.0 : setpoint;
    return r;
  }
  int getTorque(double& torque) override { return drive_->getTorque(torque); }
  int getVelocity(double& velocity) override { return drive_->getVelocity(velocity); }

  double setpoint = 0.0;  // a simulated drive starts at rest at 0
  bool homed = false;

 private:
  std::shared_ptr<CtrlMotorInterface> drive_;
};

// Standard output goes to /dev/null while this lives: loop and node print thousands of lines.
struct QuietStdout {
  QuietStdout() { std::fflush(stdout), dup2(null, 1); }
  ~QuietStdout() { std::fflush(stdout), dup2(saved, 1), close(saved), close(null); }
  int saved = dup(1);
  int null = open("/dev/null", O_WRONLY);
};

// A blocking joint move or a trajectory goal of the stream, followed to its end.
struct Tracked {
  size_t index;  // position in the stream, from 1
  const char* kind;
  long issued;                       // period it was sent before
  AbstractCmdInterface* cmd;         // null: the goal queued nothing
  std::shared_ptr<GoalHandle> goal;  // null: a blocking joint move
  int seen = cmd_status::kQueued;    // status just before the last watch
  bool behind_abort = false;         // queued behind an aborted motion: must end stopped (4)
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
    doc["virtual_motor_para"]["tracking_bandwidth"] = kDriveBandwidth;
    file_ = std::make_unique<test::TempFile>(test::emit(doc));
    QuietStdout quiet;
    robot_ = std::make_shared<BrenvikBotV5>(file_->path());
    for (AxisPara& axis : robot_->robot_para_.axis_paras) {
      taps_.push_back(std::make_shared<SetpointTap>(axis.motor));
      axis.motor = taps_.back();
    }
    interpolator_ = std::make_unique<Interpolator>(robot_);  // stepped here, never run()
    node_ = std::make_shared<RobotCmdRosTwoWrapper>(interpolator_.get());
    goals_ = std::make_shared<ros2::action::detail::ServerCore>(
        *node_, "stress_goals", ros2::action::detail::action_types<FollowJointTrajectory>(),
        std::chrono::minutes(15));
    robot_refs_ = robot_.use_count();  // every command holds the robot: more are live commands
    checker_ = std::make_unique<testing::SetpointChecker>(robot_->robot_para_);
    q_.assign(taps_.size(), 0.0);
    motor_ = q_last_ = v_ = q_;
  }
  double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng_); }
  bool chance(double p) { return uniform(0.0, 1.0) < p; }
  int pick(size_t count) { return static_cast<int>(rng_() % count); }
  double oddValue() { return std::array<double, 5>{NAN, INFINITY, -INFINITY, 1e6, -7.0}[pick(5)]; }
  const AxisPara& axis(size_t i) const { return robot_->robot_para_.axis_paras[i]; }

  // Joint targets near the start of the next move, inside the limits or on them; one may be
  // corrupted.
  std::vector<double> targets(bool corrupt) {
    std::vector<double> q = interpolator_->getMotionStartPoint();
    for (size_t i = 0; i < q.size(); ++i) {
      q[i] = std::clamp(q[i] + uniform(-0.6, 0.6), axis(i).min_joint_pos, axis(i).max_joint_pos);
    }
    if (corrupt) q[pick(q.size())] = oddValue();
    return q;
  }
  double scale() { return chance(0.15) ? oddValue() / 4.0 : uniform(0.05, 1.0); }

  Float64MultiArray jointMove(bool blocking) {
    Float64MultiArray msg = message<Float64MultiArray>(targets(chance(0.1)));
    const int form = blocking ? 3 : 1 + pick(2);  // one scale, two, or two and the block flag
    for (int k = 0; k < form; ++k) msg.data.push_back(k == 2 ? 1.0 : scale());
    if (chance(0.05)) msg.data.resize(pick(12));
    return msg;
  }

  // 4 to 6 rows of N joint values and a time from the next move's start; one in five is invalid:
  // too few points, a value not finite or out of range, times not increasing, or far too fast.
  std::vector<std::vector<double>> splineRows() {
    const std::vector<double> start = interpolator_->getMotionStartPoint();
    const std::vector<double> end = targets(false);
    const size_t count = 4 + pick(3);
    const double dt = uniform(0.3, 1.0);
    std::vector<std::vector<double>> rows(count);
    for (size_t k = 0; k < count; ++k) {
      for (size_t i = 0; i < start.size(); ++i) {
        rows[k].push_back(start[i] + (end[i] - start[i]) * (k + 1) / count);
      }
      rows[k].push_back(dt * (k + 1));
    }
    const int fault = chance(0.2) ? pick(4) : -1;
    if (fault == 0) rows.resize(3);
    if (fault == 1) rows[1][pick(start.size())] = oddValue();
    if (fault == 2) rows[2].back() = rows[1].back();
    if (fault == 3) rows[0].back() = 0.001;
    return rows;
  }

  Float64MultiArray splineMove() {
    Float64MultiArray msg;
    for (const auto& row : splineRows()) msg.data.insert(msg.data.end(), row.begin(), row.end());
    msg.layout.dim.resize(chance(0.05) ? 1 : 2);
    msg.layout.dim[0].size = static_cast<uint32_t>(msg.data.size() / (taps_.size() + 1));
    msg.layout.dim.back().size = static_cast<uint32_t>(taps_.size() + 1);
    return msg;
  }

  Float64MultiArray poseMove() {
    const Eigen::Matrix4d pose = robot_->kinematics_->forwardKinematics(targets(false));
    const Eigen::Quaterniond r(Eigen::Matrix3d(pose.block<3, 3>(0, 0)));
    Float64MultiArray msg = message<Float64MultiArray>(std::vector<double>{
        pose(0, 3), pose(1, 3), pose(2, 3), r.x(), r.y(), r.z(), r.w(), scale()});
    if (chance(0.1)) msg.data[pick(8)] = oddValue();
    return msg;
  }

  // A goal through the action server's three handlers, as the executor would call them.
  void sendGoal() {
    auto goal = std::make_shared<FollowJointTrajectory::Goal>();
    // The arm's joint names, now and then one short.
    for (int i = 1; i <= 5; ++i)
      goal->trajectory.joint_names.push_back("joint" + std::to_string(i));
    if (chance(0.03)) goal->trajectory.joint_names.pop_back();
    for (const auto& row : splineRows()) {
      trajectory_msgs::msg::JointTrajectoryPoint point;
      point.positions.assign(row.begin(), row.end() - (chance(0.03) ? 3 : 1));
      point.time_from_start.sec = static_cast<int32_t>(row.back());
      point.time_from_start.nanosec = static_cast<uint32_t>(std::fmod(row.back(), 1.0) * 1e9);
      goal->trajectory.points.push_back(point);
    }
    ros2::action::GoalUUID uuid;
    for (uint8_t& byte : uuid) byte = static_cast<uint8_t>(rng_());
    if (node_->handle_goal(uuid, goal) == ros2::action::GoalResponse::REJECT) return;
    static_cast<void>(goals_->accept(uuid, true));
    sent_goal_ = std::make_shared<GoalHandle>(goals_, uuid, goal);
    node_->handle_accepted(sent_goal_);
  }

  void cancelGoal() {
    std::vector<std::shared_ptr<GoalHandle>> active;
    for (const Tracked& t : open_) {
      if (t.goal && t.goal->is_active() && !t.goal->is_canceling()) active.push_back(t.goal);
    }
    if (active.empty()) return;
    const std::shared_ptr<GoalHandle>& goal = active[pick(active.size())];
    if (node_->handle_cancel(goal) == ros2::action::CancelResponse::ACCEPT) {
      static_cast<void>(goals_->start_canceling(goal->get_goal_id()));
    }
  }

  // At ERROR the recover callback waits for the loop's next quiet period (collision detection
  // on) to lower the status: it runs beside the loop, as on the real threads. At FATAL, with
  // collision detection off or a collision still seen, it would wait its full 2 s: not sent.
  void recover() {
    if (ROBOTSTATUS() < RobotStatus::ERROR) return node_->recoverCallback(Bool());
    if (ROBOTSTATUS() >= RobotStatus::FATAL || !interpolator_->collisionEnable() ||
        interpolator_->isCollision()) {
      return static_cast<void>(++sent_["recover skipped (would wait 2 s)"]);
    }
    std::thread callback([this] { node_->recoverCallback(Bool()); });
    while (!Logger::instance()->recovering_.load()) std::this_thread::yield();
    step(false);
    callback.join();
    if (period_ % kWatchEvery == 0) watch();
  }

  // Sends one command of the stream and starts following what it queued.
  void issue(const char* kind, const std::function<void()>& send) {
    ++index_, ++sent_[kind];
    last_kind_ = kind;
    AbstractCmdInterface* before = interpolator_->getLastCmd();
    send();
    AbstractCmdInterface* cmd = interpolator_->getLastCmd();
    cmd = cmd != before ? cmd : nullptr;
    if (cmd != nullptr) kinds_[cmd] = kind;
    if (cmd != nullptr && !sent_goal_ && !cmd->is_block.load())
      ++outcomes_["not followed (non-blocking)"];
    if (sent_goal_ || (cmd != nullptr && cmd->is_block.load())) {
      const bool aborting = interpolator_->stopFlag() == 1 && interpolator_->currentCmd();
      open_.push_back({index_, kind, period_, cmd, std::move(sent_goal_)});
      open_.back().behind_abort = aborting;
    }
    sent_goal_.reset();
  }

  // Counts a broken rule; the first of each rule keeps where the stream was.
  void violation(const std::string& rule, const std::string& what, size_t count = 1) {
    std::string& first = rules_[rule].second;
    rules_[rule].first += count;
    if (!first.empty()) return;
    const auto current = kinds_.find(interpolator_->currentCmd());
    first = str(what, "; under way: ", current != kinds_.end() ? current->second : "nothing",
                interpolator_->stopFlag() == 1 ? " (stopping)" : "", "; last sent: command ",
                index_, " (", last_kind_, "), seed ", seed_);
    first_ = first_.empty() ? first : first_;
  }

  // One control period and the checks of what it commanded; then the node's watch timer when due
  // (and wanted).
  void step(bool watch_when_due = true) {
    const double dt = Interpolator::kPeriod;
    interpolator_->update((period_ + 1) * dt);
    for (size_t i = 0; i < taps_.size(); ++i) motor_[i] = taps_[i]->setpoint;
    robot_->motorPosToJointPos(motor_, q_);
    for (const auto& tap : taps_) {
      if (tap->homed) checker_->restart(), q_last_ = q_, tap->homed = false;
    }
    const size_t before = checker_->violations();
    checker_->check(q_, dt);
    if (checker_->violations() > before) {
      violation("setpoint", checker_->firstViolation(), checker_->violations() - before);
    }
    if (ROBOTSTATUS() >= RobotStatus::FATAL && !fatal_) {
      fatal_ = true;
      std::string text = Logger::instance()->statusText();
      text.erase(text.find_last_not_of('\n') + 1);
      violation("status FATAL", str("period ", period_, ": status FATAL (", text, ")"));
    }
    // A stop begun while the setpoint moves (command, cancel or collision) must be at rest when
    // it ends, and at the latest after the bound of the velocity commanded as it began.
    const bool stopping = interpolator_->stopFlag() == 1;
    if (stopping && !stop_seen_) {
      double bound = 0.0;
      for (size_t i = 0; i < v_.size(); ++i) {
        bound = std::max(bound, std::fabs(v_[i]) / axis(i).emergency_stop_acc);
      }
      stop_deadline_ = bound > 0.0 ? period_ + static_cast<long>(std::ceil(bound / dt)) + 1 : -1;
      for (Tracked& t : open_) {
        t.behind_abort |= interpolator_->currentCmd() != nullptr && t.cmd != nullptr &&
                          !isFinal(t.cmd->cmd_status.load());
      }
    }
    stop_seen_ = stopping;
    for (size_t i = 0; i < v_.size(); ++i) v_[i] = (q_[i] - q_last_[i]) / dt;
    q_last_ = q_;
    if (stop_deadline_ >= 0 && (!stopping || period_ >= stop_deadline_)) {
      for (size_t i = 0; i < v_.size(); ++i) {
        if (std::fabs(v_[i]) > kRestVelocity) {
          violation("stop bound", str("axis ", i + 1, " period ", period_, ": not at rest ",
                                      stopping ? "after its bound" : "as the stop ended", " (",
                                      v_[i], " rad/s)"));
        }
      }
      stop_deadline_ = -1;
    }
    if (++period_ % kWatchEvery == 0 && watch_when_due) watch();
  }

  // The node's watch timer, and what came of the followed commands.
  void watch() {
    for (Tracked& t : open_) t.seen = t.cmd != nullptr ? t.cmd->cmd_status.load() : t.seen;
    node_->watchBlockingCommands();
    // What was queued behind a move that was stopped was planned from a point the arm never
    // reached: it must end stopped too. (A move refused at its start, status 3, never moved: what
    // follows it is checked against the setpoint at its own start.)
    for (const Tracked& aborted : open_) {
      if (aborted.seen != cmd_status::kStopped) continue;
      for (Tracked& t : open_) t.behind_abort |= t.index > aborted.index && t.issued < last_watch_;
    }
    for (auto t = open_.begin(); t != open_.end();) {
      const int8_t goal = t->goal ? goals_->status(t->goal->get_goal_id()) : 0;
      std::string outcome = str("status ", t->seen);
      if (t->cmd == nullptr || !isFinal(t->seen)) {
        if (goal != GoalStatus::STATUS_CANCELED && goal != GoalStatus::STATUS_ABORTED) {
          ++t;
          continue;
        }
        outcome = t->cmd != nullptr ? "withdrawn" : "goal refused";
      } else if (t->behind_abort && t->seen != cmd_status::kStopped) {
        violation("status behind an abort", str("command ", t->index, " (", t->kind,
                                                ") queued behind an abort ended with ", outcome));
      }
      ++outcomes_[outcome];
      t = open_.erase(t);
    }
    last_watch_ = period_;
  }

  std::unique_ptr<test::TempFile> file_;
  std::shared_ptr<BrenvikBotV5> robot_;
  std::vector<std::shared_ptr<SetpointTap>> taps_;
  std::unique_ptr<Interpolator> interpolator_;
  std::shared_ptr<RobotCmdRosTwoWrapper> node_;
  std::shared_ptr<ros2::action::detail::ServerCore> goals_;
  std::shared_ptr<GoalHandle> sent_goal_;
  long robot_refs_ = 0;
  std::unique_ptr<testing::SetpointChecker> checker_;
  std::vector<double> motor_, q_, q_last_, v_;  // commanded setpoint: motor side, joint side
  std::mt19937_64 rng_;
  size_t seed_ = 1, index_ = 0;
  const char* last_kind_ = "none";
  long period_ = 0, last_watch_ = 0, stop_deadline_ = -1;
  bool stop_seen_ = false, fatal_ = false;
  std::vector<Tracked> open_;
  std::map<const AbstractCmdInterface*, const char*> kinds_;
  std::map<std::string, size_t> sent_, outcomes_;
  std::map<std::string, std::pair<size_t, std::string>> rules_;  // count, first
  std::string first_;
};

TEST_F(MotionStressTest, RandomCommandStreamKeepsEveryMotionRule) {
  const size_t commands = fromEnv("BRENVIK_STRESS_COMMANDS", 2000);
  seed_ = fromEnv("BRENVIK_STRESS_SEED", 1);
  rng_.seed(seed_);
  const auto flag = [this] { return message<Bool>(chance(0.5)); };
  struct Kind {
    const char* name;
    double share;  // of the stream
    std::function<void()> send;
  };
  const std::vector<Kind> kinds = {
      {"movj", 14, [&] { node_->movjCallback(jointMove(false)); }},
      {"movj blocking", 8, [&] { node_->movjCallback(jointMove(true)); }},
      {"movs", 6, [&] { node_->movsCallback(std::make_shared<Float64MultiArray>(splineMove())); }},
      {"pose move", 4, [&] { node_->movjToPoseCallback(poseMove()); }},
      {"goal", 8, [&] { sendGoal(); }},
      {"goal cancel", 4, [&] { cancelGoal(); }},
      {"stop", 4, [&] { node_->stopCallback(std_msgs::msg::String()); }},
      {"recover", 5, [&] { recover(); }},
      {"enable", 3, [&] { node_->serveOnCallback(message<Bool>(true)); }},
      {"disable", 1, [&] { node_->serveOnCallback(message<Bool>(false)); }},
      {"home", 1, [&] { node_->setHomeCallback(std_msgs::msg::String()); }},
      {"io", 4,
       [&] {
         node_->ctrlIOCallback(message<std_msgs::msg::Int32MultiArray>(
             std::vector<int32_t>{pick(4) - 1, pick(5) - 1}));
       }},
      {"collision switch", 2, [&] { node_->collisionCallback(flag()); }},
      {"drag teaching switch", 2, [&] { node_->dragTeachingCallback(flag()); }},
      {"sensitivity", 2,
       [&] {
         std::vector<double> values(pick(9));
         for (double& value : values) value = chance(0.1) ? oddValue() : pick(8);
         node_->setCollisionSensitivityCallback(message<Float64MultiArray>(values));
       }},
      {"movL", 1, [&] { node_->movLCallback(Float64MultiArray()); }},
  };
  std::vector<double> shares;
  for (const Kind& kind : kinds) shares.push_back(kind.share);
  std::discrete_distribution<size_t> next(shares.begin(), shares.end());
  {
    QuietStdout quiet;
    issue("enable", [&] { node_->serveOnCallback(message<Bool>(true)); });  // drives start off
    while (index_ < commands) {
      const Kind& kind = kinds[next(rng_)];
      issue(kind.name, kind.send);
      for (int gap = chance(0.3) ? 0 : 1 + pick(80); gap > 0; --gap) step();
    }
    // Then until the loop is idle, nothing queued, open or held for an issuer.
    for (long i = 0; i < kDrainPeriods &&
                     !(interpolator_->idleFlag() == 1 && interpolator_->isCmdQueueEmpty() &&
                       open_.empty() && interpolator_->releasedLaterCount() == 0);
         ++i) {
      step();
    }
  }
  for (const Tracked& t : open_) {
    violation("final state", str("command ", t.index, " (", t.kind, ") never ended"));
  }
  std::printf("stress: seed %zu, %zu commands, %ld periods (%.1f s of loop time)\n  sent:", seed_,
              index_, period_, period_ * Interpolator::kPeriod);
  for (const auto& [kind, count] : sent_) std::printf(" %s %zu,", kind.c_str(), count);
  std::printf("\n  outcomes:");
  for (const auto& [outcome, count] : outcomes_) std::printf(" %s %zu,", outcome.c_str(), count);
  std::printf("\n  violations:%s\n", rules_.empty() ? " none" : "");
  for (const auto& [rule, r] : rules_) {
    std::printf("    %s: %zu, first: %s\n", rule.c_str(), r.first, r.second.c_str());
  }
  EXPECT_EQ(robot_.use_count() - robot_refs_, 0) << "commands left alive after the stream";
  EXPECT_EQ(node_->watchedCommandCount(), 0u);
  EXPECT_EQ(interpolator_->releasedLaterCount(), 0u);
  EXPECT_TRUE(rules_.empty()) << "first violation: " << first_;
}

}  // namespace
}  // namespace brenvik
