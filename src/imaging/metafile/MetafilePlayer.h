#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QTransform>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

// The graphics objects a metafile creates and selects.
struct CMetafilePen {
  int style = 0;     // PS_* line style, end cap and join bits
  double width = 0;  // logical units; 0 draws one device pixel wide
  QColor color = Qt::black;
};
struct CMetafileBrush {
  int style = 0;  // BS_SOLID 0, BS_NULL 1, BS_HATCHED 2, pattern brushes 3 and 5
  QColor color = Qt::white;
  int hatch = 0;
  QImage pattern;
};
struct CMetafileFont {
  double height = 0;      // logical units; negative is the character height, positive the cell
  double escapement = 0;  // tenths of a degree, counter-clockwise
  int weight = 400;
  bool italic = false, underline = false, strikeOut = false;
  QString face;
};
struct CMetafileObject {
  enum Kind { kNone, kPen, kBrush, kFont, kOther } kind = kNone;
  CMetafilePen pen;
  CMetafileBrush brush;
  CMetafileFont font;
};

// Plays the drawing operations of Windows and enhanced metafiles onto a QPainter with the
// device-context rules of the records: object table, saved states, window and viewport mapping,
// world transform, paths and clipping. All shapes are built in logical coordinates, mapped to
// output pixels and drawn there, so pens, text and bitmaps scale with the picture.
class CMetafilePlayer {
 public:
  // The picture is size pixels; the painter draws on it.
  CMetafilePlayer(QPainter* painter, QSize size);

  // Windows metafiles: the window (in logical units) maps onto the whole picture; window
  // records change it, viewport records and map modes do not apply.
  void StartWindowsPlayback(const QRectF& window);
  // Enhanced metafiles: device pixels of the recording device map onto the picture through
  // deviceToPicture; pxPerMm is the recording device's resolution for the metric map modes.
  void StartEnhancedPlayback(const QTransform& deviceToPicture, QSizeF pxPerMm);

  // Mapping.
  void SetMapMode(int mode);
  void SetWindowOrg(double x, double y);
  void SetWindowExt(double x, double y);
  void SetViewportOrg(double x, double y);
  void SetViewportExt(double x, double y);
  void OffsetWindowOrg(double dx, double dy);
  void OffsetViewportOrg(double dx, double dy);
  void ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
  void ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
  void SetWorldTransform(const QTransform& t);
  void ModifyWorldTransform(const QTransform& t, int mode);

  // Objects. Windows metafiles place a new object in the lowest free slot; enhanced
  // metafiles name the slot. Stock objects are selected by their number.
  int AddObject(const CMetafileObject& object);
  void SetObject(std::uint32_t slot, const CMetafileObject& object);
  void SelectObject(std::uint32_t slot);
  void SelectStockObject(int stock);
  void DeleteObject(std::uint32_t slot);

  // State.
  void SetTextColor(QColor c) { m_state.textColor = c; }
  void SetBkColor(QColor c) { m_state.bkColor = c; }
  void SetBkMode(int mode) { m_state.bkMode = mode; }
  void SetPolyFillMode(int mode) { m_state.polyFillMode = mode; }
  void SetTextAlign(int align) { m_state.textAlign = align; }
  void SetMiterLimit(double limit) { m_state.miterLimit = limit; }
  void SaveDC();
  void RestoreDC(int which);

  // Drawing, in logical coordinates.
  void MoveTo(QPointF p);
  void LineTo(QPointF p);
  void Polyline(const QPolygonF& points);
  void PolylineTo(const QPolygonF& points);
  void PolyBezier(const QPolygonF& points);
  void PolyBezierTo(const QPolygonF& points);
  void Polygon(const QPolygonF& points);
  void PolyPolygon(const std::vector<QPolygonF>& polygons);
  void PolyPolyline(const std::vector<QPolygonF>& lines);
  void Rectangle(const QRectF& r);
  void RoundRect(const QRectF& r, double cornerWidth, double cornerHeight);
  void Ellipse(const QRectF& r);
  enum class ArcKind { kArc, kPie, kChord };
  void Arc(ArcKind kind, const QRectF& r, QPointF start, QPointF end);
  void SetPixel(QPointF p, QColor c);
  // dx: the advance of each character in logical units (may be empty). options: ETO_OPAQUE 2,
  // ETO_CLIPPED 4; rect applies to them.
  void TextOut(QPointF p, const QString& text, const std::vector<double>& dx, int options,
               const QRectF& rect);
  // Copies the source part of image onto the destination rectangle with a raster operation.
  void DrawImage(const QRectF& dst, const QImage& image, const QRectF& src, std::uint32_t rop);
  // Fills a rectangle by a pattern raster operation (the selected brush, black or white).
  void PatBlt(const QRectF& r, std::uint32_t rop);

