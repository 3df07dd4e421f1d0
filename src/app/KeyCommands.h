// The fixed keyboard commands that drive the engine and the view. An event filter on the
// application sees every key press before any control does; a key it handles is consumed.
#pragma once

#include <QObject>
#include <functional>

#include "app/MainDlgLayout.h"

class CKaDrawThread;
class CKaStatusLine;
class QKeyEvent;
class QWidget;

// The main window's operations that keys call.
class CRvKeyTarget {
 public:
  virtual ~CRvKeyTarget() = default;
  virtual RvLoadPanelState KeyLoadPanelState() const = 0;
  virtual void CycleOptionsBar() = 0;
  virtual void EscapeFullScreen() = 0;
  virtual void ToggleMaximize() = 0;
  virtual void FullScreenSwitch() = 0;
  virtual void ShowLoadPanel() = 0;
  virtual void AcceptLoadPanel() = 0;
  virtual void CancelLoadPanel() = 0;
  virtual bool IsAcceptEnabled() const = 0;
  // Enter while the load-sequence panel is open, offered to the panel first (a path typed into
  // its path edit opens the tree there); true when the panel used it.
  virtual bool LoadPanelEnter() { return false; }
  virtual void RequestStop() = 0;
  virtual void SaveSequence() = 0;
  virtual void OpenSettings(int page) = 0;  // -1: the stored page
  virtual void AdjustWindowSize() = 0;
  virtual void ShowHelp() = 0;
  virtual void RefreshInOutPanel() = 0;
  virtual void RefreshPlayPanel() = 0;
  virtual void ShowNextPanel() = 0;
  virtual void ShowPreviousPanel() = 0;
};

class CRvKeyCommands : public QObject {
  Q_OBJECT

 public:
  // view: the widget frames are shown in (its size is the "zoom to fit" target). Installs
  // itself on the application; removed on destruction.
  CRvKeyCommands(CKaDrawThread* engine, CKaStatusLine* statusLine, QWidget* view,
                 CRvKeyTarget* target = nullptr, QObject* parent = nullptr);
  ~CRvKeyCommands() override;

  // Handles one key press; true when the key is one of ours (and was consumed).
  bool HandleKey(int key, Qt::KeyboardModifiers modifiers);

  // The display gamma the Alt+Page keys change (1.0 at start, not stored).
  double GetDisplayGamma() const { return m_displayGamma; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // True while the keyboard focus is in a text field of the main window (the options bar's
  // fields) and no load-sequence panel is open.
  bool TypingInPanelField() const;
  bool HandleFieldKey(int key);
  bool HandleLoadPanelKey(int key);
  bool HandleWindowKey(int key, bool ctrl, bool alt);
  bool HandleArrows(int key, bool shift, bool ctrl, bool alt);
  void ZoomToFit();

  CKaDrawThread* m_engine;
  CKaStatusLine* m_statusLine;
  QWidget* m_view;
  CRvKeyTarget* m_target;
  double m_displayGamma = 1.0;
};
