#include "ros2/context.h"

#include <semaphore.h>
#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "ros2/cdr.h"
#include "ros2/init.h"
#include "ros2/logging.h"
#include "ros2/qos.h"
#include "ros2/serdata.h"

namespace ros2 {
namespace detail {
namespace {

// Cyclone configuration that keeps all traffic on the loopback interface, unicast only.
constexpr const char* kLocalhostConfig =
    "<CycloneDDS><Domain Id=\"any\"><General><Interfaces>"
    "<NetworkInterface name=\"lo\" multicast=\"false\"/></Interfaces>"
    "<AllowMulticast>false</AllowMulticast></General>"
    "<Discovery><ParticipantIndex>auto</ParticipantIndex>"
    "<MaxAutoParticipantIndex>50</MaxAutoParticipantIndex>"
    "<Peers><Peer address=\"127.0.0.1\"/></Peers></Discovery></Domain></CycloneDDS>";

std::mutex g_current_mutex;
std::shared_ptr<Context> g_current;

// Explicitly created domains, shared by the contexts that use them. The map is never destroyed: a
// context still current when the process calls exit() is released by the exit handlers, which
// destroy the static objects in reverse order of construction, and must still find its domain.
struct DomainUse {
  dds_entity_t handle = 0;
  int users = 0;
};
std::mutex g_domain_mutex;
std::map<uint32_t, DomainUse>& domains() {
  static auto* const domains = new std::map<uint32_t, DomainUse>();
  return *domains;
}

uint32_t read_domain_id() {
  const char* env = std::getenv("ROS_DOMAIN_ID");
  if (env == nullptr || *env == '\0') return 0;
  char* end = nullptr;
  errno = 0;
  const unsigned long v = std::strtoul(env, &end, 0);
  if (errno != 0 || end == env || *end != '\0' || v > 232) {
    throw std::runtime_error(std::string("invalid ROS_DOMAIN_ID '") + env + "'");
  }
  return static_cast<uint32_t>(v);
}

bool localhost_only() {
  const char* env = std::getenv("ROS_LOCALHOST_ONLY");
  return env != nullptr && std::strcmp(env, "1") == 0;
}

// Creates the loopback-only domain, or shares the one this process made already. Throws when
// Cyclone refuses it (a domain of that id made otherwise already exists, or the configuration is
// bad): joining any other domain could put traffic on other interfaces.
void acquire_domain(uint32_t id) {
  std::lock_guard<std::mutex> lock(g_domain_mutex);
  DomainUse& use = domains()[id];
  if (use.users > 0) {
    ++use.users;
    return;
  }
  std::string config = kLocalhostConfig;
  if (const char* uri = std::getenv("CYCLONEDDS_URI"); uri != nullptr && *uri != '\0') {
    config += ",";
    config += uri;
  }
  const dds_entity_t d = dds_create_domain(id, config.c_str());
  if (d < 0) {
    domains().erase(id);
    throw std::runtime_error("cannot create the loopback-only DDS domain " + std::to_string(id) +
                             ": " + dds_strretcode(d));
  }
  use.handle = d;
  use.users = 1;
}

void release_domain(uint32_t id) {
  std::lock_guard<std::mutex> lock(g_domain_mutex);
  auto it = domains().find(id);
  if (it == domains().end()) return;
  if (--it->second.users == 0) {
    if (it->second.handle > 0) dds_delete(it->second.handle);
    domains().erase(it);
  }
}

// SIGINT and SIGTERM: the handler only posts a semaphore; a watcher thread shuts ROS 2 down.
class SignalWatcher {
 public:
  ~SignalWatcher() { uninstall(); }

  void install() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (installed_) return;
    sem_init(&sem_, 0, 0);
    stop_.store(false);
    struct sigaction sa {};
    sa.sa_handler = &SignalWatcher::on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old_int_);
    sigaction(SIGTERM, &sa, &old_term_);
    thread_ = std::thread([this] { run(); });
    installed_ = true;
  }

