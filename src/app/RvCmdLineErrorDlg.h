// "Error Parsing Command Line": the message, the command line after the frame path with the
// offending part selected, and a Close button.
#pragma once

#include <QDialog>
#include <string>

#include "app/CommandLine.h"

class QLabel;
class QLineEdit;
class QPushButton;

class CRvCmdLineErrorDlg : public QDialog {
  Q_OBJECT

 public:
  CRvCmdLineErrorDlg(const std::string& message, const std::string& displayedText,
                     int errorPosition, QWidget* parent = nullptr);

  QString Message() const;
  QLineEdit* Edit() const { return m_edit; }
  QPushButton* CloseButton() const { return m_close; }
  // True once the highlight has been placed after opening.
  bool HighlightPlaced() const { return m_selectTimer == -1; }

 protected:
  void showEvent(QShowEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  // Selects from the error position to the end once the dialog is up; selecting earlier is
  // undone when the dialog gives its first control the focus. Our id for the timer is
  // kSelectTimerId; Qt hands out its own, kept in m_selectTimer.
  static constexpr int kSelectTimerId = 100;
  static constexpr int kSelectDelayMs = 10;
  static constexpr int kSelectMaxTries = 20;

  QLabel* m_message = nullptr;
  QLineEdit* m_edit = nullptr;
  QPushButton* m_close = nullptr;
  int m_errorPosition = 0;
  int m_selectTimer = 0;  // Qt's id of the kSelectTimerId timer while it runs
  int m_selectTries = 0;
};

// Shows each grammar error in the dialog, modal over parent.
class CRvCmdLineErrorDlgSink : public CRvCmdLineErrorSink {
 public:
  explicit CRvCmdLineErrorDlgSink(QWidget* parent) : m_parent(parent) {}
  void ReportCmdLineError(const std::string& message, const std::string& displayedText,
                          int errorPosition) override;

 private:
  QWidget* m_parent;
};
