#pragma once

#include "controller_frame/publish_robot_status_interface.h"

namespace brenvik::testing {

// Accepts every call and does nothing but count the publishes: the loop without a transport,
// for the benchmarks.
class NoopStatusPublisher : public PublishRobotStatusInterface {
 public:
  using S = const std::string&;
  void createFloat64MultiArrayPublisher(S, const std::vector<double>*) override {}
  void createJointStatePublisher(S, const JointStateRecord*) override {}
  void createBoolPublisher(S, const bool*) override {}
  void createPosePublisher(S, const Eigen::Matrix4d*) override {}
  void publishFloat64MultiArray(S, const std::vector<double>&) override { ++publishes; }
  void publishJointState(S, const JointStateRecord&) override { ++publishes; }
  void publishBool(S, const bool&) override { ++publishes; }
  void publishPose(S, const Eigen::Matrix4d&) override { ++publishes; }

  long publishes = 0;
};

}  // namespace brenvik::testing
