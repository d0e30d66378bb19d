#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "browser/EntrySource.h"

namespace talvix::test {

// A volume made in memory: entries with names, folders, deleted marks and contents, linked
// into child chains in the order they are added. An entry's id is its position; id 0 is an
// entry like any other.
class FakeEntries : public EntrySource {
 public:
  struct Entry {
    std::string name;
    bool folder = false;
    bool deleted = false;
    std::string content;
    bool unwritable = false;  // save fails
    EntryId first = kNoEntry, last = kNoEntry, next = kNoEntry;
  };

  EntryId add(EntryId parent, std::string name, bool folder, std::string content = {},
              bool deleted = false) {
    const EntryId id = entries.size();
    entries.push_back({std::move(name), folder, deleted, std::move(content)});
    EntryId& first = parent == kNoEntry ? top : entries[parent].first;
    EntryId& last = parent == kNoEntry ? topLast : entries[parent].last;
    if (first == kNoEntry) {
      first = id;
    } else {
      entries[last].next = id;
    }
    last = id;
    return id;
  }
  EntryId folder(EntryId parent, std::string name, bool deleted = false) {
    return add(parent, std::move(name), true, {}, deleted);
  }
  EntryId file(EntryId parent, std::string name, std::string content = "x", bool deleted = false) {
    return add(parent, std::move(name), false, std::move(content), deleted);
  }

  EntryId firstTopLevel() const override { return top; }
  EntryId firstChild(EntryId id) const override { return valid(id) ? entries[id].first : kNoEntry; }
  EntryId nextSibling(EntryId id) const override { return valid(id) ? entries[id].next : kNoEntry; }
  bool hasChildren(EntryId id) const override { return firstChild(id) != kNoEntry; }
  bool valid(EntryId id) const override { return id < entries.size(); }
  std::string name(EntryId id) const override { return valid(id) ? entries[id].name : ""; }
  bool isFolder(EntryId id) const override { return valid(id) && entries[id].folder; }
  bool deleted(EntryId id) const override { return valid(id) && entries[id].deleted; }
  EntryTexts columnTexts(EntryId id) override {
    const std::string& n = entries[id].name;
    return {"c " + n, "a " + n, "m " + n, std::to_string(entries[id].content.size()) + " Bytes",
            "-A"};
  }
  EntryDetails details(EntryId id) override {
    EntryDetails d;
    d.size = entries[id].content.size();
    return d;
  }
  std::uint64_t statusSize(EntryId id) override { return entries[id].content.size(); }
  bool save(EntryId id, const std::filesystem::path& folder, const std::string& fileName) override {
    ++saves;
    if (!valid(id) || entries[id].unwritable) return false;
    std::ofstream out(folder / fileName, std::ios::binary);
    out << entries[id].content;
    return static_cast<bool>(out);
  }
  bool writeContent(EntryId id, ByteSink& out) override {
    const std::string& c = entries[id].content;
    return out.write(std::as_bytes(std::span(c.data(), c.size())));
  }
  bool rename(EntryId id, const std::string& newName) override {
    if (!valid(id)) return false;
    entries[id].name = newName;
    return true;
  }

  std::vector<Entry> entries;
  EntryId top = kNoEntry, topLast = kNoEntry;
  int saves = 0;
};

}  // namespace talvix::test
