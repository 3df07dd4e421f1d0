#pragma once

#include "imaging/ImageDecoder.h"

// PNG through libpng: grey and palette images give 8 bits, the rest 32 bits (alpha flag set
// for grey+alpha and RGBA); 16-bit samples are reduced to 8.
class CPNGDecoder : public CImageDecoder {
 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;
};
