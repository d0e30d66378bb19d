#include "Cli.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>

#include "app/ApplicationState.h"
#include "app/DiskImageExport.h"
#include "app/WorkerControl.h"
#include "browser/FileSearch.h"
#include "browser/SaveWalk.h"
#include "browser/TextFormats.h"
#include "browser/VolumeScan.h"
#include "disk/DiskChoice.h"
#include "util/Text.h"
#include "volumes/Partition.h"

namespace talvix::cli {
namespace {

std::atomic<bool> interrupted{false};

constexpr std::string_view kMainHelp =
    R"(talvix - read the guest disk inside a VMDK, VHD or VDI file

Usage: talvix <command> [options] DISK ...

Commands:
  info DISK             the container kind, format version, size, geometry and extents
  export DISK OUT.img   copy the whole guest disk into a raw image file
  volumes DISK          the volumes of the disk, from its partition tables or a sector search
  ls DISK VOLUME        the folders and files of a volume, deleted ones included
  save DISK VOLUME      save the files of a volume (or of one folder) with their folders
  cat DISK VOLUME PATH  one file's content to standard output
  search DISK VOLUME PATTERN  the files whose names match a pattern, with their paths

Disk options (every command; without them the kind is found from the file's content):
  --split               DISK is one extent of a split set (name-s001.vmdk, name-s002.vmdk, ...)
  --descriptor          DISK is a VMDK descriptor file that lists its extent files
  --extent-type TYPE    SPARSE or FLAT: the kind of the extent files
  --vhd                 DISK is a VHD file (fixed or dynamic)
  --vdi                 DISK is a VirtualBox VDI file

Run 'talvix <command> --help' for a command's options.
Exit status: 0 success, 1 error, 2 usage error.
)";

constexpr std::string_view kInfoHelp =
    R"(Usage: talvix info [disk options] DISK

Shows what the disk file is: container kind, format version, guest disk size in sectors and
MB, geometry, and the extent files with their sizes.
Disk options: --split, --descriptor, --extent-type SPARSE|FLAT, --vhd, --vdi (see 'talvix --help').
)";

constexpr std::string_view kExportHelp =
    R"(Usage: talvix export [disk options] [--sparse] DISK OUT.img

Copies the whole guest disk, byte for byte, into the raw image OUT.img (replaced when it
exists). Unallocated parts of the disk are written as zeros; with --sparse, runs of zeros are
left as holes, so the image takes only the space of the data. Ctrl-C stops the copy and keeps
what was written.
Disk options: --split, --descriptor, --extent-type SPARSE|FLAT, --vhd, --vdi (see 'talvix --help').
)";

constexpr std::string_view kVolumesHelp =
    R"(Usage: talvix volumes [disk options] [--gpt] [--advanced [--from SECTOR] [--to SECTOR]
                       [--no-skip]] [--format table|tsv|json] DISK

Lists the volumes of the guest disk with the columns Volume, File System, Volume Size and
Start Sector, in the order the volume list shows them.
  --gpt          read the GPT entry array instead of the MBR and its extended boot records
  --advanced     test every sector for an NTFS, FAT, exFAT or HFS+ volume start instead
  --from SECTOR  with --advanced: start at this sector
  --to SECTOR    with --advanced: end with the 1 MiB chunk that holds this sector
  --no-skip      with --advanced: also test the sectors inside a volume found (finds backup
                 boot sectors and volumes inside volumes)
  --format F     table (default), tsv (four tab-separated columns, no header) or json
Disk options: --split, --descriptor, --extent-type SPARSE|FLAT, --vhd, --vdi (see 'talvix --help').
)";

constexpr std::string_view kVolumeOptionsHelp =
    R"(Volume (one of):
  --volume N            the N-th volume of 'talvix volumes' (with --gpt: of 'talvix volumes --gpt')
  --start SECTOR --fs NAME [--size-mb MB]
                        a volume given by hand: its start sector, its file system (NTFS, ...)
                        and its size in MB (needed when its boot sector is damaged)
  --mode standard|deep  standard reads the file table; deep searches the whole volume for
                        file records (for volumes whose file table is lost)
