#include "sequence/Sequence.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <initializer_list>
#include <vector>

#include "SequenceTestSupport.h"
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

TEST(Frame, KeepsItsStampAndCopiesLeaveBitmapAndIndexBehind) {
  CRvFrame frame("/s/render.0042.exr", 11, 22, 33);
  EXPECT_EQ(frame.GetNumber(), 42u);
  EXPECT_EQ(frame.GetCreated(), 11);
  EXPECT_EQ(frame.GetModified(), 22);
  frame.SetIndex(17);
  CRvFrame copy(frame);
  EXPECT_EQ(copy.GetPath(), "/s/render.0042.exr");
  EXPECT_EQ(copy.GetKey(), "render.#.exr");
  EXPECT_EQ(copy.GetIndex(), 0u);
  EXPECT_EQ(copy.GetSize(), 33u);
  EXPECT_FALSE(copy.IsLoaded());
}

TEST(Sequence, EmptySequence) {
  CRvSequence sequence("shot_#.tif", "/s/");
  EXPECT_EQ(sequence.GetFirst(), kRvNone);
  EXPECT_EQ(sequence.GetLast(), kRvNone);
  EXPECT_EQ(sequence.GetDisplayName(), "<Empty>");
  EXPECT_EQ(sequence.GetStepText(), "<Empty>");
  EXPECT_FALSE(sequence.ApplyRange());
}

