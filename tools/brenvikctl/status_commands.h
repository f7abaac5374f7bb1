#pragma once

// status (one snapshot), watch (the snapshot redrawn at 10 Hz until Ctrl-C) and record (the
// status topics to CSV for a given time, with a progress bar). Main thread.

#include <ostream>

#include "brenvikctl/controller_link.h"
#include "brenvikctl/invocation.h"

namespace brenvikctl {

class StatusCommands {
 public:
  // status waits this long for every topic to arrive before it prints "-" for the missing ones.
  static constexpr std::chrono::milliseconds kSnapshotTime{1000};

  // Runs invocation on a connected link. Returns exit_code::kOk; record: kFile when the CSV
  // cannot be written, kNoController when the samples stop for 2 s, kInterrupted after Ctrl-C
  // (the rows so far stay in the file).
  [[nodiscard]] static int run(const Invocation& invocation, ControllerLink& link,
                               std::ostream& out, std::ostream& err);
};

}  // namespace brenvikctl
