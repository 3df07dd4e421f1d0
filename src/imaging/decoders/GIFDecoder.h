#pragma once

#include "imaging/ImageDecoder.h"

// GIF through giflib: the first image into an 8-bit bitmap with its colour table.
class CGIFDecoder : public CImageDecoder {
 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;
};
