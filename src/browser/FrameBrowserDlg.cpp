#include "browser/FrameBrowserDlg.h"

#include <QApplication>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr const char* kOk = "OK";
constexpr const char* kOpen = "Open";
// 388 x 228 dialog units of the classic 8-point dialog font.
constexpr int kWidth = 582;
constexpr int kHeight = 370;

QString ToQt(const std::string& text) { return QString::fromLocal8Bit(text); }
std::string FromQt(const QString& text) { return text.toLocal8Bit().toStdString(); }
}  // namespace

CKaFrameBrowserDlg::CKaFrameBrowserDlg(const std::string& initialFolder, QWidget* parent,
                                       std::shared_ptr<CKaNetProvider> provider)
    : QDialog(parent), m_initialFolder(initialFolder) {
  setWindowTitle(QString::fromLatin1(kTitle));
  if (parent) setWindowIcon(parent->windowIcon());
  resize(kWidth, kHeight);
  m_tree = new CKaDirTreeItem(this, std::move(provider));
  m_edit = new QLineEdit(this);
  m_ok = new QPushButton(QString::fromLatin1(kOk), this);
  m_ok->setProperty("controlId", 1);
  m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
  m_cancel->setProperty("controlId", 2);
  m_ok->setDefault(true);
  auto* layout = new QGridLayout(this);
  layout->addWidget(m_tree, 0, 0, 1, 3);
  layout->addWidget(m_edit, 1, 0);
  layout->addWidget(m_ok, 1, 1);
  layout->addWidget(m_cancel, 1, 2);
  layout->setColumnStretch(0, 1);
  connect(m_ok, &QPushButton::clicked, this, &CKaFrameBrowserDlg::accept);
  connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(m_edit, &QLineEdit::textChanged, this, [this] { OnEdited(); });

  m_tree->SetOwner(this);
  // The initial selection is not typing: it goes through the tree like any other.
  m_ok->setEnabled(m_tree->SelectPath(m_initialFolder));
}

CKaFrameBrowserDlg::~CKaFrameBrowserDlg() { m_tree->SetOwner(nullptr); }

void CKaFrameBrowserDlg::OnFolderSelected(const std::string& path) {
  m_ok->setEnabled(!path.empty());
  if (m_busy) return;
  const bool typedBefore = m_typed;
  m_edit->setText(ToQt(path));  // runs OnEdited, which counts as typing
  m_edit->selectAll();
  if (!typedBefore) {
    m_typed = false;
    m_ok->setText(QString::fromLatin1(kOk));
  }
}

void CKaFrameBrowserDlg::OnEdited() {
  if (m_typed) return;
  m_typed = true;
  m_ok->setText(QString::fromLatin1(kOpen));
  m_ok->setEnabled(true);
}

void CKaFrameBrowserDlg::accept() {
  if (!m_typed) {
    m_result = m_tree->CurrentFolder();
    if (!m_result.empty()) QDialog::accept();
    return;
  }
  m_busy = true;
  const QString typed = m_edit->text();
  int followed = 0;
  if (m_tree->SelectPath(FromQt(typed), &followed)) {
    m_edit->setText(ToQt(m_tree->CurrentFolder()));
    m_edit->selectAll();
    m_ok->setEnabled(true);
    m_typed = false;
    m_ok->setText(QString::fromLatin1(kOk));
  } else {
    QApplication::beep();
    // The part that could not be found stays highlighted.
    const int start =
        int(QString::fromLocal8Bit(FromQt(typed).substr(0, std::size_t(followed))).size());
    m_edit->setSelection(start, int(typed.size()) - start);
    m_edit->setFocus();
  }
  m_busy = false;
}
