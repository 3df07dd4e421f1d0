#include "settings/CineonPage.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "engine/DrawThread.h"
#include "imaging/CineonProfile.h"
#include "settings/SettingsIds.h"
#include "support/NesCommon55.h"

namespace {

constexpr const char* kLoadFilter =
    "All known profile formats (*.rvcp *.lut *.grd);;Reelvane Cineon Profile (*.rvcp);;"
    "Flame Cineon Profile (*.lut);;NUKE Cineon Profile (*.grd);;All Files (*)";
constexpr const char* kSaveFilter = "Reelvane Cineon Profile (*.rvcp);;All Files (*)";

QString FormatDouble(double value) { return QString::number(value, 'g', 15); }

bool ReadDouble(QLineEdit* edit, double low, double high, double* value, QString* message) {
  bool ok = false;
  const double parsed = edit->text().trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(parsed) || parsed < low || parsed > high) {
    *message = QStringLiteral("Please enter a number between %1 and %2.")
                   .arg(FormatDouble(low), FormatDouble(high));
    return false;
  }
  *value = parsed;
  return true;
}

bool ReadUnsigned(QLineEdit* edit, unsigned high, std::uint32_t* value, QString* message) {
  bool ok = false;
  const uint parsed = edit->text().trimmed().toUInt(&ok);
  if (!ok || parsed > high) {
    *message = QStringLiteral("Please enter an integer between 0 and %1.").arg(high);
    return false;
  }
  *value = parsed;
  return true;
}

}  // namespace

CRvSetCineon::CRvSetCineon(const CRvSettingsContext& context, QWidget* parent)
    : CRvSettingsPage(parent), m_context(context) {
  if (context.frameDecoder) m_values = context.frameDecoder->GetCineonValues();

  auto makeEdit = [this](int id) {
    auto* edit = RvWithId(new QLineEdit(this), id);
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000.0000000")));
    return edit;
  };
  m_displayGamma = makeEdit(kRvIdCineonDisplayGamma);
  m_cineonGamma = makeEdit(kRvIdCineonGamma);
  m_black = makeEdit(kRvIdCineonReferenceBlack);
  m_white = makeEdit(kRvIdCineonReferenceWhite);
  m_softClip = makeEdit(kRvIdCineonSoftClip);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(8);
  const struct {
    const char* label;
    QLineEdit* edit;
    const char* hint;
  } rows[] = {
      {"&Display Gamma:", m_displayGamma, "0.0..100.0  Gamma of the monitor, 1.0 if calibrated"},
      {"&Cineon Gamma:", m_cineonGamma, "0.0..100.0  Gamma the Cineon file was created with"},
      {"Reference &Black:", m_black, "0..1024  Typically 95"},
      {"Reference &White:", m_white, "0..1024  Typically 685"},
      {"Soft Cli&p:", m_softClip, "0..50  Typically 0"},
  };
  int row = 0;
  for (const auto& r : rows) {
    auto* label = new QLabel(QString::fromLatin1(r.label), this);
    label->setBuddy(r.edit);
    grid->addWidget(label, row, 0);
    grid->addWidget(r.edit, row, 1);
    auto* hint = new QLabel(QString::fromLatin1(r.hint), this);
    hint->setEnabled(false);  // drawn as secondary text
    grid->addWidget(hint, row, 2);
    ++row;
  }
  grid->setColumnStretch(2, 1);

  auto* save = RvWithId(new QPushButton(QStringLiteral("&Save Settings"), this), kRvIdCineonSave);
  auto* load = RvWithId(new QPushButton(QStringLiteral("&Load Settings"), this), kRvIdCineonLoad);
  connect(save, &QPushButton::clicked, this, &CRvSetCineon::SaveProfile);
  connect(load, &QPushButton::clicked, this, &CRvSetCineon::LoadProfile);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(load);
  buttons->addWidget(save);
  buttons->addStretch(1);

  auto* warning = RvWithId(
      new QLabel(
          QStringLiteral("Warning: Changing these parameters will unload all frames from memory"),
          this),
      kRvIdCineonWarning);
  warning->setWordWrap(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(12);
  layout->addLayout(grid);
  layout->addLayout(buttons);
  layout->addWidget(warning);
  layout->addStretch(1);
  ShowValues();
}

void CRvSetCineon::ShowValues() {
  m_displayGamma->setText(FormatDouble(m_values.gammaDisplay));
  m_cineonGamma->setText(FormatDouble(m_values.gammaLog));
  m_black->setText(QString::number(m_values.referenceBlack));
  m_white->setText(QString::number(m_values.referenceWhite));
  m_softClip->setText(QString::number(m_values.softClip));
}

bool CRvSetCineon::Validate(QString* message, QWidget** field) {
  CineonValues values;
  const auto fail = [&](QWidget* edit) {
    *field = edit;
    return false;
  };
  if (!ReadDouble(m_displayGamma, 0.0, kMaxGamma, &values.gammaDisplay, message))
    return fail(m_displayGamma);
  if (!ReadDouble(m_cineonGamma, 0.0, kMaxGamma, &values.gammaLog, message))
    return fail(m_cineonGamma);
  if (!ReadUnsigned(m_black, kMaxReference, &values.referenceBlack, message)) return fail(m_black);
  if (!ReadUnsigned(m_white, kMaxReference, &values.referenceWhite, message)) return fail(m_white);
  if (!ReadUnsigned(m_softClip, kMaxSoftClip, &values.softClip, message)) return fail(m_softClip);
  m_values = values;
  return true;
}

void CRvSetCineon::Apply() {
  if (m_context.engine) {
    m_context.engine->ApplyCineonSettings(m_values.gammaLog, m_values.gammaDisplay,
                                          m_values.referenceBlack, m_values.referenceWhite,
                                          m_values.softClip);
  }
  bWriteCineonValues(m_context.iniPath, m_values);
}

QString CRvSetCineon::ProfileFolder() const {
  return QString::fromStdString(
      strReadFromIniFile(m_context.iniPath, kCineonSection, kCineonKeyDirectory, ""));
}

void CRvSetCineon::RememberFolder(const QString& chosenFile) {
  bWriteToIniFile(m_context.iniPath, kCineonSection, kCineonKeyDirectory,
                  QFileInfo(chosenFile).absolutePath().toStdString());
}

void CRvSetCineon::LoadProfile() {
  const QString path =
      m_context.chooseOpenFile(this, ProfileFolder(), QString::fromLatin1(kLoadFilter));
  if (path.isEmpty()) return;
  RememberFolder(path);
  CineonValues loaded = m_values;
  std::string error;
  switch (LoadCineonProfile(path.toStdString(), &loaded, &error)) {
    case CineonLoadResult::kLoaded:
      m_values = loaded;
      break;
    case CineonLoadResult::kNotRead:
      break;
    case CineonLoadResult::kMalformed:
    case CineonLoadResult::kUnknownExtension:
      m_context.showMessage(this, QString::fromStdString(error));
      return;
  }
  ShowValues();
}

void CRvSetCineon::SaveProfile() {
  QString message;
  QWidget* field = nullptr;
  if (!Validate(&message, &field)) {
    m_context.showMessage(this, message);
    if (field) field->setFocus();
    return;
  }
  const QString path =
      m_context.chooseSaveFile(this, ProfileFolder(), QString::fromLatin1(kSaveFilter));
  if (path.isEmpty()) return;
  RememberFolder(path);
  if (!bWriteCineonValues(path.toStdString(), m_values))
    m_context.showMessage(this, QStringLiteral("Unable to write %1").arg(path));
}
