#pragma once

// Nodes with their publishers, subscriptions and timers, shaped like rclcpp's.
//
//   auto node = std::make_shared<ros2::Node>("talker");
//   auto pub = node->create_publisher<std_msgs::msg::String>("chatter", 10);
//   auto sub = node->create_subscription<std_msgs::msg::String>(
//       "chatter", ros2::QoS(10), [](const std_msgs::msg::String& m) { ... });
//   auto timer = node->create_wall_timer(std::chrono::milliseconds(100), [] { ... });
//
// Callbacks run only in an executor that spins the node (executor.h), one at a time. publish()
// may be called from any thread.

#include <dds/dds.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "ros2/cdr.h"
#include "ros2/context.h"
#include "ros2/logging.h"
#include "ros2/msg/rcl_interfaces.h"
#include "ros2/parameter.h"
#include "ros2/qos.h"
#include "ros2/time.h"
#include "ros2/type_support.h"

struct ddsi_sertype;

namespace ros2 {

class Node;

namespace detail {

class NodeParameters;
class Rosout;

// Something the executor waits for: it exposes DDS conditions and, when one of them triggers,
// execute() takes the available samples and runs the callbacks on the executor's thread.
class Waitable {
 public:
  virtual ~Waitable() = default;
  virtual std::vector<dds_entity_t> conditions() const = 0;
  virtual void execute() = 0;
};

// The DDS type name of a message type.
template <class T>
std::string type_name() {
  return TypeSupport<T>::descriptor()->m_typename;
}

// A DDS writer or reader of the raw sertype, listed in the node's graph entry while it lives.
class Endpoint {
 public:
  enum class Kind { Writer, Reader };
  Endpoint(Node& node, Kind kind, const std::string& dds_topic, const std::string& type_name,
           const QoS& qos, const std::string& user_data = "",
           const dds_topic_descriptor_t* descriptor = nullptr);
  ~Endpoint();
  Endpoint(const Endpoint&) = delete;
  Endpoint& operator=(const Endpoint&) = delete;

  dds_entity_t entity() const { return entity_; }
  dds_entity_t read_condition() const { return read_condition_; }
  const ddsi_sertype* sertype() const { return sertype_; }

  // Writer: sends one payload (encapsulation header included).
  dds_return_t write(const uint8_t* data, size_t size) const;
  dds_return_t write(const std::vector<uint8_t>& payload) const {
    return write(payload.data(), payload.size());
  }

  // Reader: takes one sample; false when none is left. Invalid samples (disposals) and samples
  // that do not pass the IDL check are skipped and reported with an empty payload.
  struct Sample {
    std::vector<uint8_t>* payload = nullptr;  // valid until the next take
    dds_instance_handle_t publication_handle = 0;
    bool valid = false;
  };
  bool take(Sample& sample);

  size_t matched_count() const;

 private:
  std::shared_ptr<Context> context_;
  uint64_t node_id_;
  const dds_topic_descriptor_t* descriptor_;
  dds_entity_t topic_ = 0;
  dds_entity_t entity_ = 0;
  dds_entity_t read_condition_ = 0;
  const ddsi_sertype* sertype_ = nullptr;
  std::vector<uint8_t> take_buffer_;
};

}  // namespace detail

class PublisherBase {
 public:
  PublisherBase(Node& node, const std::string& topic, const std::string& type_name, const QoS& qos);
  virtual ~PublisherBase() = default;

  const std::string& get_topic_name() const { return topic_name_; }
  size_t get_subscription_count() const { return endpoint_.matched_count(); }
  // Sends an already serialized payload (encapsulation header included).
  void publish_serialized(const uint8_t* data, size_t size) const;
  dds_entity_t dds_writer() const { return endpoint_.entity(); }

 private:
  std::string topic_name_;
  detail::Endpoint endpoint_;
};

template <class MessageT>
class Publisher : public PublisherBase {
 public:
  using SharedPtr = std::shared_ptr<Publisher<MessageT>>;

  Publisher(Node& node, const std::string& topic, const QoS& qos)
      : PublisherBase(node, topic, detail::type_name<MessageT>(), qos) {}

