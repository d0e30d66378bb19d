#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "FakeEntries.h"
#include "Recorders.h"
#include "TestFiles.h"
#include "browser/SaveWalk.h"

namespace talvix {
namespace {

using test::FakeEntries;

std::string question(unsigned long long files) {
  return "number of files found inside this folder = " + std::to_string(files) +
         " .do u want to continue dumping these files..?";
}

// top.txt, Docs (a.txt, Sub (b.txt), Nothing (Deeper))
struct Volume {
  FakeEntries source;
  EntryId docs, a, sub, b, nothing;
  test::TempDir out;
  test::Recorder user;
  std::atomic<bool> stop{false};

  Volume() {
    source.file(kNoEntry, "top.txt", "top");
    docs = source.folder(kNoEntry, "Docs");
    a = source.file(docs, "a.txt", "alpha");
    sub = source.folder(docs, "Sub");
    b = source.file(sub, "b.txt", "beta");
    nothing = source.folder(kNoEntry, "Nothing");
    source.folder(nothing, "Deeper");
  }
  std::optional<SaveCounts> save(std::optional<EntryId> selected, bool yes = true) {
    user.answers = {yes};
    return runSave(source, selected, out.path(), user, SaveTargets{&user, &user, &user}, &stop);
  }
  std::string read(const char* path) const {
    const test::Bytes bytes = test::readFile(out / path);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
};

TEST(RunSave, TheTopItemSavesTheWholeVolume) {
  Volume v;
  const auto counts = v.save(kNoEntry);
  ASSERT_TRUE(counts);
  EXPECT_EQ(counts->written, 3u);
  EXPECT_EQ(v.user.messages, (std::vector<std::string>{question(3), "Saving process done"}));
  EXPECT_EQ(v.read("top.txt"), "top");
  EXPECT_EQ(v.read("Docs/a.txt"), "alpha");
  EXPECT_EQ(v.read("Docs/Sub/b.txt"), "beta");
  EXPECT_TRUE(std::filesystem::is_directory(v.out / "Nothing/Deeper"));
}

TEST(RunSave, SaysWhenFilesCouldNotBeWritten) {
  Volume v;
  v.source.entries[v.a].unwritable = true;
  const auto counts = v.save(v.docs);
  ASSERT_TRUE(counts);
  EXPECT_EQ(counts->failed, 1u);
  char failed[160];
  std::snprintf(failed, sizeof failed, std::string(kSaveFailedFiles).c_str(), 1ULL, 2ULL);
  EXPECT_EQ(failed, std::string("1 of 2 files could not be written into the output folder."));
  EXPECT_EQ(v.user.messages,
            (std::vector<std::string>{question(2), "Saving process done", failed}));
  EXPECT_EQ(v.read("Sub/b.txt"), "beta");
}

TEST(RunSave, AFolderWithoutFilesSaysNothingWasWritten) {
  Volume v;
  const auto counts = v.save(v.nothing);
  ASSERT_TRUE(counts);
  EXPECT_EQ(v.user.messages, (std::vector<std::string>{question(0), "Saving process done",
                                                       std::string(kSaveWroteNothing)}));
  EXPECT_TRUE(std::filesystem::is_directory(v.out / "Deeper"));
}

TEST(RunSave, AStopFromTheScanIsClearedOnceTheUserSaysYes) {
  Volume v;
  v.stop = true;
  EXPECT_FALSE(v.save(v.docs, false));
  EXPECT_TRUE(v.stop);
  EXPECT_TRUE(std::filesystem::is_empty(v.out.path()));
  const auto counts = v.save(v.docs);
  ASSERT_TRUE(counts);
  EXPECT_FALSE(v.stop);
  EXPECT_EQ(counts->written, 2u);
}

TEST(RunSave, NothingToSave) {
  Volume v;
  // No folder selected (a file, a placeholder): nothing is asked or said.
  EXPECT_FALSE(v.save(std::nullopt));
  EXPECT_FALSE(v.save(v.a));
  EXPECT_TRUE(v.user.messages.empty());
  // The output folder is asked for first, whatever is selected.
  test::Recorder user;
  EXPECT_FALSE(runSave(v.source, std::nullopt, {}, user, {}, nullptr));
  EXPECT_EQ(user.messages, std::vector<std::string>{"select output folder"});
  EXPECT_EQ(v.source.saves, 0);
}

}  // namespace
}  // namespace talvix
