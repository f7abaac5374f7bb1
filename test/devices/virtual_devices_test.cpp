#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "devices/second_order_lag.h"
#include "devices/vendor/damiao_motor.h"
#include "devices/vendor/feetech_motor.h"
#include "devices/vendor/joho_motor.h"
#include "devices/vendor/servo_gripper.h"
#include "devices/vendor/updown_lifter.h"
#include "devices/virtual_gripper.h"
#include "devices/virtual_motor.h"

namespace brenvik {
namespace {

constexpr double kT = VirtualMotor::kSamplePeriod;

// Analytic responses of x'' = ω²(u − x) − 2ζωx' from rest: to the unit ramp u = t, and its
// derivatives, the responses to the unit step and to the unit impulse.
struct Analytic {
  double w, z;
  enum Input { kRamp, kStep, kImpulse };
  double operator()(Input input, double t) const {
    if (t <= 0.0) return 0.0;
    // c, s: e^(−ζωt) times cos(ω_d t) and sin(ω_d t) / ω_d (cosh and sinh when overdamped).
    const double d2 = w * w * (1.0 - z * z), d = std::sqrt(std::fabs(d2)), decay = z * w * t;
    const double up = std::exp(d * t - decay), down = std::exp(-d * t - decay);
    const double c = d2 > 0   ? std::cos(d * t) * std::exp(-decay)
                     : d2 < 0 ? (up + down) / 2
                              : std::exp(-decay);
    const double s = d2 > 0   ? std::sin(d * t) / d * std::exp(-decay)
                     : d2 < 0 ? (up - down) / (2 * d)
                              : t * std::exp(-decay);
    if (input == kRamp) return t - 2 * z / w + 2 * z / w * c + (2 * z * z - 1) * s;
    return input == kStep ? 1.0 - c - z * w * s : w * w * s;
  }
  // The mean over the period before t: the response to a setpoint step interpolated over it.
  double sampled(Input input, double t) const {
    return ((*this)(input, t) - (*this)(input, t - kT)) / kT;
  }
};

class SecondOrderLagTest : public ::testing::TestWithParam<std::pair<double, double>> {};

// A setpoint step is interpolated over one period: a unit ramp, less the same ramp one period
// later, divided by the period. Every sample lies on that continuous response, then the lag
// settles exactly on the setpoint.
TEST_P(SecondOrderLagTest, StepResponseIsTheAnalyticOneSampledEveryPeriod) {
  const auto [w, z] = GetParam();
  const Analytic a{w, z};
  SecondOrderLag lag(w, z, kT);
  for (int k = 1; k <= 200; ++k) {
    lag.step(1.0);
    const double t = k * kT;
    ASSERT_NEAR(lag.state().position, a.sampled(Analytic::kRamp, t), 1e-10) << k;
    ASSERT_NEAR(lag.state().velocity, a.sampled(Analytic::kStep, t), 1e-9) << k;
    ASSERT_NEAR(lag.state().acceleration, a.sampled(Analytic::kImpulse, t), 1e-9 * w * w) << k;
  }
  for (int k = 0; k < 12000; ++k) lag.step(1.0);
  EXPECT_EQ(lag.state().position, 1.0);
  EXPECT_EQ(lag.state().velocity, 0.0);
}

INSTANTIATE_TEST_SUITE_P(Lags, SecondOrderLagTest,
                         ::testing::Values(std::make_pair(300.0, 1.0), std::make_pair(50.0, 0.3),
                                           std::make_pair(500.0, 2.5)));

TEST(SecondOrderLag, FollowsARampAtItsVelocityAndRefusesBadParameters) {
  SecondOrderLag lag(300.0, 1.0, kT);
  for (int k = 1; k <= 400; ++k) lag.step(1.5 * k * kT);
  EXPECT_NEAR(lag.state().velocity, 1.5, 1e-12);
  // 2ζ/ω behind the interpolated setpoint.
  EXPECT_NEAR(lag.state().position, 1.5 * (400 * kT - 2.0 / 300.0), 1e-12);
  lag.step(NAN);
  EXPECT_TRUE(std::isfinite(lag.state().position));
  using Pair = std::pair<double, double>;
  for (const auto& [w, z] :
       {Pair{0.0, 1.0}, Pair{300.0, -1.0}, Pair{INFINITY, 1.0}, Pair{300.0, NAN}}) {
    EXPECT_THROW(SecondOrderLag(w, z, kT), std::invalid_argument);
  }
}

// Every simulated motor, the stand-ins for the maker's drivers included, behaves the same.
template <typename Motor>
std::unique_ptr<VirtualMotor> makeMotor() {
  std::string name = "/dev/ttyUSB0";
  if constexpr (std::is_same_v<Motor, VirtualMotor>) return std::make_unique<VirtualMotor>(1);
  if constexpr (std::is_same_v<Motor, damiaoMotor>)
    return std::make_unique<damiaoMotor>(1, 1, 17, name, false, 15.0F, 1.0F);
  if constexpr (!std::is_same_v<Motor, VirtualMotor> && !std::is_same_v<Motor, damiaoMotor>)
    return std::make_unique<Motor>(4, 115200, name, false);
}

class ConstantLoad : public VirtualMotorLoad {
 public:
  double motorTorque(int axis) override { return 10.0 * axis + 0.5; }
};

template <typename Motor>
class SimulatedMotorTest : public ::testing::Test {};
using MotorTypes = ::testing::Types<VirtualMotor, damiaoMotor, feetechMotor, johoMotor>;
TYPED_TEST_SUITE(SimulatedMotorTest, MotorTypes);

// One period per position read, on the default lag; home at rest at 0; the enable state is the
// last one set; the torque is the load's.
TYPED_TEST(SimulatedMotorTest, TracksOnePeriodPerPositionReadHomesAndReportsItsLoad) {
  const std::unique_ptr<VirtualMotor> motor = makeMotor<TypeParam>();
  const VirtualMotorPara defaults;
  SecondOrderLag reference(defaults.tracking_bandwidth, defaults.damping, kT);
  double position = 0.0, velocity = 0.0, torque = 7.0;
  bool enabled = true;
  EXPECT_EQ(motor->init(), 0);
  EXPECT_EQ(motor->getEnableStatus(enabled), 0);
  EXPECT_FALSE(enabled);
  ASSERT_EQ(motor->setMotorPosition(1.25), 0);
  ASSERT_EQ(motor->setMotorPosition(NAN), device_result::kInvalidSetpoint);
  for (int k = 1; k <= 3; ++k) {
    reference.step(1.25);
    ASSERT_EQ(motor->getMotorPosition(position), 0);
    EXPECT_EQ(motor->getVelocity(velocity), 0);
    EXPECT_EQ(position, reference.state().position);
    EXPECT_EQ(velocity, reference.state().velocity);
    EXPECT_EQ(motor->periods(), k);
  }
  EXPECT_GT(velocity, 0.0);
  EXPECT_EQ(motor->getTorque(torque), 0);
  EXPECT_EQ(torque, 0.0);
  auto load = std::make_shared<ConstantLoad>();
  motor->setLoad(load, 2);
  EXPECT_EQ(motor->getTorque(torque), 0);
  EXPECT_EQ(torque, 20.5);
  load.reset();
  EXPECT_EQ(motor->getTorque(torque), 0);
  EXPECT_EQ(torque, 0.0);

  EXPECT_EQ(motor->setHome(3000), 0);
  ASSERT_EQ(motor->getMotorPosition(position), 0);
  EXPECT_EQ(motor->getVelocity(velocity), 0);
  EXPECT_EQ(position, 0.0);
  EXPECT_EQ(velocity, 0.0);
  ASSERT_EQ(motor->setEnableStatus(true), 0);
  EXPECT_EQ(motor->getEnableStatus(enabled), 0);
  EXPECT_TRUE(enabled);
}

// Every fault at its period of the drive's own time; random faults repeat with their seed.
TEST(VirtualMotorFaultTest, FaultsComeAtTheirPeriods) {
  VirtualMotorFaults f;
  f.init_failures = 2;
  f.write_fault_from_period = 2;
  f.read_fault_from_period = 3;
  f.enable_never_arrives = f.home_fails = true;
  f.external_torque = 1.5;
  f.external_torque_from_period = 2;
  VirtualMotor motor(1, {}, f);
  double value = 0.0;
  bool enabled = true;
  EXPECT_EQ(motor.init(), device_result::kInitFault);
  EXPECT_EQ(motor.init(), device_result::kInitFault);
  EXPECT_EQ(motor.init(), device_result::kOk);
  EXPECT_EQ(motor.setEnableStatus(true), 0);
  EXPECT_EQ(motor.getEnableStatus(enabled), 0);
  EXPECT_FALSE(enabled);
  EXPECT_EQ(motor.setHome(3000), device_result::kHomeFault);
  EXPECT_EQ(motor.setMotorPosition(1.0), 0);
  EXPECT_EQ(motor.getMotorPosition(value), 0);  // period 1
  EXPECT_EQ(motor.getTorque(value), 0);
  EXPECT_EQ(value, 0.0);
  EXPECT_EQ(motor.getMotorPosition(value), 0);  // period 2
  EXPECT_EQ(motor.getTorque(value), 0);
  EXPECT_EQ(value, 1.5);
  EXPECT_EQ(motor.setMotorPosition(2.0), device_result::kWriteFault);
  EXPECT_EQ(motor.getMotorPosition(value), device_result::kReadFault);  // period 3
  EXPECT_EQ(motor.getVelocity(value), device_result::kReadFault);
  EXPECT_EQ(motor.getTorque(value), device_result::kReadFault);
  EXPECT_EQ(motor.periods(), 3);
  SecondOrderLag reference(300.0, 1.0, kT);
  for (int k = 0; k < 3; ++k) reference.step(1.0);
  EXPECT_EQ(motor.state().position, reference.state().position);  // 2.0 and home never taken
}

TEST(VirtualMotorFaultTest, RandomFaultsHaveTheirRateAndRepeatWithTheirSeed) {
  const auto failures = [](double probability, std::uint32_t seed) {
    VirtualMotorFaults f;
    f.read_fault_probability = f.write_fault_probability = probability;
    f.fault_seed = seed;
    VirtualMotor motor(1, {}, f);
    std::vector<bool> failed;
    double value = 0.0;
    for (int k = 0; k < 4000; ++k) {
      failed.push_back(motor.getMotorPosition(value) != 0);
      failed.push_back(motor.setMotorPosition(0.1) != 0);
    }
    return failed;
  };
  const std::vector<bool> a = failures(0.25, 7);
  EXPECT_NEAR(std::count(a.begin(), a.end(), true), 2000, 150);
  EXPECT_EQ(failures(0.25, 7), a);
  EXPECT_NE(failures(0.25, 8), a);
  const std::vector<bool> none = failures(0.0, 7);
  EXPECT_EQ(std::count(none.begin(), none.end(), true), 0);
}

TEST(VirtualIoFaultTest, DeviceThatNeverAnswersLeavesTheStateAlone) {
  VirtualGripper device(VirtualIoFaults{true});
  int state = -1;
  EXPECT_EQ(device.setCmd(3), device_result::kNoAnswer);
  EXPECT_EQ(device.getState(state), device_result::kNoAnswer);
  EXPECT_EQ(state, -1);
}

template <typename Device>
class SimulatedIoTest : public ::testing::Test {};
using IoTypes = ::testing::Types<VirtualGripper, ServoGripper, UpdownLifter>;
TYPED_TEST_SUITE(SimulatedIoTest, IoTypes);

TYPED_TEST(SimulatedIoTest, ReportsMinusOneBeforeAnyCommandThenTheLastCommand) {
  TypeParam device = [] {
    if constexpr (std::is_same_v<TypeParam, VirtualGripper>) return TypeParam();
    if constexpr (!std::is_same_v<TypeParam, VirtualGripper>)
      return TypeParam(YAML::Load("{type: gripper}"));
  }();
  int state = 99;
  EXPECT_EQ(device.getState(state), 0);
  EXPECT_EQ(state, -1);
  EXPECT_EQ(device.setCmd(7), 0);
  EXPECT_EQ(device.getState(state), 0);
  EXPECT_EQ(state, 7);
}

}  // namespace
}  // namespace brenvik
