#include "brenvikctl/trajectory_command.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "brenvikctl/exit_codes.h"
#include "brenvikctl/interrupt.h"
#include "brenvikctl/number_text.h"
#include "brenvikctl/progress_bar.h"
#include "ros2/action.h"
#include "ros2/msg/control_msgs.h"

namespace brenvikctl {
namespace {

using FollowJointTrajectory = control_msgs::action::FollowJointTrajectory;
using Client = ros2::action::Client<FollowJointTrajectory>;

FollowJointTrajectory::Goal makeGoal(const std::vector<TimedPoint>& points, size_t n,
                                     double scale) {
  FollowJointTrajectory::Goal goal;
  for (size_t i = 1; i <= n; ++i)
    goal.trajectory.joint_names.push_back("joint" + std::to_string(i));
  for (const TimedPoint& point : points) {
    trajectory_msgs::msg::JointTrajectoryPoint p;
    for (const double q : point.positions) p.positions.push_back(q * scale);
    const double whole = std::floor(point.time);
    p.time_from_start.sec = static_cast<int32_t>(whole);
    p.time_from_start.nanosec =
        std::min(static_cast<uint32_t>(std::llround((point.time - whole) * 1e9)), 999999999u);
    goal.trajectory.points.push_back(p);
  }
  return goal;
}

}  // namespace

int TrajectoryCommand::run(const Invocation& inv, const std::vector<TimedPoint>& points,
                           ControllerLink& link, std::ostream& out, std::ostream& err) {
  const size_t n = link.axisCount();
  if (points.front().positions.size() != n) {
    err << "brenvikctl: trajectory: the controller has " << n << " axes, " << inv.file << " has "
        << points.front().positions.size() << " joint values a point\n";
    return exit_code::kUsage;
  }
  auto client =
      ros2::action::create_client<FollowJointTrajectory>(link.node(), "follow_joint_trajectory");
  if (!client->wait_for_action_server(link.discoveryTime())) {
    err << "brenvikctl: no controller found on " << link.where() << " in time: no action server "
        << link.node()->resolve_topic_name("follow_joint_trajectory", true) << "\n";
    return exit_code::kNoController;
  }

  const double duration = points.back().time - points.front().time;
  ProgressBar bar(stderr);
  double first_stamp = -1.0;
  Client::SendGoalOptions options;
  options.feedback_callback = [&](Client::GoalHandle::SharedPtr,
                                  std::shared_ptr<const FollowJointTrajectory::Feedback> f) {
    const double stamp = ros2::Time(f->header.stamp).seconds();
    if (first_stamp < 0.0) first_stamp = stamp;
    const double elapsed = stamp - first_stamp;
    char detail[64];
    std::snprintf(detail, sizeof(detail), "%.1f / %.1f s", elapsed, duration);
    bar.update(duration > 0.0 ? elapsed / duration : 1.0, detail);
  };
  auto goal_future =
      client->async_send_goal(makeGoal(points, n, inv.degrees ? kRadPerDeg : 1.0), options);
  const auto ready = [](const auto& future) {
    return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  };
  const auto answer_time = std::max(kAnswerTime, link.discoveryTime());
  if (!link.spinUntil([&] { return ready(goal_future); }, answer_time, false)) {
    err << "brenvikctl: the controller did not answer the goal in time\n";
    return exit_code::kNoController;
  }
  const Client::GoalHandle::SharedPtr handle = goal_future.get();
  if (handle == nullptr) {
    out << "rejected: the controller refused the goal (is it in its error state? brenvikctl "
           "recover)\n";
    link.spinFor(std::chrono::milliseconds(100));
    for (const std::string& line : link.reasons()) out << line << "\n";
    return exit_code::kNotReached;
  }
  out << "goal accepted: " << points.size() << " points over " << duration << " s\n";
  auto result_future = client->async_get_result(handle);
  bool canceling = false;
  while (!ready(result_future)) {
    if (Interrupt::requested() && !canceling) {
      canceling = true;
      bar.finish();
      out << "canceling the goal (Ctrl-C again quits at once)\n";
      (void)client->async_cancel_goal(handle);
      if (!link.spinUntil([&] { return ready(result_future); }, answer_time, false)) {
        err << "brenvikctl: the goal did not end in time after the cancel request\n";
        return exit_code::kInterrupted;
      }
      break;
    }
    (void)link.spinUntil([&] { return ready(result_future); }, std::chrono::milliseconds(100));
  }
  const Client::WrappedResult result = result_future.get();
  if (result.code == ros2::action::ResultCode::SUCCEEDED) {
    char detail[64];
    std::snprintf(detail, sizeof(detail), "%.1f / %.1f s", duration, duration);
    bar.update(1.0, detail);
  }
  if (!canceling) bar.finish();
  const std::string detail =
      result.result == nullptr
          ? std::string()
          : " (error_code " + std::to_string(result.result->error_code) +
                (result.result->error_string.empty() ? "" : ": " + result.result->error_string) +
                ")";
  switch (result.code) {
    case ros2::action::ResultCode::SUCCEEDED:
      out << "succeeded" << detail << "\n";
      return exit_code::kOk;
    case ros2::action::ResultCode::CANCELED:
      out << "canceled" << detail << "\n";
      return canceling ? exit_code::kInterrupted : exit_code::kNotReached;
    case ros2::action::ResultCode::ABORTED:
      out << "aborted" << detail << "\n";
      for (const std::string& line : link.reasons()) out << line << "\n";
      return exit_code::kNotReached;
    default:
      out << "ended without a result\n";
      return exit_code::kNotReached;
  }
}

}  // namespace brenvikctl
