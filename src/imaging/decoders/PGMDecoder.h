#pragma once

#include "imaging/ImageDecoder.h"

// Portable grey maps: text (P2) and binary (P5) samples, comments in the header, any maximum
// value; decoded to 8-bit grey levels.
class CPGMDecoder : public CImageDecoder {
 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;

 private:
  static std::uint32_t ReadHeaderNumber(CImageSource* source);
};
