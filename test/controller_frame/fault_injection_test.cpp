// Device faults set in the parameter file, end to end through the device factory, the simulated
// drives (lagging their setpoints like loaded drives) and the control loop: each fault ends as
// promised (status, command outcome, a controlled stop or a hold), every setpoint within the
// motion rules.

#include <gtest/gtest.h>
#include <yaml-cpp/yaml.h>

#include <memory>
#include <string>
#include <vector>

#include "common/logger.h"
#include "controller_frame/interpolator.h"
#include "controller_frame/joint_move_builder.h"
#include "controller_frame/motor_io_cmd.h"
#include "controller_frame/set_io_cmd.h"
#include "robot_factory/brenvik_bot_v5.h"
#include "support/fake_loop_clock.h"
#include "support/robot_para_files.h"
#include "support/setpoint_checker.h"

namespace brenvik {
namespace {

// faults: YAML of simulated_faults on axis (1-based; 0: the control-IO device with id 1).
std::unique_ptr<test::TempFile> paraFileWith(const char* faults, int axis) {
  YAML::Node doc = YAML::LoadFile(test::kSimParaFile);
  doc["virtual_motor_para"]["tracking_bandwidth"] = 150.0;
  YAML::Node device = axis > 0 ? doc["axis_paras"][axis - 1] : doc["ctrl_io_devices"][0];
  device["simulated_faults"] = YAML::Load(faults);
  return std::make_unique<test::TempFile>(test::emit(doc));
}

TEST(FaultInjection, DriveThatNeverInitialisesEndsTheStartUp) {
  EXPECT_EXIT(BrenvikBotV5{paraFileWith("{init_failures: 3}", 2)->path()},
              ::testing::ExitedWithCode(1), "");
  ::testing::internal::CaptureStdout();
  BrenvikBotV5 robot(paraFileWith("{init_failures: 2}", 2)->path());  // within three tries
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::NORMAL);
}

enum class Act { kMove, kHome, kIo, kIdle };  // what follows once the drives are on

struct FaultCase {
  const char* name;
  const char* faults;
  int axis;
  Act act;
  bool collision_and_drag;
  int status, code, outcome;  // robot status and code at the end, the watched command's status
  bool enabled, moved;        // drives reported on at the end; the arm moved
};

TEST(FaultInjection, EachFaultEndsAsPromisedWithinTheMotionRules) {
  namespace ec = error_code;
  namespace cs = cmd_status;
  constexpr int kNormal = RobotStatus::NORMAL, kWarn = RobotStatus::WARN;
  const std::vector<FaultCase> cases = {
      {"no fault", "{}", 1, Act::kMove, false, kNormal, 0, cs::kSucceeded, true, true},
      {"reads fail during the move", "{read_fault_from_period: 60}", 3, Act::kMove, false,
       RobotStatus::FATAL, ec::kPeriodUpdate, cs::kStopped, true, true},
      {"writes fail during the move", "{write_fault_from_period: 60}", 1, Act::kMove, false,
       RobotStatus::FATAL, ec::kMotorWrite, cs::kStopped, true, true},
      {"enable never arrives", "{enable_never_arrives: true}", 4, Act::kIdle, false, kWarn,
       ec::kEnableTimeout, cs::kSucceeded, false, false},
      {"home fails", "{home_fails: true}", 1, Act::kHome, false, kWarn, ec::kSetHome, cs::kFailed,
       true, false},
      {"io never answers", "{never_answers: true}", 0, Act::kIo, false, kWarn, ec::kCtrlIoTimeout,
       cs::kFailed, true, false},
      {"push during the move is a collision",
       "{external_torque: 30.0, external_torque_from_period: 60}", 2, Act::kMove, true,
       RobotStatus::ERROR, ec::kCollision, cs::kStopped, true, true},
      // A push on the idle arm is a collision to the detector, and the arm follows the hand.
      {"push on the idle arm drags it", "{external_torque: 10.0, external_torque_from_period: 60}",
       1, Act::kIdle, true, RobotStatus::ERROR, ec::kCollision, cs::kSucceeded, true, true},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    Logger::instance()->reset();
    const auto file = paraFileWith(c.faults, c.axis);
    ::testing::internal::CaptureStdout();
    auto robot = std::make_shared<BrenvikBotV5>(file->path());
    Interpolator loop(robot, std::make_shared<testing::FakeLoopClock>());
    testing::SetpointChecker checker(robot->robot_para_);
    std::vector<double> start;
    double time = 0.0, moved = 0.0;
    const auto runUntil = [&](auto done) {
      for (int i = 0; i < 6000 && !done(); ++i) {
        loop.update(time += Interpolator::kPeriod);
        const std::vector<double>& q = loop.refJointState().positions;
        checker.check(q, Interpolator::kPeriod);
        for (size_t k = 0; k < start.size(); ++k)
          moved = std::max(moved, std::abs(q[k] - start[k]));
      }
    };
    const auto idle = [&] {  // reads that keep failing leave the loop in kFault for good
      const MotionState state = loop.motionState();
      return (state == MotionState::kIdle || state == MotionState::kFault) &&
             loop.isCmdQueueEmpty();
    };
    const auto motorIo = [&](int type) {
      auto* cmd = new MotorIoCmd(robot);
      cmd->motor_io_type = type;
      cmd->enable_flags = {true};
      return cmd;
    };
    loop.setCollisionEnable(c.collision_and_drag);
    loop.setDragTeachingEnable(c.collision_and_drag);
    loop.addCmd(motorIo(motor_io_type::kEnable));
    runUntil(idle);
    start = loop.refJointState().positions;
    AbstractCmdInterface* watched = nullptr;
    if (c.act == Act::kMove) {
      // A second move behind the first, planned from its goal: it must not run after an abort.
      JointMoveBuilder builder(robot, [](const std::string&) {});
      const std::vector<double> goal = {0.6, 0.5, -0.5, 0.4, 0.6};
      watched = builder.pointToPoint(start, goal, 1.0, 1.0).cmd.release();
      watched->is_block = true;
      loop.addCmd(watched);
      loop.addCmd(builder.pointToPoint(goal, start, 1.0, 1.0).cmd.release());
    } else if (c.act == Act::kHome) {
      loop.addCmd(watched = motorIo(motor_io_type::kSetHome));
    } else if (c.act == Act::kIo) {
      auto* io = new SetIoCmd(robot);
      io->ctrl_io_id = 1;
      io->io_cmd = 5;
      loop.addCmd(watched = io);
    }
    if (watched != nullptr) watched->is_block = true;
    const double until = time + 2.0;
    int outcome = cs::kSucceeded;
    runUntil([&] {
      const int s = watched != nullptr ? watched->cmd_status.load() : cs::kSucceeded;
      return time >= until && s != cs::kQueued && s != cs::kExecuting && (outcome = s, true);
    });
    if (watched != nullptr) watched->is_block = false;  // the issuer reads the outcome, lets go
    runUntil(idle);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(checker.violations(), 0u) << checker.firstViolation();
    EXPECT_EQ(ROBOTSTATUS(), c.status) << Logger::instance()->statusText();
    EXPECT_EQ(Logger::instance()->statusCode(), c.code) << Logger::instance()->statusText();
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(loop.enableFlag(), c.enabled);
    EXPECT_EQ(moved > 1e-3, c.moved) << "largest joint change " << moved;
    EXPECT_TRUE(loop.isCmdQueueEmpty());
  }
  Logger::instance()->reset();
}

}  // namespace
}  // namespace brenvik
