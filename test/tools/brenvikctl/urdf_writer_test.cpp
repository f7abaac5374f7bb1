#include "brenvikctl/urdf_writer.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <fstream>
#include <random>
#include <sstream>

#include "brenvikctl/exit_codes.h"
#include "robot_model/brenvik_bot_v3_kinematics.h"

namespace brenvikctl {
namespace {

// The origins of joint1..jointN in file order, as the URDF states them.
std::vector<Eigen::Isometry3d> jointOrigins(const std::string& urdf) {
  std::vector<Eigen::Isometry3d> origins;
  for (size_t at = urdf.find("<joint name=\"joint"); at != std::string::npos;
       at = urdf.find("<joint name=\"joint", at + 1)) {
    Eigen::Vector3d v[2];  // xyz, then rpy
    for (int i = 0; i < 2; ++i) {
      std::istringstream in(
          urdf.substr(urdf.find(i == 0 ? "xyz=\"" : "rpy=\"", urdf.find("<origin", at)) + 5));
      in >> v[i].x() >> v[i].y() >> v[i].z();
    }
    // URDF rpy: fixed axes x, y, z, so R = Rz(yaw) Ry(pitch) Rx(roll).
    origins.push_back(Eigen::Translation3d(v[0]) *
                      Eigen::AngleAxisd(v[1].z(), Eigen::Vector3d::UnitZ()) *
                      Eigen::AngleAxisd(v[1].y(), Eigen::Vector3d::UnitY()) *
                      Eigen::AngleAxisd(v[1].x(), Eigen::Vector3d::UnitX()));
  }
  return origins;
}

// The URDF's joint origins, read back from the XML and composed with the joint rotations, give
// the controller's forward kinematics, also for joint zero offsets of ±π/2 that put an rpy angle
// at its singular pitch; Debian's check_urdf accepts the file.
TEST(UrdfWriter, ComposedJointOriginsMatchTheForwardKinematics) {
  RobotDescription arm;
  std::string error;
  ASSERT_EQ(RobotDescription::read(BRENVIK_CONFIG_DIR "/brenvik_v5_sim.yaml", arm, error),
            exit_code::kOk)
      << error;
  std::mt19937 random(11);
  std::uniform_real_distribution<double> angle(-3.0, 3.0);
  std::ostringstream urdf;
  for (const std::vector<double>& qzero :
       {std::vector<double>(5, 0.0), std::vector<double>{0.3, -M_PI / 2, M_PI / 2, 2.5, -0.7}}) {
    std::vector<double> mdh[3];
    for (size_t i = 0; i < arm.axes.size(); ++i) {
      arm.axes[i].qzero = qzero[i];
      for (const auto& [list, value] :
           {std::pair{0, arm.axes[i].zd}, {1, arm.axes[i].xa}, {2, arm.axes[i].alpha}}) {
        mdh[list].push_back(value);
      }
    }
    brenvik::BrenvikBotV3Kinematics kinematics;
    ASSERT_EQ(kinematics.setMdhPara(mdh[0], mdh[1], mdh[2], qzero), 0);
    urdf.str("");
    UrdfWriter::write(arm, "brenvik", urdf);
    const std::vector<Eigen::Isometry3d> origins = jointOrigins(urdf.str());
    ASSERT_EQ(origins.size(), 5u) << urdf.str();
    for (int sample = 0; sample < 20; ++sample) {
      std::vector<double> q(5);
      Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
      for (size_t i = 0; i < 5; ++i) {
        q[i] = sample == 0 ? 0.0 : angle(random);
        pose = pose * origins[i] * Eigen::AngleAxisd(q[i], Eigen::Vector3d::UnitZ());
      }
      EXPECT_TRUE(pose.matrix().isApprox(kinematics.forwardKinematics(q), 1e-12)) << sample;
    }
  }
  const std::string path = ::testing::TempDir() + "brenvik.urdf";
  std::ofstream(path) << urdf.str();
  EXPECT_EQ(std::system(("check_urdf " + path + " > /dev/null").c_str()), 0);
}

}  // namespace
}  // namespace brenvikctl
