#include "brenvikctl/device_commands.h"

#include <algorithm>

#include "brenvikctl/exit_codes.h"

namespace brenvikctl {
namespace {

std_msgs::msg::Bool boolMessage(bool value) {
  std_msgs::msg::Bool msg;
  msg.data = value;
  return msg;
}

std_msgs::msg::String textMessage(const std::string& text) {
  std_msgs::msg::String msg;
  msg.data = text;
  return msg;
}

// Waits for a status flag to take value; says so on out, or why not on err.
int awaitFlag(ControllerLink& link, const bool& flag, bool value, const std::string& done,
              const std::string& failed, std::ostream& out, std::ostream& err) {
  if (link.spinUntil([&] { return flag == value; },
                     std::max(DeviceCommands::kFlagTime, link.discoveryTime()))) {
    out << done << "\n";
    return exit_code::kOk;
  }
  err << "brenvikctl: " << failed << "\n";
  return exit_code::kNotReached;
}

}  // namespace

int DeviceCommands::run(const Invocation& inv, ControllerLink& link, std::ostream& out,
                        std::ostream& err) {
  std::string error;
  int result = exit_code::kOk;
  const StatusSnapshot& status = link.status();
  switch (inv.command) {
    case Command::kEnable:
    case Command::kDisable: {
      const bool enable = inv.command == Command::kEnable;
      result = link.publish("serve_on_topic", boolMessage(enable), error);
      if (result != exit_code::kOk) break;
      return awaitFlag(link, status.enabled, enable, enable ? "drives enabled" : "drives disabled",
                       std::string("enable_flag stayed ") + (enable ? "false" : "true") +
                           " in time: the controller did not " + inv.name +
                           " the drives (see its console)",
                       out, err);
    }
    case Command::kHome:
      result = link.publish("set_home_topic", textMessage("brenvikctl"), error);
      if (result == exit_code::kOk)
        out << "set home sent: the drives take their present position as zero\n";
      break;
    case Command::kStop:
      result = link.publish("stop_topic", textMessage("brenvikctl"), error);
      if (result == exit_code::kOk)
        out << "stop sent: the arm decelerates; recover clears the stop\n";
      break;
    case Command::kRecover:
      result = link.publish("recover_topic", boolMessage(true), error);
      if (result != exit_code::kOk) break;
      return awaitFlag(link, status.unnormal, false, "recovered: error flag clear",
                       "the error flag is still set: recover failed (see the "
                       "controller's console)",
                       out, err);
    case Command::kIo: {
      std_msgs::msg::Int32MultiArray msg;
      msg.data = {inv.integers[0], inv.integers[1]};
      result = link.publish("ctrl_io_topic", msg, error);
      if (result == exit_code::kOk) {
        out << "io sent: device " << inv.integers[0] << ", command " << inv.integers[1] << "\n";
      }
      break;
    }
    case Command::kCollision:
    case Command::kDrag:
      result = link.publish(inv.command == Command::kCollision ? "collision_enable_topic"
                                                               : "drag_teaching_enable_topic",
                            boolMessage(inv.on), error);
      if (result == exit_code::kOk) out << inv.name << (inv.on ? " on" : " off") << " sent\n";
      break;
    case Command::kSensitivity: {
      std_msgs::msg::Float64MultiArray msg;
      msg.data = inv.values;
      result = link.publish("set_collision_sensitivity_topic", msg, error);
      if (result == exit_code::kOk) out << "sensitivity sent\n";
      break;
    }
    default:
      break;
  }
  if (result != exit_code::kOk) err << "brenvikctl: " << error << "\n";
  return result;
}

}  // namespace brenvikctl
