// The view settings: zoom, pan, channel view, display gamma, background colour, the full-screen
// info text and the display rectangles.
//
// Threads. The setters run on the user-interface thread; they only store and ask for a redraw.
// The worker reads the settings once per frame through Snapshot, so a frame may mix an old and
// a new value of two fields, which is harmless. Every field is an atomic, except the gamma
// filter's pointer, which a lock guards (the table it points to is immutable once built, so a
// frame may keep using an old one); the six channel filters are built once. The current
// rectangle follows the windowed one, except in full screen, whose switch sets it while the
// worker is held.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/PixelFilters.h"
#include "kagraph/KaDeviceContext.h"

class CKaEngineHost;

// The view as one frame uses it.
struct KaViewSnapshot {
  double zoom = 1.0;
  int panX = 0;
  int panY = 0;
  KaRect display;                               // the current display rectangle
  std::shared_ptr<const CKaGammaFilter> gamma;  // null when off or when it changes nothing
  const CKaChannelFilter* channel = nullptr;    // null in normal view
  std::uint32_t backColor = 0;
  bool infoText = true;
};

class CKaViewSettings {
 public:
  static constexpr std::uint32_t kDefaultBackColor = 0x0000CCFFu;

  explicit CKaViewSettings(CKaEngineHost* host);

  // The mode already active returns to the normal view; modes above 6 filter nothing.
  void SetViewMode(KaViewMode mode);
  KaViewMode GetViewMode() const { return m_viewMode.load(); }
  void ToggleGamma();
  void EnableGamma(bool enable);
  bool IsGammaEnabled() const { return m_gammaEnabled.load(); }
  void SetGamma(double gamma);
  double GetGamma() const;
  void SetZoom(double zoom, bool announce);
  double GetZoom() const { return m_zoom.load(); }
  void ZoomIn(bool announce);
  void ZoomOut(bool announce);
  void SetPan(int x, int y, bool announce);
  int GetPanX() const { return m_panX.load(); }
  int GetPanY() const { return m_panY.load(); }
  void ToggleInfoText();
  bool GetInfoText() const { return m_infoText.load(); }
  void SetBackColor(std::uint32_t colorRef) { m_backColor.store(colorRef); }
  std::uint32_t GetBackColor() const { return m_backColor.load(); }

  // The view area in the window; it becomes the current rectangle too when `current` is set.
  void SetWindowedRect(const KaRect& rect, bool current);
  // Full screen draws into the whole screen; leaving it returns to the windowed rectangle.
  void SetCurrentRect(const KaRect& rect);
  void RestoreWindowedRect();
  KaRect GetCurrentRect() const;

  // Worker, once per frame.
  KaViewSnapshot Snapshot() const;

 private:
  CKaEngineHost* m_host;
  std::atomic<double> m_zoom{1.0};
  std::atomic<int> m_panX{0};
  std::atomic<int> m_panY{0};
  std::atomic<KaViewMode> m_viewMode{KaViewMode::Normal};
  std::atomic<const CKaChannelFilter*> m_channelFilter{nullptr};
  std::unique_ptr<CKaChannelFilter> m_channelFilters[kKaViewModeCount];
  std::atomic<bool> m_gammaEnabled{false};
  mutable std::mutex m_gammaLock;  // guards m_gammaFilter (the pointer, not the table)
  std::shared_ptr<const CKaGammaFilter> m_gammaFilter;
  std::atomic<bool> m_infoText{true};
  std::atomic<std::uint32_t> m_backColor{kDefaultBackColor};
  std::atomic<int> m_windowedRect[4] = {0, 0, 0, 0};
  std::atomic<int> m_currentRect[4] = {0, 0, 0, 0};
};