Disk options: --split, --descriptor, --extent-type SPARSE|FLAT, --vhd, --vdi (see 'talvix --help').
)";

constexpr std::string_view kLsHelp =
    R"(Usage: talvix ls [disk options] DISK VOLUME [--path FOLDER] [-r] [--format table|tsv|json]

Lists the entries of a folder of the volume (the top level unless --path is given); with -r
every level below it. Deleted entries are listed and marked.
  --path FOLDER  a folder of the volume, names separated by '/'
  -r             every level below the folder
  --format F     table (default); tsv: type (d or f), deleted (0 or 1), size in bytes, path,
                 tab-separated; json: the same fields and the three times (UTC) and attributes
)";

constexpr std::string_view kSaveHelp =
    R"help(Usage: talvix save [disk options] DISK VOLUME [--path FOLDER] --out DIR

Saves every file below the folder (the whole volume unless --path is given) into DIR with its
folders, times and alternate data streams ("name:stream"). Names that cannot be file names
are made safe; two entries with one name both get saved, the deleted one with " (n)" added.
  --path FOLDER  a folder of the volume, names separated by '/'
  --out DIR      the output folder (made when missing)
)help";

constexpr std::string_view kCatHelp =
    R"(Usage: talvix cat [disk options] DISK VOLUME PATH

Writes the content of the file at PATH (names separated by '/') to standard output.
)";

constexpr std::string_view kSearchHelp =
    R"(Usage: talvix search [disk options] DISK VOLUME PATTERN [--path FOLDER]

Lists every file below the folder (the whole volume unless --path is given) whose name
matches PATTERN, deleted files included, one path per line as the file browser shows it:
ROOT\FOLDER\SUBFOLDER\name, the folder part upper-cased. PATTERN is a regular expression
(ECMAScript) found anywhere in the name, letter case ignored; '|' separates alternatives:
"jpg|png" finds a.JPG and b.png, "^a" the names that start with a or A, "txt$" those that
end in txt. Write a pattern that starts with '-' as "[-]...".
  --path FOLDER  a folder of the volume, names separated by '/'
Exit status 2 also when PATTERN is not a valid expression (for example "*.jpg").
)";

class UsageError {
 public:
  explicit UsageError(std::string text) : text_(std::move(text)) {}
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

struct Parsed {
  DiskChoice choice;
  bool kindGiven = false;
  bool help = false;
  std::set<std::string> flags;                // command options without a value
  std::map<std::string, std::string> values;  // command options with a value
  std::vector<std::string> operands;
};

// A command's own options: those that take a value end in '='.
using OptionSet = std::set<std::string, std::less<>>;

Parsed parseArgs(const std::vector<std::string>& args, const OptionSet& own) {
  Parsed p;
  p.choice.diskKind = DiskKind::vmdk;
  p.choice.checkName = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto value = [&](std::string_view what) -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError(a + " needs " + std::string(what));
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      p.help = true;
    } else if (a == "--split") {
      p.choice.vmdkSplit = true;
      p.kindGiven = true;
    } else if (a == "--descriptor") {
      p.choice.isDescripter = true;
      p.kindGiven = true;
    } else if (a == "--extent-type") {
      std::string type = value("SPARSE or FLAT");
      for (auto& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (type != "SPARSE" && type != "FLAT")
        throw UsageError("--extent-type takes SPARSE or FLAT, not " + args[i]);
      p.choice.extentType = type;
      p.kindGiven = true;
    } else if (a == "--vhd" || a == "--vdi") {
      p.choice.diskKind = a == "--vhd" ? DiskKind::vhd : DiskKind::vdi;
      p.kindGiven = true;
    } else if (own.contains(a)) {
      p.flags.insert(a);
    } else if (own.contains(a + "=")) {
      p.values[a] = value("a value");
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError("unknown option " + a);
    } else {
      p.operands.push_back(a);
    }
  }
  if (p.choice.vmdkSplit && p.choice.isDescripter)
    throw UsageError("--split and --descriptor exclude each other");
  return p;
}

DiskChoice choiceFor(const Parsed& p, const std::string& disk) {
  if (!p.kindGiven) return detectDiskChoice(disk);
  DiskChoice choice = p.choice;
  choice.path = disk;
  return choice;
}