  // Thread-safe; encodes into a per-thread buffer, so steady publishing does not allocate in
  // this layer.
  void publish(const MessageT& msg) const {
    std::vector<uint8_t>& buf = detail::scratch_buffer();
    cdr::serialize(msg, buf);
    publish_serialized(buf.data(), buf.size());
  }
  void publish(std::unique_ptr<MessageT> msg) const { publish(*msg); }
};

class SubscriptionBase : public detail::Waitable {
 public:
  SubscriptionBase(Node& node, const std::string& topic, const std::string& type_name,
                   const QoS& qos, const dds_topic_descriptor_t* descriptor);

  const std::string& get_topic_name() const { return topic_name_; }
  size_t get_publisher_count() const { return endpoint_.matched_count(); }
  dds_entity_t dds_reader() const { return endpoint_.entity(); }

  std::vector<dds_entity_t> conditions() const override { return {endpoint_.read_condition()}; }
  void execute() override;

 protected:
  // Decodes and delivers one payload; throws cdr::DecodeError on malformed data.
  virtual void deliver(const std::vector<uint8_t>& payload) = 0;

 private:
  std::string topic_name_;
  detail::Endpoint endpoint_;
  Logger logger_;
};

template <class MessageT>
class Subscription : public SubscriptionBase {
 public:
  using SharedPtr = std::shared_ptr<Subscription<MessageT>>;
  using Callback = std::function<void(std::shared_ptr<MessageT>)>;

  Subscription(Node& node, const std::string& topic, const QoS& qos, Callback callback)
      : SubscriptionBase(node, topic, detail::type_name<MessageT>(), qos,
                         TypeSupport<MessageT>::descriptor()),
        callback_(std::move(callback)) {}

 protected:
  void deliver(const std::vector<uint8_t>& payload) override {
    // The message of the last sample is decoded into again (keeping the capacity of its
    // sequences and strings) unless a callback kept it.
    if (!message_ || message_.use_count() > 1) message_ = std::make_shared<MessageT>();
    cdr::deserialize(payload.data(), payload.size(), *message_);
    callback_(message_);
  }

 private:
  Callback callback_;
  std::shared_ptr<MessageT> message_;
};

template <class ServiceT>
class Service;
template <class ServiceT>
class Client;

class TimerBase {
 public:
  using SharedPtr = std::shared_ptr<TimerBase>;
  TimerBase(std::chrono::nanoseconds period, std::function<void()> callback);

  // Any thread.
  void cancel() { canceled_.store(true); }
  bool is_canceled() const { return canceled_.load(); }
  // Restarts the period from now and re-enables a canceled timer; wakes a waiting executor so
  // that it waits for the new time. Any thread.
  void reset();
  std::chrono::nanoseconds time_until_trigger() const;

  // Runs the callback when due; returns whether it ran. Executor thread.
  bool execute_if_due();

  // The guard condition reset() triggers (the node's change condition).
  void set_wake_condition(dds_entity_t guard) { wake_condition_.store(guard); }

 private:
  std::chrono::nanoseconds period_;
  std::function<void()> callback_;
  mutable std::mutex mutex_;
  std::chrono::steady_clock::time_point next_;
  std::atomic<bool> canceled_{false};
  std::atomic<dds_entity_t> wake_condition_{0};
};

using WallTimer = TimerBase;

// Node arguments of their own, ahead of the global ones (rclcpp::NodeOptions).
class NodeOptions {
 public:
  NodeOptions& arguments(const std::vector<std::string>& args) {
    arguments_ = args;
    return *this;
  }
  const std::vector<std::string>& arguments() const { return arguments_; }
  NodeOptions& use_global_arguments(bool use) {
    use_global_arguments_ = use;
    return *this;
  }
  bool use_global_arguments() const { return use_global_arguments_; }
  // Whether the node publishes its log lines on /rosout (default true).
  NodeOptions& enable_rosout(bool enable) {
    enable_rosout_ = enable;
    return *this;
  }
  bool enable_rosout() const { return enable_rosout_; }
  // Values that parameters take when declared, instead of their defaults.
  NodeOptions& parameter_overrides(const std::vector<Parameter>& overrides) {
    parameter_overrides_ = overrides;
    return *this;
  }
  const std::vector<Parameter>& parameter_overrides() const { return parameter_overrides_; }
  // Whether the node serves the six parameter services (default true).
  NodeOptions& start_parameter_services(bool start) {
    start_parameter_services_ = start;
    return *this;
  }
  bool start_parameter_services() const { return start_parameter_services_; }
  // Whether the node publishes its parameter changes on /parameter_events (default true).
  NodeOptions& start_parameter_event_publisher(bool start) {
    start_parameter_event_publisher_ = start;
    return *this;
  }
  bool start_parameter_event_publisher() const { return start_parameter_event_publisher_; }

