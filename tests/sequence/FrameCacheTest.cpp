#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "SequenceTestSupport.h"
#include "TestUtil.h"
#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"
#include "sequence/PlayList.h"
#include "support/NesCommon55.h"

namespace {

class FrameCacheTest : public FakeFramesTest {
 protected:
  // Fetches the frame at index; returns the fetch result and fills the flags.
  bool FetchAt(std::uint32_t index, bool doNotLoad = false, std::string* error = nullptr) {
    EXPECT_TRUE(m_list.SetPositionByIndex(index));
    m_frame = nullptr;
    return m_list.FetchCurrentFrame(nullptr, nullptr, &m_frame, &m_fromDisk, &m_changed, doNotLoad,
                                    error);
  }

  CRvFrame* m_frame = nullptr;
  bool m_fromDisk = false;
  bool m_changed = false;
};

TEST_F(FrameCacheTest, FirstFetchDecodesLaterOnesAndDoNotLoadComeFromMemory) {
  Build(3, 6, 5);
  ASSERT_TRUE(FetchAt(1));
  EXPECT_TRUE(m_fromDisk);
  EXPECT_TRUE(m_changed);
  ASSERT_NE(m_frame, nullptr);
  EXPECT_EQ(m_frame->GetNumber(), 1u);
  const CDIBSectionBitmap* bitmap = m_frame->GetBitmap();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_TRUE(Loaded(1));
  EXPECT_FALSE(Loaded(0));
  EXPECT_EQ(m_list.GetCachedCount(), 1u);
  EXPECT_DOUBLE_EQ(m_list.GetLargestFrameSize(), 24.0 * 5 / 1048576.0);

  ASSERT_TRUE(FetchAt(1));
  EXPECT_FALSE(m_fromDisk);
  EXPECT_FALSE(m_changed);
  EXPECT_EQ(m_frame->GetBitmap(), bitmap);
  EXPECT_EQ(m_list.GetCachedCount(), 1u);
  // Without loading, a frame not in memory is a miss and is not decoded; one in memory is still
  // handed out.
  EXPECT_FALSE(FetchAt(0, true));
  EXPECT_TRUE(m_fromDisk);
  EXPECT_FALSE(m_changed);
  EXPECT_EQ(m_frame->GetNumber(), 0u);
  EXPECT_TRUE(FetchAt(1, true));
  EXPECT_FALSE(m_fromDisk);
  EXPECT_EQ(m_decoder.Decodes(), 1);
}

TEST_F(FrameCacheTest, NothingIsFetchedWithoutPositionOrDecoder) {
  CRvPlayList empty;
  empty.NumberFrames();
  m_fromDisk = m_changed = true;
  EXPECT_FALSE(empty.FetchCurrentFrame(nullptr, nullptr, &m_frame, &m_fromDisk, &m_changed, false));
  EXPECT_FALSE(m_fromDisk);
  EXPECT_FALSE(m_changed);
  EXPECT_EQ(m_frame, nullptr);
  Build(1);
  m_list.SetFrameDecoder(nullptr);
  EXPECT_FALSE(FetchAt(0));
  EXPECT_FALSE(Loaded(0));
}

TEST_F(FrameCacheTest, UnloadingAndRenumberingEmptyTheCache) {
  Build(3);
  for (std::uint32_t i = 0; i < 3; ++i) ASSERT_TRUE(FetchAt(i));
  m_list.UnloadAll();
  EXPECT_EQ(m_list.GetCachedCount(), 0u);
  EXPECT_EQ(m_list.GetLargestFrameSize(), 0.0);
  for (std::uint32_t i = 0; i < 3; ++i) EXPECT_FALSE(Loaded(i));
  ASSERT_TRUE(FetchAt(2));
  EXPECT_TRUE(m_fromDisk);
  EXPECT_EQ(m_decoder.Decodes(), 4);
  m_list.NumberFrames();
  EXPECT_EQ(m_list.GetCachedCount(), 0u);
  EXPECT_FALSE(Loaded(2));
  ASSERT_TRUE(FetchAt(2));
  EXPECT_TRUE(m_fromDisk);
}

TEST_F(FrameCacheTest, ChangeCheckDropsExactlyTheRewrittenOrDeletedFrame) {
  Build(3);
  for (std::uint32_t i = 0; i < 3; ++i) ASSERT_TRUE(FetchAt(i));
  // Rewrite frame 1 with a different modification time.
  rvtest::WriteFile(FilePath(1), "4 4");
  timespec times[2] = {{0, UTIME_OMIT}, {123456, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, FilePath(1).c_str(), times, 0), 0);
  m_list.CheckChangedFrames(1);
  EXPECT_TRUE(Loaded(0));
  EXPECT_FALSE(Loaded(1));
  EXPECT_TRUE(Loaded(2));
  EXPECT_EQ(m_list.GetCachedCount(), 2u);
  ASSERT_TRUE(FetchAt(1));
  EXPECT_TRUE(m_fromDisk);
  ASSERT_TRUE(FetchAt(0));
  EXPECT_FALSE(m_fromDisk);
  ASSERT_EQ(std::remove(FilePath(0).c_str()), 0);
  m_list.CheckChangedFrames(0);
  EXPECT_FALSE(Loaded(0));
  EXPECT_EQ(m_list.GetCachedCount(), 2u);
  EXPECT_FALSE(FetchAt(0));
}

TEST_F(FrameCacheTest, UndecodableFrameKeepsItsReasonAndIsTriedAgainOnlyAfterAChange) {
  Build(3);
  rvtest::WriteFile(FilePath(1), "bad data");
  ASSERT_TRUE(FetchAt(0));
  std::string error;
  EXPECT_FALSE(FetchAt(1, false, &error));
  EXPECT_EQ(error, "bad frame");
  EXPECT_EQ(m_frame->GetBitmap(), nullptr);
  EXPECT_FALSE(Loaded(1));
  EXPECT_EQ(m_list.GetCachedCount(), 1u);
  // Not tried again in a tight loop, but the reason stays; a changed-files check (U) or a new
  // generation tries again.
  error.clear();
  EXPECT_FALSE(FetchAt(1, false, &error));
  EXPECT_EQ(error, "bad frame");
  EXPECT_EQ(m_decoder.Decodes(), 2);
  m_list.UnloadAll();
  EXPECT_FALSE(FetchAt(1));
  EXPECT_EQ(m_decoder.Decodes(), 3);
  rvtest::WriteFile(FilePath(1), "4 4");
  m_list.CheckChangedFrames(0);
  EXPECT_TRUE(FetchAt(1));
  EXPECT_TRUE(Loaded(1));
}

TEST_F(FrameCacheTest, EvictionFollowsLeastRecentUse) {
  Build(6, 256, 256);                        // 0.25 MB a frame
  m_list.SetPhysicalMemory(1 << 20);         // budget: 1 MB, four frames
  EXPECT_EQ(m_list.GetCacheCapacity(), 6u);  // before any decode: the frame count
  for (std::uint32_t i = 0; i < 4; ++i) ASSERT_TRUE(FetchAt(i));
  EXPECT_EQ(m_list.GetCacheCapacity(), 4u);
  ASSERT_TRUE(FetchAt(0));  // a hit makes frame 0 the most recently used
  EXPECT_FALSE(m_fromDisk);
  ASSERT_TRUE(FetchAt(4));  // a fifth would pass the budget: the least recently used, 1, goes
  EXPECT_TRUE(m_changed);
  ASSERT_TRUE(FetchAt(5));  // then frame 2
  EXPECT_EQ(m_list.GetCachedCount(), 4u);
  for (std::uint32_t i : {0u, 3u, 4u, 5u}) EXPECT_TRUE(Loaded(i)) << i;
  for (std::uint32_t i : {1u, 2u}) EXPECT_FALSE(Loaded(i)) << i;
}

TEST_F(FrameCacheTest, ALowerBudgetShedsFramesAtTheNextFetchButKeepsTheMostRecentOne) {
  Build(4, 256, 256);                 // 0.25 MB a frame
  m_list.SetPhysicalMemory(1 << 20);  // four frames
  for (std::uint32_t i = 0; i < 4; ++i) ASSERT_TRUE(FetchAt(i));
  m_list.SetRAMPercent(50);  // two frames
  ASSERT_TRUE(FetchAt(3));   // a hit, yet the least recently used go
  EXPECT_TRUE(m_changed);
  EXPECT_EQ(m_list.GetCachedCount(), 2u);
  EXPECT_FALSE(Loaded(0));
  EXPECT_TRUE(Loaded(3));
  // No budget at all: the frame just handed out keeps its bitmap until the next fetch.
  m_list.SetRAMPercent(0);
  ASSERT_TRUE(FetchAt(1));
  EXPECT_EQ(m_list.GetCachedCount(), 1u);
  EXPECT_EQ(m_list.GetCacheCapacity(), 1u);
  EXPECT_FALSE(Loaded(3));
  EXPECT_TRUE(Loaded(1));
  ASSERT_NE(m_frame->GetBitmap(), nullptr);
}

TEST_F(FrameCacheTest, RAMPercentComesFromTheSettingsAndIsClamped) {
  const std::string ini = strSettingsPath() + "settings.ini";
  ASSERT_TRUE(bWriteToIniFile(ini, "Playback", "RAMPercent", 30));
  CRvPlayList list;
  EXPECT_EQ(list.GetRAMPercent(), 30);
  for (const auto& [written, expected] :
       {std::pair<const char*, int>{"250", 100}, {"-5", 0}, {"lots", 80}}) {
    ASSERT_TRUE(bWriteToIniFile(ini, "Playback", "RAMPercent", written));
    list.ReadCacheSettings();
    EXPECT_EQ(list.GetRAMPercent(), expected) << written;
  }
  EXPECT_GT(CRvPlayList::RvPhysicalMemory(), 0u);
}

TEST_F(FrameCacheTest, TheSourceSizeIsRecordedBeforeCropAndResample) {
  Build(1, 20, 10);
  CRvCrop crop;
  crop.Set(CRvCrop::kLeft, 4, false);
  CRvResample resample;
  resample.SetHeight(30, false);
  m_list.SetPositionByIndex(0);
  ASSERT_TRUE(m_list.FetchCurrentFrame(&crop, &resample, &m_frame, &m_fromDisk, &m_changed, false));
  EXPECT_EQ(m_list.GetLastSourceWidth(), 20u);
  EXPECT_EQ(m_list.GetLastSourceHeight(), 10u);
}

// The playback worker moves and fetches while the user-interface thread sets points, jumps and
// reads the record, as during playback. Run under the thread sanitizer this proves the shared
// state is only touched under the lock or through atomics.
TEST_F(FrameCacheTest, WorkerAndUserInterfaceShareThePlayList) {
  Build(50);
  m_list.SetPhysicalMemory(64 * 20);  // the budget holds about 20 of the 64-byte frames
  std::atomic<bool> stop{false};
  std::atomic<int> fetched{0};
  std::thread worker([&] {
    while (!stop) {
      if (!m_list.Next(false)) m_list.GoToInPoint();
      CRvFrame* frame = nullptr;
      bool fromDisk = false;
      bool changed = false;
      if (m_list.FetchCurrentFrame(nullptr, nullptr, &frame, &fromDisk, &changed, false)) {
        EXPECT_NE(frame->GetBitmap(), nullptr);
        ++fetched;
      }
    }
  });
  std::uint64_t seen = 0;
  for (int round = 0; round < 300; ++round) {
    m_list.SetInPoint(std::uint32_t(round % 20), true);
    m_list.SetOutPoint(std::uint32_t(25 + round % 20), true);
    const std::atomic<std::uint8_t>* flags = m_list.GetLoadedFlags();
    for (std::uint32_t i = 0; i < m_list.GetFrameCount(); ++i) seen += flags[i].load();
    seen += m_list.IsAtInPoint() + m_list.IsAtOutPoint() + m_list.GetCurrentIndex();
    if (round % 50 == 0) m_list.ClearInOut();
  }
  while (fetched < 100) std::this_thread::yield();
  stop = true;
  worker.join();
  EXPECT_GT(seen, 0u);
  EXPECT_LE(m_list.GetCachedCount(), 21u);
  std::uint32_t flagged = 0;
  for (std::uint32_t i = 0; i < m_list.GetFrameCount(); ++i)
    flagged += m_list.GetLoadedFlags()[i].load();
  EXPECT_EQ(flagged, m_list.GetCachedCount());
}

}  // namespace
