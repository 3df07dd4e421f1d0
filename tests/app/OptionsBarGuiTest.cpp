// The options bar in the main window started offscreen: the wrap-around strip of panels, the
// play panel's apply rule, the crop and resample lists with their presets, and the in/out
// panel's frame-number mapping.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QWheelEvent>
#include <memory>

#include "AppTestSupport.h"
#include "TestUtil.h"
#include "app/AppSettings.h"
#include "app/RvBitmapButton.h"
#include "app/RvCropPanel.h"
#include "app/RvInOutPanel.h"
#include "app/RvMainDlg.h"
#include "app/RvPanelContainer.h"
#include "app/RvPlayPanel.h"
#include "app/RvResamplePanel.h"
#include "engine/DrawThread.h"
#include "sequence/PlayList.h"
#include "support/NesCommon55.h"

namespace {

using apptest::App;
using apptest::ProcessUntil;

// keepSettings: start from the settings.ini the test wrote, else from none.
std::unique_ptr<CRvMainDlg> Start(const std::string& arguments = "", bool keepSettings = false) {
  App();
  if (!keepSettings) std::remove(RvSettingsIniPath().c_str());
  auto dlg = std::make_unique<CRvMainDlg>("\"reelvane\" " + arguments);
  dlg->InitDialog();
  // Started without a file the load-sequence panel is up; these tests want the window.
  if (dlg->LoadPanelState() == RvLoadPanelState::Open) dlg->CancelLoadPanel();
  dlg->show();
  return dlg;
}

void Type(QComboBox* list, const char* text) { list->setEditText(QString::fromUtf8(text)); }

struct WrapCase {
  int active;
  std::vector<int> x;
};
class PanelWrapTest : public ::testing::TestWithParam<WrapCase> {};

TEST_P(PanelWrapTest, PanelsBeforeTheActiveOneWrapToTheEnd) {
  EXPECT_EQ(RvPanelPositions({100, 200, 150, 120}, GetParam().active), GetParam().x);
}

INSTANTIATE_TEST_SUITE_P(Active, PanelWrapTest,
                         ::testing::Values(WrapCase{0, {0, 100, 300, 450}},
                                           WrapCase{1, {470, 0, 200, 350}},
                                           WrapCase{3, {120, 220, 420, 0}}));

TEST(OptionsBar, FourPanelsScrollRoundAndTheActiveOneIsKept) {
  ASSERT_TRUE(bWriteToIniFile(RvSettingsIniPath(), "WindowPosition", "ActivePanel", 3));
  auto dlg = Start("", true);
  CRvPanelContainer* bar = dlg->Panels();
  ASSERT_EQ(bar->PanelCount(), 4);
  EXPECT_EQ(bar->Panel(0), dlg->ResamplePanel());
  EXPECT_EQ(bar->Panel(3), dlg->InOutPanel());
  EXPECT_EQ(dlg->ContainerHeight(), 24);
  EXPECT_EQ(bar->Active(), 3);
  EXPECT_EQ(dlg->InOutPanel()->x(), 0);
  dlg->ShowNextPanel();  // the "left" scroll button: past the last comes the first
  EXPECT_EQ(bar->Active(), 0);
  dlg->ShowPreviousPanel();
  EXPECT_EQ(bar->Active(), 3);
  // Alt+wheel away from the user shows the next panel.
  QWheelEvent wheel(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::AltModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(dlg.get(), &wheel);
  EXPECT_EQ(bar->Active(), 0);
  dlg->close();
  EXPECT_EQ(iReadFromIniFile(RvSettingsIniPath(), "WindowPosition", "ActivePanel", -1), 0);
}

class PlayApplyTest : public ::testing::TestWithParam<int> {};

TEST_P(PlayApplyTest, FieldsBeforeTheBadOneApplyAndItGetsTheFocus) {
  auto dlg = Start();
  CRvPlayPanel* panel = dlg->PlayPanel();
  const int bad = GetParam();
  const char* texts[] = {"30", "3", "5"};
  for (int i = 0; i < CRvPlayPanel::kFieldCount; ++i)
    panel->FieldEdit(CRvPlayPanel::Field(i))->setText(i == bad ? "2x" : texts[i]);
  EXPECT_FALSE(panel->Apply());
  EXPECT_EQ(dlg->GetFps(), bad > 0 ? 30u : 24u);
  EXPECT_EQ(dlg->GetFrameStep(), bad > 1 ? 3u : 1u);
  EXPECT_EQ(dlg->GetLoopPause(), 0u);
  EXPECT_EQ(dlg->focusWidget(), panel->FieldEdit(CRvPlayPanel::Field(bad)));
  EXPECT_EQ(iReadFromIniFile(RvSettingsIniPath(), "Playback", "FrameStep", -1), bad > 1 ? 3 : -1);
  dlg->close();
}

INSTANTIATE_TEST_SUITE_P(BadField, PlayApplyTest, ::testing::Values(0, 1, 2));

TEST(OptionsBar, PlayModesAndRefreshFollowTheEngine) {
  auto dlg = Start();
  CRvPlayPanel* panel = dlg->PlayPanel();
  EXPECT_TRUE(panel->ModeButton(CRvPlayPanel::kLoop)->IsChecked());
  panel->ModeButton(CRvPlayPanel::kPingPong)->click();
  EXPECT_TRUE(dlg->IsPlayModePingPong());
  EXPECT_FALSE(panel->ModeButton(CRvPlayPanel::kLoop)->IsChecked());
  EXPECT_EQ(iReadFromIniFile(RvSettingsIniPath(), "Playback", "PlayMode", -1), 2);
  apptest::Press(dlg.get(), Qt::Key_PageUp);
  EXPECT_EQ(panel->FieldEdit(CRvPlayPanel::kFps)->text(), "25");
  // Typing into a field is the field's: "r" does not switch to the red channel.
  panel->FieldEdit(CRvPlayPanel::kStep)->setFocus();
  apptest::Press(panel->FieldEdit(CRvPlayPanel::kStep), Qt::Key_R);
  dlg->CropPanel()->List()->setFocus();
  apptest::Press(dlg->CropPanel()->List()->lineEdit(), Qt::Key_R);
  EXPECT_EQ(dlg->Engine()->GetViewMode(), KaViewMode::Normal);
  dlg->close();
}

struct BadSpecCase {
  bool crop;
  const char* text;
  int from;
};
class BadSpecTest : public ::testing::TestWithParam<BadSpecCase> {};

TEST_P(BadSpecTest, SelectsFromTheFailingToken) {
  auto dlg = Start();
  CRvSpecifierPanel* panel =
      GetParam().crop ? static_cast<CRvSpecifierPanel*>(dlg->CropPanel()) : dlg->ResamplePanel();
  Type(panel->List(), GetParam().text);
  panel->Apply();
  QLineEdit* edit = panel->List()->lineEdit();
  EXPECT_EQ(edit->selectionStart(), GetParam().from);
  EXPECT_EQ(edit->selectedText(), QString(GetParam().text).mid(GetParam().from));
  EXPECT_EQ(dlg->focusWidget(), panel->List());  // which hands it on to its edit
  EXPECT_FALSE(panel->ToggleButton()->IsChecked());
  dlg->close();
}

INSTANTIATE_TEST_SUITE_P(Texts, BadSpecTest,
                         ::testing::Values(BadSpecCase{true, "10 x5 20", 3},
                                           BadSpecCase{true, "t5 10", 3},
                                           BadSpecCase{false, "w100 w200", 5}));

TEST(OptionsBar, PresetNamesIgnoreCaseAndTheToggleShowsTheCrop) {
  App();
  rvtest::WriteFile(strSettingsPath() + "crop.rvps", "Academy\t 10 20 300 200\n");
  auto dlg = Start();
  CRvCropPanel* panel = dlg->CropPanel();
  ASSERT_EQ(panel->List()->count(), 1);
  Type(panel->List(), "aCADEMY");
  panel->Apply();
  EXPECT_EQ(panel->List()->currentText(), "10 20 300 200 ");
  EXPECT_EQ(dlg->Engine()->GetCrop(), dlg->Crop());
  EXPECT_TRUE(panel->ToggleButton()->IsChecked());
  panel->Toggle();
  EXPECT_EQ(dlg->Engine()->GetCrop(), nullptr);
  EXPECT_FALSE(panel->ToggleButton()->IsChecked());
  panel->Toggle();
  EXPECT_TRUE(panel->ToggleButton()->IsChecked());
  Type(panel->List(), "");
  panel->Apply();
  EXPECT_EQ(dlg->Engine()->GetCrop(), nullptr);
  EXPECT_FALSE(panel->ToggleButton()->IsChecked());
  dlg->close();
}

TEST(OptionsBar, PresetsSavedThroughTheMenuSurviveARestart) {
  {
    auto dlg = Start();
    CRvResamplePanel* panel = dlg->ResamplePanel();
    Type(panel->List(), "50% h288");
    panel->Apply();
    std::unique_ptr<QMenu> menu(panel->CreatePresetMenu(nullptr));
    QTimer::singleShot(0, [] {
      ProcessUntil([] { return qobject_cast<QInputDialog*>(QApplication::activeModalWidget()); });
      auto* ask = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(ask, nullptr);
      ask->setTextValue("Half Width PAL");
      ask->accept();
    });
    menu->actions().first()->trigger();
    dlg->close();
  }
  auto dlg = Start();
  CRvResamplePanel* panel = dlg->ResamplePanel();
  EXPECT_EQ(panel->List()->findText("Half Width PAL"), panel->List()->count() - 1);
  const int index = panel->Presets().FindName("half width pal");
  ASSERT_GE(index, 0);
  EXPECT_EQ(panel->Presets().Items()[std::size_t(index)].command, "50% 288 ");
  EXPECT_TRUE(panel->DeletePreset(index));
  EXPECT_EQ(panel->List()->findText("Half Width PAL"), -1);
  dlg->close();
}

// Five frames numbered 10, 20, ... 50, written by an independent tool.
class NumberedFramesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    if (!rvtest::HaveProgram("convert")) GTEST_SKIP() << "ImageMagick convert is missing";
    for (int n = 10; n <= 50; n += 10) {
      const std::string path = m_dir.File("plate_00" + std::to_string(n) + ".png");
      ASSERT_EQ(rvtest::RunCommand("convert -size 64x48 xc:gray " + rvtest::ShellQuote(path)), 0);
    }
  }
  std::unique_ptr<CRvMainDlg> StartPaused() {
    auto dlg = Start("\"" + m_dir.File("plate_0010.png") + "\"");
    dlg->Engine()->Pause(false);
    return dlg;
  }
  rvtest::TempDir m_dir;
};

