#pragma once

#include "controller_frame/publish_robot_status_interface.h"

namespace brenvik::testing {

// Accepts every call and does nothing: the cost of the loop without a transport. Counts
// publishes.
class NoopStatusPublisher : public PublishRobotStatusInterface {
 public:
  void createFloat64MultiArrayPublisher(const std::string&, const std::vector<double>*) override {}
  void createJointStatePublisher(const std::string&, const JointStateRecord*) override {}
  void createBoolPublisher(const std::string&, const bool*) override {}
  void createPosePublisher(const std::string&, const Eigen::Matrix4d*) override {}
  void publishFloat64MultiArray(const std::string&, const std::vector<double>&) override {
    ++publishes;
  }
  void publishJointState(const std::string&, const JointStateRecord&) override { ++publishes; }
  void publishBool(const std::string&, const bool&) override { ++publishes; }
  void publishPose(const std::string&, const Eigen::Matrix4d&) override { ++publishes; }

  long publishes = 0;
};

}  // namespace brenvik::testing
