#include "engine/DisplayMath.h"

#include "imageops/RvCrop.h"

#include <algorithm>
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

bool KaViewRectToCrop(const KaShownPicture& pic, const KaRect& rect, CRvCrop* crop) {
  if (pic.shownWidth <= 0 || pic.shownHeight <= 0 || pic.zoom <= 0.0 || !crop) return false;
  const KaPlacement place =
      KaPlacePicture(pic.shownWidth, pic.shownHeight, pic.zoom, pic.display, pic.panX, pic.panY);
  const auto toShown = [&pic](int v, int origin, int size) {
    return std::clamp(double(v - origin) / pic.zoom, 0.0, double(size));
  };
  const double fx0 = toShown(rect.left, place.x, pic.shownWidth);
  const double fx1 = toShown(rect.right, place.x, pic.shownWidth);
  const double fy0 = toShown(rect.top, place.y, pic.shownHeight);
  const double fy1 = toShown(rect.bottom, place.y, pic.shownHeight);
  const int srcW = pic.sourceWidth > 0 ? pic.sourceWidth : pic.shownWidth;
  const int srcH = pic.sourceHeight > 0 ? pic.sourceHeight : pic.shownHeight;
  int cl = 0, ct = 0, cw = srcW, ch = srcH;
  if (pic.crop) pic.crop->GetCropRect(srcW, srcH, &cl, &ct, &cw, &ch);
  // The shown picture is the crop resampled to the shown size.
  const double sx = double(cw) / pic.shownWidth, sy = double(ch) / pic.shownHeight;
  const int x0 = cl + int(std::floor(fx0 * sx)), x1 = cl + int(std::ceil(fx1 * sx));
  const int y0 = ct + int(std::floor(fy0 * sy)), y1 = ct + int(std::ceil(fy1 * sy));
  if (x1 <= x0 || y1 <= y0) return false;
  crop->Clear();
  crop->Set(CRvCrop::kLeft, x0, false);
  crop->Set(CRvCrop::kTop, y0, false);
  crop->Set(CRvCrop::kRight, std::max(0, srcW - std::min(x1, cl + cw)), false);
  crop->Set(CRvCrop::kBottom, std::max(0, srcH - std::min(y1, ct + ch)), false);
  return true;
}
