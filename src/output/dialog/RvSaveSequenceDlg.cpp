#include "output/dialog/RvSaveSequenceDlg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "output/dialog/RvFolderPicker.h"

namespace {

const char* const kOptionTexts[5] = {
    "&Leave the sequence as it is",
    "&Blend several frames together to form one frame (Motion Blur) - decreases frame rate",
    "Calculate intermediate frames (Weighted Blend) - increases frame rate",
    "Use 2:3 pull-down (24fps to 30fps conversion)",
    "Use 3:2 pull-up (30fps to 24fps conversion)",
};

// A whole number, blanks around it allowed.
bool WholeNumber(const QLineEdit* edit, int* value) {
  bool ok = false;
  const int v = edit->text().trimmed().toInt(&ok);
  if (ok) *value = v;
  return ok;
}

QLineEdit* NumberEdit(const QString& name, int width = 50) {
  auto* edit = new QLineEdit;
  edit->setObjectName(name);
  edit->setMaximumWidth(width);
  return edit;
}

}  // namespace

CRvSaveSequenceDlg::CRvSaveSequenceDlg(const std::string& iniPath, QWidget* parent)
    : QDialog(parent), m_iniPath(iniPath) {
  setWindowTitle(QStringLiteral("Save Sequence"));
  BuildControls();
  Fill(CRvSaveValues::Read(m_iniPath));
}

