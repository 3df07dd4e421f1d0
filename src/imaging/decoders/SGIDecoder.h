#pragma once

#include "imaging/ImageDecoder.h"

// Silicon Graphics images: verbatim and run-length storage, 8- and 16-bit samples, one to four
// channels (red, green, blue, alpha); decoded to 32 bits per pixel with the alpha flag set.
class CSGIDecoder : public CImageDecoder {
 public:
  bool CanDecode(const std::uint8_t* header, std::size_t size) const override;

 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;
};
