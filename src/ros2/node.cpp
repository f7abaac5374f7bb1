#include "ros2/node.h"

#include <dds/ddsi/ddsi_cdrstream.h>
#include <dds/ddsi/ddsi_serdata.h>

#include <algorithm>
#include <stdexcept>

#include "ros2/node_parameters.h"
#include "ros2/rosout.h"
#include "ros2/serdata.h"

namespace ros2 {
namespace detail {
namespace {

// XCDR version 1, the encoding ROS 2 Humble uses.
constexpr uint32_t kXcdr1 = 1;

// Whether Cyclone's own decoder, driven by the idlc-generated description of the type, accepts
// the payload; it checks every length, bound and boolean.
bool conforms(const dds_topic_descriptor_t* descriptor, std::vector<uint8_t>& payload) {
  if (descriptor == nullptr) return true;
  if (payload.size() < cdr::kHeaderSize || payload[0] != 0x00) return false;
  if (payload[1] != 0x01) return true;  // big-endian data is checked by the CDR reader alone
  uint32_t off = 0;
  return dds_stream_normalize_data(reinterpret_cast<char*>(payload.data()) + cdr::kHeaderSize, &off,
                                   static_cast<uint32_t>(payload.size() - cdr::kHeaderSize), false,
                                   kXcdr1, descriptor->m_ops) != nullptr;
}

}  // namespace

Endpoint::Endpoint(Node& node, Kind kind, const std::string& dds_topic,
                   const std::string& type_name, const QoS& qos, const std::string& user_data,
                   const dds_topic_descriptor_t* descriptor)
    : context_(node.context()), node_id_(node.graph_id()), descriptor_(descriptor) {
  topic_ = create_raw_topic(context_->participant(), dds_topic, type_name, &sertype_);
  if (topic_ < 0) {
    throw std::runtime_error("cannot create topic '" + dds_topic + "' (" + type_name +
                             "): " + dds_strretcode(topic_));
  }
  dds_qos_t* q = make_dds_qos(qos);
  if (!user_data.empty()) dds_qset_userdata(q, user_data.data(), user_data.size());
  if (kind == Kind::Writer) {
    entity_ = dds_create_writer(context_->publisher(), topic_, q, nullptr);
  } else {
    entity_ = dds_create_reader(context_->subscriber(), topic_, q, nullptr);
  }
  dds_delete_qos(q);
  if (entity_ < 0) {
    dds_delete(topic_);
    throw std::runtime_error("cannot create an endpoint on '" + dds_topic +
                             "': " + dds_strretcode(entity_));
  }
  if (kind == Kind::Reader) read_condition_ = dds_create_readcondition(entity_, DDS_ANY_STATE);
  context_->add_endpoint(node_id_, entity_, kind == Kind::Reader);
}

Endpoint::~Endpoint() {
  context_->remove_endpoint(node_id_, entity_);
  dds_delete(entity_);
  dds_delete(topic_);
}

dds_return_t Endpoint::write(const uint8_t* data, size_t size) const {
  return write_payload(entity_, sertype_, data, size);
}

bool Endpoint::take(Sample& sample) {
  ddsi_serdata* sd = nullptr;
  dds_sample_info_t info;
  const dds_return_t n = dds_takecdr(entity_, &sd, 1, &info, DDS_ANY_STATE);
  if (n <= 0) return false;
  sample.payload = &take_buffer_;
  sample.publication_handle = info.publication_handle;
  sample.valid = false;
  take_buffer_.clear();
  if (info.valid_data && sd != nullptr) {
    const uint8_t* data = nullptr;
    size_t size = 0;
    raw_serdata_bytes(sd, &data, &size);
    take_buffer_.assign(data, data + size);
    sample.valid = conforms(descriptor_, take_buffer_);
    // The check works in place; decode from an untouched copy.
    if (sample.valid) take_buffer_.assign(data, data + size);
  }
  if (sd != nullptr) ddsi_serdata_unref(sd);
  return true;
}

size_t Endpoint::matched_count() const {
  if (read_condition_ != 0) {
    dds_subscription_matched_status_t st;
    if (dds_get_subscription_matched_status(entity_, &st) != DDS_RETCODE_OK) return 0;
    return st.current_count;
  }
  dds_publication_matched_status_t st;
  if (dds_get_publication_matched_status(entity_, &st) != DDS_RETCODE_OK) return 0;
  return st.current_count;
}

}  // namespace detail

namespace {

std::string dds_topic_name(const Node& node, const std::string& topic, const QoS& qos,
                           std::string& ros_name) {
  if (qos.avoid_ros_namespace_conventions()) {
    ros_name = topic;
    return topic;
  }
  ros_name = node.resolve_topic_name(topic);
  return "rt" + ros_name;
}

}  // namespace

PublisherBase::PublisherBase(Node& node, const std::string& topic, const std::string& type_name,
                             const QoS& qos)
    : endpoint_(node, detail::Endpoint::Kind::Writer, dds_topic_name(node, topic, qos, topic_name_),
                type_name, qos) {}

void PublisherBase::publish_serialized(const uint8_t* data, size_t size) const {
  endpoint_.write(data, size);
}

SubscriptionBase::SubscriptionBase(Node& node, const std::string& topic,
                                   const std::string& type_name, const QoS& qos,
                                   const dds_topic_descriptor_t* descriptor)
    : endpoint_(node, detail::Endpoint::Kind::Reader, dds_topic_name(node, topic, qos, topic_name_),
                type_name, qos, "", descriptor),
      logger_(node.get_logger()) {}

void SubscriptionBase::execute() {
  // One sample per wake; the read condition wakes the executor again while samples are left.
  detail::Endpoint::Sample s;
  if (!endpoint_.take(s)) return;
  if (!s.valid) {
    if (!s.payload->empty()) {
      ROS2_DEBUG(logger_, "dropped a malformed sample on '%s'", topic_name_.c_str());
    }
    return;
  }
  try {
    deliver(*s.payload);
  } catch (const cdr::DecodeError& e) {
    ROS2_DEBUG(logger_, "dropped a malformed sample on '%s': %s", topic_name_.c_str(), e.what());
  }
}

TimerBase::TimerBase(std::chrono::nanoseconds period, std::function<void()> callback)
    : period_(period),
      callback_(std::move(callback)),
      next_(std::chrono::steady_clock::now() + period) {}

void TimerBase::reset() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    next_ = std::chrono::steady_clock::now() + period_;
    canceled_.store(false);
  }
  if (const dds_entity_t guard = wake_condition_.load(); guard > 0) {
    dds_set_guardcondition(guard, true);
  }
}

