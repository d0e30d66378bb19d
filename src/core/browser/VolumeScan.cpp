#include "browser/VolumeScan.h"

#include "app/Feedback.h"
#include "browser/NtfsEntries.h"
#include "disk/DiskReader.h"
#include "fs/ntfs/NtfsParser.h"
#include "util/Text.h"

namespace talvix {
namespace {

class ScannedNtfs final : public ScannedVolume {
 public:
  ScannedNtfs() : entries_(parser) {}
  EntrySource& entries() override { return entries_; }
  void requestStop() override { parser.stopRequested = true; }
  void clearStop() override { parser.stopRequested = false; }

  ntfs::ntfs parser;

 private:
  NtfsEntries entries_;
};

bool sameNoCase(const std::string& a, std::string_view b) {
  return a.size() == b.size() && endsWithNoCase(a, b);
}

}  // namespace

BrowsedFileSystem browsedFileSystem(const std::string& text) {
  struct Name {
    std::string_view text;
    BrowsedFileSystem fs;
  };
  static constexpr Name kNames[] = {
      {"ntfs", BrowsedFileSystem::ntfs},   {"fat32", BrowsedFileSystem::fat32},
      {"fat16", BrowsedFileSystem::fat16}, {"fat", BrowsedFileSystem::fat16},
      {"extX", BrowsedFileSystem::ext},    {"fat64", BrowsedFileSystem::exfat},
      {"exFat", BrowsedFileSystem::exfat}, {"HFS+", BrowsedFileSystem::hfsPlus},
  };
  for (const Name& n : kNames) {
    if (sameNoCase(text, n.text)) return n.fs;
  }
  return BrowsedFileSystem::none;
}

std::unique_ptr<ScannedVolume> scanVolume(readWriteInterface& reader, const Volume& volume,
                                          ScanMode mode, const ScanTargets& targets,
                                          std::string& error) {
  switch (browsedFileSystem(volume.fileSystem)) {
    case BrowsedFileSystem::ntfs: {
      if (mode == ScanMode::advanced) {
        error = "the advanced NTFS scan needs an $MFT record chosen by the entry search";
        return nullptr;
      }
      auto scanned = std::make_unique<ScannedNtfs>();
      ntfs::ntfs& p = scanned->parser;
      p.treeCtrl = targets.tree;
      p.pageWnd = targets.progress;
      p.statusCtrl = targets.status;
      p.control = targets.control;
      p.icons = targets.icons;
      p.reader = &reader;
      p.volume = volume;
      reader.volumeBase = volume.startSector * 512;
      p.insertRootItem();
      p.readBootSector();
      p.recoveryMode = static_cast<int>(mode);
      if (mode == ScanMode::standard) {
        if (targets.status != nullptr)
          targets.status->setStatusText(" ParsingBasedOnMFT is going on....");
        p.locateMftRun();
      } else {
        if (targets.status != nullptr) {
          targets.status->setStatusText(" scanning for mft entries in deep mode ....");
        }
        p.deepScanMftRecords();
      }
      p.collectMftRecords();
      p.buildEntryTree();
      return scanned;
    }
    case BrowsedFileSystem::none:
      error = "not a valid drive.";
      return nullptr;
    default:
      error = "browsing " + volume.fileSystem + " volumes is not available yet in this version";
      return nullptr;
  }
}

}  // namespace talvix
