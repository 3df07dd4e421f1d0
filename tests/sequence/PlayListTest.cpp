#include "sequence/PlayList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "SequenceTestSupport.h"
#include "TestUtil.h"

namespace {

// Two sequences of three frames: indices 0..5, frame numbers 1,2,3 then 11,12,13.
class PositionTest : public testing::Test {
 protected:
  void SetUp() override {
    m_list.AddSequence(MakeSequence("a_#.tif", 1, 3));
    m_list.AddSequence(MakeSequence("b_#.tif", 11, 3));
    m_list.NumberFrames();
  }
  CRvPlayList m_list;
};

TEST_F(PositionTest, NumberingRunsOverAllSequences) {
  ASSERT_EQ(m_list.GetFrameCount(), 6u);
  const std::uint32_t expected[] = {1, 2, 3, 11, 12, 13};
  for (std::uint32_t i = 0; i < 6; ++i) EXPECT_EQ(m_list.GetFrameNumbers()[i], expected[i]);
  EXPECT_EQ(m_list.GetCurrentFrameNumber(), 1u);
  EXPECT_TRUE(m_list.IsAtFirstFrame());
  EXPECT_FALSE(m_list.IsAtLastFrame());
}

TEST_F(PositionTest, StepsCrossSequencesAndStopAtTheEnds) {
  ASSERT_TRUE(m_list.GoToIndex(2));
  ASSERT_TRUE(m_list.Next(false));
  EXPECT_EQ(m_list.GetCurrentFrameNumber(), 11u);
  ASSERT_TRUE(m_list.Previous(false));
  EXPECT_EQ(m_list.GetCurrentFrameNumber(), 3u);
  ASSERT_TRUE(m_list.GoToLast());
  EXPECT_TRUE(m_list.IsAtLastFrame());
  EXPECT_FALSE(m_list.Next(true));
  EXPECT_EQ(m_list.GetCurrentIndex(), 5u);
  ASSERT_TRUE(m_list.GoToFirst());
  EXPECT_FALSE(m_list.Previous(true));
  EXPECT_EQ(m_list.GetCurrentIndex(), 0u);
}

TEST_F(PositionTest, InAndOutPointsStopStepsUnlessIgnored) {
  EXPECT_EQ(m_list.GetOutPointIndex(), 5u);  // frame count - 1 without an out point
  ASSERT_TRUE(m_list.SetOutPoint(3, false));
  EXPECT_TRUE(m_list.IsAtOutPoint());
  EXPECT_FALSE(m_list.Next(false));
  EXPECT_EQ(m_list.GetCurrentIndex(), 3u);
  EXPECT_TRUE(m_list.Next(true));
  EXPECT_FALSE(m_list.IsAtOutPoint());
  ASSERT_TRUE(m_list.SetInPoint(2, false));
  EXPECT_TRUE(m_list.IsAtInPoint());
  EXPECT_FALSE(m_list.Previous(false));
  EXPECT_TRUE(m_list.Previous(true));
  EXPECT_EQ(m_list.GetCurrentIndex(), 1u);
  EXPECT_EQ(m_list.GetInPointIndex(), 2u);
  EXPECT_EQ(m_list.GetOutPointIndex(), 3u);
  ASSERT_TRUE(m_list.ClearInOut());
  EXPECT_EQ(m_list.GetInPointIndex(), 0u);
  EXPECT_EQ(m_list.GetOutPointIndex(), 5u);
}

TEST_F(PositionTest, SettingAPointTwiceClearsItUnlessKept) {
  EXPECT_TRUE(m_list.SetInPoint(2, false));
  EXPECT_FALSE(m_list.SetInPoint(2, false));
  EXPECT_EQ(m_list.GetInIndex(), 0u);
  EXPECT_FALSE(m_list.IsAtInPoint());
  EXPECT_TRUE(m_list.SetInPoint(2, true));
  EXPECT_TRUE(m_list.SetInPoint(2, true));
  EXPECT_EQ(m_list.GetInIndex(), 2u);
  EXPECT_TRUE(m_list.SetOutPoint(4, false));
  EXPECT_FALSE(m_list.SetOutPoint(4, false));
  EXPECT_EQ(m_list.GetOutIndex(), kRvNone);
  // No index: the point goes where the playhead is.
  ASSERT_TRUE(m_list.GoToIndex(4));
  EXPECT_TRUE(m_list.SetOutPoint(kRvNone, false));
  EXPECT_EQ(m_list.GetOutPointIndex(), 4u);
}

TEST_F(PositionTest, GoToPointsFallBackToEndsAndIndexesAreChecked) {
  ASSERT_TRUE(m_list.GoToOutPoint());
  EXPECT_EQ(m_list.GetCurrentIndex(), 5u);
  ASSERT_TRUE(m_list.GoToInPoint());
  EXPECT_EQ(m_list.GetCurrentIndex(), 0u);
  ASSERT_TRUE(m_list.SetInPoint(2, false));
  ASSERT_TRUE(m_list.SetOutPoint(3, false));
  ASSERT_TRUE(m_list.GoToInPoint());
  EXPECT_EQ(m_list.GetCurrentIndex(), 2u);
  ASSERT_TRUE(m_list.GoToOutPoint());
  EXPECT_EQ(m_list.GetCurrentIndex(), 3u);
  ASSERT_TRUE(m_list.SetPositionByIndex(4));
  EXPECT_EQ(m_list.GetCurrentFrameNumber(), 12u);
  EXPECT_FALSE(m_list.SetPositionByIndex(6));
  EXPECT_EQ(m_list.GetCurrentIndex(), 4u);
  EXPECT_FALSE(m_list.GoToIndex(9));  // walks to the end and stops
  EXPECT_EQ(m_list.GetCurrentIndex(), 5u);
}

TEST(PlayList, EmptyListHasNoPosition) {
  CRvPlayList list;
  list.NumberFrames();
  EXPECT_FALSE(list.GoToFirst());
  EXPECT_FALSE(list.Next(false));
  EXPECT_FALSE(list.Previous(false));
  EXPECT_FALSE(list.SetInPoint(kRvNone, false));
  EXPECT_FALSE(list.IsAtFirstFrame());
  EXPECT_EQ(list.GetCurrentFrame(), nullptr);
}

TEST(PlayList, NumberFramesDropsSequencesLeftEmptyAndTheTitleNamesTheRest) {
  CRvPlayList list;
  list.AddSequence(MakeSequence("a_#.tif", 1, 3));
  auto empty = MakeSequence("b_#.tif", 1, 3);
  empty->SetRangeStart(3);
  empty->SetRangeEnd(2);
  list.AddSequence(std::move(empty));
  list.AddSequence(MakeSequence("c_#.tif", 1, 2));
  EXPECT_EQ(list.GetFrameCount(), 8u);
  list.NumberFrames();
  EXPECT_EQ(list.GetFrameCount(), 5u);
  EXPECT_EQ(list.GetTitle(), " - a_#.tif - c_#.tif");
  list.SetName("reel.rvpl");
  EXPECT_EQ(list.GetTitle(), "reel.rvpl");
}

TEST(PlayList, RemoveAndMoveSequences) {
  CRvPlayList list;
  list.AddSequence(MakeSequence("a_#.tif", 1, 1));
  list.AddSequence(MakeSequence("b_#.tif", 1, 2));
  list.AddSequence(MakeSequence("c_#.tif", 1, 3));
  CRvSequence* b = std::next(list.GetSequences().begin())->get();
  list.MoveSequenceUp(b);
  list.MoveSequenceUp(b);  // already first
  EXPECT_EQ(list.GetTitle(), " - b_#.tif - a_#.tif - c_#.tif");
  list.MoveSequenceDown(list.GetSequences().back().get());  // already last
  list.MoveSequenceDown(b);
  EXPECT_EQ(list.GetTitle(), " - a_#.tif - b_#.tif - c_#.tif");
  list.RemoveSequence(b);
  EXPECT_EQ(list.GetTitle(), " - a_#.tif - c_#.tif");
  EXPECT_EQ(list.GetFrameCount(), 4u);
}

TEST(PlayList, CopyTakesSequencesButNotPosition) {
  CRvPlayList list;
  list.AddSequence(MakeSequence("a_#.tif", 1, 3));
  list.SetName("x.rvpl");
  list.NumberFrames();
  ASSERT_TRUE(list.GoToIndex(2));
  CRvPlayList copy(list);
  EXPECT_EQ(copy.GetName(), "x.rvpl");
  EXPECT_EQ(copy.GetFrameCount(), 3u);
  EXPECT_EQ(copy.GetCurrentFrame(), nullptr);
  copy.NumberFrames();
  EXPECT_EQ(copy.GetCurrentIndex(), 0u);
  EXPECT_NE(copy.GetCurrentFrame(), list.GetCurrentFrame());
}

// --- the play-list file ----------------------------------------------------------------------

class PlayListFileTest : public testing::Test {
 protected:
  void SetUp() override {
    for (int n = 1; n <= 10; ++n) {
      char name[64];
      std::snprintf(name, sizeof name, "shot_%04d.tif", n);
      rvtest::WriteFile(m_dir.File(name), "x");
      std::snprintf(name, sizeof name, "take_%d.png", n);
      rvtest::WriteFile(m_dir.File(name), "x");
    }
  }
  std::string Folder() const { return m_dir.Path().string() + "/"; }
  std::vector<std::uint32_t> Played(CRvPlayList* list) {
    list->NumberFrames();
    std::vector<std::uint32_t> played;
    if (!list->GetCurrentFrame()) return played;
    played.push_back(list->GetCurrentFrameNumber());
    while (list->Next(false)) played.push_back(list->GetCurrentFrameNumber());
    return played;
  }
  rvtest::TempDir m_dir;
};

TEST_F(PlayListFileTest, RangesAreClampedAndBadBoundsLeaveTheRange) {
  const std::string file = m_dir.File("a.rvpl");
  rvtest::WriteFile(file, Folder() + "shot_#.tif\t0\t3\n" + Folder() + "take_@.png\t9\t99\trv\n" +
                              Folder() + "shot_0002.tif\tx\t-4\n" + Folder() +
                              "take_#.png\t4294967298\t4\n");
  CRvPlayList list;
  std::string errors;
  ASSERT_TRUE(list.LoadFromFile(file, &errors)) << errors;
  ASSERT_EQ(list.GetSequences().size(), 4u);
  // 0 is raised to the first frame, 99 lowered to the last; unparsable, negative and
  // beyond-32-bit bounds leave the range as found.
  EXPECT_EQ(Played(&list), (std::vector<std::uint32_t>{1, 2, 3, 10, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9,
                                                       10, 1, 2, 3, 4}));
}

TEST_F(PlayListFileTest, SaveWritesRangesAndReverseFlags) {
  CRvPlayList list;
  CRvSequence* shot = nullptr;
  ASSERT_TRUE(list.AddSequenceByFile(Folder() + "shot_0003.tif", &shot));
  shot->SetRangeStart(2);
  shot->SetRangeEnd(6);
  CRvSequence* take = nullptr;
  ASSERT_TRUE(list.AddSequenceByFile(Folder() + "take_#.png", &take));
  take->SetReverse(true);
  const std::string file = m_dir.File("round.rvpl");
  std::string errors;
  ASSERT_TRUE(list.SaveToFile(file, &errors)) << errors;
  EXPECT_EQ(rvtest::ReadFile(file),
            Folder() + "shot_#.tif\t2\t6\r\n" + Folder() + "take_#.png\t1\t10\tRV\r\n");
}

std::string Expand(std::string text, const std::string& folder) {
  for (std::size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, folder);
  return text;
}

TEST_F(PlayListFileTest, LoadReportsWhatIsMissing) {
  const struct {
    const char* content;  // "@" stands for the test folder, here and in the errors
    bool loads;
    const char* errors;
  } cases[] = {
      {"@gone_#.tif\t1\t2\r\n@shot_#.tif\r\n", true, "Not found: @gone_#.tif\n"},
      {"@gone_#.tif\t1\t5\r\n", false, "Not found: @gone_#.tif\n\nPlaylist is empty\n"},
      {"\r\n\t\t\r\n", false, "\nPlaylist is empty\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    rvtest::WriteFile(m_dir.File("a.rvpl"), Expand(c.content, Folder()));
    CRvPlayList list;
    std::string errors;
    EXPECT_EQ(list.LoadFromFile(m_dir.File("a.rvpl"), &errors), c.loads);
    EXPECT_EQ(errors, Expand(c.errors, Folder()));
  }
}

TEST_F(PlayListFileTest, UnreadableFileReportsTheSystemReason) {
  CRvPlayList list;
  std::string errors;
  EXPECT_FALSE(list.LoadFromFile(m_dir.File("missing.rvpl"), &errors));
  EXPECT_EQ(errors, std::string(std::strerror(ENOENT)) + "\n");
}

TEST_F(PlayListFileTest, FailedSaveKeepsWhatIsThereAndLeavesNoTemporaryFile) {
  CRvPlayList list;
  ASSERT_TRUE(list.AddSequenceByFile(Folder() + "shot_#.tif"));
  std::string errors;
  // A folder in the way of the target: the temporary file is written, the rename fails.
  const std::string blocked = m_dir.File("blocked.rvpl");
  std::filesystem::create_directory(blocked);
  rvtest::WriteFile(blocked + "/inside", "kept");
  EXPECT_FALSE(list.SaveToFile(blocked, &errors));
  EXPECT_EQ(errors, std::string(std::strerror(EISDIR)) + "\n");
  EXPECT_EQ(rvtest::ReadFile(blocked + "/inside"), "kept");
  EXPECT_FALSE(list.SaveToFile(m_dir.File("nope/x.rvpl"), &errors));
  EXPECT_EQ(errors, std::string(std::strerror(ENOENT)) + "\n");
  for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path()))
    EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
}

}  // namespace
