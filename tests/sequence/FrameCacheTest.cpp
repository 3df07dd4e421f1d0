#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "FakeDecoder.h"
#include "TestUtil.h"
#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"
#include "sequence/PlayList.h"
#include "support/NesCommon55.h"

namespace {

// A play list of `count` frames shot_0000.tif.. whose files each describe a width x height
// picture for the fake decoder.
class FrameCacheTest : public testing::Test {
 protected:
  void Build(int count, int width = 4, int height = 4) {
    for (int n = 0; n < count; ++n) {
      char name[32];
      std::snprintf(name, sizeof name, "shot_%04d.tif", n);
      rvtest::WriteFile(m_dir.File(name), std::to_string(width) + " " + std::to_string(height));
    }
    ASSERT_TRUE(m_list.AddSequenceByFile(m_dir.File("shot_0000.tif")));
    m_list.NumberFrames();
    m_list.SetFrameDecoder(&m_decoder);
    m_list.SetRAMPercent(100);
    m_list.SetPhysicalMemory(std::uint64_t(1) << 30);
  }

  // Fetches the frame at index; returns the fetch result and fills the flags.
  bool FetchAt(std::uint32_t index, bool doNotLoad = false) {
    EXPECT_TRUE(m_list.SetPositionByIndex(index));
    m_frame = nullptr;
    return m_list.FetchCurrentFrame(nullptr, nullptr, &m_frame, &m_fromDisk, &m_changed, doNotLoad);
  }

  bool Loaded(std::uint32_t index) const { return m_list.GetLoadedFlags()[index].load() != 0; }

  std::string FilePath(int n) const {
    char name[32];
    std::snprintf(name, sizeof name, "shot_%04d.tif", n);
    return m_dir.File(name);
  }

  rvtest::TempDir m_dir;
  CFakeFrameDecoder m_decoder;
  CRvPlayList m_list;
  CRvFrame* m_frame = nullptr;
  bool m_fromDisk = false;
  bool m_changed = false;
};

TEST_F(FrameCacheTest, FirstFetchDecodesSecondComesFromMemory) {
  Build(3, 6, 5);
  ASSERT_TRUE(FetchAt(1));
  EXPECT_TRUE(m_fromDisk);
  EXPECT_TRUE(m_changed);
  ASSERT_NE(m_frame, nullptr);
  EXPECT_EQ(m_frame->GetNumber(), 1u);
  const CDIBSectionBitmap* bitmap = m_frame->GetBitmap();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->GetWidth(), 6);
  EXPECT_TRUE(Loaded(1));
  EXPECT_FALSE(Loaded(0));
  EXPECT_EQ(m_list.GetCachedCount(), 1u);
  EXPECT_EQ(m_list.GetLastSourceWidth(), 6u);
  EXPECT_EQ(m_list.GetLastSourceHeight(), 5u);
  EXPECT_DOUBLE_EQ(m_list.GetLargestFrameSize(), 24.0 * 5 / 1048576.0);

  ASSERT_TRUE(FetchAt(1));
  EXPECT_FALSE(m_fromDisk);
  EXPECT_FALSE(m_changed);
  EXPECT_EQ(m_frame->GetBitmap(), bitmap);
  EXPECT_EQ(m_decoder.Decodes(), 1);
  EXPECT_EQ(m_list.GetCachedCount(), 1u);
}

TEST_F(FrameCacheTest, DoNotLoadReportsAMissWithoutDecoding) {
  Build(2);
  EXPECT_FALSE(FetchAt(0, true));
  EXPECT_TRUE(m_fromDisk);
  EXPECT_FALSE(m_changed);
  EXPECT_EQ(m_frame->GetNumber(), 0u);
  EXPECT_EQ(m_decoder.Decodes(), 0);
  EXPECT_FALSE(Loaded(0));
  // A cached frame is handed out even with doNotLoad.
  ASSERT_TRUE(FetchAt(0));
  EXPECT_TRUE(FetchAt(0, true));
  EXPECT_FALSE(m_fromDisk);
}

