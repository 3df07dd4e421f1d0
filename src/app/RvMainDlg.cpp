#include "app/RvMainDlg.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <QRubberBand>
#include <QScreen>
#include <QTimerEvent>
#include <QUrl>
#include <QWindow>

#include "app/PlaybackObserver.h"
#include "app/PlaybackView.h"
#include "app/RvArt.h"
#include "app/RvBitmapButton.h"
#include "app/RvCmdLineErrorDlg.h"
#include "app/RvInOutPanel.h"
#include "app/RvPanelContainer.h"
#include "app/RvPlayPanel.h"
#include "browser/LoadSequencePanel.h"
#include "engine/DrawThread.h"
#include "engine/StatusLine.h"
#include "imaging/FrameDecoder.h"
#include "sequence/PlayList.h"
#include "settings/SettingsSheet.h"
#include "support/NesCommon55.h"
#include "support/NesLogFile.h"

namespace {

constexpr int kCaptionTextLeft = 3;
// The caption text stops left of the Help button so the buttons never cover it.
constexpr int kCaptionTextRightGap = 103;
constexpr int kCaptionFontPixels = 14;
constexpr QRgb kCaptionTextColor = 0xCCCCCC;
constexpr int kBottomStrip = 28;
constexpr int kEdge = 3;
constexpr int kAdjustExtraWidth = 6;
constexpr int kAdjustExtraHeight = 56;

struct ButtonSpec {
  int controlId;
  RvGlyph glyph;
  int images;
  const char* toolTip;  // null: none
};

constexpr std::array<ButtonSpec, kRvCaptionButtonCount> kCaptionSpecs = {{
    {1022, RvGlyph::Help, 2, "Help F1"},
    {1071, RvGlyph::AlwaysOnTop, 3, "Always On Top"},
    {1000, RvGlyph::Minimize, 2, "Minimize"},
    {1002, RvGlyph::Maximize, 4, "Maximize Alt+M"},
    {1003, RvGlyph::Fullscreen, 2, "Fullscreen Alt+<Enter>"},
    {2, RvGlyph::Close, 2, "Close Alt+F4"},
}};

constexpr std::array<ButtonSpec, kRvTransportButtonCount> kTransportSpecs = {{
    {1001, RvGlyph::Open, 2, "Open <Ctrl+O>"},
    {1012, RvGlyph::Save, 2, "Save <Ctrl+S>"},
    {1004, RvGlyph::Rewind, 2, "Rewind"},
    {1005, RvGlyph::StepBack, 2, nullptr},
    {1015, RvGlyph::PlayReverse, 4, "Play Reverse Shift+<Space>"},
    {1006, RvGlyph::Play, 4, "Play/Pause <Space>"},
    {1007, RvGlyph::StepForward, 2, nullptr},
    {1008, RvGlyph::End, 2, "End"},
    {1010, RvGlyph::ZoomIn, 2, "Zoom In <+>"},
    {1011, RvGlyph::ZoomOut, 2, "Zoom Out <->"},
    {1009, RvGlyph::Settings, 2, "Settings <S>"},
}};

CRvBitmapButton* MakeButton(QWidget* parent, const ButtonSpec& spec) {
  auto* button = new CRvBitmapButton(parent);
  button->setProperty("controlId", spec.controlId);
  const RvGlyph glyph = spec.glyph;
  button->SetImageSource([glyph](int index, QSize size,
                                 qreal ratio) { return RvButtonFace(glyph, index, size, ratio); },
                         spec.images);
  if (spec.toolTip) button->SetToolTipText(QString::fromLatin1(spec.toolTip));
  return button;
}

void Place(QWidget* widget, const QRect& rect, bool show) {
  if (!widget) return;
  widget->setGeometry(rect);
  widget->setVisible(show && !rect.isEmpty());
}

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
  CreateLoadPanel();
  CreateView();
  CreatePanelContainer();
  ReadSettings();
  CreateEngine();
  RestoreWindowPosition();
  m_optionsBarMode = RvOptionsBarMode(std::clamp(m_settings.showOptionsBar, 0, 2));
  RestoreWindowMode();
  ConfigureEngine();
  CreateButtons();
  SetInitialCaption();
  FinishLayout();
  ParseProcessCommandLine();
  OpenCommandLineSequence();
  UpdateTitle();
  RefreshAllPanels();
}

