#include "app/RvInOutPanel.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <limits>

#include "app/PanelArt.h"
#include "app/RvBitmapButton.h"
#include "app/RvMainDlg.h"
#include "engine/DrawThread.h"
#include "sequence/PlayList.h"
#include "support/NesCommon55.h"

namespace {

constexpr int kEditY = 4;
constexpr int kEditHeight = 16;
constexpr int kEditWidth = 52;
constexpr int kButtonY = 2;

bool ParseFrameNumber(const QString& text, std::uint32_t* value) {
  long number = 0;
  if (!bString2Long(text.toStdString(), &number, nullptr, 10)) return false;
  // Frame numbers are unsigned 32-bit values; a negative one names no frame.
  if (number < 0 || number > long(std::numeric_limits<std::uint32_t>::max())) return false;
  *value = std::uint32_t(number);
  return true;
}

}  // namespace

std::uint32_t RvFirstIndexAtOrAbove(const CRvPlayList& list, std::uint32_t number) {
  const std::uint32_t* numbers = list.GetFrameNumbers();
  for (std::uint32_t i = 0; numbers && i < list.GetFrameCount(); ++i) {
    if (numbers[i] >= number) return i;
  }
  return CKaDrawThread::kNone;
}

CRvInOutPanel::CRvInOutPanel(CRvMainDlg* dlg, QWidget* parent) : QWidget(parent), m_dlg(dlg) {
  setObjectName(QStringLiteral("inOutPanel"));
  RvStylePanel(this);
  int x = 2;
  const auto field = [this, &x](const char* caption, int labelWidth, int id) {
    auto* label = new QLabel(QString::fromLatin1(caption), this);
    label->setGeometry(x, kEditY, labelWidth, kEditHeight);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    x += labelWidth + 3;
    auto* edit = new QLineEdit(this);
    edit->setFocusPolicy(Qt::ClickFocus);  // keys stay the command table's until clicked
    edit->setProperty("controlId", id);
    edit->setGeometry(x, kEditY, kEditWidth, kEditHeight);
    label->setBuddy(edit);
    connect(edit, &QLineEdit::returnPressed, this, [this] { Apply(); });
    x += kEditWidth + 4;
    return edit;
  };
  m_in = field("In", 14, kInId);
  m_out = field("Out", 20, kOutId);
  m_set =
      RvMakeTextButton(this, kSetId, QStringLiteral("Set"), "Set In/Out Points to Cache Size", 30);
  m_set->move(x, kButtonY);
  x += m_set->width() + 2;
  m_clear =
      RvMakeTextButton(this, kClearId, QStringLiteral("ClearPoints"), "Clear In/Out Points", 68);
  m_clear->move(x, kButtonY);
  x += m_clear->width() + 4;
  connect(m_set, &QAbstractButton::clicked, this, [this] { SetToCacheSize(); });
  connect(m_clear, &QAbstractButton::clicked, this, [this] { ClearPoints(); });
  resize(x, kHeight);
}

void CRvInOutPanel::Refresh() {
  CKaDrawThread* engine = m_dlg->Engine();
  CRvPlayList* list = m_dlg->PlayList();
  const std::uint32_t* numbers = list ? list->GetFrameNumbers() : nullptr;
  const std::uint32_t count = list ? list->GetFrameCount() : 0;
  if (!engine || !numbers || count == 0) {
    m_in->clear();
    m_out->clear();
    return;
  }
  const std::uint32_t in = std::min(engine->GetInPoint(), count - 1);
  const std::uint32_t out = std::min(engine->GetOutPoint(), count - 1);
  m_in->setText(QString::number(numbers[in]));
  m_out->setText(QString::number(numbers[out]));
}

bool CRvInOutPanel::Apply() {
  CKaDrawThread* engine = m_dlg->Engine();
  CRvPlayList* list = m_dlg->PlayList();
  std::uint32_t in = 0, out = 0;
  const auto refuse = [](QLineEdit* edit) {
    edit->setFocus();
    edit->selectAll();
    QApplication::beep();
    return false;
  };
  if (!ParseFrameNumber(m_in->text(), &in)) return refuse(m_in);
  if (!ParseFrameNumber(m_out->text(), &out)) return refuse(m_out);
  if (!engine || !list) return refuse(m_in);
  const std::uint32_t inIndex = RvFirstIndexAtOrAbove(*list, in);
  if (inIndex == CKaDrawThread::kNone) return refuse(m_in);
  engine->SetInPoint(inIndex, true);
  const std::uint32_t outIndex = RvFirstIndexAtOrAbove(*list, out);
  if (outIndex == CKaDrawThread::kNone) {
    Refresh();
    return refuse(m_out);
  }
  engine->SetOutPoint(outIndex, true);
  Refresh();
  m_dlg->setFocus();
  return true;
}

void CRvInOutPanel::SetToCacheSize() {
  CKaDrawThread* engine = m_dlg->Engine();
  CRvPlayList* list = m_dlg->PlayList();
  if (engine && list) {
    // The same stretch as the frame bar's cache band: capacity times step after the in point.
    const std::uint64_t span = std::uint64_t(list->GetCacheCapacity()) * engine->GetStep();
    engine->SetInOutSpan(std::uint32_t(std::min<std::uint64_t>(span, list->GetFrameCount())));
  }
  Refresh();
  m_dlg->setFocus();
}

void CRvInOutPanel::ClearPoints() {
  if (CKaDrawThread* engine = m_dlg->Engine()) engine->ClearInOut();
  Refresh();
  m_dlg->setFocus();
}
