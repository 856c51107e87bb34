// zqasm.json, read with nlohmann-json.
#include "config.h"

#include <nlohmann/json.hpp>

#include "common/command_line.h"
#include "common/trap_warnings.h"
#include "platform/platform.h"
#include "zqasm/observer.h"

namespace zqlsp {

namespace {

using nlohmann::json;

// A path of the file, absolute (also "C:..." and "\\..." for Windows), or taken from the
// root.
std::string pathFrom(const std::string& root, const std::string& path) {
  const bool absolute =
      !path.empty() && (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
  return zq::fullPath(absolute || root.empty() ? path : root + "/" + path);
}

}  // namespace

InlayHintSettings parseInlayHintSettings(const json& value, std::vector<std::string>& problems) {
  InlayHintSettings settings;
  if (!value.is_object()) {
    problems.push_back("inlayHints must be an object of true or false switches");
    return settings;
  }
  for (const auto& item : value.items()) {
    std::optional<bool>* slot = item.key() == "addresses"     ? &settings.addresses
                                : item.key() == "trampolines" ? &settings.trampolines
                                : item.key() == "constants"   ? &settings.constants
                                                              : nullptr;
    if (slot == nullptr) {
      problems.push_back("unknown key inlayHints." + item.key());
    } else if (!item.value().is_boolean()) {
      problems.push_back("inlayHints." + item.key() + " must be true or false");
    } else {
      *slot = item.value().get<bool>();
    }
  }
  return settings;
}

// Keys are read one by one, so that one wrong key leaves the others in force; values are
// checked as the command line checks its options (ranges of the tops, defines through
// ZqasmCheckDefine).
Configuration parseConfiguration(const std::string& text, const std::string& root,
                                 std::vector<std::string>& problems) {
  Configuration c;
  const json document = json::parse(text, nullptr, false);
  if (document.is_discarded() || !document.is_object()) {
    problems.push_back(std::string(kConfigurationFile) + " is not a JSON object");
    return c;
  }
  auto paths = [&](const json& value, const char* key, std::vector<std::string>& out) {
    if (!value.is_array()) {
      problems.push_back(std::string(key) + " must be a list of paths");
      return;
    }
    for (const json& item : value) {
      if (item.is_string()) {
        out.push_back(pathFrom(root, item.get<std::string>()));
      } else {
        problems.push_back(std::string(key) + " must be a list of paths");
      }
    }
  };
  auto number = [&](const json& value, const char* key, bool negative, int64_t low, int64_t high,
                    int32_t& out) {
    int64_t n = 0;
    const bool ok = value.is_number_integer()
                        ? (n = value.get<int64_t>(), true)
                        : value.is_string() &&
                              zqcli::parseNumber(value.get<std::string>(), negative, n);
    if (!ok || n < low || n > high) {
      problems.push_back(std::string(key) + " must be a number from " + std::to_string(low) +
                         " to " + std::to_string(high));
      return;
    }
    out = static_cast<int32_t>(n);
  };
  for (const auto& item : document.items()) {
    const std::string& key = item.key();
    const json& value = item.value();
    if (key == "sources") {
      paths(value, "sources", c.sources);
    } else if (key == "includeDirs") {
      paths(value, "includeDirs", c.includeDirectories);
    } else if (key == "chipDir" || key == "maskOptions") {
      if (!value.is_string()) {
        problems.push_back(key + " must be a path");
        continue;
      }
      (key == "chipDir" ? c.chipDirectory : c.maskOptions) =
          pathFrom(root, value.get<std::string>());
    } else if (key == "romTop") {
      number(value, "romTop", false, 0, 0xFFFF, c.romTop);
    } else if (key == "tableTop") {
      number(value, "tableTop", true, -1, 0xFFFFF, c.tableTop);
    } else if (key == "caseSensitive") {
      if (value.is_boolean()) {
        c.caseSensitive = value.get<bool>();
      } else {
        problems.push_back("caseSensitive must be true or false");
      }
    } else if (key == "defines") {
      if (!value.is_object()) {
        problems.push_back("defines must be an object of names and values");
        continue;
      }
      for (const auto& define : value.items()) {
        std::string v;
        if (define.value().is_number_integer()) {
          v = std::to_string(define.value().get<int64_t>());
        } else if (define.value().is_string()) {
          v = define.value().get<std::string>();
        } else if (!define.value().is_boolean() || !define.value().get<bool>()) {
          problems.push_back("define " + define.key() + " must be a number, a text or true");
          continue;
        }
        if (ZqasmCheckDefine(define.key().c_str(), v.c_str()) != 1) {
          problems.push_back("define " + define.key() + " is not a valid name and number");
          continue;
        }
        c.defines.emplace_back(define.key(), v);
      }
    } else if (key == "warnings") {
      // "all", "none", or a list of names.
      std::string list;
      bool ok = value.is_string();
      if (ok) {
        list = value.get<std::string>();
        ok = list == "all" || list == "none";
      } else if (value.is_array()) {
        ok = true;
        for (const json& name : value) {
          if (!name.is_string()) ok = false;
          if (ok) list += (list.empty() ? "" : ",") + name.get<std::string>();
        }
        if (value.empty()) list = "none";
      }
      uint32_t bits = 0;
      std::string unknown;
      if (!ok) {
        problems.push_back("warnings must be \"all\", \"none\" or a list of warning names");
      } else if (!zqcli::parseTrapWarnings(list, bits, unknown)) {
        problems.push_back("warnings: " + zqcli::unknownTrapWarning(unknown));
      } else {
        c.warnings = zqcli::trapWarningList(bits);
      }
    } else if (key == "inlayHints") {
      c.inlayHints = parseInlayHintSettings(value, problems);
    } else {
      problems.push_back("unknown key " + key);
    }
  }
  return c;
}

}  // namespace zqlsp
