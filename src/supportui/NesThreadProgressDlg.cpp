#include "supportui/NesThreadProgressDlg.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimerEvent>
#include <QVBoxLayout>

CNesThreadProgressDlg::CNesThreadProgressDlg(const std::string& text, CNesThreadObserver* observer,
                                             QWidget* parent)
    : QDialog(parent), m_observer(observer) {
  setWindowTitle(tr("Please wait"));
  setModal(true);
  m_text = new QLabel(QString::fromStdString(text), this);
  m_text->setWordWrap(true);
  m_bar = new QProgressBar(this);
  m_bar->setRange(0, 100);
  m_bar->setValue(0);
  m_bar->setTextVisible(false);  // a plain bar, as the system's progress control draws it
  m_cancel = new QPushButton(tr("Cancel"), this);
  connect(m_cancel, &QPushButton::clicked, this, &CNesThreadProgressDlg::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_text);
  layout->addWidget(m_bar);
  layout->addWidget(m_cancel, 0, Qt::AlignRight);
  setMinimumWidth(320);
}

void CNesThreadProgressDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (m_timer == 0) m_timer = startTimer(kTimerPeriodMs);
  Poll();  // an action that has already finished needs no tick to close the dialog
}

void CNesThreadProgressDlg::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_timer) {
    QDialog::timerEvent(event);
    return;
  }
  Poll();
}

void CNesThreadProgressDlg::Poll() {
  if (!m_observer) return;
  m_bar->setValue(static_cast<int>(m_observer->nPercent()));
  if (m_observer->bFinished()) {
    if (m_timer != 0) killTimer(m_timer);
    m_timer = 0;
    accept();
  }
}

void CNesThreadProgressDlg::reject() {
  if (m_observer) m_observer->RequestCancel();
  m_cancel->setEnabled(false);  // asked once; the action decides when to stop
}

void CNesThreadProgressDlg::closeEvent(QCloseEvent* event) {
  event->ignore();
  reject();
}

NesResult hrNesShowThreadGUI(const std::string& text, CNesThreadObserver* observer,
                             QWidget* parent) {
  if (!observer) return kNesErrorInvalidArg;
  CNesThreadProgressDlg dialog(text, observer, parent);
  if (dialog.exec() != QDialog::Accepted) return kNesErrorCancelled;
  const NesResult result = observer->resResult();
  delete observer;
  return result;
}
