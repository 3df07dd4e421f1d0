// The Cineon Properties page: applying (engine first, the cache only when something changed),
// loading profiles by extension and saving them.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "SettingsTestSupport.h"
#include "TestUtil.h"
#include "imaging/CineonProfile.h"
#include "sequence/PlayList.h"
#include "settings/CineonPage.h"
#include "settings/SettingsIds.h"

using settingstest::Control;
using settingstest::Harness;

namespace {

class CineonPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.decoder.SetCineonValues(kCineonStoredDefaults);
    sheet = h.Open(kRvPageCineon);
    page = static_cast<CRvSetCineon*>(sheet->Page(kRvPageCineon));
  }
  QLineEdit* Edit(int id) { return Control<QLineEdit>(page, id); }
  // A play list of one frame, decoded into the cache.
  void CacheOneFrame() {
    rvtest::WriteFile(dir.File("shot_0001.tif"), "4 4");
    ASSERT_TRUE(list.AddSequenceByFile(dir.File("shot_0001.tif")));
    list.NumberFrames();
    list.SetFrameDecoder(&h.decoder);
    CRvFrame* frame = nullptr;
    bool fromDisk = false, changed = false;
    ASSERT_TRUE(list.FetchCurrentFrame(nullptr, nullptr, &frame, &fromDisk, &changed, false));
    ASSERT_EQ(list.GetCachedCount(), 1u);
    h.engine->SetPlayList(&list);
  }
  void TearDown() override { h.engine->SetPlayList(nullptr); }

  Harness h;
  rvtest::TempDir dir;
  CRvPlayList list;
  std::unique_ptr<CRvSettingsSheet> sheet;
  CRvSetCineon* page = nullptr;
};

}  // namespace

struct ApplyCase {
  int id;
  const char* text;  // null: nothing changed
  std::uint32_t cachedAfter;
};
class CineonApplyTest : public CineonPageTest, public ::testing::WithParamInterface<ApplyCase> {};

TEST_P(CineonApplyTest, EmptiesTheCacheOnlyWhenAValueChanged) {
  CacheOneFrame();
  if (GetParam().text) Edit(GetParam().id)->setText(GetParam().text);
  sheet->accept();
  EXPECT_EQ(list.GetCachedCount(), GetParam().cachedAfter);
  EXPECT_EQ(ReadCineonValues(Harness::Ini()), h.decoder.GetCineonValues());
}

INSTANTIATE_TEST_SUITE_P(Fields, CineonApplyTest,
                         ::testing::Values(ApplyCase{0, nullptr, 1},
                                           ApplyCase{kRvIdCineonReferenceBlack, "96", 0},
                                           ApplyCase{kRvIdCineonReferenceWhite, "700", 0},
                                           ApplyCase{kRvIdCineonDisplayGamma, "1", 0}));

TEST_F(CineonPageTest, LoadsAFlameProfileWhoseExtensionIsInCapitals) {
  const std::string path = dir.File("FILM.LUT");
  rvtest::WriteFile(path, "rgb reference: white: 700\nRGB Film Gamma 0.6\n");
  h.fileAnswer = path;
  page->LoadProfile();
  EXPECT_TRUE(h.messages.empty());
  EXPECT_EQ(Edit(kRvIdCineonReferenceWhite)->text(), "700");
  EXPECT_EQ(Edit(kRvIdCineonGamma)->text(), "0.6");
  EXPECT_EQ(Edit(kRvIdCineonReferenceBlack)->text(), "95");
  EXPECT_EQ(strReadFromIniFile(Harness::Ini(), "Cineon", "Directory", ""), dir.Path().string());
  EXPECT_EQ(h.decoder.GetCineonValues(), kCineonStoredDefaults);  // only Apply hands them over
}

struct BadProfileCase {
  const char* name;
  const char* content;
  const char* message;
};
class CineonBadProfileTest : public CineonPageTest,
                             public ::testing::WithParamInterface<BadProfileCase> {};

TEST_P(CineonBadProfileTest, KeepsThePagesValues) {
  Edit(kRvIdCineonSoftClip)->setText("3");  // typed, not yet taken in
  const std::string path = dir.File(GetParam().name);
  rvtest::WriteFile(path, GetParam().content);
  h.fileAnswer = path;
  page->LoadProfile();
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0], GetParam().message);
  EXPECT_EQ(Edit(kRvIdCineonSoftClip)->text(), "3");
  EXPECT_EQ(Edit(kRvIdCineonReferenceWhite)->text(), "685");
}

INSTANTIATE_TEST_SUITE_P(Files, CineonBadProfileTest,
                         ::testing::Values(BadProfileCase{"bad.lut", "RGB Reference White 7o0\n",
                                                          "Unexpected File Format"},
                                           BadProfileCase{"profile.txt", "[Cineon]\nSoftClip=9\n",
                                                          "Unknown file format"}));

TEST_F(CineonPageTest, SavesTheShownValuesAndRemembersTheFolder) {
  bWriteToIniFile(Harness::Ini(), "Cineon", "Directory", dir.Path().string());
  Edit(kRvIdCineonSoftClip)->setText("12");
  const std::string path = dir.File("mine.rvcp");
  h.fileAnswer = path;
  page->SaveProfile();
  EXPECT_EQ(h.lastFolder.toStdString(), dir.Path().string());
  CineonValues expected = kCineonStoredDefaults;
  expected.softClip = 12;
  EXPECT_EQ(ReadCineonValues(path), expected);
}