void CRvMainDlg::AddWindowStyles() {
  // No system frame: the window paints its own skin and does its own hit testing.
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAcceptDrops(true);
  setMouseTracking(true);
  setWindowIcon(RvProgramIcon());
  // The engine's full-screen surface picks its screen from the window handle.
  create();
  connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
    if (s != Qt::ApplicationActive) OnApplicationDeactivated();
  });
}

void CRvMainDlg::CreateView() {
  CreatePlaybackWidgets();
  m_frameBar = new CKaFrameBar(this);
  m_frameBar->setObjectName(QStringLiteral("frameBar"));
  m_frameBar->setProperty("controlId", 1048);
  m_frameBar->SetOwner(this);
  m_frameBar->SetSource(this);
  m_cropBand = new QRubberBand(QRubberBand::Rectangle, m_playbackView);
}

void CRvMainDlg::CreatePanelContainer() {
  m_container = new CRvPanelContainer(this);
  CreatePanels();
  m_scrollLeft = MakeButton(this, {1082, RvGlyph::ScrollLeft, 2, "Scroll Options Bar to the Left"});
  m_scrollRight =
      MakeButton(this, {1083, RvGlyph::ScrollRight, 2, "Scroll Options Bar to the Right"});
  // "Left" shows the next panel, "right" the previous one: the strip moves, not the window.
  connect(m_scrollLeft, &QAbstractButton::clicked, this, [this] { ShowNextPanel(); });
  connect(m_scrollRight, &QAbstractButton::clicked, this, [this] { ShowPreviousPanel(); });
}

void CRvMainDlg::SetContainerHeight(int height) {
  m_containerHeight = std::max(0, height);
  RecalcLayout();
}

void CRvMainDlg::ReadSettings() {
  m_settings = CRvStartupSettings::Read(m_iniPath);
  m_container->SetActive(m_settings.activePanel);
  m_activePanel = m_container->Active();
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
  m_normalRect = rect;
  ApplyGeometry(rect);
}

void CRvMainDlg::RestoreWindowMode() {
  m_windowMode = RvWindowMode::Normal;
  if (m_settings.windowMode == int(RvWindowMode::Maximized) ||
      m_settings.windowMode == int(RvWindowMode::FullScreen))
    ToggleMaximize();
}

void CRvMainDlg::CreateButtons() {
  for (int i = 0; i < kRvCaptionButtonCount; ++i)
    m_captionButtons[std::size_t(i)] = MakeButton(this, kCaptionSpecs[std::size_t(i)]);
  for (int i = 0; i < kRvTransportButtonCount; ++i)
    m_transportButtons[std::size_t(i)] = MakeButton(this, kTransportSpecs[std::size_t(i)]);
  m_ok = MakeButton(this, {1058, RvGlyph::Ok, 2, "OK <ENTER>"});
  m_cancel = MakeButton(this, {1059, RvGlyph::Cancel, 2, "Cancel <ESC>"});

  const auto on = [this](CRvBitmapButton* button, auto fn) {
    connect(button, &QAbstractButton::clicked, this, fn);
  };
  on(m_captionButtons[kRvHelp], [this] { ShowHelp(); });
  on(m_captionButtons[kRvAlwaysOnTop], [this] { ToggleAlwaysOnTop(); });
  on(m_captionButtons[kRvMinimize], [this] { MinimizeWindow(); });
  on(m_captionButtons[kRvMaximize], [this] { ToggleMaximize(); });
  on(m_captionButtons[kRvFullscreen], [this] { EnterFullScreen(); });
  on(m_captionButtons[kRvClose], [this] { close(); });
  CKaDrawThread* engine = m_engine.get();
  on(m_transportButtons[kRvOpen], [this] { ShowLoadPanel(); });
  on(m_transportButtons[kRvSave], [this] { SaveSequence(); });
  on(m_transportButtons[kRvRewind], [engine] { engine->GotoStart(true); });
  on(m_transportButtons[kRvBack], [engine] { engine->StepBack(true); });
  on(m_transportButtons[kRvPlayReverse], [this, engine] {
    engine->TogglePlayReverse();
    UpdatePlayButtons();
  });
  on(m_transportButtons[kRvPlay], [this, engine] {
    engine->TogglePlay();
    UpdatePlayButtons();
  });
  on(m_transportButtons[kRvForward], [engine] { engine->StepForward(true); });
  on(m_transportButtons[kRvEnd], [engine] { engine->GotoEnd(true); });
  on(m_transportButtons[kRvZoomIn], [engine] { engine->ZoomIn(true); });
  on(m_transportButtons[kRvZoomOut], [engine] { engine->ZoomOut(true); });
  on(m_transportButtons[kRvSettings], [this] { OpenSettings(-1); });
  on(m_ok, [this] { AcceptLoadPanel(); });
  on(m_cancel, [this] {
    if (m_loadPanelState == RvLoadPanelState::Writing) {
      RequestStop();
    } else {
      CancelLoadPanel();
    }
  });
}

