// The Playback settings, DirectDraw and Frame Ghosting pages.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include "SettingsTestSupport.h"
#include "sequence/PlayList.h"
#include "settings/DirectDrawPage.h"
#include "settings/PlaybackPage.h"
#include "settings/SettingsIds.h"

using settingstest::Control;
using settingstest::Harness;

namespace {
constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;
}

// --- Playback settings -----------------------------------------------------------------------

struct MemoryCase {
  int percent;
  std::uint64_t bytes;
  const char* text;
};
class MemoryTextTest : public ::testing::TestWithParam<MemoryCase> {};

TEST_P(MemoryTextTest, SaysWhatThePercentageMeans) {
  EXPECT_EQ(RvMemoryShareText(GetParam().percent, GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Shares, MemoryTextTest,
                         ::testing::Values(MemoryCase{80, 24 * kGiB, "80% = 19.2 GB"},
                                           MemoryCase{50, kGiB, "50% = 512 MB"},
                                           MemoryCase{80, 0, "80%"}));

TEST(PlaybackPageTest, TheSliderIsWrittenAsItMovesAndReachesThePlayList) {
  Harness h;
  CRvPlayList list;
  h.engine->SetPlayList(&list);
  auto sheet = h.Open(kRvPagePlayback);
  QWidget* page = sheet->Page(kRvPagePlayback);
  Control<QSlider>(page, kRvIdMemorySlider)->setValue(35);
  EXPECT_EQ(iReadFromIniFile(Harness::Ini(), "Playback", "RAMPercent", -1), 35);
  EXPECT_EQ(list.GetRAMPercent(), 35);
  EXPECT_TRUE(Control<QLabel>(page, kRvIdMemoryPercent)->text().startsWith("35%"));
  h.engine->SetPlayList(nullptr);
}

TEST(PlaybackPageTest, AChosenColourReachesTheEngineAtOnceAndACancelChangesNothing) {
  Harness h;
  bWriteToIniFile(Harness::Ini(), "Playback", "BackColor", 0x00112233);
  auto sheet = h.Open(kRvPagePlayback);
  EXPECT_EQ(h.engine->GetBackColor(), 0x00112233u);  // the stored colour, as the page opens
  auto* page = static_cast<CRvSetPlayback*>(sheet->Page(kRvPagePlayback));
  page->ChooseColor();  // Cancel
  EXPECT_EQ(h.engine->GetBackColor(), 0x00112233u);
  h.colorAnswer = QColor(10, 20, 30);
  page->ChooseColor();
  EXPECT_EQ(h.engine->GetBackColor(), 0x001E140Au);
  EXPECT_EQ(iReadFromIniFile(Harness::Ini(), "Playback", "BackColor", -1), 0x001E140A);
}

// --- DirectDraw ------------------------------------------------------------------------------

class DirectDrawPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.modes = {{640, 480, 8}, {800, 600, 16}, {800, 600, 32}, {1280, 1024, 32}};
    bWriteToIniFile(Harness::Ini(), "DirectDraw", "UseDirectDraw", true);
  }
  QListWidget* List() {
    return Control<QListWidget>(sheet->Page(kRvPageDirectDraw), kRvIdDisplayModes);
  }
  QStringList Lines() {
    QStringList lines;
    for (int i = 0; i < List()->count(); ++i) lines << List()->item(i)->text();
    return lines;
  }
  Harness h;
  std::unique_ptr<CRvSettingsSheet> sheet;
};

TEST_F(DirectDrawPageTest, ListsTrueColourModesAndSelectsTheStoredOne) {
  sheet = h.Open(kRvPageDirectDraw);
  EXPECT_EQ(Lines(), QStringList({"800 x 600\t32 Bit", "1280 x 1024\t32 Bit"}));
  EXPECT_TRUE(List()->isEnabled());
  ASSERT_EQ(List()->selectedItems().size(), 1);
  EXPECT_EQ(List()->selectedItems()[0]->text(), "800 x 600\t32 Bit");
}

TEST_F(DirectDrawPageTest, AStoredModeTheDisplayLacksSelectsNothing) {
  bWriteToIniFile(Harness::Ini(), "DirectDraw", "HorzRes", 1024);
  bWriteToIniFile(Harness::Ini(), "DirectDraw", "VertRes", 768);
  sheet = h.Open(kRvPageDirectDraw);
  EXPECT_EQ(List()->count(), 2);
  EXPECT_TRUE(List()->selectedItems().isEmpty());
}

TEST_F(DirectDrawPageTest, TheTrueColourBoxRefillsTheListAndIsStored) {
  sheet = h.Open(kRvPageDirectDraw);
  Control<QCheckBox>(sheet->Page(kRvPageDirectDraw), kRvIdTrueColorOnly)->click();
  EXPECT_EQ(Lines().size(), 4);
  EXPECT_FALSE(bReadFromIniFile(Harness::Ini(), "DirectDraw", "TrueColorOnly", true));
  List()->setCurrentRow(1);
  EXPECT_EQ(iReadFromIniFile(Harness::Ini(), "DirectDraw", "HorzRes", 0), 800);
  EXPECT_EQ(iReadFromIniFile(Harness::Ini(), "DirectDraw", "BitsPerPixels", 0), 16);
}

TEST_F(DirectDrawPageTest, AFailureIsShownAndLeavesTheListEmpty) {
  h.modesError = "Call to DirectDrawCreate failed\r\nError Code = 111";
  sheet = h.Open(kRvPageDirectDraw);
  EXPECT_EQ(List()->count(), 0);
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0], h.modesError);
  Control<QCheckBox>(sheet->Page(kRvPageDirectDraw), kRvIdUseDirectDraw)->click();  // off
  EXPECT_FALSE(List()->isEnabled());
  EXPECT_FALSE(bReadFromIniFile(Harness::Ini(), "DirectDraw", "UseDirectDraw", true));
}

// --- Frame Ghosting --------------------------------------------------------------------------

struct GhostCase {
  int radioId;
  int mode;
  bool framesEnabled;
  bool alphaEnabled;
};
class GhostingPageTest : public ::testing::TestWithParam<GhostCase> {};

TEST_P(GhostingPageTest, TheModeEnablesItsValuesAndEveryChangeReachesTheBuffer) {
  Harness h;
  CKaMoBlurBuffer* buffer = h.engine->GetMoBlurBuffer();
  buffer->SetMode(GetParam().mode == 0 ? 1 : 0);
  auto sheet = h.Open(kRvPageGhosting);
  QWidget* page = sheet->Page(kRvPageGhosting);
  Control<QRadioButton>(page, GetParam().radioId)->click();
  EXPECT_EQ(buffer->GetMode(), GetParam().mode);
  EXPECT_EQ(Control<QSpinBox>(page, kRvIdGhostFrames)->isEnabled(), GetParam().framesEnabled);
  EXPECT_EQ(Control<QSpinBox>(page, kRvIdGhostAlpha)->isEnabled(), GetParam().alphaEnabled);
  Control<QSpinBox>(page, kRvIdGhostFrames)->setValue(7);
  Control<QSpinBox>(page, kRvIdGhostAlpha)->setValue(200);
  EXPECT_EQ(buffer->GetFrames(), 7u);
  EXPECT_EQ(buffer->GetAlpha(), 200);
}

INSTANTIATE_TEST_SUITE_P(Modes, GhostingPageTest,
                         ::testing::Values(GhostCase{kRvIdGhostOff, 0, false, false},
                                           GhostCase{kRvIdGhostTrailfade, 1, false, true},
                                           GhostCase{kRvIdGhostEqual, 2, true, true}));
