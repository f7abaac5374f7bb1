#include "controller_frame/trapezoid_planner.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "common/logger.h"
#include "controller_frame/motion_codes.h"

namespace brenvik {
namespace {

// Acceleration of a phase; a phase of zero duration has none (and must not divide by zero).
double phaseAcceleration(double dv, double duration) {
  return duration > 0.0 ? dv / duration : 0.0;
}

bool allFinite(const TrapezoidPlanResult& r) {
  return std::isfinite(r.Vv) && std::isfinite(r.Ta) && std::isfinite(r.Sa) && std::isfinite(r.Td) &&
         std::isfinite(r.Sd) && std::isfinite(r.Tv) && std::isfinite(r.Sv) &&
         std::isfinite(r.a_acc) && std::isfinite(r.a_dec) && std::isfinite(r.Tall);
}

}  // namespace

void TrapezoidPlanner::setInput(const TrapezoidPlannerInput* input) {
  input_valid_ = input != nullptr;
  if (input != nullptr) {
    input_ = *input;
  }
}

void TrapezoidPlanner::setInput(const CubicPlannerInput* /*input*/) { input_valid_ = false; }

int TrapezoidPlanner::validateInput() const {
  if (!input_valid_) {
    Logger::instance()->print("TrapezoidPlanner has no trapezoid input\n");
    return planner_result::kInvalidInput;
  }
  const struct {
    const char* name;
    double value;
  } values[] = {{"q0", input_.q0},     {"q1", input_.q1}, {"v0", input_.v0}, {"v1", input_.v1},
                {"vmax", input_.vmax}, {"aa", input_.aa}, {"ad", input_.ad}};
  for (const auto& v : values) {
    if (!std::isfinite(v.value)) {
      Logger::instance()->print("TrapezoidPlanner input %s=%g is not finite\n", v.name, v.value);
      return planner_result::kInvalidInput;
    }
  }
  if (!(input_.vmax > 0.0)) {
    Logger::instance()->print("TrapezoidPlanner input vmax=%g must be positive\n", input_.vmax);
    return planner_result::kInvalidInput;
  }
  if (!(input_.aa > 0.0)) {
    Logger::instance()->print("TrapezoidPlanner input aa=%g must be positive\n", input_.aa);
    return planner_result::kInvalidInput;
  }
  if (!(input_.ad < 0.0)) {
    Logger::instance()->print("TrapezoidPlanner input ad=%g must be negative\n", input_.ad);
    return planner_result::kInvalidInput;
  }
  return planner_result::kOk;
}

int TrapezoidPlanner::plan() {
  plan_status_ = 0;
  Logger::instance()->print("TrapezoidPlanner::plan\n");
  if (const int r = validateInput(); r != planner_result::kOk) {
    plan_status_ = r;
    return r;
  }
  const double q0 = input_.q0;
  const double q1 = input_.q1;
  const double v0 = input_.v0;
  const double v1 = input_.v1;
  const double vmax = input_.vmax;
  const double aa = input_.aa;
  const double ad = input_.ad;
  const double h = q1 - q0;

  if (std::fabs(v0) > std::fabs(vmax) || std::fabs(v1) > std::fabs(vmax)) {
    plan_status_ = planner_result::kOverVmax;
    Logger::instance()->print("You set v0 over vmax, or v1 over vmax!\n");
    return planner_result::kOverVmax;
  }

  TrapezoidPlanResult r;
  if (h == 0.0 && v0 == 0.0 && v1 == 0.0) {
    // An axis that stays where it is: a profile of zero length that holds q0 (and synchronises
    // to any other axis's durations as a hold).
    result_ = r;
    plan_status_ = 1;
    Logger::instance()->print("h:0, the axis holds its position\nTrapezoidPlanner::plan finish!\n");
    return planner_result::kOk;
  }
  double vv = h > 0.0 ? vmax : -vmax;
  r.Ta = std::fabs((vv - v0) / aa);
  r.Td = std::fabs((v1 - vv) / ad);
  r.Sa = (v0 + vv) / 2.0 * r.Ta;
  r.Sd = (v1 + vv) / 2.0 * r.Td;
  const bool fits = std::fabs(r.Sa + r.Sd) <= std::fabs(h) && h * (r.Sa + r.Sd) >= 0.0;
  Logger::instance()->print("%d\nv0:%g\nv1:%g\nvmax:%g\naa:%g\nad:%g\nh:%g\n", fits ? 1 : 0, v0, v1,
                            vmax, aa, ad, h);

  if (!fits) {
    const double delta = std::fabs((v1 - v0) / aa) * (v0 + v1) / 2.0;
    if ((std::fabs(h) < DBL_MIN && std::fabs(delta) < DBL_MIN) || std::fabs(delta) > std::fabs(h) ||
        h * delta < 0.0) {
      plan_status_ = planner_result::kTooClose;
      Logger::instance()->print("%s\n",
                                h > 0.0 ? "too close to plan+..." : "too close to plan-...");
      return planner_result::kTooClose;
    }
    if (h > 0.0) {
      vv = std::sqrt((2.0 * aa * ad * h - aa * v1 * v1 + ad * v0 * v0) / (ad - aa));
    } else {
      vv = -std::sqrt((-2.0 * aa * ad * h - aa * v1 * v1 + ad * v0 * v0) / (ad - aa));
      Logger::instance()->print("Vv:%g\n", vv);
    }
    r.Ta = std::fabs((vv - v0) / aa);
    r.Td = std::fabs((v1 - vv) / ad);
    r.Sa = (v0 + vv) / 2.0 * r.Ta;
    r.Sd = (v1 + vv) / 2.0 * r.Td;
  }

  r.Vv = vv;
  r.a_acc = phaseAcceleration(vv - v0, r.Ta);
  r.a_dec = phaseAcceleration(v1 - vv, r.Td);
  r.Sv = h - r.Sa - r.Sd;
  r.Tv = vv != 0.0 ? std::fabs(r.Sv / vv) : 0.0;
  r.Tall = r.Ta + r.Tv + r.Td;
  if (!allFinite(r)) {
    plan_status_ = planner_result::kInvalidInput;
    Logger::instance()->print("TrapezoidPlanner plan is not finite (h=%g)\n", h);
    return planner_result::kInvalidInput;
  }
  result_ = r;
  plan_status_ = 1;
  Logger::instance()->print("TrapezoidPlanner::plan finish!\n");
  return planner_result::kOk;
}

int TrapezoidPlanner::rePlan(const TrapezoidPlanResult* reference) {
  if (reference == nullptr) {
    Logger::instance()->print("TrapezoidPlanner::rePlan has no reference plan\n");
    return planner_result::kInvalidInput;
  }
  const double ta = reference->Ta;
  const double td = reference->Td;
  const double tv = reference->Tv;
  const double tall = reference->Tall;
  const double q0 = input_.q0;
  const double q1 = input_.q1;
  const double v0 = input_.v0;
  const double v1 = input_.v1;
  Logger::instance()->print("Ta=%lf,Td=%lf,Tall=%lf,Tv=%lf;\n", ta, td, tall, tv);
  Logger::instance()->print("q0=%lf,q1=%lf,v0=%lf,v1=%lf;\n", q0, q1, v0, v1);
  const double h = q1 - q0;
  const double denominator = 2.0 * tv + ta + td;
  if (!(denominator > 0.0) || !std::isfinite(denominator)) {
    Logger::instance()->print(
        "TrapezoidPlanner::rePlan reference duration 2Tv+Ta+Td=%g is not positive\n", denominator);
    return planner_result::kInvalidInput;
  }
  const double vv = (2.0 * h - ta * v0 - td * v1) / denominator;
  Logger::instance()->print("Vv=%lf;\n", vv);

  TrapezoidPlanResult r;
  r.Vv = vv;
  r.Ta = ta;
  r.Td = td;
  r.Tv = tv;
  r.Tall = tall;
  r.a_acc = phaseAcceleration(vv - v0, ta);
  r.a_dec = phaseAcceleration(v1 - vv, td);
  r.Sa = v0 * ta + 0.5 * r.a_acc * ta * ta;
  r.Sd = vv * td + 0.5 * r.a_dec * td * td;
  r.Sv = vv * tv;
  if (!allFinite(r)) {
    Logger::instance()->print("TrapezoidPlanner::rePlan result is not finite (Vv=%g)\n", vv);
    return planner_result::kInvalidInput;
  }
  result_ = r;
  return planner_result::kOk;
}

double TrapezoidPlanner::calPosition(double t, int* reached) const {
  if (plan_status_ != 1) {
    if (reached != nullptr) {
      *reached = 0;
    }
    return std::nan("");
  }
  const TrapezoidPlanResult& r = result_;
  const double t1 = r.Ta;
  const double t2 = r.Ta + r.Tv;
  // The goal from Tall on, exactly: a stretched Tall and the sum of the stretched phases may
  // differ by a rounding step.
  const double t3 = r.Tall;
  double q;
  if (t < t1) {
    q = input_.q0 + input_.v0 * t + 0.5 * r.a_acc * t * t;
  } else if (t < t2) {
    q = input_.q0 + r.Sa + r.Vv * (t - r.Ta);
  } else if (t < t3) {
    const double tau = t - r.Ta - r.Tv;
    q = input_.q0 + r.Sa + r.Sv + r.Vv * tau + 0.5 * r.a_dec * tau * tau;
  } else {
    q = input_.q1;
  }
  if (reached != nullptr) {
    *reached = std::fabs(q - input_.q1) < 1e-5 ? 1 : 0;
  }
  return q;
}

MotionBounds TrapezoidPlanner::motionBounds() const {
  MotionBounds b;
  if (plan_status_ != 1) {
    const double nan = std::nan("");
    return {nan, nan, nan, nan, nan, nan, nan, nan};
  }
  const TrapezoidPlanResult& r = result_;
  const double t2 = r.Ta + r.Tv;
  b.min_position = b.max_position = input_.q0;
  const auto position = [&](double q, double t) {
    if (q < b.min_position) {
      b.min_position = q;
      b.min_position_time = t;
    }
    if (q > b.max_position) {
      b.max_position = q;
      b.max_position_time = t;
    }
  };
  const auto speed = [&](double v, double t) {
    if (std::fabs(v) > b.max_speed) {
      b.max_speed = std::fabs(v);
      b.max_speed_time = t;
    }
  };
  // Positions at the phase ends; between them a phase's position has its one extremum where its
  // velocity crosses zero.
  position(input_.q0 + r.Sa, r.Ta);
  position(input_.q0 + r.Sa + r.Sv, t2);
  position(input_.q1, r.Tall);
  if (r.a_acc != 0.0 && -input_.v0 / r.a_acc > 0.0 && -input_.v0 / r.a_acc < r.Ta) {
    const double t = -input_.v0 / r.a_acc;
    position(input_.q0 + input_.v0 * t + 0.5 * r.a_acc * t * t, t);
  }
  if (r.a_dec != 0.0 && -r.Vv / r.a_dec > 0.0 && -r.Vv / r.a_dec < r.Td) {
    const double tau = -r.Vv / r.a_dec;
    position(input_.q0 + r.Sa + r.Sv + r.Vv * tau + 0.5 * r.a_dec * tau * tau, t2 + tau);
  }
  speed(input_.v0, 0.0);
  if (r.Tall > 0.0) {
    speed(r.Vv, r.Ta);
    speed(input_.v1, r.Tall);
  }
  if (r.Ta > 0.0) {
    b.max_acceleration = std::fabs(r.a_acc);
  }
  if (r.Td > 0.0 && std::fabs(r.a_dec) > b.max_acceleration) {
    b.max_acceleration = std::fabs(r.a_dec);
    b.max_acceleration_time = t2;
  }
  return b;
}

double TrapezoidPlanner::limitStretch() const {
  if (plan_status_ != 1) {
    return 1.0;
  }
  const TrapezoidPlanResult& r = result_;
  return std::max({1.0, std::fabs(r.Vv) / input_.vmax, std::sqrt(std::fabs(r.a_acc) / input_.aa),
                   std::sqrt(std::fabs(r.a_dec) / std::fabs(input_.ad))});
}

int TrapezoidPlanner::getStartAndGoal(double* start, double* goal) const {
  *start = input_.q0;
  *goal = input_.q1;
  return 0;
}

}  // namespace brenvik