void CRvMainDlg::SetInitialCaption() { setWindowTitle(QString::fromLatin1(kRvProductName)); }

void CRvMainDlg::FinishLayout() {
  m_loadPanelState = RvLoadPanelState::Closed;
  m_initialised = true;
  RecalcLayout();
  m_periodicTimer.start(kPeriodicMs, this);
}

void CRvMainDlg::ParseProcessCommandLine() {
  CRvCmdLineErrorDlgSink errors(this);
  m_request = CRvCommandLineRequest();
  m_commandLineNamedFile =
      ParseCommandLine(m_commandLine, &m_request, &m_crop, &m_resample, &errors);
}

void CRvMainDlg::UpdateTitle() {
  std::string title = std::string(kRvProductName) + " " + kRvVersionText;
  if (m_playList) title = m_playList->GetTitle() + " - " + title;
  setWindowTitle(QString::fromLocal8Bit(title));
  update();
}

// --- layout and painting -----------------------------------------------------------------------

void CRvMainDlg::RecalcLayout() {
  if (!m_initialised) return;
  const bool held = m_engine && m_engine->Hold();
  CRvLayoutInput in;
  in.client = rect();
  in.windowMode = m_windowMode;
  in.loadPanel = m_loadPanelState;
  in.optionsBar = m_optionsBarMode;
  in.containerHeight = m_containerHeight;
  in.acceptEnabled = m_acceptEnabled;
  m_layout = RvComputeLayout(in);
  const CRvLayout& l = m_layout;
  m_captionButtons[kRvMaximize]->SetChecked(l.maximizeChecked);
  Place(m_loadPanel, l.loadPanel, m_loadPanelState == RvLoadPanelState::Open);
  Place(m_playbackView, l.view, l.showView);
  Place(m_frameBar, l.frameBar, l.showView);
  Place(m_statusLine, l.statusLine, l.showTransport);
  Place(m_container, l.container, l.showOptionsBar);
  Place(m_scrollLeft, l.scrollLeft, l.showOptionsBar);
  Place(m_scrollRight, l.scrollRight, l.showOptionsBar);
  const std::array<bool, kRvCaptionButtonCount> captionShown = {
      l.showWindowButtons, l.showWindowButtons, l.showWindowButtons,
      l.showWindowButtons, l.showFullscreen,    l.showClose && l.showWindowButtons};
  for (int i = 0; i < kRvCaptionButtonCount; ++i)
    Place(m_captionButtons[std::size_t(i)], l.caption[std::size_t(i)],
          captionShown[std::size_t(i)]);
  for (int i = 0; i < kRvTransportButtonCount; ++i)
    Place(m_transportButtons[std::size_t(i)], l.transport[std::size_t(i)], l.showTransport);
  Place(m_ok, l.ok, l.showOk);
  Place(m_cancel, l.cancel, l.showCancel);
  if (m_ok->isVisible()) m_ok->raise();
  if (m_cancel->isVisible()) m_cancel->raise();
  if (m_windowMode == RvWindowMode::FullScreen) setFocus();
  if (m_engine)
    m_engine->SetDisplayRect(l.engineRect.left(), l.engineRect.top(), l.engineRect.right() + 1,
                             l.engineRect.bottom() + 1);
  if (held) m_engine->Release();
}

