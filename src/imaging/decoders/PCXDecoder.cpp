#include "imaging/decoders/PCXDecoder.h"

void CPCXDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  (void)source;
  (void)bitmap;
  (void)bppWanted;
  throw CTextException(kErrUnsupported, "Decoder not available yet.\n");
}
