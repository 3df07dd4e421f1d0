// The Cineon and DPX converter plug-in: reads Cineon (.cin) and DPX (.dpx) film frames and
// converts them to 32-bit display pixels, logarithmic data through LogToLinear.h.
#define KACV_BUILDING_PLUGIN
#include "imaging/plugins/KacvPlugIn.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "FilmRaster.h"

namespace {

constexpr int32_t kVersionMajor = 1;
constexpr int32_t kVersionMinor = 0;
constexpr std::size_t kMinimumHeader = 1024;

// The program calls one plug-in at a time, so plain globals are enough. Start values match
// the program's own start values.
LogToLinearParams g_params;
// Reader-table generation: the file pulled in by bKacvReadHeader, converted by
// bKacvDoConversion.
std::vector<unsigned char> g_pulled;
FilmRaster g_pulledRaster;

void SetError(char* error, const char* text) {
  if (error == nullptr) return;
  std::snprintf(error, KACV_ERROR_BUFFER_SIZE, "%s", text);
}

KacvBool Fail(char* error, FilmError code) {
  SetError(error, FilmErrorText(code));
  return KACV_FALSE;
}

KacvBool Pull(KacvReaderTable* reader, std::size_t count) {
  if (count == 0) return KACV_TRUE;
  const unsigned char* block = nullptr;
  if (count > UINT32_MAX || !reader->ReadBlock(static_cast<uint32_t>(count), &block) ||
      block == nullptr) {
    return KACV_FALSE;
  }
  g_pulled.insert(g_pulled.end(), block, block + count);
  return KACV_TRUE;
}

bool SizeMatches(const FilmRaster& raster, int32_t bitsPerPixel, int32_t width, int32_t height) {
  return bitsPerPixel == 32 && width >= 0 && height >= 0 &&
         std::uint32_t(width) == raster.Width() && std::uint32_t(height) == raster.Height();
}

}  // namespace

