#include <gtest/gtest.h>

#include <thread>

#include "Recorders.h"
#include "SyntheticDisks.h"
#include "app/ApplicationState.h"
#include "app/WorkerControl.h"
#include "disk/VhdReader.h"
#include "disk/VmdkReader.h"
#include "disk/VmdkSplitReader.h"

namespace talvix {
namespace {

TEST(ApplicationState, StartsWithTheDocumentedValues) {
  ApplicationState state;
  EXPECT_FALSE(state.driveFormatted);
  EXPECT_EQ(state.diskSectors, 0u);
  EXPECT_EQ(state.diskReader, nullptr);
  EXPECT_EQ(state.diskSourcePage, 0);
  EXPECT_EQ(state.searchText, "");
  EXPECT_EQ(state.rootName, "ROOT");
  EXPECT_FALSE(state.imageExportRunning);
}

TEST(ApplicationState, RebuildDoesNothingUntilADiskWasChosen) {
  ApplicationState state;
  state.rebuildDiskReader({DiskKind::vmdk, "x.vmdk"});
  EXPECT_EQ(state.diskReader, nullptr);  // diskSourcePage is still 0

  state.diskSourcePage = ApplicationState::kDiskPageId;
  state.diskReader = std::make_unique<FileReadSeekVdi>();
  state.diskSectors = 7;
  state.rebuildDiskReader({DiskKind::none, "x.vmdk"});
  EXPECT_NE(dynamic_cast<FileReadSeekVdi*>(state.diskReader.get()), nullptr);  // kind 0: kept
  EXPECT_EQ(state.diskSectors, 7u);
}

TEST(ApplicationState, RebuildMakesTheReaderThePageDescribes) {
  struct Case {
    DiskChoice choice;
    std::function<bool(readWriteInterface*)> isExpected;
  };
  auto split = [](bool descriptorMode, std::string type) {
    return [=](readWriteInterface* r) {
      auto* s = dynamic_cast<FileReadSeekVmdkSplit*>(r);
      return s && s->descriptorMode == descriptorMode && s->extentType == type;
    };
  };
  const Case cases[] = {
      {{DiskKind::vhd, "a.vhd"},
       [](auto* r) { return dynamic_cast<FileReadSeekVHD*>(r) != nullptr; }},
      {{DiskKind::vdi, "a.vdi"},
       [](auto* r) { return dynamic_cast<FileReadSeekVdi*>(r) != nullptr; }},
      {{DiskKind::vmdk, "a.vmdk", false, false, "FLAT"},
       [](auto* r) {
         auto* v = dynamic_cast<FileReadSeekVmdk*>(r);
         return v && v->extentType == "FLAT";
       }},
      {{DiskKind::vmdk, "a-s001.vmdk", true, false, "SPARSE"}, split(false, "SPARSE")},
      {{DiskKind::vmdk, "a.vmdk", true, true, "FLAT"}, split(true, "")},
      {{DiskKind::vmdk, "a.vmdk", false, true, "SPARSE"}, split(true, "")},
  };
  for (const auto& c : cases) {
    ApplicationState state;
    state.diskSourcePage = ApplicationState::kDiskPageId;
    state.diskSectors = 99;
    state.rebuildDiskReader(c.choice);
    EXPECT_TRUE(c.isExpected(state.diskReader.get())) << c.choice.path;
    EXPECT_EQ(state.diskSectors, 0u);
  }
}

TEST(ApplicationState, RebuildingAndOpeningTwiceGivesTheSameSize) {
  test::TempDir dir;
  test::SparseVmdkBuilder b;
  b.capacity = 2048;
  test::writeFile(dir / "d.vmdk", b.build());
  ApplicationState state;
  state.diskSourcePage = ApplicationState::kDiskPageId;
  const DiskChoice choice{DiskKind::vmdk, dir / "d.vmdk"};
  for (int i = 0; i < 2; ++i) {
    state.rebuildDiskReader(choice);
    ASSERT_TRUE(state.openDiskReader(choice.path));
    EXPECT_EQ(state.diskSectors, 2048u);
  }
}

TEST(ApplicationState, OpenFailuresThatReadersReportReachThePrompter) {
  test::TempDir dir;
  test::writeFile(dir / "disk.vmdk", "x");
  ApplicationState state;
  state.diskSourcePage = ApplicationState::kDiskPageId;
  test::Recorder ui;
  state.rebuildDiskReader({DiskKind::vmdk, dir / "disk.vmdk", true, false, "SPARSE"});
  EXPECT_FALSE(state.openDiskReader(dir / "disk.vmdk", &ui));
  EXPECT_EQ(
      ui.messages,
      std::vector<std::string>{
          "Possibly not a split file . Go back and try without checking the split check box"});

  state.rebuildDiskReader({DiskKind::vmdk, dir / "absent.vmdk"});
  EXPECT_FALSE(state.openDiskReader(dir / "absent.vmdk", &ui));
  EXPECT_EQ(ui.messages.size(), 1u);  // the caller reports this one in its own words
}

TEST(WorkerControl, PauseHoldsTheWorkerAtItsCheckpointUntilResumeOrStop) {
  for (const bool stop : {false, true}) {
    WorkerControl control;
    control.pause();
    std::atomic<int> answer{-1};
    std::thread worker([&] { answer = control.checkpoint() ? 1 : 0; });
    EXPECT_EQ(answer.load(), -1);
    if (stop)
      control.requestStop();
    else
      control.resume();
    worker.join();
    EXPECT_EQ(answer.load(), stop ? 1 : 0);
  }
}

TEST(Worker, RunsOneJobAtATime) {
  Worker worker;
  WorkerControl gate;
  gate.pause();
  std::atomic<int> runs{0};
  ASSERT_TRUE(worker.start([&] {
    gate.checkpoint();
    ++runs;
  }));
  EXPECT_FALSE(worker.start([&] { ++runs; }));
  gate.resume();
  worker.join();
  EXPECT_TRUE(worker.start([&] { ++runs; }));
  worker.join();
  EXPECT_EQ(runs.load(), 2);
}

}  // namespace
}  // namespace talvix
