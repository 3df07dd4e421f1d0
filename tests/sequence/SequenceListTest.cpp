#include "sequence/SequenceList.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "SequenceTestSupport.h"
#include "TestUtil.h"

namespace {

class SequenceListTest : public testing::Test {
 protected:
  void Touch(const std::string& name, const std::string& bytes = "x") {
    rvtest::WriteFile(m_dir.File(name), bytes);
  }
  std::string Folder() const { return m_dir.Path().string() + "/"; }

  rvtest::TempDir m_dir;
};

TEST_F(SequenceListTest, PaddedNumbersFormOneSequence) {
  Touch("shot_0010.tif", "0123456789");
  Touch("shot_0002.tif");
  Touch("shot_0001.tif");
  CRvSequenceList list(Folder(), "*.*");
  ASSERT_TRUE(list.IsListed());
  ASSERT_EQ(list.GetSequences().size(), 1u);
  const CRvSequence& sequence = *list.GetSequences()[0];
  EXPECT_EQ(sequence.GetKey(), "shot_#.tif");
  EXPECT_EQ(sequence.GetDirectory(), Folder());
  EXPECT_EQ(Numbers(sequence), (std::vector<std::uint32_t>{1, 2, 10}));
  EXPECT_EQ(sequence.GetFrames().back()->GetSize(), 10u);
  EXPECT_EQ(sequence.GetFrames().back()->GetPath(), Folder() + "shot_0010.tif");
}

TEST_F(SequenceListTest, SameNumberStartsANewSequenceAndLaterFilesGoToTheNewest) {
  Touch("a_01.tif");
  Touch("a_1.tif");
  Touch("a_2.tif");
  CRvSequenceList list(Folder(), "*.*");
  ASSERT_EQ(list.GetSequences().size(), 2u);
  // Listed in name order: a_01, a_1, a_2. a_1 is refused by the first sequence and starts a new
  // one, which stands at the front, as every new sequence does; a_2 joins it.
  EXPECT_EQ(Numbers(*list.GetSequences()[0]), (std::vector<std::uint32_t>{1, 2}));
  EXPECT_EQ(list.GetSequences()[0]->GetFrames().front()->GetPath(), Folder() + "a_1.tif");
  EXPECT_EQ(Numbers(*list.GetSequences()[1]), (std::vector<std::uint32_t>{1}));
}

TEST_F(SequenceListTest, KeysCompareWithoutCase) {
  Touch("Shot_0001.TIF");
  Touch("shot_0002.tif");
  CRvSequenceList list(Folder(), "*.*");
  ASSERT_EQ(list.GetSequences().size(), 1u);
  EXPECT_EQ(list.GetSequences()[0]->GetFrameCount(), 2u);
  EXPECT_EQ(list.GetSequences()[0]->GetKey(), "Shot_#.TIF");
}

TEST_F(SequenceListTest, FoldersAndDesktopLinksAreSkipped) {
  Touch("x.lnk");
  Touch("y.URL");
  Touch("shot_0001.tif");
  std::filesystem::create_directory(m_dir.Path() / "shot_0002.tif");
  std::filesystem::create_directory(m_dir.Path() / "sub");
  ASSERT_EQ(symlink(m_dir.Path().c_str(), m_dir.File("shot_0003.tif").c_str()), 0);
  ASSERT_EQ(symlink(m_dir.File("shot_0001.tif").c_str(), m_dir.File("shot_0004.tif").c_str()), 0);
  CRvSequenceList list(Folder(), "*.*");
  ASSERT_EQ(list.GetSequences().size(), 1u);
  // A link to a file is a file; a link to a folder is not.
  EXPECT_EQ(Numbers(*list.GetSequences()[0]), (std::vector<std::uint32_t>{1, 4}));
}

TEST_F(SequenceListTest, MaskLimitsTheListing) {
  Touch("shot_0001.tif");
  Touch("shot_0001.png");
  CRvSequenceList list(Folder(), "*.PNG");
  ASSERT_EQ(list.GetSequences().size(), 1u);
  EXPECT_EQ(list.GetSequences()[0]->GetKey(), "shot_#.png");
}

TEST_F(SequenceListTest, UnreadableFolderGivesEmptyListWithReason) {
  CRvSequenceList list(Folder() + "missing", "*.*");
  EXPECT_FALSE(list.IsListed());
  EXPECT_TRUE(list.GetSequences().empty());
  EXPECT_FALSE(list.GetErrorText().empty());
}

TEST_F(SequenceListTest, ListingIsInCaseInsensitiveNameOrderShorterFirst) {
  for (const char* name : {"b.tif", "C.tif", "a.tif", "b"}) Touch(name);
  std::vector<RvDirEntry> entries;
  ASSERT_TRUE(RvListFolder(Folder(), "*.*", &entries));
  std::vector<std::string> names;
  for (const RvDirEntry& entry : entries) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{"a.tif", "b", "b.tif", "C.tif"}));
}

