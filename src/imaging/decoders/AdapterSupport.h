#pragma once

#include <cstdint>

#include "imaging/ImageBitmap.h"

// Shared checks of the library adapters.

// Largest pixel block an adapter allocates: a file may claim any size, and nothing the player
// shows needs more than this.
inline constexpr std::uint64_t kMaxPixelBytes = std::uint64_t(1) << 31;

// Best ratios of decoded bytes (or pixels) to file bytes the adapted encodings can reach: a
// Deflate stream stands for at most 1032 times its size; a 12-bit LZW code for a string of at
// most 4096 entries; a sequential Huffman-coded JPEG needs at least 2 bits for each 8x8 block.
inline constexpr std::uint64_t kDeflateMaxRatio = 1032;
inline constexpr std::uint64_t kLzwMaxRatio = 4096 * 8 / 12 + 1;
inline constexpr std::uint64_t kJpegMaxPixelsPerByte = 64 * 4;

// True when `decoded` units could come out of `fileBytes` bytes at the encoding's best ratio
// `maxRatio`. A header claiming more is refused before anything is allocated: a small file must
// not make us reserve a huge bitmap only to find its data missing.
inline bool DataCanDescribe(std::uint64_t decoded, std::uint64_t fileBytes,
                            std::uint64_t maxRatio) {
  return decoded / maxRatio <= fileBytes;
}
inline const char* const kImplausibleText =
    "The header claims a picture larger than the file's data can describe.";

// True when a width x height bitmap of the given depth stays below kMaxPixelBytes.
inline bool BitmapSizeAcceptable(std::uint64_t width, std::uint64_t height, int bitsPerPixel) {
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;
  const std::uint64_t stride =
      ((width * std::uint64_t(bitsPerPixel) + 7) / 8 + 3) & ~std::uint64_t(3);
  return stride * height <= kMaxPixelBytes;
}
