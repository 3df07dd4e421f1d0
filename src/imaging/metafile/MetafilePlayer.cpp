#include "imaging/metafile/MetafilePlayer.h"

#include <QFontMetricsF>
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>

#include "imaging/TextException.h"
#include "imaging/metafile/MetafileGui.h"

namespace {

// Map modes.
constexpr int kMmText = 1, kMmLoMetric = 2, kMmHiMetric = 3, kMmLoEnglish = 4, kMmHiEnglish = 5,
              kMmTwips = 6, kMmIsotropic = 7, kMmAnisotropic = 8;
// Pen styles.
constexpr int kPsStyleMask = 0x0F, kPsNull = 5, kPsEndcapMask = 0x0F00, kPsJoinMask = 0xF000;
constexpr int kPsEndcapSquare = 0x0100, kPsEndcapFlat = 0x0200;
constexpr int kPsJoinBevel = 0x1000, kPsJoinMiter = 0x2000;
// Brush styles.
constexpr int kBsNull = 1, kBsHatched = 2;
// Clip combination modes.
constexpr int kRgnAnd = 1, kRgnOr = 2, kRgnXor = 3, kRgnDiff = 4, kRgnCopy = 5;
// Text alignment.
constexpr int kTaUpdateCp = 1, kTaRight = 2, kTaCenter = 6, kTaBottom = 8, kTaBaseline = 24;
constexpr int kEtoOpaque = 2, kEtoClipped = 4;

// Corrupt transforms (infinite or not-a-number entries) would poison every later shape.
bool IsUsable(const QTransform& t) {
  for (double v : {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()})
    if (!std::isfinite(v)) return false;
  return t.isInvertible();
}

// The mapping of a metric map mode: logical units per millimetre.
double UnitsPerMm(int mode) {
  switch (mode) {
    case kMmLoMetric:
      return 10;
    case kMmHiMetric:
      return 100;
    case kMmLoEnglish:
      return 100 / 25.4;
    case kMmHiEnglish:
      return 1000 / 25.4;
    case kMmTwips:
      return 1440 / 25.4;
    default:
      return 0;
  }
}

Qt::BrushStyle HatchStyle(int hatch) {
  switch (hatch) {
    case 0:
      return Qt::HorPattern;
    case 1:
      return Qt::VerPattern;
    case 2:
      return Qt::FDiagPattern;
    case 3:
      return Qt::BDiagPattern;
    case 4:
      return Qt::CrossPattern;
    default:
      return Qt::DiagCrossPattern;
  }
}

}  // namespace

CMetafilePlayer::CMetafilePlayer(QPainter* painter, QSize size) : m_painter(painter), m_size(size) {
  m_workBudget = kBaseWork + kWorkPerPixel * std::uint64_t(std::max(size.width(), 0)) *
                                 std::uint64_t(std::max(size.height(), 0));
  SelectStockObject(7);   // BLACK_PEN
  SelectStockObject(0);   // WHITE_BRUSH
  SelectStockObject(13);  // SYSTEM_FONT
  StartWindowsPlayback(QRectF(0, 0, size.width(), size.height()));
}

void CMetafilePlayer::StartWindowsPlayback(const QRectF& window) {
  m_enhanced = false;
  m_state.mapMode = kMmAnisotropic;
  m_state.windowOrg = window.topLeft();
  m_state.windowExt = window.size();
  UpdateTransform();
}

void CMetafilePlayer::StartEnhancedPlayback(const QTransform& deviceToPicture, QSizeF pxPerMm) {
  m_enhanced = true;
  m_deviceToPicture = deviceToPicture;
  if (pxPerMm.width() > 0 && pxPerMm.height() > 0) m_pxPerMm = pxPerMm;
  m_state.mapMode = kMmText;
  m_state.windowOrg = m_state.viewportOrg = QPointF();
  m_state.windowExt = m_state.viewportExt = QSizeF(1, 1);
  UpdateTransform();
}

