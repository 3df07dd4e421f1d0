// The metafile player: every input is played as an enhanced metafile and as a Windows
// metafile (the kind follows from the file name), at its declared size within the decoder's
// limits.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "imaging/ImageBitmap.h"
#include "imaging/ImageSource.h"
#include "imaging/TextException.h"
#include "imaging/metafile/MetafileGui.h"
#include "imaging/metafile/WMFDecoder.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  rvfuzz::ScratchDir();
  RvEnsureMetafileFonts();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const char* name : {"fuzz.emf", "fuzz.wmf"}) {
    CMemImageSource source;
    source.Open(data, size, name);
    CDIBSectionBitmap bitmap;
    CWMFDecoder decoder;
    try {
      decoder.DecodeSource(&source, &bitmap, 0);
    } catch (const CTextException&) {
    }
  }
  return 0;
}
