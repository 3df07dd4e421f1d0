#pragma once

#include "imaging/ImageDecoder.h"

// SoftImage PICT: 8-bit RGB in a first channel packet, optionally alpha in a second, each
// verbatim or mixed run-length; decoded to 32 bits per pixel with the alpha flag set.
class CSoftImageDecoder : public CImageDecoder {
 public:
  bool CanDecode(const std::uint8_t* header, std::size_t size) const override;

 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;
};
