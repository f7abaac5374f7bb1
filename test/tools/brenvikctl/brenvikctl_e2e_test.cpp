#include <gtest/gtest.h>

#include <fstream>

#include "support/child_process.h"
#include "support/ros2_test_env.h"

namespace {

using namespace std::chrono_literals;
using test_support::ChildProcess;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr auto kDeadline = 60000ms;
constexpr const char* kPatience = "20";  // s, --timeout of brenvikctl against a slowed controller
#else
constexpr auto kDeadline = 20000ms;
constexpr const char* kPatience = "10";
#endif

// brenvikctl against brenvik_robot on the simulated arm in /arm1, on a private loopback domain.
class BrenvikctlOverDds : public ::testing::Test {
 protected:
  void SetUp() override { ros2_test::use_private_loopback_domain(); }
  std::unique_ptr<ChildProcess> start(std::vector<std::string> args, bool patient = true) {
    args.insert(args.begin(), BRENVIKCTL_EXECUTABLE);
    if (patient) args.insert(args.end(), {"--timeout", kPatience});
    args.insert(args.end(), {"--ros-args", "-r", "__ns:=/arm1"});
    return std::make_unique<ChildProcess>(args);
  }

  // Runs brenvikctl to its end; expects its exit status and a text in its output.
  std::string run(const std::vector<std::string>& args, int status, const std::string& text,
                  bool patient = true) {
    auto ctl = start(args, patient);
    EXPECT_EQ(ctl->waitForExit(kDeadline), status) << args[0] << ": " << ctl->output();
    EXPECT_TRUE(ctl->printed(text)) << args[0] << ": " << ctl->output();
    return ctl->output();
  }

  std::string file(const std::string& name, const std::string& content) {
    std::ofstream(dir_ + name) << content;
    return dir_ + name;
  }
  bool until(const std::function<bool()>& done) { return ros2_test::wait_until(done, kDeadline); }

  std::string dir_ = ::testing::TempDir() + "brenvikctl_e2e_" + std::to_string(getpid()) + "_";
  std::unique_ptr<ChildProcess> robot_;
};

TEST_F(BrenvikctlOverDds, EverySubcommandDrivesTheSimulatedArm) {
  const std::string domain = getenv("ROS_DOMAIN_ID");
  run({"status"}, 3, "no controller found on ROS domain " + domain + ", namespace /arm1 within 2 s",
      false);

  robot_ = std::make_unique<ChildProcess>(std::vector<std::string>{
      BRENVIK_ROBOT_EXECUTABLE, "--robot-para-file", BRENVIK_CONFIG_DIR "/brenvik_v5_sim.yaml",
      "--ros-args", "-r", "__ns:=/arm1"});
  ASSERT_TRUE(until([&] { return start({"status"})->waitForExit(kDeadline) == 0; }));
  const std::string status = run({"status"}, 0, "drives: disabled   error: no   collision: no");
  EXPECT_NE(status.find("joint5    0.0000     0.00   0.0000     0.00   0.0000     0.00    0.0000"
                        "     0.000         -\n\ntool pose: x 0.4600  y 0.0000  z 0.2100 m"),
            std::string::npos)
      << status;

  run({"enable"}, 0, "drives enabled");
  // Stopped once on its way (a stop before the move began would end it unmoved).
  const auto read_commands = [&] {
    const std::string out = robot_->output();
    size_t n = 0;
    for (size_t at = 0; (at = out.find("read new command", at)) != std::string::npos; ++at) ++n;
    return n;
  };
  const size_t commands_before = read_commands();
  auto stopped = start({"movj", "1.2", "0.5", "0.5", "0.5", "0.5", "--vel", "0.2", "--wait"});
  ASSERT_TRUE(until([&] { return stopped->printed("movj sent"); }));
  ASSERT_TRUE(until([&] { return read_commands() > commands_before; }));
  run({"stop"}, 0, "stop sent");
  EXPECT_EQ(stopped->waitForExit(kDeadline), 1) << stopped->output();
  EXPECT_TRUE(stopped->printed("stopped at [")) << stopped->output();
  // Every other command, in turn, with its exit status and what it prints.
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string said;
  };
  for (const Row& row : std::vector<Row>{
           {{"recover"}, 0, "recovered: error flag clear"},
           {{"movj", "--deg", "11.4591559", "5.7295780", "5.7295780", "5.7295780", "5.7295780",
             "--vel", "1", "--wait"},
            0,
            "reached: [0.2000 0.1000 0.1000 0.1000 0.1000] rad"},
           {{"movs", "--wait",
             file("spline.txt",
                  "# t q1..q5\n0, 0.2, 0.1, 0.1, 0.1, 0.1\n0.6, 0.25, 0.1, 0.0, 0.1, 0.1\n"
                  "1.2, 0.3, 0.15, -0.1, 0.1, 0.1\n1.8, 0.3, 0.2, -0.2, 0.1, 0.1\n")},
            0,
            "reached: [0.3000 0.2000 -0.2000 0.1000 0.1000] rad"},
           {{"trajectory", file("goal.txt",
                                "0 0.3 0.2 -0.2 0.1 0.1\n0.4 0.3 0.15 -0.15 0.1 0.1\n"
                                "0.8 0.3 0.1 -0.1 0.1 0.1\n1.2 0.3 0.1 -0.1 0.0 0.0\n")},
            0,
            "] 100%  1.2 / 1.2 s\nsucceeded (error_code 0)"},
           {{"movj", "0", "3", "0", "0", "0", "--wait"},
            1,
            "refused: the controller did not start the move"},
           {{"io", "1", "5"}, 0, "io sent: device 1, command 5"},
           {{"collision", "on"}, 0, "collision on sent"},
           {{"sensitivity", "0"}, 0, "sensitivity sent"},
           {{"collision", "off"}, 0, "collision off sent"},
           {{"drag", "on"}, 0, "drag on sent"},
           {{"drag", "off"}, 0, "drag off sent"},
           {{"home"}, 0, "set home sent"},
           {{"pose", "0.3", "0", "0.2", "0", "0", "0", "1"}, 0, "pose sent"},
           {{"disable"}, 0, "drives disabled"}}) {
    run(row.args, row.status, row.said);
  }
  // What the controller says of the switches and devices.
  for (const char* text : {"ctrl_io id:1,io_cmd: 5", "I get collision_enable command: 0",
                           "I get drag teaching_enable command: 0",
                           "I should setHome: 'brenvikctl'", "transform_matrix:"}) {
    EXPECT_TRUE(until([&] { return robot_->printed(text); })) << text;
  }
  robot_->signal(SIGINT);
  EXPECT_EQ(robot_->waitForExit(kDeadline), 0) << robot_->output();
}

}  // namespace