  void uninstall() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!installed_) return;
    sigaction(SIGINT, &old_int_, nullptr);
    sigaction(SIGTERM, &old_term_, nullptr);
    stop_.store(true);
    sem_post(&sem_);
    if (thread_.joinable()) thread_.join();
    sem_destroy(&sem_);
    installed_ = false;
  }

  static SignalWatcher& instance() {
    static SignalWatcher w;
    return w;
  }

 private:
  static void on_signal(int) { sem_post(&instance().sem_); }

  void run() {
    while (true) {
      while (sem_wait(&sem_) != 0 && errno == EINTR) {
      }
      if (stop_.load()) return;
      if (auto ctx = Context::current_or_null()) ctx->shutdown("signal");
    }
  }

  std::mutex mutex_;
  bool installed_ = false;
  sem_t sem_{};
  std::atomic<bool> stop_{false};
  std::thread thread_;
  struct sigaction old_int_ {};
  struct sigaction old_term_ {};
};

}  // namespace

rmw_dds_common::msg::Gid gid_of(dds_entity_t entity) {
  rmw_dds_common::msg::Gid gid;
  dds_guid_t guid;
  if (dds_get_guid(entity, &guid) == DDS_RETCODE_OK) {
    std::memcpy(gid.data.data(), guid.v, sizeof(guid.v));
  }
  return gid;
}

dds_return_t write_payload(dds_entity_t writer, const ddsi_sertype* type, const uint8_t* data,
                           size_t size) {
  ddsi_serdata* sd = make_raw_serdata(type, data, size);
  if (sd == nullptr) return DDS_RETCODE_OUT_OF_RESOURCES;
  return dds_writecdr(writer, sd);
}

std::vector<uint8_t>& scratch_buffer() {
  thread_local std::vector<uint8_t> buf = [] {
    std::vector<uint8_t> b;
    b.reserve(4096);
    return b;
  }();
  return buf;
}

Context::Context(ParsedArguments args) : args_(std::move(args)) {
  domain_id_ = read_domain_id();
  localhost_domain_ = localhost_only();
  if (localhost_domain_) acquire_domain(domain_id_);

  dds_qos_t* pq = dds_create_qos();
  static constexpr char kUserData[] = "enclave=/;";
  dds_qset_userdata(pq, kUserData, sizeof(kUserData) - 1);
  participant_ = dds_create_participant(domain_id_, pq, nullptr);
  dds_delete_qos(pq);
  if (participant_ < 0) {
    if (localhost_domain_) release_domain(domain_id_);
    throw std::runtime_error(std::string("cannot create the DDS participant: ") +
                             dds_strretcode(participant_));
  }
  publisher_ = dds_create_publisher(participant_, nullptr, nullptr);
  subscriber_ = dds_create_subscriber(participant_, nullptr, nullptr);
  shutdown_guard_ = dds_create_guardcondition(participant_);
  participant_gid_ = gid_of(participant_);

  const std::string type_name = "rmw_dds_common::msg::dds_::ParticipantEntitiesInfo_";
  const dds_entity_t topic =
      create_raw_topic(participant_, "ros_discovery_info", type_name, &graph_sertype_);
  if (topic > 0) {
    dds_qos_t* wq = make_dds_qos(QoS(1).transient_local());
    graph_writer_ = dds_create_writer(publisher_, topic, wq, nullptr);
    dds_delete_qos(wq);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  publish_graph_locked();
}

Context::~Context() {
  shutdown("context released");
  dds_delete(participant_);
  if (localhost_domain_) release_domain(domain_id_);
}

std::shared_ptr<Context> Context::current() {
  auto ctx = current_or_null();
  if (!ctx) throw std::runtime_error("ros2::init() has not been called");
  return ctx;
}

std::shared_ptr<Context> Context::current_or_null() {
  std::lock_guard<std::mutex> lock(g_current_mutex);
  return g_current;
}

void Context::set_current(std::shared_ptr<Context> context) {
  // The previous context may be released here; do it outside the lock.
  std::shared_ptr<Context> old;
  {
    std::lock_guard<std::mutex> lock(g_current_mutex);
    old = std::move(g_current);
    g_current = std::move(context);
  }
}

bool Context::shutdown(const std::string&) {
  if (!running_.exchange(false)) return false;
  std::vector<std::function<void()>> callbacks;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    callbacks.swap(shutdown_callbacks_);
  }
  // As rclcpp does: the shut-down callbacks first, then the executors are woken up.
  for (auto& cb : callbacks) cb();
  dds_set_guardcondition(shutdown_guard_, true);
  return true;
}

void Context::on_shutdown(std::function<void()> callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  shutdown_callbacks_.push_back(std::move(callback));
}

