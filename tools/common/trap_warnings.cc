#include "common/trap_warnings.h"

namespace zqcli {

uint32_t trapWarningBit(const std::string& name) {
  for (size_t k = 0; k < kTrapWarningCount; ++k)
    if (name == kTrapWarningNames[k]) return 1u << k;
  return 0;
}

bool parseTrapWarnings(const std::string& text, uint32_t& bits, std::string& unknown) {
  auto trimmed = [](const std::string& t) {
    const size_t first = t.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return t.substr(first, t.find_last_not_of(" \t") - first + 1);
  };
  const std::string whole = trimmed(text);
  if (whole == "all" || whole == "none") {
    bits = whole == "all" ? kAllTrapWarnings : 0;
    return true;
  }
  uint32_t set = 0;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const std::string name =
        trimmed(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    const uint32_t bit = trapWarningBit(name);
    if (bit == 0) {
      unknown = name;
      return false;
    }
    set |= bit;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  bits = set;
  return true;
}

std::string trapWarningList(uint32_t bits) {
  std::string list;
  for (size_t k = 0; k < kTrapWarningCount; ++k) {
    if ((bits & (1u << k)) == 0) continue;
    if (!list.empty()) list += ',';
    list += kTrapWarningNames[k];
  }
  return list;
}

std::string unknownTrapWarning(const std::string& name) {
  std::string message = "unknown warning '" + name + "'; the warnings are";
  for (size_t k = 0; k < kTrapWarningCount; ++k)
    message += std::string(k == 0 ? " " : ", ") + kTrapWarningNames[k];
  return message + " (and 'all')";
}

int warningNumber(const std::string& name) { return zq::warningNumber(name); }

const char* warningName(int number) {
  return number >= 0 && static_cast<size_t>(number) < kWarningCount ? zq::kWarningNames[number]
                                                                      : "";
}

std::string warningList(uint32_t on) {
  std::string list;
  for (size_t n = 0; n < kWarningCount; ++n) {
    const uint32_t bit = 1u << n;
    if ((on & bit) == (kDefaultWarnings & bit)) continue;
    if (!list.empty()) list += ',';
    list += std::string((on & bit) != 0 ? "" : "no-") + zq::kWarningNames[n];
  }
  return list;
}

std::string unknownWarning(const std::string& name, const std::string& extra) {
  std::string message = "unknown warning '" + name + "'; the warnings are";
  for (size_t n = 0; n < kWarningCount; ++n)
    message += std::string(n == 0 ? " " : ", ") + zq::kWarningNames[n];
  if (!extra.empty()) message += ", " + extra;
  return message + " (and 'all')";
}

}  // namespace zqcli
