#pragma once

namespace brenvik {

// Results of the kinematics operations.
namespace kinematics_result {
inline constexpr int kOk = 0;
// setMdhPara: zds, xas, alphas or qzeros does not hold exactly 5 values.
inline constexpr int kSizeMismatch = -1;
// setMdhPara: the link twists are not those of this arm type (tolerance one degree).
inline constexpr int kWrongArmType = -2;
// Inverse kinematics: the elbow angle lies within 0.0004 rad of its singularity.
inline constexpr int kSingular = -1;
// Inverse kinematics: the pose is out of reach for the arm type, lies on the base z axis, or a
// joint value came out NaN or infinite.
inline constexpr int kNoSolution = -10;
}  // namespace kinematics_result

// Results of CollisionDetectorInterface::detectCollision.
namespace collision_result {
inline constexpr int kNoCollision = 0;
inline constexpr int kCollision = 1;
}  // namespace collision_result

}  // namespace brenvik
