#include "app/PlaybackView.h"

#include <QPainter>
#include <QPointer>

#include "engine/DrawThread.h"

CRvPlaybackView::CRvPlaybackView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  QPointer<CRvPlaybackView> self(this);
  m_surface.GetBuffer()->SetPresentSink([self] {
    // From the engine's worker: ask the UI thread to repaint.
    if (self) QMetaObject::invokeMethod(self.data(), "update", Qt::QueuedConnection);
  });
}

CRvPlaybackView::~CRvPlaybackView() { m_surface.GetBuffer()->SetPresentSink({}); }

void CRvPlaybackView::SetEngine(CKaDrawThread* engine) {
  m_engine = engine;
  UpdateDisplayRect();
}

void CRvPlaybackView::UpdateDisplayRect() {
  if (m_engine) m_engine->SetDisplayRect(0, 0, width(), height());
}

void CRvPlaybackView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  m_surface.GetBuffer()->PaintTo(&painter, 0, 0);
}

void CRvPlaybackView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  UpdateDisplayRect();
}

CRvStatusLineWidget::CRvStatusLineWidget(QWidget* parent) : QWidget(parent), m_line(this) {
  setFixedHeight(20);
  m_messageTimer.setSingleShot(true);
  connect(&m_messageTimer, &QTimer::timeout,
          [this] { m_line.OnTimer(CKaStatusLine::kMessageTimerId); });
}

CRvStatusLineWidget::~CRvStatusLineWidget() { m_line.SetHost(nullptr); }

void CRvStatusLineWidget::InvalidateStatus() {
  QMetaObject::invokeMethod(this, "update", Qt::QueuedConnection);
}

void CRvStatusLineWidget::StartStatusTimer(int timerId, int milliseconds) {
  if (timerId != CKaStatusLine::kMessageTimerId) return;
  QMetaObject::invokeMethod(
      this, [this, milliseconds] { m_messageTimer.start(milliseconds); }, Qt::QueuedConnection);
}

void CRvStatusLineWidget::KillStatusTimer(int timerId) {
  if (timerId != CKaStatusLine::kMessageTimerId) return;
  QMetaObject::invokeMethod(
      this, [this] { m_messageTimer.stop(); }, Qt::QueuedConnection);
}

void CRvStatusLineWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  m_line.Paint(&painter, rect());
}
