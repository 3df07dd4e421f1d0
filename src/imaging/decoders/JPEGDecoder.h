#pragma once

#include "imaging/ImageDecoder.h"

// JPEG through libjpeg: one component gives an 8-bit grey bitmap, everything else 32 bits
// without alpha (CMYK and YCCK are converted to RGB here).
class CJPEGDecoder : public CImageDecoder {
 public:
  // Fast mode switches fancy upsampling off.
  void SetFast(bool fast) { m_fast = fast; }
  bool IsFast() const { return m_fast; }

 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;

 private:
  bool m_fast = false;
};