std::chrono::nanoseconds TimerBase::time_until_trigger() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::chrono::duration_cast<std::chrono::nanoseconds>(next_ -
                                                              std::chrono::steady_clock::now());
}

bool TimerBase::execute_if_due() {
  if (canceled_.load()) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (now < next_) return false;
    next_ += period_;
    // After a long stall, skip the missed periods instead of firing them in a burst.
    if (next_ <= now) next_ = now + period_;
  }
  callback_();
  return true;
}

Node::Node(const std::string& name, const NodeOptions& options) : Node(name, "", options) {}

Node::Node(const std::string& name, const std::string& ns, const NodeOptions& options)
    : context_(detail::Context::current()), logger_(""), clock_(std::make_shared<Clock>()) {
  if (!options.arguments().empty()) {
    std::vector<const char*> argv{"node"};
    bool has_ros_args = false;
    for (const auto& a : options.arguments()) {
      argv.push_back(a.c_str());
      has_ros_args = has_ros_args || a == "--ros-args";
    }
    if (!has_ros_args) argv.insert(argv.begin() + 1, "--ros-args");
    const ParsedArguments local = parse_arguments(static_cast<int>(argv.size()), argv.data());
    rules_ = local.remaps;
  }
  if (options.use_global_arguments()) {
    const auto& global = context_->arguments().remaps;
    rules_.insert(rules_.end(), global.begin(), global.end());
  }
  names::validate_node_name(name);
  name_ = names::remap_node_name(rules_, name);
  namespace_ = names::normalize_namespace(
      names::remap_namespace(rules_, name_, names::normalize_namespace(ns)));
  std::string logger_name = namespace_ == "/" ? "" : namespace_.substr(1) + "/";
  std::replace(logger_name.begin(), logger_name.end(), '/', '.');
  logger_ = Logger(logger_name + name_);
  change_guard_ = dds_create_guardcondition(context_->participant());
  graph_id_ = context_->add_node(namespace_, name_);
  if (options.enable_rosout()) {
    rosout_ = std::make_shared<detail::Rosout>(*this);
    add_waitable(rosout_);
    logging::detail::add_rosout_sink(logger_.get_name(), rosout_);
  }
  parameters_ = std::make_unique<detail::NodeParameters>(*this, options);
  sim_time_check_ = add_on_set_parameters_callback([](const std::vector<Parameter>& params) {
    rcl_interfaces::msg::SetParametersResult result;
    result.successful = true;
    for (const auto& p : params) {
      if (p.get_name() == "use_sim_time" && p.get_type() == PARAMETER_BOOL && p.as_bool()) {
        result.successful = false;
        result.reason = "use_sim_time cannot be true: this node runs on the system clock";
      }
    }
    return result;
  });
  declare_parameter("use_sim_time", false);
}

