#include "ros2/arguments.h"

#include <algorithm>
#include <cctype>

namespace ros2 {
namespace {

std::string join_quoted(const std::vector<std::string>& args) {
  std::string out;
  for (const auto& a : args) {
    if (!out.empty()) out += ", ";
    out += "'" + a + "'";
  }
  return out;
}

bool is_token_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// A name token: letters, digits and single underscores, not starting with a digit.
bool is_token(const std::string& s) {
  if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (!is_token_char(s[i])) return false;
    if (s[i] == '_' && i + 1 < s.size() && s[i + 1] == '_') return false;
  }
  return true;
}

// "~/a/b", "/a/b" or "a/b" made of tokens.
bool is_name(const std::string& s, bool allow_private) {
  std::string rest = s;
  if (allow_private && rest.rfind("~/", 0) == 0) {
    rest = rest.substr(2);
  } else if (allow_private && rest == "~") {
    return true;
  } else if (!rest.empty() && rest[0] == '/') {
    rest = rest.substr(1);
  }
  if (rest.empty()) return s == "/";
  size_t start = 0;
  while (true) {
    const size_t slash = rest.find('/', start);
    const std::string tok = rest.substr(start, slash == std::string::npos ? slash : slash - start);
    if (!is_token(tok)) return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

std::optional<LogLevel> parse_level(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (s == "debug") return LogLevel::Debug;
  if (s == "info") return LogLevel::Info;
  if (s == "warn" || s == "warning") return LogLevel::Warn;
  if (s == "error") return LogLevel::Error;
  if (s == "fatal") return LogLevel::Fatal;
  return std::nullopt;
}

// An argument outside --ros-args that rcl still takes as a remap rule.
bool is_deprecated_remap(const std::string& arg) {
  if (arg.find(":=") == std::string::npos) return false;
  try {
    parse_remap_rule(arg);
    return true;
  } catch (const InvalidArgumentError&) {
    return false;
  }
}

}  // namespace

UnknownROSArgsError::UnknownROSArgsError(std::vector<std::string> unknown)
    : std::runtime_error("found unknown ROS arguments: " + join_quoted(unknown)),
      unknown_(std::move(unknown)) {}

RemapRule parse_remap_rule(const std::string& text) {
  RemapRule rule;
  const size_t sep = text.find(":=");
  if (sep == std::string::npos) throw InvalidArgumentError("remap rule without ':=': " + text);
  std::string lhs = text.substr(0, sep);
  rule.replacement = text.substr(sep + 2);
  for (const char* prefix : {"rostopic://", "rosservice://"}) {
    const size_t at = lhs.find(prefix);
    if (at != std::string::npos) {
      rule.applies = std::string(prefix) == "rostopic://" ? RemapRule::Applies::Topics
                                                          : RemapRule::Applies::Services;
      const std::string node_part = lhs.substr(0, at);
      lhs = node_part + lhs.substr(at + std::string(prefix).size());
    }
  }
  const size_t colon = lhs.find(':');
  if (colon != std::string::npos) {
    rule.node = lhs.substr(0, colon);
    lhs = lhs.substr(colon + 1);
    if (!is_token(rule.node)) throw InvalidArgumentError("invalid node name in remap: " + text);
  }
  if (lhs == "__ns") {
    rule.kind = RemapRule::Kind::Namespace;
    if (rule.replacement.empty() || rule.replacement[0] != '/' ||
        !is_name(rule.replacement, false)) {
      throw InvalidArgumentError("namespace not fully qualified in remap: " + text);
    }
  } else if (lhs == "__node" || lhs == "__name") {
    rule.kind = RemapRule::Kind::NodeName;
    if (!is_token(rule.replacement)) throw InvalidArgumentError("invalid node name: " + text);
  } else {
    rule.kind = RemapRule::Kind::Name;
    if (lhs.find('*') != std::string::npos) {
      throw InvalidArgumentError("wildcards in remap rules are not implemented: " + text);
    }
    if (!is_name(lhs, true) || lhs == "/") throw InvalidArgumentError("invalid remap: " + text);
    if (rule.replacement.find('\\') != std::string::npos) {
      throw InvalidArgumentError("backreferences in remap rules are not implemented: " + text);
    }
    if (!is_name(rule.replacement, true) || rule.replacement == "/") {
      throw InvalidArgumentError("invalid remap replacement: " + text);
    }
  }
  rule.match = lhs;
  return rule;
}

ParsedArguments parse_arguments(int argc, const char* const argv[]) {
  ParsedArguments out;
  std::vector<std::string> unknown;
  bool in_ros = false;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i] != nullptr ? argv[i] : "";
    if (i == 0) {
      out.non_ros.push_back(a);
      continue;
    }
    if (!in_ros) {
      if (a == "--ros-args") {
        in_ros = true;
      } else if (is_deprecated_remap(a)) {
        out.remaps.push_back(parse_remap_rule(a));
        out.deprecated_remaps.push_back(a);
      } else {
        out.non_ros.push_back(a);
      }
      continue;
    }
    if (a == "--") {
      in_ros = false;
      continue;
    }
    if (a == "--ros-args") continue;
    auto value = [&](const std::string& flag) -> std::string {
      if (i + 1 >= argc || argv[i + 1] == nullptr) {
        throw InvalidArgumentError("argument '" + flag + "' needs a value");
      }
      return argv[++i];
    };
    if (a == "-r" || a == "--remap") {
      out.remaps.push_back(parse_remap_rule(value(a)));
    } else if (a == "--log-level") {
      const std::string v = value(a);
      const size_t sep = v.find(":=");
      if (sep == std::string::npos) {
        const auto level = parse_level(v);
        if (!level) throw InvalidArgumentError("invalid log level: " + v);
        out.default_log_level = level;
      } else {
        const auto level = parse_level(v.substr(sep + 2));
        if (!level) throw InvalidArgumentError("invalid log level: " + v);
        out.logger_levels.push_back({v.substr(0, sep), *level});
      }
    } else if (a == "-p" || a == "--param" || a == "--params-file" || a == "-e" ||
               a == "--enclave" || a == "--log-config-file") {
      out.unused.push_back(a + " " + value(a));
    } else if (a == "--enable-stdout-logs" || a == "--disable-stdout-logs" ||
               a == "--enable-rosout-logs" || a == "--disable-rosout-logs" ||
               a == "--enable-external-lib-logs" || a == "--disable-external-lib-logs") {
      out.unused.push_back(a);
    } else {
      unknown.push_back(a);
    }
  }
  if (!unknown.empty()) throw UnknownROSArgsError(std::move(unknown));
  return out;
}