TEST(Sequence, FramesEndSortedAndDuplicatesAreRefused) {
  CRvSequence sequence("shot_#.tif", "/s/");
  std::vector<std::uint32_t> expected;
  for (std::uint32_t i = 0; i < 2000; ++i) {
    const std::uint32_t n = (i * 7919u) % 2000u;  // a permutation of 0..1999
    auto frame = MakeFrame(n);
    ASSERT_TRUE(sequence.AddFrame(frame));
    EXPECT_EQ(frame, nullptr);
    expected.push_back(i);
  }
  EXPECT_EQ(Numbers(sequence), expected);
  EXPECT_EQ(sequence.GetLast(), 1999u);
  sequence.SetRangeStart(3);
  auto duplicate = MakeFrame(3, "/s/shot_%u.tif");
  EXPECT_FALSE(sequence.AddFrame(duplicate));
  ASSERT_NE(duplicate, nullptr);  // the caller keeps the refused frame
  EXPECT_EQ(sequence.GetFrameCount(), 2000u);
  // Even a refused frame resets the range to first..last.
  EXPECT_EQ(sequence.GetRangeStart(), 0u);
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

TEST(Sequence, ApplyRangeKeepsTheRangeInPlayingOrder) {
  const struct {
    std::uint32_t start, end;
    bool reverse;
    std::vector<std::uint32_t> kept;  // empty: ApplyRange fails
  } cases[] = {{3, 4, false, {3, 4}},
               {3, 4, true, {4, 3}},
               {1, 5, false, {1, 2, 3, 4, 5}},
               {3, 2, false, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << ".." << c.end << (c.reverse ? " reversed" : ""));
    CRvSequence sequence = MakeSequence({1, 2, 3, 4, 5});
    sequence.SetRangeStart(c.start);
    sequence.SetRangeEnd(c.end);
    sequence.SetReverse(c.reverse);
    EXPECT_EQ(sequence.ApplyRange(), !c.kept.empty());
    EXPECT_EQ(Numbers(sequence), c.kept);
    if (c.kept.empty()) continue;
    EXPECT_EQ(sequence.GetFirst(), c.kept.front());
    EXPECT_EQ(sequence.GetLast(), c.kept.back());
    // A later insertion goes after the last smaller number, in either order.
    auto frame = MakeFrame(7);
    EXPECT_TRUE(sequence.AddFrame(frame));
    EXPECT_EQ(Numbers(sequence).back(), 7u);
  }
}

TEST(Sequence, ColumnTexts) {
  CRvSequence gap = MakeSequence({1, 2, 3, 5});
  EXPECT_EQ(gap.GetDisplayName(), "shot_#.tif");
  EXPECT_EQ(gap.GetLengthText(), "4 frames (1-5)");
  EXPECT_EQ(gap.GetStepText(), "variable");
  CRvSequence tens = MakeSequence({10, 20, 30});
  EXPECT_EQ(tens.GetStepText(), "10 frames");
  auto frame = MakeFrame(35);
  ASSERT_TRUE(tens.AddFrame(frame));
  EXPECT_EQ(tens.GetStepText(), "variable");  // follows new frames
  CRvSequence pair = MakeSequence({7, 8});
  EXPECT_EQ(pair.GetStepText(), "1 frame");
  EXPECT_EQ(pair.GetPathPattern(), "/s/shot_#.tif");
  CRvSequence single("logo.tif", "/s/");
  auto logo = std::make_unique<CRvFrame>("/s/logo.tif", 0, 0, 0);
  ASSERT_TRUE(single.AddFrame(logo));
  EXPECT_EQ(single.GetDisplayName(), "logo.tif");
  EXPECT_EQ(single.GetLengthText(), "");
  EXPECT_EQ(single.GetStepText(), "");
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

// --- change check on real files -----------------------------------------------------------

enum class Edit { kNone, kGrow, kTouch, kDelete };

struct ChangeCase {
  const char* name;
  Edit edit;
  int criterion;  // 0 times, 1 modified, 2 created, 3 size
  bool changed;
};

class ChangeCheckTest : public testing::TestWithParam<ChangeCase> {
 protected:
  void SetUp() override {
    m_path = m_dir.File("shot_0001.tif");
    rvtest::WriteFile(m_path, "abcd");
    SetModified(2000000);
    RvFileStamp stamp;
    ASSERT_TRUE(RvReadFileStamp(m_path, &stamp));
    m_frame = std::make_unique<CRvFrame>(m_path, stamp.created, stamp.modified, stamp.size);
  }
  void SetModified(std::time_t modified) {
    timespec times[2] = {{1000000, 0}, {modified, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, m_path.c_str(), times, 0), 0);
  }
  rvtest::TempDir m_dir;
  std::string m_path;
  std::unique_ptr<CRvFrame> m_frame;
};

TEST_P(ChangeCheckTest, DropsTheBitmapExactlyWhenTheCriterionSeesAChange) {
  CRvFrameTestAccess::Give(m_frame.get());
  if (GetParam().edit == Edit::kGrow) {
    rvtest::WriteFile(m_path, "abcde");
    SetModified(2000000);  // same times: only the size tells
  } else if (GetParam().edit == Edit::kTouch) {
    SetModified(2000100);
  } else if (GetParam().edit == Edit::kDelete) {
    std::remove(m_path.c_str());
  }
  EXPECT_EQ(m_frame->CheckChanged(GetParam().criterion), GetParam().changed);
  EXPECT_EQ(m_frame->IsLoaded(), !GetParam().changed);
  if (!GetParam().changed) return;
  // The new stamp is kept (a missing file keeps the old one), so the next check sees no change.
  EXPECT_EQ(m_frame->GetSize(), GetParam().edit == Edit::kGrow ? 5u : 4u);
  EXPECT_EQ(m_frame->GetModified(), GetParam().edit == Edit::kTouch ? 2000100 : 2000000);
  CRvFrameTestAccess::Give(m_frame.get());
  EXPECT_EQ(m_frame->CheckChanged(0), GetParam().edit == Edit::kDelete);
}

INSTANTIATE_TEST_SUITE_P(Criteria, ChangeCheckTest,
                         testing::Values(ChangeCase{"UnchangedTimes", Edit::kNone, 0, false},
                                         ChangeCase{"UnchangedModified", Edit::kNone, 1, false},
                                         ChangeCase{"UnchangedCreated", Edit::kNone, 2, false},
                                         ChangeCase{"UnchangedSize", Edit::kNone, 3, false},
                                         ChangeCase{"GrownBySize", Edit::kGrow, 3, true},
                                         ChangeCase{"GrownByModified", Edit::kGrow, 1, false},
                                         ChangeCase{"TouchedByTimes", Edit::kTouch, 0, true},
                                         ChangeCase{"TouchedByModified", Edit::kTouch, 1, true},
                                         ChangeCase{"TouchedBySize", Edit::kTouch, 3, false},
                                         ChangeCase{"UnknownCriterion", Edit::kNone, 7, true},
                                         ChangeCase{"Deleted", Edit::kDelete, 3, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ChangeCheck, FrameWithoutBitmapIsNeverChecked) {
  CRvFrame frame("/nowhere/shot_0001.tif", 0, 0, 0);
  EXPECT_FALSE(frame.CheckChanged(0));
}

}  // namespace
