#include "ros2/node_parameters.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "ros2/service.h"

namespace ros2::detail {
namespace {

using rcl_interfaces::msg::ParameterDescriptor;

// Whether k is a whole number, allowing for the rounding of the division that produced it.
bool whole(double k) { return std::fabs(k - std::round(k)) <= 1e-9 * std::max(1.0, std::fabs(k)); }

std::string range_refusal(const Parameter& p, const ParameterDescriptor& d) {
  if (p.get_type() == PARAMETER_DOUBLE && !d.floating_point_range.empty()) {
    const auto& r = d.floating_point_range[0];
    const double v = p.as_double();
    bool ok = v >= r.from_value && v <= r.to_value;
    if (ok && r.step > 0 && v != r.to_value) ok = whole((v - r.from_value) / r.step);
    if (!ok) return "Parameter {" + p.get_name() + "} doesn't comply with floating point range.";
  }
  if (p.get_type() == PARAMETER_INTEGER && !d.integer_range.empty()) {
    const auto& r = d.integer_range[0];
    const int64_t v = p.as_int();
    bool ok = v >= r.from_value && v <= r.to_value;
    if (ok && r.step > 0 && v != r.to_value) {
      ok = static_cast<uint64_t>(v - r.from_value) % r.step == 0;
    }
    if (!ok) return "Parameter {" + p.get_name() + "} doesn't comply with integer range.";
  }
  return "";
}

std::vector<rcl_interfaces::msg::Parameter> to_msgs(const std::vector<Parameter>& parameters) {
  std::vector<rcl_interfaces::msg::Parameter> out;
  for (const auto& p : parameters) out.push_back(p.to_parameter_msg());
  return out;
}

std::vector<Parameter> from_msgs(const std::vector<rcl_interfaces::msg::Parameter>& msgs) {
  std::vector<Parameter> out;
  for (const auto& m : msgs) out.push_back(Parameter::from_parameter_msg(m));
  return out;
}

}  // namespace

NodeParameters::NodeParameters(Node& node, const NodeOptions& options)
    : node_name_(node.get_fully_qualified_name()), overrides_(options.parameter_overrides()) {
  if (options.start_parameter_event_publisher()) {
    events_ = std::make_shared<Publisher<rcl_interfaces::msg::ParameterEvent>>(
        node, "/parameter_events", ParameterEventsQoS());
  }
  if (!options.start_parameter_services()) return;
  using namespace rcl_interfaces::srv;
  serve<DescribeParameters>(node, "describe_parameters", [this](const auto& req, const auto& res) {
    res->descriptors = describe(req->names);
  });
  serve<GetParameterTypes>(node, "get_parameter_types", [this](const auto& req, const auto& res) {
    res->types = types(req->names);
  });
  serve<GetParameters>(node, "get_parameters", [this](const auto& req, const auto& res) {
    for (const auto& p : get(req->names)) {
      res->values.push_back(p.get_parameter_value().to_value_msg());
    }
  });
  serve<ListParameters>(node, "list_parameters", [this](const auto& req, const auto& res) {
    res->result = list(req->prefixes, req->depth);
  });
  serve<SetParameters>(node, "set_parameters", [this](const auto& req, const auto& res) {
    res->results = set(from_msgs(req->parameters));
  });
  serve<SetParametersAtomically>(node, "set_parameters_atomically",
                                 [this](const auto& req, const auto& res) {
                                   res->result = set_atomically(from_msgs(req->parameters));
                                 });
}

template <class ServiceT, class Handler>
void NodeParameters::serve(Node& node, const char* name, Handler handler) {
  using Request = typename ServiceT::Request;
  using Response = typename ServiceT::Response;
  services_.push_back(node.create_service<ServiceT>(
      node.get_name() + "/" + name,
      [handler](const std::shared_ptr<Request>& req, const std::shared_ptr<Response>& res) {
        handler(req, res);
      }));
}

ParameterValue NodeParameters::declare(const std::string& name, const ParameterValue& default_value,
                                       Descriptor descriptor, bool ignore_override) {
  if (name.empty()) throw std::invalid_argument("a parameter name must not be empty");
  ParameterValue value = default_value;
  if (!ignore_override) {
    for (const auto& o : overrides_) {
      if (o.get_name() == name) value = o.get_parameter_value();
    }
  }
  descriptor.name = name;
  descriptor.type = value.get_type();
  if (!descriptor.dynamic_typing) {
    if (value.get_type() == PARAMETER_NOT_SET) {
      throw std::invalid_argument("parameter '" + name +
                                  "' needs a value, or dynamic typing in its descriptor");
    }
    if (default_value.get_type() != PARAMETER_NOT_SET &&
        value.get_type() != default_value.get_type()) {
      throw std::invalid_argument("parameter '" + name + "' is of type " +
                                  to_string(default_value.get_type()) + ", its override of type " +
                                  to_string(value.get_type()));
    }
  }
  const std::string out_of_range = range_refusal(Parameter(name, value), descriptor);
  if (!out_of_range.empty()) throw std::invalid_argument(out_of_range);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!parameters_.emplace(name, Entry{value, descriptor}).second) {
    throw std::invalid_argument("parameter '" + name + "' has already been declared");
  }
  publish_event({Parameter(name, value)}, {}, {});
  return value;
}

