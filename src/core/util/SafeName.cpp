#include "util/SafeName.h"

namespace talvix {
namespace {

constexpr std::size_t kMaxNameBytes = 255;  // NAME_MAX of Linux file systems
constexpr std::size_t kMaxKeptExtension = 16;

// The longest prefix of `text` of at most `bytes` bytes that does not split a UTF-8 sequence.
std::string_view utf8Prefix(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

std::string safeName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    out += (c == '/' || u < 0x20 || u == 0x7F) ? '_' : c;
  }
  if (out.empty() || out == "." || out == "..") return std::string(out.size() + 1, '_');
  if (out.size() <= kMaxNameBytes) return out;
  std::string_view extension;
  if (const auto dot = out.rfind('.');
      dot != std::string::npos && out.size() - dot <= kMaxKeptExtension) {
    extension = std::string_view(out).substr(dot);
  }
  std::string cut(utf8Prefix(out, kMaxNameBytes - extension.size()));
  cut += extension;
  return cut;
}

}  // namespace talvix
