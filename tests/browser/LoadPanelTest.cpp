// The load-sequence panel driven offscreen: the folder listing, the recent folders, play-list
// editing and its file commands; and the folder dialog's typed flag.
#include <gtest/gtest.h>

#include "AppTestSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWheelEvent>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "TestUtil.h"
#include "browser/FrameBrowserDlg.h"
#include "browser/LoadSequencePanel.h"
#include "browser/RecentFolders.h"
#include "sequence/PlayList.h"
#include "support/NesCommon55.h"

namespace fs = std::filesystem;

namespace {

using apptest::App;
using apptest::Control;

std::string Numbered(const std::string& stem, int n, int width, const std::string& ext) {
  std::string digits = std::to_string(n);
  return stem + std::string(std::size_t(width) - digits.size(), '0') + digits + ext;
}

class LoadPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    unsetenv(kKaProjectVariable);
    m_ini = m_dir.File("settings.ini");
    m_shots = (m_dir.Path() / "shots").string();
    fs::create_directories(m_shots);
    for (int i = 1; i <= 100; ++i) Touch(m_shots + "/" + Numbered("shot_", i, 4, ".tif"));
    Touch(m_shots + "/logo.tif");
    for (int i = 1; i <= 20; ++i) Touch(m_shots + "/" + Numbered("take_", i, 2, ".png"));
    m_panel = std::make_unique<CKaLoadSequencePanel>(m_ini);
  }
  void TearDown() override { unsetenv(kKaProjectVariable); }
  static void Touch(const std::string& path) { rvtest::WriteFile(path, "x"); }
  void Visit(const std::string& folder) {
    ASSERT_TRUE(m_panel->Tree()->SelectPath(folder));
    m_panel->SaveBrowserState();
  }
  std::vector<std::string> Names(const CKaSequenceModel& model) const {
    std::vector<std::string> names;
    for (int r = 0; r < model.rowCount(); ++r)
      names.push_back(model.data(model.index(r, 0), Qt::DisplayRole).toString().toStdString());
    return names;
  }

  rvtest::TempDir m_dir;
  std::string m_ini;
  std::string m_shots;
  std::unique_ptr<CKaLoadSequencePanel> m_panel;
};

TEST_F(LoadPanelTest, ListsNumberedSequencesFirstThenSingleFiles) {
  ASSERT_TRUE(m_panel->Tree()->SelectPath(m_shots));
  EXPECT_EQ(m_panel->CurrentFolder(), m_shots + "/");
  const CKaSequenceModel& model = m_panel->Listing();
  EXPECT_EQ(Names(model), (std::vector<std::string>{"shot_#.tif", "take_#.png", "logo.tif"}));
  EXPECT_EQ(model.data(model.index(0, 1), Qt::DisplayRole).toString(), "100 frames (1-100)");
  EXPECT_EQ(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "Step size");
  // The first sequence is selected, so OK (and Enter) can take it at once.
  EXPECT_EQ(m_panel->SelectedSequence(), model.SequenceAt(0));
  EXPECT_TRUE(m_panel->IsAcceptEnabled());
  // F5 reads the tree and the folder again.
  Touch(m_shots + "/new_1.tif");
  Touch(m_shots + "/new_2.tif");
  QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
  QApplication::sendEvent(m_panel.get(), &f5);
  EXPECT_EQ(Names(m_panel->Listing()),
            (std::vector<std::string>{"new_#.tif", "shot_#.tif", "take_#.png", "logo.tif"}));
  EXPECT_EQ(m_panel->CurrentFolder(), m_shots + "/");
}

