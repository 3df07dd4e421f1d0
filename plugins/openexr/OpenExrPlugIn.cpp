// The OpenEXR converter plug-in: scan-line, tiled and multi-part OpenEXR frames through the
// OpenEXR library, shown with the sRGB transfer function.
#define KACV_BUILDING_PLUGIN
#include "imaging/plugins/KacvPlugIn.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "ExrFrame.h"

namespace {

constexpr int32_t kVersionMajor = 1;
constexpr int32_t kVersionMinor = 0;

// The in-memory calls keep no state, so frames may be converted on several threads at
// once. The reader-table calls must keep the pulled file from the header to the conversion;
// that lives per thread for the same reason.
struct Pulled {
  std::vector<std::uint8_t> bytes;
};
thread_local Pulled t_pulled;

KacvBool Fail(char* error, const std::string& text) {
  if (error != nullptr) std::snprintf(error, KACV_ERROR_BUFFER_SIZE, "%s", text.c_str());
  return KACV_FALSE;
}

bool SizeMatches(const ExrLayout& layout, int32_t bitsPerPixel, int32_t width, int32_t height) {
  return bitsPerPixel == 32 && width == layout.width && height == layout.height;
}

// Pulls the whole file through the reader table: blocks while they fit, smaller ones for the
// tail (a block larger than what remains fails without consuming anything).
bool PullAll(KacvReaderTable* reader, std::vector<std::uint8_t>* bytes) {
  std::uint32_t block = 1u << 16;
  while (block > 0) {
    const unsigned char* data = nullptr;
    if (reader->ReadBlock(block, &data) && data != nullptr) {
      bytes->insert(bytes->end(), data, data + block);
    } else {
      block /= 2;
    }
  }
  return !bytes->empty();
}

}  // namespace

extern "C" {

KacvBool bKacvInitialize(char* name, char* description, int32_t* versionMajor,
                         int32_t* versionMinor, int32_t* /*reserved*/) {
  if (name) std::snprintf(name, KACV_TEXT_BUFFER_SIZE, "%s", "OpenEXR Converter");
  if (description) {
    std::snprintf(description, KACV_TEXT_BUFFER_SIZE, "%s",
                  "OpenEXR scan-line, tiled and multi-part frames (half, float, uint), shown "
                  "through the sRGB curve");
  }
  if (versionMajor) *versionMajor = kVersionMajor;
  if (versionMinor) *versionMinor = kVersionMinor;
  return KACV_TRUE;
}

KacvBool bKacvCanConvert(const char* /*path*/, const char* /*extension*/,
                         const unsigned char* header) {
  return IsExrFile(header, KACV_HEADER_SIZE) ? KACV_TRUE : KACV_FALSE;
}

void KacvBeforeConvert(void) {
  t_pulled.bytes.clear();
  t_pulled.bytes.shrink_to_fit();
}

KacvBool bKacvReadHeader2(const unsigned char* data, size_t size, int32_t* bitsPerPixel,
                          int32_t* width, int32_t* height, char* error) {
  if (bitsPerPixel == nullptr || width == nullptr || height == nullptr) {
    return Fail(error, "OpenEXR: no place for the header values.");
  }
  ExrLayout layout;
  std::string text;
  try {
    if (!ReadExrLayout(data, size, &layout, &text)) return Fail(error, text);
  } catch (const std::bad_alloc&) {
    return Fail(error, "OpenEXR: out of memory.");
  }
  *bitsPerPixel = 32;
  *width = layout.width;
  *height = layout.height;
  return KACV_TRUE;
}

KacvBool bKacvDoConversion2(const unsigned char* data, size_t size, unsigned char* const* lines,
                            int32_t bitsPerPixel, int32_t width, int32_t height, char* error) {
  ExrLayout layout;
  std::string text;
  try {
    if (!ReadExrLayout(data, size, &layout, &text)) return Fail(error, text);
    if (lines == nullptr || !SizeMatches(layout, bitsPerPixel, width, height)) {
      return Fail(error, "OpenEXR: the bitmap does not match the header.");
    }
    if (!ConvertExr(data, size, layout, lines, kExrLibraryThreads, &text)) return Fail(error, text);
  } catch (const std::bad_alloc&) {
    return Fail(error, "OpenEXR: out of memory.");
  }
  return KACV_TRUE;
}

KacvBool bKacvReadHeader(KacvReaderTable* reader, int32_t* bitsPerPixel, int32_t* width,
                         int32_t* height, char* error) {
  t_pulled.bytes.clear();
  if (reader == nullptr || reader->ReadBlock == nullptr) {
    return Fail(error, "OpenEXR: the file cannot be read.");
  }
  try {
    if (!PullAll(reader, &t_pulled.bytes)) return Fail(error, "OpenEXR: the file cannot be read.");
  } catch (const std::bad_alloc&) {
    return Fail(error, "OpenEXR: out of memory.");
  }
  if (!bKacvReadHeader2(t_pulled.bytes.data(), t_pulled.bytes.size(), bitsPerPixel, width, height,
                        error)) {
    t_pulled.bytes.clear();
    return KACV_FALSE;
  }
  return KACV_TRUE;
}

KacvBool bKacvDoConversion(KacvReaderTable* /*reader*/, unsigned char* const* lines,
                           int32_t bitsPerPixel, int32_t width, int32_t height, char* error) {
  if (t_pulled.bytes.empty()) return Fail(error, "OpenEXR: no header was read.");
  const KacvBool result = bKacvDoConversion2(t_pulled.bytes.data(), t_pulled.bytes.size(), lines,
                                             bitsPerPixel, width, height, error);
  t_pulled.bytes.clear();
  return result;
}

void KacvAfterConvert(void) {}

}  // extern "C"
