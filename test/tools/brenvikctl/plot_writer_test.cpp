#include "brenvikctl/plot_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "brenvikctl/csv_recorder.h"
#include "brenvikctl/exit_codes.h"

namespace brenvikctl {
namespace {

std::string contentOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A recording written by CsvRecorder becomes a PNG.
TEST(PlotWriter, WritesAPngOfARecording) {
  const std::string csv = ::testing::TempDir() + "brenvik recording's.csv";
  CsvRecorder recorder;
  std::string error;
  ASSERT_EQ(recorder.open(csv, 2, error), exit_code::kOk) << error;
  StatusSnapshot s;
  s.counts.fill(1);
  s.actual.header.stamp.sec = 1700000000;
  for (int k = 0; k < 100; ++k) {
    const double t = k * 0.005;
    s.actual.header.stamp.nanosec = static_cast<uint32_t>(k * 5000000);
    s.reference.position = {std::sin(t), 0.5 * t};
    s.actual.velocity = s.reference.velocity = {std::cos(t), 0.5};
    s.actual.position = {std::sin(t - 0.01), 0.5 * t - 0.005};
    recorder.write(s);
  }
  ASSERT_EQ(recorder.close(error), exit_code::kOk) << error;
  EXPECT_DOUBLE_EQ(recorder.duration(), 0.495);
  const std::string text = contentOf(csv);  // the header and the first row
  EXPECT_EQ(
      text.substr(0, text.find('\n', text.find('\n') + 1)),
      "time_s,enabled,unnormal,collision,ref_pos_1,ref_pos_2,act_pos_1,act_pos_2,ref_vel_1,"
      "ref_vel_2,act_vel_1,act_vel_2,act_effort_1,act_effort_2,torque_est_1,torque_est_2,tcp_x,"
      "tcp_y,tcp_z,tcp_qx,tcp_qy,tcp_qz,tcp_qw\n0.000000,0,0,0,0,0,-0.00999983333,-0.005,1,0.5,"
      "1,0.5,,,,,0,0,0,0,0,0,1");
  const std::string png = PlotWriter::defaultOutput(csv);
  EXPECT_EQ(png, ::testing::TempDir() + "brenvik recording's.png");
  ASSERT_EQ(PlotWriter::plot(csv, png, error), exit_code::kOk) << error;
  // Signature, then the IHDR chunk of 13 bytes: 1200 x 900.
  EXPECT_EQ(contentOf(png).substr(0, 24),
            std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x04\xb0\0\0\x03\x84", 24));
}

}  // namespace
}  // namespace brenvikctl
