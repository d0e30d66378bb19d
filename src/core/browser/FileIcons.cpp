#include "browser/FileIcons.h"

namespace talvix {
namespace {

constexpr int kFirstExtension = FileIconIndex::kFolder + 1;
// Names come from the disk: an extension longer than any real one, or more distinct
// extensions than a volume plausibly holds, gets the unknown-file icon instead of growing the
// table without bound.
constexpr std::size_t kMaxExtensionLength = 16;
constexpr std::size_t kMaxExtensions = 4096;

}  // namespace

int FileIconIndex::iconForName(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot + 1 == name.size()) return kUnknownFile;
  const std::string_view ext = name.substr(dot + 1);
  if (ext.size() > kMaxExtensionLength) return kUnknownFile;
  std::string key;
  for (char c : ext) key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;

  std::lock_guard lock(mutex_);
  if (auto it = byExtension_.find(key); it != byExtension_.end()) return it->second;
  if (extensions_.size() >= kMaxExtensions) return kUnknownFile;
  const int index = kFirstExtension + static_cast<int>(extensions_.size());
  extensions_.push_back(key);
  byExtension_.emplace(std::move(key), index);
  return index;
}

std::string FileIconIndex::extensionOf(int index) const {
  std::lock_guard lock(mutex_);
  const int slot = index - kFirstExtension;
  if (slot < 0 || static_cast<std::size_t>(slot) >= extensions_.size()) return {};
  return extensions_[static_cast<std::size_t>(slot)];
}

}  // namespace talvix