void CRvSaveSequenceDlg::BuildControls() {
  m_name = new QLineEdit;
  m_name->setObjectName(QStringLiteral("name"));
  m_pad = NumberEdit(QStringLiteral("pad"), 40);
  m_format = new QComboBox;
  m_format->setObjectName(QStringLiteral("format"));
  for (int i = 0; i < kRvOutputFormatCount; ++i)
    m_format->addItem(QString::fromLatin1(RvOutputFormat(i).listText));
  m_preview = new QLabel(QStringLiteral("---"));
  m_preview->setObjectName(QStringLiteral("preview"));
  m_start = NumberEdit(QStringLiteral("start"), 80);
  m_step = NumberEdit(QStringLiteral("step"), 50);
  m_directory = new QLineEdit;
  m_directory->setObjectName(QStringLiteral("directory"));
  m_browse = new QPushButton(QStringLiteral("..."));
  m_browse->setObjectName(QStringLiteral("browse"));
  m_browse->setMaximumWidth(30);
  m_folderNote = new QLabel(
      QStringLiteral("This folder does not exist. A new folder will be created for you."));
  m_folderNote->setObjectName(QStringLiteral("folderNote"));
  m_folderNote->hide();

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Name:")), 0, 0);
  grid->addWidget(m_name, 0, 1);
  auto* padRow = new QHBoxLayout;
  padRow->addWidget(new QLabel(QStringLiteral("Pad with")));
  padRow->addWidget(m_pad);
  padRow->addWidget(new QLabel(QStringLiteral("zeroes.")));
  padRow->addStretch();
  grid->addLayout(padRow, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Format:")), 1, 0);
  grid->addWidget(m_format, 1, 1);
  grid->addWidget(m_preview, 2, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Start Number:")), 3, 0);
  grid->addWidget(m_start, 3, 1);
  auto* stepRow = new QHBoxLayout;
  stepRow->addWidget(new QLabel(QStringLiteral("Step:")));
  stepRow->addWidget(m_step);
  stepRow->addWidget(new QLabel(QStringLiteral("frames")));
  stepRow->addStretch();
  grid->addLayout(stepRow, 3, 2);
  grid->addWidget(new QLabel(QStringLiteral("Directory:")), 4, 0);
  auto* dirRow = new QHBoxLayout;
  dirRow->addWidget(m_directory);
  dirRow->addWidget(m_browse);
  grid->addLayout(dirRow, 4, 1, 1, 2);
  grid->addWidget(m_folderNote, 5, 1, 1, 2);

  auto* optionsBox = new QGroupBox(QStringLiteral("Output options"));
  auto* optionsGrid = new QGridLayout(optionsBox);
  m_options = new QButtonGroup(this);
  m_blendFrames = NumberEdit(QStringLiteral("blendFrames"));
  m_intermediateFrames = NumberEdit(QStringLiteral("intermediateFrames"));
  m_blendLabel = new QLabel(QStringLiteral("Number of Frames:"));
  for (int i = 0; i < 5; ++i) {
    m_optionButtons[i] = new QRadioButton(QString::fromLatin1(kOptionTexts[i]));
    m_optionButtons[i]->setObjectName(QStringLiteral("option%1").arg(i));
    m_options->addButton(m_optionButtons[i], i);
    optionsGrid->addWidget(m_optionButtons[i], i, 0);
  }
  optionsGrid->addWidget(m_blendLabel, 1, 1);
  optionsGrid->addWidget(m_blendFrames, 1, 2);
  optionsGrid->addWidget(new QLabel(QStringLiteral("Number of Frames:")), 2, 1);
  optionsGrid->addWidget(m_intermediateFrames, 2, 2);
  // Motion blur has no frame source and pull-up is not offered: hidden and disabled.
  for (QWidget* w :
       {static_cast<QWidget*>(m_optionButtons[1]), static_cast<QWidget*>(m_blendLabel),
        static_cast<QWidget*>(m_blendFrames), static_cast<QWidget*>(m_optionButtons[4])}) {
    w->hide();
    w->setEnabled(false);
  }
  m_rateLabel = new QLabel(QStringLiteral("Resulting frame rate:"));
  m_rateValue = new QLabel;
  m_rateLabel->hide();
  m_rateValue->hide();
  optionsGrid->addWidget(m_rateLabel, 5, 0);
  optionsGrid->addWidget(m_rateValue, 5, 1);

  m_fieldGroup = new QGroupBox(QStringLiteral("Field Order"));
  m_fieldGroup->setObjectName(QStringLiteral("fieldOrder"));
  auto* fieldLayout = new QVBoxLayout(m_fieldGroup);
  m_odd = new QRadioButton(QStringLiteral("&Odd / Even"));
  m_even = new QRadioButton(QStringLiteral("&Even / Odd"));
  m_odd->setObjectName(QStringLiteral("odd"));
  m_even->setObjectName(QStringLiteral("even"));
  fieldLayout->addWidget(m_odd);
  fieldLayout->addWidget(m_even);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  m_ok = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &CRvSaveSequenceDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CRvSaveSequenceDlg::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  auto* lower = new QHBoxLayout;
  lower->addWidget(optionsBox, 1);
  lower->addWidget(m_fieldGroup);
  layout->addLayout(lower);
  layout->addWidget(buttons);

  for (QLineEdit* edit :
       {m_name, m_pad, m_start, m_step, m_directory, m_blendFrames, m_intermediateFrames})
    connect(edit, &QLineEdit::textChanged, this, &CRvSaveSequenceDlg::UpdatePreview);
  connect(m_format, &QComboBox::currentIndexChanged, this, &CRvSaveSequenceDlg::UpdatePreview);
  connect(m_options, &QButtonGroup::idToggled, this, &CRvSaveSequenceDlg::UpdatePreview);
  connect(m_odd, &QRadioButton::toggled, this, &CRvSaveSequenceDlg::UpdatePreview);
  connect(m_even, &QRadioButton::toggled, this, &CRvSaveSequenceDlg::UpdatePreview);
  connect(m_browse, &QPushButton::clicked, this, &CRvSaveSequenceDlg::BrowseFolder);
}

void CRvSaveSequenceDlg::Fill(const CRvSaveValues& v) {
  m_name->setText(QString::fromStdString(v.name));
  m_pad->setText(QString::number(v.padNumber));
  m_format->setCurrentIndex(v.format >= 0 && v.format < kRvOutputFormatCount ? v.format : -1);
  m_directory->setText(QString::fromStdString(v.directory));
  m_start->setText(QString::number(v.startNumber));
  m_step->setText(QString::number(v.stepFrames));
  m_blendFrames->setText(QString::number(v.blendFrames));
  m_intermediateFrames->setText(QString::number(v.intermediateFrames));
  if (v.outputOptions >= 0 && v.outputOptions < 5)
    m_optionButtons[v.outputOptions]->setChecked(true);
  if (v.fieldOrder == 0) m_odd->setChecked(true);
  if (v.fieldOrder == 1) m_even->setChecked(true);
  UpdatePreview();
}

void CRvSaveSequenceDlg::UpdatePreview() {
  int pad = 0, start = 0, step = 0, count = 0;
  const bool padOk = WholeNumber(m_pad, &pad);
  const bool numbersOk = padOk && WholeNumber(m_start, &start) && WholeNumber(m_step, &step);
  const int format = m_format->currentIndex();
  const bool avi = format == kRvFormatAvi;
  if (format < 0) {
    m_preview->setText(QStringLiteral("---"));
  } else if (avi || padOk) {
    m_preview->setText(
        QString::fromStdString(RvSavePreview(m_name->text().toStdString(), pad, format)));
  }
  for (QLineEdit* edit : {m_pad, m_start, m_step}) edit->setEnabled(!avi);

  const QString folder = m_directory->text();
  m_folderNote->setVisible(!folder.isEmpty() && !QFileInfo(folder).isDir());
  if (m_odd->isChecked()) m_fieldOrder = 0;
  if (m_even->isChecked()) m_fieldOrder = 1;

  const int option = m_options->checkedId();
  const bool pulldown = option == 3 || option == 4;
  m_fieldGroup->setEnabled(pulldown);
  m_intermediateFrames->setEnabled(option == 2);
  m_blendFrames->setEnabled(option == 1);
  bool countOk = true;
  if (option == 1) countOk = WholeNumber(m_blendFrames, &count) && count >= 1;
  if (option == 2) countOk = WholeNumber(m_intermediateFrames, &count) && count >= 1;
  // A step of 0 would write every frame over one file.
  const bool stepOk = avi || step >= 1;
  m_ok->setEnabled(format >= 0 && numbersOk && stepOk && !folder.trimmed().isEmpty() && countOk);
}

CRvSaveValues CRvSaveSequenceDlg::Values() const {
  CRvSaveValues v;
  v.name = m_name->text().toStdString();
  WholeNumber(m_pad, &v.padNumber);
  v.format = m_format->currentIndex();
  v.directory = m_directory->text().toStdString();
  WholeNumber(m_start, &v.startNumber);
  WholeNumber(m_step, &v.stepFrames);
  v.outputOptions = std::max(0, m_options->checkedId());
  v.fieldOrder = m_fieldOrder;
  WholeNumber(m_blendFrames, &v.blendFrames);
  WholeNumber(m_intermediateFrames, &v.intermediateFrames);
  return v;
}

QString CRvSaveSequenceDlg::PreviewText() const { return m_preview->text(); }
bool CRvSaveSequenceDlg::IsOkEnabled() const { return m_ok->isEnabled(); }
bool CRvSaveSequenceDlg::IsFolderNoteShown() const { return !m_folderNote->isHidden(); }

void CRvSaveSequenceDlg::BrowseFolder() {
  QString chosen;
  if (RvBrowseForFolder(this, m_directory->text(), &chosen)) m_directory->setText(chosen);
}

void CRvSaveSequenceDlg::accept() {
  if (!m_ok->isEnabled()) return;
  CRvSaveValues values = Values();
  // A checked hidden option keeps its stored value; no checked option stores what was read.
  if (m_options->checkedId() < 0)
    values.outputOptions = CRvSaveValues::Read(m_iniPath).outputOptions;
  values.Write(m_iniPath);
  const std::string folder = m_directory->text().toStdString();
  if (!QFileInfo(m_directory->text()).isDir() && !RvCreateDirectoryTree(folder)) {
    QMessageBox box(QMessageBox::NoIcon, windowTitle(),
                    QString::fromStdString("Failed to generate directory tree:\n " + folder),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("directoryError"));
    box.exec();
    return;
  }
  QDialog::accept();
}
