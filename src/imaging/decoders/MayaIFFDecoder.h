#pragma once

#include <cstdint>

#include "imaging/ImageDecoder.h"

// Maya IFF: a FOR4/CIMG group with a TBHD header and a FOR4/TBMP group of RGB or RGBA tiles,
// verbatim or run-length; depth tiles are skipped. Decoded to 32 bits per pixel with the alpha
// flag set.
class CMayaIFFDecoder : public CImageDecoder {
 public:
  bool CanDecode(const std::uint8_t* header, std::size_t size) const override;

 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;

 private:
  // One chunk as read from its header; positions are offsets in the file.
  struct Chunk {
    std::uint32_t tag = 0;
    std::uint32_t size = 0;
    std::uint32_t groupType = 0;  // only for FOR4 groups
    std::uint64_t start = 0;
    std::uint64_t end = 0;  // start + 8 + size, padded to a multiple of 4
  };

  static Chunk ReadChunk(CImageSource* source);
  static void SkipTo(CImageSource* source, std::uint64_t position);
};