std::string megabytes(std::uint64_t sectors) {
  return std::to_string(sectors * 512 / (1024 * 1024)) + " MB";
}

// --format: table (the default), tsv or json.
std::string formatOption(const Parsed& p) {
  const std::string format = p.values.contains("--format") ? p.values.at("--format") : "table";
  if (format != "table" && format != "tsv" && format != "json")
    throw UsageError("--format takes table, tsv or json, not " + format);
  return format;
}

// --path: a folder of the volume; empty for the top level.
std::string pathOption(const Parsed& p) {
  return p.values.contains("--path") ? p.values.at("--path") : "";
}

int runInfo(const Parsed& p, Io& io) {
  if (p.operands.size() != 1) throw UsageError("info takes one DISK");
  const auto& disk = p.operands[0];
  auto reader = makeDiskReader(choiceFor(p, disk));
  if (!reader->open(disk)) {
    io.err << "talvix: cannot open " << disk << ": " << reader->error().text << "\n";
    return kExitError;
  }
  const DiskInfo info = reader->info();
  io.out << "File:            " << disk << "\n"
         << "Container:       " << info.kind << "\n"
         << "Format version:  " << (info.formatVersion.empty() ? "-" : info.formatVersion) << "\n"
         << "Disk size:       " << info.sectors << " sectors (" << megabytes(info.sectors) << ")\n";
  if (!info.cylinders.empty() || !info.heads.empty() || !info.sectorsPerTrack.empty())
    io.out << "Geometry:        cylinders " << info.cylinders << ", heads " << info.heads
           << ", sectors per track " << info.sectorsPerTrack << "\n";
  io.out << "File length:     " << reader->fileLength() << " bytes\n";
  if (!info.extents.empty()) {
    io.out << "Extents:         " << info.extents.size() << "\n";
    for (std::size_t i = 0; i < info.extents.size(); ++i) {
      const auto& e = info.extents[i];
      io.out << "  " << i + 1 << ": " << (e.type.empty() ? "-" : e.type) << " " << e.sectors
             << " sectors";
      if (!e.fileName.empty()) io.out << " \"" << e.fileName << "\"";
      if (!e.note.empty()) io.out << " (" << e.note << ")";
      io.out << "\n";
    }
  }
  return kExitOk;
}

// Progress bar and status on a terminal; also where an interrupt turns into a stop request.
class TerminalProgress : public ProgressTarget, public StatusLine {
 public:
  TerminalProgress(Io& io, std::function<void()> stop) : io_(io), stop_(std::move(stop)) {}
  ~TerminalProgress() override {
    if (drawn_) io_.err << "\n";
  }
  void setProgressRange(std::int64_t low, std::int64_t high) override {
    low_ = low;
    high_ = high;
  }
  void setProgressPosition(std::int64_t position) override {
    if (interrupted.load()) stop_();
    position_ = position;
    draw(false);
  }
  void setStatusText(std::string_view text) override {
    if (interrupted.load()) stop_();
    status_ = text;
    draw(false);
  }
  void finish() { draw(true); }

 private:
  void draw(bool force) {
    if (!io_.progressOnTerminal) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    drawn_ = true;
    const double span = static_cast<double>(high_ - low_);
    const double fraction = span > 0 ? static_cast<double>(position_ - low_) / span : 1.0;
    constexpr int kWidth = 30;
    const int filled = std::clamp(static_cast<int>(fraction * kWidth), 0, kWidth);
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%",
                  std::clamp(static_cast<int>(fraction * 100), 0, 100));
    io_.err << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
            << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << percent
            << "  " << status_ << "\x1b[K" << std::flush;
  }

  Io& io_;
  std::function<void()> stop_;
  std::int64_t low_ = 0, high_ = 0, position_ = 0;
  std::string status_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point lastDraw_{};
};

// The command line has nobody to answer a question; messages become the error line.
class SilentPrompter : public Prompter {
 public:
  void inform(std::string_view, Caption, MessageIcon) override {}
  bool askYesNo(std::string_view, Caption, MessageIcon) override { return false; }
};

class NoView : public ExportView {
 public:
  void setNavigationEnabled(bool) override {}
  void setCopyControlsVisible(bool) override {}
};

