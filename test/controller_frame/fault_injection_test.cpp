// Device faults set in the parameter file, end to end through the device factory, the simulated
// drives and the control loop: each fault ends as the controller promises (status, command
// outcome, the arm stopped with a controlled stop where the drives can be written, or holding),
// and every setpoint stays within the motion rules.

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

// What a scenario does after the drives are on.
enum class Act { kMove, kHome, kIo, kIdle };

struct FaultCase {
  const char* name;
  const char* faults;  // YAML of simulated_faults
  int axis;            // 1-based axis that carries them; 0: the control-IO device with id 1
  bool collision = false;
  Act act = Act::kMove;
  int status = RobotStatus::NORMAL;  // the robot status at the end
  int code = 0;                      // its error code
  int cmd_status = cmd_status::kSucceeded;
  bool enabled = true;  // the drives were reported enabled
  bool arm_moved = true;
  bool drag = false;  // drag teaching on
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

// The simulated arm's parameter file with the faults on one device, and drives that lag their
// setpoints the way loaded real drives do.
std::unique_ptr<test::TempFile> paraFileWith(const char* faults, int axis) {
  YAML::Node doc = YAML::LoadFile(test::kSimParaFile);
  doc["virtual_motor_para"]["tracking_bandwidth"] = 150.0;
  if (axis > 0) {
    doc["axis_paras"][axis - 1]["simulated_faults"] = YAML::Load(faults);
  } else {
    doc["ctrl_io_devices"][0]["simulated_faults"] = YAML::Load(faults);
  }
  return std::make_unique<test::TempFile>(test::emit(doc));
}

TEST(FaultInjection, DriveThatNeverInitialisesEndsTheStartUp) {
  const auto file = paraFileWith("{init_failures: 3}", 2);
  EXPECT_EXIT(BrenvikBotV5{file->path()}, ::testing::ExitedWithCode(1), "");
  // Two failures are within the start-up's three tries.
  const auto twice = paraFileWith("{init_failures: 2}", 2);
  ::testing::internal::CaptureStdout();
  BrenvikBotV5 robot(twice->path());
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::NORMAL);
}

class FaultInjectionTest : public ::testing::TestWithParam<FaultCase> {
 protected:
  void SetUp() override {
    Logger::instance()->reset();
    const FaultCase& c = GetParam();
    file_ = paraFileWith(c.faults, c.axis);
    ::testing::internal::CaptureStdout();
    robot_ = std::make_shared<BrenvikBotV5>(file_->path());
    interpolator_ =
        std::make_unique<Interpolator>(robot_, std::make_shared<testing::FakeLoopClock>());
    checker_ = std::make_unique<testing::SetpointChecker>(robot_->robot_para_);
    construction_output_ = ::testing::internal::GetCapturedStdout();
  }
  void TearDown() override {
    interpolator_.reset();
    Logger::instance()->reset();
  }

  // Runs control periods until done() (at most 30 s), checking every setpoint.
  template <class Done>
  void runUntil(Done done) {
    for (int i = 0; i < 6000 && !done(); ++i) {
      time_ += Interpolator::kPeriod;
      interpolator_->update(time_);
      const std::vector<double>& q = interpolator_->refJointState().positions;
      checker_->check(q, Interpolator::kPeriod);
      for (size_t k = 0; k < start_.size(); ++k)
        moved_ = std::max(moved_, std::abs(q[k] - start_[k]));
    }
  }
  void runUntilIdle() {
    runUntil([&] {
      // Reads that keep failing leave the loop in kFault for good.
      const MotionState state = interpolator_->motionState();
      return (state == MotionState::kIdle || state == MotionState::kFault) &&
             interpolator_->isCmdQueueEmpty();
    });
  }
  // Adds a command that the test keeps watching (its issuer holds it).
  template <class Command>
  Command* issue(std::unique_ptr<Command> command) {
    command->is_block = true;
    Command* raw = command.release();
    interpolator_->addCmd(raw);
    return raw;
  }
  MotorIoCmd* motorIo(int type, bool enable = true) {
    auto command = std::make_unique<MotorIoCmd>(robot_);
    command->motor_io_type = type;
    command->enable_flags = {enable};
    return issue(std::move(command));
  }

  std::unique_ptr<test::TempFile> file_;
  std::shared_ptr<Robot> robot_;
  std::unique_ptr<Interpolator> interpolator_;
  std::unique_ptr<testing::SetpointChecker> checker_;
  double time_ = 0.0;
  std::string construction_output_;
  std::vector<double> start_;  // the setpoint once the drives are on
  double moved_ = 0.0;         // the largest joint change from start_ (rad)
};

