#include "sequence/Sequence.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <initializer_list>
#include <vector>

#include "TestUtil.h"
#include "sequence/Frame.h"

namespace {

std::unique_ptr<CRvFrame> MakeFrame(std::uint32_t number,
                                    const char* pattern = "/s/shot_%04u.tif") {
  char path[256];
  std::snprintf(path, sizeof path, pattern, number);
  return std::make_unique<CRvFrame>(path, 100, 200, 300);
}

CRvSequence MakeSequence(std::initializer_list<std::uint32_t> numbers) {
  CRvSequence sequence("shot_#.tif", "/s/");
  for (std::uint32_t n : numbers) {
    auto frame = MakeFrame(n);
    EXPECT_TRUE(sequence.AddFrame(frame));
  }
  return CRvSequence(sequence);
}

std::vector<std::uint32_t> Numbers(const CRvSequence& sequence) {
  std::vector<std::uint32_t> numbers;
  for (const auto& frame : sequence.GetFrames()) numbers.push_back(frame->GetNumber());
  return numbers;
}

TEST(Frame, ConstructionParsesTheName) {
  CRvFrame frame("/s/render.0042.exr", 11, 22, 33);
  EXPECT_EQ(frame.GetKey(), "render.#.exr");
  EXPECT_EQ(frame.GetNumber(), 42u);
  EXPECT_EQ(frame.GetIndex(), 0u);
  EXPECT_EQ(frame.GetCreated(), 11);
  EXPECT_EQ(frame.GetModified(), 22);
  EXPECT_EQ(frame.GetSize(), 33u);
  EXPECT_FALSE(frame.IsLoaded());
}

TEST(Frame, CopyKeepsIdentityButNotBitmapOrIndex) {
  CRvFrame frame("/s/shot_0007.tif", 1, 2, 3);
  frame.SetIndex(17);
  CRvFrame copy(frame);
  EXPECT_EQ(copy.GetPath(), "/s/shot_0007.tif");
  EXPECT_EQ(copy.GetNumber(), 7u);
  EXPECT_EQ(copy.GetIndex(), 0u);
  EXPECT_EQ(copy.GetSize(), 3u);
  EXPECT_FALSE(copy.IsLoaded());
}

TEST(Sequence, EmptySequence) {
  CRvSequence sequence("shot_#.tif", "/s/");
  EXPECT_EQ(sequence.GetFirst(), kRvNone);
  EXPECT_EQ(sequence.GetLast(), kRvNone);
  EXPECT_EQ(sequence.GetRangeStart(), 0u);
  EXPECT_EQ(sequence.GetRangeEnd(), 0u);
  EXPECT_EQ(sequence.GetDisplayName(), "<Empty>");
  EXPECT_EQ(sequence.GetStepText(), "<Empty>");
  EXPECT_FALSE(sequence.ApplyRange());
}

TEST(Sequence, AddFrameOrdersAndRefusesDuplicates) {
  CRvSequence sequence("shot_#.tif", "/s/");
  for (std::uint32_t n : {5u, 1u, 3u}) {
    auto frame = MakeFrame(n);
    EXPECT_TRUE(sequence.AddFrame(frame));
    EXPECT_EQ(frame, nullptr);
  }
  EXPECT_EQ(Numbers(sequence), (std::vector<std::uint32_t>{1, 3, 5}));
  EXPECT_EQ(sequence.GetFirst(), 1u);
  EXPECT_EQ(sequence.GetLast(), 5u);

  sequence.SetRangeStart(3);
  auto duplicate = MakeFrame(3, "/s/shot_%u.tif");
  EXPECT_FALSE(sequence.AddFrame(duplicate));
  ASSERT_NE(duplicate, nullptr);  // the caller keeps the refused frame
  EXPECT_EQ(duplicate->GetPath(), "/s/shot_3.tif");
  EXPECT_EQ(sequence.GetFrameCount(), 3u);
  // Even a refused frame resets the range to first..last.
  EXPECT_EQ(sequence.GetRangeStart(), 1u);
  EXPECT_EQ(sequence.GetRangeEnd(), 5u);
}

TEST(Sequence, ManyFramesInScrambledOrderEndSorted) {
  CRvSequence sequence("shot_#.tif", "/s/");
  std::vector<std::uint32_t> expected;
  for (std::uint32_t i = 0; i < 2000; ++i) {
    const std::uint32_t n = (i * 7919u) % 2000u;  // a permutation of 0..1999
    auto frame = MakeFrame(n);
    ASSERT_TRUE(sequence.AddFrame(frame));
    expected.push_back(i);
  }
  auto again = MakeFrame(1234);
  EXPECT_FALSE(sequence.AddFrame(again));
  EXPECT_EQ(Numbers(sequence), expected);
}

TEST(Sequence, RangeLimitsClampToFirstAndLast) {
  CRvSequence sequence = MakeSequence({10, 50, 99});
  sequence.SetRangeStart(0);
  EXPECT_EQ(sequence.GetRangeStart(), 10u);
  sequence.SetRangeEnd(1000);
  EXPECT_EQ(sequence.GetRangeEnd(), 99u);
  sequence.SetRangeStart(20);
  sequence.SetRangeEnd(60);
  EXPECT_EQ(sequence.GetRangeStart(), 20u);
  EXPECT_EQ(sequence.GetRangeEnd(), 60u);
}

TEST(Sequence, ApplyRangeKeepsTheSubRange) {
  CRvSequence sequence = MakeSequence({1, 2, 3, 4, 5});
  sequence.SetRangeStart(3);
  sequence.SetRangeEnd(4);
  ASSERT_TRUE(sequence.ApplyRange());
  EXPECT_EQ(Numbers(sequence), (std::vector<std::uint32_t>{3, 4}));
  EXPECT_EQ(sequence.GetFirst(), 3u);
  EXPECT_EQ(sequence.GetLast(), 4u);
}

TEST(Sequence, ApplyRangeReversed) {
  CRvSequence sequence = MakeSequence({1, 2, 3, 4, 5});
  sequence.SetRangeStart(3);
  sequence.SetRangeEnd(4);
  sequence.SetReverse(true);
  ASSERT_TRUE(sequence.ApplyRange());
  EXPECT_EQ(Numbers(sequence), (std::vector<std::uint32_t>{4, 3}));
  EXPECT_EQ(sequence.GetFirst(), 4u);
  EXPECT_EQ(sequence.GetLast(), 3u);
  // A later insertion walks the descending list as before: after the last smaller number.
  auto frame = MakeFrame(7);
  EXPECT_TRUE(sequence.AddFrame(frame));
  EXPECT_EQ(Numbers(sequence), (std::vector<std::uint32_t>{4, 3, 7}));
}

TEST(Sequence, ApplyRangeWithoutFramesInsideFails) {
  CRvSequence sequence = MakeSequence({1, 2, 3});
  sequence.SetRangeStart(3);
  sequence.SetRangeEnd(2);
  EXPECT_FALSE(sequence.ApplyRange());
  EXPECT_EQ(sequence.GetFrameCount(), 0u);
}

TEST(Sequence, ColumnTexts) {
  CRvSequence gap = MakeSequence({1, 2, 3, 5});
  EXPECT_EQ(gap.GetDisplayName(), "shot_#.tif");
  EXPECT_EQ(gap.GetLengthText(), "4 frames (1-5)");
  EXPECT_EQ(gap.GetStepText(), "variable");

  CRvSequence tens = MakeSequence({10, 20, 30});
  EXPECT_EQ(tens.GetLengthText(), "3 frames (10-30)");
  EXPECT_EQ(tens.GetStepText(), "10 frames");

  CRvSequence pair = MakeSequence({7, 8});
  EXPECT_EQ(pair.GetStepText(), "1 frame");
  EXPECT_EQ(pair.GetPathPattern(), "/s/shot_#.tif");

  CRvSequence single("logo.tif", "/s/");
  auto frame = std::make_unique<CRvFrame>("/s/logo.tif", 0, 0, 0);
  ASSERT_TRUE(single.AddFrame(frame));
  EXPECT_EQ(single.GetDisplayName(), "logo.tif");
  EXPECT_EQ(single.GetLengthText(), "");
  EXPECT_EQ(single.GetStepText(), "");
}

TEST(Sequence, StepTextFollowsNewFrames) {
  CRvSequence sequence = MakeSequence({10, 20, 30});
  EXPECT_EQ(sequence.GetStepText(), "10 frames");
  auto frame = MakeFrame(35);
  ASSERT_TRUE(sequence.AddFrame(frame));
  EXPECT_EQ(sequence.GetStepText(), "variable");
}

TEST(Sequence, CopyHoldsEqualFramesAndSettings) {
  CRvSequence sequence = MakeSequence({1, 2, 3});
  sequence.SetRangeStart(2);
  sequence.SetReverse(true);
  CRvSequence copy(sequence);
  EXPECT_EQ(Numbers(copy), Numbers(sequence));
  EXPECT_EQ(copy.GetRangeStart(), 2u);
  EXPECT_TRUE(copy.IsReverse());
  EXPECT_EQ(copy.GetKey(), "shot_#.tif");
  EXPECT_EQ(copy.GetDirectory(), "/s/");
  EXPECT_NE(copy.GetFrames().front().get(), sequence.GetFrames().front().get());
}

// --- change check on real files -----------------------------------------------------------

class ChangeCheckTest : public testing::Test {
 protected:
  void SetUp() override {
    m_path = m_dir.File("shot_0001.tif");
    rvtest::WriteFile(m_path, "abcd");
    SetTimes(1000000, 2000000);
    RvFileStamp stamp;
    ASSERT_TRUE(RvReadFileStamp(m_path, &stamp));
    m_frame = std::make_unique<CRvFrame>(m_path, stamp.created, stamp.modified, stamp.size);
  }

