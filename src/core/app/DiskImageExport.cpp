#include "app/DiskImageExport.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace talvix {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kGiB = 1024 * kMiB;
constexpr std::uint64_t kProgressStepBytes = 10 * kMiB;
// Zero runs are skipped in blocks of this size.
constexpr std::size_t kHoleBytes = 64 * 1024;

constexpr std::string_view kDiskFull = "Insufficient Disk Space in saving Location";
constexpr std::string_view kSaved = "Image Saved,Choose any one of the mode and click next.";

// The image file, closed on every path out of the export.
struct ImageFile {
  int fd = -1;
  ~ImageFile() {
    if (fd >= 0) ::close(fd);
  }
};

bool allZero(const std::byte* data, std::size_t size) {
  return size == 0 || (data[0] == std::byte{0} && std::memcmp(data, data + 1, size - 1) == 0);
}

// Writes the non-zero blocks of `size` bytes at `offset`: zero blocks stay unwritten, holes
// in a sparse image, reserved blocks otherwise. 0 or errno.
int writeChunk(int fd, const std::byte* data, std::size_t size, std::uint64_t offset) {
  std::size_t done = 0;
  while (done < size) {
    const std::size_t piece = std::min(size - done, kHoleBytes);
    if (allZero(data + done, piece)) {
      done += piece;
      continue;
    }
    const ssize_t wrote = ::pwrite(fd, data + done, piece, static_cast<off_t>(offset + done));
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (wrote == 0) return ENOSPC;
    done += static_cast<std::size_t>(wrote);
  }
  return 0;
}

// Reserves `bytes` for the image behind its current (empty) end: 0, ENOSPC, or another errno
// that is ignored. The reservation stays: the copy then writes only the data, and the zero
// runs it skips read back as zeros from blocks that are already the image's.
int reserveSpace(int fd, std::uint64_t bytes) {
  if (bytes == 0) return 0;
  if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) == 0) return 0;
  const int error = errno;
  if (error == ENOSPC || error == EFBIG) return ENOSPC;
  if (error != EOPNOTSUPP) return error;
  struct statvfs fs {};
  if (::fstatvfs(fd, &fs) == 0 && std::uint64_t{fs.f_bavail} * fs.f_frsize < bytes) return ENOSPC;
  return 0;
}

std::string savedText(std::uint64_t done, std::uint64_t totalMiB, long double totalGiB) {
  char text[160];
  std::snprintf(text, sizeof text, "%llu MB of %llu MB or %Lf GB of %Lf GB Saved",
                static_cast<unsigned long long>(done / kMiB),
                static_cast<unsigned long long>(totalMiB), static_cast<long double>(done) / kGiB,
                totalGiB);
  return text;
}

}  // namespace

std::filesystem::path chooseImagePath(const std::filesystem::path& folder,
                                      std::string_view diskPath) {
  const auto slash = diskPath.rfind(std::filesystem::path::preferred_separator);
  const std::string name = slash == std::string_view::npos
                               ? std::string("Recovered_diskimg")
                               : std::string(diskPath.substr(slash + 1));
  const auto candidate = [&](int n) {
    return folder / ((n > 0 ? std::to_string(n) : std::string()) + name + ".img");
  };
  std::error_code ec;
  int n = 0;
  while (std::filesystem::exists(candidate(n), ec)) ++n;
  return candidate(n);
}

void buildExportReader(ApplicationState& state, const DiskChoice& diskPage) {
  state.dropDiskReader();
  const bool ownKind = diskPage.diskKind == DiskKind::vhd || diskPage.diskKind == DiskKind::vdi;
  state.diskReader = ownKind ? makeDiskReader(diskPage) : makeVmdkReader(diskPage);
}

ExportResult exportDiskImage(ApplicationState& state, const std::filesystem::path& diskPath,
                             const std::filesystem::path& imagePath, ExportTargets t,
                             ExportOptions options) {
  ExportResult result;
  if (!state.diskReader) {
    t.prompter.inform("Information lost, please click Back button and parse again");
    result.error = "no disk reader";
    return result;
  }
  t.view.setNavigationEnabled(false);
  state.imageExportRunning = true;

  // However the export ends, the reader goes and the page is usable again.
  struct Finish {
    ApplicationState& state;
    ExportTargets& t;
    ~Finish() {
      state.dropDiskReader();
      t.view.setCopyControlsVisible(false);
      t.view.setNavigationEnabled(true);
      state.imageExportRunning = false;
    }
  } finish{state, t};

  if (!state.openDiskReader(diskPath, &t.prompter)) {
    result.error = state.diskReader->error().text;
    return result;
  }
  auto& reader = *state.diskReader;
  const std::uint64_t totalSectors =
      state.diskSectors ? state.diskSectors : static_cast<std::uint64_t>(reader.fileLength()) / 512;
  const std::uint64_t totalBytes = totalSectors * 512;

  ImageFile image;
  image.fd = ::open(imagePath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (image.fd < 0) {
    result.error = "cannot create " + imagePath.string() + ": " + std::strerror(errno);
    t.prompter.inform("File cannot be Created");
    return result;
  }
  if (!options.sparse && reserveSpace(image.fd, totalBytes) == ENOSPC) {
    result.error = std::string(kDiskFull);
    t.prompter.inform(kDiskFull);
    return result;
  }

  t.view.setCopyControlsVisible(true);
  std::vector<std::byte> buffer(options.chunkBytes);
  reader.seek(0);
  const std::uint64_t totalMiB = totalBytes / kMiB;
  const long double totalGiB = static_cast<long double>(totalBytes) / kGiB;
  t.progress.setProgressRange(0, static_cast<std::int64_t>(totalSectors));
  t.progress.setProgressPosition(0);

  std::uint64_t done = 0;
  result.outcome = ExportResult::Outcome::completed;
  while (done < totalBytes) {
    const auto chunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), totalBytes - done));
    if (!reader.read(buffer.data(), chunk)) {
      const int error = errno;
      t.status.setStatusText("Exit with error number " + std::to_string(error));
      result = {ExportResult::Outcome::failed, done,
                "reading the disk failed: " + std::string(std::strerror(error))};
      break;
    }
    if (const int error = writeChunk(image.fd, buffer.data(), chunk, done)) {
      if (error == ENOSPC)
        t.prompter.inform(kDiskFull);
      else
        t.prompter.inform("Error " + std::to_string(error) + " while writing in File");
      result = {ExportResult::Outcome::failed, done,
                "writing the image failed: " + std::string(std::strerror(error))};
      break;
    }
    done += chunk;
    result.bytesWritten = done;
    if (t.control.checkpoint()) {
      t.control.clearStop();
      result.outcome = ExportResult::Outcome::stopped;
      break;
    }
    if (done % kProgressStepBytes == 0)
      t.progress.setProgressPosition(static_cast<std::int64_t>(done / 512));
    t.status.setStatusText(savedText(done, totalMiB, totalGiB));
    if (!reader.seek(static_cast<std::int64_t>(done))) break;
  }
  // The image is as long as what was copied, also when that ends in skipped zeros; a
  // stopped or failed copy gives back the reservation behind it.
  if (::ftruncate(image.fd, static_cast<off_t>(done)) != 0 &&
      result.outcome != ExportResult::Outcome::failed)
    result = {ExportResult::Outcome::failed, done,
              "cannot set the image length: " + std::string(std::strerror(errno))};
  if (result.outcome != ExportResult::Outcome::failed) t.status.setStatusText(kSaved);
  return result;
}

}  // namespace talvix
