#pragma once

#include <QFileIconProvider>
#include <QHash>
#include <QIcon>
#include <QMimeDatabase>

#include "browser/FileIcons.h"

namespace talvix::gui {

// The pictures of the core's icon indices: the folder icon, and for files the icon of the MIME
// type their extension names (the disk is never asked). Pictures are made once per index.
class ItemIcons {
 public:
  explicit ItemIcons(const FileIconIndex& index) : index_(index) {}
  QIcon icon(int iconIndex) const;

 private:
  const FileIconIndex& index_;
  QFileIconProvider provider_;
  QMimeDatabase mimeTypes_;
  mutable QHash<int, QIcon> cache_;
};

}  // namespace talvix::gui