TEST_F(FrameCacheTest, NoPositionNoFrame) {
  CRvPlayList empty;
  empty.NumberFrames();
  CRvFrame* frame = nullptr;
  bool fromDisk = true;
  bool changed = true;
  EXPECT_FALSE(empty.FetchCurrentFrame(nullptr, nullptr, &frame, &fromDisk, &changed, false));
  EXPECT_FALSE(fromDisk);
  EXPECT_FALSE(changed);
  EXPECT_EQ(frame, nullptr);
}

TEST_F(FrameCacheTest, UnloadAllEmptiesTheCache) {
  Build(3);
  for (std::uint32_t i = 0; i < 3; ++i) ASSERT_TRUE(FetchAt(i));
  EXPECT_EQ(m_list.GetCachedCount(), 3u);
  m_list.UnloadAll();
  EXPECT_EQ(m_list.GetCachedCount(), 0u);
  EXPECT_EQ(m_list.GetLargestFrameSize(), 0.0);
  for (std::uint32_t i = 0; i < 3; ++i) {
    EXPECT_FALSE(Loaded(i));
    EXPECT_EQ(m_list.GetFrameNumbers()[i], i);
  }
  ASSERT_TRUE(FetchAt(2));
  EXPECT_TRUE(m_fromDisk);
  EXPECT_EQ(m_decoder.Decodes(), 4);
  EXPECT_EQ(m_list.GetCachedCount(), 1u);
}

TEST_F(FrameCacheTest, ChangeCheckDropsExactlyTheRewrittenFrame) {
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
}

TEST_F(FrameCacheTest, DeletedFileIsDroppedAndThenFailsToDecode) {
  Build(2);
  ASSERT_TRUE(FetchAt(0));
  ASSERT_EQ(std::remove(FilePath(0).c_str()), 0);
  m_list.CheckChangedFrames(0);
  EXPECT_FALSE(Loaded(0));
  EXPECT_EQ(m_list.GetCachedCount(), 0u);
  EXPECT_FALSE(FetchAt(0));
  EXPECT_TRUE(m_fromDisk);
  EXPECT_FALSE(Loaded(0));
}

TEST_F(FrameCacheTest, UndecodableFrameNeverEntersTheCache) {
  Build(3);
  rvtest::WriteFile(FilePath(1), "bad data");
  ASSERT_TRUE(FetchAt(0));
  EXPECT_FALSE(FetchAt(1));
  EXPECT_TRUE(m_fromDisk);
  EXPECT_TRUE(m_changed);
  EXPECT_EQ(m_frame->GetNumber(), 1u);
  EXPECT_EQ(m_frame->GetBitmap(), nullptr);
  EXPECT_FALSE(Loaded(1));
  EXPECT_EQ(m_list.GetCachedCount(), 1u);
  // Not tried again in a tight loop; a changed-files check (U) tries again.
  EXPECT_FALSE(FetchAt(1));
  EXPECT_EQ(m_decoder.Decodes(), 2);
  rvtest::WriteFile(FilePath(1), "4 4");
  m_list.CheckChangedFrames(0);
  EXPECT_TRUE(FetchAt(1));
  EXPECT_TRUE(Loaded(1));
  EXPECT_EQ(m_list.GetCachedCount(), 2u);
}

TEST_F(FrameCacheTest, WithoutDecoderEveryMissFails) {
  Build(1);
  m_list.SetFrameDecoder(nullptr);
  EXPECT_FALSE(FetchAt(0));
  EXPECT_FALSE(Loaded(0));
}

TEST_F(FrameCacheTest, EvictionFollowsLeastRecentUse) {
  Build(6, 256, 256);                 // 0.25 MB a frame
  m_list.SetPhysicalMemory(1 << 20);  // budget: 1 MB, four frames
  for (std::uint32_t i = 0; i < 4; ++i) ASSERT_TRUE(FetchAt(i));
  EXPECT_EQ(m_list.GetCacheCapacity(), 4u);
  ASSERT_TRUE(FetchAt(0));  // a hit makes frame 0 the most recently used
  EXPECT_FALSE(m_fromDisk);
  ASSERT_TRUE(FetchAt(4));  // a fifth would pass the budget: the least recently used, 1, goes
  EXPECT_TRUE(m_changed);
  EXPECT_EQ(m_list.GetCachedCount(), 4u);
  ASSERT_TRUE(FetchAt(5));  // then frame 2
  EXPECT_EQ(m_list.GetCachedCount(), 4u);
  EXPECT_EQ(m_list.GetSequences().front()->GetFrames().size(), 6u);
  for (std::uint32_t i : {0u, 3u, 4u, 5u}) EXPECT_TRUE(Loaded(i)) << i;
  for (std::uint32_t i : {1u, 2u}) EXPECT_FALSE(Loaded(i)) << i;
}

