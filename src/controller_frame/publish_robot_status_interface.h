#pragma once

#include <Eigen/Dense>
#include <string>
#include <vector>

#include "controller_frame/joint_state_record.h"

namespace brenvik {

// Where the control loop's status leaves the motion core. The create operations are called on the
// main thread at start-up (Interpolator::addStatusTopic) before the control thread runs; the
// publish operations only from the control thread, every period, once per registered topic.
// The source pointers of the create operations name the interpolator member that will be
// published on the topic. Publish operations run inside the 5 ms period: they must not block.
class PublishRobotStatusInterface {
 public:
  virtual ~PublishRobotStatusInterface() = default;

  virtual void createFloat64MultiArrayPublisher(const std::string& topic,
                                                const std::vector<double>* source) = 0;
  virtual void createJointStatePublisher(const std::string& topic,
                                         const JointStateRecord* source) = 0;
  virtual void createBoolPublisher(const std::string& topic, const bool* source) = 0;
  // source: 4 x 4 homogeneous transform (rotation block, translation column).
  virtual void createPosePublisher(const std::string& topic, const Eigen::Matrix4d* source) = 0;
  virtual void publishFloat64MultiArray(const std::string& topic,
                                        const std::vector<double>& data) = 0;
  virtual void publishJointState(const std::string& topic, const JointStateRecord& state) = 0;
  virtual void publishBool(const std::string& topic, const bool& flag) = 0;
  virtual void publishPose(const std::string& topic, const Eigen::Matrix4d& pose) = 0;
};

}  // namespace brenvik
