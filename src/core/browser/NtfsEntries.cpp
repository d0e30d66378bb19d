#include "browser/NtfsEntries.h"

#include "browser/TextFormats.h"
#include "fs/ntfs/FileTime.h"

namespace talvix {
namespace {

std::optional<std::int64_t> unixSeconds(std::uint64_t fileTime) {
  const auto t = ntfs::unixTimeOf(fileTime);
  return t ? std::optional(t->seconds) : std::nullopt;
}

}  // namespace

const ntfs::NtfsEntry* NtfsEntries::entry(EntryId id) const {
  if (id > static_cast<EntryId>(INT64_MAX) || !parser_.validIndex(static_cast<std::int64_t>(id))) {
    return nullptr;
  }
  return &parser_.entries[id];
}

EntryId NtfsEntries::chainLink(std::int64_t index) const {
  return index > 0 && parser_.validIndex(index) ? static_cast<EntryId>(index) : kNoEntry;
}

EntryId NtfsEntries::firstTopLevel() const {
  const auto count = static_cast<std::int64_t>(parser_.entries.size());
  if (parser_.orphanIndex < 0 || parser_.orphanIndex >= count) return kNoEntry;
  // Deep mode shows only "ORPHAN_ENTRY"; so does a volume whose root record is lost.
  if (parser_.recoveryMode != 3 && parser_.rootIndex > 0 && parser_.rootIndex < count) {
    const EntryId first =
        chainLink(parser_.entries[static_cast<std::size_t>(parser_.rootIndex)].firstChild);
    if (first != kNoEntry) return first;
  }
  return static_cast<EntryId>(parser_.orphanIndex);
}

EntryId NtfsEntries::firstChild(EntryId id) const {
  const auto* e = entry(id);
  return e != nullptr && e->isFolder() ? chainLink(e->firstChild) : kNoEntry;
}

EntryId NtfsEntries::nextSibling(EntryId id) const {
  const auto* e = entry(id);
  return e != nullptr ? chainLink(e->nextSibling) : kNoEntry;
}

bool NtfsEntries::hasChildren(EntryId id) const {
  return firstChild(id) != kNoEntry;
}

bool NtfsEntries::valid(EntryId id) const {
  return entry(id) != nullptr;
}

std::string NtfsEntries::name(EntryId id) const {
  const auto* e = entry(id);
  return e != nullptr ? e->name : std::string();
}

bool NtfsEntries::isFolder(EntryId id) const {
  const auto* e = entry(id);
  return e != nullptr && e->isFolder();
}

bool NtfsEntries::deleted(EntryId id) const {
  const auto* e = entry(id);
  return e != nullptr && e->deleted();
}

EntryTexts NtfsEntries::columnTexts(EntryId id) {
  EntryTexts texts;
  const auto* e = entry(id);
  if (e == nullptr) return texts;
  const ntfs::NtfsTimes times = parser_.readTimes(static_cast<std::int64_t>(id));
  texts.creationTime = dateTimeText(ntfsLocalTime(times.creationTime));
  texts.accessTime = dateTimeText(ntfsLocalTime(times.accessTime));
  texts.modificationTime = dateTimeText(ntfsLocalTime(times.modificationTime));
  texts.size = sizeText(e->dataSize);
  texts.attribute = times.attributeText;
  return texts;
}

EntryDetails NtfsEntries::details(EntryId id) {
  EntryDetails d;
  const auto* e = entry(id);
  if (e == nullptr) return d;
  const ntfs::NtfsTimes times = parser_.readTimes(static_cast<std::int64_t>(id));
  d.size = e->isFolder() ? 0 : e->dataSize;
  d.creationTime = unixSeconds(times.creationTime);
  d.accessTime = unixSeconds(times.accessTime);
  d.modificationTime = unixSeconds(times.modificationTime);
  d.attribute = times.attributeText;
  return d;
}

bool NtfsEntries::savableFolder(EntryId id) const {
  return id != 0 && isFolder(id);
}

bool NtfsEntries::descendOnSave(EntryId id) const {
  // "." is the root itself, met again inside a folder.
  return isFolder(id) && name(id) != ".";
}

bool NtfsEntries::skipOnSave(EntryId id) const {
  // $BadClus's data stream maps the whole volume.
  return name(id) == "$BadClus";
}

std::uint64_t NtfsEntries::statusSize(EntryId id) {
  const auto* e = entry(id);
  return e != nullptr ? e->allocatedSize : 0;
}

bool NtfsEntries::save(EntryId id, const std::filesystem::path& folder,
                       const std::string& fileName) {
  return entry(id) != nullptr && parser_.saveEntry(static_cast<std::int64_t>(id), folder, fileName);
}

void NtfsEntries::setFolderTimes(EntryId id, const std::filesystem::path& folder) {
  if (const auto* e = entry(id); e != nullptr && e->isFolder()) {
    parser_.setTimes(folder, static_cast<std::int64_t>(id));
  }
}

bool NtfsEntries::writeContent(EntryId id, ByteSink& out) {
  if (entry(id) == nullptr) return false;
  const auto streams = parser_.dataStreams(static_cast<std::int64_t>(id));
  return streams.empty() || parser_.writeStream(streams.front(), out);
}

bool NtfsEntries::rename(EntryId id, const std::string& newName) {
  if (entry(id) == nullptr) return false;
  ntfs::NtfsEntry& e = parser_.entries[id];
  e.name = newName;
  e.named = true;
  return true;
}

}  // namespace talvix
