#include "browser/SaveWalk.h"

#include <sys/stat.h>

#include <cstdio>
#include <unordered_set>
#include <vector>

#include "app/Feedback.h"
#include "util/SafeName.h"

namespace talvix {
namespace {

// Names already taken in one output folder.
class FolderNames {
 public:
  // `wanted` made safe and, when taken, given " (n)" before its extension.
  std::string claim(const std::string& wanted) {
    const std::string safe = safeName(wanted);
    if (taken_.insert(safe).second) return safe;
    const auto dot = safe.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? safe.substr(0, dot) : safe;
    const std::string extension = hasExtension ? safe.substr(dot) : std::string();
    for (unsigned n = 1;; ++n) {
      std::string candidate = safeName(stem + " (" + std::to_string(n) + ")" + extension);
      if (taken_.insert(candidate).second) return candidate;
    }
  }

 private:
  std::unordered_set<std::string> taken_;
};

// The children of one folder with the names they get: live entries first claim their names,
// so a deleted namesake never takes a live file's name.
std::vector<std::pair<EntryId, std::string>> namedChildren(const EntrySource& source,
                                                           EntryId folder,
                                                           std::unordered_set<EntryId>& seen) {
  std::vector<EntryId> children;
  for (EntryId c = firstChildOf(source, folder); c != kNoEntry; c = source.nextSibling(c)) {
    if (!seen.insert(c).second) break;  // a chain that loops
    children.push_back(c);
  }
  std::vector<std::pair<EntryId, std::string>> named(children.size());
  FolderNames names;
  for (const bool deletedPass : {false, true}) {
    for (std::size_t i = 0; i < children.size(); ++i) {
      if (source.deleted(children[i]) != deletedPass) continue;
      named[i] = {children[i], names.claim(source.saveName(children[i]))};
    }
  }
  return named;
}

void setText(StatusLine* line, const std::string& text) {
  if (line != nullptr) line->setStatusText(text);
}

}  // namespace

EntryId firstChildOf(const EntrySource& source, EntryId folder) {
  return folder == kNoEntry ? source.firstTopLevel() : source.firstChild(folder);
}

std::uint64_t countFilesBelow(const EntrySource& source, EntryId folder) {
  std::uint64_t files = 0;
  std::unordered_set<EntryId> seen;
  std::vector<EntryId> pending{folder};
  while (!pending.empty()) {
    const EntryId f = pending.back();
    pending.pop_back();
    for (EntryId c = firstChildOf(source, f); c != kNoEntry; c = source.nextSibling(c)) {
      if (!seen.insert(c).second) break;
      if (source.isFolder(c)) {
        if (source.descendOnSave(c)) pending.push_back(c);
      } else {
        ++files;
      }
    }
  }
  return files;
}

SaveCounts saveFolder(EntrySource& source, EntryId folder,
                      const std::filesystem::path& outputFolder, SaveTargets targets) {
  SaveCounts counts;
  std::unordered_set<EntryId> seen;
  // Depth first in chain order, without recursion: a hostile volume may nest folders deeply.
  struct Level {
    std::vector<std::pair<EntryId, std::string>> children;
    std::size_t next = 0;
    std::filesystem::path path;
    EntryId folder = kNoEntry;  // kNoEntry: the output folder itself
  };
  std::vector<Level> stack;
  stack.push_back({namedChildren(source, folder, seen), 0, outputFolder});
  while (!stack.empty()) {
    if (targets.stop != nullptr && targets.stop->load()) break;
    Level& level = stack.back();
    if (level.next == level.children.size()) {
      if (level.folder != kNoEntry) source.setFolderTimes(level.folder, level.path);
      stack.pop_back();
      continue;
    }
    const auto [child, childName] = level.children[level.next++];
    const std::filesystem::path path = level.path;
    if (targets.progress != nullptr) {
      targets.progress->setProgressPosition(static_cast<std::int64_t>(counts.files));
    }
    if (source.isFolder(child)) {
      if (!source.descendOnSave(child)) continue;
      std::filesystem::path inner = path / childName;
      // An existing folder is used again; anything else in the way is not written through.
      struct stat st {};
      if (::mkdir(inner.c_str(), 0755) != 0 &&
          (::lstat(inner.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
        counts.failed += countFilesBelow(source, child);
        continue;
      }
      stack.push_back({namedChildren(source, child, seen), 0, std::move(inner), child});
      continue;
    }
    ++counts.files;
    setText(targets.status, "saving File  " + (path / childName).string());
    char size[64];
    std::snprintf(size, sizeof size, "File size: %lld kb",
                  static_cast<long long>(source.statusSize(child) / 1024));
    setText(targets.fileSize, size);
    if (!source.skipOnSave(child)) {
      if (source.save(child, path, childName)) {
        ++counts.written;
      } else {
        ++counts.failed;
      }
    }
    setText(targets.fileSize, "");
  }
  return counts;
}

std::optional<SaveCounts> runSave(EntrySource& source, std::optional<EntryId> selected,
                                  const std::filesystem::path& outputFolder, Prompter& prompter,
                                  SaveTargets targets, std::atomic<bool>* stop) {
  if (outputFolder.empty()) {
    prompter.inform("select output folder", Caption::programName, MessageIcon::none);
    return std::nullopt;
  }
  if (!selected || (*selected != kNoEntry && !source.savableFolder(*selected))) {
    return std::nullopt;
  }
  const std::uint64_t files = countFilesBelow(source, *selected);
  if (targets.progress != nullptr) {
    targets.progress->setProgressRange(0, static_cast<std::int64_t>(files));
  }
  char question[160];
  std::snprintf(question, sizeof question,
                "number of files found inside this folder = %lld .do u want to continue dumping "
                "these files..?",
                static_cast<long long>(files));
  if (!prompter.askYesNo(question, Caption::programName, MessageIcon::none)) return std::nullopt;
  // A Stop pressed during the scan must not end this save before it starts.
  if (stop != nullptr) stop->store(false);
  targets.stop = stop;
  const SaveCounts counts = saveFolder(source, *selected, outputFolder, targets);
  if (targets.progress != nullptr) {
    targets.progress->setProgressPosition(static_cast<std::int64_t>(files));
  }
  prompter.inform("Saving process done", Caption::applicationTitle, MessageIcon::information);
  // "done" alone would hide files that are missing from the output folder.
  if (counts.failed != 0) {
    char text[160];
    std::snprintf(text, sizeof text, std::string(kSaveFailedFiles).c_str(),
                  static_cast<unsigned long long>(counts.failed),
                  static_cast<unsigned long long>(counts.written + counts.failed));
    prompter.inform(text, Caption::applicationTitle, MessageIcon::information);
  } else if (counts.written == 0) {
    prompter.inform(kSaveWroteNothing, Caption::applicationTitle, MessageIcon::information);
  }
  return counts;
}

bool saveOneFile(EntrySource& source, EntryId file, const std::filesystem::path& outputFolder) {
  if (!source.valid(file) || source.isFolder(file)) return false;
  return source.save(file, outputFolder, safeName(source.saveName(file)));
}

}  // namespace talvix
