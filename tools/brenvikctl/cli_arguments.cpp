#include "brenvikctl/cli_arguments.h"

#include <cmath>
#include <cstdint>
#include <exception>
#include <vector>

#include "brenvikctl/exit_codes.h"
#include "brenvikctl/number_text.h"
#include "ros2/arguments.h"

namespace brenvikctl {
namespace {

enum Option : uint32_t {
  kVel = 1u << 0,
  kAcc = 1u << 1,
  kBlock = 1u << 2,
  kDeg = 1u << 3,
  kWait = 1u << 4,
  kSeconds = 1u << 5,
  kOutput = 1u << 6,
  kParaFile = 1u << 7,
  kTolerance = 1u << 8,
  kTimeout = 1u << 9,
};

struct OptionDef {
  Option option;
  const char* name;
  const char* alias;  // nullptr: none
  bool takes_value;
};

constexpr OptionDef kOptions[] = {
    {kVel, "--vel", nullptr, true},
    {kAcc, "--acc", nullptr, true},
    {kBlock, "--block", nullptr, false},
    {kDeg, "--deg", nullptr, false},
    {kWait, "--wait", nullptr, false},
    {kSeconds, "--seconds", nullptr, true},
    {kOutput, "--output", "-o", true},
    {kParaFile, "--robot-para-file", nullptr, true},
    {kTolerance, "--tolerance", nullptr, true},
    {kTimeout, "--timeout", nullptr, true},
};

enum class Positional { kNone, kNumbers, kIntegers, kFile, kOnOff };

struct CommandDef {
  const char* name;
  Command command;
  Positional positional;
  int min_count;
  int max_count;  // -1: no upper bound
  uint32_t options;
  const char* synopsis;
  const char* summary;
};

constexpr uint32_t kWaitOptions = kWait | kTolerance;

constexpr CommandDef kCommands[] = {
    {"enable", Command::kEnable, Positional::kNone, 0, 0, 0, "enable",
     "enable the drives and wait for enable_flag"},
    {"disable", Command::kDisable, Positional::kNone, 0, 0, 0, "disable",
     "disable the drives and wait for enable_flag to drop"},
    {"home", Command::kHome, Positional::kNone, 0, 0, 0, "home",
     "set home: the drives take the present position as their zero (the arm does not move)"},
    {"stop", Command::kStop, Positional::kNone, 0, 0, 0, "stop",
     "controlled stop of the present motion; recover clears it"},
    {"recover", Command::kRecover, Positional::kNone, 0, 0, 0, "recover",
     "leave the error state and clear a stop"},
    {"movj", Command::kMovj, Positional::kNumbers, 1, -1,
     kVel | kAcc | kBlock | kDeg | kWaitOptions,
     "movj Q1 .. QN [--vel S] [--acc S] [--block] [--deg] [--wait]",
     "joint move to Q1..QN (rad, or degrees with --deg); scales 0..1 (default 0.5)"},
    {"movs", Command::kMovs, Positional::kFile, 1, 1, kDeg | kWaitOptions,
     "movs FILE [--deg] [--wait]",
     "spline joint move through the points of FILE (time, then N joint values a line)"},
    {"pose", Command::kPose, Positional::kNumbers, 7, 7, kVel | kWaitOptions,
     "pose X Y Z QX QY QZ QW [--vel S] [--wait]",
     "joint move to a tool pose (m, unit quaternion x y z w)"},
    {"io", Command::kIo, Positional::kIntegers, 2, 2, 0, "io ID CMD",
     "command control-IO device ID (1 gripper, 2 lifter on the simulated arm)"},
    {"collision", Command::kCollision, Positional::kOnOff, 1, 1, 0, "collision on|off",
     "switch collision detection"},
    {"drag", Command::kDrag, Positional::kOnOff, 1, 1, 0, "drag on|off",
     "switch drag teaching (hand guiding of the idle arm)"},
    {"sensitivity", Command::kSensitivity, Positional::kNumbers, 1, -1, 0, "sensitivity V ...",
     "collision sensitivity command (first value: its kind)"},
    {"trajectory", Command::kTrajectory, Positional::kFile, 1, 1, kDeg, "trajectory FILE [--deg]",
     "FollowJointTrajectory goal from FILE with progress; Ctrl-C cancels it"},
    {"status", Command::kStatus, Positional::kNone, 0, 0, 0, "status",
     "one snapshot of every status topic"},
    {"watch", Command::kWatch, Positional::kNone, 0, 0, 0, "watch",
     "the status refreshed at 10 Hz until Ctrl-C"},
    {"record", Command::kRecord, Positional::kFile, 1, 1, kSeconds, "record FILE --seconds T",
     "the status topics to a CSV file for T seconds"},
    {"plot", Command::kPlot, Positional::kFile, 1, 1, kOutput, "plot FILE [-o OUT.png]",
     "PNG of reference and actual joint positions and velocities of a recording"},
    {"urdf", Command::kUrdf, Positional::kNone, 0, 0, kParaFile | kOutput,
     "urdf --robot-para-file FILE [-o OUT.urdf]",
     "URDF of the arm from the parameter file's modified DH parameters and limits"},
    {"help", Command::kHelp, Positional::kNone, 0, 0, 0, "help", "this text"},
};

const OptionDef* findOption(const std::string& token) {
  for (const OptionDef& def : kOptions) {
    if (token == def.name || (def.alias != nullptr && token == def.alias)) return &def;
  }
  return nullptr;
}

const CommandDef* findCommand(const std::string& name) {
  for (const CommandDef& def : kCommands) {
    if (name == def.name) return &def;
  }
  return nullptr;
}

bool looksLikeOption(const std::string& token) {
  double ignored = 0.0;
  return token.size() > 1 && token[0] == '-' && !parseDouble(token, ignored);
}

int fail(std::string& error, const std::string& message) {
  error = message;
  return exit_code::kUsage;
}

// A scale option's value: a number in [0, 1].
int parseScale(const std::string& option, const std::string& text, std::optional<double>& out,
               std::string& error) {
  double value = 0.0;
  if (!parseDouble(text, value)) return fail(error, option + ": '" + text + "' is not a number");
  if (value < 0.0 || value > 1.0) {
    return fail(error, option + ": " + text + " is outside [0, 1] (a fraction of the axis limits)");
  }
  out = value;
  return exit_code::kOk;
}

int parsePositive(const std::string& option, const std::string& text, double& out,
                  std::string& error) {
  if (!parseDouble(text, out)) return fail(error, option + ": '" + text + "' is not a number");
  if (!(out > 0.0)) return fail(error, option + ": " + text + " must be greater than 0");
  return exit_code::kOk;
}

int applyOption(const OptionDef& def, const std::string& value, Invocation& inv,
                std::string& error) {
  switch (def.option) {
    case kVel:
      return parseScale(def.name, value, inv.velocity, error);
    case kAcc:
      return parseScale(def.name, value, inv.acceleration, error);
    case kSeconds:
      return parsePositive(def.name, value, inv.seconds, error);
    case kTolerance:
      return parsePositive(def.name, value, inv.tolerance, error);
    case kTimeout:
      return parsePositive(def.name, value, inv.timeout, error);
    case kOutput:
      inv.output = value;
      return exit_code::kOk;
    case kParaFile:
      inv.robot_para_file = value;
      return exit_code::kOk;
    case kBlock:
      inv.block = true;
      return exit_code::kOk;
    case kDeg:
      inv.degrees = true;
      return exit_code::kOk;
    case kWait:
      inv.wait = true;
      return exit_code::kOk;
  }
  return exit_code::kOk;
}

int parsePositionals(const CommandDef& def, const std::vector<std::string>& args, Invocation& inv,
                     std::string& error) {
  const int count = static_cast<int>(args.size());
  if (count < def.min_count || (def.max_count >= 0 && count > def.max_count)) {
    std::string expected = std::to_string(def.min_count);
    if (def.max_count < 0) expected = "at least " + expected;
    if (def.max_count > def.min_count) expected += " to " + std::to_string(def.max_count);
    return fail(error, std::string(def.name) + ": expects " + expected + " argument" +
                           (def.min_count == 1 && def.max_count == 1 ? "" : "s") + ", got " +
                           std::to_string(count) + " (usage: brenvikctl " + def.synopsis + ")");
  }
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const std::string where = std::string(def.name) + ": value " + std::to_string(i + 1);
    switch (def.positional) {
      case Positional::kNumbers: {
        double value = 0.0;
        if (!parseDouble(arg, value)) return fail(error, where + " '" + arg + "' is not a number");
        inv.values.push_back(value);
        break;
      }
      case Positional::kIntegers: {
        int value = 0;
        if (!parseInt(arg, value)) return fail(error, where + " '" + arg + "' is not an integer");
        if (value < 0) return fail(error, where + " " + arg + " must not be negative");
        inv.integers.push_back(value);
        break;
      }
      case Positional::kOnOff:
        if (arg != "on" && arg != "off") {
          return fail(error, std::string(def.name) + ": '" + arg + "' is neither on nor off");
        }
        inv.on = arg == "on";
        break;
      case Positional::kFile:
        inv.file = arg;
        break;
      case Positional::kNone:
        break;
    }
  }
  return exit_code::kOk;
}

}  // namespace

