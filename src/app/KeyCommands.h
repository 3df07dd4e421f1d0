// The fixed keyboard commands that drive the engine and the view. An event filter on the
// application sees every key press before any control does; a key it handles is consumed.
#pragma once

#include <QObject>
#include <functional>

class CKaDrawThread;
class CKaStatusLine;
class QKeyEvent;
class QWidget;

class CRvKeyCommands : public QObject {
  Q_OBJECT

 public:
  // view: the widget frames are shown in (its size is the "zoom to fit" target). Installs
  // itself on the application; removed on destruction.
  CRvKeyCommands(CKaDrawThread* engine, CKaStatusLine* statusLine, QWidget* view,
                 QObject* parent = nullptr);
  ~CRvKeyCommands() override;

  // Handles one key press; true when the key is one of ours (and was consumed).
  bool HandleKey(int key, Qt::KeyboardModifiers modifiers);

  // The display gamma the Alt+Page keys change (1.0 at start, not stored).
  double GetDisplayGamma() const { return m_displayGamma; }
  // Called after the frame rate changed by key (the play panel refreshes itself).
  void SetRateChangedHandler(std::function<void()> handler) { m_rateChanged = std::move(handler); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool HandleArrows(int key, bool shift, bool ctrl);
  void ZoomToFit();

  CKaDrawThread* m_engine;
  CKaStatusLine* m_statusLine;
  QWidget* m_view;
  double m_displayGamma = 1.0;
  std::function<void()> m_rateChanged;
};