int runExport(const Parsed& p, Io& io) {
  if (p.operands.size() != 2) throw UsageError("export takes DISK and OUT.img");
  const auto& disk = p.operands[0];
  const auto& out = p.operands[1];
  ApplicationState state;
  buildExportReader(state, choiceFor(p, disk));
  WorkerControl control;
  TerminalProgress progress(io, [&] { control.requestStop(); });
  SilentPrompter prompter;
  NoView view;
  interrupted = false;
  const auto result =
      exportDiskImage(state, disk, out, {progress, progress, prompter, view, control},
                      ExportOptions{.sparse = p.flags.contains("--sparse")});
  progress.finish();
  switch (result.outcome) {
    case ExportResult::Outcome::completed:
      return kExitOk;
    case ExportResult::Outcome::stopped:
      io.err << "talvix: stopped; " << out << " holds the first " << result.bytesWritten
             << " bytes\n";
      return kExitError;
    case ExportResult::Outcome::failed:
      break;
  }
  io.err << "talvix: export of " << disk << " failed: " << result.error << "\n";
  return kExitError;
}

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::int64_t sectorOption(const Parsed& p, const std::string& name) {
  const auto it = p.values.find(name);
  if (it == p.values.end()) return 0;
  std::int64_t value = 0;
  const auto& text = it->second;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || value < 0)
    throw UsageError(name + " takes a sector number, not " + text);
  return value;
}

void printVolumes(const std::vector<Volume>& volumes, const std::string& format,
                  std::ostream& out) {
  if (format == "tsv") {
    for (const auto& v : volumes)
      out << v.volumeName << '\t' << v.fileSystem << '\t' << v.sizeText << '\t' << v.startSector
          << '\n';
  } else if (format == "json") {
    out << "[";
    for (std::size_t i = 0; i < volumes.size(); ++i) {
      const auto& v = volumes[i];
      out << (i ? ",\n " : "\n ") << "{\"volume\": " << jsonString(v.volumeName)
          << ", \"fileSystem\": " << jsonString(v.fileSystem)
          << ", \"volumeSize\": " << jsonString(v.sizeText)
          << ", \"sizeMiB\": " << sizeTextMegabytes(v.sizeText)
          << ", \"startSector\": " << v.startSector << "}";
    }
    out << (volumes.empty() ? "]\n" : "\n]\n");
  } else {
    const std::vector<std::string> header = {"Volume", "File System", "Volume Size",
                                             "Start Sector"};
    std::vector<std::vector<std::string>> rows = {header};
    for (const auto& v : volumes)
      rows.push_back({v.volumeName, v.fileSystem, v.sizeText, std::to_string(v.startSector)});
    std::vector<std::size_t> width(header.size(), 0);
    for (const auto& row : rows)
      for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
    for (const auto& row : rows) {
      for (std::size_t c = 0; c < row.size(); ++c) {
        const bool number = c == 3;
        const std::string pad(width[c] - row[c].size(), ' ');
        out << (c ? "  " : "")
            << (number ? pad + row[c] : (c + 1 < row.size() ? row[c] + pad : row[c]));
      }
      out << '\n';
    }
  }
}

