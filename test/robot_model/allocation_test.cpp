// The models as BrenvikBotV5 builds them; this executable counts allocations (operator new).

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "robot_factory/brenvik_bot_v5.h"

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

TEST(BrenvikBotV5ModelsTest, BuildsTheModelsWithTheFileLimitsAndAllocatesNothingPerPeriod) {
  testing::internal::CaptureStdout();
  BrenvikBotV5 robot{std::string(BRENVIK_SIM_PARA_FILE)};
  ASSERT_TRUE(robot.kinematics_ && robot.dynamics_ && robot.collision_detector_);
  EXPECT_EQ(robot.force_ctrl_function_->kinematics(), robot.kinematics_);
  // The file's joint limits reach the kinematics; the answers inside them: kinematics_test.
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> angle(-3.1, 3.1);
  int refused = 0;
  for (int sample = 0; sample < 100; ++sample) {
    std::vector<double> q(5), joints;
    for (double& value : q) value = angle(rng);
    const Eigen::Matrix4d pose = robot.kinematics_->forwardKinematics(q);
    refused += robot.kinematics_->inverseKinematics(pose, q, joints) ==
               kinematics_result::kOutsideJointLimits;
  }
  testing::internal::GetCapturedStdout();
  EXPECT_GT(refused, 10);
  const std::vector<double> q = {0.1, 0.2, 0.3, 0.4, 0.5}, measured = {30, -20, 5, 40, -30}, none;
  double value = 0.0, sum = 0.0;
  long before = 0;
  for (int period = 0; period < 3; ++period) {  // the first period warms up
    before = allocations.load();
    sum += robot.kinematics_->forwardKinematics(q)(0, 3);
    const std::vector<double>& torque = robot.dynamics_->estimateTorque(q, q, q, 0.005 * period);
    auto& detector = *robot.collision_detector_;
    sum += detector.detectCollision(torque, measured, none, none, none, 0.0);
    sum += detector.detectCollisionTorque(torque, measured, none, none, none, 0)[1];
    sum += detector.computeAdmittance(torque, measured, q, q, q, 0.0)[0];
    sum += static_cast<double>(detector.getCollisionData().size());
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
