#include "kagraph/KaFullscreen.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QRasterWindow>
#include <QScreen>
#include <cstdarg>
#include <cstdio>

#include "kagraph/KaDisplayModes.h"
#include "kagraph/KaImageDC.h"
#include "support/NesLogFile.h"

namespace {
constexpr const char* kLogTag = "KaGraph";
}

// The window that shows the surface's last presented frame.
class CKaFullscreenWindow : public QRasterWindow {
 public:
  explicit CKaFullscreenWindow(CKaBackBuffer* buffer) : m_buffer(buffer) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(QRect(QPoint(0, 0), size()), Qt::black);
    m_buffer->PaintTo(&painter, 0, 0);
  }

 private:
  CKaBackBuffer* m_buffer;
};

CKaDDrawFullscreenConfig::CKaDDrawFullscreenConfig(unsigned width, unsigned height,
                                                   unsigned bitsPerPixel)
    : m_width(width), m_height(height), m_bitsPerPixel(bitsPerPixel) {}

CKaDDrawFullscreenConfig::~CKaDDrawFullscreenConfig() = default;

CKaDDrawFullscreen::CKaDDrawFullscreen(QWindow* mainWindow, const CKaDDrawFullscreenConfig* mode,
                                       CNesLogFile* log)
    : m_log(log), m_buffer(std::make_unique<CKaBackBuffer>()) {
  const unsigned wantW = mode ? mode->GetWidth() : 0;
  const unsigned wantH = mode ? mode->GetHeight() : 0;
  const unsigned wantBits = mode ? mode->GetBitsPerPixel() : 0;
  QScreen* screen = nullptr;
  if (qGuiApp)
    screen = mainWindow && mainWindow->screen() ? mainWindow->screen()
                                                : QGuiApplication::primaryScreen();
  if (!screen) {
    // No display to show on: a memory surface of the requested size keeps drawing working.
    m_screen = {0, 0, int(wantW ? wantW : 800), int(wantH ? wantH : 600)};
    Log("No screen available for %ux%ux%u; drawing to a memory surface of %dx%d", wantW, wantH,
        wantBits, m_screen.right, m_screen.bottom);
    return;
  }
  QRect geometry = screen->geometry();
  const qreal ratio = screen->devicePixelRatio();
  if (wantW && wantH &&
      (unsigned(geometry.width() * ratio) != wantW ||
       unsigned(geometry.height() * ratio) != wantH)) {
    m_modeSwitch = std::make_unique<CKaDisplayModeSwitch>(screen, wantW, wantH);
    Log("%s", m_modeSwitch->Report().c_str());
    // Qt learns the new size from the server later; the surface takes it now.
    if (m_modeSwitch->IsSwitched())
      geometry.setSize(QSize(int(wantW / ratio), int(wantH / ratio)));
    else
      m_modeSwitch.reset();
  }
  m_screen = {0, 0, geometry.width(), geometry.height()};
  if (unsigned(geometry.width()) != wantW || unsigned(geometry.height()) != wantH ||
      KaBitsPerPixelOfDepth(screen->depth()) != wantBits) {
    Log("Display mode %ux%ux%u not set; using the desktop mode %dx%dx%u", wantW, wantH, wantBits,
        geometry.width(), geometry.height(), KaBitsPerPixelOfDepth(screen->depth()));
  }
  m_window = std::make_unique<CKaFullscreenWindow>(m_buffer.get());
  m_window->setObjectName(QLatin1String(kKaFullscreenWindowName));
  m_window->setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  m_window->setScreen(screen);
  m_window->setGeometry(geometry);
  m_window->showFullScreen();
  m_window->requestActivate();  // its keys (Esc, F) must reach the program
  QPointer<CKaFullscreenWindow> target(m_window.get());
  m_buffer->SetPresentSink([target] {
    // Queued to the window's thread; dropped if the window is gone by then.
    if (target) QMetaObject::invokeMethod(target.data(), "update", Qt::QueuedConnection);
  });
  Log("Full screen surface %dx%d opened", geometry.width(), geometry.height());
}

CKaDDrawFullscreen::~CKaDDrawFullscreen() {
  m_buffer->SetPresentSink({});
  if (m_window) {
    m_window->hide();
    Log("Full screen surface closed");
  }
  m_window.reset();
  if (m_modeSwitch) {
    m_modeSwitch.reset();
    Log("Display mode restored");
  }
}

void CKaDDrawFullscreen::Log(const char* format, ...) {
  if (!m_log) return;
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  m_log->AppendEntry(kLogTag, "%s", text);
}

CKaUseDDrawFullscreen::CKaUseDDrawFullscreen(CKaDDrawFullscreen* surface) {
  const KaRect screen = surface->GetScreenRect();
  m_frame = std::make_unique<CKaBackBufferFrame>(surface->GetBackBuffer(), screen.Width(),
                                                 screen.Height());
  m_dc = m_frame->DC();
}

CKaUseDDrawFullscreen::~CKaUseDDrawFullscreen() {
  m_dc = nullptr;
  m_frame.reset();  // presents the frame
}