TEST_P(FaultInjectionTest, EndsAsPromisedWithinTheMotionRules) {
  const FaultCase& c = GetParam();
  interpolator_->setCollisionEnable(c.collision);
  interpolator_->setDragTeachingEnable(c.drag);
  motorIo(motor_io_type::kEnable)->is_block = false;
  runUntilIdle();
  start_ = interpolator_->refJointState().positions;
  const std::vector<double> start = start_;
  AbstractCmdInterface* watched = nullptr;
  if (c.act == Act::kMove) {
    JointMoveBuilder builder(robot_, [](const std::string&) {});
    JointMove move = builder.pointToPoint(start, {0.6, 0.5, -0.5, 0.4, 0.6}, 1.0, 1.0);
    ASSERT_NE(move.cmd, nullptr) << move.message;
    watched = issue(std::move(move.cmd));
    // A second move queued behind the first: planned from its goal, it must not run after an
    // abort.
    JointMove next = builder.pointToPoint({0.6, 0.5, -0.5, 0.4, 0.6}, start, 1.0, 1.0);
    issue(std::move(next.cmd))->is_block = false;
  } else if (c.act == Act::kHome) {
    watched = motorIo(motor_io_type::kSetHome);
  } else if (c.act == Act::kIo) {
    auto io = std::make_unique<SetIoCmd>(robot_);
    io->ctrl_io_id = 1;
    io->io_cmd = 5;
    watched = issue(std::move(io));
  }
  if (c.act == Act::kIdle) {
    const double until = time_ + 2.0;
    runUntil([&] { return time_ >= until; });
  }
  int outcome = cmd_status::kSucceeded;
  if (watched != nullptr) {
    const auto final = [&] {
      return watched->cmd_status.load() != cmd_status::kQueued &&
             watched->cmd_status.load() != cmd_status::kExecuting;
    };
    runUntil(final);
    // The issuer reads the outcome and lets go.
    outcome = watched->cmd_status.load();
    watched->is_block = false;
  }
  runUntilIdle();

  EXPECT_EQ(checker_->violations(), 0u) << checker_->firstViolation();
  EXPECT_EQ(ROBOTSTATUS(), c.status) << Logger::instance()->statusText();
  EXPECT_EQ(Logger::instance()->statusCode(), c.code) << Logger::instance()->statusText();
  EXPECT_EQ(outcome, c.cmd_status);
  EXPECT_EQ(interpolator_->enableFlag(), c.enabled);
  EXPECT_EQ(moved_ > 1e-3, c.arm_moved) << "largest joint change " << moved_;
  EXPECT_TRUE(interpolator_->isCmdQueueEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultInjectionTest,
    ::testing::Values(
        FaultCase{"NoFault", "{}", 1},
        FaultCase{"ReadsFailDuringTheMove", "{read_fault_from_period: 60}", 3, false, Act::kMove,
                  RobotStatus::FATAL, error_code::kPeriodUpdate, cmd_status::kStopped, true, true},
        FaultCase{"WritesFailDuringTheMove", "{write_fault_from_period: 60}", 1, false, Act::kMove,
                  RobotStatus::FATAL, error_code::kMotorWrite, cmd_status::kStopped, true, true},
        FaultCase{"EnableNeverArrives", "{enable_never_arrives: true}", 4, false, Act::kIdle,
                  RobotStatus::WARN, error_code::kEnableTimeout, cmd_status::kSucceeded, false,
                  false},
        FaultCase{"HomeFails", "{home_fails: true}", 1, false, Act::kHome, RobotStatus::WARN,
                  error_code::kSetHome, cmd_status::kFailed, true, false},
        FaultCase{"IoNeverAnswers", "{never_answers: true}", 0, false, Act::kIo, RobotStatus::WARN,
                  error_code::kCtrlIoTimeout, cmd_status::kFailed, true, false},
        FaultCase{"PushDuringTheMoveIsACollision",
                  "{external_torque: 30.0, external_torque_from_period: 60}", 2, true, Act::kMove,
                  RobotStatus::ERROR, error_code::kCollision, cmd_status::kStopped, true, true},
        // The push that drags the idle arm is a collision to the detector: it is reported, and
        // the arm follows the hand.
        FaultCase{"PushOnTheIdleArmDragsIt",
                  "{external_torque: 10.0, external_torque_from_period: 60}", 1, true, Act::kIdle,
                  RobotStatus::ERROR, error_code::kCollision, cmd_status::kSucceeded, true, true,
                  true}));

}  // namespace
}  // namespace brenvik
