#include "brenvikctl/plot_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "brenvikctl/csv_recorder.h"
#include "brenvikctl/exit_codes.h"

namespace brenvikctl {
namespace {

// A recording written by CsvRecorder becomes a PNG.
TEST(PlotWriter, WritesAPngOfARecording) {
  const std::string csv = ::testing::TempDir() + "brenvik recording's.csv";
  CsvRecorder recorder;
  std::string error;
  ASSERT_EQ(recorder.open(csv, 2, error), exit_code::kOk) << error;
  StatusSnapshot s;
  s.counts.fill(1);
  for (int k = 0; k < 100; ++k) {
    const double t = k * 0.005;
    s.actual.header.stamp.sec = 1700000000;
    s.actual.header.stamp.nanosec = static_cast<uint32_t>(k * 5000000);
    s.reference.position = {std::sin(t), 0.5 * t};
    s.reference.velocity = {std::cos(t), 0.5};
    s.actual.position = {std::sin(t - 0.01), 0.5 * t - 0.005};
    s.actual.velocity = s.reference.velocity;
    recorder.write(s);
  }
  ASSERT_EQ(recorder.close(error), exit_code::kOk) << error;
  EXPECT_DOUBLE_EQ(recorder.duration(), 0.495);
  std::ifstream text(csv);
  const std::string head((std::istreambuf_iterator<char>(text)), std::istreambuf_iterator<char>());
  EXPECT_EQ(head.find("time_s,enabled,unnormal,collision,ref_pos_1,ref_pos_2,act_pos_1"), 0u);
  EXPECT_NE(head.find("\n0.000000,0,0,0,0,0,-0."), std::string::npos);

  const std::string png = PlotWriter::defaultOutput(csv);
  EXPECT_EQ(png, ::testing::TempDir() + "brenvik recording's.png");
  ASSERT_EQ(PlotWriter::plot(csv, png, error), exit_code::kOk) << error;
  std::ifstream in(png, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Signature, then the IHDR chunk of 13 bytes: 1200 x 900.
  EXPECT_EQ(bytes.substr(0, 24),
            std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x04\xb0\0\0\x03\x84", 24));
}

}  // namespace
}  // namespace brenvikctl
