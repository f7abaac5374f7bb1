#pragma once

// The parameters of one node, by rclcpp's rules: declared before use, read-only ones never set,
// a declared type kept unless dynamic typing is allowed, ranges respected, and on-set callbacks
// consulted. Serves the six parameter services of an rclcpp node under the node's name
// (describe_parameters, get_parameter_types, get_parameters, list_parameters, set_parameters,
// set_parameters_atomically) and publishes every declaration, change and removal on
// /parameter_events. Every member may be called from any thread; the services run on the
// executor that spins the node.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ros2/msg/rcl_interfaces.h"
#include "ros2/node.h"
#include "ros2/parameter.h"

namespace ros2::detail {

class NodeParameters {
 public:
  using Descriptor = rcl_interfaces::msg::ParameterDescriptor;
  using Result = rcl_interfaces::msg::SetParametersResult;

  NodeParameters(Node& node, const NodeOptions& options);

  // Declares a parameter with its default (or the override given in the node options, unless
  // ignore_override) and returns its value. Throws std::invalid_argument for an empty name, a
  // name already declared, a value without a type that is not dynamically typed, an override of
  // another type, or a value out of its range.
  ParameterValue declare(const std::string& name, const ParameterValue& default_value,
                         Descriptor descriptor, bool ignore_override);
  // Throws ParameterNotDeclaredException, or std::invalid_argument for a read-only parameter.
  void undeclare(const std::string& name);
  bool has(const std::string& name) const;
  bool get(const std::string& name, Parameter& out) const;

  // Sets all of them or none; a value without a type removes a dynamically typed parameter.
  Result set_atomically(const std::vector<Parameter>& parameters);
  // Sets each one on its own.
  std::vector<Result> set(const std::vector<Parameter>& parameters);

  // One entry per name; a name not declared gives a value, type or descriptor "not set".
  std::vector<Parameter> get(const std::vector<std::string>& names) const;
  std::vector<uint8_t> types(const std::vector<std::string>& names) const;
  std::vector<Descriptor> describe(const std::vector<std::string>& names) const;
  // The names under the prefixes (all with none), at most depth levels below them
  // (0: any depth), with the distinct prefixes of the names found.
  rcl_interfaces::msg::ListParametersResult list(const std::vector<std::string>& prefixes,
                                                 uint64_t depth) const;

  void add_on_set_callback(const OnSetParametersCallbackHandle::SharedPtr& handle);
  void remove_on_set_callback(const OnSetParametersCallbackHandle* handle);

 private:
  struct Entry {
    ParameterValue value;
    Descriptor descriptor;
  };

  // Why a parameter cannot take a value, or "" when it can. mutex_ held.
  std::string refusal(const Parameter& p) const;
  void publish_event(const std::vector<Parameter>& added, const std::vector<Parameter>& changed,
                     const std::vector<Parameter>& deleted);
  template <class ServiceT, class Handler>
  void serve(Node& node, const char* name, Handler handler);

  std::string node_name_;  // fully qualified
  Clock clock_;
  std::vector<Parameter> overrides_;
  std::shared_ptr<Publisher<rcl_interfaces::msg::ParameterEvent>> events_;
  std::vector<std::shared_ptr<Waitable>> services_;
  // Recursive: an on-set callback may read parameters (but not set them).
  mutable std::recursive_mutex mutex_;
  bool in_callback_ = false;
  std::map<std::string, Entry> parameters_;
  std::vector<std::weak_ptr<OnSetParametersCallbackHandle>> callbacks_;
};

}  // namespace ros2::detail
