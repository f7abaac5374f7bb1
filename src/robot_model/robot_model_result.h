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
// inverseKinematics: the pose's position is within reach but not its orientation: this five-axis
// arm cannot turn the tool that way (the forward kinematics of every solution misses the pose).
inline constexpr int kUnreachableOrientation = -11;
// inverseKinematics: the pose is reached only with joint values outside the joint limits.
inline constexpr int kOutsideJointLimits = -12;
}  // namespace kinematics_result

// Results of CollisionDetectorInterface::detectCollision.
namespace collision_result {
inline constexpr int kNoCollision = 0;
inline constexpr int kCollision = 1;
}  // namespace collision_result

}  // namespace brenvik
