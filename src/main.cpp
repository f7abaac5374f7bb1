#include <signal.h>

#include <atomic>
#include <chrono>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "command_line.h"
#include "common/logger.h"
#include "controller_frame/interpolator.h"
#include "controller_frame/publish_robot_status_ros2.h"
#include "controller_frame/robot_cmd_ros_two_wrapper.h"
#include "robot_factory/brenvik_bot_v5.h"
#include "ros2/ros2.h"

namespace {

// Status topics the control loop publishes every period, in registration order.
struct StatusTopic {
  int id;
  const char* name;
};
constexpr StatusTopic kStatusTopics[] = {
    {brenvik::Interpolator::kActualJointState, "current_actual_joint"},
    {brenvik::Interpolator::kRefJointState, "current_reference_joint"},
    {brenvik::Interpolator::kEnableFlag, "enable_flag"},
    {brenvik::Interpolator::kDynamicTorqueEstimate, "dynamic_torque_estimate"},
    {brenvik::Interpolator::kIsCollision, "is_collision_flag"},
    {brenvik::Interpolator::kTcpPose, "tcp_pose"},
    {brenvik::Interpolator::kCollisionData, "collision_data"},
    {brenvik::Interpolator::kUnnormalFlag, "unnormal_flag"},
};

// Set by SIGINT / SIGTERM. The handler only stores: the main thread stops the arm and finishes
// the goals before ROS 2 shuts down (its own handler would shut ROS 2 down at once, leaving the
// goals without a result and the arm stopping abruptly).
std::atomic<bool> g_shutdown_signal{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

void onShutdownSignal(int) { g_shutdown_signal.store(true); }

void installShutdownSignals() {
  struct sigaction action {};
  action.sa_handler = &onShutdownSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// How often the main thread looks at the shut-down flag while it serves the command node.
constexpr std::chrono::milliseconds kSpinSlice{20};
// Time the goals get for their results after the arm has stopped.
constexpr std::chrono::seconds kShutdownGrace{1};

// The /rosout level of a console line.
ros2::LogLevel rosoutLevel(const brenvik::ConsoleLine& line) {
  if (line.kind != brenvik::ConsoleLineKind::kLeveled) return ros2::LogLevel::Info;
  switch (line.level) {
    case brenvik::RobotStatus::FATAL:
      return ros2::LogLevel::Fatal;
    case brenvik::RobotStatus::ERROR:
      return ros2::LogLevel::Error;
    case brenvik::RobotStatus::WARN:
      return ros2::LogLevel::Warn;
    default:
      return ros2::LogLevel::Info;
  }
}

}  // namespace

int main(int argc, char** argv) {
  using brenvik::Logger;

  std::cout << "start brenvik robot." << std::endl;
  const brenvik::CommandLine command_line = brenvik::splitCommandLine(argc, argv);
  const std::string robot_para_file = command_line.robotParaFile();
  if (robot_para_file.empty()) {
    std::cerr << "usage: " << argv[0]
              << " --robot-para-file <robot parameter file> [ROS 2 arguments]" << std::endl;
    return 1;
  }

  std::vector<const char*> ros_argv = {argv[0]};
  for (const std::string& arg : command_line.ros_args) {
    ros_argv.push_back(arg.c_str());
  }
  try {
    ros2::init(static_cast<int>(ros_argv.size()), ros_argv.data());
  } catch (const std::exception& e) {
    std::cerr << "Error: " << e.what() << std::endl;
    return 1;
  }

  std::cout << robot_para_file << std::endl;
  // Ends the process with exit status 1 when the file cannot be loaded.
  std::shared_ptr<brenvik::Robot> robot = std::make_shared<brenvik::BrenvikBotV5>(robot_para_file);
  Logger::instance()->display_level_ = 1;
  std::cout << "主线程threadid:" << std::this_thread::get_id() << std::endl;

  auto* interpolator = new brenvik::Interpolator(robot);
  auto status_node = std::make_shared<brenvik::PublishRobotStatusROS2>("public_robot_status_node");
  interpolator->setStatusPublisher(status_node);
  for (const StatusTopic& topic : kStatusTopics) {
    interpolator->addStatusTopic(topic.id, topic.name);
  }
  auto command_node = std::make_shared<brenvik::RobotCmdRosTwoWrapper>(
      interpolator,
      ros2::NodeOptions().parameter_overrides({{"robot_para_file", robot_para_file}}));

  // From here on the console lines of every thread are printed by the logger's console thread,
  // never by the control thread, and each one also goes to /rosout under the command node's name.
  Logger::instance()->setConsoleSink(
      [name = command_node->get_logger().get_name()](const brenvik::ConsoleLine& line) {
        std::string text = line.text;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        ros2::logging::post_to_rosout(
            name, rosoutLevel(line), text,
            ros2::LogLocation{line.file, "", static_cast<uint32_t>(line.line)});
      });
  Logger::instance()->startConsoleThread();
  std::thread control_thread(&brenvik::Interpolator::run, interpolator);

  installShutdownSignals();
  {
    // Both nodes are spun, so that each answers its parameter services.
    ros2::Executor executor;
    executor.add_node(command_node);
    executor.add_node(status_node);
    while (ros2::ok() && !g_shutdown_signal.load()) {
      executor.spin_once(kSpinSlice);
    }
    // Shut-down: a controlled stop of any motion; the node goes on serving until every goal has
    // its result, bounded by the longest stop plus a grace second.
    interpolator->requestShutdown();
    const auto deadline = std::chrono::steady_clock::now() + kShutdownGrace +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(interpolator->longestStopTime()));
    while (ros2::ok() && std::chrono::steady_clock::now() < deadline &&
           !(interpolator->shutdownComplete() && command_node->watchedCommandCount() == 0)) {
      executor.spin_once(kSpinSlice);
    }
    executor.remove_node(command_node);
    executor.remove_node(status_node);
  }

  // The command node lets go of the commands it holds, then ROS 2 and the loop end.
  command_node.reset();
  ros2::shutdown("user called rclcpp::shutdown()");
  interpolator->requestExit();
  control_thread.join();
  Logger::instance()->stopConsoleThread();
  delete interpolator;
  status_node.reset();
  robot.reset();
  return 0;
}