 private:
  std::vector<std::string> arguments_;
  bool use_global_arguments_ = true;
  bool enable_rosout_ = true;
  std::vector<Parameter> parameter_overrides_;
  bool start_parameter_services_ = true;
  bool start_parameter_event_publisher_ = true;
};

class Node : public std::enable_shared_from_this<Node> {
 public:
  using SharedPtr = std::shared_ptr<Node>;

  explicit Node(const std::string& name, const NodeOptions& options = NodeOptions());
  Node(const std::string& name, const std::string& ns, const NodeOptions& options = NodeOptions());
  virtual ~Node();
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  const std::string& get_name() const { return name_; }
  const std::string& get_namespace() const { return namespace_; }
  std::string get_fully_qualified_name() const;
  const Logger& get_logger() const { return logger_; }
  Clock::SharedPtr get_clock() const { return clock_; }
  Time now() const { return clock_->now(); }

  // The fully qualified name a topic (or service) name resolves to, remapping included.
  std::string resolve_topic_name(const std::string& name, bool is_service = false) const;

  template <class MessageT>
  typename Publisher<MessageT>::SharedPtr create_publisher(const std::string& topic,
                                                           const QoS& qos) {
    auto pub = std::make_shared<Publisher<MessageT>>(*this, topic, qos);
    return pub;
  }

  // The callback takes the message as const MessageT&, std::shared_ptr<MessageT>,
  // std::shared_ptr<const MessageT> or std::unique_ptr<MessageT>.
  template <class MessageT, class CallbackT>
  typename Subscription<MessageT>::SharedPtr create_subscription(const std::string& topic,
                                                                 const QoS& qos,
                                                                 CallbackT&& callback) {
    typename Subscription<MessageT>::Callback cb;
    if constexpr (std::is_invocable_v<CallbackT&, std::shared_ptr<MessageT>>) {
      cb = std::forward<CallbackT>(callback);
    } else if constexpr (std::is_invocable_v<CallbackT&, std::unique_ptr<MessageT>>) {
      cb = [f = std::forward<CallbackT>(callback)](std::shared_ptr<MessageT> m) mutable {
        f(std::make_unique<MessageT>(std::move(*m)));
      };
    } else {
      static_assert(std::is_invocable_v<CallbackT&, const MessageT&>,
                    "subscription callback has an unsupported signature");
      cb = [f = std::forward<CallbackT>(callback)](std::shared_ptr<MessageT> m) mutable { f(*m); };
    }
    auto sub = std::make_shared<Subscription<MessageT>>(*this, topic, qos, std::move(cb));
    add_waitable(sub);
    return sub;
  }

  // Services (defined in service.h, which callers include): the callback takes
  // (const std::shared_ptr<Request>&, const std::shared_ptr<Response>&).
  template <class ServiceT, class CallbackT>
  std::shared_ptr<Service<ServiceT>> create_service(const std::string& name, CallbackT&& callback);
  template <class ServiceT>
  std::shared_ptr<Client<ServiceT>> create_client(const std::string& name);

  template <class Rep, class Period>
  TimerBase::SharedPtr create_wall_timer(std::chrono::duration<Rep, Period> period,
                                         std::function<void()> callback) {
    auto timer = std::make_shared<TimerBase>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(period), std::move(callback));
    add_timer(timer);
    return timer;
  }

