// The "Save Sequence" and "Video Compression" dialogs, driven offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>

#include "AppTestSupport.h"
#include "TestUtil.h"
#include "output/dialog/RvSaveSequenceDlg.h"
#include "output/dialog/RvVideoCompressionDlg.h"
#include "support/NesCommon55.h"

namespace {

using apptest::App;

class SaveDialogTest : public testing::Test {
 protected:
  void SetUp() override { App(); }
  template <class T>
  T* Child(QWidget* dialog, const char* name) {
    T* child = dialog->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  rvtest::TempDir m_dir;
  std::string m_ini = m_dir.File("settings.ini");
};

TEST_F(SaveDialogTest, DefaultsShowTheAviPreviewWithNumberingDisabled) {
  CRvSaveSequenceDlg dialog(m_ini);
  EXPECT_EQ(dialog.PreviewText(), "Seq.avi");
  EXPECT_FALSE(Child<QLineEdit>(&dialog, "pad")->isEnabled());
  EXPECT_EQ(Child<QLineEdit>(&dialog, "directory")->text().toStdString(), RvDefaultSaveDirectory());
  EXPECT_TRUE(Child<QRadioButton>(&dialog, "option0")->isChecked());
  EXPECT_FALSE(Child<QWidget>(&dialog, "fieldOrder")->isEnabled());
  Child<QComboBox>(&dialog, "format")->setCurrentIndex(1);
  EXPECT_EQ(dialog.PreviewText(), "Seq0001.tif  Seq0134.tif");
  EXPECT_TRUE(Child<QLineEdit>(&dialog, "pad")->isEnabled());
  Child<QLineEdit>(&dialog, "name")->setText("Shot");
  Child<QLineEdit>(&dialog, "pad")->setText("5");
  Child<QComboBox>(&dialog, "format")->setCurrentIndex(3);
  EXPECT_EQ(dialog.PreviewText(), "Shot00001.png  Shot00134.png");
}

struct ValidityCase {
  const char* field;
  const char* text;
  int option;
  bool ok;
};

class SaveDialogValidityTest : public SaveDialogTest,
                               public testing::WithParamInterface<ValidityCase> {};

TEST_P(SaveDialogValidityTest, OkFollowsTheValues) {
  const ValidityCase& c = GetParam();
  CRvSaveSequenceDlg dialog(m_ini);
  Child<QComboBox>(&dialog, "format")->setCurrentIndex(2);
  Child<QRadioButton>(&dialog, (std::string("option") + std::to_string(c.option)).c_str())
      ->setChecked(true);
  Child<QLineEdit>(&dialog, c.field)->setText(QString::fromLatin1(c.text));
  EXPECT_EQ(dialog.IsOkEnabled(), c.ok);
}

INSTANTIATE_TEST_SUITE_P(Cases, SaveDialogValidityTest,
                         testing::Values(ValidityCase{"step", "0", 0, false},
                                         ValidityCase{"step", "2", 0, true},
                                         ValidityCase{"pad", "x", 0, false},
                                         ValidityCase{"start", "", 0, false},
                                         ValidityCase{"directory", "", 0, false},
                                         ValidityCase{"intermediateFrames", "0", 2, false},
                                         ValidityCase{"intermediateFrames", "0", 0, true},
                                         ValidityCase{"intermediateFrames", "3", 2, true}));

TEST_F(SaveDialogTest, StoredHiddenOptionIsCheckedButNotShown) {
  bWriteToIniFile(m_ini, "Save", "OutputOptions", 4);
  bWriteToIniFile(m_ini, "Save", "FieldOrder", 1);
  CRvSaveSequenceDlg dialog(m_ini);
  auto* pullUp = Child<QRadioButton>(&dialog, "option4");
  EXPECT_TRUE(pullUp->isChecked());
  EXPECT_TRUE(pullUp->isHidden());
  EXPECT_FALSE(pullUp->isEnabled());
  EXPECT_TRUE(Child<QRadioButton>(&dialog, "even")->isChecked());
  EXPECT_TRUE(Child<QWidget>(&dialog, "fieldOrder")->isEnabled());
  Child<QRadioButton>(&dialog, "option3")->setChecked(true);
  EXPECT_FALSE(pullUp->isChecked());
  EXPECT_EQ(dialog.Values().outputOptions, 3);
}

TEST_F(SaveDialogTest, OkCreatesTheMissingFolderAndWritesTheKeys) {
  const std::string folder = m_dir.File("a/b/out");
  CRvSaveSequenceDlg dialog(m_ini);
  Child<QLineEdit>(&dialog, "directory")->setText(QString::fromStdString(folder));
  EXPECT_TRUE(dialog.IsFolderNoteShown());
  Child<QComboBox>(&dialog, "format")->setCurrentIndex(4);
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(strReadFromIniFile(m_ini, "Save", "Directory", ""), folder);
  EXPECT_EQ(iReadFromIniFile(m_ini, "Save", "Format", -1), 4);
  Child<QLineEdit>(&dialog, "directory")->setText(QString::fromStdString(folder + "/"));
  EXPECT_FALSE(dialog.IsFolderNoteShown());
}

TEST_F(SaveDialogTest, FolderThatCannotBeMadeKeepsTheDialogOpen) {
  rvtest::WriteFile(m_dir.File("plain"), "x");
  const std::string folder = m_dir.File("plain/sub");
  CRvSaveSequenceDlg dialog(m_ini);
  Child<QLineEdit>(&dialog, "directory")->setText(QString::fromStdString(folder));
  QString shown;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->text();
      box->accept();
    }
  });
  dialog.accept();
  EXPECT_EQ(shown.toStdString(), "Failed to generate directory tree:\n " + folder);
  EXPECT_NE(dialog.result(), QDialog::Accepted);
}

TEST_F(SaveDialogTest, VideoCompressionCancelAndMotionJpeg) {
  CRvCompressionDialogChooser chooser(nullptr);
  CRvAviCompression options;
  QTimer::singleShot(0, [] {
    if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
  });
  EXPECT_FALSE(chooser.ChooseCompression(&options));
  QTimer::singleShot(0, [] {
    auto* d = qobject_cast<CRvVideoCompressionDlg*>(QApplication::activeModalWidget());
    if (!d) return;
    d->findChild<QComboBox*>("compressor")->setCurrentIndex(1);
    d->accept();
  });
  EXPECT_TRUE(chooser.ChooseCompression(&options));
  EXPECT_EQ(options.codec, RvAviCodec::MotionJpeg);
  EXPECT_EQ(options.quality, 90);
}

}  // namespace
