#include "disk/DiskReader.h"

#include <algorithm>
#include <limits>

namespace talvix {

bool readWriteInterface::seek(std::int64_t position) {
  std::int64_t diskOffset = 0;
  if (position < 0 || __builtin_add_overflow(position, volumeBase, &diskOffset) || diskOffset < 0)
    return false;
  if (!seekAllowed(static_cast<std::uint64_t>(diskOffset))) return false;
  position_ = position;
  return true;
}

bool readWriteInterface::read(void* buffer, std::uint64_t byteCount) {
  std::int64_t diskOffset = 0;
  if (__builtin_add_overflow(position_, volumeBase, &diskOffset) || diskOffset < 0) return false;
  if (byteCount > std::numeric_limits<std::size_t>::max()) return false;
  const bool ok = readDisk(static_cast<std::uint64_t>(diskOffset),
                           {static_cast<std::byte*>(buffer), static_cast<std::size_t>(byteCount)});
  const auto advance = static_cast<std::int64_t>(byteCount / kSectorBytes * kSectorBytes);
  if (position_ > std::numeric_limits<std::int64_t>::max() - advance) return false;
  position_ += advance;
  return ok;
}

bool readWriteInterface::sectorMapped() {
  std::int64_t diskOffset = 0;
  if (__builtin_add_overflow(position_, volumeBase, &diskOffset) || diskOffset < 0) return false;
  return isMapped(static_cast<std::uint64_t>(diskOffset));
}

bool readWriteInterface::isMapped(std::uint64_t diskOffset) {
  return mapAt(diskOffset).kind != Mapping::Kind::zeros;
}

bool readWriteInterface::readDisk(std::uint64_t diskOffset, std::span<std::byte> out) {
  while (!out.empty()) {
    Mapping m = mapAt(diskOffset);
    std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(m.length, out.size()));
    switch (m.kind) {
      case Mapping::Kind::zeros:
        std::fill_n(out.begin(), take, std::byte{0});
        break;
      case Mapping::Kind::compressed:
        if (!readCompressed(m, diskOffset, out.first(take))) return false;
        break;
      case Mapping::Kind::stored: {
        // Grow the run while the following units lie right behind it in the file, so a
        // large read of contiguous data costs one system call.
        while (take < out.size()) {
          const Mapping next = mapAt(diskOffset + take);
          if (next.kind != Mapping::Kind::stored || next.fileOffset != m.fileOffset + take) break;
          take += static_cast<std::size_t>(std::min<std::uint64_t>(next.length, out.size() - take));
        }
        if (!file_.readAt(m.fileOffset, out.first(take))) return false;
        break;
      }
    }
    out = out.subspan(take);
    diskOffset += take;
  }
  return true;
}

bool readWriteInterface::readCompressed(const Mapping&, std::uint64_t, std::span<std::byte>) {
  return false;
}

bool readWriteInterface::fail(std::string text, bool prompt) {
  error_ = {std::move(text), prompt};
  return false;
}

bool readWriteInterface::failSystem(std::string_view what, int errorNumber) {
  return fail(std::string(what) + ": " + systemErrorText(errorNumber));
}

}  // namespace talvix
