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
#include "controller_frame/set_io_cmd.h"
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

TEST(FaultInjection, DriveThatNeverInitialisesEndsTheStartUp) {
  EXPECT_EXIT(simulatedArm("{init_failures: 3}", 2), ::testing::ExitedWithCode(1), "");
  ::testing::internal::CaptureStdout();
  simulatedArm("{init_failures: 2}", 2);  // within the three tries
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::NORMAL);
}

struct FaultCase {
  const char* faults;
  int axis;
  char act;     // after the drives are on: 'm'ove (a second behind it), 'h'ome, 'i'o, idle
  bool detect;  // collision detection and drag teaching on
  int status, code, outcome;  // robot status and code at the end; the command's status
};

TEST(FaultInjection, EachFaultEndsAsPromisedWithinTheMotionRules) {
  namespace ec = error_code;
  const int ok = cmd_status::kSucceeded, stopped = cmd_status::kStopped,
            failed = cmd_status::kFailed;
  const int warn = RobotStatus::WARN, error = RobotStatus::ERROR, fatal = RobotStatus::FATAL;
  const std::vector<FaultCase> cases = {
      {"{}", 1, 'm', false, RobotStatus::NORMAL, 0, ok},
      {"{read_fault_from_period: 60}", 3, 'm', false, fatal, ec::kPeriodUpdate, stopped},
      {"{write_fault_from_period: 60}", 1, 'm', false, fatal, ec::kMotorWrite, stopped},
      {"{enable_never_arrives: true}", 4, '-', false, warn, ec::kEnableTimeout, ok},
      {"{home_fails: true}", 1, 'h', false, warn, ec::kSetHome, failed},
      {"{never_answers: true}", 0, 'i', false, warn, ec::kCtrlIoTimeout, failed},
      {"{external_torque: 30.0, external_torque_from_period: 60}", 2, 'm', true, error,
       ec::kCollision, stopped},
      // A push on the idle arm is a collision to the detector; the arm follows the hand.
      {"{external_torque: 10.0, external_torque_from_period: 60}", 1, '-', true, error,
       ec::kCollision, ok},
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
    const auto idle = [&] {  // reads that keep failing leave the loop in kFault
      return loop.isCmdQueueEmpty() && (loop.motionState() == MotionState::kIdle ||
                                        loop.motionState() == MotionState::kFault);
    };
    const auto motorIo = [&](int type) {
      auto* cmd = new MotorIoCmd(robot);
      cmd->motor_io_type = type;
      cmd->enable_flags = {true};
      return cmd;
    };
    loop.setCollisionEnable(c.detect);
    loop.setDragTeachingEnable(c.detect);
    loop.addCmd(motorIo(motor_io_type::kEnable));
    runUntil(idle);
    const std::vector<double> start = loop.refJointState().positions;
    AbstractCmdInterface* watched = nullptr;  // held for the test as for an issuer
    const std::vector<double> goal = {0.6, 0.5, -0.5, 0.4, 0.6};
    JointMoveBuilder builder(robot, [](const std::string&) {});
    if (c.act == 'm') watched = builder.pointToPoint(start, goal, 1.0, 1.0).cmd.release();
    if (c.act == 'h') watched = motorIo(motor_io_type::kSetHome);
    if (c.act == 'i')
      watched = new SetIoCmd(robot), static_cast<SetIoCmd*>(watched)->ctrl_io_id = 1;
    if (watched != nullptr) watched->is_block = true, loop.addCmd(watched);
    if (c.act == 'm') loop.addCmd(builder.pointToPoint(goal, start, 1.0, 1.0).cmd.release());
    const double until = time + 2.0;
    const auto outcome = [&] { return watched ? watched->cmd_status.load() : ok; };
    runUntil([&] {
      return time >= until && outcome() != cmd_status::kQueued &&
             outcome() != cmd_status::kExecuting;
    });
    EXPECT_EQ(outcome(), c.outcome);
    if (watched != nullptr) watched->is_block = false;  // the issuer lets go
    runUntil(idle);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(checker.violations(), 0u) << checker.firstViolation();
    EXPECT_EQ(ROBOTSTATUS(), c.status) << Logger::instance()->statusText();
    EXPECT_EQ(Logger::instance()->statusCode(), c.code) << Logger::instance()->statusText();
    EXPECT_TRUE(loop.isCmdQueueEmpty());
  }
  Logger::instance()->reset();
}

}  // namespace
}  // namespace brenvik
