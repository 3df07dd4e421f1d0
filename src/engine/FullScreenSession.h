// The full-screen session: the display mode and the surface covering the screen while full
// screen is on, created in that order and destroyed in the reverse order.
//
// Threads. Enter and Leave run on the user-interface thread while the worker is held, so the
// surface never changes under a frame. The worker opens one drawing scope per frame with
// BeginFrame. IsOn is an atomic anyone may read.
#pragma once

#include <atomic>
#include <memory>

#include "kagraph/KaDeviceContext.h"

class QWindow;
class CNesLogFile;
class CKaDDrawFullscreen;
class CKaDDrawFullscreenConfig;
class CKaUseDDrawFullscreen;

class CKaFullScreenSession {
 public:
  // The main window and the log are not owned; either may be null.
  CKaFullScreenSession(QWindow* mainWindow, CNesLogFile* log);
  ~CKaFullScreenSession();
  CKaFullScreenSession(const CKaFullScreenSession&) = delete;
  CKaFullScreenSession& operator=(const CKaFullScreenSession&) = delete;

  // Switches to the "DirectDraw" mode of the settings file and returns the screen rectangle
  // the surface covers. Only when off.
  KaRect Enter();
  // Destroys the surface, then the mode. Only when on.
  void Leave();
  bool IsOn() const { return m_on.load(); }

  // Worker: the drawing scope of one frame on the surface; null when there is no surface.
  std::unique_ptr<CKaUseDDrawFullscreen> BeginFrame();

 private:
  QWindow* m_mainWindow;
  CNesLogFile* m_log;
  std::unique_ptr<CKaDDrawFullscreenConfig> m_mode;
  std::unique_ptr<CKaDDrawFullscreen> m_surface;
  std::atomic<bool> m_on{false};
};