Node::~Node() {
  if (rosout_) logging::detail::remove_rosout_sink(rosout_.get());
  context_->remove_node(graph_id_);
  dds_delete(change_guard_);
}

ParameterValue Node::declare_parameter(const std::string& name, const ParameterValue& default_value,
                                       const rcl_interfaces::msg::ParameterDescriptor& descriptor,
                                       bool ignore_override) {
  return parameters_->declare(name, default_value, descriptor, ignore_override);
}

void Node::undeclare_parameter(const std::string& name) { parameters_->undeclare(name); }

bool Node::has_parameter(const std::string& name) const { return parameters_->has(name); }

Parameter Node::get_parameter(const std::string& name) const {
  Parameter p;
  if (!parameters_->get(name, p)) throw ParameterNotDeclaredException(name);
  return p;
}

bool Node::get_parameter(const std::string& name, Parameter& parameter) const {
  return parameters_->get(name, parameter);
}

std::vector<Parameter> Node::get_parameters(const std::vector<std::string>& names) const {
  std::vector<Parameter> out;
  for (const auto& name : names) out.push_back(get_parameter(name));
  return out;
}

rcl_interfaces::msg::SetParametersResult Node::set_parameter(const Parameter& parameter) {
  return parameters_->set_atomically({parameter});
}

std::vector<rcl_interfaces::msg::SetParametersResult> Node::set_parameters(
    const std::vector<Parameter>& parameters) {
  return parameters_->set(parameters);
}

rcl_interfaces::msg::SetParametersResult Node::set_parameters_atomically(
    const std::vector<Parameter>& parameters) {
  return parameters_->set_atomically(parameters);
}

rcl_interfaces::msg::ParameterDescriptor Node::describe_parameter(const std::string& name) const {
  if (!parameters_->has(name)) throw ParameterNotDeclaredException(name);
  return parameters_->describe({name}).at(0);
}

std::vector<rcl_interfaces::msg::ParameterDescriptor> Node::describe_parameters(
    const std::vector<std::string>& names) const {
  return parameters_->describe(names);
}

std::vector<uint8_t> Node::get_parameter_types(const std::vector<std::string>& names) const {
  return parameters_->types(names);
}

rcl_interfaces::msg::ListParametersResult Node::list_parameters(
    const std::vector<std::string>& prefixes, uint64_t depth) const {
  return parameters_->list(prefixes, depth);
}

OnSetParametersCallbackHandle::SharedPtr Node::add_on_set_parameters_callback(
    OnSetParametersCallbackHandle::OnParametersSetCallbackType callback) {
  auto handle = std::make_shared<OnSetParametersCallbackHandle>();
  handle->callback = std::move(callback);
  parameters_->add_on_set_callback(handle);
  return handle;
}

void Node::remove_on_set_parameters_callback(const OnSetParametersCallbackHandle* handle) {
  parameters_->remove_on_set_callback(handle);
}

std::string Node::get_fully_qualified_name() const {
  return namespace_ == "/" ? "/" + name_ : namespace_ + "/" + name_;
}

std::string Node::resolve_topic_name(const std::string& name, bool is_service) const {
  return names::resolve_name(rules_, name, name_, namespace_, is_service);
}

void Node::add_waitable(const std::shared_ptr<detail::Waitable>& waitable) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waitables_.push_back(waitable);
  }
  generation_.fetch_add(1);
  dds_set_guardcondition(change_guard_, true);
}

void Node::add_timer(const std::shared_ptr<TimerBase>& timer) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    timers_.push_back(timer);
  }
  timer->set_wake_condition(change_guard_);
  generation_.fetch_add(1);
  dds_set_guardcondition(change_guard_, true);
}

void Node::collect(std::vector<std::shared_ptr<detail::Waitable>>& waitables,
                   std::vector<std::shared_ptr<TimerBase>>& timers) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto w = waitables_.begin();
  while (w != waitables_.end()) {
    if (auto sp = w->lock()) {
      waitables.push_back(std::move(sp));
      ++w;
    } else {
      w = waitables_.erase(w);
    }
  }
  auto t = timers_.begin();
  while (t != timers_.end()) {
    if (auto sp = t->lock()) {
      timers.push_back(std::move(sp));
      ++t;
    } else {
      t = timers_.erase(t);
    }
  }
}

}  // namespace ros2