void NodeParameters::undeclare(const std::string& name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const auto it = parameters_.find(name);
  if (it == parameters_.end()) throw ParameterNotDeclaredException(name);
  if (it->second.descriptor.read_only) {
    throw std::invalid_argument("parameter '" + name + "' is read-only");
  }
  if (!it->second.descriptor.dynamic_typing) {
    throw std::invalid_argument("parameter '" + name + "' is statically typed");
  }
  const Parameter removed(name, it->second.value);
  parameters_.erase(it);
  publish_event({}, {}, {removed});
}

bool NodeParameters::has(const std::string& name) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return parameters_.count(name) > 0;
}

bool NodeParameters::get(const std::string& name, Parameter& out) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const auto it = parameters_.find(name);
  if (it == parameters_.end()) return false;
  out = Parameter(name, it->second.value);
  return true;
}

std::string NodeParameters::refusal(const Parameter& p) const {
  const std::string& name = p.get_name();
  const auto it = parameters_.find(name);
  if (it == parameters_.end()) return "parameter '" + name + "' is not declared";
  const Descriptor& d = it->second.descriptor;
  if (d.read_only) return "parameter '" + name + "' cannot be set because it is read-only";
  if (p.get_type() == PARAMETER_NOT_SET) {
    return d.dynamic_typing ? "" : "parameter '" + name + "' is statically typed: cannot unset it";
  }
  if (!d.dynamic_typing && p.get_type() != it->second.value.get_type()) {
    return "Wrong parameter type, parameter {" + name + "} is of type {" +
           to_string(it->second.value.get_type()) + "}, setting it to {" + to_string(p.get_type()) +
           "} is not allowed.";
  }
  return range_refusal(p, d);
}

NodeParameters::Result NodeParameters::set_atomically(const std::vector<Parameter>& parameters) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (in_callback_) throw std::runtime_error("parameters cannot be set from an on-set callback");
  Result result;
  for (const auto& p : parameters) {
    result.reason = refusal(p);
    if (!result.reason.empty()) return result;
  }
  callbacks_.erase(std::remove_if(callbacks_.begin(), callbacks_.end(),
                                  [](const auto& w) { return w.expired(); }),
                   callbacks_.end());
  for (const auto& w : callbacks_) {
    const auto handle = w.lock();
    if (!handle) continue;
    in_callback_ = true;
    try {
      result = handle->callback(parameters);
    } catch (...) {
      in_callback_ = false;
      throw;
    }
    in_callback_ = false;
    if (!result.successful) return result;
  }
  std::vector<Parameter> changed, deleted;
  for (const auto& p : parameters) {
    auto it = parameters_.find(p.get_name());
    if (it == parameters_.end()) continue;  // unset earlier in this call
    if (p.get_type() == PARAMETER_NOT_SET) {
      deleted.emplace_back(p.get_name(), it->second.value);
      parameters_.erase(it);
    } else {
      it->second.value = p.get_parameter_value();
      it->second.descriptor.type = p.get_type();
      changed.push_back(p);
    }
  }
  publish_event({}, changed, deleted);
  result.successful = true;
  result.reason.clear();
  return result;
}

