#pragma once

#include <string>
#include <string_view>

namespace talvix {

// `s` without leading and trailing blanks and line breaks.
inline std::string trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(first, last - first + 1));
}

// Whether `s` ends with `suffix`, ignoring ASCII case.
inline bool endsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  s.remove_prefix(s.size() - suffix.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(s[i]) != lower(suffix[i])) return false;
  }
  return true;
}

}  // namespace talvix
