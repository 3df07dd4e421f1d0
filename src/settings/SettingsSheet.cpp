#include "settings/SettingsSheet.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "settings/AboutPage.h"
#include "settings/CineonPage.h"
#include "settings/DirectDrawPage.h"
#include "settings/GhostingPage.h"
#include "settings/OutputOptionsPage.h"
#include "settings/PlaybackPage.h"
#include "settings/SettingsIds.h"

namespace {

// The Close button's right edge lies this far inside the sheet.
constexpr int kCloseInset = 8;

void FillDefaultHooks(CRvSettingsContext* c) {
  if (!c->chooseColor) {
    c->chooseColor = [](QWidget* parent, QColor current) -> std::optional<QColor> {
      const QColor chosen = QColorDialog::getColor(current, parent);
      if (!chosen.isValid()) return std::nullopt;
      return chosen;
    };
  }
  if (!c->chooseOpenFile) {
    c->chooseOpenFile = [](QWidget* parent, const QString& folder, const QString& filter) {
      return QFileDialog::getOpenFileName(parent, QString(), folder, filter);
    };
  }
  if (!c->chooseSaveFile) {
    c->chooseSaveFile = [](QWidget* parent, const QString& folder, const QString& filter) {
      QFileDialog dialog(parent, QString(), folder, filter);
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
      dialog.setDefaultSuffix(QStringLiteral("rvcp"));
      dialog.selectFile(QStringLiteral("untitled"));
      if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
      return dialog.selectedFiles().first();
    };
  }
  if (!c->displayModes) c->displayModes = bKaEnumDisplayModes;
  if (!c->openUrl) c->openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  if (!c->showMessage) {
    c->showMessage = [](QWidget* parent, const QString& text) {
      QString shown = text;
      shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
      QMessageBox::warning(parent, QString::fromLatin1(kRvSettingsCaption), shown);
    };
  }
}

}  // namespace

int RvClampSettingsPage(int page) { return std::clamp(page, 0, kRvSettingsPageCount - 1); }

CRvSettingsSheet::CRvSettingsSheet(CRvSettingsContext context, int page, QWidget* parent)
    : QDialog(parent), m_context(std::move(context)) {
  FillDefaultHooks(&m_context);
  setWindowTitle(QString::fromLatin1(kRvSettingsCaption));
  setModal(true);

  m_tabs = new QTabWidget(this);
  // Every page title stays in view: the sheet grows to the tab row instead of scrolling it.
  m_tabs->setUsesScrollButtons(false);
  m_tabs->setElideMode(Qt::ElideNone);
  m_pages = {
      new CRvSetAbout(m_context, m_tabs),         new CRvSetPlayback(m_context, m_tabs),
      new CRvSetDirectDraw(m_context, m_tabs),    new CRvSetGhosting(m_context, m_tabs),
      new CRvSetOutputOptions(m_context, m_tabs), new CRvSetCineon(m_context, m_tabs),
  };
  const char* titles[kRvSettingsPageCount] = {"About",          "Playback settings",
                                              "DirectDraw",     "Frame Ghosting",
                                              "Output Options", "Cineon Properties"};
  for (int i = 0; i < kRvSettingsPageCount; ++i)
    m_tabs->addTab(m_pages[std::size_t(i)], QString::fromLatin1(titles[i]));

  // Only "Close": nothing here is undone, so there is neither Cancel nor Apply.
  m_close = RvWithId(new QPushButton(QStringLiteral("Close"), this), kRvIdClose);
  m_close->setDefault(true);
  connect(m_close, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(m_close);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kCloseInset, kCloseInset, kCloseInset, kCloseInset);
  layout->addWidget(m_tabs, 1);
  layout->addLayout(buttons);

  SetActivePage(page);
}

CRvSettingsSheet::~CRvSettingsSheet() = default;

int CRvSettingsSheet::GetActivePage() const {
  return m_tabs ? m_tabs->currentIndex() : m_activePage;
}

void CRvSettingsSheet::SetActivePage(int page) {
  m_activePage = RvClampSettingsPage(page);
  m_tabs->setCurrentIndex(m_activePage);
}

CRvSettingsPage* CRvSettingsSheet::Page(int index) const {
  if (index < 0 || index >= int(m_pages.size())) return nullptr;
  return m_pages[std::size_t(index)];
}

void CRvSettingsSheet::done(int result) {
  (void)result;
  for (std::size_t i = 0; i < m_pages.size(); ++i) {
    QString message;
    QWidget* field = nullptr;
    if (!m_pages[i]->Validate(&message, &field)) {
      m_tabs->setCurrentIndex(int(i));
      m_context.showMessage(this, message);
      if (field) field->setFocus();
      return;
    }
  }
  for (CRvSettingsPage* page : m_pages) page->Apply();
  m_activePage = m_tabs->currentIndex();
  // The sheet has no Cancel: whichever way it closes, what the pages hold is in effect.
  QDialog::done(QDialog::Accepted);
}