std::vector<std::string> remove_ros_arguments(int argc, const char* const argv[]) {
  std::vector<std::string> out;
  bool in_ros = false;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i] != nullptr ? argv[i] : "";
    if (i > 0 && !in_ros && a == "--ros-args") {
      in_ros = true;
    } else if (in_ros && a == "--") {
      in_ros = false;
    } else if (!in_ros && (i == 0 || !is_deprecated_remap(a))) {
      out.push_back(a);
    }
  }
  return out;
}

namespace names {

std::string normalize_namespace(const std::string& ns) {
  std::string out = ns.empty() ? "/" : ns;
  if (out[0] != '/') out = "/" + out;
  if (out.size() > 1 && out.back() == '/') out.pop_back();
  if (out != "/" && !is_name(out, false)) throw InvalidArgumentError("invalid namespace: " + ns);
  if (out.size() > 245) throw InvalidArgumentError("namespace too long: " + ns);
  return out;
}

void validate_node_name(const std::string& name) {
  if (name.empty() || name.size() > 255 || std::isdigit(static_cast<unsigned char>(name[0])) ||
      !std::all_of(name.begin(), name.end(), is_token_char)) {
    throw InvalidArgumentError("invalid node name: '" + name + "'");
  }
}

void validate_full_topic_name(const std::string& name) {
  if (name.empty() || name[0] != '/') {
    throw InvalidArgumentError("topic name must be absolute: '" + name + "'");
  }
  if (name.size() > 1 && name.back() == '/') {
    throw InvalidArgumentError("topic name must not end with '/': '" + name + "'");
  }
  if (name.size() > 247) throw InvalidArgumentError("topic name too long: '" + name + "'");
  if (name.find("//") != std::string::npos) {
    throw InvalidArgumentError("topic name contains '//': '" + name + "'");
  }
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (!is_token_char(c) && c != '/') {
      throw InvalidArgumentError("invalid character in topic name: '" + name + "'");
    }
    if (c == '/' && i + 1 < name.size() && std::isdigit(static_cast<unsigned char>(name[i + 1]))) {
      throw InvalidArgumentError("topic name token starts with a digit: '" + name + "'");
    }
  }
}