struct InOutCase {
  const char* in;
  const char* out;
  bool applied;
  const char* shownIn;
  const char* shownOut;
};
class InOutApplyTest : public NumberedFramesTest,
                       public ::testing::WithParamInterface<InOutCase> {};

TEST_P(InOutApplyTest, NumbersGoToTheFirstFrameAtOrAbove) {
  auto dlg = StartPaused();
  CRvInOutPanel* panel = dlg->InOutPanel();
  ASSERT_EQ(panel->InEdit()->text(), "10");
  EXPECT_EQ(panel->OutEdit()->text(), "50");
  panel->InEdit()->setText(GetParam().in);
  panel->OutEdit()->setText(GetParam().out);
  EXPECT_EQ(panel->Apply(), GetParam().applied);
  EXPECT_EQ(panel->InEdit()->text(), GetParam().shownIn);
  EXPECT_EQ(panel->OutEdit()->text(), GetParam().shownOut);
  dlg->close();
}

INSTANTIATE_TEST_SUITE_P(Values, InOutApplyTest,
                         ::testing::Values(InOutCase{"15", "41", true, "20", "50"},
                                           InOutCase{"0", "30", true, "10", "30"},
                                           InOutCase{"20", "x", false, "20", "x"},  // nothing set
                                           InOutCase{"-5", "30", false, "-5",
                                                     "30"}));  // not a frame number

