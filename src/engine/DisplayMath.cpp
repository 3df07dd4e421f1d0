#include "engine/DisplayMath.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

KaPlacement KaPlacePicture(int pictureWidth, int pictureHeight, double zoom, const KaRect& d,
                           int panX, int panY) {
  KaPlacement p;
  p.width = int(pictureWidth * zoom);
  p.height = int(pictureHeight * zoom);
  // C++ integer division truncates toward zero, which is the rule for pictures larger than
  // the display (negative differences).
  p.x = ((d.right - d.left) - p.width) / 2 + panX + d.left;
  p.y = ((d.bottom - d.top) - p.height) / 2 + panY + d.top;
  return p;
}

std::vector<KaRect> KaBackgroundBands(const KaRect& d, const KaPlacement& p) {
  std::vector<KaRect> bands;
  if (p.y > d.top) bands.push_back({d.left, d.top, d.right, p.y});
  if (p.x > d.left) bands.push_back({d.left, d.top, p.x, d.bottom});
  if (d.right > p.x + p.width) bands.push_back({p.x + p.width, d.top, d.right, d.bottom});
  if (d.bottom > p.y + p.height) bands.push_back({d.left, p.y + p.height, d.right, d.bottom});
  return bands;
}

double KaZoomInStep(double zoom, double* base) {
  *base = zoom;
  if (zoom >= 1.0) {
    *base = std::trunc(zoom);
    return *base + 1.0;
  }
  if (zoom >= 0.75) return 1.0;
  if (zoom >= 0.5) return 0.75;
  if (zoom >= 0.33) return 0.5;
  return 0.33;
}

double KaZoomOutStep(double zoom, double* base) {
  *base = zoom;
  if (zoom >= 2.0) {
    *base = std::trunc(zoom);
    return *base - 1.0;
  }
  if (zoom > 1.0) return 1.0;
  if (zoom == 1.0) return 0.75;
  if (zoom >= 0.75) return 0.5;
  if (zoom >= 0.5) return 0.33;
  return 0.25;
}

std::string KaFormatInfoLine(std::uint32_t frameNumber, double measuredRate, std::uint32_t step,
                             int width, int height, bool fromDisk) {
  std::string text =
      KaFormat(" Frame %04i - %.2ffps (Step %i = %.2ffps) - %i x %i ", int(frameNumber),
               measuredRate, int(step), double(step) * measuredRate, width, height);
  text += fromDisk ? " (Harddisk)" : " (RAM)";
  return text;
}

std::string KaFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (length > 0) {
    text.resize(std::size_t(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(std::size_t(length));
  }
  va_end(args);
  return text;
}
