#include "settings/PlaybackPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "engine/DrawThread.h"
#include "sequence/PlayList.h"
#include "settings/SettingsIds.h"
#include "support/NesCommon55.h"

namespace {

constexpr const char* kCriterionTexts[CRvSetPlayback::kCriterionCount] = {
    "Timestamp (modification and creation time)",
    "Timestamp (modification time)",
    "Timestamp (creation time)",
    "File size",
};
constexpr int kSwatchInset = 2;

}  // namespace

std::string RvMemoryShareText(int percent, std::uint64_t physicalBytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%i%%", percent);
  if (physicalBytes == 0) return text;
  const double bytes = double(physicalBytes) * percent / 100.0;
  const double gb = bytes / (1024.0 * 1024.0 * 1024.0);
  char amount[48];
  if (gb >= 1.0)
    std::snprintf(amount, sizeof amount, " = %.1f GB", gb);
  else
    std::snprintf(amount, sizeof amount, " = %.0f MB", bytes / (1024.0 * 1024.0));
  return std::string(text) + amount;
}

QColor RvColorFromRef(std::uint32_t colorRef) {
  return QColor(int(colorRef & 0xFF), int((colorRef >> 8) & 0xFF), int((colorRef >> 16) & 0xFF));
}

std::uint32_t RvColorRef(const QColor& color) {
  return std::uint32_t(color.red()) | (std::uint32_t(color.green()) << 8) |
         (std::uint32_t(color.blue()) << 16);
}

CRvColorSwatch::CRvColorSwatch(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  setMinimumSize(48, 24);
}

void CRvColorSwatch::SetColor(const QColor& color) {
  m_color = color;
  update();
}

void CRvColorSwatch::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  painter.fillRect(rect().adjusted(kSwatchInset, kSwatchInset, -kSwatchInset, -kSwatchInset),
                   m_color);
}

