#include "imaging/decoders/SoftImageDecoder.h"

bool CSoftImageDecoder::CanDecode(const std::uint8_t* header, std::size_t size) const {
  (void)header;
  (void)size;
  return false;
}

void CSoftImageDecoder::DoDecode(CImageSource* source, CImageBitmap* bitmap, int bppWanted) {
  (void)source;
  (void)bitmap;
  (void)bppWanted;
  throw CTextException(kErrUnsupported, "Decoder not available yet.\n");
}
