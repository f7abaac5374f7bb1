#include <iostream>
#include <memory>
#include <thread>

#include "command_line.h"
#include "common/logger.h"
#include "robot_factory/brenvik_bot_v5.h"

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

  std::cout << robot_para_file << std::endl;
  // Ends the process with exit status 1 when the file cannot be loaded.
  std::shared_ptr<brenvik::Robot> robot = std::make_shared<brenvik::BrenvikBotV5>(robot_para_file);
  Logger::instance()->display_level_ = 1;
  std::cout << "主线程threadid:" << std::this_thread::get_id() << std::endl;
  return 0;
}
