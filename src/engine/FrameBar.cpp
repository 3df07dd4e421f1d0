#include "engine/FrameBar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>
#include <algorithm>
#include <cstdio>

namespace {

constexpr std::uint32_t kEmptyColor = 0x00505050u;
constexpr std::uint32_t kCacheColor = 0x0000CC00u;
constexpr std::uint32_t kInOutColor = 0x00FF9966u;
constexpr std::uint32_t kCachedOutsideColor = 0x00CCCCCCu;
constexpr std::uint32_t kMissingInsideColor = 0x0000CCFFu;
constexpr std::uint32_t kCurrentColor = 0x00FFFFFFu;
constexpr int kBandRows = 3;

// Colours are kept as 0x00BBGGRR like every stored colour of the program.
QColor ColorRef(std::uint32_t c) {
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

void FillSpan(QPainter* painter, int x0, int x1, int top, int bottom, std::uint32_t color) {
  if (x1 > x0 && bottom > top)
    painter->fillRect(QRect(x0, top, x1 - x0, bottom - top), ColorRef(color));
}

}  // namespace

CKaFrameBar::CKaFrameBar(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CKaFrameBar::SetSource(const CKaFrameBarSource* source) {
  m_source = source;
  update();
}

void CKaFrameBar::SetCurrentIndex(std::uint32_t index) {
  if (index == m_current) return;
  m_current = index;
  update();
}

void CKaFrameBar::SetStep(std::uint32_t step) {
  if (step == m_step) return;
  m_step = step;
  update();
}

void CKaFrameBar::SetProgress(std::uint32_t done, std::uint32_t total) {
  m_progressDone = std::min(done, total);
  m_progressTotal = total;
  update();
}

int CKaFrameBar::CellX(std::uint32_t i, std::uint32_t count, int left, int right) {
  const double perFrame = double(right - left) / double(count);
  const double x = double(i) * perFrame;
  // Cells past the end (a cache band that holds millions of small frames) start at the right
  // edge; converting their position to int would overflow.
  if (x >= double(right - left)) return right;
  return int(x) + left;
}

std::uint32_t CKaFrameBar::IndexAt(int x, std::uint32_t count, int width) {
  // Measured inside the one-pixel border the bar's mouse area leaves on each side.
  const int left = 1, right = width - 1;
  if (count == 0 || right <= left) return 0;
  const double perFrame = double(right - left) / double(count);
  const double index = double(x - left) / perFrame;
  if (index <= 0.0) return 0;
  return std::uint32_t(std::min(index, double(count)));
}

void CKaFrameBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int L = 0, T = 0, R = width(), B = height();
  if (m_progressTotal > 0) {
    PaintProgress(&painter);
    return;
  }
  const std::uint32_t count = m_source ? m_source->GetFrameCount() : 0;
  if (count < 2) {
    FillSpan(&painter, L, R, T, B, kEmptyColor);
    return;
  }
  const auto x = [&](std::uint64_t i) {
    return CellX(std::uint32_t(std::min<std::uint64_t>(i, 0xFFFFFFFFu)), count, L, R);
  };
  const std::uint32_t in = m_source->GetInPointIndex();
  const std::uint32_t outStored = m_source->GetOutPointIndex();

  // Cache band: the stretch the cache can hold from the in point on, moved back when it would
  // run past the end.
  std::int64_t s = in;
  const std::int64_t e = std::int64_t(m_source->GetCacheCapacity()) * m_step + s;
  if (e > std::int64_t(count)) s = std::max<std::int64_t>(0, s - (e - count));
  FillSpan(&painter, L, x(s), B - kBandRows, B, 0);
  FillSpan(&painter, x(s), x(e + 1), B - kBandRows, B, kCacheColor);
  FillSpan(&painter, x(e + 1), R, B - kBandRows, B, 0);

  // In/out band.
  const std::uint64_t o = outStored == kNone ? count : outStored;
  FillSpan(&painter, L, x(in), T, T + kBandRows, 0);
  FillSpan(&painter, x(in), x(o + 1), T, T + kBandRows, kInOutColor);
  FillSpan(&painter, x(o + 1), R, T, T + kBandRows, 0);

  const std::atomic<std::uint8_t>* loaded = m_source->GetLoadedFlags();
  for (std::uint32_t i = 0; i < count; ++i) {
    const bool inRam = loaded && loaded[i].load(std::memory_order_relaxed) != 0;
    // "Inside" uses the out index as stored, so without an out point everything from the in
    // point on is inside.
    const bool inside = in <= i && i <= outStored;
    std::uint32_t color = inRam ? (inside ? kInOutColor : kCachedOutsideColor)
                                : (inside ? kMissingInsideColor : kEmptyColor);
    if (i == m_current) color = kCurrentColor;
    FillSpan(&painter, x(i), x(i + 1), T + kBandRows, B - kBandRows, color);
  }

  const std::uint32_t* numbers = m_source->GetFrameNumbers();
  if (m_label >= 0 && std::uint32_t(m_label) < count && numbers) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize((B - T) + 2);
    font.setWeight(QFont::Bold);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetrics metrics(font);
    painter.drawText(x(std::uint32_t(m_label)), metrics.ascent(),
                     QString::number(qint64(std::int32_t(numbers[m_label]))));
  }
}