std::string Context::next_endpoint_id() {
  uint32_t n;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    n = next_endpoint_++;
  }
  uint8_t id[16];
  std::memcpy(id, participant_gid_.data.data(), 12);
  id[12] = static_cast<uint8_t>(n >> 24);
  id[13] = static_cast<uint8_t>(n >> 16);
  id[14] = static_cast<uint8_t>(n >> 8);
  id[15] = static_cast<uint8_t>(n);
  std::string out;
  char hex[4];
  for (int i = 0; i < 16; ++i) {
    std::snprintf(hex, sizeof(hex), i == 0 ? "%x" : ".%x", id[i]);
    out += hex;
  }
  return out;
}

uint64_t Context::add_node(const std::string& ns, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t id = next_node_++;
  nodes_[id] = NodeEntry{ns, name, {}, {}};
  publish_graph_locked();
  return id;
}

void Context::remove_node(uint64_t node) {
  std::lock_guard<std::mutex> lock(mutex_);
  nodes_.erase(node);
  publish_graph_locked();
}

void Context::add_endpoint(uint64_t node, dds_entity_t entity, bool is_reader) {
  const auto gid = gid_of(entity);
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = nodes_.find(node);
  if (it == nodes_.end()) return;
  (is_reader ? it->second.readers : it->second.writers)[entity] = gid;
  publish_graph_locked();
}

void Context::remove_endpoint(uint64_t node, dds_entity_t entity) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = nodes_.find(node);
  if (it == nodes_.end()) return;
  it->second.readers.erase(entity);
  it->second.writers.erase(entity);
  publish_graph_locked();
}

rmw_dds_common::msg::ParticipantEntitiesInfo Context::graph_info() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return graph_info_locked();
}

rmw_dds_common::msg::ParticipantEntitiesInfo Context::graph_info_locked() const {
  rmw_dds_common::msg::ParticipantEntitiesInfo info;
  info.gid = participant_gid_;
  for (const auto& entry : nodes_) {
    const NodeEntry& n = entry.second;
    rmw_dds_common::msg::NodeEntitiesInfo ni;
    ni.node_namespace = n.ns;
    ni.node_name = n.name;
    for (const auto& r : n.readers) ni.reader_gid_seq.push_back(r.second);
    for (const auto& w : n.writers) ni.writer_gid_seq.push_back(w.second);
    info.node_entities_info_seq.push_back(std::move(ni));
  }
  return info;
}

void Context::publish_graph_locked() {
  if (graph_writer_ <= 0) return;
  std::vector<uint8_t> buf;
  cdr::serialize(graph_info_locked(), buf);
  write_payload(graph_writer_, graph_sertype_, buf.data(), buf.size());
}

}  // namespace detail

void init(int argc, const char* const argv[]) {
  ParsedArguments args = parse_arguments(argc, argv);
  logging::reset_levels();
  if (args.default_log_level) logging::set_default_level(*args.default_log_level);
  for (const auto& l : args.logger_levels) logging::set_logger_level(l.logger, l.level);
  for (const auto& u : args.unused) {
    ROS2_WARN(get_logger("ros2"), "argument '%s' is accepted but not used", u.c_str());
  }
  for (const auto& r : args.deprecated_remaps) {
    ROS2_WARN(get_logger("rcl"),
              "Found remap rule '%s'. This syntax is deprecated. Use '--ros-args --remap %s' "
              "instead.",
              r.c_str(), r.c_str());
  }
  auto ctx = std::make_shared<detail::Context>(std::move(args));
  detail::Context::set_current(ctx);
  detail::SignalWatcher::instance().install();
}

bool ok() {
  auto ctx = detail::Context::current_or_null();
  return ctx && ctx->ok();
}

bool shutdown(const std::string& reason) {
  auto ctx = detail::Context::current_or_null();
  detail::SignalWatcher::instance().uninstall();
  const bool was_running = ctx && ctx->shutdown(reason);
  // The participant lives on until the last node of this context is released.
  detail::Context::set_current(nullptr);
  return was_running;
}

void on_shutdown(std::function<void()> callback) {
  detail::Context::current()->on_shutdown(std::move(callback));
}

}  // namespace ros2

#if defined(__SANITIZE_THREAD__)
// Cyclone DDS is not built with ThreadSanitizer: its lock-free internals (garbage collector,
// delivery queues, atomics) look like races to the sanitizer. Reports whose stacks run through
// the library are left out; its mutexes are still seen, so races in our code are reported.
extern "C" const char* __tsan_default_suppressions() { return "race:libddsc.so.0debian\n"; }
#endif
