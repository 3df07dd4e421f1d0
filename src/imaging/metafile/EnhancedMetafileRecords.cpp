#include <QString>

#include "imaging/metafile/MetafileBytes.h"
#include "imaging/metafile/MetafileDib.h"
#include "imaging/metafile/MetafilePlayer.h"
#include "imaging/metafile/MetafileRecords.h"

namespace {

enum EmfRecord : std::uint32_t {
  kHeader = 1,
  kPolyBezier = 2,
  kPolygon = 3,
  kPolyline = 4,
  kPolyBezierTo = 5,
  kPolylineTo = 6,
  kPolyPolyline = 7,
  kPolyPolygon = 8,
  kSetWindowExtEx = 9,
  kSetWindowOrgEx = 10,
  kSetViewportExtEx = 11,
  kSetViewportOrgEx = 12,
  kEof = 14,
  kSetPixelV = 15,
  kSetMapMode = 17,
  kSetBkMode = 18,
  kSetPolyFillMode = 19,
  kSetTextAlign = 22,
  kSetTextColor = 24,
  kSetBkColor = 25,
  kMoveToEx = 27,
  kExcludeClipRect = 29,
  kIntersectClipRect = 30,
  kScaleViewportExtEx = 31,
  kScaleWindowExtEx = 32,
  kSaveDc = 33,
  kRestoreDc = 34,
  kSetWorldTransform = 35,
  kModifyWorldTransform = 36,
  kSelectObject = 37,
  kCreatePen = 38,
  kCreateBrushIndirect = 39,
  kDeleteObject = 40,
  kEllipse = 42,
  kRectangle = 43,
  kRoundRect = 44,
  kArc = 45,
  kChord = 46,
  kPie = 47,
  kCreatePalette = 49,
  kLineTo = 54,
  kArcTo = 55,
  kSetMiterLimit = 58,
  kBeginPath = 59,
  kEndPath = 60,
  kCloseFigure = 61,
  kFillPath = 62,
  kStrokeAndFillPath = 63,
  kStrokePath = 64,
  kSelectClipPath = 67,
  kAbortPath = 68,
  kExtSelectClipRgn = 75,
  kBitBlt = 76,
  kStretchBlt = 77,
  kSetDiBitsToDevice = 80,
  kStretchDiBits = 81,
  kExtCreateFontIndirectW = 82,
  kExtTextOutA = 83,
  kExtTextOutW = 84,
  kPolyBezier16 = 85,
  kPolygon16 = 86,
  kPolyline16 = 87,
  kPolyBezierTo16 = 88,
  kPolylineTo16 = 89,
  kPolyPolyline16 = 90,
  kPolyPolygon16 = 91,
  kCreateMonoBrush = 93,
  kCreateDibPatternBrushPt = 94,
  kExtCreatePen = 95,
  kSmallTextOut = 108,
};

constexpr std::uint32_t kEtoNoRect = 0x100, kEtoSmallChars = 0x200, kEtoPdy = 0x2000;

QColor ReadColour(CMetafileBytes& b) {
  const std::uint8_t* p = b.Bytes(4);
  return p ? QColor(p[0], p[1], p[2]) : QColor();
}

QRectF ReadRect(CMetafileBytes& b) {
  const double left = b.I32(), top = b.I32(), right = b.I32(), bottom = b.I32();
  return QRectF(QPointF(left, top), QPointF(right, bottom));
}

QPointF ReadPoint(CMetafileBytes& b) {
  const double x = b.I32();
  const double y = b.I32();
  return QPointF(x, y);
}

QTransform ReadXform(CMetafileBytes& b) {
  const double m11 = b.F32(), m12 = b.F32(), m21 = b.F32(), m22 = b.F32();
  const double dx = b.F32(), dy = b.F32();
  return QTransform(m11, m12, m21, m22, dx, dy);
}

QPolygonF ReadPoints(CMetafileBytes& b, std::size_t count, bool small) {
  QPolygonF points;
  if (count > b.Remaining() / (small ? 4 : 8)) {
    b.Skip(b.Remaining() + 1);
    return points;
  }
  points.reserve(int(count));
  for (std::size_t i = 0; i < count; ++i) {
    const double x = small ? b.I16() : b.I32();
    const double y = small ? b.I16() : b.I32();
    points << QPointF(x, y);
  }
  return points;
}

// The poly-polygon and poly-polyline records: counts of each figure, then all points.
bool ReadFigures(CMetafileBytes& b, bool small, std::vector<QPolygonF>* figures) {
  b.Skip(16);  // bounds
  const std::size_t n = b.U32();
  const std::size_t total = b.U32();
  if (!b.Ok() || n > b.Remaining() / 4) return false;
  std::vector<std::size_t> counts(n);
  std::size_t sum = 0;
  for (std::size_t& c : counts) {
    c = b.U32();
    sum += c;
    if (c > total || sum > total) return false;
  }
  for (std::size_t c : counts) {
    figures->push_back(ReadPoints(b, c, small));
    if (!b.Ok()) return false;
  }
  return true;
}

// A bitmap named by offsets and sizes inside the record.
QImage RecordDib(const CMetafileBytes& b, std::uint32_t offBmi, std::uint32_t cbBmi,
                 std::uint32_t offBits, std::uint32_t cbBits) {
  if (!b.Holds(offBmi, cbBmi) || !b.Holds(offBits, cbBits)) return QImage();
  return RvDecodeDib(b.Data() + offBmi, cbBmi, b.Data() + offBits, cbBits);
}

CMetafileObject PatternBrush(CMetafileBytes& b) {
  b.U32();  // colour usage
  const std::uint32_t offBmi = b.U32(), cbBmi = b.U32(), offBits = b.U32(), cbBits = b.U32();
  CMetafileObject o;
  o.kind = CMetafileObject::kBrush;
  o.brush.style = 3;
  o.brush.pattern = RecordDib(b, offBmi, cbBmi, offBits, cbBits);
  if (o.brush.pattern.isNull()) o.brush.color = Qt::gray;
  return o;
}

bool PlayText(CMetafilePlayer* player, CMetafileBytes& b, bool wide) {
  b.Skip(16 + 4 + 8);  // bounds, graphics mode, scales
  const QPointF reference = ReadPoint(b);
  const std::size_t count = b.U32();
  const std::uint32_t offString = b.U32();
  const std::uint32_t options = b.U32();
  const QRectF rect = ReadRect(b);
  const std::uint32_t offDx = b.U32();
  if (!b.Ok()) return false;
  const std::size_t unit = wide ? 2 : 1;
  if (count > b.Size() || !b.Holds(offString, count * unit)) return false;
  const std::uint8_t* p = b.Data() + offString;
  QString text;
  if (wide) {
    text.resize(qsizetype(count));
    for (std::size_t i = 0; i < count; ++i)
      text[qsizetype(i)] = QChar(p[2 * i] | (p[2 * i + 1] << 8));
  } else {
    text = QString::fromLatin1(reinterpret_cast<const char*>(p), qsizetype(count));
  }
  std::vector<double> dx;
  const std::size_t step = (options & kEtoPdy) ? 8 : 4;
  if (offDx != 0 && b.Holds(offDx, count * step)) {
    CMetafileBytes d(b.Data() + offDx, count * step);
    for (std::size_t i = 0; i < count; ++i) {
      dx.push_back(d.I32());
      if (step == 8) d.I32();
    }
  }
  player->TextOut(reference, text, dx, int(options), rect);
  return true;
}

bool PlaySmallText(CMetafilePlayer* player, CMetafileBytes& b) {
  const QPointF reference = ReadPoint(b);
  const std::size_t count = b.U32();
  const std::uint32_t options = b.U32();
  b.Skip(4 + 8);  // graphics mode, scales
  QRectF rect;
  if (!(options & kEtoNoRect)) rect = ReadRect(b);
  const bool small = (options & kEtoSmallChars) != 0;
  if (!b.Ok() || count > b.Remaining()) return false;
  const std::uint8_t* p = b.Bytes(count * (small ? 1 : 2));
  if (!p) return false;
  QString text;
  if (small) {
    text = QString::fromLatin1(reinterpret_cast<const char*>(p), qsizetype(count));
  } else {
    text.resize(qsizetype(count));
    for (std::size_t i = 0; i < count; ++i)
      text[qsizetype(i)] = QChar(p[2 * i] | (p[2 * i + 1] << 8));
  }
  player->TextOut(reference, text, {}, int(options & ~kEtoNoRect), rect);
  return true;
}

bool PlayRecord(CMetafilePlayer* player, std::uint32_t type, CMetafileBytes& b) {
  b.Seek(8);  // past type and size: offsets inside records count from the record's start
  switch (type) {
    case kPolyBezier:
    case kPolygon:
    case kPolyline:
    case kPolyBezierTo:
    case kPolylineTo:
    case kPolyBezier16:
    case kPolygon16:
    case kPolyline16:
    case kPolyBezierTo16:
    case kPolylineTo16: {
      const bool small = type >= kPolyBezier16;
      b.Skip(16);  // bounds
      const std::size_t count = b.U32();
      const QPolygonF points = ReadPoints(b, count, small);
      if (!b.Ok()) return false;
      switch (small ? type - kPolyBezier16 + kPolyBezier : type) {
        case kPolyBezier:
          player->PolyBezier(points);
          break;
        case kPolygon:
          player->Polygon(points);
          break;
        case kPolyline:
          player->Polyline(points);
          break;
        case kPolyBezierTo:
          player->PolyBezierTo(points);
          break;
        default:
          player->PolylineTo(points);
          break;
      }
      break;
    }
    case kPolyPolyline:
    case kPolyPolygon:
    case kPolyPolyline16:
    case kPolyPolygon16: {
      std::vector<QPolygonF> figures;
      if (!ReadFigures(b, type >= kPolyPolyline16, &figures)) return false;
      if (type == kPolyPolygon || type == kPolyPolygon16)
        player->PolyPolygon(figures);
      else
        player->PolyPolyline(figures);
      break;
    }
    case kSetWindowExtEx:
    case kSetWindowOrgEx:
    case kSetViewportExtEx:
    case kSetViewportOrgEx: {
      const QPointF p = ReadPoint(b);
      if (!b.Ok()) return false;
      if (type == kSetWindowExtEx) player->SetWindowExt(p.x(), p.y());
      if (type == kSetWindowOrgEx) player->SetWindowOrg(p.x(), p.y());
      if (type == kSetViewportExtEx) player->SetViewportExt(p.x(), p.y());
      if (type == kSetViewportOrgEx) player->SetViewportOrg(p.x(), p.y());
      break;
    }
    case kScaleViewportExtEx:
    case kScaleWindowExtEx: {
      const double xNum = b.I32(), xDenom = b.I32(), yNum = b.I32(), yDenom = b.I32();
      if (!b.Ok()) return false;
      if (type == kScaleWindowExtEx)
        player->ScaleWindowExt(xNum, xDenom, yNum, yDenom);
      else
        player->ScaleViewportExt(xNum, xDenom, yNum, yDenom);
      break;
    }
    case kSetPixelV: {
      const QPointF p = ReadPoint(b);
      const QColor c = ReadColour(b);
      if (!b.Ok()) return false;
      player->SetPixel(p, c);
      break;
    }
    case kSetMapMode:
      player->SetMapMode(int(b.U32()));
      break;
    case kSetBkMode:
      player->SetBkMode(int(b.U32()));
      break;
    case kSetPolyFillMode:
      player->SetPolyFillMode(int(b.U32()));
      break;
    case kSetTextAlign:
      player->SetTextAlign(int(b.U32()));
      break;
    case kSetTextColor:
      player->SetTextColor(ReadColour(b));
      break;
    case kSetBkColor:
      player->SetBkColor(ReadColour(b));
      break;
    case kMoveToEx:
    case kLineTo: {
      const QPointF p = ReadPoint(b);
      if (!b.Ok()) return false;
      type == kMoveToEx ? player->MoveTo(p) : player->LineTo(p);
      break;
    }
    case kExcludeClipRect:
    case kIntersectClipRect: {
      const QRectF r = ReadRect(b);
      if (!b.Ok()) return false;
      type == kExcludeClipRect ? player->ExcludeClipRect(r) : player->IntersectClipRect(r);
      break;
    }
    case kSaveDc:
      player->SaveDC();
      break;
    case kRestoreDc:
      player->RestoreDC(b.I32());
      break;
    case kSetWorldTransform: {
      const QTransform t = ReadXform(b);
      if (!b.Ok()) return false;
      player->SetWorldTransform(t);
      break;
    }
    case kModifyWorldTransform: {
      const QTransform t = ReadXform(b);
      const int mode = int(b.U32());
      if (!b.Ok()) return false;
      player->ModifyWorldTransform(t, mode);
      break;
    }
    case kSelectObject:
      player->SelectObject(b.U32());
      break;
    case kDeleteObject:
      player->DeleteObject(b.U32());
      break;
    case kCreatePen: {
      const std::uint32_t slot = b.U32();
      CMetafileObject o;
      o.kind = CMetafileObject::kPen;
      o.pen.style = int(b.U32());
      o.pen.width = std::abs(b.I32());
      b.I32();
      o.pen.color = ReadColour(b);
      if (!b.Ok()) return false;
      player->SetObject(slot, o);
      break;
    }
    case kExtCreatePen: {
      const std::uint32_t slot = b.U32();
      b.Skip(16);  // pattern bitmap offsets and sizes
      CMetafileObject o;
      o.kind = CMetafileObject::kPen;
      const std::uint32_t style = b.U32();
      const std::uint32_t width = b.U32();
      const std::uint32_t brushStyle = b.U32();
      o.pen.color = ReadColour(b);
      if (!b.Ok()) return false;
      // Cosmetic pens are one pixel wide whatever their width says; a hollow brush draws
      // nothing.
      o.pen.style = int(style & 0xFFFF);
      if (brushStyle == 1) o.pen.style = (o.pen.style & ~0xF) | 5;
      o.pen.width = (style & 0x00010000) ? double(width) : 0.0;
      player->SetObject(slot, o);
      break;
    }
    case kCreateBrushIndirect: {
      const std::uint32_t slot = b.U32();
      CMetafileObject o;
      o.kind = CMetafileObject::kBrush;
      o.brush.style = int(b.U32());
      o.brush.color = ReadColour(b);
      o.brush.hatch = int(b.U32());
      if (!b.Ok()) return false;
      player->SetObject(slot, o);
      break;
    }
    case kCreateMonoBrush:
    case kCreateDibPatternBrushPt: {
      const std::uint32_t slot = b.U32();
      const CMetafileObject o = PatternBrush(b);
      if (!b.Ok()) return false;
      player->SetObject(slot, o);
      break;
    }
    case kCreatePalette: {
      const std::uint32_t slot = b.U32();
      CMetafileObject o;
      o.kind = CMetafileObject::kOther;
      if (!b.Ok()) return false;
      player->SetObject(slot, o);
      break;
    }
    case kExtCreateFontIndirectW: {
      const std::uint32_t slot = b.U32();
      CMetafileObject o;
      o.kind = CMetafileObject::kFont;
      o.font.height = b.I32();
      b.I32();  // width
      o.font.escapement = b.I32();
      b.I32();  // orientation
      o.font.weight = b.I32();
      o.font.italic = b.U8() != 0;
      o.font.underline = b.U8() != 0;
      o.font.strikeOut = b.U8() != 0;
      b.Skip(5);
      const std::uint8_t* face = b.Bytes(64);
      if (!b.Ok()) return false;
      for (int i = 0; i < 32; ++i) {
        const QChar c(face[2 * i] | (face[2 * i + 1] << 8));
        if (c.isNull()) break;
        o.font.face += c;
      }
      player->SetObject(slot, o);
      break;
    }
    case kEllipse:
    case kRectangle: {
      const QRectF r = ReadRect(b);
      if (!b.Ok()) return false;
      type == kEllipse ? player->Ellipse(r) : player->Rectangle(r);
      break;
    }
    case kRoundRect: {
      const QRectF r = ReadRect(b);
      const double w = b.I32(), h = b.I32();
      if (!b.Ok()) return false;
      player->RoundRect(r, w, h);
      break;
    }
    case kArc:
    case kArcTo:
    case kChord:
    case kPie: {
      const QRectF r = ReadRect(b);
      const QPointF start = ReadPoint(b);
      const QPointF end = ReadPoint(b);
      if (!b.Ok()) return false;
      const auto kind = type == kChord ? CMetafilePlayer::ArcKind::kChord
                        : type == kPie ? CMetafilePlayer::ArcKind::kPie
                                       : CMetafilePlayer::ArcKind::kArc;
      player->Arc(kind, r, start, end);
      break;
    }
    case kSetMiterLimit:
      player->SetMiterLimit(b.U32());
      break;
    case kBeginPath:
      player->BeginPath();
      break;
    case kEndPath:
      player->EndPath();
      break;
    case kCloseFigure:
      player->CloseFigure();
      break;
    case kFillPath:
      player->FillPath();
      break;
    case kStrokeAndFillPath:
      player->StrokeAndFillPath();
      break;
    case kStrokePath:
      player->StrokePath();
      break;
    case kAbortPath:
      player->AbortPath();
      break;
    case kSelectClipPath:
      player->SelectClipPath(int(b.U32()));
      break;
    case kExtSelectClipRgn: {
      const std::size_t dataSize = b.U32();
      const int mode = int(b.U32());
      if (!b.Ok()) return false;
      if (dataSize == 0) {
        if (mode == 5) player->ResetClip();  // copying no region removes the clip
        break;
      }
      b.Skip(8);  // header size, type
      const std::size_t count = b.U32();
      b.Skip(4 + 16);  // region size, bounds
      if (!b.Ok() || count > b.Remaining() / 16) return false;
      std::vector<QRectF> rects;
      for (std::size_t i = 0; i < count; ++i) rects.push_back(ReadRect(b));
      player->SelectClipRegion(rects, mode);
      break;
    }
    case kBitBlt:
    case kStretchBlt: {
      b.Skip(16);  // bounds
      const double xDest = b.I32(), yDest = b.I32(), cxDest = b.I32(), cyDest = b.I32();
      const std::uint32_t rop = b.U32();
      const double xSrc = b.I32(), ySrc = b.I32();
      b.Skip(24 + 4 + 4);  // source transform, background colour, colour usage
      const std::uint32_t offBmi = b.U32(), cbBmi = b.U32(), offBits = b.U32(), cbBits = b.U32();
      double cxSrc = cxDest, cySrc = cyDest;
      if (type == kStretchBlt) cxSrc = b.I32(), cySrc = b.I32();
      if (!b.Ok()) return false;
      const QRectF dst(xDest, yDest, cxDest, cyDest);
      if (cbBmi == 0) {
        player->PatBlt(dst, rop);
        break;
      }
      const QImage image = RecordDib(b, offBmi, cbBmi, offBits, cbBits);
      if (!image.isNull()) player->DrawImage(dst, image, QRectF(xSrc, ySrc, cxSrc, cySrc), rop);
      break;
    }
    case kStretchDiBits:
    case kSetDiBitsToDevice: {
      b.Skip(16);  // bounds
      const double xDest = b.I32(), yDest = b.I32(), xSrc = b.I32(), ySrc = b.I32();
      const double cxSrc = b.I32(), cySrc = b.I32();
      const std::uint32_t offBmi = b.U32(), cbBmi = b.U32(), offBits = b.U32(), cbBits = b.U32();
      b.U32();                         // colour usage
      std::uint32_t rop = 0x00CC0020;  // SRCCOPY
      double cxDest = cxSrc, cyDest = cySrc;
      if (type == kStretchDiBits) {
        rop = b.U32();
        cxDest = b.I32();
        cyDest = b.I32();
      }
      if (!b.Ok()) return false;
      const QImage image = RecordDib(b, offBmi, cbBmi, offBits, cbBits);
      if (image.isNull()) break;
      // Source rows count from the bottom of the bitmap.
      const QRectF src(xSrc, image.height() - ySrc - cySrc, cxSrc, cySrc);
      player->DrawImage(QRectF(xDest, yDest, cxDest, cyDest), image, src, rop);
      break;
    }
    case kExtTextOutA:
    case kExtTextOutW:
      return PlayText(player, b, type == kExtTextOutW);
    case kSmallTextOut:
      return PlaySmallText(player, b);
    default:
      break;  // records without a visible effect here are skipped
  }
  return b.Ok();
}

}  // namespace

void RvPlayEnhancedMetafile(const std::uint8_t* data, std::size_t size, CMetafilePlayer* player,
                            std::vector<RvPixel>* palette) {
  CMetafileBytes file(data, size);
  bool first = true;
  while (file.Ok() && file.Remaining() >= 8) {
    const std::size_t start = file.Position();
    const std::uint32_t type = file.U32();
    const std::size_t recordSize = file.U32();
    if (recordSize < 8 || !file.Holds(start, recordSize)) return;
    CMetafileBytes record(data + start, recordSize);
    if (type == kEof) {
      record.Seek(8);
      const std::size_t count = record.U32();
      const std::size_t offset = record.U32();
      if (count >= 1 && count <= 255 && record.Holds(offset, count * 4)) {
        const std::uint8_t* p = record.Data() + offset;
        for (std::size_t i = 0; i < count; ++i, p += 4)
          palette->push_back(RvMakePixel(p[0], p[1], p[2]));
      }
      return;
    }
    if (!first && type != kHeader && !PlayRecord(player, type, record)) return;
    first = false;
    file.Seek(start + recordSize);
  }
}