  // Paths.
  void BeginPath();
  void EndPath() { m_inPath = false; }
  void AbortPath();
  void CloseFigure();
  void FillPath();
  void StrokePath();
  void StrokeAndFillPath();
  void SelectClipPath(int mode);

  // Clipping (logical rectangles; regions as device rectangles of the recording device).
  void IntersectClipRect(const QRectF& r);
  void ExcludeClipRect(const QRectF& r);
  void SelectClipRegion(const std::vector<QRectF>& deviceRects, int mode);
  void ResetClip();

  // Every drawing operation is charged its estimated raster work: the picture pixels it covers
  // (a fill its bounds, a stroke its length times its width) plus kWorkPerElementRow for each
  // path element on each row it spans (a row costs Qt's rasterizer about as much as a hundred
  // pixels). A file may spend kWorkPerPixel times the picture's pixels (plus kBaseWork); a
  // record that would pass the budget raises code 2, so a short file cannot make playback run
  // for minutes.
  static constexpr std::uint64_t kWorkPerPixel = 256;
  static constexpr double kWorkPerElementRow = 64;
  // Rows beyond this many are cut away by Qt's rasterizer before it walks them.
  static constexpr double kRasterCoordinateSpan = double(1 << 24);
  static constexpr std::uint64_t kBaseWork = std::uint64_t(1) << 24;

 private:
  struct State {
    int mapMode = 1;  // MM_TEXT
    QPointF windowOrg, viewportOrg;
    QSizeF windowExt{1, 1}, viewportExt{1, 1};
    QTransform world;
    CMetafilePen pen;
    CMetafileBrush brush;
    CMetafileFont font;
    QColor textColor = Qt::black;
    QColor bkColor = Qt::white;
    int bkMode = 2;        // OPAQUE
    int polyFillMode = 1;  // ALTERNATE
    int textAlign = 0;
    double miterLimit = 10;
    QPointF position;                  // logical
    std::optional<QPainterPath> clip;  // picture pixels
  };

  QTransform PageTransform() const;
  void UpdateTransform();
  QPointF Map(QPointF p) const { return m_toPicture.map(p); }
  double LineScale() const;
  QPen DevicePen() const;
  QBrush DeviceBrush() const;
  // Draws (or, inside a path bracket, records) a closed or open logical shape.
  void DrawShape(const QPainterPath& logical, bool fill, bool stroke);
  void ApplyClip();
  void SetClip(const QPainterPath& path, int mode);
  QFont DeviceFont(double* pixelHeight) const;

  // Charges one drawing operation: bounds in picture pixels, elements of its outline, and the
  // pixels it covers when less than its bounds (negative: all of them).
  // Strokes pass wholeExtent: their rows outside the picture are walked too.
  void Charge(const QRectF& bounds, std::size_t elements, double coverage = -1,
              bool wholeExtent = false);
  void ChargePath(const QPainterPath& path, const QPen& pen, bool fill);
  // Charges and draws a path in picture pixels: filled with brush when fill, then stroked.
  void PaintPath(const QPainterPath& picture, const QPen& pen, const QBrush& brush, bool fill);

  QPainter* m_painter;
  QSize m_size;
  std::uint64_t m_work = 0;
  std::uint64_t m_workBudget = 0;
  bool m_enhanced = false;
  QTransform m_deviceToPicture;
  QSizeF m_pxPerMm{96 / 25.4, 96 / 25.4};
  QTransform m_toPicture;
  State m_state;
  std::vector<State> m_saved;
  std::map<std::uint32_t, CMetafileObject> m_objects;
  // Windows metafiles reuse the lowest free slot: the freed slots below the next unused one.
  std::set<std::uint32_t> m_freeSlots;
  std::uint32_t m_nextSlot = 0;
  bool m_inPath = false;
  QPainterPath m_path;  // picture pixels
};
