// Any bytes as the parameter file: loaded, or refused with one of the loader's result codes.

#include <unistd.h>

#include <fstream>
#include <iostream>

#include "robot_factory/utility/load_robot_para.h"
#include "robot_factory/utility/robot_para.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  std::cerr.rdbuf(nullptr);  // the loader's messages; sanitizer reports still reach stderr
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string para_file = "/tmp/brenvik_para_fuzz_" + std::to_string(getpid());
  std::ofstream(para_file, std::ios::binary).write(reinterpret_cast<const char*>(data), size);
  brenvik::RobotPara para;
  const int result = brenvik::LoadRobotPara().load(para_file, para);
  if (result > 0 || result < brenvik::load_result::kDevice) std::abort();
  return 0;
}
