#include "disk/VmdkSplitReader.h"

#include <algorithm>
#include <map>
#include <system_error>

#include "util/Text.h"

namespace talvix {
std::vector<std::filesystem::path> findSplitExtents(const std::filesystem::path& oneExtent) {
  const std::string name = oneExtent.filename().string();
  const auto dash = name.rfind('-');
  if (dash == std::string::npos) return {};
  const std::string prefix = name.substr(0, dash + 1);

  // number -> the first name (in name order) of the form prefix + letters + digits + ".vmdk"
  std::map<unsigned long, std::string> byNumber;
  std::error_code ec;
  auto folder = oneExtent.parent_path();
  if (folder.empty()) folder = ".";
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string candidate = entry.path().filename().string();
    if (!candidate.starts_with(prefix) || !endsWithNoCase(candidate, ".vmdk")) continue;
    const std::string_view middle(candidate.data() + prefix.size(),
                                  candidate.size() - prefix.size() - 5);
    const auto digitsAt = middle.find_last_not_of("0123456789") + 1;  // npos + 1 == 0
    const auto digits = middle.substr(digitsAt);
    if (digits.empty() || digits.size() > 9) continue;
    const unsigned long number = std::stoul(std::string(digits));
    auto [it, inserted] = byNumber.emplace(number, candidate);
    if (!inserted && candidate < it->second) it->second = candidate;
  }
  std::vector<std::filesystem::path> set;
  for (unsigned long n = 1;; ++n) {
    const auto it = byNumber.find(n);
    if (it == byNumber.end()) break;
    set.push_back(folder / it->second);
  }
  return set;
}

bool FileReadSeekVmdkSplit::open(const std::filesystem::path& path) {
  pieces_.clear();
  extents_.clear();
  diskSectors_ = 0;
  return descriptorMode ? openDescriptor(path) : openSplitSet(path);
}

void FileReadSeekVmdkSplit::append(std::unique_ptr<FileReadSeekVmdk> reader, std::uint64_t sectors,
                                   DiskInfo::Extent shown) {
  Piece piece{std::move(reader), diskSectors_ * kSectorBytes, sectors * kSectorBytes,
              std::move(shown)};
  piece.shown.sectors = sectors;
  pieces_.push_back(std::move(piece));
  diskSectors_ += sectors;
}

bool FileReadSeekVmdkSplit::openDescriptor(const std::filesystem::path& path) {
  if (!file_.open(path)) return fail(systemErrorText(file_.error()));
  fileLength_ = file_.length();
  if (fileLength_ >= kMaxDescriptorBytes)
    return fail("file size greater than 50 kb .possibly not a descriptor file", true);
  std::string text(static_cast<std::size_t>(fileLength_), '\0');
  if (!file_.readAt(0, std::as_writable_bytes(std::span(text))))
    return failSystem("cannot read the descriptor", file_.error());

  if (text.find(" FLAT ", 1) != std::string::npos) extentType = "FLAT";
  if (text.find(" SPARCE ") != std::string::npos) extentType = "SPARCE";
  descriptor_ = parseDescriptorFile(descriptorText(text));
  extents_ = descriptor_.extents;
  if (extents_.empty()) return fail("the descriptor lists no extents");

  const auto folder = path.parent_path();
  for (const auto& extent : extents_) {
    DiskInfo::Extent shown{extent.fileName, extent.extentType, extent.sectorCount, {}};
    if (extent.fileName.empty()) {  // ZERO extent
      append(nullptr, extent.sectorCount, std::move(shown));
      continue;
    }
    auto reader = std::make_unique<FileReadSeekVmdk>();
    reader->setExtent(extent);
    if (!reader->open(folder / extent.fileName)) {
      // Keeping the listed length keeps every later extent at its place on the disk.
      shown.note = "cannot be read (" + reader->error().text + "): reads as zeros";
      append(nullptr, extent.sectorCount, std::move(shown));
      continue;
    }
    const std::uint64_t sectors = reader->extentSectors();
    append(std::move(reader), sectors, std::move(shown));
  }
  return true;
}

bool FileReadSeekVmdkSplit::openSplitSet(const std::filesystem::path& path) {
  fileLength_ = 0;
  if (path.filename().string().find('-') == std::string::npos)
    return fail("Possibly not a split file . Go back and try without checking the split check box",
                true);
  const auto set = findSplitExtents(path);
  if (set.empty()) return fail("no extent of the split set " + path.string() + " was found");
  for (const auto& extentPath : set) {
    auto reader = std::make_unique<FileReadSeekVmdk>();
    reader->extentType = extentType;
    if (!reader->open(extentPath)) {
      // A gap would shift every later extent and corrupt what is read after it.
      return fail("cannot read the extent " + extentPath.string() + ": " + reader->error().text);
    }
    if (extentPath == path) fileLength_ = reader->fileLength();
    const std::uint64_t sectors = reader->extentSectors();
    DiskInfo::Extent shown{
        extentPath.filename().string(), reader->isSparse() ? "SPARSE" : "FLAT", sectors, {}};
    extents_.push_back({sectors, shown.type, shown.fileName, 0});
    append(std::move(reader), sectors, std::move(shown));
  }
  return true;
}

const FileReadSeekVmdkSplit::Piece* FileReadSeekVmdkSplit::pieceAt(std::uint64_t diskOffset) const {
  auto it =
      std::upper_bound(pieces_.begin(), pieces_.end(), diskOffset,
                       [](std::uint64_t offset, const Piece& p) { return offset < p.firstByte; });
  if (it == pieces_.begin()) return nullptr;
  --it;
  return diskOffset - it->firstByte < it->bytes ? &*it : nullptr;
}

bool FileReadSeekVmdkSplit::readDisk(std::uint64_t diskOffset, std::span<std::byte> out) {
  while (!out.empty()) {
    const Piece* piece = pieceAt(diskOffset);
    if (!piece) {  // past the last extent
      std::fill(out.begin(), out.end(), std::byte{0});
      return true;
    }
    const std::uint64_t inPiece = diskOffset - piece->firstByte;
    const auto take =
        static_cast<std::size_t>(std::min<std::uint64_t>(piece->bytes - inPiece, out.size()));
    if (piece->reader) {
      if (!piece->reader->readDisk(inPiece, out.first(take))) return false;
    } else {
      std::fill_n(out.begin(), take, std::byte{0});
    }
    out = out.subspan(take);
    diskOffset += take;
  }
  return true;
}

bool FileReadSeekVmdkSplit::isMapped(std::uint64_t diskOffset) {
  const Piece* piece = pieceAt(diskOffset);
  return piece && piece->reader && piece->reader->isMapped(diskOffset - piece->firstByte);
}

readWriteInterface::Mapping FileReadSeekVmdkSplit::mapAt(std::uint64_t) {
  return {Mapping::Kind::zeros, 0, 1};  // unused: readDisk and isMapped delegate per extent
}

DiskInfo FileReadSeekVmdkSplit::info() const {
  DiskInfo info;
  info.sectors = diskSectors_;
  if (descriptorMode) {
    info.kind = "VMDK descriptor";
    if (!descriptor_.createType.empty()) info.kind += " (" + descriptor_.createType + ")";
    info.formatVersion = trimmed(descriptor_.version);
    info.cylinders = descriptor_.cylinders;
    info.heads = descriptor_.heads;
    info.sectorsPerTrack = descriptor_.sectorsPerTrack;
  } else {
    info.kind = "VMDK split set";
  }
  for (const auto& piece : pieces_) info.extents.push_back(piece.shown);
  return info;
}

}  // namespace talvix
