#pragma once

#include <memory>

#include "kagraph/KaDeviceContext.h"
#include "kagraph/KaExport.h"

class QWindow;
class CNesLogFile;
class CKaBackBuffer;
class CKaBackBufferFrame;
class CKaFullscreenWindow;
class CKaDisplayModeSwitch;

// The object name of the surface's window, so the program can route its keys.
inline constexpr const char* kKaFullscreenWindowName = "KaFullscreenSurface";

// The display mode asked for (the "DirectDraw" settings HorzRes, VertRes, BitsPerPixels).
class KA_EXPORT CKaDDrawFullscreenConfig {
 public:
  CKaDDrawFullscreenConfig(unsigned width, unsigned height, unsigned bitsPerPixel);
  virtual ~CKaDDrawFullscreenConfig();
  unsigned GetWidth() const { return m_width; }
  unsigned GetHeight() const { return m_height; }
  unsigned GetBitsPerPixel() const { return m_bitsPerPixel; }

 private:
  unsigned m_width;
  unsigned m_height;
  unsigned m_bitsPerPixel;
};

// A surface covering the main window's screen: a frameless full-screen window showing a back
// buffer. Where the X server allows it the display is switched to the requested size while the
// surface lives; otherwise the surface uses the screen as it is. The log says which. Create
// and destroy it on the user-interface thread.
class KA_EXPORT CKaDDrawFullscreen {
 public:
  // mainWindow picks the screen (null: the primary screen); neither argument is taken over.
  CKaDDrawFullscreen(QWindow* mainWindow, const CKaDDrawFullscreenConfig* mode, CNesLogFile* log);
  virtual ~CKaDDrawFullscreen();
  CKaDDrawFullscreen(const CKaDDrawFullscreen&) = delete;
  CKaDDrawFullscreen& operator=(const CKaDDrawFullscreen&) = delete;

  // The screen the surface covers, in pixels, (0, 0) at its top-left corner.
  KaRect GetScreenRect() const { return m_screen; }
  // True when a window could be shown (false without a display: frames then go to memory).
  bool HasWindow() const { return m_window != nullptr; }
  CKaBackBuffer* GetBackBuffer() { return m_buffer.get(); }

 private:
  void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

  CNesLogFile* m_log;
  KaRect m_screen;
  std::unique_ptr<CKaBackBuffer> m_buffer;
  std::unique_ptr<CKaDisplayModeSwitch> m_modeSwitch;  // restores the mode when destroyed
  std::unique_ptr<CKaFullscreenWindow> m_window;
};

// One frame drawn onto the surface: created before the frame's drawing, destroyed after it,
// which shows the frame. Used on the drawing thread.
class KA_EXPORT CKaUseDDrawFullscreen {
 public:
  explicit CKaUseDDrawFullscreen(CKaDDrawFullscreen* surface);
  virtual ~CKaUseDDrawFullscreen();
  CKaUseDDrawFullscreen(const CKaUseDDrawFullscreen&) = delete;
  CKaUseDDrawFullscreen& operator=(const CKaUseDDrawFullscreen&) = delete;

  // The surface's device context for this frame.
  CKaDeviceContext* m_dc = nullptr;

 private:
  std::unique_ptr<CKaBackBufferFrame> m_frame;
};
