#include "app/PanelArt.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <functional>

#include "app/RvArt.h"
#include "app/RvBitmapButton.h"

namespace {

const QColor kGlyph(0xD8, 0xDC, 0xE2);
const QColor kGlyphChecked(0x66, 0x99, 0xFF);
constexpr int kButtonSide = 20;

QPixmap NewPixmap(QSize size, qreal dpr) {
  QPixmap pixmap(QSize(int(std::ceil(size.width() * dpr)), int(std::ceil(size.height() * dpr))));
  pixmap.setDevicePixelRatio(dpr);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void ArrowHead(QPainter* p, QPointF tip, qreal angle, qreal size) {
  const QPointF a(tip.x() - size * std::cos(angle - 0.5), tip.y() - size * std::sin(angle - 0.5));
  const QPointF b(tip.x() - size * std::cos(angle + 0.5), tip.y() - size * std::sin(angle + 0.5));
  p->save();
  p->setPen(Qt::NoPen);
  p->drawPolygon(QPolygonF({tip, a, b}));
  p->restore();
}

void DrawGlyph(QPainter* p, RvPanelGlyph glyph, QRectF g, QColor color) {
  const qreal s = g.width();
  const qreal pen = std::max<qreal>(1.2, s / 7.5);
  p->setPen(QPen(color, pen, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
  p->setBrush(color);
  const qreal head = s * 0.38;
  const qreal cy = g.center().y();
  switch (glyph) {
    case RvPanelGlyph::Loop: {
      // A circle that runs back into itself.
      p->setBrush(Qt::NoBrush);
      const QRectF ring = g.adjusted(s * 0.06, s * 0.06, -s * 0.06, -s * 0.06);
      p->drawArc(ring, 100 * 16, 290 * 16);
      p->setBrush(color);
      const qreal r = ring.width() / 2;
      const qreal end = (100 + 290) * M_PI / 180.0;  // counter-clockwise in Qt's angles
      const QPointF tip(ring.center().x() + r * std::cos(end),
                        ring.center().y() - r * std::sin(end));
      ArrowHead(p, tip + QPointF(-s * 0.05, -s * 0.12), M_PI * 0.5, head);
      break;
    }
    case RvPanelGlyph::PingPong:
      p->drawLine(QPointF(g.left() + head * 0.6, cy), QPointF(g.right() - head * 0.6, cy));
      ArrowHead(p, QPointF(g.right(), cy), 0.0, head);
      ArrowHead(p, QPointF(g.left(), cy), M_PI, head);
      break;
    case RvPanelGlyph::Once: {
      const qreal bar = g.right() - pen / 2;
      p->drawLine(QPointF(g.left(), cy), QPointF(bar - head, cy));
      ArrowHead(p, QPointF(bar - pen * 0.8, cy), 0.0, head);
      p->drawLine(QPointF(bar, g.top()), QPointF(bar, g.bottom()));
      break;
    }
    case RvPanelGlyph::CropToggle: {
      // Two crop corners overlapping, as on a cutting mat.
      p->setBrush(Qt::NoBrush);
      const qreal in = s * 0.24;
      p->drawPolyline(
          QPolygonF({QPointF(g.left() + in, g.top()), QPointF(g.left() + in, g.bottom() - in),
                     QPointF(g.right(), g.bottom() - in)}));
      p->drawPolyline(
          QPolygonF({QPointF(g.left(), g.top() + in), QPointF(g.right() - in, g.top() + in),
                     QPointF(g.right() - in, g.bottom())}));
      break;
    }
    case RvPanelGlyph::CropSelect: {
      // A dashed selection frame with a cross-hair at its corner.
      QPen dash(color, std::max<qreal>(1.0, pen * 0.75), Qt::DashLine);
      dash.setDashPattern({2.0, 1.5});
      p->setPen(dash);
      p->setBrush(Qt::NoBrush);
      p->drawRect(QRectF(g.left(), g.top(), s * 0.72, s * 0.72));
      p->setPen(QPen(color, pen));
      const QPointF c(g.right() - s * 0.12, g.bottom() - s * 0.12);
      const qreal a = s * 0.3;
      p->drawLine(QPointF(c.x() - a, c.y()), QPointF(c.x() + a * 0.5, c.y()));
      p->drawLine(QPointF(c.x(), c.y() - a), QPointF(c.x(), c.y() + a * 0.5));
      break;
    }
    case RvPanelGlyph::ResampleToggle: {
      // A small picture growing into a large one.
      p->setBrush(Qt::NoBrush);
      p->setPen(QPen(color, std::max<qreal>(1.0, pen * 0.75)));
      p->drawRect(g);
      p->setBrush(color);
      p->setPen(Qt::NoPen);
      p->drawRect(QRectF(g.left(), g.bottom() - s * 0.4, s * 0.4, s * 0.4));
      p->setPen(QPen(color, pen));
      const QPointF from(g.left() + s * 0.45, g.bottom() - s * 0.45);
      const QPointF tip(g.right() - s * 0.12, g.top() + s * 0.12);
      p->drawLine(from, tip - QPointF(s * 0.15, -s * 0.15));
      ArrowHead(p, tip, -M_PI / 4, head * 0.9);
      break;
    }
  }
}

QPixmap Face(int image, QSize size, qreal dpr, const std::function<void(QPainter*, QColor)>& fn) {
  QPixmap pixmap = NewPixmap(size, dpr);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const bool checked = image >= 2;
  const bool pressed = image == 1 || checked;  // a switched-on toggle stays down
  RvDrawButtonBase(&p, QRectF(0, 0, size.width(), size.height()), pressed);
  if (pressed) p.translate(0.5, 0.5);
  fn(&p, checked ? kGlyphChecked : kGlyph);
  return pixmap;
}

}  // namespace

QPixmap RvPanelButtonFace(RvPanelGlyph glyph, int image, QSize size, qreal dpr) {
  return Face(image, size, dpr, [&](QPainter* p, QColor color) {
    const qreal side = std::min(size.width(), size.height());
    const QRectF r((size.width() - side) / 2, (size.height() - side) / 2, side, side);
    DrawGlyph(p, glyph, r.adjusted(side * 0.24, side * 0.24, -side * 0.24, -side * 0.24), color);
  });
}

QPixmap RvTextButtonFace(const QString& text, int image, QSize size, qreal dpr) {
  return Face(image, size, dpr, [&](QPainter* p, QColor color) {
    QFont font(QStringLiteral("Sans"));
    font.setPixelSize(11);
    p->setFont(font);
    p->setPen(color);
    p->drawText(QRectF(0, 0, size.width(), size.height()), Qt::AlignCenter, text);
  });
}

CRvBitmapButton* RvMakePanelButton(QWidget* parent, int controlId, RvPanelGlyph glyph,
                                   const char* toolTip) {
  auto* button = new CRvBitmapButton(parent);
  button->setProperty("controlId", controlId);
  button->resize(kButtonSide, kButtonSide);
  button->SetImageSource(
      [glyph](int index, QSize size, qreal ratio) {
        return RvPanelButtonFace(glyph, index, size, ratio);
      },
      4);
  button->SetToolTipText(QString::fromLatin1(toolTip));
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

CRvBitmapButton* RvMakeTextButton(QWidget* parent, int controlId, const QString& text,
                                  const char* toolTip, int width) {
  auto* button = new CRvBitmapButton(parent);
  button->setProperty("controlId", controlId);
  button->setText(text);
  button->resize(width, kButtonSide);
  button->SetImageSource([text](int index, QSize size,
                                qreal ratio) { return RvTextButtonFace(text, index, size, ratio); },
                         4);
  button->SetToolTipText(QString::fromLatin1(toolTip));
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

void RvStylePanel(QWidget* panel) {
  panel->setStyleSheet(QStringLiteral(
      "QLineEdit, QComboBox { background: #23262b; color: #d8dce2; border: 1px solid #3a3f47;"
      " padding: 0 2px; font-size: 11px; selection-background-color: #6699ff; }"
      "QLineEdit:focus, QComboBox:focus { border-color: #6699ff; }"
      "QComboBox::drop-down { width: 14px; border: none; }"
      "QComboBox QAbstractItemView { background: #23262b; color: #d8dce2;"
      " selection-background-color: #6699ff; }"
      "QLabel { color: #9aa1ab; font-size: 11px; }"));
}
