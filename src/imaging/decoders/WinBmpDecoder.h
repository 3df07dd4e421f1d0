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
  // Decodes escape-coded rows: rowTarget(fileRow) gives where a row's width indices go and how
  // many bytes belong to it there (at least the width; those past the pixels are cleared);
  // rowDone(fileRow) follows each row. Returns the number of rows completed; rows the data does
  // not reach are left alone.
  static int DecodeRle(CImageSource* source, bool rle4, int width, int height,
                       const std::function<std::uint8_t*(int, std::size_t&)>& rowTarget,
                       const std::function<void(int)>& rowDone);
};