int runVolumes(const Parsed& p, Io& io) {
  if (p.operands.size() != 1) throw UsageError("volumes takes one DISK");
  const bool advanced = p.flags.contains("--advanced");
  if (!advanced &&
      (p.values.contains("--from") || p.values.contains("--to") || p.flags.contains("--no-skip")))
    throw UsageError("--from, --to and --no-skip go with --advanced");
  const std::string format = formatOption(p);
  const std::int64_t from = sectorOption(p, "--from");
  const std::int64_t to = sectorOption(p, "--to");

  const auto& disk = p.operands[0];
  auto reader = makeDiskReader(choiceFor(p, disk));
  if (!reader->open(disk)) {
    io.err << "talvix: cannot open " << disk << ": " << reader->error().text << "\n";
    return kExitError;
  }
  struct Collect : VolumeSink, VolumeScanView {
    std::vector<Volume> volumes;
    void volumeFound(const Volume& v) override { volumes.push_back(v); }
    void setFilterEntriesEnabled(bool) override {}
  } found;
  Partition* running = nullptr;
  TerminalProgress progress(io, [&] {
    if (running) running->stopRequested = true;
  });
  Partition partition(*reader, progress, found);
  running = &partition;
  partition.gptMode = p.flags.contains("--gpt");
  int error = 0;
  if (advanced) {
    partition.skipVolumeSize = !p.flags.contains("--no-skip");
    partition.customStartSector = from;
    partition.customEndSector = to;
    interrupted = false;
    const int answer = partition.advancedScan(reader->diskSectors(), progress, found);
    if (answer != 1) error = answer;
    progress.finish();
    // The volume list shows the latest find first.
    std::reverse(found.volumes.begin(), found.volumes.end());
  } else {
    error = partition.standardScan();
    for (std::size_t i = 0; i < found.volumes.size(); ++i)
      found.volumes[i].volumeName = std::to_string(i);
    std::array<std::byte, 512> header{};
    reader->volumeBase = 0;
    if (!partition.gptMode && reader->seek(512) && reader->read(header.data(), header.size()) &&
        std::memcmp(header.data(), "EFI PART", 8) == 0)
      io.err << "talvix: note: " << disk << " has a GPT; 'talvix volumes --gpt' reads it\n";
  }
  printVolumes(found.volumes, format, io.out);
  if (error) {
    io.err << "talvix: reading " << disk << " failed: " << systemErrorText(error) << "\n";
    return kExitError;
  }
  return kExitOk;
}

// ------------------------------------------------------------------------------------------
// Browsing a volume: ls, save, cat

struct OpenedVolume {
  std::unique_ptr<readWriteInterface> reader;
  std::unique_ptr<ScannedVolume> scanned;
};

std::uint64_t numberOption(const Parsed& p, const std::string& name) {
  const auto& text = p.values.at(name);
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size())
    throw UsageError(name + " takes a number, not " + text);
  return value;
}

// Opens the disk, finds the volume and scans it; prints the error and answers false on failure.
bool openVolume(const Parsed& p, const std::string& disk, Io& io, OpenedVolume& opened) {
  const bool byNumber = p.values.contains("--volume");
  const bool byStart = p.values.contains("--start");
  if (byNumber == byStart)
    throw UsageError("give the volume with --volume N or --start SECTOR --fs NAME");
  if (byStart && !p.values.contains("--fs")) throw UsageError("--start needs --fs NAME");
  ScanMode mode = ScanMode::standard;
  if (const auto it = p.values.find("--mode"); it != p.values.end()) {
    if (it->second == "deep")
      mode = ScanMode::deep;
    else if (it->second != "standard")
      throw UsageError("--mode takes standard or deep, not " + it->second);
  }
  opened.reader = makeDiskReader(choiceFor(p, disk));
  if (!opened.reader->open(disk)) {
    io.err << "talvix: cannot open " << disk << ": " << opened.reader->error().text << "\n";
    return false;
  }
  Volume volume;
  if (byNumber) {
    const std::uint64_t n = numberOption(p, "--volume");
    struct Collect : VolumeSink {
      std::vector<Volume> volumes;
      void volumeFound(const Volume& v) override { volumes.push_back(v); }
    } found;
    struct NoStatus : StatusLine {
      void setStatusText(std::string_view) override {}
    } status;
    Partition partition(*opened.reader, status, found);
    partition.gptMode = p.flags.contains("--gpt");
    partition.standardScan();
    if (n >= found.volumes.size()) {
      io.err << "talvix: " << disk << " has no volume " << n << " (it has " << found.volumes.size()
             << "; see 'talvix volumes')\n";
      return false;
    }
    volume = found.volumes[n];
  } else {
    volume.startSector = sectorOption(p, "--start");
    volume.fileSystem = p.values.at("--fs");
    if (p.values.contains("--size-mb"))
      volume.sizeText = std::to_string(numberOption(p, "--size-mb"));
  }
  WorkerControl control;
  TerminalProgress progress(io, [&] { control.requestStop(); });
  interrupted = false;
  std::string error;
  opened.scanned = scanVolume(
      *opened.reader, volume, mode,
      ScanTargets{.progress = &progress, .status = &progress, .control = &control}, error);
  progress.finish();
  if (!opened.scanned) {
    io.err << "talvix: volume at sector " << volume.startSector << " (" << volume.fileSystem
           << "): " << error << "\n";
    return false;
  }
  if (control.stopRequested()) io.err << "talvix: scan stopped; showing what was found\n";
  return true;
}