QTransform CMetafilePlayer::PageTransform() const {
  const State& s = m_state;
  if (!m_enhanced) {
    // The window fills the picture.
    const double wx = s.windowExt.width() != 0 ? s.windowExt.width() : 1;
    const double wy = s.windowExt.height() != 0 ? s.windowExt.height() : 1;
    const double sx = m_size.width() / wx, sy = m_size.height() / wy;
    return QTransform(sx, 0, 0, sy, -s.windowOrg.x() * sx, -s.windowOrg.y() * sy);
  }
  double sx = 1, sy = 1;
  if (s.mapMode == kMmIsotropic || s.mapMode == kMmAnisotropic) {
    const double wx = s.windowExt.width() != 0 ? s.windowExt.width() : 1;
    const double wy = s.windowExt.height() != 0 ? s.windowExt.height() : 1;
    sx = s.viewportExt.width() / wx;
    sy = s.viewportExt.height() / wy;
    if (s.mapMode == kMmIsotropic) {
      const double m = std::min(std::abs(sx), std::abs(sy));
      sx = std::copysign(m, sx);
      sy = std::copysign(m, sy);
    }
  } else if (const double units = UnitsPerMm(s.mapMode); units > 0) {
    // Metric modes count y upwards.
    sx = m_pxPerMm.width() / units;
    sy = -m_pxPerMm.height() / units;
  }
  return QTransform(sx, 0, 0, sy, s.viewportOrg.x() - s.windowOrg.x() * sx,
                    s.viewportOrg.y() - s.windowOrg.y() * sy);
}

void CMetafilePlayer::UpdateTransform() {
  QTransform t = PageTransform();
  if (m_enhanced) t = m_state.world * t * m_deviceToPicture;
  m_toPicture = t;
}

void CMetafilePlayer::SetMapMode(int mode) {
  if (mode < kMmText || mode > kMmAnisotropic) return;
  m_state.mapMode = mode;
  UpdateTransform();
}
void CMetafilePlayer::SetWindowOrg(double x, double y) {
  m_state.windowOrg = QPointF(x, y);
  UpdateTransform();
}
void CMetafilePlayer::SetWindowExt(double x, double y) {
  if (x == 0 || y == 0) return;  // a zero extent is refused, as by the device context
  m_state.windowExt = QSizeF(x, y);
  UpdateTransform();
}
void CMetafilePlayer::SetViewportOrg(double x, double y) {
  m_state.viewportOrg = QPointF(x, y);
  UpdateTransform();
}
void CMetafilePlayer::SetViewportExt(double x, double y) {
  if (x == 0 || y == 0) return;
  m_state.viewportExt = QSizeF(x, y);
  UpdateTransform();
}
void CMetafilePlayer::OffsetWindowOrg(double dx, double dy) {
  m_state.windowOrg += QPointF(dx, dy);
  UpdateTransform();
}
void CMetafilePlayer::OffsetViewportOrg(double dx, double dy) {
  m_state.viewportOrg += QPointF(dx, dy);
  UpdateTransform();
}
void CMetafilePlayer::ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom) {
  if (xDenom == 0 || yDenom == 0) return;
  SetWindowExt(m_state.windowExt.width() * xNum / xDenom,
               m_state.windowExt.height() * yNum / yDenom);
}
void CMetafilePlayer::ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom) {
  if (xDenom == 0 || yDenom == 0) return;
  SetViewportExt(m_state.viewportExt.width() * xNum / xDenom,
                 m_state.viewportExt.height() * yNum / yDenom);
}
void CMetafilePlayer::SetWorldTransform(const QTransform& t) {
  if (!IsUsable(t)) return;
  m_state.world = t;
  UpdateTransform();
}
void CMetafilePlayer::ModifyWorldTransform(const QTransform& t, int mode) {
  switch (mode) {
    case 1:  // identity
      m_state.world = QTransform();
      break;
    case 2:  // left multiply: the new transform applies first
      if (IsUsable(t)) m_state.world = t * m_state.world;
      break;
    case 3:  // right multiply
      if (IsUsable(t)) m_state.world = m_state.world * t;
      break;
    case 4:
      if (IsUsable(t)) m_state.world = t;
      break;
    default:
      return;
  }
  UpdateTransform();
}