TEST_F(LoadPanelTest, RecentFoldersLastVisitedFirstWithoutDuplicatesAtMostTwenty) {
  std::vector<std::string> folders;
  for (int i = 0; i < 21; ++i) {
    folders.push_back((m_dir.Path() / ("f" + std::to_string(i))).string());
    fs::create_directories(folders.back());
  }
  for (int i = 0; i < 10; ++i) Visit(folders[std::size_t(i)]);
  EXPECT_EQ(strReadFromIniFile(m_ini, "Load", "RecentDirectory_0", ""), folders[9] + "/");
  Visit(folders[3]);  // revisiting moves it up without a second entry
  auto stored = KaReadRecentFolders(m_ini);
  ASSERT_EQ(stored.size(), 10u);
  EXPECT_EQ(stored[0], folders[3] + "/");
  EXPECT_EQ(stored[1], folders[9] + "/");
  for (int i = 10; i < 21; ++i) Visit(folders[std::size_t(i)]);
  stored = KaReadRecentFolders(m_ini);
  ASSERT_EQ(stored.size(), 20u);
  EXPECT_EQ(stored[0], folders[20] + "/");
  EXPECT_EQ(stored[19], folders[1] + "/");  // the oldest, folders[0], dropped
  EXPECT_EQ(strReadFromIniFile(m_ini, "Load", "ActiveDirectory", ""), folders[20] + "/");

  // The project folder is shown first and never stored, not even when visited.
  setenv(kKaProjectVariable, m_shots.c_str(), 1);
  Visit(m_shots);
  EXPECT_EQ(m_panel->ShownRecentFolders().front(), m_shots + "/");
  stored = KaReadRecentFolders(m_ini);
  EXPECT_EQ(stored[0], folders[20] + "/");
  EXPECT_EQ(std::count(stored.begin(), stored.end(), m_shots + "/"), 0);
}

struct RangeCase {
  const char* name;
  bool start;
  const char* text;
  std::uint32_t rangeStart, rangeEnd;
  bool changed;
};

class RangeEditTest : public LoadPanelTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(RangeEditTest, ParsesNumbersClampsAndMarksTheListChanged) {
  const RangeCase& c = GetParam();
  ASSERT_TRUE(m_panel->Tree()->SelectPath(m_shots));
  m_panel->AddSelectedSequence();
  ASSERT_NE(m_panel->SelectedEntry(), nullptr);
  // Saved, so only the edit itself can mark the list changed.
  std::string errors;
  ASSERT_TRUE(m_panel->SavePlayListTo(m_dir.File("a.rvpl"), &errors)) << errors;
  QLineEdit* edit = Control<QLineEdit>(m_panel.get(), c.start ? 1049 : 1138);
  ASSERT_NE(edit, nullptr);
  edit->setText(c.text);
  emit edit->textEdited(c.text);
  EXPECT_EQ(m_panel->SelectedEntry()->GetRangeStart(), c.rangeStart);
  EXPECT_EQ(m_panel->SelectedEntry()->GetRangeEnd(), c.rangeEnd);
  EXPECT_EQ(m_panel->IsPlayListChanged(), c.changed);
}

