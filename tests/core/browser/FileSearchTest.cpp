#include <gtest/gtest.h>

#include <functional>

#include "app/Feedback.h"
#include "app/WorkerControl.h"
#include "browser/FileSearch.h"

namespace talvix {
namespace {

// A volume as its adapter answers: entries numbered in the order they were added, each folder
// with its chain of children. Folders named "." are not entered, as on NTFS.
class FakeVolume final : public EntrySource {
 public:
  struct Entry {
    std::string name;
    bool folder = false;
    EntryId first = kNoEntry, next = kNoEntry;
  };
  std::vector<Entry> entries;
  EntryId top = kNoEntry;

  // Appends to `parent`'s chain (kNoEntry: the top level).
  EntryId add(EntryId parent, std::string name, bool folder = false) {
    const EntryId id = entries.size();
    entries.push_back({std::move(name), folder});
    EntryId* link = parent == kNoEntry ? &top : &entries[parent].first;
    while (*link != kNoEntry) link = &entries[*link].next;
    *link = id;
    return id;
  }
  EntryId folder(EntryId parent, std::string name) { return add(parent, std::move(name), true); }

  EntryId firstTopLevel() const override { return top; }
  EntryId firstChild(EntryId id) const override { return entries.at(id).first; }
  EntryId nextSibling(EntryId id) const override { return entries.at(id).next; }
  bool hasChildren(EntryId id) const override { return entries.at(id).first != kNoEntry; }
  bool valid(EntryId id) const override { return id < entries.size(); }
  std::string name(EntryId id) const override { return entries.at(id).name; }
  bool isFolder(EntryId id) const override { return entries.at(id).folder; }
  bool deleted(EntryId) const override { return false; }
  EntryTexts columnTexts(EntryId id) override { return {"", "", "", std::to_string(id), ""}; }
  EntryDetails details(EntryId) override { return {}; }
  bool descendOnSave(EntryId id) const override { return isFolder(id) && name(id) != "."; }
  std::uint64_t statusSize(EntryId) override { return 0; }
  bool save(EntryId, const std::filesystem::path&, const std::string&) override { return false; }
  bool writeContent(EntryId, ByteSink&) override { return false; }
};

// The page: result rows, the order of its other calls, status texts, progress and messages.
struct Page : SearchView, StatusLine, ProgressTarget, Prompter {
  std::vector<std::string> rows;
  std::vector<EntryId> ids;
  std::vector<std::string> calls;
  std::vector<std::string> status;
  std::vector<std::string> messages;
  std::int64_t high = -1, position = -1;
  std::function<void(const SearchHit&)> onResult;

  void searchStarted() override { calls.push_back("started"); }
  void addResult(const SearchHit& hit) override {
    rows.push_back(hit.path);
    ids.push_back(hit.id);
    EXPECT_EQ(hit.texts.size, std::to_string(hit.id));
    if (onResult) onResult(hit);
  }
  void setTreeSearching(bool on) override { calls.push_back(on ? "tree busy" : "tree back"); }
  void searchEnded() override { calls.push_back("ended"); }
  void setStatusText(std::string_view text) override { status.emplace_back(text); }
  void setProgressRange(std::int64_t low, std::int64_t h) override {
    EXPECT_EQ(low, 0);
    high = h;
  }
  void setProgressPosition(std::int64_t p) override { position = p; }
  void inform(std::string_view text, Caption caption, MessageIcon) override {
    EXPECT_EQ(caption, Caption::programName);
    messages.emplace_back(text);
  }
  bool askYesNo(std::string_view, Caption, MessageIcon) override { return false; }