// The names of a path with '/' between them; empty parts are left out.
std::vector<std::string_view> pathParts(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const auto slash = path.find('/');
    if (slash != 0) parts.push_back(path.substr(0, slash));
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
  }
  return parts;
}

// The entry at `path` ('/' between names; empty: the top level, kNoEntry). A live entry is
// taken before a deleted one of the same name.
std::optional<EntryId> findPath(const EntrySource& source, std::string_view path) {
  EntryId at = kNoEntry;
  for (const std::string_view part : pathParts(path)) {
    if (at != kNoEntry && !source.isFolder(at)) return std::nullopt;
    EntryId match = kNoEntry;
    std::set<EntryId> seen;
    for (EntryId c = firstChildOf(source, at); c != kNoEntry; c = source.nextSibling(c)) {
      if (!seen.insert(c).second) break;
      if (source.name(c) != part) continue;
      if (match == kNoEntry || (source.deleted(match) && !source.deleted(c))) match = c;
    }
    if (match == kNoEntry) return std::nullopt;
    at = match;
  }
  return at;
}

// The folder at `path` (kNoEntry for the top level); says so on stderr when there is none.
std::optional<EntryId> folderAt(const EntrySource& source, const std::string& path, Io& io) {
  const auto folder = findPath(source, path);
  if (!folder || (*folder != kNoEntry && !source.isFolder(*folder))) {
    io.err << "talvix: no folder " << path << " on this volume\n";
    return std::nullopt;
  }
  return folder;
}

