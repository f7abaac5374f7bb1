#include "brenvikctl/urdf_writer.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <fstream>
#include <random>
#include <sstream>

#include "robot_model/brenvik_bot_v3_kinematics.h"

namespace brenvikctl {
namespace {

// The URDF's joint origins (rpy: fixed axes x, y, z) composed with the joint rotations give the
// forward kinematics, also at an rpy's singular pitch (offsets ±π/2); check_urdf accepts it.
TEST(UrdfWriter, ComposedJointOriginsMatchTheForwardKinematics) {
  RobotDescription arm;
  std::string error;
  ASSERT_EQ(RobotDescription::read(BRENVIK_CONFIG_DIR "/brenvik_v5_sim.yaml", arm, error), 0);
  const std::vector<double> qzero = {0.3, -M_PI / 2, M_PI / 2, 2.5, -0.7};
  std::vector<double> mdh[3];
  for (size_t i = 0; i < 5; ++i) {
    arm.axes[i].qzero = qzero[i];
    for (int k = 0; k < 3; ++k)
      mdh[k].push_back(std::vector{arm.axes[i].zd, arm.axes[i].xa, arm.axes[i].alpha}[k]);
  }
  brenvik::BrenvikBotV3Kinematics kinematics;
  ASSERT_EQ(kinematics.setMdhPara(mdh[0], mdh[1], mdh[2], qzero), 0);
  std::ostringstream out;
  UrdfWriter::write(arm, "brenvik", out);
  const std::string urdf = out.str();
  std::vector<Eigen::Isometry3d> origins;
  for (size_t at = 0; (at = urdf.find("<joint name=\"joint", at + 1)) != std::string::npos;) {
    Eigen::Vector3d v[2];
    for (int i = 0; i < 2; ++i) {
      std::istringstream(
          urdf.substr(urdf.find(i == 0 ? "xyz=\"" : "rpy=\"", urdf.find("<origin", at)) + 5)) >>
          v[i].x() >> v[i].y() >> v[i].z();
    }
    origins.push_back(Eigen::Translation3d(v[0]) *
                      Eigen::AngleAxisd(v[1].z(), Eigen::Vector3d::UnitZ()) *
                      Eigen::AngleAxisd(v[1].y(), Eigen::Vector3d::UnitY()) *
                      Eigen::AngleAxisd(v[1].x(), Eigen::Vector3d::UnitX()));
  }
  ASSERT_EQ(origins.size(), 5u) << urdf;
  std::mt19937 random(11);
  std::uniform_real_distribution<double> angle(-3.0, 3.0);
  for (int sample = 0; sample < 20; ++sample) {
    std::vector<double> q(5);
    Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
    for (size_t i = 0; i < 5; ++i) {
      q[i] = sample == 0 ? 0.0 : angle(random);
      pose = pose * origins[i] * Eigen::AngleAxisd(q[i], Eigen::Vector3d::UnitZ());
    }
    EXPECT_TRUE(pose.matrix().isApprox(kinematics.forwardKinematics(q), 1e-12)) << sample;
  }
  const std::string path = ::testing::TempDir() + "brenvik.urdf";
  std::ofstream(path) << urdf;
  EXPECT_EQ(std::system(("check_urdf " + path + " > /dev/null").c_str()), 0);
}

}  // namespace
}  // namespace brenvikctl