  // Parameters, as in rclcpp (node_parameters.h has the rules); any thread. Every node declares
  // use_sim_time (false; this layer runs on the system clock, so true is refused).
  //
  // declare_parameter returns the value taken: the override from the node options, or the
  // default. Throws std::invalid_argument for a name declared already, a value without a type
  // (unless the descriptor allows dynamic typing), an override of another type or a value out of
  // the descriptor's range.
  ParameterValue declare_parameter(const std::string& name, const ParameterValue& default_value,
                                   const rcl_interfaces::msg::ParameterDescriptor& descriptor = {},
                                   bool ignore_override = false);
  template <class T>
  auto declare_parameter(const std::string& name, const T& default_value,
                         const rcl_interfaces::msg::ParameterDescriptor& descriptor = {},
                         bool ignore_override = false) {
    const ParameterValue v =
        declare_parameter(name, ParameterValue(default_value), descriptor, ignore_override);
    if constexpr (std::is_convertible_v<const T&, std::string>) {
      return v.get<std::string>();
    } else {
      return v.get<T>();
    }
  }
  // Throws ParameterNotDeclaredException, or std::invalid_argument for a read-only or
  // statically typed parameter.
  void undeclare_parameter(const std::string& name);
  bool has_parameter(const std::string& name) const;
  // Throws ParameterNotDeclaredException.
  Parameter get_parameter(const std::string& name) const;
  bool get_parameter(const std::string& name, Parameter& parameter) const;
  // False when not declared; throws ParameterTypeException when the value is of another kind.
  template <class T>
  bool get_parameter(const std::string& name, T& value) const {
    Parameter p;
    if (!get_parameter(name, p)) return false;
    value = p.get_value<T>();
    return true;
  }
  // Throws ParameterNotDeclaredException when one of them is not declared.
  std::vector<Parameter> get_parameters(const std::vector<std::string>& names) const;
  // Unlike rclcpp, a parameter that is not declared is refused with a reason, not an exception.
  rcl_interfaces::msg::SetParametersResult set_parameter(const Parameter& parameter);
  std::vector<rcl_interfaces::msg::SetParametersResult> set_parameters(
      const std::vector<Parameter>& parameters);
  rcl_interfaces::msg::SetParametersResult set_parameters_atomically(
      const std::vector<Parameter>& parameters);
  // Throws ParameterNotDeclaredException.
  rcl_interfaces::msg::ParameterDescriptor describe_parameter(const std::string& name) const;
  // A name not declared gives a descriptor with only its name.
  std::vector<rcl_interfaces::msg::ParameterDescriptor> describe_parameters(
      const std::vector<std::string>& names) const;
  std::vector<uint8_t> get_parameter_types(const std::vector<std::string>& names) const;
  rcl_interfaces::msg::ListParametersResult list_parameters(
      const std::vector<std::string>& prefixes, uint64_t depth) const;
  // The callback may refuse a set call; it is kept while the returned handle lives.
  OnSetParametersCallbackHandle::SharedPtr add_on_set_parameters_callback(
      OnSetParametersCallbackHandle::OnParametersSetCallbackType callback);
  void remove_on_set_parameters_callback(const OnSetParametersCallbackHandle* handle);

  // Used by the executor and by entities built on the node.
  void add_waitable(const std::shared_ptr<detail::Waitable>& waitable);
  void add_timer(const std::shared_ptr<TimerBase>& timer);
  void collect(std::vector<std::shared_ptr<detail::Waitable>>& waitables,
               std::vector<std::shared_ptr<TimerBase>>& timers);
  // Triggered when an entity is added (which also advances entities_generation()) and when a
  // timer is reset, so that a waiting executor picks the change up.
  dds_entity_t change_condition() const { return change_guard_; }
  uint64_t entities_generation() const { return generation_.load(); }
  const std::shared_ptr<detail::Context>& context() const { return context_; }
  uint64_t graph_id() const { return graph_id_; }
  const std::vector<RemapRule>& remap_rules() const { return rules_; }

 private:
  std::shared_ptr<detail::Context> context_;
  std::vector<RemapRule> rules_;
  std::string name_;
  std::string namespace_;
  Logger logger_;
  Clock::SharedPtr clock_;
  uint64_t graph_id_ = 0;
  dds_entity_t change_guard_ = 0;
  std::atomic<uint64_t> generation_{0};
  // Set while an executor holds the node.
  std::atomic<bool> in_executor_{false};
  friend class Executor;
  std::mutex mutex_;
  std::vector<std::weak_ptr<detail::Waitable>> waitables_;
  std::vector<std::weak_ptr<TimerBase>> timers_;
  std::shared_ptr<detail::Rosout> rosout_;
  std::unique_ptr<detail::NodeParameters> parameters_;
  OnSetParametersCallbackHandle::SharedPtr sim_time_check_;
};

}  // namespace ros2
