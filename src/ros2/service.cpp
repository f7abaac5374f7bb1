#include "ros2/service.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>

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
               ServicesQoS(), "serviceid=" + service_id + ";"),
      logger_(node.get_logger()) {
  // The endpoints themselves wake the executor only when a client comes or goes.
  if (dds_set_status_mask(requests_.entity(), DDS_SUBSCRIPTION_MATCHED_STATUS) < 0 ||
      dds_set_status_mask(replies_.entity(), DDS_PUBLICATION_MATCHED_STATUS) < 0) {
    throw std::runtime_error("cannot watch the clients of service " + service_name);
  }
}

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

bool ServiceServer::reader_matched(const std::string& client_id) {
  const dds_return_t count = dds_get_matched_subscriptions(replies_.entity(), nullptr, 0);
  if (count <= 0) return false;
  matched_.resize(static_cast<size_t>(count));
  const dds_return_t n =
      dds_get_matched_subscriptions(replies_.entity(), matched_.data(), matched_.size());
  matched_.resize(static_cast<size_t>(std::clamp<dds_return_t>(n, 0, count)));
  bool found = false;
  for (const dds_instance_handle_t handle : matched_) {
    auto it = reader_clients_.find(handle);
    if (it == reader_clients_.end()) {
      dds_builtintopic_endpoint_t* ep =
          dds_get_matched_subscription_data(replies_.entity(), handle);
      if (ep == nullptr) continue;
      it = reader_clients_.emplace(handle, user_data_value(ep->qos, "clientid")).first;
      dds_builtintopic_free_endpoint(ep);
    }
    found = found || it->second == client_id;
  }
  // Forget the readers that are no longer matched.
  if (reader_clients_.size() > matched_.size()) {
    std::sort(matched_.begin(), matched_.end());
    for (auto it = reader_clients_.begin(); it != reader_clients_.end();) {
      const bool live = std::binary_search(matched_.begin(), matched_.end(), it->first);
      it = live ? std::next(it) : reader_clients_.erase(it);
    }
  }
  return found;
}

void ServiceServer::reply(const RequestId& id, std::vector<uint8_t> payload) {
  if (payload.size() < cdr::kHeaderSize + 16) return;
  std::memcpy(payload.data() + cdr::kHeaderSize, &id.guid, 8);
  std::memcpy(payload.data() + cdr::kHeaderSize + 8, &id.seq, 8);
  // No client id (an older client, or one already gone): nothing to wait for.
  const std::string client = client_id_of(id.writer);
  std::lock_guard<std::mutex> lock(mutex_);
  const bool behind_others = std::any_of(pending_.begin(), pending_.end(),
                                         [&](const Pending& p) { return p.client == client; });
  if (client.empty() || (!behind_others && reader_matched(client))) {
    replies_.write(payload);
    return;
  }
  if (pending_.size() >= kMaxPending) {
    ROS2_WARN(logger_, "%zu service replies wait for their clients' readers: dropped the oldest",
              pending_.size());
    pending_.erase(pending_.begin());
  }
  pending_.push_back({id, client, std::move(payload)});
}

void ServiceServer::send_pending() {
  // Reading the statuses resets them, so that they trigger again only on the next change.
  dds_get_subscription_matched_status(requests_.entity(), nullptr);
  dds_get_publication_matched_status(replies_.entity(), nullptr);
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (reader_matched(it->client)) {
      replies_.write(it->payload);
    } else if (client_id_of(it->id.writer).empty()) {
      // The client's request writer is gone: so is the client.
    } else {
      ++it;
      continue;
    }
    it = pending_.erase(it);
  }
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
