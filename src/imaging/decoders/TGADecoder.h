#pragma once

#include "imaging/ImageDecoder.h"

// Truevision TGA: colour-mapped, true-colour and grey images (types 1, 2, 3), their run-length
// forms (9, 10, 11), 8, 15, 16, 24 and 32 bits per pixel, either row order.
class CTGADecoder : public CImageDecoder {
 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;
};
