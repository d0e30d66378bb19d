#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "util/ByteSink.h"

namespace talvix {

// An entry of a scanned volume, as the file system's adapter numbers it.
using EntryId = std::uint64_t;
inline constexpr EntryId kNoEntry = ~EntryId{0};

// The file list's columns 1 to 5 for an entry.
struct EntryTexts {
  std::string creationTime, accessTime, modificationTime, size, attribute;
};

// The raw values behind those texts, for scripts: times as seconds since 1970-01-01 UTC.
struct EntryDetails {
  std::uint64_t size = 0;
  std::optional<std::int64_t> creationTime, accessTime, modificationTime;
  std::string attribute;
};

// What the browser, the save walk, the search and the command line need of a scanned volume,
// whatever its file system. Each parser has one adapter; nothing else looks at its entries.
class EntrySource {
 public:
  virtual ~EntrySource() = default;

  // The first entry below the top item ("ROOT"); kNoEntry when the volume shows nothing.
  virtual EntryId firstTopLevel() const = 0;
  virtual EntryId firstChild(EntryId id) const = 0;
  virtual EntryId nextSibling(EntryId id) const = 0;
  virtual bool hasChildren(EntryId id) const = 0;
  // Whether `id` names an entry at all (a tree item's data may be stale or foreign).
  virtual bool valid(EntryId id) const = 0;

  virtual std::string name(EntryId id) const = 0;
  virtual bool isFolder(EntryId id) const = 0;
  // Shown in red: the entry (or, for some file systems, its folder) was deleted.
  virtual bool deleted(EntryId id) const = 0;
  virtual EntryTexts columnTexts(EntryId id) = 0;
  virtual EntryDetails details(EntryId id) = 0;

  // Saving. A folder the user selected can be saved (with everything below it).
  virtual bool savableFolder(EntryId id) const { return valid(id) && isFolder(id); }
  // A folder child that the save walk enters.
  virtual bool descendOnSave(EntryId id) const { return isFolder(id); }
  // A file child that the save walk counts but does not write.
  virtual bool skipOnSave(EntryId /*id*/) const { return false; }
  // The name a saved file or folder gets (before it is made safe for the output folder).
  virtual std::string saveName(EntryId id) const { return name(id); }
  // The size in the "File size: ... kb" line while saving.
  virtual std::uint64_t statusSize(EntryId id) = 0;
  // Writes the file into `folder` as `fileName`, with its times (and whatever else the file
  // system keeps beside the content). False when the file could not be written.
  virtual bool save(EntryId id, const std::filesystem::path& folder,
                    const std::string& fileName) = 0;
  // Gives a saved folder the entry's times, once everything inside it has been written.
  virtual void setFolderTimes(EntryId /*id*/, const std::filesystem::path& /*folder*/) {}
  // The file's content alone.
  virtual bool writeContent(EntryId id, ByteSink& out) = 0;

  // Gives the entry a new name (a recycled file gets back the one it had). False when the
  // file system's entries cannot be renamed.
  virtual bool rename(EntryId /*id*/, const std::string& /*newName*/) { return false; }
};

}  // namespace talvix
