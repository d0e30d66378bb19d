#include "Cli.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <ostream>

#include "app/ApplicationState.h"
#include "app/DiskImageExport.h"
#include "disk/DiskChoice.h"
#include "util/Text.h"

namespace talvix::cli {
namespace {

std::atomic<bool> interrupted{false};

constexpr std::string_view kMainHelp =
    R"(talvix - read the guest disk inside a VMDK, VHD or VDI file

Usage: talvix <command> [options] DISK ...

Commands:
  info DISK             the container kind, format version, size, geometry and extents
  export DISK OUT.img   copy the whole guest disk into a raw image file

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
  bool sparse = false;
  bool help = false;
  std::vector<std::string> operands;
};

Parsed parseArgs(const std::vector<std::string>& args, bool allowSparse) {
  Parsed p;
  p.choice.diskKind = DiskKind::vmdk;
  p.choice.checkName = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      p.help = true;
    } else if (a == "--split") {
      p.choice.vmdkSplit = true;
      p.kindGiven = true;
    } else if (a == "--descriptor") {
      p.choice.isDescripter = true;
      p.kindGiven = true;
    } else if (a == "--extent-type") {
      if (i + 1 >= args.size()) throw UsageError("--extent-type needs SPARSE or FLAT");
      std::string type = args[++i];
      for (auto& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (type != "SPARSE" && type != "FLAT")
        throw UsageError("--extent-type takes SPARSE or FLAT, not " + args[i]);
      p.choice.extentType = type;
      p.kindGiven = true;
    } else if (a == "--vhd" || a == "--vdi") {
      p.choice.diskKind = a == "--vhd" ? DiskKind::vhd : DiskKind::vdi;
      p.kindGiven = true;
    } else if (a == "--sparse" && allowSparse) {
      p.sparse = true;
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
  TerminalProgress(Io& io, WorkerControl& control) : io_(io), control_(control) {}
  ~TerminalProgress() override {
    if (drawn_) io_.err << "\n";
  }
  void setProgressRange(std::int64_t low, std::int64_t high) override {
    low_ = low;
    high_ = high;
  }
  void setProgressPosition(std::int64_t position) override {
    position_ = position;
    draw(false);
  }
  void setStatusText(std::string_view text) override {
    if (interrupted.load()) control_.requestStop();
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
  WorkerControl& control_;
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
  TerminalProgress progress(io, control);
  SilentPrompter prompter;
  NoView view;
  interrupted = false;
  const auto result =
      exportDiskImage(state, disk, out, {progress, progress, prompter, view, control},
                      ExportOptions{.sparse = p.sparse});
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

}  // namespace

void requestInterrupt() noexcept {
  interrupted = true;
}

int run(const std::vector<std::string>& args, Io io) {
  using Command = std::function<int(const Parsed&, Io&)>;
  struct Entry {
    Command run;
    std::string_view help;
    bool sparse;
  };
  const std::map<std::string, Entry, std::less<>> commands{
      {"info", {runInfo, kInfoHelp, false}},
      {"export", {runExport, kExportHelp, true}},
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
    const Parsed parsed = parseArgs({args.begin() + 1, args.end()}, command->second.sparse);
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
