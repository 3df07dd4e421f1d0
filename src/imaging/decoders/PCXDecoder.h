#pragma once

#include "imaging/ImageDecoder.h"

// PCX: 1-bit images of up to four planes, 2, 4 and 8 bits in one plane, 24-bit colour as three
// 8-bit planes; always decoded to 32 bits per pixel.
class CPCXDecoder : public CImageDecoder {
 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;
};