int CMetafilePlayer::AddObject(const CMetafileObject& object) {
  std::uint32_t slot;
  if (!m_freeSlots.empty()) {
    slot = *m_freeSlots.begin();
    m_freeSlots.erase(m_freeSlots.begin());
  } else {
    slot = m_nextSlot++;
  }
  m_objects[slot] = object;
  return int(slot);
}

void CMetafilePlayer::SetObject(std::uint32_t slot, const CMetafileObject& object) {
  m_objects[slot] = object;
}

void CMetafilePlayer::SelectObject(std::uint32_t slot) {
  if (slot & 0x80000000u) return SelectStockObject(int(slot & 0x7FFFFFFF));
  const auto it = m_objects.find(slot);
  if (it == m_objects.end()) return;
  switch (it->second.kind) {
    case CMetafileObject::kPen:
      m_state.pen = it->second.pen;
      break;
    case CMetafileObject::kBrush:
      m_state.brush = it->second.brush;
      break;
    case CMetafileObject::kFont:
      m_state.font = it->second.font;
      break;
    default:
      break;
  }
}

void CMetafilePlayer::SelectStockObject(int stock) {
  auto brush = [this](int style, int grey) {
    m_state.brush = CMetafileBrush();
    m_state.brush.style = style;
    m_state.brush.color = QColor(grey, grey, grey);
  };
  auto pen = [this](int style, int grey) {
    m_state.pen = CMetafilePen();
    m_state.pen.style = style;
    m_state.pen.color = QColor(grey, grey, grey);
  };
  switch (stock) {
    case 0:
      return brush(0, 255);
    case 1:
      return brush(0, 192);
    case 2:
      return brush(0, 128);
    case 3:
      return brush(0, 64);
    case 4:
      return brush(0, 0);
    case 5:
      return brush(kBsNull, 0);
    case 6:
      return pen(0, 255);
    case 7:
      return pen(0, 0);
    case 8:
      return pen(kPsNull, 0);
    case 10:
    case 11:
    case 16:
      m_state.font = CMetafileFont();
      m_state.font.height = 13;
      m_state.font.face = QStringLiteral("monospace");
      return;
    case 12:
    case 13:
    case 14:
    case 17:
      m_state.font = CMetafileFont();
      m_state.font.height = 16;
      m_state.font.weight = stock == 13 ? 700 : 400;
      m_state.font.face = QStringLiteral("sans-serif");
      return;
    default:
      return;
  }
}

void CMetafilePlayer::DeleteObject(std::uint32_t slot) {
  if (m_objects.erase(slot) && slot < m_nextSlot) m_freeSlots.insert(slot);
}

void CMetafilePlayer::SaveDC() {
  if (m_saved.size() < 4096) m_saved.push_back(m_state);
}

void CMetafilePlayer::RestoreDC(int which) {
  // Negative counts back from the latest saved state, positive names a saved state (1 first).
  std::size_t keep;
  if (which < 0) {
    if (std::size_t(-std::int64_t(which)) > m_saved.size()) return;
    keep = m_saved.size() - std::size_t(-std::int64_t(which));
  } else {
    if (which == 0 || std::size_t(which) > m_saved.size()) return;
    keep = std::size_t(which) - 1;
  }
  m_state = m_saved[keep];
  m_saved.resize(keep);
  UpdateTransform();
}

double CMetafilePlayer::LineScale() const {
  return std::sqrt(
      std::abs(m_toPicture.m11() * m_toPicture.m22() - m_toPicture.m12() * m_toPicture.m21()));
}

