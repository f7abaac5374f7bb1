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
  using V = std::vector<double>;
  void createFloat64MultiArrayPublisher(S t, const V* s) override { create("array", t, s); }
  void createJointStatePublisher(S t, const JointStateRecord* s) override {
    create("joint_state", t, s);
  }
  void createBoolPublisher(S t, const bool* s) override { create("bool", t, s); }
  void createPosePublisher(S t, const Eigen::Matrix4d* s) override { create("pose", t, s); }
  void publishFloat64MultiArray(S t, const V& d) override { publish("array", t, &d); }
  void publishJointState(S t, const JointStateRecord& s) override { publish("joint_state", t, &s); }
  void publishBool(S t, const bool& flag) override { publish("bool", t, &flag); }
  void publishPose(S t, const Eigen::Matrix4d& pose) override {
    publish("pose", t, &pose);
    last_pose = pose;
  }

  std::vector<Call> creates, publishes;
  Eigen::Matrix4d last_pose = Eigen::Matrix4d::Zero();

 private:
  void create(const char* kind, S t, const void* s) { creates.push_back({kind, t, s}); }
  void publish(const char* kind, S t, const void* s) { publishes.push_back({kind, t, s}); }
};

}  // namespace brenvik::testing
