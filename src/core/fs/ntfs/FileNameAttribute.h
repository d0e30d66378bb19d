#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "fs/ntfs/NtfsBootSector.h"

namespace talvix::ntfs {

// Name spaces of a $FILE_NAME: a file has a POSIX or Win32 name, and may have a DOS (8.3)
// name beside it in a second $FILE_NAME; Win32AndDos marks one name that serves both.
enum class NameSpace : std::uint8_t { posix = 0, win32 = 1, dos = 2, win32AndDos = 3 };

inline constexpr std::uint32_t kFileNameIsDirectory = 0x10000000;

// The value of a $FILE_NAME attribute (always resident).
struct FileName {
  Verdict verdict = Verdict::notThisStructure;
  std::uint64_t parentRecord = 0;  // MFT record number of the parent folder (48 bits)
  std::uint16_t parentSequence = 0;
  // 100-ns units since 1601-01-01 UTC, as stored.
  std::uint64_t creationTime = 0;
  std::uint64_t modificationTime = 0;
  std::uint64_t recordChangeTime = 0;
  std::uint64_t accessTime = 0;
  std::uint64_t allocatedSize = 0;
  std::uint64_t realSize = 0;
  std::uint32_t flags = 0;      // file attribute bits; kFileNameIsDirectory marks a folder
  std::uint8_t nameLength = 0;  // UTF-16 units
  std::uint8_t nameSpace = 0;   // NameSpace; other values are kept as read
  std::u16string nameUtf16;
  std::string name;  // UTF-8, invalid UTF-16 replaced by U+FFFD

  bool isDirectory() const { return (flags & kFileNameIsDirectory) != 0; }
};

// Decodes a $FILE_NAME value; corrupt when the name runs past the value.
FileName decodeFileName(std::span<const std::byte> value);

// Little-endian UTF-16 (an odd last byte is dropped) as UTF-8; unpaired surrogates become U+FFFD.
std::string utf16leToUtf8(std::span<const std::byte> bytes);
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace talvix::ntfs
