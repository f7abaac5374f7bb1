#include "brenvikctl/point_file.h"

#include <fstream>
#include <sstream>

#include "brenvikctl/exit_codes.h"
#include "brenvikctl/number_text.h"

namespace brenvikctl {
namespace {

std::vector<std::string> splitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  for (const char c : line) {
    if (c == ',' || c == ' ' || c == '\t' || c == '\r') {
      if (!field.empty()) fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  if (!field.empty()) fields.push_back(field);
  return fields;
}

}  // namespace

int PointFile::read(const std::string& path, std::vector<TimedPoint>& points, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read " + path;
    return exit_code::kFile;
  }
  return parse(in, path, points, error);
}

int PointFile::parse(std::istream& in, const std::string& name, std::vector<TimedPoint>& points,
                     std::string& error) {
  points.clear();
  std::string line;
  int line_number = 0;
  bool first_content = true;
  while (std::getline(in, line)) {
    ++line_number;
    const std::vector<std::string> fields = splitFields(line);
    if (fields.empty() || fields[0][0] == '#') continue;
    const std::string at = name + ":" + std::to_string(line_number) + ": ";
    std::vector<double> values(fields.size());
    size_t numbers = 0;
    size_t bad = fields.size();
    for (size_t i = 0; i < fields.size(); ++i) {
      if (parseDouble(fields[i], values[i])) {
        ++numbers;
      } else if (bad == fields.size()) {
        bad = i;
      }
    }
    const bool header = first_content && numbers == 0;
    first_content = false;
    if (header) continue;
    if (bad < fields.size()) {
      error = at + "'" + fields[bad] + "' is not a number";
      return exit_code::kFile;
    }
    if (values.size() < 2) {
      error = at + "a point needs a time and at least one joint value";
      return exit_code::kFile;
    }
    if (!points.empty() && values.size() - 1 != points.front().positions.size()) {
      error = at + "has " + std::to_string(values.size() - 1) + " joint values, the first point " +
              std::to_string(points.front().positions.size());
      return exit_code::kFile;
    }
    if (values[0] < 0.0 || (!points.empty() && values[0] <= points.back().time)) {
      std::ostringstream message;
      message << at << "time " << fields[0] << " s must be "
              << (points.empty() ? "0 or more" : "greater than the time of the point before");
      error = message.str();
      return exit_code::kFile;
    }
    points.push_back({values[0], std::vector<double>(values.begin() + 1, values.end())});
  }
  if (points.empty()) {
    error = name + ": no points";
    return exit_code::kFile;
  }
  return exit_code::kOk;
}

}  // namespace brenvikctl
