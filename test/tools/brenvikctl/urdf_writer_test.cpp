// The URDF's joint origins, read back from the XML and composed with the joint rotations, give
// the controller's forward kinematics; Debian's check_urdf accepts the file.

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
  // Three numbers after the attribute name at or after from.
  auto numbers = [&](const std::string& attribute, size_t from) {
    std::istringstream in(urdf.substr(urdf.find(attribute + "=\"", from) + attribute.size() + 2));
    Eigen::Vector3d v;
    in >> v.x() >> v.y() >> v.z();
    return v;
  };
  for (size_t at = urdf.find("<joint name=\"joint"); at != std::string::npos;
       at = urdf.find("<joint name=\"joint", at + 1)) {
    const size_t origin = urdf.find("<origin", at);
    const Eigen::Vector3d xyz = numbers("xyz", origin);
    const Eigen::Vector3d rpy = numbers("rpy", origin);
    Eigen::Isometry3d t = Eigen::Isometry3d::Identity();
    t.translate(xyz);
    // URDF rpy: fixed axes x, y, z, so R = Rz(yaw) Ry(pitch) Rx(roll).
    t.rotate(Eigen::AngleAxisd(rpy.z(), Eigen::Vector3d::UnitZ()) *
             Eigen::AngleAxisd(rpy.y(), Eigen::Vector3d::UnitY()) *
             Eigen::AngleAxisd(rpy.x(), Eigen::Vector3d::UnitX()));
    origins.push_back(t);
  }
  return origins;
}

TEST(UrdfWriter, ComposedJointOriginsMatchTheForwardKinematics) {
  RobotDescription arm;
  std::string error;
  ASSERT_EQ(RobotDescription::read(BRENVIK_CONFIG_DIR "/brenvik_v5_sim.yaml", arm, error),
            exit_code::kOk)
      << error;
  // Joint zero offsets, among them the ±pi/2 that put an rpy angle at its singular pitch.
  const std::vector<std::vector<double>> qzeros = {
      {0, 0, 0, 0, 0}, {0.3, -1.5707963267948966, 1.5707963267948966, 2.5, -0.7}};
  std::mt19937 random(11);
  std::ostringstream urdf;
  std::uniform_real_distribution<double> angle(-3.0, 3.0);
  for (const std::vector<double>& qzero : qzeros) {
    std::vector<double> zds, xas, alphas;
    for (size_t i = 0; i < arm.axes.size(); ++i) {
      arm.axes[i].qzero = qzero[i];
      zds.push_back(arm.axes[i].zd);
      xas.push_back(arm.axes[i].xa);
      alphas.push_back(arm.axes[i].alpha);
    }
    brenvik::BrenvikBotV3Kinematics kinematics;
    ASSERT_EQ(kinematics.setMdhPara(zds, xas, alphas, qzero), 0);
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
      EXPECT_TRUE(pose.matrix().isApprox(kinematics.forwardKinematics(q), 1e-12))
          << "q sample " << sample << "\n"
          << pose.matrix();
    }
  }
  const std::string path = ::testing::TempDir() + "brenvik.urdf";
  std::ofstream(path) << urdf.str();
  EXPECT_EQ(std::system(("check_urdf " + path + " > /dev/null").c_str()), 0);
}

}  // namespace
}  // namespace brenvikctl
