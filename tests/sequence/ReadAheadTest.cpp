// Read-ahead: the order of frames the playhead needs, the decode pool filling the cache within
// its budget, generations that drop stale work, decoding outside the play list's lock, and
// decode errors that keep their reason.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "FakeDecoder.h"
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

RvReadAheadSpec Spec(std::uint32_t current, bool forward, std::uint32_t mode, std::uint32_t step,
                     std::uint32_t in, std::uint32_t out, std::uint32_t limit) {
  RvReadAheadSpec s;
  s.count = 10;
  s.current = current;
  s.forward = forward;
  s.mode = RvPlayMode(mode);
  s.step = step;
  s.in = in;
  s.out = out;
  s.limit = limit;
  return s;
}

const OrderCase kOrders[] = {
    {"ForwardLoopWraps", Spec(7, true, 1, 1, 0, 0xFFFFFFFFu, 5), {7, 8, 9, 0, 1}},
    {"ReverseLoopWrapsToTheOutPoint", Spec(1, false, 1, 1, 0, 6, 4), {1, 0, 6, 5}},
    {"PingPongTurns", Spec(7, true, 2, 1, 0, 8, 5), {7, 8, 6, 5, 4}},
    {"OnceStopsAtTheEnd", Spec(7, true, 0, 1, 0, 0xFFFFFFFFu, 8), {7, 8, 9}},
    {"StepTwoWithinInOut", Spec(2, true, 1, 2, 2, 7, 10), {2, 4, 6}},
    {"LimitOfOne", Spec(3, true, 1, 1, 0, 9, 1), {3}},
};

class OrderTest : public ::testing::TestWithParam<OrderCase> {};

// A play list of frames shot_0000.tif.. whose files describe a width x height picture for the
// fake decoder (4 bytes a pixel).
class ReadAheadTest : public ::testing::Test {
 protected:
  void Build(int count, int width = 64, int height = 64) {
    for (int n = 0; n < count; ++n) {
      char name[32];
      std::snprintf(name, sizeof name, "shot_%04d.tif", n);
      rvtest::WriteFile(
          m_dir.File(name),
          n == m_badFrame ? "bad" : std::to_string(width) + " " + std::to_string(height));
    }
    ASSERT_TRUE(m_list.AddSequenceByFile(m_dir.File("shot_0000.tif")));
    m_list.NumberFrames();
    m_list.SetFrameDecoder(&m_decoder);
    m_list.SetRAMPercent(100);
    m_list.SetPhysicalMemory(std::uint64_t(1) << 30);
  }
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

  int m_badFrame = -1;
  rvtest::TempDir m_dir;
  CFakeFrameDecoder m_decoder;
  CRvPlayList m_list;
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

TEST_F(ReadAheadTest, AnUnreadableFrameKeepsItsReasonAndIsNotRetried) {
  m_badFrame = 1;
  Build(3);
  ASSERT_TRUE(m_list.SetPositionByIndex(1));
  CRvFrame* frame = nullptr;
  bool fromDisk = false, changed = false;
  std::string error;
  EXPECT_FALSE(
      m_list.FetchCurrentFrame(nullptr, nullptr, &frame, &fromDisk, &changed, false, &error));
  EXPECT_EQ(error, "bad frame");
  const int decodes = m_decoder.Decodes();
  error.clear();
  EXPECT_FALSE(
      m_list.FetchCurrentFrame(nullptr, nullptr, &frame, &fromDisk, &changed, false, &error));
  EXPECT_EQ(error, "bad frame");
  EXPECT_EQ(m_decoder.Decodes(), decodes);  // not decoded again
  m_list.UnloadAll();                       // a new generation tries again
  EXPECT_FALSE(
      m_list.FetchCurrentFrame(nullptr, nullptr, &frame, &fromDisk, &changed, false, &error));
  EXPECT_EQ(m_decoder.Decodes(), decodes + 1);
}