CRvSetPlayback::CRvSetPlayback(const CRvSettingsContext& context, QWidget* parent)
    : CRvSettingsPage(parent), m_context(context), m_physical(CRvPlayList::RvPhysicalMemory()) {
  const std::string& ini = context.iniPath;

  // Memory.
  auto* memoryGroup = new QGroupBox(QStringLiteral("Usage of physical memory"), this);
  m_memory = RvWithId(new QSlider(Qt::Horizontal, memoryGroup), kRvIdMemorySlider);
  m_memory->setRange(0, 100);
  m_memory->setTickPosition(QSlider::TicksBelow);
  m_memory->setTickInterval(10);
  m_memory->setPageStep(10);
  m_memoryText = RvWithId(new QLabel(QStringLiteral("0%"), memoryGroup), kRvIdMemoryPercent);
  m_memoryText->setMinimumWidth(
      m_memoryText->fontMetrics().horizontalAdvance(QStringLiteral("100% = 9999.9 GB")));
  auto* memoryRow = new QHBoxLayout(memoryGroup);
  memoryRow->addWidget(m_memory, 1);
  memoryRow->addSpacing(8);
  memoryRow->addWidget(m_memoryText);
  const int percent = std::clamp(
      iReadFromIniFile(ini, kRvKeySectionPlayback, "RAMPercent", kDefaultRamPercent), 0, 100);
  m_memory->setValue(percent);
  m_memoryText->setText(QString::fromStdString(RvMemoryShareText(percent, m_physical)));
  connect(m_memory, &QSlider::valueChanged, this, &CRvSetPlayback::OnMemoryMoved);

  m_playAfterOpening = RvWithId(
      new QCheckBox(QStringLiteral("Automatically play sequence when exiting sequence browser"),
                    this),
      kRvIdPlayAfterOpening);
  m_playAfterOpening->setChecked(
      bReadFromIniFile(ini, kRvKeySectionPlayback, "PlayAfterOpening", false));
  connect(m_playAfterOpening, &QCheckBox::toggled, this, [this](bool on) {
    bWriteToIniFile(m_context.iniPath, kRvKeySectionPlayback, "PlayAfterOpening", on);
  });

  // Background colour: the stored colour takes effect as soon as the page exists.
  auto* colorGroup = new QGroupBox(QStringLiteral("Background Color"), this);
  m_swatch = RvWithId(new CRvColorSwatch(colorGroup), kRvIdBackColorSwatch);
  auto* choose =
      RvWithId(new QPushButton(QStringLiteral("&Choose"), colorGroup), kRvIdBackColorChoose);
  auto* note = RvWithId(
      new QLabel(QStringLiteral("Note: Color is only accurate in 24/32 bit color depth modes"),
                 colorGroup),
      kRvIdBackColorNote);
  note->setWordWrap(true);
  auto* colorRow = new QHBoxLayout(colorGroup);
  colorRow->addWidget(m_swatch);
  colorRow->addWidget(choose);
  colorRow->addSpacing(8);
  colorRow->addWidget(note, 1);
  const std::uint32_t back =
      std::uint32_t(iReadFromIniFile(ini, kRvKeySectionPlayback, "BackColor", 0));
  bWriteToIniFile(ini, kRvKeySectionPlayback, "BackColor", int(back));
  if (context.engine) context.engine->SetBackColor(back);
  m_swatch->SetColor(RvColorFromRef(back));
  connect(choose, &QPushButton::clicked, this, &CRvSetPlayback::ChooseColor);

  // Changed-frames criterion, applied when the sheet closes.
  auto* criterionGroup = new QGroupBox(
      QStringLiteral("Criterion for determining changed frames (unload changed frames)"), this);
  m_criterion = new QButtonGroup(this);
  auto* criterionColumn = new QVBoxLayout(criterionGroup);
  for (int i = 0; i < kCriterionCount; ++i) {
    auto* option =
        RvWithId(new QRadioButton(QString::fromLatin1(kCriterionTexts[i]), criterionGroup),
                 kRvIdCriterionFirst + i);
    m_criterion->addButton(option, i);
    criterionColumn->addWidget(option);
  }
  const int criterion = iReadFromIniFile(ini, kRvKeySectionPlayback, "ChangedFramesCriterion", 0);
  if (QAbstractButton* option = m_criterion->button(std::clamp(criterion, 0, kCriterionCount - 1)))
    option->setChecked(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(10);
  layout->addWidget(memoryGroup);
  layout->addWidget(m_playAfterOpening);
  layout->addWidget(colorGroup);
  layout->addWidget(criterionGroup);
  layout->addStretch(1);
}

void CRvSetPlayback::OnMemoryMoved(int percent) {
  m_memoryText->setText(QString::fromStdString(RvMemoryShareText(percent, m_physical)));
  bWriteToIniFile(m_context.iniPath, kRvKeySectionPlayback, "RAMPercent", percent);
  // The play list being played measures its budget with the new share from its next fetch.
  if (m_context.engine) {
    if (CRvPlayList* list = m_context.engine->GetPlayList()) list->SetRAMPercent(percent);
  }
}

void CRvSetPlayback::ChooseColor() {
  const std::optional<QColor> chosen = m_context.chooseColor(this, m_swatch->Color());
  if (!chosen || !chosen->isValid()) return;
  m_swatch->SetColor(*chosen);
  const std::uint32_t ref = RvColorRef(*chosen);
  bWriteToIniFile(m_context.iniPath, kRvKeySectionPlayback, "BackColor", int(ref));
  if (m_context.engine) {
    m_context.engine->SetBackColor(ref);
    m_context.engine->RequestRedraw();
  }
}

int CRvSetPlayback::Criterion() const { return std::max(0, m_criterion->checkedId()); }

void CRvSetPlayback::Apply() {
  const int criterion = Criterion();
  bWriteToIniFile(m_context.iniPath, kRvKeySectionPlayback, "ChangedFramesCriterion", criterion);
  if (m_context.engine) m_context.engine->SetChangedFramesCriterion(std::uint32_t(criterion));
}
