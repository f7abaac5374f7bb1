#pragma once

#include <cstdint>
#include <memory>
#include <random>

#include "devices/ctrl_motor_interface.h"
#include "devices/second_order_lag.h"
#include "devices/simulated_device_faults.h"
#include "devices/virtual_motor_load.h"

namespace brenvik {

// How a simulated drive tracks its setpoint (parameter file: virtual_motor_para).
struct VirtualMotorPara {
  // Natural frequency of the position loop (rad/s): a step of the setpoint settles to 2 % within
  // about 5.8 / bandwidth s (4 periods at the default).
  double tracking_bandwidth = 300.0;
  // Damping ratio of the position loop; 1 is critically damped (no overshoot).
  double damping = 1.0;
};

// Simulated motor: a drive that tracks its setpoint with a second-order lag (SecondOrderLag) and
// reports its position, velocity and the torque of its load, and that injects the faults it is
// given (VirtualMotorFaults).
//
// Time base: the drive advances exactly one sample period (kSamplePeriod, the control loop's
// period) each time its position is read, since the control loop reads every motor's position
// once per period; velocity and torque reads report the state of the last advance. The drive
// therefore runs on the loop's periods, never on a wall clock, and is exact under a fake clock.
// A setpoint written in one period is interpolated to over the next one.
//
// Positions (rad), velocities (rad/s) and torques are motor-side values. Every operation returns
// 0, or a device_result code of an injected fault. The drive tracks its setpoint whether or not
// it is enabled; the enable state is only reported back. Called by the loader on the main thread
// at start-up, afterwards only by the control thread.
class VirtualMotor : public CtrlMotorInterface {
 public:
  static constexpr double kSamplePeriod = 0.005;  // s

  // motor_id: axis number, 1 for the first axis. Starts at rest at position 0, disabled.
  // Throws std::invalid_argument for a bandwidth or damping that is not positive and finite.
  explicit VirtualMotor(int motor_id, const VirtualMotorPara& para = {},
                        const VirtualMotorFaults& faults = {});

  int init() override;
  // The setpoint of the next period; a value that is not finite is refused (kInvalidSetpoint).
  int setMotorPosition(double position) override;
  // Advances the drive one period (also when the read then fails), then reports its position.
  int getMotorPosition(double& position) override;
  int setEnableStatus(bool enable) override;
  int getEnableStatus(bool& enabled) override;
  // At rest at position 0 (setpoint 0 too); value ignored.
  int setHome(int value) override;
  // The load's torque for this drive (0 without a load), plus any external torque.
  int getTorque(double& torque) override;
  int getVelocity(double& velocity) override;

  // The load this drive is axis `axis` (0-based) of. Held weakly: a load that is gone leaves the
  // drive without one. Start-up only.
  void setLoad(std::weak_ptr<VirtualMotorLoad> load, int axis);

  int motorId() const { return motor_id_; }
  // The drive's present state, read without advancing it (as a position read would).
  const SecondOrderLag::State& state() const { return lag_.state(); }
  // Periods the drive has advanced since construction.
  std::int64_t periods() const { return periods_; }

 private:
  [[nodiscard]] bool fails(std::int64_t from_period, double probability);

  int motor_id_;
  VirtualMotorFaults faults_;
  int init_calls_ = 0;
  std::minstd_rand fault_random_;
  SecondOrderLag lag_;
  double setpoint_ = 0.0;
  bool enable_status_ = false;  // drives start disabled
  std::int64_t periods_ = 0;
  std::weak_ptr<VirtualMotorLoad> load_;
  int load_axis_ = 0;
};

}  // namespace brenvik
