// Ctrl+S on the player window: the "Save Sequence" dialog, then the writing in load-panel
// state 2 with the progress in the frame bar; Esc, Cancel and a drop stop it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>

#include "AppTestSupport.h"
#include "TestUtil.h"
#include "app/RvMainDlg.h"
#include "engine/DrawThread.h"
#include "output/dialog/RvSaveSequenceDlg.h"
#include "support/NesCommon55.h"

namespace {

using apptest::App;
using apptest::Press;
using apptest::ProcessUntil;

class MainDlgSaveGuiTest : public testing::Test {
 protected:
  void SetUp() override {
    App();
    if (!rvtest::HaveProgram("convert")) GTEST_SKIP() << "ImageMagick convert is missing";
    for (int i = 1; i <= 12; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "take_%04d.png", i);
      ASSERT_EQ(rvtest::RunCommand("convert -size 64x48 xc:'rgb(" + std::to_string(i * 20) +
                                   ",40,90)' " + rvtest::ShellQuote(m_dir.File(name))),
                0);
    }
    m_out = m_dir.File("written");
    const std::string ini = strSettingsPath() + "settings.ini";
    bWriteToIniFile(ini, "Save", "Directory", m_out);
    bWriteToIniFile(ini, "Save", "Format", 3);
    bWriteToIniFile(ini, "Output", "StartMediaPlayer", false);
    m_window = std::make_unique<CRvMainDlg>("\"reelvane\" \"" + m_dir.File("take_0001.png") + "\"");
    m_window->InitDialog();
    m_window->show();
    m_window->Engine()->Pause(false);
  }
  void TearDown() override {
    if (m_window) m_window->close();
  }

  // Accepts the save dialog as soon as it opens; then, once the writing runs, does stopAction.
  void SaveWith(std::function<void()> whileWriting) {
    QTimer::singleShot(0, [this, whileWriting] {
      auto* dialog = qobject_cast<CRvSaveSequenceDlg*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      dialog->accept();
      if (whileWriting) QTimer::singleShot(0, whileWriting);
    });
    Press(m_window.get(), Qt::Key_S, Qt::ControlModifier);
  }
  int WrittenFiles() const {
    int count = 0;
    if (std::filesystem::exists(m_out))
      for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(m_out)) ++count;
    return count;
  }

  rvtest::TempDir m_dir;
  std::string m_out;
  std::unique_ptr<CRvMainDlg> m_window;
};

TEST_F(MainDlgSaveGuiTest, CtrlSWritesEveryFrameWithProgressInTheFrameBar) {
  bool sawState2 = false, barLocked = false, secondDialog = false;
  SaveWith([&] {
    sawState2 = m_window->LoadPanelState() == RvLoadPanelState::Writing;
    barLocked = m_window->FrameBar()->IsInputLocked();
    QTimer::singleShot(0, [&] {
      if (QWidget* w = QApplication::activeModalWidget()) secondDialog = w->close();
    });
    m_window->SaveSequence();  // a second save while writing only beeps
  });
  EXPECT_TRUE(sawState2);
  EXPECT_FALSE(secondDialog);
  EXPECT_TRUE(barLocked);
  EXPECT_EQ(WrittenFiles(), 12);
  EXPECT_TRUE(std::filesystem::exists(m_out + "/Seq0011.png"));
  EXPECT_EQ(m_window->LoadPanelState(), RvLoadPanelState::Closed);
  EXPECT_FALSE(m_window->FrameBar()->IsInputLocked());
}

// 0 Esc, 1 a drop, 2 a close request.
class MainDlgSaveStopTest : public MainDlgSaveGuiTest, public testing::WithParamInterface<int> {};

TEST_P(MainDlgSaveStopTest, StopsAfterTheCurrentFrameWithoutAnError) {
  SaveWith([this] {
    switch (GetParam()) {
      case 0:
        Press(m_window.get(), Qt::Key_Escape);
        break;
      case 1:
        // A drop only stops the writing: the play list being written stays.
        EXPECT_FALSE(m_window->OpenDroppedFile(m_dir.File("take_0005.png")));
        break;
      default:
        m_window->close();
        EXPECT_TRUE(m_window->isVisible());
    }
  });
  EXPECT_LT(WrittenFiles(), 12);
  EXPECT_EQ(m_window->LoadPanelState(), RvLoadPanelState::Closed);
  EXPECT_EQ(m_window->findChild<QMessageBox*>("writeError"), nullptr);
  EXPECT_TRUE(m_window->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Ways, MainDlgSaveStopTest, testing::Values(0, 1, 2));

}  // namespace