void CRvMainDlg::paintEvent(QPaintEvent*) {
  if (m_windowMode == RvWindowMode::FullScreen) return;
  QPainter p(this);
  const int R = width(), B = height();
  const qreal ratio = devicePixelRatioF();
  p.fillRect(rect(), Qt::black);
  const auto piece = [ratio](RvSkinPiece which) { return RvSkin(which, ratio); };
  p.drawPixmap(QRect(0, 0, kEdge, kRvCaptionHeight), piece(RvSkinPiece::TopLeft));
  p.drawPixmap(QRect(kEdge, 0, R - 2 * kEdge, kRvCaptionHeight), piece(RvSkinPiece::Caption));
  p.drawPixmap(QRect(R - kEdge, 0, kEdge, kRvCaptionHeight), piece(RvSkinPiece::TopRight));
  p.drawPixmap(QRect(0, B - kBottomStrip, kEdge, kBottomStrip), piece(RvSkinPiece::BottomLeft));
  p.drawPixmap(QRect(kEdge, B - kBottomStrip, R - 2 * kEdge, kBottomStrip),
               piece(RvSkinPiece::Bottom));
  p.drawPixmap(QRect(R - kEdge, B - kBottomStrip, kEdge, kBottomStrip),
               piece(RvSkinPiece::BottomRight));
  const int edgeHeight = B - kBottomStrip - kRvCaptionHeight;
  p.drawPixmap(QRect(0, kRvCaptionHeight, kEdge, edgeHeight), piece(RvSkinPiece::Left));
  p.drawPixmap(QRect(R - kEdge, kRvCaptionHeight, kEdge, edgeHeight), piece(RvSkinPiece::Right));

  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(kCaptionFontPixels);
  font.setWeight(QFont::Bold);
  p.setFont(font);
  p.setPen(QColor(kCaptionTextColor));
  const QRect textRect(kCaptionTextLeft, 1,
                       std::max(0, R - kCaptionTextRightGap - kCaptionTextLeft),
                       kCaptionFontPixels);
  const QString text =
      QFontMetrics(font).elidedText(windowTitle(), Qt::ElideRight, textRect.width());
  p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
  if (m_engine) m_engine->RequestRedraw();
}

// --- window modes --------------------------------------------------------------------------------

void CRvMainDlg::ApplyGeometry(const QRect& rect) {
  m_applyingGeometry = true;
  setGeometry(rect);
  m_applyingGeometry = false;
}

void CRvMainDlg::RecordNormalRect() {
  if (m_applyingGeometry || !m_initialised || m_windowMode != RvWindowMode::Normal) return;
  if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)) return;
  m_normalRect = geometry();
}

void CRvMainDlg::ToggleMaximize() {
  const bool held = m_engine && m_engine->Hold();
  if (m_engine) m_engine->SetFullScreen(false);
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (m_windowMode == RvWindowMode::Normal) {
    m_windowMode = RvWindowMode::Maximized;
    if (screen) {
      setMaximumSize(screen->availableGeometry().size());
      ApplyGeometry(screen->availableGeometry());
    }
    raise();
  } else {
    m_windowMode = RvWindowMode::Normal;
    if (windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized))
      setWindowState(Qt::WindowNoState);
    if (screen) setMaximumSize(screen->availableGeometry().size());
    ApplyGeometry(m_normalRect);
  }
  RecalcLayout();
  setFocus();
  if (held) m_engine->Release();
  update();
}

void CRvMainDlg::EnterFullScreen() {
  const bool useDirectDraw = bReadFromIniFile(m_iniPath, "DirectDraw", "UseDirectDraw", false);
  m_windowMode = RvWindowMode::FullScreen;
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    setMaximumSize(screen->geometry().size());
    ApplyGeometry(screen->geometry());
  }
  // A window manager keeps its panels above a merely screen-sized window.
  m_applyingGeometry = true;
  setWindowState(Qt::WindowFullScreen);
  m_applyingGeometry = false;
  RecalcLayout();
  if (useDirectDraw && m_engine) {
    // The surface opens last so it lies above this window and takes the keys.
    m_engine->SetFullScreen(true);
  } else {
    raise();
    activateWindow();
  }
  update();
}

