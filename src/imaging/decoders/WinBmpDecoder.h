#pragma once

#include <functional>

#include "imaging/ImageDecoder.h"

// Windows bitmaps: 1, 4 and 8 bits with a palette (RLE4 and RLE8 included), 16 bits as 5-5-5
// or bit-field 5-6-5, 24 and 32 bits; bottom-up and top-down rows.
class CWinBmpDecoder : public CImageDecoder {
 protected:
  void DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) override;

 private:
  // Decodes the escape-coded rows, handing each finished row of indices to rowDone with its
  // file row number.
  static void DecodeRle(CImageSource* source, bool rle4, int width, int height,
                        const std::function<void(const std::uint8_t*, int)>& rowDone);
};
