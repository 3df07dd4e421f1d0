#include "settings/GhostingPage.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/DrawThread.h"
#include "settings/SettingsIds.h"

CRvSetGhosting::CRvSetGhosting(const CRvSettingsContext& context, QWidget* parent)
    : CRvSettingsPage(parent), m_context(context) {
  CKaMoBlurBuffer* buffer = context.engine ? context.engine->GetMoBlurBuffer() : nullptr;

  auto* modeGroup = new QGroupBox(QStringLiteral("Ghosting mode"), this);
  auto* modeColumn = new QVBoxLayout(modeGroup);
  m_mode = new QButtonGroup(this);
  const struct {
    const char* text;
    int mode;
    int id;
  } options[] = {{"&Off", CKaMoBlurBuffer::kModeOff, kRvIdGhostOff},
                 {"&Trailfade", CKaMoBlurBuffer::kModeTrailFade, kRvIdGhostTrailfade},
                 {"&Equal", CKaMoBlurBuffer::kModeEqual, kRvIdGhostEqual}};
  for (const auto& option : options) {
    auto* button =
        RvWithId(new QRadioButton(QString::fromLatin1(option.text), modeGroup), option.id);
    m_mode->addButton(button, option.mode);
    modeColumn->addWidget(button);
  }

  auto* valueGroup = new QGroupBox(QStringLiteral("Ghosting values"), this);
  m_frames = RvWithId(new QSpinBox(valueGroup), kRvIdGhostFrames);
  m_frames->setRange(0, kMaxFrames);
  m_alpha = RvWithId(new QSpinBox(valueGroup), kRvIdGhostAlpha);
  m_alpha->setRange(0, kMaxAlpha);
  for (QSpinBox* box : {m_frames, m_alpha})
    box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 40);
  auto* form = new QFormLayout(valueGroup);
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  form->addRow(QStringLiteral("Ghosting &frames:"), m_frames);
  form->addRow(QStringLiteral("Ghosting &alpha:"), m_alpha);

  const int mode = buffer ? buffer->GetMode() : CKaMoBlurBuffer::kModeOff;
  QAbstractButton* checked = m_mode->button(mode);
  (checked ? checked : m_mode->button(CKaMoBlurBuffer::kModeOff))->setChecked(true);
  m_frames->setValue(buffer ? int(std::min<std::uint32_t>(buffer->GetFrames(), kMaxFrames)) : 0);
  m_alpha->setValue(buffer ? buffer->GetAlpha() : 0);
  UpdateEnabled();

  // The buffer's fields are atomics of their own: the draw thread sees each change with its
  // next frame.
  connect(m_mode, &QButtonGroup::idClicked, this, [this] {
    UpdateEnabled();
    Apply();
  });
  connect(m_frames, &QSpinBox::valueChanged, this, &CRvSetGhosting::Apply);
  connect(m_alpha, &QSpinBox::valueChanged, this, &CRvSetGhosting::Apply);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(10);
  layout->addWidget(modeGroup);
  layout->addWidget(valueGroup);
  layout->addStretch(1);
}

void CRvSetGhosting::UpdateEnabled() {
  const int mode = m_mode->checkedId();
  m_frames->setEnabled(mode == CKaMoBlurBuffer::kModeEqual);
  m_alpha->setEnabled(mode == CKaMoBlurBuffer::kModeEqual ||
                      mode == CKaMoBlurBuffer::kModeTrailFade);
}

void CRvSetGhosting::Apply() {
  if (!m_context.engine) return;
  CKaMoBlurBuffer* buffer = m_context.engine->GetMoBlurBuffer();
  buffer->SetMode(std::max(0, m_mode->checkedId()));
  buffer->SetFrames(std::uint32_t(m_frames->value()));
  buffer->SetAlpha(std::uint8_t(m_alpha->value()));
  m_context.engine->RequestRedraw();
}
