#pragma once

#include <Eigen/Dense>

namespace brenvik {

// First-order smoothing of a fixed-size vector, state ← state + 0.2·(input − state) (a gain
// matrix of 0.2·I). The first sample becomes the state, so the first output equals the input;
// a step then reaches 1 − 0.8ⁿ of its size after n further samples. Not thread-safe.
template <int N>
class SmoothingFilter {
 public:
  using Vector = Eigen::Matrix<double, N, 1>;

  static constexpr double kGain = 0.2;

  const Vector& update(const Vector& input) {
    if (first_sample_) {
      state_ = input;
      first_sample_ = false;
    }
    state_ += kGain * (input - state_);
    return state_;
  }

  const Vector& state() const { return state_; }

 private:
  Vector state_ = Vector::Zero();
  bool first_sample_ = true;
};

}  // namespace brenvik
