#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "imageops/PixelTransform.h"

// What the view shows of each pixel. The values are the numbers the keys select; a number
// above 6 shows the picture unfiltered.
enum class KaViewMode : unsigned {
  Normal = 0,
  RedChannel = 1,
  GreenChannel = 2,
  BlueChannel = 3,
  AlphaChannel = 4,
  ShowAlpha = 5,
  ShowAlphaInverted = 6,
};
inline constexpr unsigned kKaViewModeCount = 7;

// View modes 1..6: single channels and the alpha views. Alpha is never changed.
class CKaChannelFilter : public CPixelTransform {
 public:
  explicit CKaChannelFilter(KaViewMode viewMode) : m_mode(viewMode) {}
  RvPixel Map(RvPixel pixel) const override;
  KaViewMode GetViewMode() const { return m_mode; }

 private:
  KaViewMode m_mode;
};

// Display gamma: red, green and blue through a 256-entry table, alpha kept.
class CKaGammaFilter : public CPixelTransform {
 public:
  explicit CKaGammaFilter(double gamma = 1.0) { SetGamma(gamma); }
  // A gamma of 0 is stored as 1e-8 (the table then maps everything but 255 to 0).
  void SetGamma(double gamma);
  double GetGamma() const { return m_gamma; }
  const std::array<std::uint8_t, 256>& GetTable() const { return m_table; }
  RvPixel Map(RvPixel pixel) const override;

 private:
  double m_gamma = 1.0;
  std::array<std::uint8_t, 256> m_table{};
};

// "Normal view", "Red channel", ...; empty for modes above 6.
std::string KaViewModeName(KaViewMode viewMode);
