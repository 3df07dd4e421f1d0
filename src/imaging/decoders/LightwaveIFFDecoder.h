#pragma once

#include "imaging/ImageDecoder.h"

// Deep ILBM as written by Lightwave: 24 (RGB) or 32 (RGBA) bit planes, verbatim or ByteRun1;
// decoded to 32 bits per pixel with the alpha flag set.
class CLightwaveIFFDecoder : public CImageDecoder {
 public:
  bool CanDecode(const std::uint8_t* header, std::size_t size) const override;

 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;
};
