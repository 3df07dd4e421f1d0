#include "app/RvMainDlg.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include "app/KeyCommands.h"
#include "app/PlaybackObserver.h"
#include "app/PlaybackView.h"
#include "app/RvCmdLineErrorDlg.h"
#include "engine/DrawThread.h"
#include "imaging/FrameDecoder.h"
#include "sequence/PlayList.h"
#include "support/NesLogFile.h"

namespace {

constexpr int kModeNormal = 0;
constexpr int kModeMaximized = 1;
constexpr int kModeFullScreen = 3;

}  // namespace

CRvMainDlg::CRvMainDlg(const std::string& commandLine, QWidget* parent)
    : QDialog(parent), m_commandLine(commandLine), m_iniPath(RvSettingsIniPath()) {}

CRvMainDlg::~CRvMainDlg() {
  m_keys.reset();
  m_engine.reset();  // ends the worker before the play list and the widgets go
}

void CRvMainDlg::InitDialog() {
  if (m_initialised) return;
  AddWindowStyles();
  CreateView();
  ReadSettings();
  CreateEngine();
  RestoreWindowPosition();
  RestoreWindowMode();
  ConfigureEngine();
  SetInitialCaption();
  FinishLayout();
  ParseProcessCommandLine();
  OpenCommandLineSequence();
  UpdateTitle();
}

void CRvMainDlg::AddWindowStyles() {
  setWindowFlags(windowFlags() | Qt::Window | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
}

void CRvMainDlg::CreateView() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  m_view = new QWidget(this);
  m_view->setObjectName(QStringLiteral("view"));
  m_view->setAutoFillBackground(true);
  QPalette palette = m_view->palette();
  palette.setColor(QPalette::Window, Qt::black);
  m_view->setPalette(palette);
  layout->addWidget(m_view);
  CreatePlaybackWidgets(m_view);
}

void CRvMainDlg::ReadSettings() {
  m_settings = CRvStartupSettings::Read(m_iniPath);
  m_activePanel = m_settings.activePanel;
  m_fps = m_settings.fps;
}

void CRvMainDlg::RestoreWindowPosition() {
  QRect rect(m_settings.left, m_settings.top, m_settings.right - m_settings.left,
             m_settings.bottom - m_settings.top);
  // A stored rectangle that is empty or lies on no screen (a monitor was removed) would leave
  // the window invisible; fall back to the default size on the primary screen.
  const auto onSomeScreen = [&rect] {
    for (const QScreen* screen : QGuiApplication::screens())
      if (screen->availableGeometry().intersects(rect)) return true;
    return QGuiApplication::screens().isEmpty();
  };
  if (rect.width() <= 0 || rect.height() <= 0 || !onSomeScreen()) {
    const CRvStartupSettings defaults;
    rect = QRect(defaults.left, defaults.top, defaults.right - defaults.left,
                 defaults.bottom - defaults.top);
  }
  setGeometry(rect);
}

void CRvMainDlg::RestoreWindowMode() {
  m_windowMode = m_settings.windowMode;
  if (m_windowMode == kModeMaximized || m_windowMode == kModeFullScreen) {
    m_windowMode = kModeNormal;
    ToggleMaximize();
  }
}

void CRvMainDlg::ToggleMaximize() {
  if (m_windowMode == kModeNormal) {
    m_windowMode = kModeMaximized;
    setWindowState(windowState() | Qt::WindowMaximized);
  } else {
    m_windowMode = kModeNormal;
    setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
  }
}

void CRvMainDlg::SetInitialCaption() { setWindowTitle(QString::fromLatin1(kRvProductName)); }

void CRvMainDlg::FinishLayout() { m_initialised = true; }

void CRvMainDlg::ParseProcessCommandLine() {
  CRvCmdLineErrorDlgSink errors(this);
  m_request = CRvCommandLineRequest();
  m_commandLineNamedFile =
      ParseCommandLine(m_commandLine, &m_request, &m_crop, &m_resample, &errors);
}

void CRvMainDlg::UpdateTitle() {
  std::string title = std::string(kRvProductName) + " " + kRvVersionText;
  if (m_playList) title = m_playList->GetName() + " - " + title;
  setWindowTitle(QString::fromLocal8Bit(title));
  update();
}

void CRvMainDlg::closeEvent(QCloseEvent* event) {
  StopEngine();
  event->accept();
  done(QDialog::Accepted);
}

void CRvMainDlg::done(int result) {
  WriteWindowSettings();
  StopEngine();
  QDialog::done(result);
}

void CRvMainDlg::WriteWindowSettings() {
  if (m_settingsWritten || !m_initialised) return;
  m_settingsWritten = true;
  // The rectangle of the normal window, also when it is maximised now.
  const QRect normal = (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
                           ? normalGeometry()
                           : geometry();
  CRvWindowSettings window;
  window.activePanel = m_activePanel;
  window.left = normal.left();
  window.top = normal.top();
  window.right = normal.left() + normal.width();
  window.bottom = normal.top() + normal.height();
  window.windowMode = m_windowMode;
  window.fps = m_engine ? int(m_engine->GetFps()) : m_fps;
  window.Write(m_iniPath);
}