  void SetTimes(std::time_t access, std::time_t modified) {
    timespec times[2] = {{access, 0}, {modified, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, m_path.c_str(), times, 0), 0);
  }

  rvtest::TempDir m_dir;
  std::string m_path;
  std::unique_ptr<CRvFrame> m_frame;
};

}  // namespace

// Gives a frame a bitmap without a decoder.
class CRvFrameTestAccess {
 public:
  static void Give(CRvFrame* frame) {
    frame->m_bitmap = std::make_unique<CDIBSectionBitmap>();
    frame->m_bitmap->Create(1, 1, 32, false);
  }
};

namespace {

TEST_F(ChangeCheckTest, FrameWithoutBitmapIsNeverChecked) {
  std::remove(m_path.c_str());
  EXPECT_FALSE(m_frame->CheckChanged(0));
}

TEST_F(ChangeCheckTest, UnchangedFileKeepsBitmap) {
  CRvFrameTestAccess::Give(m_frame.get());
  for (int criterion = 0; criterion <= 3; ++criterion) {
    EXPECT_FALSE(m_frame->CheckChanged(criterion)) << criterion;
    EXPECT_TRUE(m_frame->IsLoaded());
  }
}

TEST_F(ChangeCheckTest, SizeCriterionSeesGrownFile) {
  CRvFrameTestAccess::Give(m_frame.get());
  rvtest::WriteFile(m_path, "abcde");
  SetTimes(1000000, 2000000);  // same times: only the size tells
  EXPECT_FALSE(m_frame->CheckChanged(1));
  EXPECT_TRUE(m_frame->CheckChanged(3));
  EXPECT_FALSE(m_frame->IsLoaded());
  EXPECT_EQ(m_frame->GetSize(), 5u);
}

TEST_F(ChangeCheckTest, ModificationTimeCriteria) {
  CRvFrameTestAccess::Give(m_frame.get());
  SetTimes(1000000, 2000100);
  EXPECT_FALSE(m_frame->CheckChanged(3));
  EXPECT_TRUE(m_frame->IsLoaded());
  EXPECT_TRUE(m_frame->CheckChanged(1));
  EXPECT_FALSE(m_frame->IsLoaded());
  EXPECT_EQ(m_frame->GetModified(), 2000100);
  // The new time is stored, so the next check sees no change.
  CRvFrameTestAccess::Give(m_frame.get());
  EXPECT_FALSE(m_frame->CheckChanged(0));
}

TEST_F(ChangeCheckTest, UnknownCriterionAlwaysReportsAChange) {
  CRvFrameTestAccess::Give(m_frame.get());
  EXPECT_TRUE(m_frame->CheckChanged(7));
  EXPECT_FALSE(m_frame->IsLoaded());
}

TEST_F(ChangeCheckTest, MissingFileCountsAsChangedAndKeepsStamp) {
  CRvFrameTestAccess::Give(m_frame.get());
  const std::int64_t modified = m_frame->GetModified();
  std::remove(m_path.c_str());
  EXPECT_TRUE(m_frame->CheckChanged(3));
  EXPECT_FALSE(m_frame->IsLoaded());
  EXPECT_EQ(m_frame->GetModified(), modified);
  EXPECT_EQ(m_frame->GetSize(), 4u);
}

}  // namespace
