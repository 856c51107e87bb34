// The overlay of source texts.
#include "platform/source_overlay.h"

#include <utility>

#include "platform/platform.h"
#include "platform/text.h"

namespace zq {

bool SourceOverlay::set(const std::string& name, std::string text) {
  const std::string key = fullPath(name);
  if (key.empty()) return false;
  texts_[key] = std::move(text);
  return true;
}

void SourceOverlay::remove(const std::string& name) {
  std::string key;
  if (find(name, key) != nullptr) texts_.erase(key);
}

const std::string* SourceOverlay::find(const std::string& name, std::string& fullName) const {
  if (texts_.empty() || name.empty()) return nullptr;
  const std::string full = fullPath(name);
  auto exact = texts_.find(full);
  if (exact != texts_.end()) {
    fullName = exact->first;
    return &exact->second;
  }
  const std::pair<const std::string, std::string>* match = nullptr;
  for (const auto& entry : texts_) {
    if (!equalsNoCase(entry.first, full)) continue;
    if (match != nullptr) return nullptr;
    match = &entry;
  }
  if (match == nullptr) return nullptr;
  fullName = match->first;
  return &match->second;
}

}  // namespace zq