// Control characters and backslashes escaped, so that one entry stays on one line.
std::string lineSafe(std::string_view text, bool escapeBackslashes = true) {
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\' && escapeBackslashes) {
      out += "\\\\";
    } else if (u < 0x20 || u == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

std::string isoTime(const std::optional<std::int64_t>& seconds) {
  if (!seconds) return "null";
  const auto t = utcCalendar(*seconds);
  if (!t) return "null";
  char text[40];
  std::snprintf(text, sizeof text, "\"%04d-%02d-%02dT%02d:%02d:%02dZ\"", t->year, t->month, t->day,
                t->hour, t->minute, t->second);
  return text;
}

int runLs(const Parsed& p, Io& io) {
  if (p.operands.size() != 1) throw UsageError("ls takes one DISK");
  const std::string format = formatOption(p);
  OpenedVolume opened;
  if (!openVolume(p, p.operands[0], io, opened)) return kExitError;
  EntrySource& source = opened.scanned->entries();
  const std::string base = pathOption(p);
  const auto folder = folderAt(source, base, io);
  if (!folder) return kExitError;
  const bool recursive = p.flags.contains("-r");
  std::string prefix;
  for (const std::string_view part : pathParts(base)) prefix += std::string(part) + "/";

  bool first = true;
  if (format == "json") io.out << "[";
  if (format == "table") io.out << "Type  Deleted  Size          Modified (UTC)        Path\n";
  const auto print = [&](EntryId id, const std::string& path) {
    const bool folderEntry = source.isFolder(id);
    const EntryDetails d = source.details(id);
    const char* type = folderEntry ? "d" : "f";
    const char* deleted = source.deleted(id) ? "1" : "0";
    if (format == "tsv") {
      io.out << type << '\t' << deleted << '\t' << d.size << '\t' << lineSafe(path) << '\n';
    } else if (format == "json") {
      io.out << (first ? "\n " : ",\n ") << "{\"type\": \"" << type
             << "\", \"deleted\": " << (source.deleted(id) ? "true" : "false")
             << ", \"size\": " << d.size << ", \"path\": " << jsonString(path)
             << ", \"created\": " << isoTime(d.creationTime)
             << ", \"accessed\": " << isoTime(d.accessTime)
             << ", \"modified\": " << isoTime(d.modificationTime)
             << ", \"attributes\": " << jsonString(d.attribute) << "}";
    } else {
      std::string modified = isoTime(d.modificationTime);
      modified = modified == "null" ? "-" : modified.substr(1, 19);
      char line[96];
      std::snprintf(line, sizeof line, "%-4s  %-7s  %12llu  %-20s  ", type,
                    source.deleted(id) ? "yes" : "", static_cast<unsigned long long>(d.size),
                    modified.c_str());
      io.out << line << lineSafe(path) << '\n';
    }
    first = false;
  };
  // Pre-order, in chain order; a set of visited entries keeps a looping volume finite.
  std::set<EntryId> seen;
  struct Level {
    EntryId next;
    std::string prefix;
  };
  std::vector<Level> stack{{firstChildOf(source, *folder), prefix}};
  while (!stack.empty()) {
    Level& level = stack.back();
    const EntryId id = level.next;
    if (id == kNoEntry || !seen.insert(id).second) {
      stack.pop_back();
      continue;
    }
    level.next = source.nextSibling(id);
    const std::string path = level.prefix + source.name(id);
    print(id, path);
    if (recursive && source.isFolder(id)) stack.push_back({source.firstChild(id), path + "/"});
  }
  if (format == "json") io.out << (first ? "]\n" : "\n]\n");
  return kExitOk;
}

int runSave(const Parsed& p, Io& io) {
  if (p.operands.size() != 1) throw UsageError("save takes one DISK");
  if (!p.values.contains("--out")) throw UsageError("save needs --out DIR");
  OpenedVolume opened;
  if (!openVolume(p, p.operands[0], io, opened)) return kExitError;
  EntrySource& source = opened.scanned->entries();
  const std::string base = pathOption(p);
  const auto folder = folderAt(source, base, io);
  if (!folder) return kExitError;
  const std::filesystem::path out = p.values.at("--out");
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  if (!std::filesystem::is_directory(out)) {
    io.err << "talvix: cannot make the output folder " << out.string() << "\n";
    return kExitError;
  }
  const std::uint64_t total = countFilesBelow(source, *folder);
  std::atomic<bool> stop{false};
  TerminalProgress progress(io, [&] { stop = true; });
  progress.setProgressRange(0, static_cast<std::int64_t>(total));
  struct NoLine : StatusLine {
    void setStatusText(std::string_view) override {}
  } fileSize;
  interrupted = false;
  const SaveCounts counts =
      saveFolder(source, *folder, out, {&progress, &progress, &fileSize, &stop});
  progress.finish();
  io.err << "talvix: saved " << counts.written << " of " << total << " files to " << out.string();
  if (counts.failed != 0) io.err << "; " << counts.failed << " could not be written";
  io.err << "\n";
  if (stop) {
    io.err << "talvix: stopped\n";
    return kExitError;
  }
  return counts.failed == 0 ? kExitOk : kExitError;
}

int runCat(const Parsed& p, Io& io) {
  if (p.operands.size() != 2) throw UsageError("cat takes DISK and PATH");
  OpenedVolume opened;
  if (!openVolume(p, p.operands[0], io, opened)) return kExitError;
  EntrySource& source = opened.scanned->entries();
  const auto file = findPath(source, p.operands[1]);
  if (!file || *file == kNoEntry || source.isFolder(*file)) {
    io.err << "talvix: no file " << p.operands[1] << " on this volume\n";
    return kExitError;
  }
  struct StreamSink : ByteSink {
    std::ostream& out;
    explicit StreamSink(std::ostream& o) : out(o) {}
    // Ctrl-C ends a long file at its next piece.
    bool write(std::span<const std::byte> bytes) override {
      if (interrupted.load()) return false;
      out.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
      return static_cast<bool>(out);
    }
  } sink(io.out);
  interrupted = false;
  if (!source.writeContent(*file, sink)) {
    io.err << "talvix: " << (interrupted.load() ? "stopped writing " : "writing ") << p.operands[1]
           << (interrupted.load() ? "\n" : " failed\n");
    return kExitError;
  }
  io.out.flush();
  return kExitOk;
}

int runSearch(const Parsed& p, Io& io) {
  if (p.operands.size() != 2) throw UsageError("search takes DISK and PATTERN");
  const std::string& pattern = p.operands[1];
  if (!pattern.empty() && !validSearchPattern(pattern)) {
    io.err << "talvix search: " << kSearchPatternRefused << " (" << pattern
           << " is not a valid regular expression)\n";
    return kExitUsage;
  }
  OpenedVolume opened;
  if (!openVolume(p, p.operands[0], io, opened)) return kExitError;
  EntrySource& source = opened.scanned->entries();
  const std::string base = pathOption(p);
  const auto folder = folderAt(source, base, io);
  if (!folder) return kExitError;
  std::string folderPath = "ROOT";
  for (const std::string_view part : pathParts(base)) folderPath += "\\" + std::string(part);
  // Results as they are found; an interrupt ends the search at its next progress step.
  struct Printer : SearchView, ProgressTarget {
    Io& io;
    WorkerControl control;
    explicit Printer(Io& i) : io(i) {}
    void searchStarted() override {}
    void addResult(const SearchHit& hit) override { io.out << lineSafe(hit.path, false) << '\n'; }
    void setTreeSearching(bool) override {}
    void searchEnded() override {}
    void setProgressRange(std::int64_t, std::int64_t) override {}
    void setProgressPosition(std::int64_t) override {
      if (interrupted.load()) control.requestStop();
    }
  } printer(io);
  interrupted = false;
  talvix::runSearch(source, *folder, folderPath, pattern,
                    {.view = &printer, .progress = &printer, .control = &printer.control});
  if (interrupted) {
    io.err << "talvix: stopped\n";
    return kExitError;
  }
  return kExitOk;
}

}  // namespace

