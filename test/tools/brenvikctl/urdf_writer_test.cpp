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
  std::vector<double> zd, xa, alpha;
  for (size_t i = 0; i < 5; ++i) {
    arm.axes[i].qzero = qzero[i];
    zd.push_back(arm.axes[i].zd), xa.push_back(arm.axes[i].xa), alpha.push_back(arm.axes[i].alpha);
  }
  brenvik::BrenvikBotV3Kinematics kinematics;
  ASSERT_EQ(kinematics.setMdhPara(zd, xa, alpha, qzero), 0);
  std::ostringstream out;
  UrdfWriter::write(arm, "brenvik", out);
  const std::string urdf = out.str();
  std::vector<Eigen::Isometry3d> origins;
  for (size_t at = 0; (at = urdf.find("<joint name=\"joint", at + 1)) != std::string::npos;) {
    Eigen::Vector3d xyz, rpy;
    std::istringstream(urdf.substr(urdf.find("xyz=\"", urdf.find("<origin", at)) + 5)) >> xyz.x() >>
        xyz.y() >> xyz.z();
    std::istringstream(urdf.substr(urdf.find("rpy=\"", urdf.find("<origin", at)) + 5)) >> rpy.x() >>
        rpy.y() >> rpy.z();
    origins.push_back(Eigen::Translation3d(xyz) *
                      Eigen::AngleAxisd(rpy.z(), Eigen::Vector3d::UnitZ()) *
                      Eigen::AngleAxisd(rpy.y(), Eigen::Vector3d::UnitY()) *
                      Eigen::AngleAxisd(rpy.x(), Eigen::Vector3d::UnitX()));
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
  std::ofstream(::testing::TempDir() + "brenvik.urdf") << urdf;
  EXPECT_EQ(std::system(("check_urdf " + ::testing::TempDir() + "brenvik.urdf >/dev/null").c_str()),
            0);
}

}  // namespace
}  // namespace brenvikctl
