#pragma once

// Renders a status snapshot as a terminal screen: the flags, a joint table in rad and degrees
// (reference, actual, error = reference - actual, actual velocity, measured and estimated
// torque), the tool pose, the first values of the collision data record. Topics not received
// yet show as "-". No DDS.

#include <string>

#include "brenvikctl/status_snapshot.h"

namespace brenvikctl {

class StatusFormatter {
 public:
  // title: the first line (for example which controller and domain).
  static std::string format(const StatusSnapshot& status, const std::string& title);
};

}  // namespace brenvikctl
