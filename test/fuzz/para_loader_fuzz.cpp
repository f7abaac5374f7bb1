// Any bytes as the parameter file: loaded, or refused with one of the loader's result codes.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "robot_factory/utility/load_robot_para.h"
#include "robot_factory/utility/robot_para.h"

namespace {

std::string para_file;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The loader's messages are dropped; sanitizer and fuzzer reports still reach stderr.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  std::cerr.rdbuf(nullptr);
  char name[] = "/tmp/brenvik_para_fuzz_XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) std::abort();
  close(fd);
  para_file = name;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(para_file.c_str(), "wb");
  if (file == nullptr || std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  brenvik::RobotPara para;
  const int result = brenvik::LoadRobotPara().load(para_file, para);
  if (result > 0 || result < brenvik::load_result::kDevice) std::abort();
  return 0;
}
