#include "settings/DirectDrawPage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QListWidget>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cstdio>

#include "settings/SettingsIds.h"
#include "support/NesCommon55.h"

namespace {
constexpr unsigned kTrueColorBits = 24;
}

std::string RvFormatDisplayMode(int width, int height, int bitsPerPixel) {
  char line[64];
  std::snprintf(line, sizeof line, "%i x %i\t%i Bit", width, height, bitsPerPixel);
  return line;
}

std::vector<std::string> RvDisplayModeLines(const std::vector<KaDisplayMode>& modes,
                                            bool trueColorOnly) {
  std::vector<std::string> lines;
  for (const KaDisplayMode& mode : modes) {
    if (trueColorOnly && mode.bitsPerPixel < kTrueColorBits) continue;
    lines.push_back(RvFormatDisplayMode(int(mode.width), int(mode.height), int(mode.bitsPerPixel)));
  }
  return lines;
}

bool bRvParseDisplayMode(const std::string& line, int* width, int* height, int* bitsPerPixel) {
  std::string rest = line;
  int* targets[3] = {width, height, bitsPerPixel};
  for (int* target : targets) {
    std::string token;
    if (!bGetNextToken(&rest, " x\t", &token)) return false;
    long value = 0;
    int consumed = 0;
    if (!bString2Long(token, &value, &consumed, 10) || consumed != int(token.size()) ||
        value <= 0) {
      return false;
    }
    *target = int(value);
  }
  return true;
}

CRvSetDirectDraw::CRvSetDirectDraw(const CRvSettingsContext& context, QWidget* parent)
    : CRvSettingsPage(parent), m_context(context) {
  const std::string& ini = context.iniPath;
  m_use = RvWithId(new QCheckBox(QStringLiteral("&Use DirectDraw when in full screen mode"), this),
                   kRvIdUseDirectDraw);
  m_use->setChecked(bReadFromIniFile(ini, kRvKeySectionDirectDraw, "UseDirectDraw", false));
  m_trueColorOnly = RvWithId(new QCheckBox(QStringLiteral("&Show only truecolor modes"), this),
                             kRvIdTrueColorOnly);
  m_trueColorOnly->setChecked(
      bReadFromIniFile(ini, kRvKeySectionDirectDraw, "TrueColorOnly", true));

  auto* group =
      new QGroupBox(QStringLiteral("Use the following display mode when using DirectDraw"), this);
  m_modes = RvWithId(new QListWidget(group), kRvIdDisplayModes);
  m_modes->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(m_trueColorOnly);
  groupLayout->addWidget(m_modes, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(10);
  layout->addWidget(m_use);
  layout->addWidget(group, 1);

  connect(m_use, &QCheckBox::clicked, this, [this] { OnBoxClicked(m_use, "UseDirectDraw"); });
  connect(m_trueColorOnly, &QCheckBox::clicked, this,
          [this] { OnBoxClicked(m_trueColorOnly, "TrueColorOnly"); });
  connect(m_modes, &QListWidget::itemSelectionChanged, this, &CRvSetDirectDraw::OnModeSelected);
  FillModeList();
}

void CRvSetDirectDraw::OnBoxClicked(QCheckBox* box, const char* key) {
  FillModeList();
  bWriteToIniFile(m_context.iniPath, kRvKeySectionDirectDraw, key, box->isChecked());
}

void CRvSetDirectDraw::FillModeList() {
  const QSignalBlocker blocker(m_modes);
  m_modes->clear();
  if (!m_use->isChecked()) {
    m_modes->setEnabled(false);
    m_trueColorOnly->setEnabled(false);
    return;
  }
  std::vector<KaDisplayMode> modes;
  std::string error;
  if (!m_context.displayModes(window() ? window()->screen() : nullptr, &modes, &error)) {
    m_context.showMessage(this,
                          QString::fromStdString(error.empty() ? kKaDisplayGeneralError : error));
    return;
  }
  for (const std::string& line : RvDisplayModeLines(modes, m_trueColorOnly->isChecked()))
    m_modes->addItem(QString::fromStdString(line));
  m_modes->setEnabled(true);
  m_trueColorOnly->setEnabled(true);

  const std::string& ini = m_context.iniPath;
  const QString stored = QString::fromStdString(RvFormatDisplayMode(
      iReadFromIniFile(ini, kRvKeySectionDirectDraw, "HorzRes", kDefaultWidth),
      iReadFromIniFile(ini, kRvKeySectionDirectDraw, "VertRes", kDefaultHeight),
      iReadFromIniFile(ini, kRvKeySectionDirectDraw, "BitsPerPixels", kDefaultBits)));
  for (int row = 0; row < m_modes->count(); ++row) {
    if (m_modes->item(row)->text() == stored) {
      m_modes->setCurrentRow(row);
      m_modes->scrollToItem(m_modes->item(row));
      break;
    }
  }
}

void CRvSetDirectDraw::OnModeSelected() {
  const QList<QListWidgetItem*> selected = m_modes->selectedItems();
  if (selected.isEmpty()) return;
  int width = 0, height = 0, bits = 0;
  if (!bRvParseDisplayMode(selected.first()->text().toStdString(), &width, &height, &bits)) return;
  const std::string& ini = m_context.iniPath;
  bWriteToIniFile(ini, kRvKeySectionDirectDraw, "HorzRes", width);
  bWriteToIniFile(ini, kRvKeySectionDirectDraw, "VertRes", height);
  bWriteToIniFile(ini, kRvKeySectionDirectDraw, "BitsPerPixels", bits);
}
