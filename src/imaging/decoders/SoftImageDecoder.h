#pragma once

#include "imaging/ImageDecoder.h"

class CSoftImageDecoder : public CImageDecoder {
 public:
  bool CanDecode(const std::uint8_t* header, std::size_t size) const override;

 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;
};
