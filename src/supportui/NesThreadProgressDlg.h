// The progress dialog of the support library's worker threads: a text, a progress bar and a
// Cancel button, shown modally while an action runs on its worker thread.
#pragma once

#include <QDialog>
#include <string>

#include "support/NesThread.h"

class QLabel;
class QProgressBar;
class QPushButton;

#define NES_UI_EXPORT __attribute__((visibility("default")))

// Lives on the user-interface thread, which is the only one touching it. It does not own the
// observer. Every kTimerPeriodMs it shows the observer's percent (read without the lock) and
// closes with Accepted once the action has finished. Cancel, Esc and closing the window only
// ask the action to cancel: the dialog stays until the action has returned, so the caller
// never deletes an observer whose worker still runs.
class NES_UI_EXPORT CNesThreadProgressDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTimerId = 999;  // the dialog's progress timer
  static constexpr int kTimerPeriodMs = 10;

  CNesThreadProgressDlg(const std::string& text, CNesThreadObserver* observer,
                        QWidget* parent = nullptr);

  QProgressBar* ProgressBar() const { return m_bar; }
  QPushButton* CancelButton() const { return m_cancel; }

 public slots:
  void reject() override;  // Cancel and Esc

 protected:
  void showEvent(QShowEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Poll();

  CNesThreadObserver* m_observer;
  QLabel* m_text;
  QProgressBar* m_bar;
  QPushButton* m_cancel;
  int m_timer = 0;  // Qt's id of timer kTimerId
};

// Shows the progress dialog until the action watched by observer has finished, then deletes
// the observer and returns the action's result. Call it on the user-interface thread after
// observer->bStartThread. Returns kNesErrorCancelled only when the dialog ended some other way
// than by the action finishing (for instance when its parent went away); the observer then
// stays with the caller, whose deletion of it waits for the worker.
NES_UI_EXPORT NesResult hrNesShowThreadGUI(const std::string& text, CNesThreadObserver* observer,
                                           QWidget* parent = nullptr);
