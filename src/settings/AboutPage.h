// The About page: the product icon, name and version, two hyperlinks (the help page and the
// settings folder) and the credits.
#pragma once

#include <QLabel>
#include <QUrl>
#include <functional>
#include <optional>
#include <string>

#include "settings/SettingsSheet.h"

// "Unable to open hyperlink:\n\n" followed by the reason for a shell-style error code.
std::string RvHyperlinkErrorText(int code);

// Opens an address: first with the desktop's default handler (openUrl); when that fails, with
// the browser command the user named in browserCommand (the BROWSER convention: "%s" stands for
// the address, else the address is appended). nullopt when opened, else the error code whose
// reason RvHyperlinkErrorText gives: 31 no handler at all, 2 the command's program is not found,
// 5 it may not be run, 27 it could not be started.
std::optional<int> RvOpenHyperlink(const QUrl& url, const std::function<bool(const QUrl&)>& openUrl,
                                   const QString& browserCommand);

// A text that looks and acts like a link: underlined, a hand cursor, the address as tool tip.
class CRvHyperlink : public QLabel {
  Q_OBJECT

 public:
  CRvHyperlink(const QString& text, const QUrl& url, QWidget* parent = nullptr);
  QUrl Url() const { return m_url; }

 signals:
  void Activated(const QUrl& url);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QUrl m_url;
};

class CRvSetAbout : public CRvSettingsPage {
  Q_OBJECT

 public:
  CRvSetAbout(const CRvSettingsContext& context, QWidget* parent);
  // Opens the address and shows the failure message when it cannot be opened.
  void OpenLink(const QUrl& url);

 private:
  const CRvSettingsContext& m_context;
};
