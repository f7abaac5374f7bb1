#pragma once

#include <string>
#include <vector>

namespace brenvik::test {

// The fields of a data-table line "a | b | c" (not std::regex: GCC 12 warns inside it under ASan).
inline std::vector<std::string> tableFields(const std::string& line) {
  std::vector<std::string> fields;
  size_t at = 0;
  for (size_t bar; (bar = line.find(" | ", at)) != std::string::npos; at = bar + 3) {
    fields.push_back(line.substr(at, bar - at));
  }
  fields.push_back(line.substr(at));
  return fields;
}

}  // namespace brenvik::test
