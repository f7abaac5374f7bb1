#include "ros2/service.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace ros2::detail {
namespace {

std::string user_data_value(const dds_qos_t* qos, const std::string& key) {
  void* data = nullptr;
  size_t size = 0;
  if (qos == nullptr || !dds_qget_userdata(qos, &data, &size) || data == nullptr) return "";
  const std::string text(static_cast<const char*>(data), size);
  dds_free(data);
  const std::string needle = key + "=";
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find(';', pos);
    const std::string item = text.substr(pos, end == std::string::npos ? end : end - pos);
    if (item.rfind(needle, 0) == 0) return item.substr(needle.size());
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return "";
}

bool read_header(const std::vector<uint8_t>& payload, uint64_t& guid, int64_t& seq) {
  try {
    cdr::Reader r(payload.data(), payload.size());
    r(guid, seq);
    return true;
  } catch (const cdr::DecodeError&) {
    return false;
  }
}

}  // namespace

ServiceServer::ServiceServer(Node& node, const std::string& service_name, const ServiceTypes& types)
    : ServiceServer(node, service_name, types, node.context()->next_endpoint_id()) {}

ServiceServer::ServiceServer(Node& node, const std::string& service_name, const ServiceTypes& types,
                             const std::string& service_id)
    : requests_(node, Endpoint::Kind::Reader, "rq" + service_name + "Request", types.request_type,
                ServicesQoS(), "serviceid=" + service_id + ";", types.request_descriptor),
      replies_(node, Endpoint::Kind::Writer, "rr" + service_name + "Reply", types.response_type,
               ServicesQoS(), "serviceid=" + service_id + ";") {}

bool ServiceServer::take(RequestId& id, const std::vector<uint8_t>*& payload) {
  Endpoint::Sample s;
  while (requests_.take(s)) {
    if (!s.valid || !read_header(*s.payload, id.guid, id.seq)) continue;
    id.writer = s.publication_handle;
    payload = s.payload;
    return true;
  }
  return false;
}

std::string ServiceServer::client_id_of(dds_instance_handle_t writer) const {
  dds_builtintopic_endpoint_t* ep = dds_get_matched_publication_data(requests_.entity(), writer);
  if (ep == nullptr) return "";
  const std::string id = user_data_value(ep->qos, "clientid");
  dds_builtintopic_free_endpoint(ep);
  return id;
}

bool ServiceServer::client_reader_matched(const std::string& client_id) const {
  dds_instance_handle_t handles[64];
  const dds_return_t n = dds_get_matched_subscriptions(replies_.entity(), handles, 64);
  for (dds_return_t i = 0; i < n && i < 64; ++i) {
    dds_builtintopic_endpoint_t* ep =
        dds_get_matched_subscription_data(replies_.entity(), handles[i]);
    if (ep == nullptr) continue;
    const bool same = user_data_value(ep->qos, "clientid") == client_id;
    dds_builtintopic_free_endpoint(ep);
    if (same) return true;
  }
  return false;
}

void ServiceServer::reply(const RequestId& id, std::vector<uint8_t> payload) {
  if (payload.size() < cdr::kHeaderSize + 16) return;
  std::memcpy(payload.data() + cdr::kHeaderSize, &id.guid, 8);
  std::memcpy(payload.data() + cdr::kHeaderSize + 8, &id.seq, 8);
  const std::string client = client_id_of(id.writer);
  if (!client.empty()) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (!client_reader_matched(client) && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  replies_.write(payload);
}

ServiceClient::ServiceClient(Node& node, const std::string& service_name, const ServiceTypes& types)
    : ServiceClient(node, service_name, types, node.context()->next_endpoint_id()) {}

ServiceClient::ServiceClient(Node& node, const std::string& service_name, const ServiceTypes& types,
                             const std::string& client_id)
    : requests_(node, Endpoint::Kind::Writer, "rq" + service_name + "Request", types.request_type,
                ServicesQoS(), "clientid=" + client_id + ";"),
      replies_(node, Endpoint::Kind::Reader, "rr" + service_name + "Reply", types.response_type,
               ServicesQoS(), "clientid=" + client_id + ";", types.response_descriptor) {
  dds_instance_handle_t handle = 0;
  dds_get_instance_handle(requests_.entity(), &handle);
  guid_ = handle;
}

bool ServiceClient::is_ready() const {
  return requests_.matched_count() > 0 && replies_.matched_count() > 0;
}

int64_t ServiceClient::next_sequence() {
  static std::atomic<int64_t> counter{0};
  return ++counter;
}

bool ServiceClient::take(int64_t& seq, const std::vector<uint8_t>*& payload) {
  Endpoint::Sample s;
  while (replies_.take(s)) {
    uint64_t guid = 0;
    if (!s.valid || !read_header(*s.payload, guid, seq) || guid != guid_) continue;
    payload = s.payload;
    return true;
  }
  return false;
}

}  // namespace ros2::detail
