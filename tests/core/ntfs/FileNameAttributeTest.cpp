#include <gtest/gtest.h>

#include "TestFiles.h"
#include "fs/ntfs/FileNameAttribute.h"

namespace talvix::ntfs {
namespace {

using test::Bytes;

Bytes fileNameValue(std::u16string_view name,
                    std::uint64_t parentReference = 0x0003'0000'0000'0005u) {
  Bytes b(66 + 2 * name.size());
  test::putLe64(b, 0, parentReference);
  test::putLe64(b, 8, 0x01D0'0000'0000'0001u);
  test::putLe64(b, 16, 0x01D0'0000'0000'0002u);
  test::putLe64(b, 24, 0x01D0'0000'0000'0003u);
  test::putLe64(b, 32, 0x01D0'0000'0000'0004u);
  test::putLe64(b, 40, 8192);
  test::putLe64(b, 48, 5000);
  test::putLe32(b, 56, 0x10000020);
  b[64] = std::byte{static_cast<std::uint8_t>(name.size())};
  b[65] = std::byte{1};
  for (std::size_t i = 0; i < name.size(); ++i) test::putLe16(b, 66 + 2 * i, name[i]);
  return b;
}

TEST(NtfsFileName, DecodesEveryField) {
  const FileName f = decodeFileName(fileNameValue(u"Grüße.txt"));
  EXPECT_EQ(f.verdict, Verdict::valid);
  EXPECT_EQ(f.parentRecord, 5u);
  EXPECT_EQ(f.parentSequence, 3);
  EXPECT_EQ(f.creationTime, 0x01D0'0000'0000'0001u);
  EXPECT_EQ(f.modificationTime, 0x01D0'0000'0000'0002u);
  EXPECT_EQ(f.recordChangeTime, 0x01D0'0000'0000'0003u);
  EXPECT_EQ(f.accessTime, 0x01D0'0000'0000'0004u);
  EXPECT_EQ(f.allocatedSize, 8192u);
  EXPECT_EQ(f.realSize, 5000u);
  EXPECT_TRUE(f.isDirectory());
  EXPECT_EQ(f.nameLength, 9);
  EXPECT_EQ(f.nameSpace, static_cast<std::uint8_t>(NameSpace::win32));
  EXPECT_EQ(f.nameUtf16, u"Grüße.txt");
  EXPECT_EQ(f.name, "Grüße.txt");
}

TEST(NtfsFileName, ParentReferenceIsAn48BitRecordNumber) {
  const FileName f = decodeFileName(fileNameValue(u"a", 0xFFFF'8000'0000'0010u));
  EXPECT_EQ(f.parentRecord, 0x8000'0000'0010u);  // bit 47 is part of the number, not a sign
  EXPECT_EQ(f.parentSequence, 0xFFFF);
}

TEST(NtfsFileName, ANameOf255UnitsIsAName) {
  const std::u16string longName(255, u'x');
  const FileName f = decodeFileName(fileNameValue(longName));
  EXPECT_EQ(f.verdict, Verdict::valid);
  EXPECT_EQ(f.name, std::string(255, 'x'));
}

TEST(NtfsFileName, ANameRunningPastTheValueIsCorrupt) {
  Bytes b = fileNameValue(u"name.txt");
  b[64] = std::byte{9};
  EXPECT_EQ(decodeFileName(b).verdict, Verdict::corrupt);
  EXPECT_EQ(decodeFileName(std::span(b).first(65)).verdict, Verdict::corrupt);
  EXPECT_EQ(decodeFileName({}).verdict, Verdict::corrupt);
}

TEST(NtfsFileName, Utf16ToUtf8) {
  struct Case {
    const char* what;
    std::u16string in;
    std::string out;
  };
  const Case cases[] = {
      {"ASCII", u"README.txt", "README.txt"},
      {"two- and three-byte forms", u"Ünïcødé – 日本語", "Ünïcødé – 日本語"},
      {"a surrogate pair", u"\U0001F600.txt", "\xF0\x9F\x98\x80.txt"},
      {"a lone high surrogate", std::u16string{u'a', char16_t{0xD800}, u'b'},
       "a\xEF\xBF\xBD"
       "b"},
      {"a lone low surrogate", std::u16string{char16_t{0xDC00}, u'b'},
       "\xEF\xBF\xBD"
       "b"},
      {"a high surrogate at the end", std::u16string{u'a', char16_t{0xDBFF}}, "a\xEF\xBF\xBD"},
      {"two high surrogates", std::u16string{char16_t{0xD800}, char16_t{0xD800}, char16_t{0xDC00}},
       "\xEF\xBF\xBD\xF0\x90\x80\x80"},
      {"NUL stays", std::u16string{u'a', u'\0', u'b'}, std::string("a\0b", 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(utf16ToUtf8(c.in), c.out);
  }
  const Bytes odd = {std::byte{'h'}, std::byte{0}, std::byte{'i'}};
  EXPECT_EQ(utf16leToUtf8(odd), "h");
}

}  // namespace
}  // namespace talvix::ntfs
