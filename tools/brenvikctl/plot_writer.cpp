#include "brenvikctl/plot_writer.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "brenvikctl/exit_codes.h"

namespace brenvikctl {
namespace {

// A gnuplot single-quoted string: a quote inside is doubled.
std::string quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::map<std::string, int> columnNumbers(const std::string& header) {
  std::map<std::string, int> columns;
  std::stringstream in(header);
  std::string name;
  for (int number = 1; std::getline(in, name, ','); ++number) {
    if (!name.empty() && name.back() == '\r') name.pop_back();
    columns[name] = number;
  }
  return columns;
}

// One panel: per joint the reference (dashed) and the actual (solid) column.
std::string panel(const std::string& data, const std::map<std::string, int>& columns,
                  const std::string& ref_prefix, const std::string& act_prefix) {
  std::string plot = "plot ";
  bool first = true;
  for (int joint = 1;; ++joint) {
    const auto ref = columns.find(ref_prefix + std::to_string(joint));
    const auto act = columns.find(act_prefix + std::to_string(joint));
    if (ref == columns.end() || act == columns.end()) break;
    const std::string name = "joint" + std::to_string(joint);
    const std::string colour = " lc " + std::to_string(joint);
    plot += std::string(first ? "" : ", ") + data + " using 1:" + std::to_string(ref->second) +
            " skip 1 with lines dt 2" + colour + " title '" + name + " reference', " + data +
            " using 1:" + std::to_string(act->second) + " skip 1 with lines" + colour + " title '" +
            name + " actual'";
    first = false;
  }
  return plot + "\n";
}

}  // namespace

std::string PlotWriter::defaultOutput(const std::string& csv_path) {
  const std::string ext = ".csv";
  if (csv_path.size() > ext.size() &&
      csv_path.compare(csv_path.size() - ext.size(), ext.size(), ext) == 0) {
    return csv_path.substr(0, csv_path.size() - ext.size()) + ".png";
  }
  return csv_path + ".png";
}

std::string PlotWriter::script(const std::string& csv_path, const std::string& png_path,
                               const std::string& header) {
  const std::map<std::string, int> columns = columnNumbers(header);
  const std::string data = quoted(csv_path);
  std::string s =
      "set terminal pngcairo size 1200,900 noenhanced font ',10'\n"
      "set output " +
      quoted(png_path) +
      "\n"
      "set datafile separator ','\n"
      "set key outside right top\n"
      "set grid\n"
      "set multiplot layout 2,1 title " +
      quoted("brenvik joint motion: " + csv_path) +
      "\n"
      "set ylabel 'position (rad)'\n" +
      panel(data, columns, "ref_pos_", "act_pos_") +
      "set xlabel 'time (s)'\n"
      "set ylabel 'velocity (rad/s)'\n" +
      panel(data, columns, "ref_vel_", "act_vel_") + "unset multiplot\n";
  return s;
}

int PlotWriter::plot(const std::string& csv_path, const std::string& png_path, std::string& error) {
  std::ifstream in(csv_path);
  std::string header;
  std::string row;
  if (!in || !std::getline(in, header)) {
    error = "cannot read " + csv_path;
    return exit_code::kFile;
  }
  const std::map<std::string, int> columns = columnNumbers(header);
  if (columns.count("time_s") == 0 || columns.count("ref_pos_1") == 0 ||
      columns.count("act_pos_1") == 0) {
    error = csv_path + ":1: not a brenvikctl recording (no time_s, ref_pos_1, act_pos_1 columns)";
    return exit_code::kFile;
  }
  if (!std::getline(in, row)) {
    error = csv_path + ": no samples to plot";
    return exit_code::kFile;
  }
  std::remove(png_path.c_str());
  // A gnuplot that dies early must not take this process with it through SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  std::FILE* gnuplot = popen("gnuplot", "w");
  if (gnuplot == nullptr) {
    error = "cannot start gnuplot (Debian package gnuplot-nox; scripts/setup installs it)";
    return exit_code::kExternal;
  }
  const std::string text = script(csv_path, png_path, header);
  std::fwrite(text.data(), 1, text.size(), gnuplot);
  const int status = pclose(gnuplot);
  struct stat info {};
  if (status != 0 || stat(png_path.c_str(), &info) != 0 || info.st_size == 0) {
    const int code = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    error = "gnuplot did not write " + png_path + " (exit status " + std::to_string(code) +
            (code == 127 ? ": gnuplot not found, install gnuplot-nox" : "") + ")";
    return exit_code::kExternal;
  }
  return exit_code::kOk;
}

}  // namespace brenvikctl