void CRvMainDlg::FullScreenSwitch() {
  if (m_windowMode == RvWindowMode::FullScreen) {
    if (m_engine) m_engine->SetFullScreen(false);
    ToggleMaximize();
  } else {
    EnterFullScreen();
  }
}

void CRvMainDlg::EscapeFullScreen() {
  if (m_engine) m_engine->SetFullScreen(false);
  if (m_windowMode == RvWindowMode::FullScreen) ToggleMaximize();
}

void CRvMainDlg::MinimizeWindow() {
  const bool held = m_engine && m_engine->Hold();
  RecalcLayout();
  showMinimized();
  if (held) m_engine->Release();
  update();
}

void CRvMainDlg::ToggleAlwaysOnTop() {
  m_alwaysOnTop = !m_alwaysOnTop;
  m_captionButtons[kRvAlwaysOnTop]->SetChecked(m_alwaysOnTop);
  if (QWindow* window = windowHandle()) {
    window->setFlag(Qt::WindowStaysOnTopHint, m_alwaysOnTop);
    if (!isVisible()) return;
    window->show();
  }
}

bool CRvMainDlg::IsAlwaysOnTop() const { return m_alwaysOnTop; }

void CRvMainDlg::OnApplicationDeactivated() {
  if (m_windowMode != RvWindowMode::FullScreen) return;
  if (m_engine) m_engine->SetFullScreen(false);
  ToggleMaximize();
}

void CRvMainDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (!m_initialised) return;
  RecalcLayout();
  RecordNormalRect();
  m_redrawTimer.start(kRedrawMs, this);
}

void CRvMainDlg::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  RecordNormalRect();
}

void CRvMainDlg::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) {
    // A window maximised or restored by the window manager changes the mode as ours do.
    const bool maximized = windowState() & Qt::WindowMaximized;
    if (maximized && m_windowMode == RvWindowMode::Normal) m_windowMode = RvWindowMode::Maximized;
    if (!maximized && !(windowState() & (Qt::WindowMinimized | Qt::WindowFullScreen)) &&
        m_windowMode == RvWindowMode::Maximized && !m_applyingGeometry &&
        geometry() != (screen() ? screen()->availableGeometry() : QRect()))
      m_windowMode = RvWindowMode::Normal;
    RecalcLayout();
  } else if (event->type() == QEvent::ActivationChange) {
    RecalcLayout();
    update();
  }
}

void CRvMainDlg::timerEvent(QTimerEvent* event) {
  if (event->timerId() == m_periodicTimer.timerId()) {
    UpdatePlayButtons();
  } else if (event->timerId() == m_redrawTimer.timerId()) {
    m_redrawTimer.stop();
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) child->update();
    update();
  } else {
    QDialog::timerEvent(event);
  }
}

void CRvMainDlg::UpdatePlayButtons() {
  if (!m_engine || !m_transportButtons[kRvPlay]) return;
  const bool busy = m_engine->IsPlaying() || m_engine->GetPendingAction() != KaPendingAction::None;
  const bool reverse = m_engine->IsPlaying() && m_engine->IsReverse();
  m_transportButtons[kRvPlayReverse]->SetChecked(busy && reverse);
  m_transportButtons[kRvPlay]->SetChecked(busy && !reverse);
}

// --- options bar, panels and commands
// -------------------------------------------------------------

void CRvMainDlg::CycleOptionsBar() {
  static constexpr RvOptionsBarMode kNext[] = {RvOptionsBarMode::None,
                                               RvOptionsBarMode::TransportOnly,
                                               RvOptionsBarMode::TransportAndOptions};
  m_optionsBarMode = kNext[int(m_optionsBarMode)];  // 1 -> 0 -> 2 -> 1
  bWriteToIniFile(m_iniPath, kRvSectionWindowPosition, "ShowOptionsBar", int(m_optionsBarMode));
  RecalcLayout();
  update();
}

