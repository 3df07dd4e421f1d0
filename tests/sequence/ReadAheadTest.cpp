// Read-ahead: the order of frames the playhead needs, the decode pool filling the cache within
// its budget, generations that drop stale work, and decoding outside the play list's lock.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "SequenceTestSupport.h"
#include "TestUtil.h"
#include "imageops/RvCrop.h"
#include "sequence/PlayList.h"
#include "sequence/ReadAhead.h"

namespace {

struct OrderCase {
  const char* name;
  RvReadAheadSpec spec;
  std::vector<std::uint32_t> expected;
};

// Ten frames: {count, current, in, out, forward, mode, step, limit}.
const OrderCase kOrders[] = {
    {"ForwardLoopWraps",
     RvReadAheadSpec{10, 7, 0, 0xFFFFFFFFu, true, RvPlayMode::Loop, 1, 5},
     {7, 8, 9, 0, 1}},
    {"ReverseLoopWrapsToTheOutPoint",
     RvReadAheadSpec{10, 1, 0, 6, false, RvPlayMode::Loop, 1, 4},
     {1, 0, 6, 5}},
    {"PingPongTurns",
     RvReadAheadSpec{10, 7, 0, 8, true, RvPlayMode::PingPong, 1, 5},
     {7, 8, 6, 5, 4}},
    {"OnceStopsAtTheEnd",
     RvReadAheadSpec{10, 7, 0, 0xFFFFFFFFu, true, RvPlayMode::Once, 1, 8},
     {7, 8, 9}},
    {"StepTwoWithinInOut", RvReadAheadSpec{10, 2, 2, 7, true, RvPlayMode::Loop, 2, 10}, {2, 4, 6}},
    {"LimitOfOne", RvReadAheadSpec{10, 3, 0, 9, true, RvPlayMode::Loop, 1, 1}, {3}},
};

class OrderTest : public ::testing::TestWithParam<OrderCase> {};

class ReadAheadTest : public FakeFramesTest {
 protected:
  void Build(int count) { FakeFramesTest::Build(count, 64, 64); }  // 16 KiB a frame
  std::vector<std::uint32_t> All(std::uint32_t count) {
    std::vector<std::uint32_t> v;
    for (std::uint32_t i = 0; i < count; ++i) v.push_back(i);
    return v;
  }
  std::uint32_t LoadedCount() const {
    std::uint32_t n = 0;
    for (std::uint32_t i = 0; i < m_list.GetFrameCount(); ++i)
      n += m_list.GetLoadedFlags()[i].load() != 0;
    return n;
  }
  bool WaitFor(const std::function<bool()>& pred) {
    for (int i = 0; i < 5000 && !pred(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return pred();
  }
};

}  // namespace

TEST_P(OrderTest, FollowsThePlayhead) {
  EXPECT_EQ(RvReadAheadOrder(GetParam().spec), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Modes, OrderTest, ::testing::ValuesIn(kOrders),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReadAheadTest, ThePoolFillsTheCacheInOrderAndNeverPassesTheBudget) {
  Build(20);
  // 64 x 64 x 4 bytes = 16 KiB a frame; a budget of 5 frames.
  m_list.SetPhysicalMemory(5 * 16384);
  m_list.SetRAMPercent(100);
  CRvFrame* frame = nullptr;
  bool fromDisk = false, changed = false;
  ASSERT_TRUE(m_list.FetchCurrentFrame(nullptr, nullptr, &frame, &fromDisk, &changed, false));
  const std::vector<std::uint32_t> order = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  m_list.SetReadAheadOrder(order);
  CRvDecodePool pool(2);
  pool.Request(&m_list, order, nullptr, nullptr);
  ASSERT_TRUE(WaitFor([&] { return LoadedCount() == 5; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  pool.CancelAndWait();
  // The five soonest frames, and never more than the budget holds.
  for (std::uint32_t i = 0; i < 5; ++i) EXPECT_TRUE(m_list.GetLoadedFlags()[i].load()) << i;
  EXPECT_EQ(LoadedCount(), 5u);
  EXPECT_LE(m_list.GetCachedCount() * m_list.GetLargestFrameSize(), 5 * 16384 / 1048576.0 + 1e-9);
}

TEST_F(ReadAheadTest, ANewGenerationDropsWorkInFlightAndCropChangesNeverShowOldPixels) {
  Build(6);
  const std::vector<std::uint32_t> order = All(6);
  m_list.SetReadAheadOrder(order);
  m_decoder.CloseGate();
  CRvDecodePool pool(2);
  pool.Request(&m_list, order, nullptr, nullptr);
  ASSERT_TRUE(WaitFor([&] { return m_decoder.Inside() == 2; }));
  m_list.UnloadAll();  // what crop and resample changes do: a new generation
  m_decoder.OpenGate();
  pool.CancelAndWait();
  EXPECT_EQ(LoadedCount(), 0u);  // the two uncropped decodes were dropped
  // With a crop the next decode is cropped.
  CRvCrop crop;
  crop.Set(CRvCrop::kWidth, 10, false);
  m_list.SetReadAheadOrder(order);
  pool.Request(&m_list, {1}, &crop, nullptr);
  ASSERT_TRUE(WaitFor([&] { return LoadedCount() == 1; }));
  pool.CancelAndWait();
  ASSERT_TRUE(m_list.SetPositionByIndex(1));
  CRvFrame* frame = nullptr;
  bool fromDisk = false, changed = false;
  ASSERT_TRUE(m_list.FetchCurrentFrame(&crop, nullptr, &frame, &fromDisk, &changed, false));
  EXPECT_FALSE(fromDisk);
  EXPECT_EQ(frame->GetBitmap()->GetWidth(), 10);
}

TEST_F(ReadAheadTest, ADecodeInProgressNeverBlocksPositionCommands) {
  Build(4);
  m_decoder.CloseGate();
  std::thread worker([&] {
    CRvFrame* frame = nullptr;
    bool fromDisk = false, changed = false;
    m_list.FetchCurrentFrame(nullptr, nullptr, &frame, &fromDisk, &changed, false);
  });
  ASSERT_TRUE(WaitFor([&] { return m_decoder.Inside() == 1; }));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(m_list.SetPositionByIndex(2));  // the lock is free while the worker decodes
  EXPECT_TRUE(m_list.Next(false));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  m_decoder.OpenGate();
  worker.join();
  EXPECT_EQ(m_list.GetCurrentIndex(), 3u);
}

TEST_F(ReadAheadTest, RoomIsMadeFromFramesNeededLaterButNeverFromTheFrameOnScreen) {
  Build(5);
  m_list.SetPhysicalMemory(2 * 16384);  // two frames
  ASSERT_TRUE(m_list.SetPositionByIndex(0));
  CRvFrame* frame = nullptr;
  bool fromDisk = false, changed = false;
  ASSERT_TRUE(m_list.FetchCurrentFrame(nullptr, nullptr, &frame, &fromDisk, &changed, false));
  m_list.SetReadAheadOrder({1, 2, 3});  // the frame on screen is not among them
  const std::uint64_t generation = m_list.GetGeneration();
  EXPECT_EQ(m_list.DecodeAhead(3, generation, nullptr, nullptr), RvDecodeResult::Decoded);
  // Frame 2 is needed before frame 3: 3 makes room, the frame on screen stays.
  EXPECT_EQ(m_list.DecodeAhead(2, generation, nullptr, nullptr), RvDecodeResult::Decoded);
  EXPECT_TRUE(Loaded(0));
  EXPECT_TRUE(Loaded(2));
  EXPECT_FALSE(Loaded(3));
  // Nothing is needed later than frame 3 now: no room for it.
  EXPECT_EQ(m_list.DecodeAhead(3, generation, nullptr, nullptr), RvDecodeResult::BudgetFull);
}

TEST_F(ReadAheadTest, AFrameNoLongerNeededWhenItsDecodeEndsIsDropped) {
  Build(4);
  m_list.SetReadAheadOrder({0, 1, 2});
  m_decoder.CloseGate();
  std::thread worker([&] {
    EXPECT_EQ(m_list.DecodeAhead(2, m_list.GetGeneration(), nullptr, nullptr),
              RvDecodeResult::NotNeeded);
  });
  ASSERT_TRUE(WaitFor([&] { return m_decoder.Inside() == 1; }));
  m_list.SetReadAheadOrder({0, 1});  // the playhead turned: frame 2 is not coming up any more
  m_decoder.OpenGate();
  worker.join();
  EXPECT_FALSE(Loaded(2));
  EXPECT_EQ(m_list.GetCachedCount(), 0u);
}
