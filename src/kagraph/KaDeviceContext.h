#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "kagraph/KaExport.h"

// A rectangle as left, top, right, bottom (right and bottom exclusive).
struct KaRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const KaRect&) const = default;
};

// A picture to draw, described over memory the caller owns (no copy is made). Rows are
// `stride` bytes apart starting at `bits` (the lowest address); when `bottomUp` is set the
// row at `bits` is the bottom row of the picture. Pixel layouts: 32 bits B,G,R,x; 24 bits
// B,G,R; 16 bits x1R5G5B5; 8 and 4 bits palette indices, 1 bit palette indices most
// significant bit first. `palette` holds 2^bpp entries 0xAARRGGBB for bpp <= 8.
struct KaBitmapView {
  const std::uint8_t* bits = nullptr;
  std::ptrdiff_t stride = 0;
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  bool bottomUp = true;
  const std::uint32_t* palette = nullptr;
};

// The drawing operations the playback engine needs from a target. Colours are 0x00BBGGRR
// colour references. The engine draws from its own thread, so an implementation must not
// touch any widget; it draws into memory that the user-interface thread shows later.
class KA_EXPORT CKaDeviceContext {
 public:
  virtual ~CKaDeviceContext();
  // Size of the drawable area in pixels.
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void FillRect(const KaRect& rect, std::uint32_t colorRef) = 0;
  // Nearest-neighbour stretching: rows and columns are dropped or repeated, never blended.
  virtual void SetStretchNearest(bool nearest) = 0;
  // Copies the picture into the rectangle (x, y, x + width, y + height), scaled to fit,
  // clipped at the target's edges, without blending.
  virtual void DrawBitmap(const KaBitmapView& bitmap, int x, int y, int width, int height) = 0;
  // One line of text with its top-left corner at (x, y), on an opaque background.
  virtual void DrawTextLine(int x, int y, const std::string& text, std::uint32_t textColor,
                            std::uint32_t backColor) = 0;
};