QPen CMetafilePlayer::DevicePen() const {
  const CMetafilePen& p = m_state.pen;
  const int style = p.style & kPsStyleMask;
  if (style == kPsNull) return QPen(Qt::NoPen);
  QPen pen(p.color);
  double width = p.width * LineScale();
  if (!std::isfinite(width)) width = 1;
  // No pen is wider than the picture is large; corrupt widths stay drawable.
  pen.setWidthF(std::clamp(width, 1.0, double(std::max(m_size.width(), m_size.height()))));
  const bool thin = width <= 1.5;
  switch (style) {
    case 1:
      pen.setStyle(Qt::DashLine);
      break;
    case 2:
      pen.setStyle(Qt::DotLine);
      break;
    case 3:
      pen.setStyle(Qt::DashDotLine);
      break;
    case 4:
      pen.setStyle(Qt::DashDotDotLine);
      break;
    default:
      pen.setStyle(Qt::SolidLine);
      break;
  }
  // Wide pens end and join round unless told otherwise; one-pixel pens square.
  switch (p.style & kPsEndcapMask) {
    case kPsEndcapSquare:
      pen.setCapStyle(Qt::SquareCap);
      break;
    case kPsEndcapFlat:
      pen.setCapStyle(Qt::FlatCap);
      break;
    default:
      pen.setCapStyle(thin ? Qt::SquareCap : Qt::RoundCap);
      break;
  }
  switch (p.style & kPsJoinMask) {
    case kPsJoinBevel:
      pen.setJoinStyle(Qt::BevelJoin);
      break;
    case kPsJoinMiter:
      pen.setJoinStyle(Qt::MiterJoin);
      pen.setMiterLimit(m_state.miterLimit);
      break;
    default:
      pen.setJoinStyle(thin ? Qt::MiterJoin : Qt::RoundJoin);
      break;
  }
  return pen;
}

QBrush CMetafilePlayer::DeviceBrush() const {
  const CMetafileBrush& b = m_state.brush;
  if (b.style == kBsNull) return QBrush(Qt::NoBrush);
  if (b.style == kBsHatched) return QBrush(b.color, HatchStyle(b.hatch));
  if (!b.pattern.isNull()) return QBrush(b.pattern);
  return QBrush(b.color);
}

void CMetafilePlayer::Charge(const QRectF& bounds, std::size_t elements, double coverage,
                             bool wholeExtent) {
  const QRectF shown = bounds.intersected(QRectF(0, 0, m_size.width(), m_size.height()));
  if (shown.isEmpty() && !wholeExtent) return;
  // The rasterizer visits each outline element on every row it spans: inside the picture, or
  // for strokes (whose outlines Qt does not cut) on all rows, within its coordinate limit.
  const double spanned = wholeExtent ? std::min(bounds.height(), kRasterCoordinateSpan)
                                     : (shown.isEmpty() ? 0.0 : shown.height());
  double work = double(elements) * (std::ceil(std::max(spanned, 0.0)) + 1) * kWorkPerElementRow;
  if (!shown.isEmpty()) {
    const double area = (std::ceil(shown.width()) + 1) * (std::ceil(shown.height()) + 1);
    work += coverage < 0 ? area : std::min(coverage, area);
  }
  m_work += std::isfinite(work) ? std::uint64_t(std::min(work, 1e18)) : m_workBudget + 1;
  if (m_work > m_workBudget)
    throw CTextException(kErrFormat,
                         "The metafile's drawing exceeds the work a picture of its size may take.");
}

void CMetafilePlayer::ChargePath(const QPainterPath& path, const QPen& pen, bool fill) {
  const bool stroke = pen.style() != Qt::NoPen;
  const double grow = stroke ? pen.widthF() / 2 + 1 : 1;
  // A fill covers up to its bounds; a stroke alone about its length times its width.
  const double coverage = fill ? -1 : path.length() * (pen.widthF() + 1);
  Charge(path.controlPointRect().adjusted(-grow, -grow, grow, grow),
         std::size_t(path.elementCount()), coverage, stroke && !fill);
}

