#include "brenvikctl/urdf_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

namespace brenvikctl {
namespace {

// The simulated arm with joint offsets that give an rpy's singular pitch (±π/2) is written as
// test/data/brenvikctl_offsets.urdf (its joint origins composed with the joint rotations give the
// forward kinematics), numbers to 1e-12; check_urdf accepts it.
TEST(UrdfWriter, WritesTheUrdfOfTheArm) {
  RobotDescription arm;
  std::string error;
  ASSERT_EQ(RobotDescription::read(BRENVIK_CONFIG_DIR "/brenvik_v5_sim.yaml", arm, error), 0);
  const double qzero[] = {0.3, -M_PI / 2, M_PI / 2, 2.5, -0.7};
  for (size_t i = 0; i < 5; ++i) arm.axes[i].qzero = qzero[i];
  std::ostringstream out;
  UrdfWriter::write(arm, "brenvik", out);
  std::ifstream in("test/data/brenvikctl_offsets.urdf");
  const std::string urdf = out.str(), golden{std::istreambuf_iterator<char>(in), {}};
  const std::regex number(R"(-?\d+(\.\d+)?(e[-+]?\d+)?)");
  EXPECT_EQ(std::regex_replace(urdf, number, "#"), std::regex_replace(golden, number, "#"));
  const auto numbers = [&](const std::string& text) {
    std::vector<double> values;
    for (std::sregex_iterator m(text.begin(), text.end(), number), end; m != end; ++m) {
      values.push_back(std::stod(m->str()));
    }
    return values;
  };
  const std::vector<double> got = numbers(urdf), want = numbers(golden);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-12) << i;
  std::ofstream(::testing::TempDir() + "brenvik.urdf") << urdf;
  EXPECT_EQ(std::system(("check_urdf " + ::testing::TempDir() + "brenvik.urdf >/dev/null").c_str()),
            0);
}

}  // namespace
}  // namespace brenvikctl