int CliArguments::parse(int argc, const char* const argv[], Invocation& inv, std::string& error) {
  inv = Invocation();
  inv.ros_argv.push_back(argc > 0 ? argv[0] : "brenvikctl");
  std::vector<std::string> own;
  bool in_ros = false;
  for (int i = 1; i < argc; ++i) {
    const std::string token = argv[i];
    if (token == "--ros-args") {
      in_ros = true;
    } else if (in_ros && token == "--") {
      in_ros = false;
    } else if (!in_ros) {
      own.push_back(token);
      continue;
    }
    inv.ros_argv.push_back(token);
  }
  try {
    std::vector<const char*> ros_argv;
    for (const std::string& arg : inv.ros_argv) ros_argv.push_back(arg.c_str());
    (void)ros2::parse_arguments(static_cast<int>(ros_argv.size()), ros_argv.data());
  } catch (const std::exception& e) {
    return fail(error, std::string("--ros-args: ") + e.what());
  }

  std::vector<std::pair<const OptionDef*, std::string>> options;
  std::vector<std::string> positionals;
  const CommandDef* def = nullptr;
  for (size_t i = 0; i < own.size(); ++i) {
    std::string token = own[i];
    if (token == "-h" || token == "--help") token = "help";
    if (!looksLikeOption(token)) {
      if (def == nullptr) {
        def = findCommand(token);
        if (def == nullptr) {
          return fail(error, "unknown command '" + token + "' (brenvikctl help lists them)");
        }
      } else {
        positionals.push_back(token);
      }
      continue;
    }
    std::string value;
    const size_t equals = token.find('=');
    const bool inline_value = token.rfind("--", 0) == 0 && equals != std::string::npos;
    const OptionDef* option = findOption(inline_value ? token.substr(0, equals) : token);
    if (option == nullptr) return fail(error, "unknown option '" + token + "'");
    if (inline_value) {
      if (!option->takes_value) {
        return fail(error, std::string(option->name) + " takes no value");
      }
      value = token.substr(equals + 1);
    } else if (option->takes_value) {
      if (i + 1 >= own.size()) return fail(error, std::string(option->name) + " needs a value");
      value = own[++i];
    }
    options.emplace_back(option, value);
  }
  if (def == nullptr) return fail(error, "no command given\n" + usage());

  inv.command = def->command;
  inv.name = def->name;
  for (const auto& [option, value] : options) {
    // Every command that talks to the controller takes --timeout.
    const bool offline = def->command == Command::kHelp || def->command == Command::kPlot ||
                         def->command == Command::kUrdf;
    if ((def->options & option->option) == 0 && (option->option != kTimeout || offline)) {
      return fail(error, std::string("option ") + option->name + " does not apply to " + def->name +
                             " (usage: brenvikctl " + def->synopsis + ")");
    }
    if (const int result = applyOption(*option, value, inv, error); result != exit_code::kOk) {
      return result;
    }
  }
  if (const int result = parsePositionals(*def, positionals, inv, error);
      result != exit_code::kOk) {
    return result;
  }
  if (inv.command == Command::kRecord && inv.seconds <= 0.0) {
    return fail(error,
                "record: --seconds T is required (usage: brenvikctl record FILE --seconds T)");
  }
  if (inv.command == Command::kUrdf && inv.robot_para_file.empty()) {
    return fail(error, "urdf: --robot-para-file FILE is required");
  }
  if (inv.command == Command::kPose) {
    const std::vector<double>& v = inv.values;
    if (v[3] * v[3] + v[4] * v[4] + v[5] * v[5] + v[6] * v[6] < 1e-18) {
      return fail(error, "pose: the quaternion QX QY QZ QW is zero");
    }
  }
  if (inv.degrees && inv.command == Command::kMovj) {
    for (double& q : inv.values) q *= kRadPerDeg;
  }
  return exit_code::kOk;
}

std::string CliArguments::usage() {
  std::string text =
      "usage: brenvikctl COMMAND [ARGS] [OPTIONS] [--ros-args ... [--]]\n\n"
      "Drives and watches the brenvik_robot controller over ROS 2 (joint values in rad).\n\n";
  for (const CommandDef& def : kCommands) {
    std::string line = std::string("  ") + def.synopsis;
    if (line.size() < 48) line.resize(48, ' ');
    text += line + "\n      " + def.summary + "\n";
  }
  text +=
      "\n  --wait        wait for the end of the move and tell how it ended (reached, stopped,\n"
      "                refused); exit status 1 when it did not reach its goal\n"
      "  --tolerance R joint tolerance (rad) of a reached target with --wait (default 0.01)\n"
      "  --timeout S   how long to look for the controller (default 2 s)\n"
      "  --ros-args    ROS 2 arguments, e.g. --ros-args -r __ns:=/arm1\n\n"
      "Exit status: 0 done, 1 goal not reached, 2 wrong arguments, 3 no controller found,\n"
      "4 bad file, 5 gnuplot failed, 130 interrupted.\n";
  return text;
}

}  // namespace brenvikctl
