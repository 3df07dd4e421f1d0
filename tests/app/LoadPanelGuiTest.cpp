// The load-sequence panel inside the main window: shown at a start without a file with the
// engine held, Ctrl+O and Esc, Enter on a typed folder and Enter again to open it, and a play
// list of two sequences accepted and played in order.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <filesystem>

#include "AppTestSupport.h"
#include "TestUtil.h"
#include "app/AppSettings.h"
#include "app/RvMainDlg.h"
#include "browser/LoadSequencePanel.h"
#include "engine/DrawThread.h"
#include "sequence/PlayList.h"
#include "support/NesCommon55.h"

namespace {

using apptest::App;
using apptest::Press;
using apptest::ProcessUntil;

class LoadPanelGuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    if (!rvtest::HaveProgram("convert")) GTEST_SKIP() << "ImageMagick convert is missing";
    m_folder = (m_dir.Path() / "reel").string();
    std::filesystem::create_directories(m_folder);
    // Three shot frames and two take frames written by an independent tool.
    for (const char* name :
         {"shot_01.png", "shot_02.png", "shot_03.png", "take_1.png", "take_2.png"}) {
      const std::string command =
          "convert -size 16x12 xc:gray " + rvtest::ShellQuote(m_folder + "/" + name);
      ASSERT_EQ(rvtest::RunCommand(command), 0) << command;
    }
  }
  std::unique_ptr<CRvMainDlg> Start() {
    auto dlg = std::make_unique<CRvMainDlg>("\"reelvane\"");
    dlg->InitDialog();
    dlg->show();
    dlg->activateWindow();
    return dlg;
  }
  static QLineEdit* PathEdit(CRvMainDlg* dlg) {
    for (QLineEdit* edit : dlg->LoadPanel()->findChildren<QLineEdit*>())
      if (edit->property("controlId").toInt() == 1094) return edit;
    return nullptr;
  }

  rvtest::TempDir m_dir;
  std::string m_folder;
};

TEST_F(LoadPanelGuiTest, StartWithoutFileShowsPanelAndEnterOpensTypedFolder) {
  auto dlg = Start();
  EXPECT_EQ(dlg->LoadPanelState(), RvLoadPanelState::Open);
  EXPECT_TRUE(dlg->LoadPanel()->isVisible());
  EXPECT_TRUE(dlg->Engine()->IsHeld());
  Press(dlg.get(), Qt::Key_Escape);
  EXPECT_EQ(dlg->LoadPanelState(), RvLoadPanelState::Closed);
  EXPECT_FALSE(dlg->LoadPanel()->isVisible());
  EXPECT_FALSE(dlg->Engine()->IsHeld());

  Press(dlg.get(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(dlg->LoadPanelState(), RvLoadPanelState::Open);
  EXPECT_TRUE(dlg->Engine()->IsHeld());
  QLineEdit* edit = PathEdit(dlg.get());
  ASSERT_NE(edit, nullptr);
  edit->setFocus();
  ASSERT_TRUE(ProcessUntil([edit] { return edit->hasFocus(); }));
  edit->setText(QString::fromStdString(m_folder));
  Press(edit, Qt::Key_Return);  // opens the tree at the typed folder
  EXPECT_EQ(dlg->LoadPanelState(), RvLoadPanelState::Open);
  EXPECT_EQ(dlg->LoadPanel()->CurrentFolder(), m_folder + "/");
  Press(edit, Qt::Key_Return);  // takes its first sequence
  EXPECT_EQ(dlg->LoadPanelState(), RvLoadPanelState::Closed);
  ASSERT_NE(dlg->PlayList(), nullptr);
  EXPECT_EQ(dlg->PlayList()->GetSequences().front()->GetKey(), "shot_#.png");
  EXPECT_EQ(dlg->GetFrameCount(), 3u);
  EXPECT_FALSE(dlg->Engine()->IsHeld());
  EXPECT_EQ(strReadFromIniFile(RvSettingsIniPath(), "Load", "ActiveDirectory", ""), m_folder + "/");
}

TEST_F(LoadPanelGuiTest, AcceptedPlayListOfTwoSequencesPlaysBothInOrder) {
  bWriteToIniFile(RvSettingsIniPath(), "Playback", "PlayAfterOpening", true);
  bWriteToIniFile(RvSettingsIniPath(), "Playback", "PlayMode", 0);  // once
  auto dlg = Start();
  CKaLoadSequencePanel* panel = dlg->LoadPanel();
  ASSERT_TRUE(panel->Tree()->SelectPath(m_folder));
  panel->AddSelectedSequence();
  panel->SelectSequenceRow(1);
  panel->AddSelectedSequence();
  Press(dlg.get(), Qt::Key_Return);
  ASSERT_EQ(dlg->LoadPanelState(), RvLoadPanelState::Closed);
  ASSERT_NE(dlg->PlayList(), nullptr);
  const std::uint32_t* numbers = dlg->GetFrameNumbers();
  ASSERT_EQ(dlg->GetFrameCount(), 5u);
  EXPECT_EQ(std::vector<std::uint32_t>(numbers, numbers + 5),
            (std::vector<std::uint32_t>{1, 2, 3, 1, 2}));
  // Played once from the start, it runs through the shots into the takes and ends there.
  ASSERT_TRUE(ProcessUntil([&] { return dlg->PlayList()->IsAtLastFrame(); }, 10000));
  const CRvFrame* last = dlg->PlayList()->GetCurrentFrame();
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->GetPath(), m_folder + "/take_2.png");
  // The panel keeps its own play list; the window plays a copy.
  EXPECT_NE(panel->PlayList(), dlg->PlayList());
}

}  // namespace
