#include "imageops/BlendInterleave.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

std::unique_ptr<CDIBSectionBitmap> CopyOf(const CImageBitmap& src) {
  auto copy = std::make_unique<CDIBSectionBitmap>();
  copy->CopyFrom(src);
  return copy;
}

bool IsTrueColour(const CImageBitmap& bitmap) {
  return bitmap.GetBitsPerPixel() == 24 || bitmap.GetBitsPerPixel() == 32;
}

// A 32-bit result carries the alpha flag only when a source had meaningful alpha: many 32-bit
// frames without alpha hold 0 in the fourth byte and would otherwise come out transparent.
bool ResultAlpha(const CImageBitmap& a, const CImageBitmap& b, int bpp) {
  return bpp == 32 && (a.HasAlpha() || b.HasAlpha());
}

// One stored row of src converted to dstBpp, `width` pixels long.
void ConvertRow(const std::uint8_t* in, int srcBpp, std::uint8_t* out, int dstBpp, int width) {
  if (srcBpp == dstBpp) {
    std::memcpy(out, in, static_cast<std::size_t>(width) * (dstBpp / 8));
  } else if (dstBpp == 32) {
    for (int x = 0; x < width; ++x) {
      out[4 * x] = in[3 * x];
      out[4 * x + 1] = in[3 * x + 1];
      out[4 * x + 2] = in[3 * x + 2];
      out[4 * x + 3] = 255;
    }
  } else {
    for (int x = 0; x < width; ++x) {
      out[3 * x] = in[4 * x];
      out[3 * x + 1] = in[4 * x + 1];
      out[3 * x + 2] = in[4 * x + 2];
    }
  }
}

}  // namespace

std::unique_ptr<CDIBSectionBitmap> RvBlendBitmaps(const CImageBitmap& a, const CImageBitmap& b,
                                                  double t) {
  if (std::isnan(t) || t <= 0.0) return CopyOf(a);
  if (t >= 1.0) return CopyOf(b);
  const bool mixable = IsTrueColour(a) && a.GetBitsPerPixel() == b.GetBitsPerPixel() &&
                       a.GetWidth() == b.GetWidth() && a.GetHeight() == b.GetHeight();
  if (!mixable) return t < 0.5 ? CopyOf(a) : CopyOf(b);

  const int bpp = a.GetBitsPerPixel();
  auto out = std::make_unique<CDIBSectionBitmap>();
  out->Create(a.GetWidth(), a.GetHeight(), static_cast<std::uint16_t>(bpp), ResultAlpha(a, b, bpp));
  out->Lock(false, true);
  const double wa = 1.0 - t;
  const std::size_t rowBytes = static_cast<std::size_t>(a.GetWidth()) * (bpp / 8);
  for (int y = 0; y < a.GetHeight(); ++y) {
    const std::uint8_t* pa = a.GetLineArray()[y];
    const std::uint8_t* pb = b.GetLineArray()[y];
    std::uint8_t* po = out->GetLineArray()[y];
    for (std::size_t i = 0; i < rowBytes; ++i) {
      po[i] = static_cast<std::uint8_t>(pa[i] * wa + pb[i] * t);
    }
  }
  out->Unlock();
  return out;
}

std::unique_ptr<CDIBSectionBitmap> RvInterleaveBitmaps(const CImageBitmap& a,
                                                       const CImageBitmap& b) {
  if (!IsTrueColour(a) || !IsTrueColour(b)) return CopyOf(b);

  const int width = std::min(a.GetWidth(), b.GetWidth());
  const int height = std::min(a.GetHeight(), b.GetHeight());
  const int bpp = a.GetBitsPerPixel();
  auto out = std::make_unique<CDIBSectionBitmap>();
  out->Create(width, height, static_cast<std::uint16_t>(bpp), ResultAlpha(a, b, bpp));
  out->Lock(false, true);
  // Fields alternate in storage order, which runs from the bottom row up.
  for (int stored = 0; stored < height; ++stored) {
    const CImageBitmap& src = stored % 2 == 0 ? a : b;
    const std::uint8_t* in = src.GetLineArray()[src.GetHeight() - 1 - stored];
    std::uint8_t* dst = out->GetLineArray()[height - 1 - stored];
    ConvertRow(in, src.GetBitsPerPixel(), dst, bpp, width);
  }
  out->Unlock();
  return out;
}
