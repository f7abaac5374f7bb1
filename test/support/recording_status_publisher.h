#pragma once

#include <string>
#include <vector>

#include "controller_frame/publish_robot_status_interface.h"

namespace brenvik::testing {

// Records every create and publish call with its kind and topic, and the last published pose.
class RecordingStatusPublisher : public PublishRobotStatusInterface {
 public:
  struct Call {
    std::string kind;
    std::string topic;
    const void* source;
  };

  void createFloat64MultiArrayPublisher(const std::string& topic,
                                        const std::vector<double>* source) override {
    creates.push_back({"array", topic, source});
  }
  void createJointStatePublisher(const std::string& topic,
                                 const JointStateRecord* source) override {
    creates.push_back({"joint_state", topic, source});
  }
  void createBoolPublisher(const std::string& topic, const bool* source) override {
    creates.push_back({"bool", topic, source});
  }
  void createPosePublisher(const std::string& topic, const Eigen::Matrix4d* source) override {
    creates.push_back({"pose", topic, source});
  }
  void publishFloat64MultiArray(const std::string& topic,
                                const std::vector<double>& data) override {
    publishes.push_back({"array", topic, &data});
  }
  void publishJointState(const std::string& topic, const JointStateRecord& state) override {
    publishes.push_back({"joint_state", topic, &state});
  }
  void publishBool(const std::string& topic, const bool& flag) override {
    publishes.push_back({"bool", topic, &flag});
  }
  void publishPose(const std::string& topic, const Eigen::Matrix4d& pose) override {
    publishes.push_back({"pose", topic, &pose});
    last_pose = pose;
  }

  std::vector<Call> creates;
  std::vector<Call> publishes;
  Eigen::Matrix4d last_pose = Eigen::Matrix4d::Zero();
};

}  // namespace brenvik::testing
