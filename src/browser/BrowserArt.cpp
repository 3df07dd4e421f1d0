#include "browser/BrowserArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kIconSize = 16;
const QColor kFaceTop(0x4C, 0x52, 0x5B);
const QColor kFaceBottom(0x26, 0x29, 0x2E);
const QColor kFaceBorder(0x12, 0x14, 0x17);
const QColor kLabel(0xD8, 0xDC, 0xE2);
const QColor kPaper(0xF2, 0xF4, 0xF7);
const QColor kPaperEdge(0x5A, 0x62, 0x6E);
const QColor kPicture(0x4F, 0x8F, 0xD8);
const QColor kHill(0x3C, 0xA0, 0x5A);

// One sheet: a page with a folded corner and a small landscape on it.
void DrawSheet(QPainter* p, const QRectF& r) {
  const qreal fold = r.width() * 0.3;
  QPolygonF page({r.topLeft(), QPointF(r.right() - fold, r.top()),
                  QPointF(r.right(), r.top() + fold), r.bottomRight(), r.bottomLeft()});
  p->setPen(QPen(kPaperEdge, 1));
  p->setBrush(kPaper);
  p->drawPolygon(page);
  const QRectF picture = r.adjusted(2, fold + 1, -2, -2);
  p->setPen(Qt::NoPen);
  p->setBrush(kPicture);
  p->drawRect(picture);
  p->setBrush(kHill);
  p->drawPolygon(QPolygonF({picture.bottomLeft(),
                            QPointF(picture.left() + picture.width() * 0.45, picture.center().y()),
                            picture.bottomRight()}));
}

}  // namespace

QPixmap KaListIcon(int image, qreal dpr) {
  QPixmap pixmap(int(std::ceil(kIconSize * dpr)), int(std::ceil(kIconSize * dpr)));
  pixmap.setDevicePixelRatio(dpr);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  if (image == kKaImageSequence) {
    // A stack of three sheets: many numbered frames.
    DrawSheet(&p, QRectF(5.5, 0.5, 10, 11));
    DrawSheet(&p, QRectF(3.0, 2.5, 10, 11));
    DrawSheet(&p, QRectF(0.5, 4.5, 10, 11));
  } else {
    DrawSheet(&p, QRectF(2.5, 0.5, 11, 15));
  }
  return pixmap;
}

QIcon KaListIconSet(int image) {
  QIcon icon;
  icon.addPixmap(KaListIcon(image, 1.0));
  icon.addPixmap(KaListIcon(image, 2.0));
  return icon;
}

CKaPanelButton::CKaPanelButton(const QString& label, int controlId, const QString& toolTip,
                               QWidget* parent)
    : QAbstractButton(parent) {
  setText(label);
  setProperty("controlId", controlId);
  setToolTip(toolTip);
  setFocusPolicy(Qt::TabFocus);
}

QSize CKaPanelButton::sizeHint() const {
  const int textWidth = fontMetrics().horizontalAdvance(text());
  return QSize(std::max(22, textWidth + 12), 20);
}

void CKaPanelButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing, true);
  const bool pressed = isDown();
  const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, pressed ? kFaceBottom.darker(115) : kFaceTop);
  g.setColorAt(1, pressed ? kFaceTop.darker(120) : kFaceBottom);
  p.setPen(QPen(kFaceBorder, 1));
  p.setBrush(g);
  p.drawRoundedRect(r, 2.5, 2.5);
  p.setPen(isEnabled() ? kLabel : kLabel.darker(200));
  QFont font = p.font();
  font.setBold(true);
  p.setFont(font);
  p.drawText(rect().translated(pressed ? 1 : 0, pressed ? 1 : 0), Qt::AlignCenter, text());
  if (hasFocus()) {
    p.setPen(QPen(kLabel, 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(2, 2, -2, -2), 1.5, 1.5);
  }
}
