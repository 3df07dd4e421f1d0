#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/ImageBitmap.h"

namespace rvimageops_test {

// A byte that depends on position and channel in a way no plain copy or shift reproduces.
inline std::uint8_t PatternByte(int x, int y, int channel, unsigned seed = 0) {
  unsigned v = static_cast<unsigned>(x) * 73856093u ^ static_cast<unsigned>(y) * 19349663u ^
               static_cast<unsigned>(channel + 1) * 83492791u ^ seed * 2654435761u;
  v ^= v >> 13;
  v *= 0x5bd1e995u;
  v ^= v >> 15;
  return static_cast<std::uint8_t>(v);
}

// A bitmap of the given depth whose pixel bytes (or palette indices) follow PatternByte.
inline std::unique_ptr<CDIBSectionBitmap> MakePatterned(int width, int height, int bpp,
                                                        bool alpha = false, unsigned seed = 0) {
  auto bitmap = std::make_unique<CDIBSectionBitmap>();
  bitmap->Create(width, height, static_cast<std::uint16_t>(bpp), alpha);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (bpp >= 8 && bpp % 8 == 0) {
        for (int c = 0; c < bpp / 8; ++c) {
          bitmap->GetLineArray()[y][x * (bpp / 8) + c] = PatternByte(x, y, c, seed);
        }
      } else {
        bitmap->SetPixel(x, y, PatternByte(x, y, 0, seed) & ((1u << bpp) - 1));
      }
    }
  }
  return bitmap;
}

// A 24- or 32-bit bitmap filled with one pixel value (blue, green, red for 24 bits).
inline std::unique_ptr<CDIBSectionBitmap> MakeFilled(int width, int height, RvPixel value,
                                                     bool alpha = false, int bpp = 32) {
  auto bitmap = std::make_unique<CDIBSectionBitmap>();
  bitmap->Create(width, height, static_cast<std::uint16_t>(bpp), alpha);
  const int bytes = bpp / 8;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::memcpy(bitmap->GetLineArray()[y] + bytes * x, &value, bytes);
    }
  }
  return bitmap;
}

inline RvPixel Pixel32(const CImageBitmap& bitmap, int x, int y) {
  RvPixel p;
  std::memcpy(&p, bitmap.GetLineArray()[y] + 4 * x, 4);
  return p;
}

// The pixel bytes of every row (no stride padding), top row first; depths of whole bytes only.
inline std::vector<std::uint8_t> PixelBytes(const CImageBitmap& bitmap) {
  std::vector<std::uint8_t> bytes;
  const std::size_t rowBytes =
      static_cast<std::size_t>(bitmap.GetWidth()) * (bitmap.GetBitsPerPixel() / 8);
  for (int y = 0; y < bitmap.GetHeight(); ++y) {
    const std::uint8_t* row = bitmap.GetLineArray()[y];
    bytes.insert(bytes.end(), row, row + rowBytes);
  }
  return bytes;
}

}  // namespace rvimageops_test
