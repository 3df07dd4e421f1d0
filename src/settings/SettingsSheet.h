// The settings sheet "Reelvane Settings": a modal dialog of pages (About, Playback settings,
// DirectDraw, Frame Ghosting, Output Options, Cineon Properties) with one "Close" button.
// Created anew each time; every page reads its keys when it is built and writes them when the
// user changes a control or when the sheet closes, however it is closed.
#pragma once

#include <QColor>
#include <QDialog>
#include <QPixmap>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kagraph/KaDisplayModes.h"

class CKaDrawThread;
class CFrameDecoder;
class QPushButton;
class QScreen;
class QTabWidget;
class QUrl;

// What the sheet works on, and the dialogs it opens. Hooks left empty are filled with the real
// dialogs and platform calls; tests replace them.
struct CRvSettingsContext {
  CKaDrawThread* engine = nullptr;        // not owned; required
  CFrameDecoder* frameDecoder = nullptr;  // the Cineon values' owner; may be null
  std::string iniPath;                    // settings.ini
  QString productName;
  QPixmap productIcon;

  // The colour dialog (full-open) started at current; nullopt on Cancel.
  std::function<std::optional<QColor>(QWidget* parent, QColor current)> chooseColor;
  // Open and save dialogs: (parent, folder to start in, Qt filter) -> chosen path, empty on
  // Cancel. The save dialog proposes "untitled" and adds ".rvcp" when no extension is typed.
  std::function<QString(QWidget*, const QString& folder, const QString& filter)> chooseOpenFile;
  std::function<QString(QWidget*, const QString& folder, const QString& filter)> chooseSaveFile;
  // The display modes of a screen (bKaEnumDisplayModes).
  std::function<bool(QScreen*, std::vector<KaDisplayMode>*, std::string*)> displayModes;
  // The desktop's default handler for an address.
  std::function<bool(const QUrl&)> openUrl;
  // A message box with an OK button.
  std::function<void(QWidget* parent, const QString& text)> showMessage;
};

// Base of the pages: validation and the apply that runs when the sheet closes.
class CRvSettingsPage : public QWidget {
 public:
  using QWidget::QWidget;
  // False with the message to show and the control to focus when a value is out of range.
  virtual bool Validate(QString* message, QWidget** field) {
    (void)message;
    (void)field;
    return true;
  }
  virtual void Apply() {}
};

enum RvSettingsPageIndex {
  kRvPageAbout = 0,
  kRvPagePlayback = 1,
  kRvPageDirectDraw = 2,
  kRvPageGhosting = 3,
  kRvPageOutputOptions = 4,
  kRvPageCineon = 5,
  kRvSettingsPageCount = 6,
};

inline constexpr const char* kRvSettingsCaption = "Reelvane Settings";

// A stored page index brought into the pages that exist.
int RvClampSettingsPage(int page);

class CRvSettingsSheet : public QDialog {
  Q_OBJECT

 public:
  CRvSettingsSheet(CRvSettingsContext context, int page, QWidget* parent = nullptr);
  ~CRvSettingsSheet() override;

  // The page shown now (after the sheet closed: the page it was closed on).
  int GetActivePage() const;
  void SetActivePage(int page);
  CRvSettingsPage* Page(int index) const;
  const CRvSettingsContext& Context() const { return m_context; }

 public slots:
  // Close, Esc and the window's close box all end here: every page is validated and applied.
  // A value out of range keeps the sheet open on its page.
  void done(int result) override;

 private:
  CRvSettingsContext m_context;
  QTabWidget* m_tabs = nullptr;
  QPushButton* m_close = nullptr;
  std::vector<CRvSettingsPage*> m_pages;
  int m_activePage = 0;
};
