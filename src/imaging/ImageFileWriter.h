#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ImageBitmap.h"

// Plain writers of decoded bitmaps (rvtool, tests, demo material). Each returns false and fills
// error when the file cannot be written; a half-written file is removed.

// The bitmap as R, G, B, A bytes, top row first; palettised bitmaps are expanded through their
// palette, 24- and 16-bit pixels get alpha 255, 32-bit pixels keep their stored alpha byte.
std::vector<std::uint8_t> BitmapToRGBA(const CImageBitmap& bitmap);

// PAM with TUPLTYPE RGB_ALPHA, top row first.
bool WritePAMFile(const CImageBitmap& bitmap, const std::string& path, std::string* error);
// 8-bit PNG through libpng: RGBA, or RGB for true-colour bitmaps without the alpha flag.
bool WritePNGFile(const CImageBitmap& bitmap, const std::string& path, std::string* error);
// Baseline RGB JPEG through libjpeg (alpha is dropped).
bool WriteJPEGFile(const CImageBitmap& bitmap, const std::string& path, int quality,
                   std::string* error);
// Deflate-compressed TIFF through libtiff: RGBA with unassociated alpha when the bitmap has the
// alpha flag, else RGB.
bool WriteTIFFFile(const CImageBitmap& bitmap, const std::string& path, std::string* error);
