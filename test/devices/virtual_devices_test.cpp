#include <gtest/gtest.h>

#include "devices/second_order_lag.h"
#include "devices/virtual_gripper.h"
#include "devices/virtual_motor.h"

namespace brenvik {
namespace {

constexpr double kT = VirtualMotor::kSamplePeriod;
using P = std::pair<double, double>;
using Codes = std::vector<int>;

// Analytic response of x'' = ω²(u − x) − 2ζωx' from rest to the unit ramp u = t (order 0), and
// its derivatives (orders 1 and 2: the responses to the unit step and impulse).
double analytic(double w, double z, int order, double t) {
  if (t <= 0.0) return 0.0;
  // c, s: e^(−ζωt) times cos(ω_d t) and sin(ω_d t) / ω_d (cosh and sinh when overdamped).
  const double d2 = w * w * (1.0 - z * z), d = std::sqrt(std::fabs(d2)), e = z * w * t;
  const double up = std::exp(d * t - e), down = std::exp(-d * t - e), decay = std::exp(-e);
  const double c = d2 > 0 ? std::cos(d * t) * decay : d2 < 0 ? (up + down) / 2 : decay;
  const double s = d2 > 0   ? std::sin(d * t) / d * decay
                   : d2 < 0 ? (up - down) / (2 * d)
                            : t * decay;
  if (order == 0) return t - 2 * z / w + 2 * z / w * c + (2 * z * z - 1) * s;
  return order == 1 ? 1.0 - c - z * w * s : w * w * s;
}

// A setpoint step, interpolated over one period, is (ramp(t) − ramp(t − T)) / T.
TEST(SecondOrderLag, StepResponseIsTheAnalyticOneSampledEveryPeriod) {
  for (const auto& [w, z] : {P{300.0, 1.0}, P{50.0, 0.3}, P{500.0, 2.5}}) {
    SecondOrderLag lag(w, z, kT);
    const double tolerances[] = {1e-10, 1e-9, 1e-9 * w * w};
    for (int k = 1; k <= 200; ++k) {
      lag.step(1.0);
      const double state[] = {lag.state().position, lag.state().velocity, lag.state().acceleration};
      for (int order = 0; order < 3; ++order) {
        const double expected =
            (analytic(w, z, order, k * kT) - analytic(w, z, order, k * kT - kT)) / kT;
        ASSERT_NEAR(state[order], expected, tolerances[order]) << w << " " << k;
      }
    }
    for (int k = 0; k < 12000; ++k) lag.step(1.0);
    EXPECT_EQ(lag.state().position, 1.0);
    EXPECT_EQ(lag.state().velocity, 0.0);
  }
  SecondOrderLag lag(300.0, 1.0, kT);
  lag.step(NAN);
  EXPECT_TRUE(std::isfinite(lag.state().position));
  for (const auto& [w, z] : {P{0.0, 1.0}, P{300.0, -1.0}, P{INFINITY, 1.0}, P{300.0, NAN}}) {
    EXPECT_THROW(SecondOrderLag(w, z, kT), std::invalid_argument);
  }
}

TEST(SimulatedMotorTest, TracksOnePeriodPerPositionReadHomesAndReportsItsLoad) {
  VirtualMotor motor(1);
  SecondOrderLag reference(VirtualMotorPara().tracking_bandwidth, VirtualMotorPara().damping, kT);
  double position = 0.0, velocity = 0.0, torque = 7.0;
  bool enabled[2] = {true, false};
  EXPECT_EQ(Codes({motor.init(), motor.getEnableStatus(enabled[0]), motor.setMotorPosition(1.25),
                   motor.setMotorPosition(NAN)}),
            Codes({0, 0, 0, device_result::kInvalidSetpoint}));
  for (int k = 1; k <= 3; ++k) {
    reference.step(1.25);
    ASSERT_EQ(Codes({motor.getMotorPosition(position), motor.getVelocity(velocity)}), Codes(2));
    EXPECT_EQ(std::make_tuple(position, velocity, motor.periods()),
              std::make_tuple(reference.state().position, reference.state().velocity, k));
  }
  EXPECT_EQ(Codes({motor.getTorque(torque), motor.setHome(3000), motor.getMotorPosition(position),
                   motor.getVelocity(velocity), motor.setEnableStatus(true),
                   motor.getEnableStatus(enabled[1])}),
            Codes(6));
  // No load; homing sets the drive to zero at rest.
  EXPECT_EQ(std::make_tuple(torque, position, velocity, enabled[0], enabled[1]),
            std::make_tuple(0.0, 0.0, 0.0, false, true));
}

TEST(VirtualMotorFaultTest, FaultsComeAtTheirPeriods) {
  VirtualMotorFaults f;
  f.init_failures = 2;
  f.write_fault_from_period = f.external_torque_from_period = 2;
  f.read_fault_from_period = 3;
  f.enable_never_arrives = f.home_fails = true;
  f.external_torque = 1.5;
  VirtualMotor motor(1, {}, f);
  double value = 0.0, torque[2];
  bool enabled = true;
  using namespace device_result;
  EXPECT_EQ(
      Codes({motor.init(), motor.init(), motor.init(), motor.setHome(3000),
             motor.setEnableStatus(true), motor.getEnableStatus(enabled),
             motor.setMotorPosition(1.0), motor.getMotorPosition(value), motor.getTorque(torque[0]),
             motor.getMotorPosition(value), motor.getTorque(torque[1]), motor.setMotorPosition(2.0),
             motor.getMotorPosition(value), motor.getVelocity(value), motor.getTorque(value)}),
      Codes({kInitFault, kInitFault, 0, kHomeFault, 0, 0, 0, 0, 0, 0, 0, kWriteFault, kReadFault,
             kReadFault, kReadFault}));
  EXPECT_EQ(std::make_tuple(enabled, torque[0], torque[1], motor.periods()),
            std::make_tuple(false, 0.0, 1.5, std::int64_t{3}));
  SecondOrderLag reference(300.0, 1.0, kT);
  for (int k = 0; k < 3; ++k) reference.step(1.0);
  EXPECT_EQ(motor.state().position, reference.state().position);  // 2.0 and home never taken

  const auto failures = [](double probability, std::uint32_t seed) {
    VirtualMotorFaults random;
    random.read_fault_probability = random.write_fault_probability = probability;
    random.fault_seed = seed;
    VirtualMotor drive(1, {}, random);
    std::vector<bool> failed;
    double read = 0.0;
    for (int k = 0; k < 8000; ++k)
      failed.push_back((k % 2 ? drive.setMotorPosition(0.1) : drive.getMotorPosition(read)) != 0);
    return failed;
  };
  const std::vector<bool> a = failures(0.25, 7);
  EXPECT_NEAR(std::count(a.begin(), a.end(), true), 2000, 150);
  EXPECT_EQ(failures(0.25, 7), a);
  EXPECT_NE(failures(0.25, 8), a);
  EXPECT_EQ(failures(0.0, 7), std::vector<bool>(8000, false));
}

TEST(SimulatedIoTest, ReportsMinusOneBeforeAnyCommandThenTheLastCommand) {
  VirtualGripper gripper, silent(VirtualIoFaults{true});
  int state[3] = {99, 99, -1};
  EXPECT_EQ(Codes({gripper.getState(state[0]), gripper.setCmd(7), gripper.getState(state[1]),
                   silent.setCmd(3), silent.getState(state[2])}),
            Codes({0, 0, 0, device_result::kNoAnswer, device_result::kNoAnswer}));
  EXPECT_EQ(Codes(state, state + 3), Codes({-1, 7, -1}));
}

}  // namespace
}  // namespace brenvik
