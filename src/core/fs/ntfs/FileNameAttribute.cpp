#include "fs/ntfs/FileNameAttribute.h"

#include "util/ByteReader.h"

namespace talvix::ntfs {
namespace {

// $FILE_NAME value (little-endian):
// | offset | size | meaning                                                  |
// |--------|------|----------------------------------------------------------|
// | 0      | 8    | parent reference: record number (bits 0-47), sequence   |
// |        |      | number (bits 48-63)                                      |
// | 8      | 8    | creation time                                            |
// | 16     | 8    | modification time                                        |
// | 24     | 8    | MFT record change time                                   |
// | 32     | 8    | access time                                              |
// | 40     | 8    | allocated size (often stale: only updated on renames)    |
// | 48     | 8    | real size (as stale)                                     |
// | 56     | 4    | flags (file attributes; 0x10000000 directory)            |
// | 60     | 4    | extended attribute size or reparse tag                   |
// | 64     | 1    | name length in UTF-16 units (0..255)                     |
// | 65     | 1    | name space                                               |
// | 66     | 2n   | name, UTF-16LE                                           |
constexpr std::size_t kNameOffset = 66;

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      appendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      appendUtf8(out, 0xFFFD);
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

std::string utf16leToUtf8(std::span<const std::byte> bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(std::to_integer<unsigned>(bytes[2 * i]) |
                                    (std::to_integer<unsigned>(bytes[2 * i + 1]) << 8));
  }
  return utf16ToUtf8(text);
}

FileName decodeFileName(std::span<const std::byte> value) {
  ByteReader r(value);
  FileName f;
  const std::uint64_t parent = r.u64le(0);
  f.parentRecord = parent & 0xFFFF'FFFF'FFFFu;
  f.parentSequence = static_cast<std::uint16_t>(parent >> 48);
  f.creationTime = r.u64le(8);
  f.modificationTime = r.u64le(16);
  f.recordChangeTime = r.u64le(24);
  f.accessTime = r.u64le(32);
  f.allocatedSize = r.u64le(40);
  f.realSize = r.u64le(48);
  f.flags = r.u32le(56);
  f.nameLength = r.u8(64);
  f.nameSpace = r.u8(65);
  const auto name = r.bytes(kNameOffset, 2 * std::size_t{f.nameLength});
  if (!r.ok()) {
    f.verdict = Verdict::corrupt;
    return f;
  }
  f.nameUtf16.resize(f.nameLength);
  for (std::size_t i = 0; i < f.nameUtf16.size(); ++i) {
    f.nameUtf16[i] = static_cast<char16_t>(std::to_integer<unsigned>(name[2 * i]) |
                                           (std::to_integer<unsigned>(name[2 * i + 1]) << 8));
  }
  f.name = utf16ToUtf8(f.nameUtf16);
  f.verdict = Verdict::valid;
  return f;
}

}  // namespace talvix::ntfs
