#include "imaging/decoders/TGADecoder.h"

void CTGADecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  (void)source;
  (void)bitmap;
  (void)bppWanted;
  throw CTextException(kErrUnsupported, "Decoder not available yet.\n");
}
