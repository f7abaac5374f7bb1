// The control-loop operations of the robot model allocate nothing once warmed up. This
// executable replaces global operator new to count allocations.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "robot_factory/brenvik_bot_v5.h"
#include "robot_model/brenvik_bot_v3_kinematics.h"
#include "robot_model/collision_detector_brenvik_bot_v5.h"
#include "robot_model/dynamics_brenvik_bot_v5.h"
#include "support/robot_model_test_arms.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

// GCC flags free() on memory from operator new, which is exactly how this replacement pairs them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace brenvik {
namespace {

TEST(RobotModelAllocationTest, ControlLoopOperationsAllocateNothingAfterTheFirstCall) {
  const auto para = test::modelPara(test::exampleArm("", std::vector<double>(5, 0.0)));
  const MdhPara& m = para->mdh_para;
  BrenvikBotV3Kinematics kinematics;
  testing::internal::CaptureStdout();
  ASSERT_EQ(kinematics.setMdhPara(m.zds, m.xas, m.alphas, m.qzeros), kinematics_result::kOk);
  testing::internal::GetCapturedStdout();
  DynamicsBrenvikBotV5 dynamics;
  dynamics.initDynamics(para);
  CollisionDetectorBrenvikBotV5 detector;
  detector.initCollisionDetector(para);

  const std::vector<double> q = {0.1, 0.2, 0.3, 0.4, 0.5}, measured = {30, -20, 5, 40, -30}, none;
  double sum = 0.0;
  long before = 0;
  for (int round = 0; round < 2; ++round) {  // the first round warms up
    before = allocations.load();
    sum += kinematics.forwardKinematics(q)(0, 3);
    const std::vector<double>& torque = dynamics.estimateTorque(q, q, q, 0.005 * round);
    sum += detector.detectCollision(torque, measured, none, none, none, 0.0);
    sum += detector.detectCollisionTorque(torque, measured, none, none, none, 0.0)[1];
    sum += detector.computeAdmittance(torque, measured, q, q, q, 0.0)[0];
    sum += static_cast<double>(detector.getCollisionData().size());
  }
  EXPECT_EQ(allocations.load() - before, 0);
  EXPECT_NE(sum, 0.0);
}

// The simulated arm's drives, as the control loop reads and writes them every period, with the
// torque of their load.
TEST(RobotModelAllocationTest, SimulatedDrivesAllocateNothingPerPeriod) {
  testing::internal::CaptureStdout();
  BrenvikBotV5 robot{std::string(BRENVIK_SIM_PARA_FILE)};
  testing::internal::GetCapturedStdout();
  double value = 0.0, sum = 0.0;
  long before = 0;
  for (int period = 0; period < 3; ++period) {  // the first period warms up
    before = allocations.load();
    for (const AxisPara& axis : robot.robot_para_.axis_paras) {
      sum += axis.motor->getMotorPosition(value) + value;
      sum += axis.motor->getVelocity(value) + axis.motor->getTorque(value) + value;
      sum += axis.motor->setMotorPosition(0.1 * period);
    }
  }
  EXPECT_EQ(allocations.load() - before, 0);
  EXPECT_NE(sum, 0.0);
}

}  // namespace
}  // namespace brenvik
