#include "engine/ViewSettings.h"

#include "engine/DisplayMath.h"
#include "engine/EngineHost.h"

CKaViewSettings::CKaViewSettings(CKaEngineHost* host) : m_host(host) {
  m_gammaFilter = std::make_shared<const CKaGammaFilter>(1.0);
  for (unsigned mode = 1; mode < kKaViewModeCount; ++mode) {
    m_channelFilters[mode] = std::make_unique<CKaChannelFilter>(KaViewMode(mode));
  }
}

void CKaViewSettings::SetViewMode(KaViewMode mode) {
  if (mode == m_viewMode.load()) mode = KaViewMode::Normal;
  m_viewMode.store(mode);
  const unsigned index = unsigned(mode);
  m_channelFilter.store(index >= 1 && index < kKaViewModeCount ? m_channelFilters[index].get()
                                                               : nullptr);
  m_host->RequestRedraw();
  if (index < kKaViewModeCount) m_host->Announce(KaViewModeName(mode));
}

void CKaViewSettings::ToggleGamma() {
  m_gammaEnabled.store(!m_gammaEnabled.load());
  m_host->RequestRedraw();
}

void CKaViewSettings::EnableGamma(bool enable) {
  if (m_gammaEnabled.load() == enable) return;
  m_gammaEnabled.store(enable);
  m_host->RequestRedraw();
}

void CKaViewSettings::SetGamma(double gamma) {
  {
    std::lock_guard guard(m_gammaLock);
    // The table is immutable once built: the worker may still be using the old one.
    const double stored = gamma == 0.0 ? 1e-8 : gamma;
    if (stored != m_gammaFilter->GetGamma()) {
      m_gammaFilter = std::make_shared<const CKaGammaFilter>(gamma);
    }
  }
  m_host->RequestRedraw();
  m_host->Announce(KaFormat("Gamma %.2f", gamma));
}

double CKaViewSettings::GetGamma() const {
  std::lock_guard guard(m_gammaLock);
  return m_gammaFilter->GetGamma();
}

void CKaViewSettings::SetZoom(double zoom, bool announce) {
  if (zoom == 0.0) return;
  const double ratio = zoom / m_zoom.load();
  m_panX.store(int(m_panX.load() * ratio));
  m_panY.store(int(m_panY.load() * ratio));
  m_zoom.store(zoom);
  m_host->RequestRedraw();
  if (announce) m_host->Announce(KaFormat("Zoom %.0f", zoom * 100.0));
}

void CKaViewSettings::ZoomIn(bool announce) {
  double base = 0.0;
  const double next = KaZoomInStep(m_zoom.load(), &base);
  m_zoom.store(base);
  SetZoom(next, announce);
}

void CKaViewSettings::ZoomOut(bool announce) {
  double base = 0.0;
  const double next = KaZoomOutStep(m_zoom.load(), &base);
  m_zoom.store(base);
  SetZoom(next, announce);
}

void CKaViewSettings::SetPan(int x, int y, bool announce) {
  m_panX.store(x);
  m_panY.store(y);
  m_host->RequestRedraw();
  if (announce) m_host->Announce(KaFormat("Pan %i,%i", x, y));
}

void CKaViewSettings::ToggleInfoText() {
  m_infoText.store(!m_infoText.load());
  m_host->RequestRedraw();
  m_host->Announce("Toggle info text for full screen mode");
}

void CKaViewSettings::SetWindowedRect(const KaRect& rect, bool current) {
  const int values[4] = {rect.left, rect.top, rect.right, rect.bottom};
  for (int i = 0; i < 4; ++i) m_windowedRect[i].store(values[i]);
  if (current) SetCurrentRect(rect);
}

void CKaViewSettings::SetCurrentRect(const KaRect& rect) {
  const int values[4] = {rect.left, rect.top, rect.right, rect.bottom};
  for (int i = 0; i < 4; ++i) m_currentRect[i].store(values[i]);
}

void CKaViewSettings::RestoreWindowedRect() {
  for (int i = 0; i < 4; ++i) m_currentRect[i].store(m_windowedRect[i].load());
}

KaRect CKaViewSettings::GetCurrentRect() const {
  return {m_currentRect[0].load(), m_currentRect[1].load(), m_currentRect[2].load(),
          m_currentRect[3].load()};
}

KaViewSnapshot CKaViewSettings::Snapshot() const {
  KaViewSnapshot view;
  view.zoom = m_zoom.load();
  view.panX = m_panX.load();
  view.panY = m_panY.load();
  view.display = GetCurrentRect();
  // Gamma first (only when it changes anything), then the channel view.
  if (m_gammaEnabled.load()) {
    std::lock_guard guard(m_gammaLock);
    if (m_gammaFilter->GetGamma() != 1.0) view.gamma = m_gammaFilter;
  }
  view.channel = m_channelFilter.load();
  view.backColor = m_backColor.load();
  view.infoText = m_infoText.load();
  return view;
}
