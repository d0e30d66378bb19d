#include "disk/DiskChoice.h"

#include <algorithm>
#include <array>

#include "disk/VhdReader.h"
#include "disk/VmdkReader.h"
#include "disk/VmdkSparseHeader.h"
#include "disk/VmdkSplitReader.h"
#include "util/ByteReader.h"

namespace talvix {
namespace {

constexpr std::uint32_t kVdiSignature = 0xBEDA107F;

}  // namespace

std::unique_ptr<readWriteInterface> makeVmdkReader(const DiskChoice& choice) {
  if (choice.vmdkSplit || choice.isDescripter) {
    auto split = std::make_unique<FileReadSeekVmdkSplit>();
    if (choice.isDescripter)
      split->descriptorMode = true;
    else
      split->extentType = choice.extentType;
    return split;
  }
  auto single = std::make_unique<FileReadSeekVmdk>();
  single->extentType = choice.extentType;
  return single;
}

std::unique_ptr<readWriteInterface> makeDiskReader(const DiskChoice& choice) {
  switch (choice.diskKind) {
    case DiskKind::vhd: {
      auto vhd = std::make_unique<FileReadSeekVHD>();
      vhd->checkName = choice.checkName;
      return vhd;
    }
    case DiskKind::vdi:
      return std::make_unique<FileReadSeekVdi>();
    case DiskKind::vmdk:
      return makeVmdkReader(choice);
    case DiskKind::none:
      break;
  }
  return nullptr;
}

DiskChoice detectDiskChoice(const std::filesystem::path& path) {
  DiskChoice choice{DiskKind::vmdk, path, false, false, "FLAT", false};
  ContainerFile file;
  if (!file.open(path)) return choice;  // open() will report the failure
  std::array<std::byte, 1024> head{};
  std::array<std::byte, kSectorBytes> tail{};
  if (!file.readAt(0, head)) return choice;
  ByteReader h(head);
  if (const auto header = VmdkSparseHeader::decode(head)) {
    choice.extentType = "SPARSE";
    // An extent without a descriptor of its own is one file of a split set: read the set.
    std::array<std::byte, 1> descriptorStart{};
    const bool noDescriptor =
        header->descriptorOffset == 0 || header->descriptorOffset > (std::uint64_t{1} << 40) ||
        (file.readAt(header->descriptorOffset * kSectorBytes, descriptorStart) &&
         descriptorStart[0] == std::byte{0});
    if (noDescriptor) {
      const auto set = findSplitExtents(path);
      choice.vmdkSplit = set.size() > 1 && std::find(set.begin(), set.end(), path) != set.end();
    }
    return choice;
  }
  if (h.u32le(0x40) == kVdiSignature) {
    choice.diskKind = DiskKind::vdi;
    return choice;
  }
  const auto length = file.length();
  if (length >= static_cast<std::int64_t>(kSectorBytes) &&
      file.readAt(static_cast<std::uint64_t>(length) - kSectorBytes, tail) &&
      (ByteReader(tail).text(0, 8) == "conectix" || h.text(0, 8) == "conectix")) {
    choice.diskKind = DiskKind::vhd;
    return choice;
  }
  const auto text = h.text(0, head.size());
  if (length < kMaxDescriptorBytes && (text.starts_with("# Disk DescriptorFile") ||
                                       text.find("createType=") != std::string_view::npos)) {
    choice.isDescripter = true;
    choice.extentType = "SPARSE";
  }
  return choice;
}

}  // namespace talvix
