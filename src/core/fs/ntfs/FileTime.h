#pragma once

#include <cstdint>
#include <optional>

namespace talvix::ntfs {

// An NTFS time (100-ns units since 1601-01-01 UTC) as seconds and nanoseconds since
// 1970-01-01 UTC; times before 1970 have negative seconds and a positive remainder. None for
// 0 (no time kept) and for values from 2^63 on, which are not times.
struct UnixTime {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;
};

inline std::optional<UnixTime> unixTimeOf(std::uint64_t fileTime) {
  constexpr std::int64_t kUnixEpoch = 116444736000000000LL;  // 1970 in 100 ns since 1601
  constexpr std::int64_t kPerSecond = 10000000;
  if (fileTime == 0 || fileTime >= (std::uint64_t{1} << 63)) return std::nullopt;
  const std::int64_t since1970 = static_cast<std::int64_t>(fileTime) - kUnixEpoch;
  UnixTime t{since1970 / kPerSecond, since1970 % kPerSecond};
  if (t.nanoseconds < 0) {
    t.nanoseconds += kPerSecond;
    --t.seconds;
  }
  t.nanoseconds *= 100;
  return t;
}

}  // namespace talvix::ntfs