TEST_F(SequenceListTest, BrowserShowsNumberedSequencesFirstThenSingleFiles) {
  for (const char* name : {"a.tif", "b_0001.tif", "b_0002.tif", "c.tif", "d_0001.tif"}) Touch(name);
  CRvSequenceList list(Folder(), "*.*");
  std::vector<std::string> keys;
  for (const CRvSequence* sequence : RvBrowserOrder(list)) keys.push_back(sequence->GetKey());
  EXPECT_EQ(keys, (std::vector<std::string>{"b_#.tif", "a.tif", "c.tif", "d_#.tif"}));
}

// --- lookup ---------------------------------------------------------------------------------

class LookupTest : public SequenceListTest {
 protected:
  void SetUp() override {
    for (const char* name : {"shot_0005.tif", "shot_0006.tif", "shot_0007.tif", "shot_0005.png",
                             "other_0001.tif", "logo.tif"})
      Touch(name);
  }
  void ExpectShot(const std::string& typed) {
    std::unique_ptr<CRvSequence> found = RvLookupSequence(Folder() + typed);
    ASSERT_NE(found, nullptr) << typed;
    EXPECT_EQ(found->GetKey(), "shot_#.tif") << typed;
    EXPECT_EQ(Numbers(*found), (std::vector<std::uint32_t>{5, 6, 7})) << typed;
    EXPECT_EQ(found->GetDirectory(), Folder());
  }
};

TEST_F(LookupTest, FindsBySomeFrameKeyAndPlaceholders) {
  ExpectShot("shot_0007.tif");
  ExpectShot("shot_#.tif");
  ExpectShot("shot_@.tif");
  ExpectShot("shot_%d.tif");
  ExpectShot("SHOT_#.TIF");
}

TEST_F(LookupTest, SingleFileAndNamesFindingNothing) {
  std::unique_ptr<CRvSequence> logo = RvLookupSequence(Folder() + "logo.tif");
  ASSERT_NE(logo, nullptr);
  EXPECT_EQ(logo->GetFrameCount(), 1u);
  EXPECT_EQ(RvLookupSequence(Folder() + "nothing_#.tif"), nullptr);
  EXPECT_EQ(RvLookupSequence(Folder() + "shot_@@@@.tif"), nullptr);  // one placeholder only
  EXPECT_EQ(RvLookupSequence(Folder() + "missing/shot_#.tif"), nullptr);
  // A trailing "%" ends the pattern.
  EXPECT_EQ(RvLookupSequence(Folder() + "shot_%"), nullptr);
}

TEST_F(LookupTest, NumberInTheExtension) {
  Touch("clip.tif.0012");
  Touch("clip.tif.0013");
  std::unique_ptr<CRvSequence> found = RvLookupSequence(Folder() + "clip.tif.#");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(Numbers(*found), (std::vector<std::uint32_t>{12, 13}));
}

}  // namespace