void requestInterrupt() noexcept {
  interrupted = true;
}

int run(const std::vector<std::string>& args, Io io) {
  using Command = std::function<int(const Parsed&, Io&)>;
  const std::string lsHelp = std::string(kLsHelp) + std::string(kVolumeOptionsHelp);
  const std::string saveHelp = std::string(kSaveHelp) + std::string(kVolumeOptionsHelp);
  const std::string catHelp = std::string(kCatHelp) + std::string(kVolumeOptionsHelp);
  const std::string searchHelp = std::string(kSearchHelp) + std::string(kVolumeOptionsHelp);
  struct Entry {
    Command run;
    std::string_view help;
    OptionSet options;
  };
  const std::map<std::string, Entry, std::less<>> commands{
      {"info", {runInfo, kInfoHelp, {}}},
      {"export", {runExport, kExportHelp, {"--sparse"}}},
      {"volumes",
       {runVolumes,
        kVolumesHelp,
        {"--gpt", "--advanced", "--no-skip", "--from=", "--to=", "--format="}}},
      {"ls",
       {runLs,
        lsHelp,
        {"--gpt", "-r",
         "--volume=", "--start=", "--fs=", "--size-mb=", "--mode=", "--path=", "--format="}}},
      {"save",
       {runSave,
        saveHelp,
        {"--gpt", "--volume=", "--start=", "--fs=", "--size-mb=", "--mode=", "--path=", "--out="}}},
      {"cat",
       {runCat, catHelp, {"--gpt", "--volume=", "--start=", "--fs=", "--size-mb=", "--mode="}}},
      {"search",
       {runSearch,
        searchHelp,
        {"--gpt", "--volume=", "--start=", "--fs=", "--size-mb=", "--mode=", "--path="}}},
  };
  if (args.empty()) {
    io.err << kMainHelp;
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    io.out << kMainHelp;
    return kExitOk;
  }
  const auto command = commands.find(args[0]);
  if (command == commands.end()) {
    io.err << "talvix: unknown command '" << args[0] << "' (see 'talvix --help')\n";
    return kExitUsage;
  }
  try {
    const Parsed parsed = parseArgs({args.begin() + 1, args.end()}, command->second.options);
    if (parsed.help) {
      io.out << command->second.help;
      return kExitOk;
    }
    return command->second.run(parsed, io);
  } catch (const UsageError& e) {
    io.err << "talvix " << args[0] << ": " << e.text() << "\n" << command->second.help;
    return kExitUsage;
  }
}

}  // namespace talvix::cli
