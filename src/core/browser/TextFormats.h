#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "browser/CheckTree.h"

namespace talvix {

// A calendar date and time as the list shows it (month 1 to 12, full year, hour 0 to 23).
struct CalendarTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const CalendarTime&) const = default;
};

// "%.2f GB", "%.2f MB", "%.2f KB" in binary units, or "%llu Bytes" below 1 KiB.
std::string sizeText(std::uint64_t bytes);

// "MM/DD/YYYY  hh:mm AM" on a 12-hour clock: 00:30 is "12:30 AM", 12:15 is "12:15 PM",
// 13:05 is "01:05 PM". Seconds are not shown.
std::string dateTimeText(const CalendarTime& t);
// Empty when the time could not be converted.
std::string dateTimeText(const std::optional<CalendarTime>& t);
// "MM/DD/YYYY " (one space at the end).
std::string dateText(const CalendarTime& t);

// Seconds since 1970-01-01 00:00 UTC as UTC, and as local time under the current time-zone
// rules of the system (the TZ environment variable or the system's zone).
std::optional<CalendarTime> utcCalendar(std::int64_t unixSeconds);
std::optional<CalendarTime> localCalendar(std::int64_t unixSeconds);

// NTFS: 100-ns units since 1601-01-01 UTC, shown as local time. Values from 2^63 on are not
// times (the system refuses them too).
std::optional<CalendarTime> ntfsLocalTime(std::uint64_t fileTime);
// FAT packed values, shown as stored (no time zone): date = year - 1980 in bits 9 to 15, month
// in bits 5 to 8, day in bits 0 to 4; time = hour in bits 11 to 15, minute in bits 5 to 10
// (the two-second count in bits 0 to 4 is dropped).
CalendarTime fatDateTime(std::uint16_t date, std::uint16_t time);
CalendarTime fatDate(std::uint16_t date);
// exFAT: the FAT date in the upper 16 bits, the FAT time in the lower 16 bits.
CalendarTime exfatDateTime(std::uint32_t timestamp);
// ext: unsigned 32-bit seconds since 1970-01-01 UTC, shown as local time.
std::optional<CalendarTime> extLocalTime(std::uint32_t seconds);
// HFS+: 32-bit seconds since 1904-01-01 00:00 UTC (already in host order), as local time.
std::optional<CalendarTime> hfsLocalTime(std::uint32_t seconds);

// Attribute texts: one piece per bit that is set, in a fixed order; empty when none.
std::string fatAttributeText(std::uint32_t attributes);  // -R -H -S -A
std::string extAttributeText(std::uint32_t mode);        // -OE -OW -OR -GE -GW -GR -UE -UW -UR
std::string hfsAttributeText(std::uint32_t mode);        // -Owner:X -Owner:W -Owner:R -OX ... -GR

// The tree's background while a search runs: each component lowered by 10, a component below
// 10 left as it is.
Colour searchBackground(Colour window);

}  // namespace talvix
