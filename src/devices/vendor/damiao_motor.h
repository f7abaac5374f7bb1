#pragma once

#include <string>

#include "devices/virtual_motor.h"

// Stand-in for the maker's damiao driver (libctrl_motor) with the maker's constructor. It behaves
// as a simulated motor and keeps its construction parameters for inspection.
class damiaoMotor : public brenvik::VirtualMotor {
 public:
  damiaoMotor(unsigned id, unsigned mode, unsigned master_id, std::string device_name, bool inverse,
              float kp, float kd)
      : VirtualMotor(static_cast<int>(id)),
        id_(id),
        mode_(mode),
        master_id_(master_id),
        device_name_(std::move(device_name)),
        inverse_(inverse),
        kp_(kp),
        kd_(kd) {}

  unsigned id() const { return id_; }
  unsigned mode() const { return mode_; }
  unsigned masterId() const { return master_id_; }
  const std::string& deviceName() const { return device_name_; }
  bool inverse() const { return inverse_; }
  float kp() const { return kp_; }
  float kd() const { return kd_; }

 private:
  unsigned id_;
  unsigned mode_;
  unsigned master_id_;
  std::string device_name_;
  bool inverse_;
  float kp_;
  float kd_;
};
