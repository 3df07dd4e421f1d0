#pragma once

#include <memory>

#include "imaging/ImageBitmap.h"

// Name under which the idle picture's JPEG data is registered as a resource ("JPEG", id 131).
inline constexpr const char* kKaIdlePictureResource = "JPEG/131";

// Decodes the compiled-in idle picture with the JPEG decoder. Throws CTextException when the
// data cannot be decoded.
std::unique_ptr<CImageBitmap> KaLoadIdlePicture();