void CMetafilePlayer::PaintPath(const QPainterPath& picture, const QPen& pen, const QBrush& brush,
                                bool fill) {
  // A fill reaching far past the picture is cut to it first (with a margin for antialiased
  // edges), so its cost follows the picture, not the coordinates a file may claim. A stroke
  // keeps its shape and is charged for its whole extent.
  QPainterPath area = picture;
  if (fill) {
    const QRectF frame = QRectF(0, 0, m_size.width(), m_size.height()).adjusted(-2, -2, 2, 2);
    if (!frame.contains(picture.controlPointRect())) {
      QPainterPath box;
      box.addRect(frame);
      area = picture.intersected(box);
    }
    ChargePath(area, QPen(Qt::NoPen), true);
  }
  const bool stroke = pen.style() != Qt::NoPen;
  if (stroke) ChargePath(picture, pen, false);
  ApplyClip();
  if (fill) {
    m_painter->setPen(Qt::NoPen);
    m_painter->setBrush(brush);
    m_painter->drawPath(area);
  }
  if (stroke) {
    m_painter->setPen(pen);
    m_painter->setBrush(Qt::NoBrush);
    m_painter->drawPath(picture);
  }
}

void CMetafilePlayer::ApplyClip() {
  if (m_state.clip) {
    m_painter->setClipPath(*m_state.clip);
  } else {
    m_painter->setClipping(false);
  }
}