extern "C" {

KacvBool bKacvInitialize(char* name, char* description, int32_t* versionMajor,
                         int32_t* versionMinor, int32_t* /*reserved*/) {
  if (name) std::snprintf(name, KACV_TEXT_BUFFER_SIZE, "%s", "Cineon/DPX Converter");
  if (description) {
    std::snprintf(description, KACV_TEXT_BUFFER_SIZE, "%s",
                  "Kodak Cineon and SMPTE DPX frames, 8/10/12/16 bit, log and linear");
  }
  if (versionMajor) *versionMajor = kVersionMajor;
  if (versionMinor) *versionMinor = kVersionMinor;
  return KACV_TRUE;
}

KacvBool bKacvCanConvert(const char* /*path*/, const char* /*extension*/,
                         const unsigned char* header) {
  // The magic number decides, so renamed files still convert and other files never do.
  return IsFilmFile(header, KACV_HEADER_SIZE) ? KACV_TRUE : KACV_FALSE;
}

void KacvBeforeConvert(void) {
  g_pulled.clear();
  g_pulled.shrink_to_fit();
}

KacvBool bKacvReadHeader2(const unsigned char* data, size_t size, int32_t* bitsPerPixel,
                          int32_t* width, int32_t* height, char* error) {
  FilmRaster raster;
  const FilmError result = ParseFilmRaster(data, size, &raster);
  if (result != FilmError::kNone) return Fail(error, result);
  *bitsPerPixel = 32;
  *width = static_cast<int32_t>(raster.Width());
  *height = static_cast<int32_t>(raster.Height());
  return KACV_TRUE;
}

KacvBool bKacvDoConversion2(const unsigned char* data, size_t size, unsigned char* const* lines,
                            int32_t bitsPerPixel, int32_t width, int32_t height, char* error) {
  FilmRaster raster;
  FilmError result = ParseFilmRaster(data, size, &raster);
  if (result != FilmError::kNone) return Fail(error, result);
  if (lines == nullptr || !SizeMatches(raster, bitsPerPixel, width, height)) {
    return Fail(error, FilmError::kRead);
  }
  try {
    result = ConvertFilmRaster(data, size, raster, g_params, lines);
  } catch (const std::bad_alloc&) {
    return Fail(error, FilmError::kRead);
  }
  return result == FilmError::kNone ? KACV_TRUE : Fail(error, result);
}

KacvBool bKacvReadHeader(KacvReaderTable* reader, int32_t* bitsPerPixel, int32_t* width,
                         int32_t* height, char* error) {
  // Pull the header, learn from it where the pixels end, then pull those too: the
  // conversion needs random access to the lines.
  g_pulled.clear();
  if (reader == nullptr || reader->ReadBlock == nullptr) return Fail(error, FilmError::kRead);
  try {
    if (!Pull(reader, 4) || !IsFilmFile(g_pulled.data(), g_pulled.size())) {
      return Fail(error, FilmError::kRead);
    }
    if (!Pull(reader, kMinimumHeader - 4)) return Fail(error, FilmError::kRead);
    // Parse against an unlimited size to learn the layout, then pull exactly what it needs.
    FilmRaster raster;
    std::vector<unsigned char> probe(g_pulled);
    FilmError result = ParseFilmRaster(probe.data(), SIZE_MAX, &raster);
    if (result != FilmError::kNone) return Fail(error, result);
    // Lines are word-aligned as a rule but may be packed tightly: pull the tight extent,
    // then whatever of the aligned extent the source still has.
    const std::size_t lines = raster.storedHeight - 1;
    const std::size_t alignment = (raster.lineBytes + 3) / 4 * 4 - raster.lineBytes;
    const std::size_t alignedEnd = raster.dataOffset + raster.lineStride * lines + raster.lineBytes;
    const std::size_t tightEnd = alignedEnd - alignment * lines;
    if (tightEnd > g_pulled.size() && !Pull(reader, tightEnd - g_pulled.size())) {
      return Fail(error, FilmError::kRead);
    }
    unsigned char byte = 0;
    while (g_pulled.size() < alignedEnd && reader->ReadByte != nullptr && reader->ReadByte(&byte)) {
      g_pulled.push_back(byte);
    }
    result = ParseFilmRaster(g_pulled.data(), g_pulled.size(), &g_pulledRaster);
    if (result != FilmError::kNone) return Fail(error, result);
  } catch (const std::bad_alloc&) {
    return Fail(error, FilmError::kRead);
  }
  *bitsPerPixel = 32;
  *width = static_cast<int32_t>(g_pulledRaster.Width());
  *height = static_cast<int32_t>(g_pulledRaster.Height());
  return KACV_TRUE;
}

KacvBool bKacvDoConversion(KacvReaderTable* /*reader*/, unsigned char* const* lines,
                           int32_t bitsPerPixel, int32_t width, int32_t height, char* error) {
  if (g_pulled.empty() || lines == nullptr ||
      !SizeMatches(g_pulledRaster, bitsPerPixel, width, height)) {
    return Fail(error, FilmError::kRead);
  }
  FilmError result;
  try {
    result = ConvertFilmRaster(g_pulled.data(), g_pulled.size(), g_pulledRaster, g_params, lines);
  } catch (const std::bad_alloc&) {
    result = FilmError::kRead;
  }
  g_pulled.clear();
  return result == FilmError::kNone ? KACV_TRUE : Fail(error, result);
}

void KacvSetCineonValues(double gammaLog, double gammaDisplay, int32_t referenceBlack,
                         int32_t referenceWhite, int32_t softClip) {
  g_params.gammaLog = gammaLog;
  g_params.gammaDisplay = gammaDisplay;
  g_params.referenceBlack = referenceBlack;
  g_params.referenceWhite = referenceWhite;
  g_params.softClip = softClip;
}

void KacvAfterConvert(void) {}

}  // extern "C"
