// The NTFS decoders over arbitrary bytes: the input is taken as a boot sector, as an MFT
// record (fixed up, its attributes walked, their values, names and run lists decoded) and as
// one LZNT1 compression unit.
#include <cstdint>
#include <span>
#include <vector>

#include "fs/ntfs/FileNameAttribute.h"
#include "fs/ntfs/Lznt1.h"
#include "fs/ntfs/MftRecord.h"
#include "fs/ntfs/NtfsBootSector.h"
#include "fs/ntfs/RunList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto input = std::as_bytes(std::span(data, size));
  talvix::ntfs::decodeBootSector(input);

  std::vector<std::byte> record(input.begin(), input.end());
  talvix::ntfs::decodeRecordHeader(record);
  talvix::ntfs::applyFixups(record);
  const auto walk = talvix::ntfs::walkAttributes(record);
  for (const auto& attribute : walk.attributes) {
    talvix::ntfs::attributeName(record, attribute);
    if (attribute.nonResident) {
      const std::uint64_t range =
          attribute.lastVcn >= attribute.firstVcn ? attribute.lastVcn - attribute.firstVcn + 1 : 0;
      talvix::ntfs::decodeRunList(talvix::ntfs::runListBytes(record, attribute), range, 1u << 20);
    } else if (attribute.type == 0x30) {
      talvix::ntfs::decodeFileName(talvix::ntfs::residentValue(record, attribute));
    }
  }

  std::vector<std::byte> unit(64 * 1024);  // the largest compression unit: 16 clusters of 4 KiB
  talvix::ntfs::decompressUnit(input, unit);
  return 0;
}
