#pragma once

#include <cstdint>

#include "imaging/ImageBitmap.h"

// Shared checks of the library adapters.

// Largest pixel block an adapter allocates: a file may claim any size, and nothing the player
// shows needs more than this.
inline constexpr std::uint64_t kMaxPixelBytes = std::uint64_t(1) << 31;

// True when a width x height bitmap of the given depth stays below kMaxPixelBytes.
inline bool BitmapSizeAcceptable(std::uint64_t width, std::uint64_t height, int bitsPerPixel) {
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;
  const std::uint64_t stride =
      ((width * std::uint64_t(bitsPerPixel) + 7) / 8 + 3) & ~std::uint64_t(3);
  return stride * height <= kMaxPixelBytes;
}
