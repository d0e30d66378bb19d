#include "app/ApplicationState.h"

namespace talvix {

void ApplicationState::rebuildDiskReader(const DiskChoice& diskPage) {
  if (diskSourcePage != kDiskPageId) return;
  if (diskPage.diskKind == DiskKind::none) return;
  dropDiskReader();
  diskReader = makeDiskReader(diskPage);
}

bool ApplicationState::openDiskReader(const std::filesystem::path& path, Prompter* prompter) {
  if (!diskReader) return false;
  if (!diskReader->open(path)) {
    if (prompter && diskReader->error().prompt)
      prompter->inform(diskReader->error().text, Caption::applicationTitle,
                       MessageIcon::information);
    return false;
  }
  diskSectors = diskReader->diskSectors();
  return true;
}

void ApplicationState::dropDiskReader() {
  diskReader.reset();
  diskSectors = 0;
}

}  // namespace talvix
