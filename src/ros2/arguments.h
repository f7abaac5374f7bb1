#pragma once

// ROS 2 command-line arguments (the part of argv between --ros-args and --) and ROS names:
// expansion of relative and private names, validation, and remapping.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ros2 {

// Thrown by init() for arguments inside --ros-args that ROS 2 does not know.
class UnknownROSArgsError : public std::runtime_error {
 public:
  explicit UnknownROSArgsError(std::vector<std::string> unknown);
  const std::vector<std::string>& unknown_args() const { return unknown_; }

 private:
  std::vector<std::string> unknown_;
};

// Thrown for names, remap rules or argument values that are not valid.
class InvalidArgumentError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

enum class LogLevel { Debug = 10, Info = 20, Warn = 30, Error = 40, Fatal = 50 };

// One remap rule: "[node:]from:=to", "[node:]__ns:=/ns" or "[node:]__node:=name".
struct RemapRule {
  enum class Kind { Name, NodeName, Namespace };
  enum class Applies { TopicsAndServices, Topics, Services };
  Kind kind = Kind::Name;
  Applies applies = Applies::TopicsAndServices;
  std::string node;  // empty: every node
  std::string match;
  std::string replacement;
};

struct LoggerLevel {
  std::string logger;
  LogLevel level;
};

struct ParsedArguments {
  std::vector<RemapRule> remaps;
  std::optional<LogLevel> default_log_level;
  std::vector<LoggerLevel> logger_levels;
  // Arguments that are accepted but have no effect here (parameters, enclave, log config).
  std::vector<std::string> unused;
  // Remap rules given outside --ros-args, the deprecated form; they are in remaps too.
  std::vector<std::string> deprecated_remaps;
  // Everything outside --ros-args ... --, argv[0] included.
  std::vector<std::string> non_ros;
};

// Parses argv; throws UnknownROSArgsError or InvalidArgumentError.
ParsedArguments parse_arguments(int argc, const char* const argv[]);

// Parses one remap rule; throws InvalidArgumentError.
RemapRule parse_remap_rule(const std::string& text);

// The arguments that are not ROS 2 arguments, argv[0] first (rclcpp::remove_ros_arguments);
// remap rules outside --ros-args are ROS 2 arguments too.
std::vector<std::string> remove_ros_arguments(int argc, const char* const argv[]);

namespace names {

// "" -> "/", "ns" -> "/ns"; validated. Throws InvalidArgumentError.
std::string normalize_namespace(const std::string& ns);
void validate_node_name(const std::string& name);
void validate_full_topic_name(const std::string& name);

// Expands a topic or service name for a node (relative, "~", "{node}", "{ns}"/"{namespace}",
// which stand for the whole namespace: "{ns}/x" in namespace /a is /a/x, in / it is /x).
std::string expand_topic_name(const std::string& name, const std::string& node_name,
                              const std::string& node_namespace);

// The node's name and namespace after the __node and __ns rules.
std::string remap_node_name(const std::vector<RemapRule>& rules, const std::string& name);
std::string remap_namespace(const std::vector<RemapRule>& rules, const std::string& node_name,
                            const std::string& ns);

// The fully qualified, remapped name of a topic (is_service false) or service.
std::string resolve_name(const std::vector<RemapRule>& rules, const std::string& name,
                         const std::string& node_name, const std::string& node_namespace,
                         bool is_service);

}  // namespace names
}  // namespace ros2
