// The main window started offscreen: caption, layout, window modes, keys that act on the
// window, the command-line error dialog, and the settings it writes when it closes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <string>

#include "AppTestSupport.h"
#include "TestUtil.h"
#include "app/AppSettings.h"
#include "app/PlaybackView.h"
#include "app/RvBitmapButton.h"
#include "app/RvCmdLineErrorDlg.h"
#include "app/RvMainDlg.h"
#include "support/NesCommon55.h"

namespace {

using apptest::App;
using apptest::Press;
using apptest::ProcessFor;
using apptest::ProcessUntil;

class MainDlgGuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    std::remove(RvSettingsIniPath().c_str());
  }
  std::string Ini() const { return RvSettingsIniPath(); }
};

}  // namespace

TEST_F(MainDlgGuiTest, StartsWithTheCaptionAndDefaultGeometry) {
  CRvMainDlg dlg("\"/opt/rv/reelvane\"");
  dlg.InitDialog();
  EXPECT_EQ(dlg.windowTitle().toStdString(), "Kavato Reelvane Stage Edition v2.10 Basic Edition");
  EXPECT_EQ(dlg.geometry(), QRect(100, 100, 520, 350));
  EXPECT_DOUBLE_EQ(dlg.Settings().gammaDisplay, 2.2);
  EXPECT_EQ(dlg.Settings().referenceWhite, 685);
}

TEST_F(MainDlgGuiTest, ReadsStoredSettingsAndWritesWindowAndFpsOnClose) {
  ASSERT_TRUE(bWriteToIniFile(Ini(), "WindowPosition", "left", 40));
  ASSERT_TRUE(bWriteToIniFile(Ini(), "WindowPosition", "top", 30));
  ASSERT_TRUE(bWriteToIniFile(Ini(), "WindowPosition", "right", 440));
  ASSERT_TRUE(bWriteToIniFile(Ini(), "WindowPosition", "bottom", 330));
  ASSERT_TRUE(bWriteToIniFile(Ini(), "Fps", "fps", 30));
  ASSERT_TRUE(bWriteToIniFile(Ini(), "Playback", "FrameStep", 3));
  {
    CRvMainDlg dlg("rv");
    dlg.InitDialog();
    EXPECT_EQ(dlg.geometry(), QRect(40, 30, 400, 300));
    EXPECT_EQ(dlg.Settings().frameStep, 3);
    dlg.show();
    ProcessUntil([&] { return dlg.isVisible(); });
    dlg.setGeometry(60, 50, 400, 300);
    ProcessUntil([&] { return dlg.geometry().topLeft() == QPoint(60, 50); });
    EXPECT_TRUE(dlg.close());
  }
  EXPECT_EQ(iReadFromIniFile(Ini(), "WindowPosition", "left", -1), 60);
  EXPECT_EQ(iReadFromIniFile(Ini(), "WindowPosition", "top", -1), 50);
  EXPECT_EQ(iReadFromIniFile(Ini(), "WindowPosition", "right", -1), 460);
  EXPECT_EQ(iReadFromIniFile(Ini(), "WindowPosition", "bottom", -1), 350);
  EXPECT_EQ(iReadFromIniFile(Ini(), "WindowPosition", "Mode", -1), 0);
  EXPECT_EQ(iReadFromIniFile(Ini(), "Fps", "fps", -1), 30);
  EXPECT_EQ(iReadFromIniFile(Ini(), "Playback", "FrameStep", -1), 3);  // untouched
}

// Closing while maximised stores mode 1 and the normal rectangle; maximised (1) and full screen
// (3) both open maximised again.
TEST_F(MainDlgGuiTest, AltMMaximisesAndTheWindowReopensMaximisedWithItsNormalRectangle) {
  {
    CRvMainDlg dlg("rv");
    dlg.InitDialog();
    dlg.show();
    dlg.CancelLoadPanel();
    ProcessUntil([&] { return dlg.isVisible(); });
    Press(&dlg, Qt::Key_M, Qt::AltModifier);
    EXPECT_EQ(dlg.WindowMode(), RvWindowMode::Maximized);
    EXPECT_TRUE(dlg.CaptionButton(kRvMaximize)->IsChecked());
    dlg.close();
  }
  EXPECT_EQ(iReadFromIniFile(Ini(), "WindowPosition", "Mode", -1), 1);
  EXPECT_EQ(iReadFromIniFile(Ini(), "WindowPosition", "left", -1), 100);
  EXPECT_EQ(iReadFromIniFile(Ini(), "WindowPosition", "right", -1), 620);
  EXPECT_EQ(iReadFromIniFile(Ini(), "WindowPosition", "bottom", -1), 450);
  ASSERT_TRUE(bWriteToIniFile(Ini(), "WindowPosition", "Mode", 3));
  CRvMainDlg dlg("rv");
  dlg.InitDialog();
  EXPECT_EQ(dlg.WindowMode(), RvWindowMode::Maximized);
  EXPECT_EQ(dlg.geometry(), dlg.screen()->availableGeometry());
}