TEST_F(NumberedFramesTest, SetClearAndAMouseDrawnCropReachThePanels) {
  auto dlg = StartPaused();
  CRvInOutPanel* inOut = dlg->InOutPanel();
  inOut->InEdit()->setText("20");
  inOut->OutEdit()->setText("30");
  ASSERT_TRUE(inOut->Apply());
  inOut->SetButton()->click();  // the cache holds far more than five such frames
  EXPECT_EQ(inOut->InEdit()->text(), "10");
  EXPECT_EQ(inOut->OutEdit()->text(), "50");
  inOut->ClearButton()->click();
  EXPECT_EQ(dlg->PlayList()->GetOutIndex(), CKaDrawThread::kNone);
  dlg->Engine()->SetPosition(2);
  apptest::Press(dlg.get(), Qt::Key_I, Qt::ShiftModifier);  // in point here: the field follows
  EXPECT_EQ(inOut->InEdit()->text(), "30");

  ASSERT_TRUE(ProcessUntil([&] { return dlg->Engine()->GetLastFrameWidth() == 64; }));
  CRvCropPanel* crop = dlg->CropPanel();
  crop->SelectAreaButton()->click();
  EXPECT_TRUE(crop->SelectAreaButton()->IsChecked());
  const QPoint from = dlg->Layout().view.center() - QPoint(20, 10);
  const auto mouse = [&](QEvent::Type type, QPoint at) {
    QMouseEvent event(type, at, dlg->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(dlg.get(), &event);
  };
  mouse(QEvent::MouseButtonPress, from);
  mouse(QEvent::MouseMove, from + QPoint(30, 20));
  mouse(QEvent::MouseButtonRelease, from + QPoint(30, 20));
  EXPECT_FALSE(crop->SelectAreaButton()->IsChecked());
  EXPECT_FALSE(dlg->Crop()->IsEmpty());
  EXPECT_EQ(crop->List()->currentText().toStdString(), dlg->Crop()->Format());
  EXPECT_TRUE(crop->ToggleButton()->IsChecked());
  dlg->close();
}

}  // namespace
