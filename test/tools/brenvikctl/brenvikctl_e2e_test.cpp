#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/ros2_test_env.h"

namespace {

using test_support::ChildProcess;

constexpr std::chrono::seconds kDeadline{60};  // room for a controller slowed by a sanitizer

std::unique_ptr<ChildProcess> start(const std::string& line) {
  std::vector<std::string> args{BRENVIKCTL_EXECUTABLE};
  std::istringstream words(line + " --timeout 20 --ros-args -r __ns:=/arm1");
  for (std::string w; words >> w;) args.push_back(w);
  return std::make_unique<ChildProcess>(args);
}

void run(const std::string& line, int status, const std::vector<std::string>& texts) {
  auto ctl = start(line);
  EXPECT_EQ(ctl->waitForExit(kDeadline), status) << line << ": " << ctl->output();
  for (const std::string& text : texts)
    EXPECT_TRUE(ctl->printed(text)) << line << ": " << ctl->output();
}

bool until(const std::function<bool()>& done) { return ros2_test::wait_until(done, kDeadline); }

TEST(BrenvikctlOverDds, EverySubcommandDrivesTheSimulatedArm) {
  ros2_test::use_private_loopback_domain();
  ChildProcess alone({BRENVIKCTL_EXECUTABLE, "status", "--ros-args", "-r", "__ns:=/arm1"});
  EXPECT_EQ(alone.waitForExit(kDeadline), 3);  // the default --timeout of 2 s
  EXPECT_TRUE(alone.printed("no controller found on ROS domain " +
                            std::string(getenv("ROS_DOMAIN_ID")) + ", namespace /arm1 within 2 s"))
      << alone.output();
  ChildProcess robot({BRENVIK_ROBOT_EXECUTABLE, "--robot-para-file",
                      BRENVIK_CONFIG_DIR "/brenvik_v5_sim.yaml", "--ros-args", "-r",
                      "__ns:=/arm1"});
  ASSERT_TRUE(until([&] { return start("status")->waitForExit(kDeadline) == 0; }));
  run("status", 0,
      {"drives: disabled   error: no   collision: no",
       "joint5    0.0000     0.00   0.0000     0.00   0.0000     0.00    0.0000     0.000"
       "         -\n\ntool pose: x 0.4600  y 0.0000  z 0.2100 m"});
  run("enable", 0, {"drives enabled"});
  // Stopped once on its way, after the controller read it (a stop before would end it unmoved).
  const size_t seen = robot.output().size();
  auto stopped = start("movj 1.2 0.5 0.5 0.5 0.5 --vel 0.2 --wait");
  ASSERT_TRUE(
      until([&] { return robot.output().find("read new command", seen) != std::string::npos; }));
  run("stop", 0, {"stop sent"});
  EXPECT_EQ(stopped->waitForExit(kDeadline), 1) << stopped->output();
  EXPECT_TRUE(stopped->printed("stopped at [")) << stopped->output();
  for (const auto& row : std::vector<std::pair<std::string, std::string>>{
           {"recover", "recovered: error flag clear"},
           {"movj --deg 11.4591559 5.7295780 5.7295780 5.7295780 5.7295780 --vel 1 --wait",
            "reached: [0.2000 0.1000 0.1000 0.1000 0.1000] rad"},
           {"movs --wait test/data/brenvikctl_spline.txt",
            "reached: [0.3000 0.2000 -0.2000 0.1000 0.1000] rad"},
           {"trajectory test/data/brenvikctl_goal.txt",
            "] 100%  1.2 / 1.2 s\nsucceeded (error_code 0)"},
           {"movj 0 3 0 0 0 --wait", "refused: the controller did not start the move"},
           {"io 1 5", "io sent: device 1, command 5"},
           {"collision on", "collision on sent"},
           {"sensitivity 0", "sensitivity sent"},
           {"collision off", "collision off sent"},
           {"drag on", "drag on sent"},
           {"drag off", "drag off sent"},
           {"home", "set home sent"},
           {"pose 0.3 0 0.2 0 0 0 1", "pose sent"},
           {"disable", "drives disabled"}}) {
    run(row.first, row.second.rfind("refused", 0) == 0 ? 1 : 0, {row.second});
  }
  for (const char* text : {"ctrl_io id:1,io_cmd: 5", "I get collision_enable command: 0",
                           "I get drag teaching_enable command: 0",
                           "I should setHome: 'brenvikctl'", "transform_matrix:"}) {
    EXPECT_TRUE(until([&] { return robot.printed(text); })) << text;
  }
}

}  // namespace
