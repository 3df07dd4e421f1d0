// The "Save Sequence" dialog: file name stem, zero padding, format, numbering, folder, output
// option and field order, kept in section "Save" of settings.ini.
#pragma once

#include <QDialog>
#include <string>

#include "output/OutputNaming.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class CRvSaveSequenceDlg : public QDialog {
  Q_OBJECT

 public:
  // Reads the "Save" keys of iniPath and fills the controls.
  CRvSaveSequenceDlg(const std::string& iniPath, QWidget* parent = nullptr);

  // The values as the controls hold them (meaningful once OK is enabled). An output option
  // that no button shows checked counts as 0.
  CRvSaveValues Values() const;
  // Preview text and validity after the last change.
  QString PreviewText() const;
  bool IsOkEnabled() const;
  bool IsFolderNoteShown() const;

  void accept() override;

 private:
  void BuildControls();
  void Fill(const CRvSaveValues& values);
  void UpdatePreview();
  void BrowseFolder();

  std::string m_iniPath;
  QLineEdit* m_name = nullptr;
  QLineEdit* m_pad = nullptr;
  QComboBox* m_format = nullptr;
  QLabel* m_preview = nullptr;
  QLineEdit* m_start = nullptr;
  QLineEdit* m_step = nullptr;
  QLineEdit* m_directory = nullptr;
  QPushButton* m_browse = nullptr;
  QLabel* m_folderNote = nullptr;
  QButtonGroup* m_options = nullptr;
  QRadioButton* m_optionButtons[5] = {};
  QLineEdit* m_blendFrames = nullptr;
  QLineEdit* m_intermediateFrames = nullptr;
  QLabel* m_blendLabel = nullptr;
  QLabel* m_rateLabel = nullptr;
  QLabel* m_rateValue = nullptr;
  QGroupBox* m_fieldGroup = nullptr;
  QRadioButton* m_odd = nullptr;
  QRadioButton* m_even = nullptr;
  QPushButton* m_ok = nullptr;
  int m_fieldOrder = 0;
};
