#include "app/RvPlayPanel.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <limits>

#include "app/PanelArt.h"
#include "app/RvBitmapButton.h"
#include "app/RvMainDlg.h"
#include "support/NesCommon55.h"

namespace {

constexpr int kButtonX = 2;
constexpr int kButtonY = 2;
constexpr int kButtonPitch = 22;
constexpr int kEditY = 4;
constexpr int kEditHeight = 16;

struct FieldSpec {
  int controlId;
  const char* label;
  const char* toolTip;
  int labelWidth;
  int editWidth;
};
constexpr std::array<FieldSpec, CRvPlayPanel::kFieldCount> kFields = {{
    {CRvPlayPanel::kFpsId, "fps", "Frame rate (frames per second)", 20, 34},
    {CRvPlayPanel::kStepId, "step", "Frame step", 26, 30},
    {CRvPlayPanel::kLoopPauseId, "pause", "Pause at the loop end (seconds)", 32, 30},
}};

// A decimal number as the fields hold them: nothing but digits after an optional sign, and a
// count that fits the engine's unsigned values (a negative rate or step would wrap round).
bool ParseCount(const QString& text, std::uint32_t* value) {
  long number = 0;
  if (!bString2Long(text.toStdString(), &number, nullptr, 10)) return false;
  if (number < 0 || number > long(std::numeric_limits<std::uint32_t>::max())) return false;
  *value = std::uint32_t(number);
  return true;
}

}  // namespace

CRvPlayPanel::CRvPlayPanel(CRvMainDlg* dlg, QWidget* parent) : QWidget(parent), m_dlg(dlg) {
  setObjectName(QStringLiteral("playPanel"));
  RvStylePanel(this);
  struct ModeSpec {
    int id;
    RvPanelGlyph glyph;
    const char* toolTip;
  };
  const std::array<ModeSpec, kModeCount> modes = {{
      {kLoopId, RvPanelGlyph::Loop, "Loop"},
      {kPingPongId, RvPanelGlyph::PingPong, "Ping-Pong"},
      {kOnceId, RvPanelGlyph::Once, "Play Once"},
  }};
  for (int i = 0; i < kModeCount; ++i) {
    CRvBitmapButton* button = RvMakePanelButton(
        this, modes[std::size_t(i)].id, modes[std::size_t(i)].glyph, modes[std::size_t(i)].toolTip);
    button->move(kButtonX + i * kButtonPitch, kButtonY);
    connect(button, &QAbstractButton::clicked, this, [this, i] { SelectMode(Mode(i)); });
    m_modes[std::size_t(i)] = button;
  }
  int x = kButtonX + kModeCount * kButtonPitch + 4;
  for (int i = 0; i < kFieldCount; ++i) {
    const FieldSpec& spec = kFields[std::size_t(i)];
    auto* label = new QLabel(QString::fromLatin1(spec.label), this);
    label->setGeometry(x, kEditY, spec.labelWidth, kEditHeight);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    x += spec.labelWidth + 3;
    auto* edit = new QLineEdit(this);
    edit->setFocusPolicy(Qt::ClickFocus);  // keys stay the command table's until clicked
    edit->setProperty("controlId", spec.controlId);
    edit->setToolTip(QString::fromLatin1(spec.toolTip));
    edit->setGeometry(x, kEditY, spec.editWidth, kEditHeight);
    label->setBuddy(edit);
    connect(edit, &QLineEdit::returnPressed, this, [this] { Apply(); });
    m_fields[std::size_t(i)] = edit;
    x += spec.editWidth + 4;
  }
  resize(x, kHeight);
}

void CRvPlayPanel::SelectMode(Mode mode) {
  switch (mode) {
    case kLoop:
      m_dlg->SetPlayModeLoop();
      break;
    case kPingPong:
      m_dlg->SetPlayModePingPong();
      break;
    case kOnce:
      m_dlg->SetPlayModeOnce();
      break;
    case kModeCount:
      return;
  }
  for (int i = 0; i < kModeCount; ++i) m_modes[std::size_t(i)]->SetChecked(i == mode);
  m_dlg->setFocus();
}

void CRvPlayPanel::Refresh() {
  if (!m_dlg->Engine()) return;
  m_fields[kFps]->setText(QString::number(m_dlg->GetFps()));
  m_fields[kStep]->setText(QString::number(m_dlg->GetFrameStep()));
  m_fields[kLoopPause]->setText(QString::number(m_dlg->GetLoopPause()));
  m_modes[kLoop]->SetChecked(m_dlg->IsPlayModeLoop());
  m_modes[kPingPong]->SetChecked(m_dlg->IsPlayModePingPong());
  m_modes[kOnce]->SetChecked(m_dlg->IsPlayModeOnce());
}

bool CRvPlayPanel::Apply() {
  if (!m_dlg->Engine()) return false;
  for (int i = 0; i < kFieldCount; ++i) {
    std::uint32_t value = 0;
    if (!ParseCount(m_fields[std::size_t(i)]->text(), &value)) {
      QApplication::beep();
      m_fields[std::size_t(i)]->setFocus();
      m_fields[std::size_t(i)]->selectAll();
      return false;
    }
    if (i == kFps) m_dlg->SetFps(value);
    if (i == kStep) m_dlg->SetFrameStep(value);
    if (i == kLoopPause) m_dlg->SetLoopPause(value);
  }
  Refresh();
  m_dlg->setFocus();
  return true;
}