std::vector<NodeParameters::Result> NodeParameters::set(const std::vector<Parameter>& parameters) {
  std::vector<Result> results;
  for (const auto& p : parameters) results.push_back(set_atomically({p}));
  return results;
}

std::vector<Parameter> NodeParameters::get(const std::vector<std::string>& names) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<Parameter> out;
  for (const auto& name : names) {
    const auto it = parameters_.find(name);
    out.push_back(it == parameters_.end() ? Parameter(name) : Parameter(name, it->second.value));
  }
  return out;
}

std::vector<uint8_t> NodeParameters::types(const std::vector<std::string>& names) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<uint8_t> out;
  for (const auto& name : names) {
    const auto it = parameters_.find(name);
    out.push_back(it == parameters_.end() ? PARAMETER_NOT_SET : it->second.value.get_type());
  }
  return out;
}

std::vector<NodeParameters::Descriptor> NodeParameters::describe(
    const std::vector<std::string>& names) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<Descriptor> out;
  for (const auto& name : names) {
    const auto it = parameters_.find(name);
    if (it != parameters_.end()) {
      out.push_back(it->second.descriptor);
    } else {
      out.emplace_back().name = name;
    }
  }
  return out;
}

rcl_interfaces::msg::ListParametersResult NodeParameters::list(
    const std::vector<std::string>& prefixes, uint64_t depth) const {
  using Request = rcl_interfaces::srv::ListParameters_Request;
  // Whether the part of a name below a prefix is at most depth levels deep.
  const auto shallow = [depth](const std::string& rest) {
    return depth == Request::DEPTH_RECURSIVE ||
           static_cast<uint64_t>(std::count(rest.begin(), rest.end(), '.')) < depth;
  };
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  rcl_interfaces::msg::ListParametersResult result;
  for (const auto& named : parameters_) {
    // A structured binding cannot be captured by the lambda below in C++17.
    const std::string& name = named.first;
    const bool all = prefixes.empty() && shallow(name);
    const bool under = std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& p) {
      if (name == p) return true;
      return name.rfind(p + ".", 0) == 0 && shallow(name.substr(p.size()));
    });
    if (!all && !under) continue;
    result.names.push_back(name);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) continue;
    const std::string prefix = name.substr(0, dot);
    if (std::find(result.prefixes.begin(), result.prefixes.end(), prefix) ==
        result.prefixes.end()) {
      result.prefixes.push_back(prefix);
    }
  }
  return result;
}

void NodeParameters::add_on_set_callback(const OnSetParametersCallbackHandle::SharedPtr& handle) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  callbacks_.push_back(handle);
}

void NodeParameters::remove_on_set_callback(const OnSetParametersCallbackHandle* handle) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  callbacks_.erase(std::remove_if(callbacks_.begin(), callbacks_.end(),
                                  [&](const auto& w) { return w.lock().get() == handle; }),
                   callbacks_.end());
}

void NodeParameters::publish_event(const std::vector<Parameter>& added,
                                   const std::vector<Parameter>& changed,
                                   const std::vector<Parameter>& deleted) {
  if (!events_) return;
  rcl_interfaces::msg::ParameterEvent event;
  event.stamp = clock_.now();
  event.node = node_name_;
  event.new_parameters = to_msgs(added);
  event.changed_parameters = to_msgs(changed);
  event.deleted_parameters = to_msgs(deleted);
  events_->publish(event);
}

}  // namespace ros2::detail