void CRvMainDlg::EnableAccept(bool enable) {
  if (!m_initialised) return;
  m_acceptEnabled = enable;
  RecalcLayout();
}

void CRvMainDlg::ShowNextPanel() {
  m_container->Next();
  m_activePanel = m_container->Active();
}

void CRvMainDlg::ShowPreviousPanel() {
  m_container->Previous();
  m_activePanel = m_container->Active();
}

void CRvMainDlg::ShowStatus(const std::string& text) {
  if (m_statusLine) m_statusLine->Line()->ShowMessage(text, 1);
}

void CRvMainDlg::OpenSettings(int page) {
  if (!m_engine) return;
  const bool held = m_engine->Hold();
  if (page < 0) page = iReadFromIniFile(m_iniPath, kRvSectionMain, "SettingsPage", 0);
  CRvSettingsContext context;
  context.engine = m_engine.get();
  context.frameDecoder = m_frameDecoder.get();
  context.iniPath = m_iniPath;
  context.productName = QString::fromLatin1(kRvProductName);
  context.productIcon = RvProgramIconPixmap(128);
  const int opened = RvClampSettingsPage(page);
  CRvSettingsSheet sheet(std::move(context), opened, this);
  sheet.exec();
  // A stored page outside the sheet is replaced by the one it was clamped to.
  if (sheet.GetActivePage() != page)
    bWriteToIniFile(m_iniPath, kRvSectionMain, "SettingsPage", sheet.GetActivePage());
  const CKaMoBlurBuffer* ghost = m_engine->GetMoBlurBuffer();
  bWriteToIniFile(m_iniPath, kRvSectionGhost, "Mode", int(ghost->GetMode()));
  bWriteToIniFile(m_iniPath, kRvSectionGhost, "Frames", int(ghost->GetFrames()));
  bWriteToIniFile(m_iniPath, kRvSectionGhost, "Alpha", int(ghost->GetAlpha()));
  if (held) m_engine->Release();
}

void CRvMainDlg::AdjustWindowSize() {
  if (!m_engine) return;
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  const QSize limit = screen ? screen->geometry().size() : QSize(INT_MAX, INT_MAX);
  const int w = std::min(m_engine->GetLastFrameWidth() + kAdjustExtraWidth, limit.width());
  const int h = std::min(m_engine->GetLastFrameHeight() + kAdjustExtraHeight, limit.height());
  if (m_windowMode != RvWindowMode::Normal) ToggleMaximize();
  QRect rect(geometry().topLeft(), QSize(w, h));
  if (screen) rect.moveCenter(screen->geometry().center());
  ApplyGeometry(rect);
  m_normalRect = rect;
  m_engine->SetZoom(1.0, true);
  m_engine->ResetPan(true);
  ShowStatus("Adjust window size");
}

void CRvMainDlg::ShowHelp() {
  const QString page = QString::fromLocal8Bit(strAppPath() + "doc/index.html");
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page)))
    ShowStatus("Unable to open the help page");
}

void CRvMainDlg::RefreshInOutPanel() {
  if (m_frameBar) m_frameBar->update();
  if (m_inOutPanel) m_inOutPanel->Refresh();
}

void CRvMainDlg::RefreshPlayPanel() {
  if (m_frameBar && m_engine) m_frameBar->SetStep(m_engine->GetStep());
  if (m_playPanel) m_playPanel->Refresh();
}

