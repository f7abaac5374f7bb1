#pragma once

#include "devices/ctrl_io_interface.h"

namespace brenvik::testing {

// A control-IO device that reaches the commanded state after `reads_to_reach` state reads
// (never when negative). Counts its calls.
class ScriptedIoDevice : public CtrlIoInterface {
 public:
  int setCmd(int cmd) override {
    ++set_cmd_calls;
    commanded = cmd;
    reads_after_cmd = 0;
    return 0;
  }
  int getState(int& state) override {
    ++get_state_calls;
    if (set_cmd_calls > 0 && reads_to_reach >= 0 && ++reads_after_cmd >= reads_to_reach) {
      state = commanded;
    }
    return 0;
  }

  int reads_to_reach = 1;
  int set_cmd_calls = 0;
  int get_state_calls = 0;
  int commanded = -1;
  int reads_after_cmd = 0;
};

}  // namespace brenvik::testing
