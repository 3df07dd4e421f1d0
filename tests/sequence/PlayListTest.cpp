#include "sequence/PlayList.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "TestUtil.h"

namespace {

std::unique_ptr<CRvSequence> MakeSequence(const std::string& key, std::uint32_t first,
                                          std::uint32_t count) {
  auto sequence = std::make_unique<CRvSequence>(key, "/s/");
  for (std::uint32_t n = first; n < first + count; ++n) {
    std::string name = key;
    name.replace(name.find('#'), 1, std::to_string(n));
    auto frame = std::make_unique<CRvFrame>("/s/" + name, 0, 0, 0);
    EXPECT_TRUE(sequence->AddFrame(frame));
  }
  return sequence;
}

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
  for (std::uint32_t i = 0; i < 6; ++i) {
    EXPECT_EQ(m_list.GetFrameNumbers()[i], expected[i]);
    EXPECT_EQ(m_list.GetLoadedFlags()[i].load(), 0);
  }
  EXPECT_EQ(m_list.GetCurrentIndex(), 0u);
  EXPECT_EQ(m_list.GetCurrentFrameNumber(), 1u);
  EXPECT_TRUE(m_list.IsAtFirstFrame());
  EXPECT_FALSE(m_list.IsAtLastFrame());
}

TEST_F(PositionTest, NextCrossesSequencesAndStopsAtTheEnd) {
  ASSERT_TRUE(m_list.GoToIndex(2));
  ASSERT_TRUE(m_list.Next(false));
  EXPECT_EQ(m_list.GetCurrentIndex(), 3u);
  EXPECT_EQ(m_list.GetCurrentFrameNumber(), 11u);
  ASSERT_TRUE(m_list.GoToIndex(5));
  EXPECT_TRUE(m_list.IsAtLastFrame());
  EXPECT_FALSE(m_list.Next(false));
  EXPECT_FALSE(m_list.Next(true));
  EXPECT_EQ(m_list.GetCurrentIndex(), 5u);
}

TEST_F(PositionTest, PreviousCrossesSequencesAndStopsAtTheStart) {
  ASSERT_TRUE(m_list.GoToIndex(3));
  ASSERT_TRUE(m_list.Previous(false));
  EXPECT_EQ(m_list.GetCurrentIndex(), 2u);
  EXPECT_EQ(m_list.GetCurrentFrameNumber(), 3u);
  ASSERT_TRUE(m_list.GoToFirst());
  EXPECT_FALSE(m_list.Previous(true));
  EXPECT_EQ(m_list.GetCurrentIndex(), 0u);
}

TEST_F(PositionTest, OutPointStopsNextUnlessIgnored) {
  ASSERT_TRUE(m_list.SetOutPoint(3, false));
  EXPECT_EQ(m_list.GetOutIndex(), 3u);
  EXPECT_TRUE(m_list.IsAtOutPoint());
  EXPECT_FALSE(m_list.Next(false));
  EXPECT_EQ(m_list.GetCurrentIndex(), 3u);
  EXPECT_TRUE(m_list.Next(true));
  EXPECT_EQ(m_list.GetCurrentIndex(), 4u);
  EXPECT_FALSE(m_list.IsAtOutPoint());
}

TEST_F(PositionTest, InPointStopsPreviousUnlessIgnored) {
  ASSERT_TRUE(m_list.SetInPoint(2, false));
  EXPECT_TRUE(m_list.IsAtInPoint());
  EXPECT_FALSE(m_list.Previous(false));
  EXPECT_TRUE(m_list.Previous(true));
  EXPECT_EQ(m_list.GetCurrentIndex(), 1u);
}

TEST_F(PositionTest, PointsTogglePointsKeep) {
  EXPECT_TRUE(m_list.SetInPoint(2, false));
  EXPECT_EQ(m_list.GetInIndex(), 2u);
  EXPECT_FALSE(m_list.SetInPoint(2, false));  // the second call switches it off
  EXPECT_EQ(m_list.GetInIndex(), 0u);
  EXPECT_FALSE(m_list.IsAtInPoint());

  EXPECT_TRUE(m_list.SetInPoint(2, true));
  EXPECT_TRUE(m_list.SetInPoint(2, true));  // keep leaves it set
  EXPECT_EQ(m_list.GetInIndex(), 2u);
  EXPECT_TRUE(m_list.IsAtInPoint());

  EXPECT_TRUE(m_list.SetOutPoint(4, false));
  EXPECT_FALSE(m_list.SetOutPoint(4, false));
  EXPECT_EQ(m_list.GetOutIndex(), kRvNone);
}

