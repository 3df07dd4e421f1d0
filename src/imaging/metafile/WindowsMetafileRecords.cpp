#include <QString>

#include "imaging/metafile/MetafileBytes.h"
#include "imaging/metafile/MetafileDib.h"
#include "imaging/metafile/MetafilePlayer.h"
#include "imaging/metafile/MetafileRecords.h"

namespace {

enum WmfFunction : std::uint16_t {
  kEof = 0x0000,
  kSetBkColor = 0x0201,
  kSetBkMode = 0x0102,
  kSetMapMode = 0x0103,
  kSetPolyFillMode = 0x0106,
  kSetTextColor = 0x0209,
  kSetTextAlign = 0x012E,
  kSetWindowOrg = 0x020B,
  kSetWindowExt = 0x020C,
  kOffsetWindowOrg = 0x020F,
  kScaleWindowExt = 0x0410,
  kLineTo = 0x0213,
  kMoveTo = 0x0214,
  kExcludeClipRect = 0x0415,
  kIntersectClipRect = 0x0416,
  kArc = 0x0817,
  kEllipse = 0x0418,
  kPie = 0x081A,
  kRectangle = 0x041B,
  kRoundRect = 0x061C,
  kPatBlt = 0x061D,
  kSaveDc = 0x001E,
  kSetPixel = 0x041F,
  kTextOut = 0x0521,
  kPolygon = 0x0324,
  kPolyline = 0x0325,
  kRestoreDc = 0x0127,
  kSelectObject = 0x012D,
  kChord = 0x0830,
  kExtTextOut = 0x0A32,
  kPolyPolygon = 0x0538,
  kDibBitBlt = 0x0940,
  kDibStretchBlt = 0x0B41,
  kDibCreatePatternBrush = 0x0142,
  kStretchDib = 0x0F43,
  kDeleteObject = 0x01F0,
  kCreatePalette = 0x00F7,
  kCreatePatternBrush = 0x01F9,
  kCreatePenIndirect = 0x02FA,
  kCreateFontIndirect = 0x02FB,
  kCreateBrushIndirect = 0x02FC,
  kCreateRegion = 0x06FF,
};

QColor ReadColour(CMetafileBytes& b) {
  const std::uint8_t* p = b.Bytes(4);
  return p ? QColor(p[0], p[1], p[2]) : QColor();
}

// Four 16-bit values stored bottom, right, top, left.
QRectF ReadReversedRect(CMetafileBytes& b) {
  const double bottom = b.I16(), right = b.I16(), top = b.I16(), left = b.I16();
  return QRectF(QPointF(left, top), QPointF(right, bottom));
}

QPointF ReadReversedPoint(CMetafileBytes& b) {
  const double y = b.I16();
  const double x = b.I16();
  return QPointF(x, y);
}

QPolygonF ReadPoints(CMetafileBytes& b, std::size_t count) {
  QPolygonF points;
  if (count * 4 > b.Remaining()) {
    b.Skip(b.Remaining() + 1);
    return points;
  }
  points.reserve(int(count));
  for (std::size_t i = 0; i < count; ++i) {
    const double x = b.I16();
    const double y = b.I16();
    points << QPointF(x, y);
  }
  return points;
}

// Text of the 8-bit records: Windows-1252 in practice, read as Latin-1.
QString ReadText(CMetafileBytes& b, std::size_t count) {
  const std::uint8_t* p = b.Bytes(count);
  if (!p) return QString();
  if (count & 1) b.Skip(1);  // strings are padded to whole words
  return QString::fromLatin1(reinterpret_cast<const char*>(p), qsizetype(count));
}

void PlayDib(CMetafilePlayer* player, CMetafileBytes& b, std::uint32_t rop, QRectF src,
             const QRectF& dst) {
  const QImage image = RvDecodePackedDib(b.Data() + b.Position(), b.Remaining());
  if (image.isNull()) return;
  // Source rows count from the bottom of the bitmap.
  src.moveTop(image.height() - src.top() - src.height());
  player->DrawImage(dst, image, src, rop);
}

// Returns false when the record is malformed.
bool PlayRecord(CMetafilePlayer* player, std::uint16_t function, CMetafileBytes& b,
                std::vector<RvPixel>* palette) {
  switch (function) {
    case kSetBkColor:
      player->SetBkColor(ReadColour(b));
      break;
    case kSetBkMode:
      player->SetBkMode(b.U16());
      break;
    case kSetMapMode:
      b.U16();  // the window always fills the picture
      break;
    case kSetPolyFillMode:
      player->SetPolyFillMode(b.U16());
      break;
    case kSetTextColor:
      player->SetTextColor(ReadColour(b));
      break;
    case kSetTextAlign:
      player->SetTextAlign(b.U16());
      break;
    case kSetWindowOrg: {
      const QPointF p = ReadReversedPoint(b);
      if (b.Ok()) player->SetWindowOrg(p.x(), p.y());
      break;
    }
    case kSetWindowExt: {
      const QPointF p = ReadReversedPoint(b);
      if (b.Ok()) player->SetWindowExt(p.x(), p.y());
      break;
    }
    case kOffsetWindowOrg: {
      const QPointF p = ReadReversedPoint(b);
      if (b.Ok()) player->OffsetWindowOrg(p.x(), p.y());
      break;
    }
    case kScaleWindowExt: {
      const double yDenom = b.I16(), yNum = b.I16(), xDenom = b.I16(), xNum = b.I16();
      if (b.Ok()) player->ScaleWindowExt(xNum, xDenom, yNum, yDenom);
      break;
    }
    case kMoveTo:
    case kLineTo: {
      const QPointF p = ReadReversedPoint(b);
      if (!b.Ok()) return false;
      function == kMoveTo ? player->MoveTo(p) : player->LineTo(p);
      break;
    }
    case kExcludeClipRect:
    case kIntersectClipRect: {
      const QRectF r = ReadReversedRect(b);
      if (!b.Ok()) return false;
      function == kExcludeClipRect ? player->ExcludeClipRect(r) : player->IntersectClipRect(r);
      break;
    }
    case kArc:
    case kPie:
    case kChord: {
      const QPointF end = ReadReversedPoint(b);
      const QPointF start = ReadReversedPoint(b);
      const QRectF r = ReadReversedRect(b);
      if (!b.Ok()) return false;
      const auto kind = function == kArc   ? CMetafilePlayer::ArcKind::kArc
                        : function == kPie ? CMetafilePlayer::ArcKind::kPie
                                           : CMetafilePlayer::ArcKind::kChord;
      player->Arc(kind, r, start, end);
      break;
    }
    case kEllipse:
    case kRectangle: {
      const QRectF r = ReadReversedRect(b);
      if (!b.Ok()) return false;
      function == kEllipse ? player->Ellipse(r) : player->Rectangle(r);
      break;
    }
    case kRoundRect: {
      const double h = b.I16(), w = b.I16();
      const QRectF r = ReadReversedRect(b);
      if (!b.Ok()) return false;
      player->RoundRect(r, w, h);
      break;
    }
    case kPatBlt: {
      const std::uint32_t rop = b.U32();
      const double h = b.I16(), w = b.I16();
      const QPointF p = ReadReversedPoint(b);
      if (!b.Ok()) return false;
      player->PatBlt(QRectF(p, QSizeF(w, h)), rop);
      break;
    }
    case kSaveDc:
      player->SaveDC();
      break;
    case kRestoreDc:
      player->RestoreDC(b.I16());
      break;
    case kSetPixel: {
      const QColor c = ReadColour(b);
      const QPointF p = ReadReversedPoint(b);
      if (!b.Ok()) return false;
      player->SetPixel(p, c);
      break;
    }
    case kTextOut: {
      const int count = b.I16();
      if (count < 0) return false;
      const QString text = ReadText(b, std::size_t(count));
      const QPointF p = ReadReversedPoint(b);
      if (!b.Ok()) return false;
      player->TextOut(p, text, {}, 0, QRectF());
      break;
    }
    case kExtTextOut: {
      const QPointF p = ReadReversedPoint(b);
      const int count = b.I16();
      const int options = b.U16();
      QRectF rect;
      if (options & 6) {
        const double left = b.I16(), top = b.I16(), right = b.I16(), bottom = b.I16();
        rect = QRectF(QPointF(left, top), QPointF(right, bottom));
      }
      if (count < 0) return false;
      const QString text = ReadText(b, std::size_t(count));
      if (!b.Ok()) return false;
      std::vector<double> dx;
      if (b.Remaining() >= std::size_t(count) * 2)
        for (int i = 0; i < count; ++i) dx.push_back(b.I16());
      player->TextOut(p, text, dx, options, rect);
      break;
    }
    case kPolygon:
    case kPolyline: {
      const int count = b.I16();
      if (count < 0) return false;
      const QPolygonF points = ReadPoints(b, std::size_t(count));
      if (!b.Ok()) return false;
      function == kPolygon ? player->Polygon(points) : player->Polyline(points);
      break;
    }
    case kPolyPolygon: {
      const std::size_t n = b.U16();
      std::vector<std::size_t> counts(n);
      for (std::size_t& c : counts) c = b.U16();
      std::vector<QPolygonF> polygons;
      for (std::size_t c : counts) polygons.push_back(ReadPoints(b, c));
      if (!b.Ok()) return false;
      player->PolyPolygon(polygons);
      break;
    }
    case kSelectObject:
      player->SelectObject(b.U16());
      break;
    case kDeleteObject:
      player->DeleteObject(b.U16());
      break;
    case kCreatePenIndirect: {
      CMetafileObject o;
      o.kind = CMetafileObject::kPen;
      o.pen.style = b.U16();
      o.pen.width = b.I16();
      b.I16();
      o.pen.color = ReadColour(b);
      if (!b.Ok()) return false;
      if (o.pen.width < 0) o.pen.width = -o.pen.width;
      player->AddObject(o);
      break;
    }
    case kCreateBrushIndirect: {
      CMetafileObject o;
      o.kind = CMetafileObject::kBrush;
      o.brush.style = b.U16();
      o.brush.color = ReadColour(b);
      o.brush.hatch = b.U16();
      if (!b.Ok()) return false;
      player->AddObject(o);
      break;
    }
    case kDibCreatePatternBrush: {
      CMetafileObject o;
      o.kind = CMetafileObject::kBrush;
      b.U16();  // style
      b.U16();  // colour usage
      if (!b.Ok()) return false;
      o.brush.pattern = RvDecodePackedDib(b.Data() + b.Position(), b.Remaining());
      o.brush.style = 3;
      if (o.brush.pattern.isNull()) o.brush.color = Qt::gray;
      player->AddObject(o);
      break;
    }
    case kCreateFontIndirect: {
      CMetafileObject o;
      o.kind = CMetafileObject::kFont;
      o.font.height = b.I16();
      b.I16();  // width
      o.font.escapement = b.I16();
      b.I16();  // orientation
      o.font.weight = b.I16();
      o.font.italic = b.U8() != 0;
      o.font.underline = b.U8() != 0;
      o.font.strikeOut = b.U8() != 0;
      b.Skip(5);  // character set, precisions, quality, pitch and family
      if (!b.Ok()) return false;
      const std::size_t n = std::min<std::size_t>(b.Remaining(), 32);
      const char* face = reinterpret_cast<const char*>(b.Bytes(n));
      o.font.face = QString::fromLatin1(face, qsizetype(strnlen(face, n)));
      player->AddObject(o);
      break;
    }
    case kCreatePalette: {
      b.U16();  // version
      const std::size_t count = b.U16();
      const std::uint8_t* p = b.Bytes(count * 4);
      if (!p) return false;
      if (palette->empty() && count >= 1 && count <= 255)
        for (std::size_t i = 0; i < count; ++i)
          palette->push_back(RvMakePixel(p[4 * i], p[4 * i + 1], p[4 * i + 2]));
      CMetafileObject o;
      o.kind = CMetafileObject::kOther;
      player->AddObject(o);
      break;
    }
    case kCreatePatternBrush:
    case kCreateRegion: {
      // Objects that are not drawn with still take their slot in the table.
      CMetafileObject o;
      o.kind = CMetafileObject::kOther;
      player->AddObject(o);
      break;
    }
    case kStretchDib: {
      const std::uint32_t rop = b.U32();
      b.U16();  // colour usage
      const double srcH = b.I16(), srcW = b.I16(), ySrc = b.I16(), xSrc = b.I16();
      const double dstH = b.I16(), dstW = b.I16(), yDst = b.I16(), xDst = b.I16();
      if (!b.Ok()) return false;
      PlayDib(player, b, rop, QRectF(xSrc, ySrc, srcW, srcH), QRectF(xDst, yDst, dstW, dstH));
      break;
    }
    case kDibStretchBlt:
    case kDibBitBlt: {
      const bool stretch = function == kDibStretchBlt;
      // Without a bitmap the record is a pattern fill and carries one more reserved word.
      const bool noBitmap = b.Size() == (stretch ? 22u : 18u);
      const std::uint32_t rop = b.U32();
      double srcH = 0, srcW = 0;
      if (stretch) srcH = b.I16(), srcW = b.I16();
      const double ySrc = b.I16(), xSrc = b.I16();
      if (noBitmap) b.I16();
      const double dstH = b.I16(), dstW = b.I16(), yDst = b.I16(), xDst = b.I16();
      if (!b.Ok()) return false;
      const QRectF dst(xDst, yDst, dstW, dstH);
      if (noBitmap) {
        player->PatBlt(dst, rop);
      } else {
        PlayDib(player, b, rop, QRectF(xSrc, ySrc, stretch ? srcW : dstW, stretch ? srcH : dstH),
                dst);
      }
      break;
    }
    default:
      break;  // records without a visible effect here are skipped
  }
  return b.Ok();
}

}  // namespace

void RvPlayWindowsMetafile(const std::uint8_t* data, std::size_t size, CMetafilePlayer* player,
                           std::vector<RvPixel>* palette) {
  CMetafileBytes file(data, size);
  const std::size_t headerWords = file.Size() >= 4 ? (data[2] | (data[3] << 8)) : 0;
  file.Seek(headerWords * 2);
  while (file.Ok() && file.Remaining() >= 6) {
    const std::size_t start = file.Position();
    const std::size_t words = file.U32();
    const std::uint16_t function = file.U16();
    if (function == kEof) return;
    if (words < 3 || words > file.Size() / 2 || !file.Holds(start, words * 2)) return;
    CMetafileBytes record(data + start + 6, words * 2 - 6);
    if (!PlayRecord(player, function, record, palette)) return;
    file.Seek(start + words * 2);
  }
}
