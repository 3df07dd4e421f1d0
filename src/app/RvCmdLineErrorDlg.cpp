#include "app/RvCmdLineErrorDlg.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimerEvent>
#include <algorithm>

namespace {

// Dialog units: a quarter of the average character width across, an eighth of the line
// height down, so the layout scales with the font like the rest of the dialogs.
class DialogUnits {
 public:
  explicit DialogUnits(const QFontMetrics& metrics)
      : m_x(std::max(1, metrics.averageCharWidth())), m_y(std::max(1, metrics.height())) {}
  QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }
  int X(int units) const { return units * m_x / 4; }
  int Y(int units) const { return units * m_y / 8; }

 private:
  int m_x;
  int m_y;
};

}  // namespace

CRvCmdLineErrorDlg::CRvCmdLineErrorDlg(const std::string& message, const std::string& displayedText,
                                       int errorPosition, QWidget* parent)
    : QDialog(parent) {
  // The position counts bytes of the 8-bit text; the edit counts characters.
  const std::size_t bytes = static_cast<std::size_t>(std::max(errorPosition, 0));
  m_errorPosition = static_cast<int>(QString::fromLocal8Bit(displayedText.substr(0, bytes)).size());
  setWindowTitle(QStringLiteral("Error Parsing Command Line"));
  setModal(true);
  const DialogUnits du(fontMetrics());
  setFixedSize(du.X(282), du.Y(70));

  m_message = new QLabel(QString::fromStdString(message.empty() ? "General Error" : message), this);
  m_message->setGeometry(du.Rect(7, 7, 268, 13));

  // The command line may hold any bytes; keep them visible rather than dropping invalid UTF-8.
  m_edit = new QLineEdit(QString::fromLocal8Bit(displayedText), this);
  m_edit->setReadOnly(true);
  m_edit->setGeometry(du.Rect(7, 26, 268, 14));
  m_edit->setFocus(Qt::OtherFocusReason);

  m_close = new QPushButton(QStringLiteral("Close"), this);
  m_close->setGeometry(du.Rect(225, 48, 50, 14));
  m_close->setDefault(true);
  connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
}

QString CRvCmdLineErrorDlg::Message() const { return m_message->text(); }

void CRvCmdLineErrorDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (m_selectTimer == 0) m_selectTimer = startTimer(kSelectDelayMs);
}

void CRvCmdLineErrorDlg::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_selectTimer) {
    QDialog::timerEvent(event);
    return;
  }
  // Activation moves the focus, and a line edit losing the focus drops its selection, so the
  // selection waits until the window is active (for a bounded time).
  if (!isActiveWindow() && ++m_selectTries < kSelectMaxTries) return;
  killTimer(m_selectTimer);
  m_selectTimer = -1;  // never started again
  const int length = static_cast<int>(m_edit->text().size());
  const int start = std::clamp(m_errorPosition, 0, length);
  m_edit->setFocus(Qt::OtherFocusReason);
  m_edit->setSelection(start, length - start);  // leaves the caret at the end, in view
}

void CRvCmdLineErrorDlgSink::ReportCmdLineError(const std::string& message,
                                                const std::string& displayedText,
                                                int errorPosition) {
  CRvCmdLineErrorDlg dialog(message, displayedText, errorPosition, m_parent);
  dialog.exec();
}
