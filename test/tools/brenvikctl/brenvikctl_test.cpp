#include "brenvikctl/brenvikctl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "brenvikctl/cli_arguments.h"
#include "brenvikctl/csv_recorder.h"
#include "brenvikctl/exit_codes.h"
#include "brenvikctl/move_outcome_judge.h"
#include "brenvikctl/number_text.h"
#include "brenvikctl/plot_writer.h"
#include "brenvikctl/urdf_writer.h"
#include "support/table_fields.h"

namespace brenvikctl {
namespace {

std::string contentOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Brenvikctl, RefusesEveryLineOfTheErrorTable) {
  const std::string file = ::testing::TempDir() + "brenvikctl_test_input";
  std::ifstream table("test/data/brenvikctl_errors.txt");
  int rows = 0;  // a table never read would pass every row unchecked
  for (std::string line; std::getline(table, line);) {
    const std::vector<std::string> f = brenvik::test::tableFields(line);
    if (f.size() != 4 || (f[2] != "usage" && f[2] != "file")) continue;
    ++rows;
    SCOPED_TRACE(line);
    std::string content = f[1];
    for (size_t at; (at = content.find("\\n")) != std::string::npos;) content.replace(at, 2, "\n");
    if (content != "-") std::ofstream(file) << content;
    std::istringstream words(f[0]);
    std::vector<std::string> args{"brenvikctl"};
    for (std::string w; words >> w;) args.push_back(w == "FILE" ? file : w);
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    std::ostringstream out, err;
    EXPECT_EQ(Brenvikctl::run(static_cast<int>(argv.size()), argv.data(), out, err),
              f[2] == "file" ? exit_code::kFile : exit_code::kUsage);
    EXPECT_NE(err.str().find(f[3]), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
  }
  EXPECT_EQ(rows, 33);
}

TEST(CliArguments, TakesNegativeValuesDegreesOptionsAnywhereAndRosArguments) {
  const char* argv[] = {"brenvikctl", "--wait",     "movj", "--deg",       "-90", "45",     "--acc",
                        "0.2",        "--ros-args", "-r",   "__ns:=/arm1", "--",  "--block"};
  Invocation inv;
  std::string error;
  ASSERT_EQ(CliArguments::parse(13, argv, inv, error), exit_code::kOk) << error;
  EXPECT_EQ(inv.values, (std::vector<double>{-kPi / 2, kPi / 4}));
  EXPECT_TRUE(inv.command == Command::kMovj && !inv.velocity && inv.acceleration == 0.2 &&
              inv.wait && inv.block);
  EXPECT_EQ(inv.ros_argv,
            (std::vector<std::string>{"brenvikctl", "--ros-args", "-r", "__ns:=/arm1", "--"}));
}

constexpr double kPeriod = 0.005, kGoal = 1.0, kTolerance = 0.01;

double ramp(double t, double t0, double t1, double q0, double q1) {
  const double s = std::clamp((t - t0) / (t1 - t0), 0.0, 1.0);
  return q0 + (q1 - q0) * s * s * (3.0 - 2.0 * s);
}

using Profile = std::function<double(double)>;
const Profile kZero = [](double) { return 0.0; }, kOne = [](double) { return 1.0; };  // 1: kGoal
const Profile kToGoal = [](double t) { return ramp(t, 1.02, 2.0, 0.0, kGoal); };
const Profile kElsewhere = [](double t) { return ramp(t, 0.5, 1.6, 0.0, 0.5); };

using M = MoveOutcome;

// The verdict of --wait over a 200 Hz status stream, the command sent at t = 1 s: joint 1's
// reference, the error flag (> 0: raised), a drive lagging 40 ms or stuck; decided in [from, by].
struct Scenario {
  const char* name;
  Profile reference, unnormal;
  MoveOutcome expected;
  double from, by, first_sample = 0.0;  // s
  bool stuck = false;
};

TEST(MoveOutcomeJudge, DecidesEachScenarioInItsWindow) {
  const Scenario scenarios[] = {
      {"GoalWhereTheArmRests", kOne, kZero, M::kReached, 1.0, 1.01},
      {"MoveToTheGoal", kToGoal, kZero, M::kReached, 2.05, 2.3},
      {"StoppedHalfway",  // heading for 2, decelerates at 1.5 s and rests short of the goal
       [](double t) { return ramp(std::min(t, 1.5), 1.02, 2.0, 0, 2) + ramp(t, 1.5, 1.7, 0, 0.1); },
       kZero, M::kStopped, 3.19, 3.22},
      {"NeverStarted", kZero, kZero, M::kRefused, 2.49, 2.52},
      {"QueuedBehindAMoveThatEndsElsewhere",
       [](double t) { return t < 1.6 ? kElsewhere(t) : ramp(t, 2.1, 3.0, 0.5, kGoal); }, kZero,
       M::kReached, 3.05, 3.3},
      {"RefusedBehindAMoveThatEndsElsewhere", kElsewhere, kZero, M::kRefused, 3.09, 3.12},
      {"ErrorWithoutMotion", kZero, [](double t) { return t - 1.2; }, M::kRefused, 1.2, 1.21},
      {"ErrorAtSendDecidesOnlyLater", kZero, kOne, M::kRefused, 2.49, 2.52},
      {"DriveDoesNotFollow", kToGoal, kZero, M::kStopped, 3.49, 3.52, 0.0, true},
      {"NoSampleBeforeTheCommand", kOne, kZero, M::kReached, 1.05, 1.06, 1.0},
      {"NeverRests", [](double t) { return std::sin(t); }, kZero, M::kTimedOut, 60.99, 61.01}};
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    MoveOutcomeJudge judge;
    MoveOutcome outcome = M::kPending;
    double actual = s.reference(0.0), t = 0.0;
    for (int k = 0; outcome == M::kPending && k * kPeriod < 70.0; ++k) {
      t = k * kPeriod;
      if (!judge.sent() && t >= 1.0) judge.commandSent();
      if (t < s.first_sample) continue;
      std::vector<double> reference{s.reference(t), 0.0};
      if (!s.stuck) actual += (reference[0] - actual) * kPeriod / 0.04;
      outcome = judge.update({1.7e9 + t,  // wall-clock stamps
                              &reference, std::fabs(reference[0] - kGoal) <= kTolerance,
                              std::fabs(actual - kGoal) <= kTolerance, s.unnormal(t) > 0});
    }
    EXPECT_EQ(outcome, s.expected) << moveOutcomeName(outcome);
    EXPECT_TRUE(t >= s.from - 1e-9 && t <= s.by + 1e-9) << t;
  }
}

// Joint offsets giving an rpy's singular pitch (±π/2); the golden file passes check_urdf.
TEST(UrdfWriter, WritesTheUrdfOfTheArm) {
  RobotDescription arm;
  std::string error;
  ASSERT_EQ(RobotDescription::read(BRENVIK_CONFIG_DIR "/brenvik_v5_sim.yaml", arm, error), 0);
  const double qzero[] = {0.3, -M_PI / 2, M_PI / 2, 2.5, -0.7};
  for (size_t i = 0; i < 5; ++i) arm.axes[i].qzero = qzero[i];
  std::ostringstream out;
  UrdfWriter::write(arm, "brenvik", out);
  EXPECT_EQ(out.str(), contentOf("test/data/brenvikctl_offsets.urdf"));
  EXPECT_EQ(std::system("check_urdf test/data/brenvikctl_offsets.urdf >/dev/null"), 0);
}

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
  EXPECT_EQ(contentOf(csv), contentOf("test/data/brenvikctl_recording.csv"));
  const std::string png = PlotWriter::defaultOutput(csv);
  EXPECT_EQ(png, ::testing::TempDir() + "brenvik recording's.png");
  ASSERT_EQ(PlotWriter::plot(csv, png, error), exit_code::kOk) << error;
  // Signature, then the IHDR chunk of 13 bytes: 1200 x 900.
  EXPECT_EQ(contentOf(png).substr(0, 24),
            std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x04\xb0\0\0\x03\x84", 24));
}

}  // namespace
}  // namespace brenvikctl
