#include "engine/FullScreenSession.h"

#include "kagraph/KaFullscreen.h"
#include "support/NesCommon55.h"

CKaFullScreenSession::CKaFullScreenSession(QWindow* mainWindow, CNesLogFile* log)
    : m_mainWindow(mainWindow), m_log(log) {}

CKaFullScreenSession::~CKaFullScreenSession() = default;

KaRect CKaFullScreenSession::Enter() {
  const std::string ini = strSettingsPath() + "settings.ini";
  const int width = iReadFromIniFile(ini, "DirectDraw", "HorzRes", 800);
  const int height = iReadFromIniFile(ini, "DirectDraw", "VertRes", 600);
  const int bits = iReadFromIniFile(ini, "DirectDraw", "BitsPerPixels", 32);
  m_mode =
      std::make_unique<CKaDDrawFullscreenConfig>(unsigned(width), unsigned(height), unsigned(bits));
  m_surface = std::make_unique<CKaDDrawFullscreen>(m_mainWindow, m_mode.get(), m_log);
  const KaRect screen = m_surface->GetScreenRect();
  m_on.store(true);
  return {0, 0, screen.Width(), screen.Height()};
}

void CKaFullScreenSession::Leave() {
  m_on.store(false);
  m_surface.reset();
  m_mode.reset();
}

std::unique_ptr<CKaUseDDrawFullscreen> CKaFullScreenSession::BeginFrame() {
  if (!m_surface) return nullptr;
  return std::make_unique<CKaUseDDrawFullscreen>(m_surface.get());
}