TEST_F(MainDlgGuiTest, StoredRectangleOffEveryScreenFallsBackToTheDefault) {
  ASSERT_TRUE(bWriteToIniFile(Ini(), "WindowPosition", "left", 90000));
  ASSERT_TRUE(bWriteToIniFile(Ini(), "WindowPosition", "right", 90400));
  CRvMainDlg dlg("rv");
  dlg.InitDialog();
  EXPECT_EQ(dlg.geometry(), QRect(100, 100, 520, 350));
}

TEST_F(MainDlgGuiTest, BadOptionShowsTheErrorDialogWithTheHighlight) {
  std::string title, message, selected, button;
  bool editFocused = false;
  // Runs inside the error dialog's own event loop.
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<CRvCmdLineErrorDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    // The selection is made by the dialog's own short timer after it opens.
    ProcessUntil([&] { return dialog->HighlightPlaced(); });
    title = dialog->windowTitle().toStdString();
    message = dialog->Message().toStdString();
    selected = dialog->Edit()->selectedText().toStdString();
    editFocused = dialog->Edit()->hasFocus();
    button = dialog->CloseButton()->text().toStdString();
    dialog->CloseButton()->click();
  });
  CRvMainDlg dlg("\"/opt/rv/reelvane\" /shots/a.0001.tga 10-50 -c l10 r10 -r 50% -x -u");
  dlg.InitDialog();  // returns once the error dialog is closed
  EXPECT_EQ(title, "Error Parsing Command Line");
  EXPECT_EQ(message, "Unknown command line parameters");
  EXPECT_EQ(selected, "x -u");
  EXPECT_TRUE(editFocused);
  EXPECT_EQ(button, "Close");
  // The start-up goes on with what was parsed.
  EXPECT_TRUE(dlg.CommandLineNamedFile());
  EXPECT_EQ(dlg.CommandLineRequest().sequencePath, "/shots/a.0001.tga");
  // The options before the unknown one fill the window's own crop and resample.
  EXPECT_EQ(dlg.Crop()->Format(), "10 R10 ");
  EXPECT_EQ(dlg.Resample()->Format(), "50% ");
}

TEST_F(MainDlgGuiTest, ErrorDialogSelectionStaysInsideTheText) {
  CRvCmdLineErrorDlg dialog("Some error", "abc", 99);
  dialog.show();
  ASSERT_TRUE(ProcessUntil([&] { return dialog.HighlightPlaced(); }));
  EXPECT_FALSE(dialog.Edit()->hasSelectedText());
  EXPECT_EQ(dialog.Edit()->cursorPosition(), 3);
  EXPECT_TRUE(dialog.Edit()->isReadOnly());
}

TEST_F(MainDlgGuiTest, TabCyclesTheOptionsBarAndWritesEachMode) {
  CRvMainDlg dlg("rv");
  dlg.InitDialog();
  dlg.show();
  dlg.CancelLoadPanel();  // started without a file: the load-sequence panel is up
  std::vector<int> written;
  for (int i = 0; i < 3; ++i) {
    Press(&dlg, Qt::Key_Tab);
    written.push_back(iReadFromIniFile(Ini(), "WindowPosition", "ShowOptionsBar", -1));
  }
  EXPECT_EQ(written, (std::vector<int>{0, 2, 1}));
  EXPECT_EQ(dlg.OptionsBarMode(), RvOptionsBarMode::TransportAndOptions);
}

TEST_F(MainDlgGuiTest, EscapeKeepsTheWindowAndLeavesFullScreenForTheSameNormalRectangle) {
  CRvMainDlg dlg("rv");
  dlg.InitDialog();
  dlg.show();
  ASSERT_TRUE(ProcessUntil([&] { return dlg.isVisible(); }));
  Press(&dlg, Qt::Key_Escape);
  ProcessFor(20);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), 0);
  Press(&dlg, Qt::Key_F);
  EXPECT_EQ(dlg.WindowMode(), RvWindowMode::FullScreen);
  EXPECT_EQ(dlg.geometry(), dlg.screen()->geometry());
  EXPECT_FALSE(dlg.FrameBar()->isVisible());
  Press(&dlg, Qt::Key_Escape);
  EXPECT_EQ(dlg.WindowMode(), RvWindowMode::Normal);
  EXPECT_EQ(dlg.geometry(), QRect(100, 100, 520, 350));
  EXPECT_TRUE(dlg.FrameBar()->isVisible());
}

TEST_F(MainDlgGuiTest, ButtonsCarryTheirIdsToolTipsAndTheirPlaceInTheLayout) {
  CRvMainDlg dlg("rv");
  dlg.InitDialog();
  dlg.show();
  dlg.CancelLoadPanel();  // started without a file: the load-sequence panel is up
  const CRvBitmapButton* close = dlg.CaptionButton(kRvClose);
  EXPECT_EQ(close->property("controlId").toInt(), 2);
  EXPECT_EQ(close->toolTip().toStdString(), "Close Alt+F4");
  const CRvBitmapButton* play = dlg.TransportButton(kRvPlay);
  EXPECT_EQ(play->property("controlId").toInt(), 1006);
  EXPECT_EQ(play->geometry(), QRect(3 + 20 + 22 + 20 + 20 + 20, 350 - 23, 20, 20));
  dlg.grab();  // the faces are drawn for the screen they are shown on
  // Our own faces: the checked face differs from the normal one.
  EXPECT_NE(play->Image(0).toImage(), play->Image(2).toImage());
}
