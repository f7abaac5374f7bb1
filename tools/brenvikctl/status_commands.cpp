#include "brenvikctl/status_commands.h"

#include <algorithm>
#include <cstdio>
#include <deque>

#include "brenvikctl/csv_recorder.h"
#include "brenvikctl/exit_codes.h"
#include "brenvikctl/interrupt.h"
#include "brenvikctl/progress_bar.h"
#include "brenvikctl/status_formatter.h"

namespace brenvikctl {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string title(const ControllerLink& link) {
  return "brenvik_robot on " + link.where() + ", " + std::to_string(link.axisCount()) + " axes";
}

int record(const Invocation& inv, ControllerLink& link, std::ostream& out, std::ostream& err) {
  CsvRecorder recorder;
  std::string error;
  if (recorder.open(inv.file, link.axisCount(), error) != exit_code::kOk) {
    err << "brenvikctl: " << error << "\n";
    return exit_code::kFile;
  }
  ProgressBar bar(stderr);
  auto last_sample = Clock::now();
  // One row a control period: the controller publishes one actual and one reference joint state
  // each period, and reliably, so the two queues pair them in order even when the samples of
  // several periods arrive together.
  std::deque<sensor_msgs::msg::JointState> actual;
  std::deque<sensor_msgs::msg::JointState> reference;
  StatusSnapshot row;
  auto sample = [&] {
    last_sample = Clock::now();
    while (!actual.empty() && !reference.empty()) {
      if (recorder.rows() == 0 || recorder.duration() < inv.seconds) {
        row = link.status();
        row.actual = actual.front();
        row.reference = reference.front();
        recorder.write(row);
      }
      actual.pop_front();
      reference.pop_front();
    }
    char detail[96];
    std::snprintf(detail, sizeof(detail), "%.1f / %.1f s, %zu samples", recorder.duration(),
                  inv.seconds, recorder.rows());
    bar.update(recorder.duration() / inv.seconds, detail);
  };
  link.onActual([&] {
    actual.push_back(link.status().actual);
    sample();
  });
  link.onReference([&] {
    reference.push_back(link.status().reference);
    sample();
  });
  const bool done = link.spinUntil(
      [&] {
        return (recorder.rows() > 0 && recorder.duration() >= inv.seconds) ||
               Clock::now() - last_sample > link.discoveryTime();
      },
      std::chrono::hours(24 * 365));
  link.onActual(nullptr);
  link.onReference(nullptr);
  bar.finish();
  if (recorder.close(error) != exit_code::kOk) {
    err << "brenvikctl: " << error << "\n";
    return exit_code::kFile;
  }
  char summary[160];
  std::snprintf(summary, sizeof(summary), "%zu samples over %.2f s", recorder.rows(),
                recorder.duration());
  if (!done) {
    out << "interrupted: " << summary << " in " << inv.file << "\n";
    return exit_code::kInterrupted;
  }
  if (recorder.duration() < inv.seconds) {
    err << "brenvikctl: the controller's status stopped after " << summary << " (" << inv.file
        << " keeps them)\n";
    return exit_code::kNoController;
  }
  out << "recorded " << summary << " to " << inv.file << "\n";
  return exit_code::kOk;
}

}  // namespace

int StatusCommands::run(const Invocation& inv, ControllerLink& link, std::ostream& out,
                        std::ostream& err) {
  const StatusSnapshot& status = link.status();
  if (inv.command == Command::kRecord) return record(inv, link, out, err);
  if (inv.command == Command::kStatus) {
    (void)link.spinUntil(
        [&] {
          return std::all_of(status.counts.begin(), status.counts.end(),
                             [](size_t count) { return count > 0; });
        },
        kSnapshotTime);
    out << StatusFormatter::format(status, title(link));
    return exit_code::kOk;
  }
  // watch: home the cursor and clear the screen, then the snapshot, ten times a second.
  auto last_sample = Clock::now();
  link.onReference([&] { last_sample = Clock::now(); });
  while (!Interrupt::requested()) {
    link.spinFor(100ms);
    std::string head = title(link);
    const auto silent = Clock::now() - last_sample;
    if (silent > 500ms) {
      head += "   NO STATUS FOR " +
              std::to_string(std::chrono::duration_cast<std::chrono::seconds>(silent).count()) +
              " s";
    }
    out << "\033[H\033[2J" << StatusFormatter::format(status, head) << "\n(Ctrl-C to quit)\n"
        << std::flush;
  }
  link.onReference(nullptr);
  return exit_code::kOk;
}

}  // namespace brenvikctl
