#pragma once

#include "browser/EntrySource.h"
#include "fs/ntfs/NtfsParser.h"

namespace talvix {

// The NTFS parser's entries as the browser sees them; an entry's id is its index.
class NtfsEntries final : public EntrySource {
 public:
  explicit NtfsEntries(ntfs::ntfs& parser) : parser_(parser) {}

  EntryId firstTopLevel() const override;
  EntryId firstChild(EntryId id) const override;
  EntryId nextSibling(EntryId id) const override;
  bool hasChildren(EntryId id) const override;
  bool valid(EntryId id) const override;
  std::string name(EntryId id) const override;
  bool isFolder(EntryId id) const override;
  bool deleted(EntryId id) const override;
  EntryTexts columnTexts(EntryId id) override;
  EntryDetails details(EntryId id) override;
  bool savableFolder(EntryId id) const override;
  bool descendOnSave(EntryId id) const override;
  bool skipOnSave(EntryId id) const override;
  std::uint64_t statusSize(EntryId id) override;
  bool save(EntryId id, const std::filesystem::path& folder, const std::string& fileName) override;
  void setFolderTimes(EntryId id, const std::filesystem::path& folder) override;
  bool writeContent(EntryId id, ByteSink& out) override;
  bool rename(EntryId id, const std::string& newName) override;

 private:
  const ntfs::NtfsEntry* entry(EntryId id) const;
  EntryId chainLink(std::int64_t index) const;

  ntfs::ntfs& parser_;
};

}  // namespace talvix
