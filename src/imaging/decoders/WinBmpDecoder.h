#pragma once

#include "imaging/ImageDecoder.h"

class CWinBmpDecoder : public CImageDecoder {
 public:
 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;
};