  SearchResult search(EntrySource& source, std::string_view pattern, WorkerControl* control,
                      EntryId folder = kNoEntry, std::string_view path = "ROOT") {
    return runSearch(source, folder, path, pattern, {this, this, this, this, control});
  }
};

// ROOT
//   a.JPG
//   Docs/ b.png, Sub/ (Report.doc, jpgviewer.exe), . (the volume's root met again)
//   Empty/
//   Music/ Apple.mp3
//   readme.txt
struct Sample {
  FakeVolume v;
  EntryId docs, sub;
  Sample() {
    v.add(kNoEntry, "a.JPG");
    docs = v.folder(kNoEntry, "Docs");
    v.add(docs, "b.png");
    sub = v.folder(docs, "Sub");
    v.add(sub, "Report.doc");
    v.add(sub, "jpgviewer.exe");
    v.entries[v.folder(docs, ".")].first = v.top;
    v.folder(kNoEntry, "Empty");
    v.add(v.folder(kNoEntry, "Music"), "Apple.mp3");
    v.add(kNoEntry, "readme.txt");
  }
};

TEST(FileSearch, PatternsMatchNamesAnywhereIgnoringCase) {
  const std::string refused(kSearchPatternRefused);
  struct Case {
    std::string pattern;
    std::vector<std::string> rows;
    std::string message;
  };
  const Case cases[] = {
      {"jpg|png", {"ROOT\\a.JPG", "ROOT\\DOCS\\b.png", "ROOT\\DOCS\\SUB\\jpgviewer.exe"}, ""},
      {"^a", {"ROOT\\a.JPG", "ROOT\\MUSIC\\Apple.mp3"}, ""},
      {"DOC$", {"ROOT\\DOCS\\SUB\\Report.doc"}, ""},
      {"^[a-c]\\.(jpg|PNG)$", {"ROOT\\a.JPG", "ROOT\\DOCS\\b.png"}, ""},
      // Only file names: folder names and paths never match.
      {"sub|docs|empty|root|\\\\", {}, ""},
      {"", {}, ""},
      {"*.jpg", {}, refused},
      {"(png", {}, refused},
      {"[a", {}, refused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    Sample s;
    Page page;
    const SearchResult result = page.search(s.v, c.pattern, nullptr);
    EXPECT_EQ(page.rows, c.rows);
    EXPECT_EQ(result.found, c.rows.size());
    EXPECT_EQ(result.patternRefused, !c.message.empty());
    EXPECT_EQ(page.messages,
              std::vector<std::string>{c.message.empty() ? std::string(kSearchFinished) : refused});
    EXPECT_EQ(page.calls.front(), "started");
    EXPECT_EQ(page.calls.back(), "ended");
  }
}

TEST(FileSearch, ReportsEachFolderWalkAndEachResult) {
  Sample s;
  Page page;
  page.search(s.v, ".", nullptr);
  // Chain order, depth first; the "." folder is not entered and the empty folder not listed.
  EXPECT_EQ(page.rows,
            (std::vector<std::string>{
                "ROOT\\a.JPG", "ROOT\\DOCS\\b.png", "ROOT\\DOCS\\SUB\\Report.doc",
                "ROOT\\DOCS\\SUB\\jpgviewer.exe", "ROOT\\MUSIC\\Apple.mp3", "ROOT\\readme.txt"}));
  ASSERT_EQ(page.status.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i)
    EXPECT_EQ(page.status[i], "searched file " + std::to_string(i + 1));
  EXPECT_EQ(page.calls, (std::vector<std::string>{"started", "tree busy", "tree back", "tree busy",
                                                  "tree back", "ended"}));
  EXPECT_EQ(page.high, 1);  // Music's one file
  EXPECT_EQ(page.position, 1);
}

TEST(FileSearch, DisplayPaths) {
  FakeVolume v;
  const EntryId lower = v.folder(kNoEntry, " docs");
  const EntryId unnamed = v.folder(lower, "");
  v.add(v.folder(unnamed, "ünï sub"), "Report.doc");
  v.add(kNoEntry, "Top.doc");
  Page page;
  page.search(v, "doc", nullptr, kNoEntry, "  Root");
  // The top item's text stays as it is before a first-level file; a folder part is
  // upper-cased (a to z only) without leading blanks; a folder without a name adds no part.
  EXPECT_EQ(page.rows,
            (std::vector<std::string>{"ROOT\\ DOCS\\üNï SUB\\Report.doc", "  Root\\Top.doc"}));

  // Below a chosen folder: the same paths as from the top.
  Sample s;
  Page below;
  below.search(s.v, "p", nullptr, s.docs, "ROOT\\Docs");
  EXPECT_EQ(below.rows,
            (std::vector<std::string>{"ROOT\\DOCS\\b.png", "ROOT\\DOCS\\SUB\\Report.doc",
                                      "ROOT\\DOCS\\SUB\\jpgviewer.exe"}));
  EXPECT_EQ(below.ids[0], 2u);
}

TEST(FileSearch, StopEndsOnlyTheFirstLevelFolderBeingSearched) {
  FakeVolume v;
  for (const char* name : {"One", "Two", "Three"}) {
    const EntryId f = v.folder(kNoEntry, name);
    for (int i = 0; i < 3; ++i) v.add(f, std::string(name) + std::to_string(i) + ".txt");
  }
  WorkerControl control;
  control.requestStop();  // left over from a stopped scan: cleared when the search starts
  Page page;
  page.onResult = [&](const SearchHit& hit) {
    if (hit.path == "ROOT\\TWO\\Two0.txt") control.requestStop();
  };
  const SearchResult result = page.search(v, "txt", &control);
  EXPECT_EQ(page.rows, (std::vector<std::string>{
                           "ROOT\\ONE\\One0.txt", "ROOT\\ONE\\One1.txt", "ROOT\\ONE\\One2.txt",
                           "ROOT\\TWO\\Two0.txt", "ROOT\\THREE\\Three0.txt",
                           "ROOT\\THREE\\Three1.txt", "ROOT\\THREE\\Three2.txt"}));
  EXPECT_EQ(result.found, 7u);
  EXPECT_FALSE(control.stopRequested());
  EXPECT_EQ(page.messages, std::vector<std::string>{std::string(kSearchFinished)});
  EXPECT_EQ(page.position, 3);  // the last folder's walk ended at its full count
}

TEST(FileSearch, HostileChainsEndAndDeepNestingIsWalkedWithoutRecursion) {
  FakeVolume v;
  const EntryId a = v.folder(kNoEntry, "A");
  const EntryId b = v.folder(a, "B");
  const EntryId f = v.add(b, "f.txt");
  const EntryId h = v.add(a, "h.txt");
  // A folder chain far deeper than a call stack would take.
  EntryId deep = v.folder(kNoEntry, "D");
  for (int i = 0; i < 200000; ++i) deep = v.folder(deep, "d");
  v.add(deep, "bottom.txt");
  const EntryId c = v.folder(kNoEntry, "C");
  v.entries[f].next = f;      // a chain that loops on itself
  v.entries[h].next = a;      // a sibling that is the folder itself
  v.entries[c].first = a;     // a first-level folder met again below another one
  v.entries[c].next = v.top;  // the top chain loops

  Page page;
  page.search(v, "txt", nullptr);
  ASSERT_EQ(page.rows.size(), 3u);
  EXPECT_EQ(page.rows[0], "ROOT\\A\\B\\f.txt");
  EXPECT_EQ(page.rows[1], "ROOT\\A\\h.txt");
  EXPECT_TRUE(page.rows[2].starts_with("ROOT\\D\\D\\D\\"));
  EXPECT_TRUE(page.rows[2].ends_with("\\D\\bottom.txt"));
  EXPECT_EQ(page.rows[2].size(), std::string("ROOT\\D\\bottom.txt").size() + 2 * 200000);
}

}  // namespace
}  // namespace talvix