std::string expand_topic_name(const std::string& name, const std::string& node_name,
                              const std::string& node_namespace) {
  if (name.empty()) throw InvalidArgumentError("empty topic name");
  std::string out = name;
  const std::string node_fq =
      node_namespace == "/" ? "/" + node_name : node_namespace + "/" + node_name;
  if (out[0] == '~') {
    if (out.size() > 1 && out[1] != '/') throw InvalidArgumentError("invalid name: " + name);
    out = node_fq + out.substr(1);
  }
  size_t open = 0;
  while ((open = out.find('{', open)) != std::string::npos) {
    const size_t close = out.find('}', open);
    if (close == std::string::npos) throw InvalidArgumentError("unmatched '{' in " + name);
    const std::string key = out.substr(open + 1, close - open - 1);
    std::string value;
    if (key == "node") {
      value = node_name;
    } else if (key == "ns" || key == "namespace") {
      // In the root namespace "{ns}/x" is "/x", not "//x".
      const bool slash_follows = close + 1 < out.size() && out[close + 1] == '/';
      value = node_namespace == "/" && slash_follows ? "" : node_namespace;
    } else {
      throw InvalidArgumentError("unknown substitution {" + key + "} in " + name);
    }
    out.replace(open, close - open + 1, value);
  }
  if (out[0] != '/') out = (node_namespace == "/" ? "/" : node_namespace + "/") + out;
  validate_full_topic_name(out);
  return out;
}

std::string remap_node_name(const std::vector<RemapRule>& rules, const std::string& name) {
  for (const auto& r : rules) {
    if (r.kind == RemapRule::Kind::NodeName && (r.node.empty() || r.node == name)) {
      return r.replacement;
    }
  }
  return name;
}

std::string remap_namespace(const std::vector<RemapRule>& rules, const std::string& node_name,
                            const std::string& ns) {
  for (const auto& r : rules) {
    if (r.kind == RemapRule::Kind::Namespace && (r.node.empty() || r.node == node_name)) {
      return r.replacement;
    }
  }
  return ns;
}

std::string resolve_name(const std::vector<RemapRule>& rules, const std::string& name,
                         const std::string& node_name, const std::string& node_namespace,
                         bool is_service) {
  const std::string fq = expand_topic_name(name, node_name, node_namespace);
  for (const auto& r : rules) {
    if (r.kind != RemapRule::Kind::Name) continue;
    if (!r.node.empty() && r.node != node_name) continue;
    if (r.applies == RemapRule::Applies::Topics && is_service) continue;
    if (r.applies == RemapRule::Applies::Services && !is_service) continue;
    if (expand_topic_name(r.match, node_name, node_namespace) == fq) {
      return expand_topic_name(r.replacement, node_name, node_namespace);
    }
  }
  return fq;
}

}  // namespace names
}  // namespace ros2
