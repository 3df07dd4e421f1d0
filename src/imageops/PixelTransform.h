#pragma once

#include "imaging/ImageBitmap.h"

// A per-pixel display operation (channel view, display gamma). It maps one 32-bit pixel
// (bytes blue, green, red, alpha; the value 0xAARRGGBB) to another. Implementations must be
// pure functions of their own state so the draw thread can call Map from its inner loops.
class CPixelTransform {
 public:
  virtual ~CPixelTransform() = default;
  virtual RvPixel Map(RvPixel pixel) const = 0;
};