TEST_F(FrameCacheTest, ZeroBudgetKeepsTheMostRecentFrame) {
  Build(3);
  m_list.SetRAMPercent(0);
  ASSERT_TRUE(FetchAt(0));
  ASSERT_TRUE(FetchAt(1));
  ASSERT_TRUE(FetchAt(2));
  EXPECT_EQ(m_list.GetCachedCount(), 1u);
  EXPECT_FALSE(Loaded(0));
  EXPECT_FALSE(Loaded(1));
  EXPECT_TRUE(Loaded(2));
  EXPECT_EQ(m_list.GetCacheCapacity(), 1u);
  // The frame just handed out keeps its bitmap until the next fetch.
  ASSERT_NE(m_frame->GetBitmap(), nullptr);
}

TEST_F(FrameCacheTest, CapacityBeforeAnyDecodeIsTheFrameCount) {
  Build(7);
  EXPECT_EQ(m_list.GetCacheCapacity(), 7u);
}

TEST_F(FrameCacheTest, RAMPercentComesFromTheSettingsAndIsClamped) {
  const std::string ini = strSettingsPath() + "settings.ini";
  ASSERT_TRUE(bWriteToIniFile(ini, "Playback", "RAMPercent", 30));
  CRvPlayList list;
  EXPECT_EQ(list.GetRAMPercent(), 30);
  ASSERT_TRUE(bWriteToIniFile(ini, "Playback", "RAMPercent", 250));
  list.ReadCacheSettings();
  EXPECT_EQ(list.GetRAMPercent(), 100);
  ASSERT_TRUE(bWriteToIniFile(ini, "Playback", "RAMPercent", -5));
  list.ReadCacheSettings();
  EXPECT_EQ(list.GetRAMPercent(), 0);
  ASSERT_TRUE(bWriteToIniFile(ini, "Playback", "RAMPercent", "lots"));
  list.ReadCacheSettings();
  EXPECT_EQ(list.GetRAMPercent(), 80);
  EXPECT_GT(CRvPlayList::RvPhysicalMemory(), 0u);
}

TEST_F(FrameCacheTest, RenumberingEmptiesTheCache) {
  Build(3);
  ASSERT_TRUE(FetchAt(1));
  m_list.NumberFrames();
  EXPECT_EQ(m_list.GetCachedCount(), 0u);
  EXPECT_FALSE(Loaded(1));
  ASSERT_TRUE(FetchAt(1));
  EXPECT_TRUE(m_fromDisk);
}

TEST_F(FrameCacheTest, CropAndResampleApplyBeforeCaching) {
  Build(1, 20, 10);
  CRvCrop crop;
  crop.Set(CRvCrop::kLeft, 20, false);  // the left margin reaches the right edge
  m_list.SetPositionByIndex(0);
  ASSERT_TRUE(m_list.FetchCurrentFrame(&crop, nullptr, &m_frame, &m_fromDisk, &m_changed, false));
  const CDIBSectionBitmap* bitmap = m_frame->GetBitmap();
  ASSERT_EQ(bitmap->GetWidth(), 1);
  ASSERT_EQ(bitmap->GetHeight(), 10);
  EXPECT_EQ(bitmap->GetPixel(0, 3), RvMakePixel(19, 3, 7));  // the last column stays
  EXPECT_EQ(m_list.GetLastSourceWidth(), 20u);

  m_list.UnloadAll();
  CRvResample resample;
  resample.SetWidth(50, true);
  resample.SetHeight(30, false);
  ASSERT_TRUE(
      m_list.FetchCurrentFrame(nullptr, &resample, &m_frame, &m_fromDisk, &m_changed, false));
  EXPECT_EQ(m_frame->GetBitmap()->GetWidth(), 10);
  EXPECT_EQ(m_frame->GetBitmap()->GetHeight(), 30);
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
