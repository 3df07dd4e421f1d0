#include "app/RvArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {

const QColor kFaceTop(0x4C, 0x52, 0x5B);
const QColor kFaceBottom(0x26, 0x29, 0x2E);
const QColor kFaceBorder(0x12, 0x14, 0x17);
const QColor kGlyph(0xD8, 0xDC, 0xE2);
const QColor kGlyphChecked(0x66, 0x99, 0xFF);  // the in/out blue of the frame bar

QPixmap NewPixmap(QSize size, qreal dpr) {
  QPixmap pixmap(QSize(int(std::ceil(size.width() * dpr)), int(std::ceil(size.height() * dpr))));
  pixmap.setDevicePixelRatio(dpr);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void DrawFace(QPainter* p, QRectF r, bool pressed) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, pressed ? kFaceBottom.darker(115) : kFaceTop);
  g.setColorAt(1, pressed ? kFaceTop.darker(120) : kFaceBottom);
  p->setPen(QPen(kFaceBorder, 1));
  p->setBrush(g);
  p->drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 2.5, 2.5);
  if (!pressed) {
    p->setPen(QPen(QColor(255, 255, 255, 40), 1));
    p->drawLine(QPointF(r.left() + 2.5, r.top() + 1.5), QPointF(r.right() - 2.5, r.top() + 1.5));
  }
}

QPolygonF Triangle(QRectF r, bool right) {
  if (right) return QPolygonF({r.topLeft(), QPointF(r.right(), r.center().y()), r.bottomLeft()});
  return QPolygonF({r.topRight(), QPointF(r.left(), r.center().y()), r.bottomRight()});
}

void Magnifier(QPainter* p, QRectF r, bool plus) {
  const qreal s = r.width();
  const QRectF lens(r.left(), r.top(), s * 0.68, s * 0.68);
  p->setBrush(Qt::NoBrush);
  p->drawEllipse(lens);
  p->drawLine(QPointF(lens.right() - s * 0.08, lens.bottom() - s * 0.08), r.bottomRight());
  const QPointF c = lens.center();
  const qreal a = s * 0.18;
  p->drawLine(QPointF(c.x() - a, c.y()), QPointF(c.x() + a, c.y()));
  if (plus) p->drawLine(QPointF(c.x(), c.y() - a), QPointF(c.x(), c.y() + a));
}

void Gear(QPainter* p, QRectF r, QColor color) {
  const QPointF c = r.center();
  const qreal outer = r.width() / 2, inner = outer * 0.72;
  QPainterPath path;
  const int teeth = 8;
  for (int i = 0; i < teeth * 2; ++i) {
    const qreal a0 = (i - 0.5) * M_PI / teeth, a1 = (i + 0.5) * M_PI / teeth;
    const qreal rad = (i % 2) ? inner : outer;
    const QPointF p0(c.x() + rad * std::cos(a0), c.y() + rad * std::sin(a0));
    const QPointF p1(c.x() + rad * std::cos(a1), c.y() + rad * std::sin(a1));
    if (i == 0)
      path.moveTo(p0);
    else
      path.lineTo(p0);
    path.lineTo(p1);
  }
  path.closeSubpath();
  path.addEllipse(c, outer * 0.32, outer * 0.32);
  path.setFillRule(Qt::OddEvenFill);
  p->setPen(Qt::NoPen);
  p->setBrush(color);
  p->drawPath(path);
}

