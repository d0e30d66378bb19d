#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

#include "browser/FileIcons.h"
#include "browser/TextFormats.h"

namespace talvix {
namespace {

TEST(TextFormats, SizesInBinaryUnits) {
  const std::pair<std::uint64_t, const char*> cases[] = {
      {0, "0 Bytes"},
      {1023, "1023 Bytes"},
      {1024, "1.00 KB"},
      {1536, "1.50 KB"},
      {1024 * 1024 + 512 * 1024, "1.50 MB"},
      {(1ULL << 30) - 1, "1024.00 MB"},  // rounded as printf rounds, below the GB step
      {1ULL << 30, "1.00 GB"},
      {5ULL << 30, "5.00 GB"},
      {std::numeric_limits<std::uint64_t>::max(), "17179869184.00 GB"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(sizeText(bytes), text) << bytes;
}

TEST(TextFormats, DateAndTimeOnATwelveHourClock) {
  const std::pair<CalendarTime, const char*> cases[] = {
      {{2019, 3, 7, 0, 5, 0}, "03/07/2019  12:05 AM"},  // just after midnight
      {{2019, 3, 7, 0, 30, 0}, "03/07/2019  12:30 AM"},
      {{2019, 3, 7, 9, 41, 59}, "03/07/2019  09:41 AM"},
      {{2019, 3, 7, 11, 59, 0}, "03/07/2019  11:59 AM"},
      {{2019, 3, 7, 12, 0, 0}, "03/07/2019  12:00 PM"},  // noon
      {{2019, 3, 7, 12, 15, 0}, "03/07/2019  12:15 PM"},
      {{2019, 3, 7, 13, 5, 0}, "03/07/2019  01:05 PM"},
      {{2019, 12, 31, 23, 59, 59}, "12/31/2019  11:59 PM"},
      {{1601, 1, 1, 0, 0, 0}, "01/01/1601  12:00 AM"},
  };
  for (const auto& [time, text] : cases) EXPECT_EQ(dateTimeText(time), text);
  EXPECT_EQ(dateTimeText(std::optional<CalendarTime>{}), "");
  EXPECT_EQ(dateText({2019, 3, 7, 13, 5, 0}), "03/07/2019 ");
}

TEST(TextFormats, FatAndExfatPackedValuesAsStored) {
  const std::uint16_t date = (2019 - 1980) << 9 | 3 << 5 | 7;  // 7 March 2019
  const std::uint16_t time = 13 << 11 | 5 << 5 | 5;            // 13:05:10
  EXPECT_EQ(dateText(fatDate(date)), "03/07/2019 ");           // the FAT access date
  EXPECT_EQ(fatDateTime(date, time), (CalendarTime{2019, 3, 7, 13, 5, 10}));
  EXPECT_EQ(dateTimeText(fatDateTime(date, time)), "03/07/2019  01:05 PM");
  EXPECT_EQ(exfatDateTime(std::uint32_t{date} << 16 | time), fatDateTime(date, time));
  EXPECT_EQ(dateTimeText(fatDateTime(0, 0)), "00/00/1980  12:00 AM");  // an empty field
}

// The conversions that depend on the local time-zone rules, under two zones.
class LocalTimes : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
  }
  void TearDown() override {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  static void zone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }
  std::optional<std::string> saved_;
};

TEST_F(LocalTimes, NtfsExtAndHfsTimesFollowTheZoneRules) {
  const std::int64_t july = 1'561'982'400;     // 2019-07-01 12:00 UTC
  const std::int64_t january = 1'547'553'600;  // 2019-01-15 12:00 UTC
  auto ntfs = [](std::int64_t unix) {
    return static_cast<std::uint64_t>(unix + 11'644'473'600) * 10'000'000;
  };
  auto hfs = [](std::int64_t unix) { return static_cast<std::uint32_t>(unix + 2'082'844'800); };

  zone("UTC0");
  EXPECT_EQ(dateTimeText(ntfsLocalTime(ntfs(july))), "07/01/2019  12:00 PM");
  EXPECT_EQ(dateTimeText(extLocalTime(july)), "07/01/2019  12:00 PM");
  EXPECT_EQ(dateTimeText(hfsLocalTime(hfs(july))), "07/01/2019  12:00 PM");
  EXPECT_EQ(dateTimeText(ntfsLocalTime(0)), "01/01/1601  12:00 AM");
  EXPECT_EQ(dateTimeText(hfsLocalTime(0)), "01/01/1904  12:00 AM");
  EXPECT_EQ(ntfsLocalTime(1ULL << 63), std::nullopt);

  zone("CET-1CEST,M3.5.0,M10.5.0/3");  // one hour east, two in summer
  EXPECT_EQ(dateTimeText(ntfsLocalTime(ntfs(july))), "07/01/2019  02:00 PM");
  EXPECT_EQ(dateTimeText(ntfsLocalTime(ntfs(january))), "01/15/2019  01:00 PM");
  EXPECT_EQ(dateTimeText(extLocalTime(july)), "07/01/2019  02:00 PM");
  EXPECT_EQ(dateTimeText(hfsLocalTime(hfs(january))), "01/15/2019  01:00 PM");
  // ext seconds are unsigned: the top half of the range is after 2038, not before 1970.
  EXPECT_EQ(extLocalTime(0xffffffffu)->year, 2106);
}

TEST(TextFormats, UtcCalendarAroundTheEpoch) {
  EXPECT_EQ(utcCalendar(0), (CalendarTime{1970, 1, 1, 0, 0, 0}));
  EXPECT_EQ(utcCalendar(-1), (CalendarTime{1969, 12, 31, 23, 59, 59}));
  EXPECT_EQ(utcCalendar(951'782'400), (CalendarTime{2000, 2, 29, 0, 0, 0}));
}

TEST(TextFormats, AttributeTexts) {
  EXPECT_EQ(fatAttributeText(0), "");
  EXPECT_EQ(fatAttributeText(0x27), "-R-H-S-A");
  EXPECT_EQ(fatAttributeText(0x30), "-A");              // the folder bit has no letter
  EXPECT_EQ(extAttributeText(0x81a4), "-OR-GR-UW-UR");  // regular file, 0644
  EXPECT_EQ(extAttributeText(0x1ff), "-OE-OW-OR-GE-GW-GR-UE-UW-UR");
  EXPECT_EQ(hfsAttributeText(0x1ed), "-Owner:X-Owner:W-Owner:R-OX-OR-GX-GR");  // 0755, owner first
  EXPECT_EQ(hfsAttributeText(0), "");
}

TEST(TextFormats, SearchBackgroundIsTenDarker) {
  EXPECT_EQ(searchBackground(rgb(255, 255, 255)), rgb(245, 245, 245));
  EXPECT_EQ(searchBackground(rgb(9, 10, 100)), rgb(9, 0, 90));
}

TEST(FileIcons, OneIndexPerExtensionByNameOnly) {
  FileIconIndex icons;
  const int txt = icons.iconForName("notes.TXT");
  EXPECT_GT(txt, FileIconIndex::kFolder);
  EXPECT_EQ(icons.iconForName("other.txt"), txt);
  EXPECT_EQ(icons.extensionOf(txt), "txt");
  EXPECT_NE(icons.iconForName("photo.jpg"), txt);
  EXPECT_EQ(icons.iconForName("archive.tar.gz"), icons.iconForName("x.GZ"));
  EXPECT_EQ(icons.iconForName("README"), FileIconIndex::kUnknownFile);
  EXPECT_EQ(icons.iconForName("trailing."), FileIconIndex::kUnknownFile);
  EXPECT_EQ(icons.iconForName("a." + std::string(200, 'x')), FileIconIndex::kUnknownFile);
  EXPECT_EQ(icons.folderIcon(), FileIconIndex::kFolder);
  EXPECT_EQ(icons.extensionOf(FileIconIndex::kFolder), "");
}

}  // namespace
}  // namespace talvix
