// Device faults set in the parameter file, end to end through the device factory, the simulated
// drives (lagging like loaded drives) and the control loop: each ends as promised (status, the
// command's outcome, a controlled stop or a hold), every setpoint within the motion rules.

#include <gtest/gtest.h>
#include <yaml-cpp/yaml.h>

#include <memory>
#include <string>
#include <vector>

#include "common/logger.h"
#include "controller_frame/interpolator.h"
#include "controller_frame/joint_move_builder.h"
#include "controller_frame/motor_io_cmd.h"
#include "robot_factory/brenvik_bot_v5.h"
#include "support/robot_para_files.h"
#include "support/setpoint_checker.h"

namespace brenvik {
namespace {

// faults: YAML of simulated_faults on axis (1-based; 0: the control-IO device with id 1).
std::shared_ptr<BrenvikBotV5> simulatedArm(const char* faults, int axis) {
  YAML::Node doc = YAML::LoadFile(test::kSimParaFile);
  doc["virtual_motor_para"]["tracking_bandwidth"] = 150.0;
  (axis > 0 ? doc["axis_paras"][axis - 1] : doc["ctrl_io_devices"][0])["simulated_faults"] =
      YAML::Load(faults);
  const test::TempFile file(test::emit(doc));
  return std::make_shared<BrenvikBotV5>(file.path());
}

// A move of the lagging simulated arm with a second move queued behind it (planned from the
// first's goal), or the arm left idle for 2 s: each fault ends as promised.
struct FaultCase {
  const char* faults;
  int axis;
  bool move, detect;          // a move, or idle; collision detection and drag teaching on
  int status, code, outcome;  // robot status and code at the end; the move's status
};

TEST(FaultInjection, EachFaultEndsAsPromisedWithinTheMotionRules) {
  const int ok = cmd_status::kSucceeded, stopped = cmd_status::kStopped;
  const std::vector<FaultCase> cases = {
      {"{}", 1, true, false, RobotStatus::NORMAL, 0, ok},
      {"{read_fault_from_period: 60}", 3, true, false, RobotStatus::FATAL,
       error_code::kPeriodUpdate, stopped},
      {"{write_fault_from_period: 60}", 1, true, false, RobotStatus::FATAL, error_code::kMotorWrite,
       stopped},
      {"{enable_never_arrives: true}", 4, false, false, RobotStatus::WARN,
       error_code::kEnableTimeout, ok},
      {"{external_torque: 30.0, external_torque_from_period: 60}", 2, true, true,
       RobotStatus::ERROR, error_code::kCollision, stopped},
      // A push on the idle arm is a collision to the detector; the arm follows the hand.
      {"{external_torque: 10.0, external_torque_from_period: 60}", 1, false, true,
       RobotStatus::ERROR, error_code::kCollision, ok},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.faults);
    Logger::instance()->reset();
    ::testing::internal::CaptureStdout();
    const auto robot = simulatedArm(c.faults, c.axis);
    Interpolator loop(robot);
    testing::SetpointChecker checker(robot->robot_para_);
    double time = 0.0;
    const auto runUntil = [&](auto done) {
      for (int i = 0; i < 6000 && !done(); ++i) {
        loop.update(time += Interpolator::kPeriod);
        checker.check(loop.refJointState().positions, Interpolator::kPeriod);
      }
    };
    auto* enable = new MotorIoCmd(robot);
    enable->motor_io_type = motor_io_type::kEnable;
    enable->enable_flags = {true};
    loop.setCollisionEnable(c.detect);
    loop.setDragTeachingEnable(c.detect);
    loop.addCmd(enable);
    runUntil([&] { return loop.isCmdQueueEmpty(); });
    const std::vector<double> start = loop.refJointState().positions,
                              goal = {0.6, 0.5, -0.5, 0.4, 0.6};
    JointMoveBuilder builder(robot, [](const std::string&) {});
    AbstractCmdInterface* move = builder.pointToPoint(start, goal, 1.0, 1.0).cmd.release();
    move->is_block = true;  // held for the test as for an issuer
    if (c.move)
      loop.addCmd(move), loop.addCmd(builder.pointToPoint(goal, start, 1.0, 1.0).cmd.release());
    const double until = time + 2.0;
    runUntil([&] {
      const int s = move->cmd_status.load();
      return time >= until &&
             (!c.move || (s != cmd_status::kQueued && s != cmd_status::kExecuting));
    });
    const int outcome = c.move ? move->cmd_status.load() : ok;
    move->is_block = false;  // the issuer lets go
    if (!c.move) delete move;
    runUntil([&] { return loop.isCmdQueueEmpty(); });
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(checker.violations(), 0u) << checker.firstViolation();
    EXPECT_EQ(ROBOTSTATUS(), c.status) << Logger::instance()->statusText();
    EXPECT_EQ(Logger::instance()->statusCode(), c.code) << Logger::instance()->statusText();
    EXPECT_TRUE(loop.isCmdQueueEmpty());
  }
  Logger::instance()->reset();
}

}  // namespace
}  // namespace brenvik
