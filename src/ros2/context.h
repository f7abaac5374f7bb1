#pragma once

// The state shared by all nodes of the process between init() and the release of the last
// node: the DDS participant, the parsed arguments, the shut-down condition and the graph
// information published on ros_discovery_info.

#include <dds/dds.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ros2/arguments.h"
#include "ros2/msg/rmw_dds_common.h"

struct ddsi_sertype;

namespace ros2::detail {

class Context {
 public:
  explicit Context(ParsedArguments args);
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  // The context of the last init(); throws std::runtime_error before the first init().
  static std::shared_ptr<Context> current();
  static std::shared_ptr<Context> current_or_null();
  static void set_current(std::shared_ptr<Context> context);

  bool ok() const { return running_.load(); }
  bool shutdown(const std::string& reason);
  void on_shutdown(std::function<void()> callback);

  dds_entity_t participant() const { return participant_; }
  dds_entity_t publisher() const { return publisher_; }
  dds_entity_t subscriber() const { return subscriber_; }
  // Triggered at shut-down; every executor waits on it.
  dds_entity_t shutdown_condition() const { return shutdown_guard_; }
  uint32_t domain_id() const { return domain_id_; }
  const ParsedArguments& arguments() const { return args_; }

  // A fresh client or service id for the user data of service endpoints.
  std::string next_endpoint_id();

  // Graph bookkeeping; every change republishes ros_discovery_info.
  uint64_t add_node(const std::string& ns, const std::string& name);
  void remove_node(uint64_t node);
  void add_endpoint(uint64_t node, dds_entity_t entity, bool is_reader);
  void remove_endpoint(uint64_t node, dds_entity_t entity);
  rmw_dds_common::msg::ParticipantEntitiesInfo graph_info() const;

 private:
  struct NodeEntry {
    std::string ns;
    std::string name;
    std::map<dds_entity_t, rmw_dds_common::msg::Gid> readers;
    std::map<dds_entity_t, rmw_dds_common::msg::Gid> writers;
  };

  rmw_dds_common::msg::ParticipantEntitiesInfo graph_info_locked() const;
  void publish_graph_locked();

  ParsedArguments args_;
  uint32_t domain_id_ = 0;
  bool localhost_domain_ = false;  // acquired the loopback-only domain, to be released
  dds_entity_t participant_ = 0;
  dds_entity_t publisher_ = 0;
  dds_entity_t subscriber_ = 0;
  dds_entity_t shutdown_guard_ = 0;
  dds_entity_t graph_writer_ = 0;
  const ddsi_sertype* graph_sertype_ = nullptr;
  rmw_dds_common::msg::Gid participant_gid_;
  std::atomic<bool> running_{true};

  mutable std::mutex mutex_;
  std::vector<std::function<void()>> shutdown_callbacks_;
  std::map<uint64_t, NodeEntry> nodes_;
  uint64_t next_node_ = 1;
  uint32_t next_endpoint_ = 1;
};

// The DDS GUID of an entity as a ROS 2 gid (16 bytes of GUID, 8 zero bytes).
rmw_dds_common::msg::Gid gid_of(dds_entity_t entity);

// Writes a serialized payload on a writer of the raw sertype.
dds_return_t write_payload(dds_entity_t writer, const ddsi_sertype* type, const uint8_t* data,
                           size_t size);

// A per-thread buffer for encoding messages without allocating on every publish.
std::vector<uint8_t>& scratch_buffer();

}  // namespace ros2::detail
