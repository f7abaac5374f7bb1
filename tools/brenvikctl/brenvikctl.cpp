#include "brenvikctl/brenvikctl.h"

#include <cmath>
#include <exception>
#include <fstream>

#include "brenvikctl/cli_arguments.h"
#include "brenvikctl/controller_link.h"
#include "brenvikctl/device_commands.h"
#include "brenvikctl/exit_codes.h"
#include "brenvikctl/motion_commands.h"
#include "brenvikctl/plot_writer.h"
#include "brenvikctl/point_file.h"
#include "brenvikctl/robot_description.h"
#include "brenvikctl/status_commands.h"
#include "brenvikctl/trajectory_command.h"
#include "brenvikctl/urdf_writer.h"

namespace brenvikctl {
namespace {

int fail(std::ostream& err, int code, const std::string& error) {
  err << "brenvikctl: " << error << "\n";
  return code;
}

int plot(const Invocation& inv, std::ostream& out, std::ostream& err) {
  const std::string png = inv.output.empty() ? PlotWriter::defaultOutput(inv.file) : inv.output;
  std::string error;
  if (const int result = PlotWriter::plot(inv.file, png, error); result != exit_code::kOk) {
    return fail(err, result, error);
  }
  out << "wrote " << png << "\n";
  return exit_code::kOk;
}

int urdf(const Invocation& inv, std::ostream& out, std::ostream& err) {
  RobotDescription description;
  std::string error;
  if (RobotDescription::read(inv.robot_para_file, description, error) != exit_code::kOk) {
    return fail(err, exit_code::kFile, error);
  }
  if (inv.output.empty()) {
    UrdfWriter::write(description, "brenvik", out);
    return exit_code::kOk;
  }
  std::ofstream file(inv.output);
  UrdfWriter::write(description, "brenvik", file);
  file.close();
  if (!file) return fail(err, exit_code::kFile, "cannot write " + inv.output);
  out << "wrote " << inv.output << "\n";
  return exit_code::kOk;
}

int runOnController(const Invocation& inv, const std::vector<TimedPoint>& points, std::ostream& out,
                    std::ostream& err) {
  ControllerLink link(inv.ros_argv, std::chrono::milliseconds(std::llround(inv.timeout * 1000.0)));
  std::string error;
  if (const int result = link.connect(error); result != exit_code::kOk) {
    return error.empty() ? result : fail(err, result, error);
  }
  switch (inv.command) {
    case Command::kMovj:
    case Command::kMovs:
    case Command::kPose:
      return MotionCommands::run(inv, points, link, out, err);
    case Command::kTrajectory:
      return TrajectoryCommand::run(inv, points, link, out, err);
    case Command::kStatus:
    case Command::kWatch:
    case Command::kRecord:
      return StatusCommands::run(inv, link, out, err);
    default:
      return DeviceCommands::run(inv, link, out, err);
  }
}

}  // namespace

int Brenvikctl::run(int argc, const char* const argv[], std::ostream& out, std::ostream& err) {
  Invocation inv;
  std::string error;
  if (CliArguments::parse(argc, argv, inv, error) != exit_code::kOk) {
    return fail(err, exit_code::kUsage, error);
  }
  switch (inv.command) {
    case Command::kHelp:
      out << CliArguments::usage();
      return exit_code::kOk;
    case Command::kPlot:
      return plot(inv, out, err);
    case Command::kUrdf:
      return urdf(inv, out, err);
    default:
      break;
  }
  // Files are read before the controller is looked for: a bad line is reported at once.
  std::vector<TimedPoint> points;
  if (inv.command == Command::kMovs || inv.command == Command::kTrajectory) {
    if (PointFile::read(inv.file, points, error) != exit_code::kOk) {
      return fail(err, exit_code::kFile, error);
    }
  }
  try {
    return runOnController(inv, points, out, err);
  } catch (const std::exception& e) {
    return fail(err, exit_code::kNoController, std::string("ROS 2: ") + e.what());
  }
}

}  // namespace brenvikctl