void CKaFrameBar::PaintProgress(QPainter* painter) {
  const int w = width(), h = height();
  FillSpan(painter, 0, w, 0, h, kEmptyColor);
  const int done = int(double(w) * m_progressDone / m_progressTotal);
  FillSpan(painter, 0, done, 0, h, kInOutColor);
}

bool CKaFrameBar::AcceptsInput() const {
  return !m_locked && m_source && m_source->GetFrameCount() > 0;
}

void CKaFrameBar::mousePressEvent(QMouseEvent* event) {
  if (!AcceptsInput()) return;
  const std::uint32_t count = m_source->GetFrameCount();
  const std::uint32_t index = IndexAt(int(event->position().x()), count, width());
  if (event->button() == Qt::LeftButton) {
    if (index < count && m_owner) m_owner->SetPositionFromBar(index);
    m_leftDragging = true;
    grabMouse();
  } else if (event->button() == Qt::RightButton) {
    m_rightDragging = true;
    grabMouse();
    m_lastDragIndex = index;
  }
}

void CKaFrameBar::mouseMoveEvent(QMouseEvent* event) {
  if (!AcceptsInput()) return;
  const std::uint32_t count = m_source->GetFrameCount();
  const std::uint32_t index = IndexAt(int(event->position().x()), count, width());
  m_label = int(std::min<std::uint32_t>(index, 0x7FFFFFFF));
  update();
  m_labelTimer.start(kLabelTimerMs, this);
  if (m_leftDragging && m_owner && index < count) m_owner->SetPositionFromBar(index);
  if (m_rightDragging) ShiftRange(index);
}

void CKaFrameBar::ShiftRange(std::uint32_t to) {
  const std::uint32_t count = m_source->GetFrameCount();
  const std::int64_t in = m_source->GetInPointIndex();
  const std::uint32_t outStored = m_source->GetOutPointIndex();
  const std::int64_t out = outStored == kNone ? std::int64_t(count) - 1 : outStored;
  std::int64_t d = std::int64_t(to) - std::int64_t(m_lastDragIndex);
  if (d > 0) d = std::min<std::int64_t>(d, std::int64_t(count) - 1 - out);
  if (d < 0) d = std::max<std::int64_t>(d, -in);
  if (d != 0 && m_owner) {
    // Moving right sets the in point first and left the out point first, so the range never
    // folds over on itself in between.
    if (d > 0) {
      m_owner->SetInPointFromBar(std::uint32_t(in + d));
      m_owner->SetOutPointFromBar(std::uint32_t(out + d));
    } else {
      m_owner->SetOutPointFromBar(std::uint32_t(out + d));
      m_owner->SetInPointFromBar(std::uint32_t(in + d));
    }
    m_owner->ApplyInOutFromBar();
  }
  m_lastDragIndex = to;
}

void CKaFrameBar::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) m_leftDragging = false;
  if (event->button() == Qt::RightButton) m_rightDragging = false;
  if (!m_leftDragging && !m_rightDragging) releaseMouse();
}

void CKaFrameBar::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_labelTimer.timerId()) return QWidget::timerEvent(event);
  m_label = -1;
  m_labelTimer.stop();
  update();
}