void CMetafilePlayer::DrawShape(const QPainterPath& logical, bool fill, bool stroke) {
  QPainterPath picture = m_toPicture.map(logical);
  if (m_inPath) {
    m_path.addPath(picture);
    return;
  }
  picture.setFillRule(m_state.polyFillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
  PaintPath(picture, stroke ? DevicePen() : QPen(Qt::NoPen), fill ? DeviceBrush() : QBrush(), fill);
}

void CMetafilePlayer::MoveTo(QPointF p) {
  m_state.position = p;
  if (m_inPath) m_path.moveTo(Map(p));
}

void CMetafilePlayer::LineTo(QPointF p) {
  if (m_inPath) {
    if (m_path.elementCount() == 0) m_path.moveTo(Map(m_state.position));
    m_path.lineTo(Map(p));
  } else {
    QPainterPath line(m_state.position);
    line.lineTo(p);
    DrawShape(line, false, true);
  }
  m_state.position = p;
}

void CMetafilePlayer::Polyline(const QPolygonF& points) {
  if (points.size() < 2) return;
  if (m_inPath) {
    m_path.moveTo(Map(points[0]));
    for (int i = 1; i < points.size(); ++i) m_path.lineTo(Map(points[i]));
    return;
  }
  QPainterPath path;
  path.addPolygon(points);
  DrawShape(path, false, true);
}

void CMetafilePlayer::PolylineTo(const QPolygonF& points) {
  if (points.isEmpty()) return;
  QPolygonF all;
  all << m_state.position << points;
  if (m_inPath) {
    if (m_path.elementCount() == 0) m_path.moveTo(Map(m_state.position));
    for (const QPointF& p : points) m_path.lineTo(Map(p));
  } else {
    Polyline(all);
  }
  m_state.position = points.back();
}

void CMetafilePlayer::PolyBezier(const QPolygonF& points) {
  if (points.size() < 4) return;
  QPainterPath path(points[0]);
  for (int i = 1; i + 2 < points.size(); i += 3)
    path.cubicTo(points[i], points[i + 1], points[i + 2]);
  DrawShape(path, false, true);
}

void CMetafilePlayer::PolyBezierTo(const QPolygonF& points) {
  if (points.size() < 3) return;
  QPainterPath path(m_state.position);
  for (int i = 0; i + 2 < points.size(); i += 3)
    path.cubicTo(points[i], points[i + 1], points[i + 2]);
  if (m_inPath) {
    if (m_path.elementCount() == 0) m_path.moveTo(Map(m_state.position));
    // Continue the open figure instead of starting a new one.
    const QPainterPath mapped = m_toPicture.map(path);
    for (int i = 1; i + 2 < mapped.elementCount(); i += 3)
      m_path.cubicTo(mapped.elementAt(i), mapped.elementAt(i + 1), mapped.elementAt(i + 2));
  } else {
    DrawShape(path, false, true);
  }
  m_state.position = points[(points.size() / 3) * 3 - 1];
}

void CMetafilePlayer::Polygon(const QPolygonF& points) {
  if (points.size() < 2) return;
  QPainterPath path;
  path.addPolygon(points);
  path.closeSubpath();
  DrawShape(path, true, true);
}

void CMetafilePlayer::PolyPolygon(const std::vector<QPolygonF>& polygons) {
  QPainterPath path;
  for (const QPolygonF& p : polygons) {
    if (p.size() < 2) continue;
    path.addPolygon(p);
    path.closeSubpath();
  }
  DrawShape(path, true, true);
}

void CMetafilePlayer::PolyPolyline(const std::vector<QPolygonF>& lines) {
  for (const QPolygonF& l : lines) Polyline(l);
}

void CMetafilePlayer::Rectangle(const QRectF& r) {
  QPainterPath path;
  path.addRect(r.normalized());
  DrawShape(path, true, true);
}

void CMetafilePlayer::RoundRect(const QRectF& r, double cornerWidth, double cornerHeight) {
  QPainterPath path;
  path.addRoundedRect(r.normalized(), std::abs(cornerWidth) / 2, std::abs(cornerHeight) / 2);
  DrawShape(path, true, true);
}

void CMetafilePlayer::Ellipse(const QRectF& r) {
  QPainterPath path;
  path.addEllipse(r.normalized());
  DrawShape(path, true, true);
}

void CMetafilePlayer::Arc(ArcKind kind, const QRectF& rect, QPointF start, QPointF end) {
  const QRectF r = rect.normalized();
  if (r.width() <= 0 || r.height() <= 0) return;
  const QPointF c = r.center();
  // Angles of the radials through the two points, measured on the ellipse as Qt does
  // (counter-clockwise with y up on the screen), which is the device context's default
  // counter-clockwise direction in y-down coordinates.
  auto angle = [&](QPointF p) {
    return std::atan2(-(p.y() - c.y()) / r.height(), (p.x() - c.x()) / r.width()) * 180 / M_PI;
  };
  const double a0 = angle(start);
  double sweep = angle(end) - a0;
  while (sweep <= 0) sweep += 360;
  QPainterPath path;
  if (kind == ArcKind::kPie) {
    path.moveTo(c);
    path.arcTo(r, a0, sweep);
    path.closeSubpath();
  } else {
    path.arcMoveTo(r, a0);
    path.arcTo(r, a0, sweep);
    if (kind == ArcKind::kChord) path.closeSubpath();
  }
  DrawShape(path, kind != ArcKind::kArc, true);
}

void CMetafilePlayer::SetPixel(QPointF p, QColor c) {
  const QPointF d = Map(p);
  ApplyClip();
  m_painter->fillRect(QRectF(std::floor(d.x()), std::floor(d.y()), 1, 1), c);
}

QFont CMetafilePlayer::DeviceFont(double* pixelHeight) const {
  const CMetafileFont& f = m_state.font;
  const double yScale = QLineF(Map(QPointF(0, 0)), Map(QPointF(0, 1))).length();
  double height = std::abs(f.height) * yScale;
  if (height < 1) height = 16;  // the device's default font size
  QFont font(f.face.isEmpty() ? QStringLiteral("sans-serif") : f.face);
  font.setPixelSize(std::max(1, int(std::lround(height))));
  if (f.height > 0) {
    // A positive height is the whole cell: shrink the character size to fit it.
    const QFontMetricsF m(font);
    if (m.height() > 0)
      font.setPixelSize(std::max(1, int(std::lround(height * height / m.height()))));
  }
  font.setWeight(QFont::Weight(std::clamp(f.weight, 100, 900)));
  font.setItalic(f.italic);
  font.setUnderline(f.underline);
  font.setStrikeOut(f.strikeOut);
  *pixelHeight = height;
  return font;
}

void CMetafilePlayer::TextOut(QPointF p, const QString& text, const std::vector<double>& dx,
                              int options, const QRectF& rect) {
  if (m_inPath) return;
  if (!RvEnsureMetafileFonts()) return;
  ApplyClip();
  const QRectF deviceRect = m_toPicture.mapRect(rect.normalized());
  if ((options & kEtoOpaque) && !rect.isEmpty()) {
    Charge(deviceRect, 4);
    m_painter->fillRect(deviceRect, m_state.bkColor);
  }
  if (text.isEmpty()) return;
  if ((options & kEtoClipped) && !rect.isEmpty())
    m_painter->setClipRect(deviceRect, Qt::IntersectClip);

  const bool updateCp = (m_state.textAlign & kTaUpdateCp) != 0;
  const QPointF reference = Map(updateCp ? m_state.position : p);
  double pixelHeight = 0;
  const QFont font = DeviceFont(&pixelHeight);
  const QFontMetricsF metrics(font);
  const double xScale = QLineF(Map(QPointF(0, 0)), Map(QPointF(1, 0))).length();
  std::vector<double> advances(text.size());
  double width = 0;
  for (int i = 0; i < text.size(); ++i) {
    advances[i] = std::size_t(i) < dx.size() ? dx[i] * xScale : metrics.horizontalAdvance(text[i]);
    width += advances[i];
  }
  if (dx.empty()) width = metrics.horizontalAdvance(text);

  double x = 0;
  if ((m_state.textAlign & kTaCenter) == kTaCenter)
    x = -width / 2;
  else if (m_state.textAlign & kTaRight)
    x = -width;
  double baseline = metrics.ascent();
  if ((m_state.textAlign & kTaBaseline) == kTaBaseline)
    baseline = 0;
  else if (m_state.textAlign & kTaBottom)
    baseline = -metrics.descent();

  m_painter->save();
  m_painter->translate(reference);
  m_painter->rotate(-m_state.font.escapement / 10.0);
  m_painter->setFont(font);
  // Glyphs are drawn as outlines at large sizes: charge the text box and a few elements each.
  Charge(m_painter->transform().mapRect(
             QRectF(x, baseline - metrics.ascent(), width, metrics.height())),
         16 * std::size_t(text.size()));
  if (m_state.bkMode == 2)
    m_painter->fillRect(QRectF(x, baseline - metrics.ascent(), width, metrics.height()),
                        m_state.bkColor);
  m_painter->setPen(m_state.textColor);
  if (dx.empty()) {
    m_painter->drawText(QPointF(x, baseline), text);
  } else {
    double pos = x;
    for (int i = 0; i < text.size(); ++i) {
      m_painter->drawText(QPointF(pos, baseline), QString(text[i]));
      pos += advances[i];
    }
  }
  m_painter->restore();
  if (updateCp) {
    const QTransform inverse = m_toPicture.inverted();
    m_state.position = inverse.map(reference + QPointF(width, 0));
  }
}

void CMetafilePlayer::DrawImage(const QRectF& dst, const QImage& image, const QRectF& src,
                                std::uint32_t rop) {
  if (m_inPath || image.isNull()) return;
  ApplyClip();
  QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
  switch (rop) {
    case 0x008800C6:  // SRCAND
      mode = QPainter::RasterOp_SourceAndDestination;
      break;
    case 0x00EE0086:  // SRCPAINT
      mode = QPainter::RasterOp_SourceOrDestination;
      break;
    case 0x00660046:  // SRCINVERT
      mode = QPainter::RasterOp_SourceXorDestination;
      break;
    case 0x00330008:  // NOTSRCCOPY
      mode = QPainter::RasterOp_NotSource;
      break;
    default:
      break;
  }
  m_painter->save();
  m_painter->setCompositionMode(mode);
  m_painter->setTransform(m_toPicture);
  // Mirrored destinations (negative extents) flip the image.
  const QRectF target = dst.normalized();
  QTransform flip;
  if (dst.width() < 0 || dst.height() < 0) {
    flip.translate(target.center().x(), target.center().y());
    flip.scale(dst.width() < 0 ? -1 : 1, dst.height() < 0 ? -1 : 1);
    flip.translate(-target.center().x(), -target.center().y());
    m_painter->setTransform(flip * m_toPicture);
  }
  Charge(m_painter->transform().mapRect(target), 4);
  m_painter->drawImage(target, image, src);
  m_painter->restore();
}

void CMetafilePlayer::PatBlt(const QRectF& r, std::uint32_t rop) {
  if (m_inPath) return;
  QBrush brush;
  switch (rop) {
    case 0x00000042:  // BLACKNESS
      brush = QBrush(Qt::black);
      break;
    case 0x00FF0062:  // WHITENESS
      brush = QBrush(Qt::white);
      break;
    case 0x00F00021:  // PATCOPY
      brush = DeviceBrush();
      break;
    default:
      return;  // other raster operations leave the picture alone
  }
  QPainterPath path;
  path.addRect(r.normalized());
  PaintPath(m_toPicture.map(path), QPen(Qt::NoPen), brush, true);
}

void CMetafilePlayer::BeginPath() {
  m_inPath = true;
  m_path = QPainterPath();
}

void CMetafilePlayer::AbortPath() {
  m_inPath = false;
  m_path = QPainterPath();
}

void CMetafilePlayer::CloseFigure() {
  if (m_inPath) m_path.closeSubpath();
}

void CMetafilePlayer::FillPath() {
  m_inPath = false;
  m_path.setFillRule(m_state.polyFillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
  PaintPath(m_path, QPen(Qt::NoPen), DeviceBrush(), true);
  m_path = QPainterPath();
}

void CMetafilePlayer::StrokePath() {
  m_inPath = false;
  PaintPath(m_path, DevicePen(), QBrush(), false);
  m_path = QPainterPath();
}

void CMetafilePlayer::StrokeAndFillPath() {
  m_inPath = false;
  m_path.setFillRule(m_state.polyFillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
  PaintPath(m_path, DevicePen(), DeviceBrush(), true);
  m_path = QPainterPath();
}

void CMetafilePlayer::SetClip(const QPainterPath& path, int mode) {
  QPainterPath all;
  all.addRect(QRectF(0, 0, m_size.width(), m_size.height()));
  const QPainterPath current = m_state.clip ? *m_state.clip : all;
  switch (mode) {
    case kRgnAnd:
      m_state.clip = current.intersected(path);
      break;
    case kRgnOr:
      m_state.clip = current.united(path);
      break;
    case kRgnXor:
      m_state.clip = current.united(path).subtracted(current.intersected(path));
      break;
    case kRgnDiff:
      m_state.clip = current.subtracted(path);
      break;
    case kRgnCopy:
      m_state.clip = path;
      break;
    default:
      break;
  }
}

void CMetafilePlayer::SelectClipPath(int mode) {
  m_inPath = false;
  SetClip(m_path, mode);
  m_path = QPainterPath();
}

void CMetafilePlayer::IntersectClipRect(const QRectF& r) {
  QPainterPath path;
  path.addRect(r.normalized());
  SetClip(m_toPicture.map(path), kRgnAnd);
}

void CMetafilePlayer::ExcludeClipRect(const QRectF& r) {
  QPainterPath path;
  path.addRect(r.normalized());
  SetClip(m_toPicture.map(path), kRgnDiff);
}

void CMetafilePlayer::SelectClipRegion(const std::vector<QRectF>& deviceRects, int mode) {
  QPainterPath path;
  for (const QRectF& r : deviceRects) path.addRect(r.normalized());
  SetClip(m_enhanced ? m_deviceToPicture.map(path) : path, mode);
}

void CMetafilePlayer::ResetClip() { m_state.clip.reset(); }