INSTANTIATE_TEST_SUITE_P(Edits, RangeEditTest,
                         ::testing::Values(RangeCase{"NotANumber", true, "5x", 1, 100, false},
                                           RangeCase{"BelowFirst", true, "0", 1, 100, true},
                                           RangeCase{"Start", true, "10", 10, 100, true},
                                           RangeCase{"End", false, "50", 1, 50, true},
                                           RangeCase{"AboveLast", false, "500", 1, 100, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoadPanelTest, EditsPlayListAndButtonStatesFollow) {
  ASSERT_TRUE(m_panel->Tree()->SelectPath(m_shots));
  QWidget* remove = Control(m_panel.get(), 1054);
  ASSERT_NE(remove, nullptr);
  EXPECT_FALSE(remove->isEnabled());
  m_panel->AddSelectedSequence();  // shot_#.tif
  m_panel->SelectSequenceRow(2);
  m_panel->AddSelectedSequence();  // logo.tif
  EXPECT_TRUE(remove->isEnabled());
  EXPECT_TRUE(m_panel->IsPlayListChanged());
  EXPECT_EQ(Names(m_panel->PlayListRows()), (std::vector<std::string>{"shot_#.tif", "logo.tif"}));
  m_panel->MoveEntryUp();
  EXPECT_EQ(Names(m_panel->PlayListRows()), (std::vector<std::string>{"logo.tif", "shot_#.tif"}));
  EXPECT_EQ(m_panel->SelectedEntry()->GetKey(), "logo.tif");
  m_panel->RemoveEntry();
  EXPECT_EQ(Names(m_panel->PlayListRows()), (std::vector<std::string>{"shot_#.tif"}));
  EXPECT_EQ(m_panel->SelectedEntry(), nullptr);
  EXPECT_FALSE(remove->isEnabled());

  // "X" on a changed list asks first: Cancel keeps it, No throws it away.
  int asked = 0;
  auto answer = CKaLoadSequencePanel::SaveAnswer::Cancel;
  m_panel->SetAskSaveChanges([&](const std::string& name) {
    ++asked;
    EXPECT_EQ(name, "Untitled");
    return answer;
  });
  m_panel->ClearPlayList();
  EXPECT_EQ(asked, 1);
  ASSERT_NE(m_panel->PlayList(), nullptr);
  answer = CKaLoadSequencePanel::SaveAnswer::No;
  m_panel->ClearPlayList();
  EXPECT_EQ(m_panel->PlayList(), nullptr);
  EXPECT_EQ(m_panel->PlayListFileName(), "");
  EXPECT_FALSE(m_panel->IsPlayListChanged());
}

TEST_F(LoadPanelTest, SavesAndLoadsPlayListsThroughTheirCommands) {
  ASSERT_TRUE(m_panel->Tree()->SelectPath(m_shots));
  m_panel->AddSelectedSequence();
  m_panel->SelectSequenceRow(1);
  m_panel->AddSelectedSequence();
  auto* reversed = Control<QAbstractButton>(m_panel.get(), 1135);
  ASSERT_NE(reversed, nullptr);
  reversed->setChecked(true);
  const std::string file = m_dir.File("reel.rvpl");
  m_panel->SetAskSaveFile([&](const std::string&, const std::string& preset) {
    EXPECT_EQ(preset, "Untitled");
    return file;
  });
  EXPECT_TRUE(m_panel->SavePlayList());
  EXPECT_FALSE(m_panel->IsPlayListChanged());
  EXPECT_EQ(m_panel->PlayListFileName(), "reel.rvpl");
  EXPECT_EQ(strReadFromIniFile(m_ini, "Playlist", "Directory", ""), m_dir.Path().string() + "/");

  m_panel->SetAskOpenFile([&](const std::string& dir, const std::string&) {
    EXPECT_EQ(dir, m_dir.Path().string() + "/");
    return file;
  });
  m_panel->LoadPlayList();
  ASSERT_NE(m_panel->PlayList(), nullptr);
  EXPECT_EQ(m_panel->PlayList()->GetName(), "reel.rvpl");
  EXPECT_EQ(Names(m_panel->PlayListRows()), (std::vector<std::string>{"shot_#.tif", "take_#.png"}));
  EXPECT_FALSE(m_panel->PlayList()->GetSequences().front()->IsReverse());
  EXPECT_TRUE(m_panel->PlayList()->GetSequences().back()->IsReverse());
  std::string errors;
  EXPECT_FALSE(m_panel->LoadPlayListFrom(m_dir.File("missing.rvpl"), &errors));
  EXPECT_FALSE(errors.empty());
  EXPECT_EQ(m_panel->PlayList()->GetName(), "reel.rvpl");  // a failed load keeps the list
}

TEST_F(LoadPanelTest, FailedSaveAfterTheQuestionKeepsTheChangedPlayList) {
  ASSERT_TRUE(m_panel->Tree()->SelectPath(m_shots));
  m_panel->AddSelectedSequence();
  m_panel->SetAskSaveChanges(
      [](const std::string&) { return CKaLoadSequencePanel::SaveAnswer::Yes; });
  m_panel->SetAskSaveFile(
      [&](const std::string&, const std::string&) { return m_dir.File("missing/reel.rvpl"); });
  std::string shown;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (QWidget* box = QApplication::activeModalWidget()) {
      shown = box->findChild<QLabel*>("qt_msgbox_label")->text().toStdString();
      box->close();
    }
  });
  closer.start(5);
  m_panel->ClearPlayList();
  EXPECT_EQ(shown.rfind("Failed to save playlist\n\n", 0), 0u) << shown;
  ASSERT_NE(m_panel->PlayList(), nullptr);  // not thrown away after the failed save
  EXPECT_TRUE(m_panel->IsPlayListChanged());
}

