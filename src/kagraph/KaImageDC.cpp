#include "kagraph/KaImageDC.h"

#include <QFontMetrics>
#include <vector>

CKaDeviceContext::~CKaDeviceContext() = default;

QColor KaColorFromRef(std::uint32_t colorRef) {
  return QColor(int(colorRef & 0xFF), int((colorRef >> 8) & 0xFF), int((colorRef >> 16) & 0xFF));
}

namespace {

QList<QRgb> OpaquePalette(const std::uint32_t* palette, int entries) {
  QList<QRgb> table(entries, qRgb(0, 0, 0));
  if (palette) {
    for (int i = 0; i < entries; ++i) table[i] = palette[i] | 0xFF000000u;
  }
  return table;
}

// A QImage over the view's own rows (no copy) for the layouts QImage reads directly; 4-bit
// pictures are widened into `scratch` first. Returns a null image for layouts it cannot show.
QImage WrapView(const KaBitmapView& v, std::vector<std::uint8_t>* scratch) {
  if (!v.bits || v.width <= 0 || v.height <= 0 || v.stride <= 0) return {};
  // The image only reads these rows: the painter never draws into its source.
  auto* data = const_cast<std::uint8_t*>(v.bits);
  const qsizetype bpl = v.stride;
  switch (v.bitsPerPixel) {
    case 32:
      return QImage(data, v.width, v.height, bpl, QImage::Format_RGB32);
    case 24:
      return QImage(data, v.width, v.height, bpl, QImage::Format_BGR888);
    case 16:
      return QImage(data, v.width, v.height, bpl, QImage::Format_RGB555);
    case 8: {
      QImage image(data, v.width, v.height, bpl, QImage::Format_Indexed8);
      image.setColorTable(OpaquePalette(v.palette, 256));
      return image;
    }
    case 1: {
      QImage image(data, v.width, v.height, bpl, QImage::Format_Mono);
      image.setColorTable(OpaquePalette(v.palette, 2));
      return image;
    }
    case 4: {
      const int outStride = (v.width + 3) & ~3;
      scratch->assign(std::size_t(outStride) * std::size_t(v.height), 0);
      for (int y = 0; y < v.height; ++y) {
        const std::uint8_t* in = v.bits + std::ptrdiff_t(y) * v.stride;
        std::uint8_t* out = scratch->data() + std::size_t(y) * std::size_t(outStride);
        for (int x = 0; x < v.width; ++x) {
          const std::uint8_t pair = in[x / 2];
          out[x] = (x & 1) ? (pair & 0x0F) : (pair >> 4);
        }
      }
      QImage image(scratch->data(), v.width, v.height, outStride, QImage::Format_Indexed8);
      image.setColorTable(OpaquePalette(v.palette, 16));
      return image;
    }
    default:
      return {};
  }
}

}  // namespace

CKaImageDC::CKaImageDC(QImage* target) : m_target(target), m_painter(target) {
  m_painter.setCompositionMode(QPainter::CompositionMode_Source);
}

CKaImageDC::~CKaImageDC() { m_painter.end(); }

int CKaImageDC::Width() const { return m_target->width(); }
int CKaImageDC::Height() const { return m_target->height(); }

void CKaImageDC::FillRect(const KaRect& rect, std::uint32_t colorRef) {
  if (rect.right <= rect.left || rect.bottom <= rect.top) return;
  m_painter.fillRect(QRect(rect.left, rect.top, rect.Width(), rect.Height()),
                     KaColorFromRef(colorRef));
}

void CKaImageDC::SetStretchNearest(bool nearest) { m_nearest = nearest; }

void CKaImageDC::DrawBitmap(const KaBitmapView& bitmap, int x, int y, int width, int height) {
  if (width <= 0 || height <= 0) return;
  std::vector<std::uint8_t> scratch;
  const QImage image = WrapView(bitmap, &scratch);
  if (image.isNull()) return;
  m_painter.save();
  m_painter.setRenderHint(QPainter::SmoothPixmapTransform, !m_nearest);
  if (bitmap.bottomUp) {
    // Rows are stored bottom row first: draw through a vertical flip instead of copying.
    m_painter.translate(x, y + height);
    m_painter.scale(1.0, -1.0);
    m_painter.drawImage(QRectF(0, 0, width, height), image);
  } else {
    m_painter.drawImage(QRectF(x, y, width, height), image);
  }
  m_painter.restore();
}

void CKaImageDC::DrawTextLine(int x, int y, const std::string& text, std::uint32_t textColor,
                              std::uint32_t backColor) {
  const QString line = QString::fromUtf8(text.data(), qsizetype(text.size()));
  const QFontMetrics metrics(m_painter.font());
  const QRect box(x, y, metrics.horizontalAdvance(line), metrics.height());
  m_painter.fillRect(box, KaColorFromRef(backColor));
  m_painter.setPen(KaColorFromRef(textColor));
  m_painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, line);
}

CKaBackBuffer::CKaBackBuffer() = default;
CKaBackBuffer::~CKaBackBuffer() = default;

void CKaBackBuffer::SetPresentSink(PresentSink sink) {
  std::lock_guard guard(m_lock);
  m_sink = std::move(sink);
}

QImage* CKaBackBuffer::BeginDraw(int width, int height) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (m_back.width() != width || m_back.height() != height) {
    m_back = QImage(width, height, QImage::Format_RGB32);
  }
  return &m_back;
}

void CKaBackBuffer::Present() {
  PresentSink sink;
  {
    std::lock_guard guard(m_lock);
    std::swap(m_front, m_back);
    ++m_presents;
    sink = m_sink;
  }
  if (sink) sink();
}

void CKaBackBuffer::PaintTo(QPainter* painter, int x, int y) const {
  std::lock_guard guard(m_lock);
  if (!m_front.isNull()) painter->drawImage(x, y, m_front);
}

QImage CKaBackBuffer::Snapshot() const {
  std::lock_guard guard(m_lock);
  return m_front.copy();
}

void CKaBackBuffer::FillFront(const KaRect& rect, std::uint32_t colorRef) {
  PresentSink sink;
  {
    std::lock_guard guard(m_lock);
    if (m_front.isNull() || rect.right <= rect.left || rect.bottom <= rect.top) return;
    QPainter painter(&m_front);
    painter.fillRect(QRect(rect.left, rect.top, rect.Width(), rect.Height()),
                     KaColorFromRef(colorRef));
    sink = m_sink;
  }
  if (sink) sink();
}

std::uint64_t CKaBackBuffer::PresentCount() const {
  std::lock_guard guard(m_lock);
  return m_presents;
}

CKaBackBufferFrame::CKaBackBufferFrame(CKaBackBuffer* buffer, int width, int height)
    : m_buffer(buffer), m_dc(std::make_unique<CKaImageDC>(buffer->BeginDraw(width, height))) {}

CKaBackBufferFrame::~CKaBackBufferFrame() {
  m_dc.reset();  // ends the painter before the image changes hands
  m_buffer->Present();
}