void DrawGlyph(QPainter* p, RvGlyph glyph, QRectF r, QColor color, bool checked) {
  const qreal s = r.width();
  const qreal pen = std::max<qreal>(1.2, s / 9.0);
  p->setPen(QPen(color, pen, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
  p->setBrush(color);
  const QRectF g = r.adjusted(s * 0.22, s * 0.22, -s * 0.22, -s * 0.22);
  const qreal bar = std::max<qreal>(1.5, s * 0.12);
  switch (glyph) {
    case RvGlyph::Help: {
      QFont font(QStringLiteral("Sans"));
      font.setBold(true);
      font.setPixelSize(int(s * 0.72));
      p->setFont(font);
      p->drawText(r, Qt::AlignCenter, QStringLiteral("?"));
      break;
    }
    case RvGlyph::AlwaysOnTop: {
      // A pin: a head, a needle, and when on, a filled head.
      const QRectF head(g.left() + g.width() * 0.2, g.top(), g.width() * 0.6, g.height() * 0.45);
      p->setBrush(checked ? color : Qt::NoBrush);
      p->drawRect(head);
      p->drawLine(QPointF(g.left(), head.bottom()), QPointF(g.right(), head.bottom()));
      p->drawLine(QPointF(g.center().x(), head.bottom()),
                  QPointF(g.center().x(), g.bottom() + s * 0.08));
      break;
    }
    case RvGlyph::Minimize:
      p->setPen(Qt::NoPen);
      p->drawRect(QRectF(g.left(), g.bottom() - bar, g.width(), bar));
      break;
    case RvGlyph::Maximize:
      p->setBrush(Qt::NoBrush);
      if (!checked) {
        p->drawRect(g);
        p->fillRect(QRectF(g.left(), g.top(), g.width(), bar * 1.2), color);
      } else {
        const qreal o = g.width() * 0.3;
        const QRectF back(g.left() + o, g.top(), g.width() - o, g.height() - o);
        const QRectF front(g.left(), g.top() + o, g.width() - o, g.height() - o);
        p->drawRect(back);
        p->setBrush(kFaceBottom);
        p->drawRect(front);
      }
      break;
    case RvGlyph::Fullscreen: {
      p->setBrush(Qt::NoBrush);
      const qreal a = g.width() * 0.38;
      for (int corner = 0; corner < 4; ++corner) {
        const qreal x = (corner & 1) ? g.right() : g.left();
        const qreal y = (corner & 2) ? g.bottom() : g.top();
        const qreal dx = (corner & 1) ? -a : a, dy = (corner & 2) ? -a : a;
        p->drawPolyline(QPolygonF({QPointF(x + dx, y), QPointF(x, y), QPointF(x, y + dy)}));
      }
      break;
    }
    case RvGlyph::Close:
    case RvGlyph::Cancel:
      p->setPen(QPen(glyph == RvGlyph::Cancel ? QColor(0xFF, 0x7A, 0x6E) : color, pen * 1.2));
      p->drawLine(g.topLeft(), g.bottomRight());
      p->drawLine(g.topRight(), g.bottomLeft());
      break;
    case RvGlyph::Ok:
      p->setPen(
          QPen(QColor(0x8E, 0xE0, 0x7A), pen * 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p->setBrush(Qt::NoBrush);
      p->drawPolyline(QPolygonF({QPointF(g.left(), g.center().y()),
                                 QPointF(g.left() + g.width() * 0.38, g.bottom()), g.topRight()}));
      break;
    case RvGlyph::Open: {
      // A folder with its flap open.
      p->setBrush(Qt::NoBrush);
      const qreal tab = g.height() * 0.22;
      p->drawPolygon(
          QPolygonF({QPointF(g.left(), g.top()), QPointF(g.left() + g.width() * 0.4, g.top()),
                     QPointF(g.left() + g.width() * 0.5, g.top() + tab),
                     QPointF(g.right(), g.top() + tab), g.bottomRight(), g.bottomLeft()}));
      p->setBrush(color);
      p->drawPolygon(QPolygonF({QPointF(g.left() + g.width() * 0.15, g.top() + tab * 2.2),
                                QPointF(g.right() + s * 0.06, g.top() + tab * 2.2), g.bottomRight(),
                                g.bottomLeft()}));
      break;
    }
    case RvGlyph::Save: {
      p->setBrush(Qt::NoBrush);
      const qreal cut = g.width() * 0.25;
      p->drawPolygon(
          QPolygonF({g.topLeft(), QPointF(g.right() - cut, g.top()),
                     QPointF(g.right(), g.top() + cut), g.bottomRight(), g.bottomLeft()}));
      p->fillRect(QRectF(g.left() + g.width() * 0.25, g.top(), g.width() * 0.4, g.height() * 0.35),
                  color);
      p->fillRect(QRectF(g.left() + g.width() * 0.2, g.top() + g.height() * 0.6, g.width() * 0.6,
                         g.height() * 0.4),
                  color);
      break;
    }
    case RvGlyph::Rewind:
      p->setPen(Qt::NoPen);
      p->drawRect(QRectF(g.left(), g.top(), bar, g.height()));
      p->drawPolygon(Triangle(QRectF(g.left() + bar, g.top(), g.width() / 2, g.height()), false));
      p->drawPolygon(Triangle(
          QRectF(g.left() + bar + g.width() / 2 - bar, g.top(), g.width() / 2, g.height()), false));
      break;
    case RvGlyph::End:
      p->setPen(Qt::NoPen);
      p->drawPolygon(Triangle(QRectF(g.left(), g.top(), g.width() / 2, g.height()), true));
      p->drawPolygon(Triangle(
          QRectF(g.left() + g.width() / 2 - bar, g.top(), g.width() / 2, g.height()), true));
      p->drawRect(QRectF(g.right() - bar, g.top(), bar, g.height()));
      break;
    case RvGlyph::StepBack:
      p->setPen(Qt::NoPen);
      p->drawPolygon(Triangle(QRectF(g.left(), g.top(), g.width() * 0.65, g.height()), false));
      p->drawRect(QRectF(g.right() - bar, g.top(), bar, g.height()));
      break;
    case RvGlyph::StepForward:
      p->setPen(Qt::NoPen);
      p->drawRect(QRectF(g.left(), g.top(), bar, g.height()));
      p->drawPolygon(Triangle(
          QRectF(g.right() - g.width() * 0.65, g.top(), g.width() * 0.65, g.height()), true));
      break;
    case RvGlyph::Play:
    case RvGlyph::PlayReverse:
      p->setPen(Qt::NoPen);
      if (checked) {  // playing: the button shows pause
        p->setBrush(kGlyphChecked);
        const qreal w = g.width() * 0.3;
        p->drawRect(QRectF(g.left() + g.width() * 0.08, g.top(), w, g.height()));
        p->drawRect(QRectF(g.right() - g.width() * 0.08 - w, g.top(), w, g.height()));
      } else {
        p->drawPolygon(
            Triangle(g.adjusted(g.width() * 0.1, 0, -g.width() * 0.05, 0), glyph == RvGlyph::Play));
      }
      break;
    case RvGlyph::ZoomIn:
    case RvGlyph::ZoomOut:
      Magnifier(p, g.adjusted(-s * 0.04, -s * 0.04, s * 0.04, s * 0.04), glyph == RvGlyph::ZoomIn);
      break;
    case RvGlyph::Settings:
      Gear(p, g.adjusted(-s * 0.05, -s * 0.05, s * 0.05, s * 0.05), color);
      break;
    case RvGlyph::ScrollLeft:
    case RvGlyph::ScrollRight: {
      p->setPen(Qt::NoPen);
      const qreal w = r.width() * 0.4, h = std::min(r.height() * 0.6, w * 1.6);
      const QRectF t(r.center().x() - w / 2, r.center().y() - h / 2, w, h);
      p->drawPolygon(Triangle(t, glyph == RvGlyph::ScrollRight));
      break;
    }
  }
}

}  // namespace

QPixmap RvButtonFace(RvGlyph glyph, int image, QSize size, qreal dpr) {
  QPixmap pixmap = NewPixmap(size, dpr);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const bool pressed = image == 1 || image == 3;
  const bool checked = image >= 2;
  const QRectF r(0, 0, size.width(), size.height());
  DrawFace(&p, r, pressed);
  const qreal side = std::min(r.width(), r.height());
  QRectF g((r.width() - side) / 2, (r.height() - side) / 2, side, side);
  if (pressed) g.translate(0.5, 0.5);
  const bool recolour = checked && glyph != RvGlyph::Maximize && glyph != RvGlyph::Play &&
                        glyph != RvGlyph::PlayReverse;
  DrawGlyph(&p, glyph, g, recolour ? kGlyphChecked : kGlyph, checked);
  return pixmap;
}

void RvDrawButtonBase(QPainter* painter, const QRectF& rect, bool pressed) {
  DrawFace(painter, rect, pressed);
}

QPixmap RvSkin(RvSkinPiece piece, qreal dpr) {
  QSize size(1, 1);
  switch (piece) {
    case RvSkinPiece::TopLeft:
    case RvSkinPiece::TopRight:
      size = QSize(3, 16);
      break;
    case RvSkinPiece::Caption:
      size = QSize(1, 16);
      break;
    case RvSkinPiece::Left:
    case RvSkinPiece::Right:
      size = QSize(3, 1);
      break;
    case RvSkinPiece::BottomLeft:
    case RvSkinPiece::BottomRight:
      size = QSize(3, 28);
      break;
    case RvSkinPiece::Bottom:
      size = QSize(1, 28);
      break;
    case RvSkinPiece::Inner:
      break;
  }
  QPixmap pixmap = NewPixmap(size, dpr);
  QPainter p(&pixmap);
  const QRectF r(0, 0, size.width(), size.height());
  QLinearGradient caption(0, 0, 0, 16);
  caption.setColorAt(0, QColor(0x4A, 0x50, 0x59));
  caption.setColorAt(1, QColor(0x23, 0x26, 0x2B));
  QLinearGradient bottom(0, 0, 0, 28);
  bottom.setColorAt(0, QColor(0x30, 0x34, 0x3A));
  bottom.setColorAt(1, QColor(0x1A, 0x1C, 0x20));
  const QColor edge(0x2C, 0x30, 0x36);
  const QColor rim(0x0C, 0x0D, 0x0F);
  switch (piece) {
    case RvSkinPiece::TopLeft:
    case RvSkinPiece::TopRight:
    case RvSkinPiece::Caption:
      p.fillRect(r, caption);
      p.fillRect(QRectF(0, 0, r.width(), 1), QColor(0x6A, 0x71, 0x7C));  // top light edge
      if (piece == RvSkinPiece::TopLeft) p.fillRect(QRectF(0, 0, 1, 16), rim);
      if (piece == RvSkinPiece::TopRight) p.fillRect(QRectF(2, 0, 1, 16), rim);
      break;
    case RvSkinPiece::Left:
    case RvSkinPiece::Right:
      p.fillRect(r, edge);
      p.fillRect(QRectF(piece == RvSkinPiece::Left ? 0 : 2, 0, 1, 1), rim);
      break;
    case RvSkinPiece::BottomLeft:
    case RvSkinPiece::BottomRight:
    case RvSkinPiece::Bottom:
      p.fillRect(r, bottom);
      p.fillRect(QRectF(0, 27, r.width(), 1), rim);
      if (piece == RvSkinPiece::BottomLeft) p.fillRect(QRectF(0, 0, 1, 28), rim);
      if (piece == RvSkinPiece::BottomRight) p.fillRect(QRectF(2, 0, 1, 28), rim);
      break;
    case RvSkinPiece::Inner:
      p.fillRect(r, Qt::black);
      break;
  }
  return pixmap;
}

QPixmap RvProgramIconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  // A stack of three frames, fanned like flipbook pages, the front one with a play mark.
  const QColor back(0x2B, 0x30, 0x38), front(0x36, 0x3C, 0x46);
  for (int i = 2; i >= 0; --i) {
    const qreal o = s * 0.09 * i;
    const QRectF page(s * 0.06 + o, s * 0.22 - o * 0.9, s * 0.7, s * 0.62);
    p.setPen(QPen(QColor(0x10, 0x12, 0x15), std::max<qreal>(1.0, s / 32)));
    p.setBrush(i == 0 ? front : back.lighter(100 + 18 * i));
    p.drawRoundedRect(page, s * 0.06, s * 0.06);
    if (i == 0) {
      // Perforation along the top and bottom edge of the front frame.
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0xFF, 0x99, 0x66));
      const int holes = size >= 32 ? 5 : 3;
      for (int h = 0; h < holes; ++h) {
        const qreal x = page.left() + page.width() * (h + 0.5) / holes - s * 0.025;
        p.drawRect(QRectF(x, page.top() + s * 0.035, s * 0.05, s * 0.05));
        p.drawRect(QRectF(x, page.bottom() - s * 0.085, s * 0.05, s * 0.05));
      }
      const QRectF play(page.left() + page.width() * 0.36, page.top() + page.height() * 0.28,
                        page.width() * 0.32, page.height() * 0.44);
      p.setBrush(QColor(0x66, 0x99, 0xFF));
      p.drawPolygon(Triangle(play, true));
    }
  }
  return pixmap;
}

QIcon RvProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256}) icon.addPixmap(RvProgramIconPixmap(size));
  return icon;
}