TEST_F(PositionTest, PointAtTheCurrentPosition) {
  ASSERT_TRUE(m_list.GoToIndex(4));
  EXPECT_TRUE(m_list.SetOutPoint(kRvNone, false));
  EXPECT_EQ(m_list.GetOutIndex(), 4u);
  EXPECT_EQ(m_list.GetOutPointIndex(), 4u);
}

TEST_F(PositionTest, RecordAndClearInOut) {
  EXPECT_EQ(m_list.GetOutPointIndex(), 5u);  // frame count - 1 without an out point
  EXPECT_EQ(m_list.GetInPointIndex(), 0u);
  EXPECT_TRUE(m_list.IsAvailable());
  EXPECT_FALSE(m_list.IsBusy());
  ASSERT_TRUE(m_list.SetInPoint(1, false));
  ASSERT_TRUE(m_list.SetOutPoint(4, false));
  EXPECT_EQ(m_list.GetInPointIndex(), 1u);
  EXPECT_EQ(m_list.GetOutPointIndex(), 4u);
  ASSERT_TRUE(m_list.ClearInOut());
  EXPECT_EQ(m_list.GetInIndex(), 0u);
  EXPECT_EQ(m_list.GetOutIndex(), kRvNone);
  EXPECT_EQ(m_list.GetOutPointIndex(), 5u);
}

TEST_F(PositionTest, GoToPointsFallBackToEnds) {
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
  ASSERT_TRUE(m_list.GoToLast());
  EXPECT_EQ(m_list.GetCurrentFrameNumber(), 13u);
}

TEST_F(PositionTest, SetPositionByIndex) {
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
  EXPECT_EQ(list.GetFrameCount(), 0u);
  EXPECT_FALSE(list.GoToFirst());
  EXPECT_FALSE(list.Next(false));
  EXPECT_FALSE(list.Previous(false));
  EXPECT_FALSE(list.SetInPoint(kRvNone, false));
  EXPECT_FALSE(list.IsAtFirstFrame());
  EXPECT_FALSE(list.IsAtLastFrame());
  EXPECT_EQ(list.GetCurrentFrame(), nullptr);
}

TEST(PlayList, NumberFramesDropsSequencesLeftEmpty) {
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
  EXPECT_EQ(list.GetSequences().size(), 2u);
  EXPECT_EQ(list.GetTitle(), " - a_#.tif - c_#.tif");
}

