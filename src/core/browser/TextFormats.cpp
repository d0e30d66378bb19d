#include "browser/TextFormats.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace talvix {
namespace {

template <typename... Args>
std::string format(const char* pattern, Args... args) {
  char buffer[96];
  const int n = std::snprintf(buffer, sizeof buffer, pattern, args...);
  if (n < 0) return {};
  const auto length = static_cast<std::size_t>(n);
  return std::string(buffer, length < sizeof buffer ? length : sizeof buffer - 1);
}

// 1601-01-01 to 1970-01-01 and 1904-01-01 to 1970-01-01, in seconds.
constexpr std::int64_t kNtfsEpochOffset = 11'644'473'600;
constexpr std::int64_t kHfsEpochOffset = 2'082'844'800;

}  // namespace

std::string sizeText(std::uint64_t bytes) {
  const double v = static_cast<double>(bytes);
  if (v / 1073741824.0 >= 1.0) return format("%.2f GB", v / 1073741824.0);
  if (v / 1048576.0 >= 1.0) return format("%.2f MB", v / 1048576.0);
  if (v / 1024.0 >= 1.0) return format("%.2f KB", v / 1024.0);
  return format("%llu Bytes", static_cast<unsigned long long>(bytes));
}

std::string dateTimeText(const CalendarTime& t) {
  // A 12-hour clock: the hour after midnight and the hour after noon are 12.
  const bool pm = t.hour >= 12;
  const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  return format("%02d/%02d/%d  %02d:%02d %s", t.month, t.day, t.year, hour12, t.minute,
                pm ? "PM" : "AM");
}

std::string dateTimeText(const std::optional<CalendarTime>& t) {
  return t ? dateTimeText(*t) : std::string();
}

std::string dateText(const CalendarTime& t) {
  return format("%02d/%02d/%d ", t.month, t.day, t.year);
}

std::optional<CalendarTime> utcCalendar(std::int64_t unixSeconds) {
  using namespace std::chrono;
  // Whole days towards minus infinity, so that times before 1970 keep a positive time of day.
  std::int64_t days = unixSeconds / 86400;
  std::int64_t rest = unixSeconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  const year_month_day ymd{sys_days{std::chrono::days{days}}};
  if (!ymd.ok()) return std::nullopt;
  return CalendarTime{static_cast<int>(ymd.year()),
                      static_cast<int>(static_cast<unsigned>(ymd.month())),
                      static_cast<int>(static_cast<unsigned>(ymd.day())),
                      static_cast<int>(rest / 3600),
                      static_cast<int>(rest / 60 % 60),
                      static_cast<int>(rest % 60)};
}

std::optional<CalendarTime> localCalendar(std::int64_t unixSeconds) {
  const std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return std::nullopt;
  return CalendarTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                      tm.tm_hour,        tm.tm_min,     tm.tm_sec};
}

std::optional<CalendarTime> ntfsLocalTime(std::uint64_t fileTime) {
  if (fileTime >= (std::uint64_t{1} << 63)) return std::nullopt;
  const auto seconds = static_cast<std::int64_t>(fileTime / 10'000'000);
  return localCalendar(seconds - kNtfsEpochOffset);
}

CalendarTime fatDate(std::uint16_t date) {
  return CalendarTime{1980 + (date >> 9), (date >> 5) & 0x0f, date & 0x1f, 0, 0, 0};
}

CalendarTime fatDateTime(std::uint16_t date, std::uint16_t time) {
  CalendarTime t = fatDate(date);
  t.hour = time >> 11;
  t.minute = (time >> 5) & 0x3f;
  t.second = (time & 0x1f) * 2;
  return t;
}

CalendarTime exfatDateTime(std::uint32_t timestamp) {
  return fatDateTime(static_cast<std::uint16_t>(timestamp >> 16),
                     static_cast<std::uint16_t>(timestamp & 0xffff));
}

std::optional<CalendarTime> extLocalTime(std::uint32_t seconds) {
  return localCalendar(seconds);
}

std::optional<CalendarTime> hfsLocalTime(std::uint32_t seconds) {
  return localCalendar(static_cast<std::int64_t>(seconds) - kHfsEpochOffset);
}

namespace {

struct AttributePiece {
  std::uint32_t bit;
  const char* text;
};

template <std::size_t N>
std::string attributeText(std::uint32_t value, const AttributePiece (&pieces)[N]) {
  std::string text;
  for (const AttributePiece& p : pieces) {
    if (value & p.bit) text += p.text;
  }
  return text;
}

}  // namespace

std::string fatAttributeText(std::uint32_t attributes) {
  static constexpr AttributePiece kPieces[] = {
      {0x01, "-R"}, {0x02, "-H"}, {0x04, "-S"}, {0x20, "-A"}};
  return attributeText(attributes, kPieces);
}

std::string extAttributeText(std::uint32_t mode) {
  static constexpr AttributePiece kPieces[] = {{0x001, "-OE"}, {0x002, "-OW"}, {0x004, "-OR"},
                                               {0x008, "-GE"}, {0x010, "-GW"}, {0x020, "-GR"},
                                               {0x040, "-UE"}, {0x080, "-UW"}, {0x100, "-UR"}};
  return attributeText(mode, kPieces);
}

std::string hfsAttributeText(std::uint32_t mode) {
  static constexpr AttributePiece kPieces[] = {
      {0x040, "-Owner:X"}, {0x080, "-Owner:W"}, {0x100, "-Owner:R"}, {0x001, "-OX"}, {0x002, "-OW"},
      {0x004, "-OR"},      {0x008, "-GX"},      {0x010, "-GW"},      {0x020, "-GR"}};
  return attributeText(mode, kPieces);
}

Colour searchBackground(Colour window) {
  auto lower = [](int c) { return c >= 10 ? c - 10 : c; };
  return rgb(lower(redOf(window)), lower(greenOf(window)), lower(blueOf(window)));
}

}  // namespace talvix