void CRvMainDlg::SetPlayModeLoop() {
  m_engine->SetPlayMode(RvPlayMode::Loop);
  bWriteToIniFile(m_iniPath, kRvSectionPlayback, "PlayMode", int(RvPlayMode::Loop));
}
void CRvMainDlg::SetPlayModePingPong() {
  m_engine->SetPlayMode(RvPlayMode::PingPong);
  bWriteToIniFile(m_iniPath, kRvSectionPlayback, "PlayMode", int(RvPlayMode::PingPong));
}
void CRvMainDlg::SetPlayModeOnce() {
  m_engine->SetPlayMode(RvPlayMode::Once);
  bWriteToIniFile(m_iniPath, kRvSectionPlayback, "PlayMode", int(RvPlayMode::Once));
}
bool CRvMainDlg::IsPlayModeLoop() const { return m_engine->GetPlayMode() == RvPlayMode::Loop; }
bool CRvMainDlg::IsPlayModePingPong() const {
  return m_engine->GetPlayMode() == RvPlayMode::PingPong;
}
bool CRvMainDlg::IsPlayModeOnce() const { return m_engine->GetPlayMode() == RvPlayMode::Once; }
void CRvMainDlg::SetFps(std::uint32_t fps) { m_engine->SetFps(fps); }
std::uint32_t CRvMainDlg::GetFps() const { return m_engine->GetFps(); }
void CRvMainDlg::SetFrameStep(std::uint32_t step) {
  m_engine->SetStep(step);
  m_frameBar->SetStep(m_engine->GetStep());
  bWriteToIniFile(m_iniPath, kRvSectionPlayback, "FrameStep", int(step));
}
std::uint32_t CRvMainDlg::GetFrameStep() const { return m_engine->GetStep(); }
void CRvMainDlg::SetLoopPause(std::uint32_t seconds) {
  m_engine->SetLoopPause(seconds);
  bWriteToIniFile(m_iniPath, kRvSectionPlayback, "LoopPause", int(seconds));
}
std::uint32_t CRvMainDlg::GetLoopPause() const { return m_engine->GetLoopPause(); }

// --- frame bar ---------------------------------------------------------------------------------

std::uint32_t CRvMainDlg::GetInPointIndex() const {
  return m_playList ? m_playList->GetInIndex() : 0;
}
std::uint32_t CRvMainDlg::GetOutPointIndex() const {
  return m_playList ? m_playList->GetOutIndex() : kRvNone;
}
std::uint32_t CRvMainDlg::GetFrameCount() const {
  return m_playList ? m_playList->GetFrameCount() : 0;
}
std::uint32_t CRvMainDlg::GetCacheCapacity() const {
  return m_playList ? m_playList->GetCacheCapacity() : 0;
}
const std::atomic<std::uint8_t>* CRvMainDlg::GetLoadedFlags() const {
  return m_playList ? m_playList->GetLoadedFlags() : nullptr;
}
const std::uint32_t* CRvMainDlg::GetFrameNumbers() const {
  return m_playList ? m_playList->GetFrameNumbers() : nullptr;
}
void CRvMainDlg::SetPositionFromBar(std::uint32_t index) { m_engine->SetPosition(index); }
void CRvMainDlg::SetInPointFromBar(std::uint32_t index) { m_engine->SetInPoint(index, true); }
void CRvMainDlg::SetOutPointFromBar(std::uint32_t index) { m_engine->SetOutPoint(index, true); }
void CRvMainDlg::ApplyInOutFromBar() {
  RefreshInOutPanel();
  m_engine->RequestRedraw();
}

// --- the end -------------------------------------------------------------------------------------

void CRvMainDlg::closeEvent(QCloseEvent* event) {
  if (m_loadPanelState == RvLoadPanelState::Writing) {
    // The writing loop runs inside this window: stop it first, close afterwards.
    RequestStop();
    event->ignore();
    return;
  }
  StopEngine();
  event->accept();
  done(QDialog::Accepted);
}

void CRvMainDlg::done(int result) {
  WriteWindowSettings();
  StopEngine();
  m_periodicTimer.stop();
  QDialog::done(result);
}

void CRvMainDlg::WriteWindowSettings() {
  if (m_settingsWritten || !m_initialised) return;
  m_settingsWritten = true;
  CRvWindowSettings window;
  window.activePanel = m_activePanel;
  window.left = m_normalRect.left();
  window.top = m_normalRect.top();
  window.right = m_normalRect.left() + m_normalRect.width();
  window.bottom = m_normalRect.top() + m_normalRect.height();
  window.windowMode = int(m_windowMode);
  window.fps = m_engine ? int(m_engine->GetFps()) : m_fps;
  window.Write(m_iniPath);
}
