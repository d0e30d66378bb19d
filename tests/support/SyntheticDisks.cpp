#include "SyntheticDisks.h"

#include <zlib.h>

#include <stdexcept>

namespace talvix::test {
namespace {

std::uint64_t sectorsFor(std::uint64_t bytes) {
  return (bytes + 511) / 512;
}

void place(Bytes& out, std::uint64_t offset, const Bytes& data) {
  if (out.size() < offset + data.size()) out.resize(offset + data.size());
  std::copy(data.begin(), data.end(), out.begin() + static_cast<std::ptrdiff_t>(offset));
}

Bytes deflate(const Bytes& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes out(size);
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                6) != Z_OK)
    throw std::runtime_error("compress2 failed");
  out.resize(size);
  return out;
}

}  // namespace

Bytes SparseVmdkBuilder::build() const {
  const std::uint64_t sectorsPerGt = grainSize * gtesPerGt;
  const std::uint64_t gdEntries = (capacity + sectorsPerGt - 1) / sectorsPerGt;
  const std::uint64_t descriptorAt = descriptor ? 1 : 0;
  const std::uint64_t gdAt = 1 + (descriptor ? descriptorSectors : 0);
  const std::uint64_t gtAt = gdAt + sectorsFor(gdEntries * 4);
  const std::uint64_t gtSectors = sectorsFor(std::uint64_t{gtesPerGt} * 4);
  std::uint64_t next = gtAt + gdEntries * gtSectors;

  Bytes out((next)*512);
  auto header = [&](Bytes& h, bool real) {
    putLe32(h, 0, 0x564D444B);
    putLe32(h, 4, compressed ? 3 : 1);
    putLe32(h, 8, compressed ? 0x30003 : 0x3);
    putLe64(h, 12, capacity);
    putLe64(h, 20, grainSize);
    putLe64(h, 28, descriptorAt);
    putLe64(h, 36, descriptor ? descriptorSectors : 0);
    putLe32(h, 44, gtesPerGt);
    putLe64(h, 48, gdInFooter && !real ? 0 : gdAt);
    putLe64(h, 56, gdInFooter && !real ? ~std::uint64_t{0} : gdAt);
    putText(h, 73, "\n \r\n");
    putLe16(h, 77, compressed ? 1 : 0);
  };
  Bytes h(512);
  header(h, false);
  place(out, 0, h);
  if (descriptor) putText(out, 512, *descriptor);
  for (std::uint64_t i = 0; i < gdEntries; ++i) {
    const auto it = gdEntryOverride.find(i);
    putLe32(out, gdAt * 512 + i * 4,
            it != gdEntryOverride.end() ? it->second
                                        : static_cast<std::uint32_t>(gtAt + i * gtSectors));
  }
  for (const auto& [grain, data] : grains) {
    Bytes stored = data;
    if (compressed) {
      Bytes marker(12);
      putLe64(marker, 0, grain * grainSize);
      const Bytes packed = deflate(data);
      putLe32(marker, 8, static_cast<std::uint32_t>(packed.size()));
      marker.insert(marker.end(), packed.begin(), packed.end());
      stored = marker;
    }
    place(out, next * 512, stored);
    putLe32(out, (gtAt + grain / gtesPerGt * gtSectors) * 512 + (grain % gtesPerGt) * 4,
            static_cast<std::uint32_t>(next));
    next += sectorsFor(stored.size());
  }
  for (const auto& [grain, entry] : grainEntryOverride)
    putLe32(out, (gtAt + grain / gtesPerGt * gtSectors) * 512 + (grain % gtesPerGt) * 4, entry);
  out.resize(next * 512);
  if (gdInFooter) {
    Bytes tail(3 * 512);  // footer marker, footer, end-of-stream marker
    Bytes real(512);
    header(real, true);
    std::copy(real.begin(), real.end(), tail.begin() + 512);
    out.insert(out.end(), tail.begin(), tail.end());
  }
  return out;
}

