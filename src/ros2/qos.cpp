#include "ros2/qos.h"

#include <dds/dds.h>

#include <climits>

namespace ros2::detail {

dds_qos_t* make_dds_qos(const QoS& qos) {
  dds_qos_t* q = dds_create_qos();
  dds_qset_writer_data_lifecycle(q, false);
  const int32_t depth =
      qos.depth() > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(qos.depth());
  if (qos.history() == HistoryPolicy::KeepAll) {
    dds_qset_history(q, DDS_HISTORY_KEEP_ALL, DDS_LENGTH_UNLIMITED);
  } else {
    dds_qset_history(q, DDS_HISTORY_KEEP_LAST, depth);
  }
  if (qos.reliability() == ReliabilityPolicy::Reliable) {
    dds_qset_reliability(q, DDS_RELIABILITY_RELIABLE, DDS_INFINITY);
  } else {
    dds_qset_reliability(q, DDS_RELIABILITY_BEST_EFFORT, 0);
  }
  if (qos.durability() == DurabilityPolicy::TransientLocal) {
    dds_qset_durability(q, DDS_DURABILITY_TRANSIENT_LOCAL);
    dds_qset_durability_service(
        q, 0,
        qos.history() == HistoryPolicy::KeepAll ? DDS_HISTORY_KEEP_ALL : DDS_HISTORY_KEEP_LAST,
        qos.history() == HistoryPolicy::KeepAll ? DDS_LENGTH_UNLIMITED : depth,
        DDS_LENGTH_UNLIMITED, DDS_LENGTH_UNLIMITED, DDS_LENGTH_UNLIMITED);
  } else {
    dds_qset_durability(q, DDS_DURABILITY_VOLATILE);
  }
  if (qos.lifespan().count() > 0) dds_qset_lifespan(q, qos.lifespan().count());
  dds_qset_liveliness(q, DDS_LIVELINESS_AUTOMATIC, DDS_INFINITY);
  return q;
}

}  // namespace ros2::detail
