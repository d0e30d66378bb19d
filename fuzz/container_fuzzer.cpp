// Every container reader over arbitrary bytes: open, then read at the start, the middle, the
// end and past the end of whatever disk it believes it found.
#include <memory>
#include <vector>

#include "FuzzInput.h"
#include "disk/DiskChoice.h"
#include "disk/VhdReader.h"
#include "disk/VmdkReader.h"

namespace {

void exercise(talvix::readWriteInterface& reader) {
  std::vector<std::byte> buffer(128 * 1024);
  const std::uint64_t sectors = reader.diskSectors();
  for (const std::uint64_t sector :
       {std::uint64_t{0}, sectors / 2, sectors ? sectors - 1 : 0, sectors + 1}) {
    if (sector > (std::uint64_t{1} << 54)) continue;
    if (reader.seek(static_cast<std::int64_t>(sector * 512))) {
      reader.read(buffer.data(), buffer.size());
      reader.sectorMapped();
    }
  }
  reader.info();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  talvix::fuzz::MemoryFile file(data, size);
  if (!file.ok()) return 0;
  std::vector<std::unique_ptr<talvix::readWriteInterface>> readers;
  readers.push_back(std::make_unique<talvix::FileReadSeekVmdk>());
  auto vhd = std::make_unique<talvix::FileReadSeekVHD>();
  vhd->checkName = false;
  readers.push_back(std::move(vhd));
  readers.push_back(std::make_unique<talvix::FileReadSeekVdi>());
  for (auto& reader : readers)
    if (reader->open(file.path())) exercise(*reader);
  return 0;
}
