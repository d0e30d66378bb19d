// GCC 12 reports a false "may be used uninitialized" inside <regex> when it optimizes with
// the sanitizers on.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#else
#include <regex>
#endif

#include <cstdio>
#include <optional>
#include <unordered_set>
#include <vector>

#include "app/Feedback.h"
#include "app/WorkerControl.h"
#include "browser/FileSearch.h"
#include "browser/SaveWalk.h"

namespace talvix {
namespace {

// The progress position moves every this many files, so that a page that carries each call
// over to its own thread is not asked once per file.
constexpr std::uint64_t kProgressStep = 256;

void appendUpper(std::string& out, std::string_view text) {
  for (const char c : text) out += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::optional<std::regex> searchPattern(std::string_view pattern) {
  try {
    return std::regex(pattern.begin(), pattern.end(), std::regex::ECMAScript | std::regex::icase);
  } catch (const std::regex_error&) {
    return std::nullopt;
  }
}

// The folder part of a display path: upper-cased, without leading white space.
std::string folderPart(std::string_view path) {
  const auto start = path.find_first_not_of(" \t\n\v\f\r");
  std::string out;
  if (start != std::string_view::npos) appendUpper(out, path.substr(start));
  return out;
}

class Search {
 public:
  Search(EntrySource& source, const std::regex& pattern, const SearchTargets& targets)
      : source_(source), pattern_(pattern), targets_(targets) {}

  // Matches a file's name; `folder` is the display path of the folder that holds it.
  void matchFile(EntryId id, const std::string& folder) {
    const std::string name = source_.name(id);
    bool matches = false;
    try {
      matches = std::regex_search(name, pattern_);
    } catch (const std::regex_error&) {
      // An expression too complex for this name: no match.
    }
    if (!matches) return;
    ++found_;
    if (targets_.view != nullptr) {
      targets_.view->addResult({id, folder + "\\" + name, source_.columnTexts(id)});
    }
    if (targets_.status != nullptr) {
      char text[48];
      std::snprintf(text, sizeof text, "searched file %lld", static_cast<long long>(found_));
      targets_.status->setStatusText(text);
    }
  }

  // One first-level folder, depth first in chain order, without recursion (a hostile volume
  // may nest folders deeply). One path string serves every level, so deep nesting costs
  // memory in proportion to its depth only.
  void walkFolder(EntryId top, std::string path) {
    if (targets_.view != nullptr) targets_.view->setTreeSearching(true);
    const auto total = static_cast<std::int64_t>(countFilesBelow(source_, top));
    if (targets_.progress != nullptr) targets_.progress->setProgressRange(0, total);
    setPosition(0);
    struct Level {
      EntryId next;
      std::size_t pathLength;
    };
    std::vector<Level> stack{{source_.firstChild(top), path.size()}};
    std::uint64_t files = 0;
    while (!stack.empty()) {
      if (targets_.control != nullptr && targets_.control->checkpoint()) break;
      Level& level = stack.back();
      const EntryId id = level.next;
      if (id == kNoEntry || !seen_.insert(id).second) {
        stack.pop_back();
        continue;
      }
      level.next = source_.nextSibling(id);
      path.resize(level.pathLength);
      if (!source_.isFolder(id)) {
        if (++files % kProgressStep == 0) setPosition(static_cast<std::int64_t>(files));
        matchFile(id, path);
      } else if (source_.descendOnSave(id)) {
        const std::string name = source_.name(id);
        if (!name.empty()) {
          path += '\\';
          appendUpper(path, name);
        }
        stack.push_back({source_.firstChild(id), path.size()});
      }
    }
    setPosition(total);
    // Stop ends this folder only; the search goes on with the next one.
    if (targets_.control != nullptr) targets_.control->clearStop();
    if (targets_.view != nullptr) targets_.view->setTreeSearching(false);
  }

  // The top chain, or the children of the folder searched.
  void run(EntryId folder, std::string_view folderPath) {
    const std::string base = folder == kNoEntry ? std::string(folderPath) : folderPart(folderPath);
    for (EntryId x = firstChildOf(source_, folder); x != kNoEntry && seen_.insert(x).second;
         x = source_.nextSibling(x)) {
      if (source_.hasChildren(x)) {
        if (source_.savableFolder(x) && source_.descendOnSave(x))
          walkFolder(x, folderPart(base + "\\" + source_.name(x)));
      } else if (!source_.isFolder(x)) {
        matchFile(x, base);
      }
    }
  }

  std::uint64_t found() const { return found_; }

 private:
  void setPosition(std::int64_t position) {
    if (targets_.progress != nullptr) targets_.progress->setProgressPosition(position);
  }

  EntrySource& source_;
  const std::regex& pattern_;
  const SearchTargets& targets_;
  std::unordered_set<EntryId> seen_;
  std::uint64_t found_ = 0;
};

}  // namespace

bool validSearchPattern(std::string_view pattern) {
  return searchPattern(pattern).has_value();
}

SearchResult runSearch(EntrySource& source, EntryId folder, std::string_view folderPath,
                       std::string_view pattern, const SearchTargets& targets) {
  SearchResult result;
  if (targets.view != nullptr) targets.view->searchStarted();
  const auto expression = pattern.empty() ? std::nullopt : searchPattern(pattern);
  if (!pattern.empty() && !expression) {
    result.patternRefused = true;
    if (targets.prompter != nullptr) {
      targets.prompter->inform(kSearchPatternRefused, Caption::programName, MessageIcon::none);
    }
  } else {
    if (expression) {
      // A Stop left over from the scan must not end the first folder's walk.
      if (targets.control != nullptr) targets.control->clearStop();
      Search search(source, *expression, targets);
      search.run(folder, folderPath);
      result.found = search.found();
    }
    if (targets.prompter != nullptr) {
      targets.prompter->inform(kSearchFinished, Caption::programName, MessageIcon::none);
    }
  }
  if (targets.view != nullptr) targets.view->searchEnded();
  return result;
}

}  // namespace talvix
