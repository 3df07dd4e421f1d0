// Encoders of the image-sequence writer: one bitmap to one file of TIFF, Windows bitmap, PNG
// or JPEG. 24- and 32-bit frames are written as they are; other depths are expanded to 32 bits
// first. Alpha is written only for 32-bit frames with the alpha flag.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/ImageBitmap.h"

class CRvImageEncoder {
 public:
  virtual ~CRvImageEncoder() = default;
  // False with a reason in error when the file cannot be written; a half-written file is removed.
  virtual bool Encode(const CImageBitmap& bitmap, const std::string& path,
                      std::string* error) const = 0;
};

// The encoder of an image format of the save dialog's table (1 TIFF, 2 BMP, 3 PNG, 4 JPEG);
// null for AVI and unknown indices. quality (1..100) is used by JPEG.
std::unique_ptr<CRvImageEncoder> RvMakeImageEncoder(int format, int jpegQuality = 90);

// bitmap itself when it has 24 or 32 bits per pixel, else a 32-bit copy kept in holder.
const CImageBitmap& RvTrueColour(const CImageBitmap& bitmap,
                                 std::unique_ptr<CDIBSectionBitmap>* holder);

// Baseline JPEG of a 24- or 32-bit bitmap (alpha dropped) into out, reusing its memory.
class CRvJpegCompressor {
 public:
  CRvJpegCompressor();
  ~CRvJpegCompressor();
  CRvJpegCompressor(const CRvJpegCompressor&) = delete;
  CRvJpegCompressor& operator=(const CRvJpegCompressor&) = delete;
  // The encoded bytes stay valid until the next Compress; false with a reason in error.
  bool Compress(const CImageBitmap& bitmap, int quality, const std::uint8_t** data,
                std::size_t* size, std::string* error);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};
