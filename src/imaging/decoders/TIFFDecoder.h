#pragma once

#include "imaging/ImageDecoder.h"

// TIFF through libtiff, opened over the bytes from the source's current position to its end
// (so a TIFF embedded in another file decodes once the source is positioned at it).
class CTIFFDecoder : public CImageDecoder {
 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;
};
