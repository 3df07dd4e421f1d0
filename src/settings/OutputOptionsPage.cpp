#include "settings/OutputOptionsPage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QVBoxLayout>

#include "settings/SettingsIds.h"
#include "support/NesCommon55.h"

CRvSetOutputOptions::CRvSetOutputOptions(const CRvSettingsContext& context, QWidget* parent)
    : CRvSettingsPage(parent), m_context(context) {
  auto* group = new QGroupBox(QStringLiteral("AVI Output"), this);
  m_startMediaPlayer =
      RvWithId(new QCheckBox(QStringLiteral("Start &MediaPlayer when done compressing"), group),
               kRvIdStartMediaPlayer);
  m_startMediaPlayer->setChecked(
      bReadFromIniFile(context.iniPath, kRvKeySectionOutput, "StartMediaPlayer", true));
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(m_startMediaPlayer);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->addWidget(group);
  layout->addStretch(1);
}

void CRvSetOutputOptions::Apply() {
  bWriteToIniFile(m_context.iniPath, kRvKeySectionOutput, "StartMediaPlayer",
                  m_startMediaPlayer->isChecked());
}
