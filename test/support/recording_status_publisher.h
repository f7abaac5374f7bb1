#pragma once

#include <string>
#include <vector>

#include "controller_frame/publish_robot_status_interface.h"

namespace brenvik::testing {

// Records every create and publish call with its kind and topic, and the last published pose.
class RecordingStatusPublisher : public PublishRobotStatusInterface {
 public:
  struct Call {
    std::string kind, topic;
    const void* source;
  };
  using S = const std::string&;
  void createFloat64MultiArrayPublisher(S t, const std::vector<double>* s) override {
    creates.push_back({"array", t, s});
  }
  void createJointStatePublisher(S t, const JointStateRecord* s) override {
    creates.push_back({"joint_state", t, s});
  }
  void createBoolPublisher(S t, const bool* s) override { creates.push_back({"bool", t, s}); }
  void createPosePublisher(S t, const Eigen::Matrix4d* s) override {
    creates.push_back({"pose", t, s});
  }
  void publishFloat64MultiArray(S t, const std::vector<double>& d) override {
    publishes.push_back({"array", t, &d});
  }
  void publishJointState(S t, const JointStateRecord& s) override {
    publishes.push_back({"joint_state", t, &s});
  }
  void publishBool(S t, const bool& flag) override { publishes.push_back({"bool", t, &flag}); }
  void publishPose(S t, const Eigen::Matrix4d& pose) override {
    publishes.push_back({"pose", t, &pose});
    last_pose = pose;
  }

  std::vector<Call> creates, publishes;
  Eigen::Matrix4d last_pose = Eigen::Matrix4d::Zero();
};

}  // namespace brenvik::testing
