#include "engine/IdlePicture.h"

#include "imaging/ImageSource.h"
#include "imaging/decoders/JPEGDecoder.h"

extern const std::uint8_t kKaIdlePictureJpeg[];
extern const std::size_t kKaIdlePictureJpeg_size;

namespace {
// Registered in this file, which the engine always links, so the resource cannot be dropped
// by the linker the way an unreferenced registrar object would be.
const CResourceRegistrar kIdleRegistrar(kKaIdlePictureResource, kKaIdlePictureJpeg,
                                        kKaIdlePictureJpeg_size);
}  // namespace

std::unique_ptr<CImageBitmap> KaLoadIdlePicture() {
  auto bitmap = std::make_unique<CDIBSectionBitmap>();
  CJPEGDecoder decoder;
  decoder.DecodeResource(kKaIdlePictureResource, bitmap.get());
  return bitmap;
}