std::string vmdkDescriptorText(const std::string& createType,
                               const std::vector<std::string>& extentLines) {
  std::string text =
      "# Disk DescriptorFile\nversion=1\nCID=12345678\nparentCID=ffffffff\ncreateType=\"" +
      createType + "\"\n\n# Extent description\n";
  for (const auto& line : extentLines) text += line + "\n";
  text +=
      "\n# The Disk Data Base\n#DDB\n\nddb.virtualHWVersion = \"4\"\nddb.geometry.cylinders = "
      "\"8\"\n"
      "ddb.geometry.heads = \"16\"\nddb.geometry.sectors = \"63\"\nddb.adapterType = \"ide\"\n";
  return text;
}

Bytes vhdFooter(std::uint64_t currentSize, std::uint32_t diskType, std::uint64_t dataOffset) {
  Bytes f(512);
  putText(f, 0, "conectix");
  putBe32(f, 8, 2);
  putBe32(f, 12, 0x00010000);
  putBe64(f, 16, dataOffset);
  putBe64(f, 40, currentSize);
  putBe64(f, 48, currentSize);
  putBe16(f, 56, 100);
  f[58] = std::byte{16};
  f[59] = std::byte{63};
  putBe32(f, 60, diskType);
  return f;
}

Bytes DynamicVhdBuilder::build() const {
  const Bytes footer = vhdFooter(currentSize, diskType, 512);
  Bytes out = footer;
  Bytes header(1024);
  putText(header, 0, "cxsparse");
  putBe64(header, 8, ~std::uint64_t{0});
  putBe64(header, 16, 1536);
  putBe32(header, 24, 0x00010000);
  putBe32(header, 28, tableEntries);
  putBe32(header, 32, blockBytes);
  place(out, 512, header);
  const std::uint64_t tableBytes = (std::uint64_t{tableEntries} * 4 + 511) / 512 * 512;
  Bytes table(tableBytes, std::byte{0xFF});
  std::uint64_t next = (1536 + tableBytes) / 512;
  for (const auto& [index, bytes] : blocks) {
    putBe32(table, index * 4, static_cast<std::uint32_t>(next));
    Bytes bitmap(512, std::byte{0xFF});
    place(out, next * 512, bitmap);
    place(out, next * 512 + 512, bytes);
    next += 1 + sectorsFor(bytes.size());
  }
  place(out, 1536, table);
  out.resize(next * 512);
  out.insert(out.end(), footer.begin(), footer.end());
  return out;
}

Bytes VdiBuilder::build() const {
  const std::uint32_t blockCount =
      static_cast<std::uint32_t>((diskBytes + blockBytes - 1) / blockBytes);
  Bytes out(512);
  putText(out, 0, "<<< Oracle VM VirtualBox Disk Image >>>\n");
  putLe32(out, 0x40, 0xBEDA107F);
  putLe32(out, 0x44, 0x00010001);
  putLe32(out, 0x48, 0x180);
  putLe32(out, 0x4C, 1);
  const std::uint32_t mapAt = 0x200;
  const std::uint32_t dataAt =
      static_cast<std::uint32_t>((mapAt + blockCount * 4 + 511) / 512 * 512);
  putLe32(out, 0x154, mapAt);
  putLe32(out, 0x158, dataAt);
  putLe32(out, 0x168, 512);
  putLe64(out, 0x170, diskBytes);
  putLe32(out, 0x178, blockBytes);
  putLe32(out, 0x180, blockCount);
  putLe32(out, 0x184, static_cast<std::uint32_t>(std::max<std::size_t>(blocks.size(), 1)));
  out.resize(dataAt);
  for (std::uint32_t i = 0; i < blockCount; ++i) putLe32(out, mapAt + i * 4, 0xFFFFFFFF);
  std::uint32_t stored = 0;
  for (const auto& [index, bytes] : blocks) {
    putLe32(out, mapAt + index * 4, stored);
    place(out, dataAt + std::uint64_t{stored} * blockBytes, bytes);
    ++stored;
  }
  for (const auto& [index, entry] : mapOverride) putLe32(out, mapAt + index * 4, entry);
  out.resize(dataAt + std::uint64_t{stored} * blockBytes);
  return out;
}

}  // namespace talvix::test
