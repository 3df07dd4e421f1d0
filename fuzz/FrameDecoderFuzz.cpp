// The auto-detecting frame decoder on an in-memory source: the own SGI, SoftImage, Maya IFF and
// Lightwave decoders, then the general detection by content (bitmaps, TGA, PCX, PGM, PNG, JPEG,
// TIFF, EPS previews, GIF, PICT; metafiles are chosen by name and have their own target).
// Decode errors are expected; crashes, leaks and sanitizer reports are not.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "imaging/FrameDecoder.h"
#include "imaging/ImageBitmap.h"
#include "imaging/ImageSource.h"
#include "imaging/TextException.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  rvfuzz::ScratchDir();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static CFrameDecoder decoder;
  // The last byte picks the depth asked for, so both the 8-bit and 32-bit paths are reached.
  const int bpp = size > 0 && (data[size - 1] & 1) ? 32 : 0;
  CMemImageSource source;
  source.Open(data, size, "frame");
  CDIBSectionBitmap bitmap;
  try {
    decoder.DecodeSource(&source, &bitmap, bpp);
  } catch (const CTextException&) {
  }
  return 0;
}
