#include "imaging/decoders/PGMDecoder.h"

void CPGMDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  (void)source;
  (void)bitmap;
  (void)bppWanted;
  throw CTextException(kErrUnsupported, "Decoder not available yet.\n");
}
