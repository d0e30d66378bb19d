#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace talvix {

// Icon indices for tree items, by name only (the disk is never asked). A file's icon depends
// only on its extension; each extension gets its index the first time it is asked for, so
// the indices are small numbers a view can map to pictures. Thread-safe: parsers ask from
// their worker thread.
class FileIconIndex {
 public:
  static constexpr int kUnknownFile = 0;  // no extension, or one not kept
  static constexpr int kPlaceholder = 1;  // the expansion placeholder's icon
  static constexpr int kFolder = 2;

  int folderIcon() const { return kFolder; }
  int iconForName(std::string_view name);
  // The lower-case extension an index stands for; empty for the fixed indices and unknown ones.
  std::string extensionOf(int index) const;

 private:
  mutable std::mutex mutex_;
  std::unordered_map<std::string, int> byExtension_;
  std::vector<std::string> extensions_;  // index - kFirstExtension
};

}  // namespace talvix