TEST_F(LoadPanelTest, AltWheelGoesToTheWindowAroundThePanel) {
  struct Window : QWidget {
    int wheels = 0;
    void wheelEvent(QWheelEvent* event) override {
      ++wheels;
      event->accept();
    }
  } window;
  CKaLoadSequencePanel* panel = new CKaLoadSequencePanel(m_ini, &window);
  QWidget* list = Control(panel, 1029);
  ASSERT_NE(list, nullptr);
  QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::AltModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(list, &wheel);
  EXPECT_EQ(window.wheels, 1);
}

TEST_F(LoadPanelTest, FolderDialogTypedFlagCycle) {
  fs::create_directories(m_dir.Path() / "other");
  CKaFrameBrowserDlg dlg(m_shots);
  EXPECT_EQ(dlg.windowTitle(), "FrameBrowser");
  EXPECT_TRUE(dlg.OkButton()->isEnabled());
  EXPECT_EQ(dlg.OkButton()->text(), "OK");
  EXPECT_FALSE(dlg.IsTyped());
  EXPECT_EQ(dlg.PathEdit()->text().toStdString(), m_shots + "/");

  // Typing makes it "Open"; a tree selection after typing keeps "Open".
  dlg.PathEdit()->setText(QString::fromStdString(m_dir.Path().string() + "/other"));
  EXPECT_TRUE(dlg.IsTyped());
  EXPECT_EQ(dlg.OkButton()->text(), "Open");
  dlg.Tree()->setCurrentItem(dlg.Tree()->currentItem()->parent());
  EXPECT_EQ(dlg.OkButton()->text(), "Open");

  // "Open" on a path that exists opens the tree there and turns back into "OK".
  dlg.PathEdit()->setText(QString::fromStdString(m_dir.Path().string() + "/other"));
  dlg.accept();
  EXPECT_FALSE(dlg.IsTyped());
  EXPECT_EQ(dlg.OkButton()->text(), "OK");
  EXPECT_EQ(dlg.result(), 0);  // still open
  EXPECT_EQ(dlg.PathEdit()->text().toStdString(), m_dir.Path().string() + "/other/");

  // A path that cannot be followed highlights the part that was not found.
  const std::string typed = m_dir.Path().string() + "/nope/x";
  dlg.PathEdit()->setText(QString::fromStdString(typed));
  dlg.accept();
  EXPECT_TRUE(dlg.IsTyped());
  EXPECT_EQ(dlg.PathEdit()->selectionStart(), int(m_dir.Path().string().size() + 1));
  EXPECT_EQ(dlg.PathEdit()->selectedText().toStdString(), "nope/x");

  // A selection in the tree without typing counts as no typing; OK then ends with the folder.
  dlg.Tree()->SelectPath(m_shots);
  dlg.PathEdit()->setText(QString::fromStdString(m_shots));  // typed once more ...
  dlg.Tree()->SelectPath(m_dir.Path().string() + "/other");  // ... still typed: stays "Open"
  EXPECT_EQ(dlg.OkButton()->text(), "Open");
  dlg.accept();
  EXPECT_EQ(dlg.OkButton()->text(), "OK");
  dlg.accept();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.GetResult(), m_dir.Path().string() + "/other/");
}

}  // namespace
