#include <gtest/gtest.h>

#include <algorithm>

#include "../sequence/FakeDecoder.h"
#include "OutputTestSupport.h"
#include "TestUtil.h"
#include "imageops/RvResample.h"
#include "output/PrefetchSource.h"
#include "sequence/PlayList.h"

namespace {

// What a frame is: one label for a plain frame, or the labels of its stored rows.
std::vector<std::vector<int>> Drain(CRvFrameSource* source) {
  std::vector<std::vector<int>> out;
  CImageBitmap* bitmap = nullptr;
  while (out.size() < 100 && source->GetNext(nullptr, nullptr, &bitmap)) {
    std::vector<int> rows = StoredRowLabels(*bitmap);
    const bool plain = std::all_of(rows.begin(), rows.end(), [&](int l) { return l == rows[0]; });
    out.push_back(plain ? std::vector<int>{rows[0]} : rows);
  }
  return out;
}

struct PullDownCase {
  int inputs;
  int fieldOrder;
  std::vector<std::vector<int>> expected;
};

class PullDownTest : public testing::TestWithParam<PullDownCase> {};

TEST_P(PullDownTest, WeavesTheThirdAndFourthFrameOfEachCycle) {
  const PullDownCase& c = GetParam();
  CRvPullDownSource source(std::make_unique<CTestSource>(c.inputs), c.fieldOrder);
  EXPECT_EQ(Drain(&source), c.expected);
}

// Stored rows alternate first, second, first, second (bottom row first).
INSTANTIATE_TEST_SUITE_P(
    Cases, PullDownTest,
    testing::Values(PullDownCase{4, 0, {{1}, {2}, {2, 3, 2, 3}, {3, 4, 3, 4}, {4}}},
                    PullDownCase{4, 1, {{1}, {2}, {3, 2, 3, 2}, {4, 3, 4, 3}, {4}}},
                    PullDownCase{6, 0, {{1}, {2}, {2, 3, 2, 3}, {3, 4, 3, 4}, {4}, {5}, {6}}}));

TEST(PullUpTest, DropsEveryThirdInputFrame) {
  CRvPullUpSource source(std::make_unique<CTestSource>(9));
  EXPECT_EQ(Drain(&source), (std::vector<std::vector<int>>{{1}, {2}, {4}, {5}, {7}, {8}}));
}

TEST(IntermediateTest, BlendsAtTwoThirdsBetweenEachPair) {
  CRvIntermediateSource source(std::make_unique<CTestSource>(3), 1);
  CImageBitmap* bitmap = nullptr;
  std::vector<RvPixel> pixels;
  while (source.GetNext(nullptr, nullptr, &bitmap))
    pixels.push_back(bitmap->GetPixel(1, 0) & 0x00FFFFFFu);
  // Blue: 1, trunc(1/3 + 2 x 2/3) = 1, 2, trunc(2/3 + 3 x 2/3) = 2; red: 254, trunc(254/3 +
  // 253 x 2/3) = 253, 253, 252.
  const std::vector<RvPixel> expected = {RvMakePixel(254, 0, 1, 0), RvMakePixel(253, 0, 1, 0),
                                         RvMakePixel(253, 0, 2, 0), RvMakePixel(252, 0, 2, 0)};
  EXPECT_EQ(pixels, expected);
  CRvIntermediateSource single(std::make_unique<CTestSource>(1), 3);
  EXPECT_FALSE(single.GetNext(nullptr, nullptr, &bitmap));  // one frame writes nothing
}

TEST(AdjustRateTest, ScalesAsEachConverterDoes) {
  EXPECT_EQ(CRvPullDownSource(std::make_unique<CTestSource>(1), 0).AdjustRate(24), 30u);
  EXPECT_EQ(CRvPullDownSource(std::make_unique<CTestSource>(1), 0).AdjustRate(25), 31u);
  EXPECT_EQ(CRvPullUpSource(std::make_unique<CTestSource>(1)).AdjustRate(30), 30u);
  EXPECT_EQ(CRvIntermediateSource(std::make_unique<CTestSource>(1), 3).AdjustRate(25), 100u);
  EXPECT_EQ(RvMakeConverter(std::make_unique<CTestSource>(1), 1, 0, 5)->AdjustRate(25), 25u);
}

// The reading thread runs one frame ahead; the frames still come in order, each intact after
// the inner source has freed its own.
TEST(PrefetchTest, HandsOutEveryFrameInOrderUnderAPullDown) {
  auto prefetch =
      std::make_unique<CRvPrefetchSource>(std::make_unique<CTestSource>(6), nullptr, nullptr);
  CRvPullDownSource source(std::move(prefetch), 0);
  EXPECT_EQ(Drain(&source),
            (std::vector<std::vector<int>>{{1}, {2}, {2, 3, 2, 3}, {3, 4, 3, 4}, {4}, {5}, {6}}));
}

class PlayListSourceTest : public testing::Test {
 protected:
  void MakeFrames(const std::vector<std::string>& contents) {
    for (std::size_t i = 0; i < contents.size(); ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "f_%04zu.txt", i + 1);
      rvtest::WriteFile(m_dir.File(name), contents[i]);
    }
    m_list.SetFrameDecoder(&m_decoder);
    ASSERT_TRUE(m_list.AddSequenceByFile(m_dir.File("f_0001.txt")));
    m_list.NumberFrames();
  }
  rvtest::TempDir m_dir;
  CFakeFrameDecoder m_decoder;
  CRvPlayList m_list;
};

TEST_F(PlayListSourceTest, ReadsInToOutWithABlankResampleSizedFrameForAnUnreadableOne) {
  MakeFrames({"2 2", "6 4", "bad", "6 4", "2 2"});
  m_list.SetInPoint(1, true);
  m_list.SetOutPoint(3, true);
  CRvResample half;
  half.SetWidth(3, false);
  half.SetHeight(2, false);
  CRvPlayListSource source(&m_list);
  EXPECT_EQ(source.GetFrameCount(), 3u);
  std::vector<std::string> seen;
  CImageBitmap* bitmap = nullptr;
  while (source.GetNext(nullptr, &half, &bitmap)) {
    seen.push_back(std::to_string(bitmap->GetWidth()) + "x" + std::to_string(bitmap->GetHeight()) +
                   ":" + std::to_string(RvPixelBlue(bitmap->GetPixel(1, 1))));
  }
  // Every decoded pixel has blue 7; the blank frame is all zero.
  EXPECT_EQ(seen, (std::vector<std::string>{"3x2:7", "3x2:0", "3x2:7"}));
}

// With a guard the frame is a copy: unloading the cache (the engine's worker may evict at any
// time) leaves it intact.
TEST_F(PlayListSourceTest, GuardedFramesSurviveEviction) {
  MakeFrames({"5 3", "5 3"});
  struct CountingGuard : CRvPlayListGuard {
    void Enter() override { ++entered; }
    void Leave() override { ++left; }
    int entered = 0, left = 0;
  } guard;
  CRvPlayListSource source(&m_list, &guard);
  CImageBitmap* bitmap = nullptr;
  ASSERT_TRUE(source.GetNext(nullptr, nullptr, &bitmap));
  m_list.UnloadAll();
  EXPECT_EQ(bitmap->GetPixel(4, 2), RvMakePixel(4, 2, 7));
  EXPECT_EQ(guard.entered, guard.left);
  EXPECT_GE(guard.entered, 2);
}

}  // namespace
