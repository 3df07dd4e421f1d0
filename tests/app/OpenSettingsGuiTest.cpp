// The main window opening the settings sheet: S on the stored page, Alt+G on "Playback
// settings", the Settings button; the engine held while it is open; the page and the ghost
// values stored after it closes.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

#include "../settings/SettingsTestSupport.h"
#include "AppTestSupport.h"
#include "app/AppSettings.h"
#include "app/RvBitmapButton.h"
#include "app/RvMainDlg.h"
#include "engine/DrawThread.h"
#include "settings/SettingsIds.h"
#include "settings/SettingsSheet.h"
#include "support/NesCommon55.h"

namespace {

using apptest::App;
using apptest::Press;

enum class Trigger { kKeyS, kAltG, kButton };

struct OpenCase {
  Trigger trigger;
  int storedPage;
  int opensOn;
  int closesOn;
  int storedAfter;
};

using settingstest::Control;

class OpenSettingsTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenSettingsTest, OpensOnTheRightPageAndStoresWhatChanged) {
  App();
  const std::string ini = RvSettingsIniPath();
  std::remove(ini.c_str());
  bWriteToIniFile(ini, "Main", "SettingsPage", GetParam().storedPage);
  CRvMainDlg dlg("rv");
  dlg.InitDialog();
  dlg.CancelLoadPanel();  // started without a file: the load-sequence panel is up
  dlg.show();
  apptest::ProcessUntil([&] { return dlg.isVisible(); });

  int openedOn = -1;
  bool held = false;
  QTimer::singleShot(0, [&] {
    auto* sheet = qobject_cast<CRvSettingsSheet*>(QApplication::activeModalWidget());
    ASSERT_NE(sheet, nullptr);
    openedOn = sheet->GetActivePage();
    held = dlg.Engine()->IsHeld();
    QWidget* ghost = sheet->Page(kRvPageGhosting);
    Control<QRadioButton>(ghost, kRvIdGhostEqual)->click();
    Control<QSpinBox>(ghost, kRvIdGhostFrames)->setValue(5);
    Control<QSpinBox>(ghost, kRvIdGhostAlpha)->setValue(90);
    sheet->SetActivePage(GetParam().closesOn);
    sheet->accept();
  });
  const Trigger trigger = GetParam().trigger;
  if (trigger == Trigger::kButton) dlg.TransportButton(kRvSettings)->click();
  if (trigger == Trigger::kKeyS) Press(&dlg, Qt::Key_S);
  if (trigger == Trigger::kAltG) Press(&dlg, Qt::Key_G, Qt::AltModifier);
  EXPECT_EQ(openedOn, GetParam().opensOn);
  EXPECT_TRUE(held);
  EXPECT_FALSE(dlg.Engine()->IsHeld());
  EXPECT_EQ(iReadFromIniFile(ini, "Main", "SettingsPage", -1), GetParam().storedAfter);
  EXPECT_EQ(iReadFromIniFile(ini, "Ghost", "Mode", -1), 2);
  EXPECT_EQ(iReadFromIniFile(ini, "Ghost", "Frames", -1), 5);
  EXPECT_EQ(iReadFromIniFile(ini, "Ghost", "Alpha", -1), 90);
  dlg.close();
}

INSTANTIATE_TEST_SUITE_P(
    Triggers, OpenSettingsTest,
    ::testing::Values(OpenCase{Trigger::kKeyS, 3, 3, 4, 4},    // page changed: stored
                      OpenCase{Trigger::kKeyS, 2, 2, 2, 2},    // unchanged
                      OpenCase{Trigger::kAltG, 3, 1, 1, 3},    // Alt+G: Playback settings
                      OpenCase{Trigger::kButton, 9, 5, 5, 5},  // clamped, then stored
                      OpenCase{Trigger::kButton, 0, 0, 0, 0}));

}  // namespace
