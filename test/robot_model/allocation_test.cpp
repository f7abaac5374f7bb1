// The control-loop operations of the robot model allocate nothing once warmed up. Global
// operator new is replaced in this executable to count allocations.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "robot_model/brenvik_bot_v3_kinematics.h"
#include "robot_model/collision_detector_brenvik_bot_v5.h"
#include "robot_model/dynamics_brenvik_bot_v5.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace brenvik {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::shared_ptr<RobotPara> para() {
  auto p = std::make_shared<RobotPara>();
  p->axis_num = 5;
  p->mdh_para.zds = {0.2, 0.0, 0.0, 0.0, 0.1};
  p->mdh_para.xas = {0.0, 0.05, 0.3, 0.25, 0.02};
  p->mdh_para.alphas = {0.0, kPi / 2, 0.0, 0.0, -kPi / 2};
  p->mdh_para.qzeros = {0.0, 0.0, 0.0, 0.0, 0.0};
  p->dynamics_para.inertial_para.assign(30, 0.01);
  p->dynamics_para.friction_para.assign(11, 0.1);
  p->dynamics_application_para.signal_bound_para = {-1, -1, -1, -1, -1, 1, 1, 1, 1, 1, 2};
  p->dynamics_application_para.admittance_para.assign(20, 0.5);
  return p;
}

TEST(RobotModelAllocationTest, ControlLoopOperationsAllocateNothingAfterTheFirstCall) {
  BrenvikBotV3Kinematics kinematics;
  testing::internal::CaptureStdout();
  const auto p = para();
  ASSERT_EQ(kinematics.setMdhPara(p->mdh_para.zds, p->mdh_para.xas, p->mdh_para.alphas,
                                  p->mdh_para.qzeros),
            kinematics_result::kOk);
  testing::internal::GetCapturedStdout();
  DynamicsBrenvikBotV5 dynamics;
  dynamics.initDynamics(p);
  CollisionDetectorBrenvikBotV5 detector;
  detector.initCollisionDetector(p);

  const std::vector<double> q = {0.1, 0.2, 0.3, 0.4, 0.5};
  const std::vector<double> measured = {3.0, -2.0, 0.5, 4.0, -3.0};
  const std::vector<double> none;
  double sum = 0.0;
  long before = 0;
  for (int round = 0; round < 2; ++round) {
    // The first round fills the record and any lazily sized storage.
    before = allocations.load();
    sum += kinematics.forwardKinematics(q)(0, 3);
    const std::vector<double>& torque = dynamics.estimateTorque(q, q, q, 0.005 * round);
    sum += detector.detectCollision(torque, measured, none, none, none, 0.0);
    sum += detector.detectCollisionTorque(torque, measured, none, none, none, 0.0)[1];
    sum += detector.computeAdmittance(torque, measured, q, q, q, 0.0)[0];
    sum += detector.getCollisionData().size();
  }
  EXPECT_EQ(allocations.load() - before, 0);
  EXPECT_NE(sum, 0.0);
}

}  // namespace
}  // namespace brenvik
