#include "disk/VmdkDescriptor.h"

#include <algorithm>
#include <charconv>

namespace talvix {
namespace {

constexpr std::string_view kCreateTypeKey = "createType=\"";
// The embedded descriptor's createType window ends at character 512 of the text, unless the
// key itself lies beyond character 500; then it runs to the end of the text.
constexpr std::size_t kCreateTypeWindowEnd = 512;
constexpr std::size_t kCreateTypeLastWindowedKey = 500;

std::string_view between(std::string_view text, std::string_view startKey,
                         std::string_view endKey) {
  const auto start = text.find(startKey);
  if (start == std::string_view::npos) return {};
  const auto from = start + startKey.size();
  const auto end = text.find(endKey, from);
  if (end == std::string_view::npos) return {};
  return text.substr(from, end - from);
}

// "key" followed by a double quote; the value runs to the next double quote.
std::string quotedValue(std::string_view text, std::string_view key) {
  const auto at = text.find(key);
  if (at == std::string_view::npos) return {};
  const auto open = at + key.size();
  if (open >= text.size() || text[open] != '"') return {};
  const auto close = text.find('"', open + 1);
  if (close == std::string_view::npos) return {};
  return std::string(text.substr(open + 1, close - open - 1));
}

void readCommonKeys(std::string_view text, VmdkDescriptor& d) {
  const auto versionAt = text.find("version=");
  const auto cidAt = text.find("CID=");
  if (versionAt != std::string_view::npos && cidAt != std::string_view::npos &&
      cidAt > versionAt + 8)
    d.version = std::string(text.substr(versionAt + 8, cidAt - versionAt - 8));
  d.cid = std::string(between(text, "CID=", "parentCID="));
  d.parentCid = std::string(between(text, "parentCID=", kCreateTypeKey));
  d.cylinders = quotedValue(text, "ddb.geometry.cylinders = ");
  d.heads = quotedValue(text, "ddb.geometry.heads = ");
  d.sectorsPerTrack = quotedValue(text, "ddb.geometry.sectors = ");
}

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Next blank-delimited token of `line`, consumed from it.
std::string_view nextToken(std::string_view& line) {
  line = trimBlanks(line);
  const auto end = line.find_first_of(" \t");
  const auto token = line.substr(0, end);
  line.remove_prefix(end == std::string_view::npos ? line.size() : end);
  return token;
}

bool toNumber(std::string_view token, std::uint64_t& value) {
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  return ec == std::errc{} && end == token.data() + token.size() && !token.empty();
}

std::optional<VmdkExtent> parseExtentLine(std::string_view line) {
  VmdkExtent e;
  const auto access = nextToken(line);
  if (access != "RW" && access != "RDONLY" && access != "NOACCESS") return std::nullopt;
  if (!toNumber(nextToken(line), e.sectorCount)) return std::nullopt;
  e.extentType = std::string(nextToken(line));
  if (e.extentType.empty()) return std::nullopt;
  line = trimBlanks(line);
  if (line.empty()) return e;  // ZERO extents name no file
  if (line.front() != '"') return std::nullopt;
  const auto close = line.find('"', 1);
  if (close == std::string_view::npos) return std::nullopt;
  e.fileName = std::string(line.substr(1, close - 1));
  line.remove_prefix(close + 1);
  const auto offset = nextToken(line);
  if (!offset.empty() && !toNumber(offset, e.offset)) e.offset = 0;
  return e;
}

}  // namespace

std::uint64_t VmdkDescriptor::extentSectors() const {
  std::uint64_t sum = 0;
  for (const auto& e : extents) sum += e.sectorCount;
  return sum;
}

std::string_view descriptorText(std::string_view bytes) {
  return bytes.substr(0, bytes.find('\0'));
}

std::string_view extentSection(std::string_view text) {
  return between(text, "# Extent description", "# The Disk Data Base");
}

std::vector<VmdkExtent> parseExtentLines(std::string_view section) {
  std::vector<VmdkExtent> extents;
  while (!section.empty()) {
    const auto end = section.find('\n');
    if (auto extent = parseExtentLine(section.substr(0, end))) extents.push_back(*extent);
    section.remove_prefix(end == std::string_view::npos ? section.size() : end + 1);
  }
  return extents;
}

std::optional<VmdkDescriptor> parseEmbeddedDescriptor(std::string_view text) {
  const auto keyAt = text.find(kCreateTypeKey);
  if (keyAt == std::string_view::npos || keyAt == 0) return std::nullopt;
  const auto windowStart = keyAt + kCreateTypeKey.size();
  if (windowStart >= text.size()) return std::nullopt;
  const auto windowEnd = keyAt <= kCreateTypeLastWindowedKey
                             ? std::min(kCreateTypeWindowEnd, text.size())
                             : text.size();
  const auto window = text.substr(windowStart, windowEnd - std::min(windowStart, windowEnd));

  VmdkDescriptor d;
  readCommonKeys(text, d);
  const auto quote = window.find('"');
  if (quote != std::string_view::npos && quote > 0)
    d.createType = std::string(window.substr(0, quote));
  d.extents = parseExtentLines(extentSection(window));
  return d;
}

VmdkDescriptor parseDescriptorFile(std::string_view text) {
  VmdkDescriptor d;
  readCommonKeys(text, d);
  d.createType = quotedValue(text, "createType=");
  d.extents = parseExtentLines(extentSection(text));
  return d;
}

}  // namespace talvix
