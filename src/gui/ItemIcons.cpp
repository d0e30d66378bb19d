#include "ItemIcons.h"

namespace talvix::gui {

QIcon ItemIcons::icon(int iconIndex) const {
  if (auto it = cache_.constFind(iconIndex); it != cache_.constEnd()) return *it;
  QIcon picture;
  switch (iconIndex) {
    case FileIconIndex::kFolder:
      picture = provider_.icon(QFileIconProvider::Folder);
      break;
    case FileIconIndex::kPlaceholder:
      break;  // the expansion placeholder shows no picture
    default: {
      const QIcon file = provider_.icon(QFileIconProvider::File);
      const std::string ext = index_.extensionOf(iconIndex);
      if (ext.empty()) {
        picture = file;
        break;
      }
      const QMimeType type = mimeTypes_.mimeTypeForFile(
          QStringLiteral("x.") + QString::fromStdString(ext), QMimeDatabase::MatchExtension);
      picture = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), file));
    }
  }
  cache_.insert(iconIndex, picture);
  return picture;
}

}  // namespace talvix::gui
