// The widgets the playback engine shows through: the view that paints the engine's finished
// frames, and the status line under it. Neither is touched by the engine's worker: the worker
// draws into the view's back buffer and the status line's texts, and both widgets repaint on
// queued requests.
#pragma once

#include <QTimer>
#include <QWidget>
#include <atomic>

#include "engine/StatusLine.h"
#include "engine/ViewSurface.h"

class CKaDrawThread;

class CRvPlaybackView : public QWidget {
  Q_OBJECT

 public:
  explicit CRvPlaybackView(QWidget* parent = nullptr);
  ~CRvPlaybackView() override;

  CKaViewSurface* Surface() { return &m_surface; }
  // The engine whose display rectangle follows this widget's size (null: none).
  void SetEngine(CKaDrawThread* engine);
  // Frames shown so far (for diagnostics and tests).
  std::uint64_t PresentCount() const { return m_surface.GetBuffer()->PresentCount(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void UpdateDisplayRect();

  CKaBackBufferSurface m_surface;
  CKaDrawThread* m_engine = nullptr;
};

class CRvStatusLineWidget : public QWidget, public CKaStatusLineHost {
  Q_OBJECT

 public:
  explicit CRvStatusLineWidget(QWidget* parent = nullptr);
  ~CRvStatusLineWidget() override;

  CKaStatusLine* Line() { return &m_line; }

  // CKaStatusLineHost: may be called from any thread; the work is queued to this widget.
  void InvalidateStatus() override;
  void StartStatusTimer(int timerId, int milliseconds) override;
  void KillStatusTimer(int timerId) override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CKaStatusLine m_line;
  QTimer m_messageTimer;  // the status line's timer 111
};