TEST(PlayList, TitleIsTheNameWhenSet) {
  CRvPlayList list;
  list.AddSequence(MakeSequence("shot_#.tif", 1, 1));
  list.AddSequence(MakeSequence("take_#.png", 1, 1));
  EXPECT_EQ(list.GetTitle(), " - shot_#.tif - take_#.png");
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
  EXPECT_EQ(list.GetTitle(), " - b_#.tif - a_#.tif - c_#.tif");
  list.MoveSequenceUp(b);  // already first
  EXPECT_EQ(list.GetTitle(), " - b_#.tif - a_#.tif - c_#.tif");
  CRvSequence* c = list.GetSequences().back().get();
  list.MoveSequenceDown(c);  // already last
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

TEST(PlayList, ReversedRangePlaysBackwards) {
  CRvPlayList list;
  auto sequence = MakeSequence("shot_#.tif", 1, 10);
  sequence->SetRangeStart(5);
  sequence->SetRangeEnd(8);
  sequence->SetReverse(true);
  list.AddSequence(std::move(sequence));
  list.NumberFrames();
  std::vector<std::uint32_t> played{list.GetCurrentFrameNumber()};
  while (list.Next(false)) played.push_back(list.GetCurrentFrameNumber());
  EXPECT_EQ(played, (std::vector<std::uint32_t>{8, 7, 6, 5}));
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

TEST_F(PlayListFileTest, LineWithRangeAndReverse) {
  const std::string file = m_dir.File("a.rvpl");
  rvtest::WriteFile(file, Folder() + "shot_#.tif\t5\t8\tRV\r\n");
  CRvPlayList list;
  std::string errors;
  ASSERT_TRUE(list.LoadFromFile(file, &errors)) << errors;
  EXPECT_EQ(Played(&list), (std::vector<std::uint32_t>{8, 7, 6, 5}));
}

TEST_F(PlayListFileTest, RangeIsClampedAndLineEndsMayBeBare) {
  const std::string file = m_dir.File("a.rvpl");
  rvtest::WriteFile(file, Folder() + "shot_#.tif\t0\t3\n" + Folder() + "take_@.png\t9\t99\trv\n" +
                              Folder() + "shot_0002.tif\tx\t-4\n");
  CRvPlayList list;
  std::string errors;
  ASSERT_TRUE(list.LoadFromFile(file, &errors)) << errors;
  ASSERT_EQ(list.GetSequences().size(), 3u);
  const auto& first = *list.GetSequences().front();
  EXPECT_EQ(first.GetRangeStart(), 1u);  // 0 is raised to the first frame
  EXPECT_EQ(first.GetRangeEnd(), 3u);
  const auto& second = **std::next(list.GetSequences().begin());
  EXPECT_EQ(second.GetRangeEnd(), 10u);
  EXPECT_TRUE(second.IsReverse());
  const auto& third = *list.GetSequences().back();
  // Unparsable and negative bounds leave the range as found.
  EXPECT_EQ(third.GetRangeStart(), 1u);
  EXPECT_EQ(third.GetRangeEnd(), 10u);
  EXPECT_EQ(Played(&list),
            (std::vector<std::uint32_t>{1, 2, 3, 10, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST_F(PlayListFileTest, SaveThenLoadReproducesTheList) {
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

  CRvPlayList loaded;
  ASSERT_TRUE(loaded.LoadFromFile(file, &errors)) << errors;
  ASSERT_EQ(loaded.GetSequences().size(), 2u);
  const auto& a = *loaded.GetSequences().front();
  const auto& b = *loaded.GetSequences().back();
  EXPECT_EQ(a.GetPathPattern(), Folder() + "shot_#.tif");
  EXPECT_EQ(a.GetRangeStart(), 2u);
  EXPECT_EQ(a.GetRangeEnd(), 6u);
  EXPECT_FALSE(a.IsReverse());
  EXPECT_EQ(b.GetPathPattern(), Folder() + "take_#.png");
  EXPECT_TRUE(b.IsReverse());
  EXPECT_EQ(Played(&loaded),
            (std::vector<std::uint32_t>{2, 3, 4, 5, 6, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
}

TEST_F(PlayListFileTest, MissingSequencesAreListedButDoNotFailTheLoad) {
  const std::string file = m_dir.File("a.rvpl");
  rvtest::WriteFile(file, Folder() + "gone_#.tif\t1\t2\r\n" + Folder() + "shot_#.tif\r\n");
  CRvPlayList list;
  std::string errors;
  ASSERT_TRUE(list.LoadFromFile(file, &errors));
  EXPECT_EQ(errors, "Not found: " + Folder() + "gone_#.tif\n");
  EXPECT_EQ(list.GetSequences().size(), 1u);
}

TEST_F(PlayListFileTest, NothingFoundFailsWithExactText) {
  const std::string empty = m_dir.File("empty");
  std::filesystem::create_directory(empty);
  const std::string file = m_dir.File("a.rvpl");
  rvtest::WriteFile(file, empty + "/shot_#.tif\t1\t5\r\n");
  CRvPlayList list;
  std::string errors;
  EXPECT_FALSE(list.LoadFromFile(file, &errors));
  EXPECT_EQ(errors, "Not found: " + empty + "/shot_#.tif\n\nPlaylist is empty\n");
}

TEST_F(PlayListFileTest, EmptyFileFails) {
  const std::string file = m_dir.File("a.rvpl");
  rvtest::WriteFile(file, "\r\n\t\t\r\n");
  CRvPlayList list;
  std::string errors;
  EXPECT_FALSE(list.LoadFromFile(file, &errors));
  EXPECT_EQ(errors, "\nPlaylist is empty\n");
}

TEST_F(PlayListFileTest, UnreadableFileReportsTheSystemReason) {
  CRvPlayList list;
  std::string errors;
  EXPECT_FALSE(list.LoadFromFile(m_dir.File("missing.rvpl"), &errors));
  EXPECT_EQ(errors, std::string(std::strerror(ENOENT)) + "\n");
}

TEST_F(PlayListFileTest, FailedSaveKeepsThePreviousFile) {
  const std::string file = m_dir.File("keep.rvpl");
  rvtest::WriteFile(file, "previous\r\n");
  CRvPlayList list;
  ASSERT_TRUE(list.AddSequenceByFile(Folder() + "shot_#.tif"));
  std::string errors;
  // A folder in the way of the target: the write of the temporary file works, the rename fails.
  const std::string blocked = m_dir.File("blocked.rvpl");
  std::filesystem::create_directory(blocked);
  rvtest::WriteFile(blocked + "/inside", "x");
  EXPECT_FALSE(list.SaveToFile(blocked, &errors));
  EXPECT_FALSE(errors.empty());
  EXPECT_EQ(errors.back(), '\n');
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  // A folder that does not exist: nothing is written anywhere.
  EXPECT_FALSE(list.SaveToFile(m_dir.File("nope/x.rvpl"), &errors));
  EXPECT_EQ(errors, std::string(std::strerror(ENOENT)) + "\n");
  EXPECT_EQ(rvtest::ReadFile(file), "previous\r\n");
  // No temporary files are left behind.
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path()))
    if (entry.path().string().find(".tmp") != std::string::npos) ++count;
  EXPECT_EQ(count, 0);
}

}  // namespace
