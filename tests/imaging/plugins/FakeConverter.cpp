// A converter plug-in for tests, built in several variants (see CMakeLists.txt). It converts a
// tiny test format:
//   bytes 0-3   magic "TPLG"
//   bytes 4-7   width, little-endian      bytes 8-11 height
//   bytes 12-15 flags: 1 refuse the header, 2 refuse the conversion, 4 fail without a text,
//               8 report a zero width
//   then width x height pixels of 4 bytes (blue, green, red, alpha), top row first.
// FAKE_FILL makes the conversion paint every pixel that colour instead of copying the file.
// The variant's calls are counted in a structure tests reach through FakeConverterCalls().
#define KACV_BUILDING_PLUGIN
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "FakeConverterCalls.h"
#include "imaging/plugins/KacvPlugIn.h"

namespace {

FakeCalls g_calls;
uint32_t g_width = 0;
uint32_t g_height = 0;
uint32_t g_flags = 0;

constexpr uint32_t kRefuseHeader = 1;
constexpr uint32_t kRefuseConversion = 2;
constexpr uint32_t kNoText = 4;
constexpr uint32_t kZeroWidth = 8;

uint32_t Le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

KacvBool Refuse(char* error, const char* text) {
  if (!(g_flags & kNoText)) std::snprintf(error, KACV_ERROR_BUFFER_SIZE, "%s", text);
  return KACV_FALSE;
}

KacvBool TakeHeader(const unsigned char* h, int32_t* bpp, int32_t* width, int32_t* height,
                    char* error) {
  g_width = Le32(h + 4);
  g_height = Le32(h + 8);
  g_flags = Le32(h + 12);
  if (g_flags & kRefuseHeader) return Refuse(error, "Header refused by test plug-in.");
  *bpp = 24;  // the program must ignore this and convert to 32 bits
  *width = (g_flags & kZeroWidth) ? 0 : int32_t(g_width);
  *height = int32_t(g_height);
  return KACV_TRUE;
}

void PutPixel(unsigned char* const* lines, uint32_t x, uint32_t y, const unsigned char* bgra) {
#ifdef FAKE_FILL
  (void)bgra;
  const uint32_t fill = FAKE_FILL;
  std::memcpy(lines[y] + x * 4, &fill, 4);
#else
  std::memcpy(lines[y] + x * 4, bgra, 4);
#endif
}

bool SizeOk(int32_t bpp, int32_t width, int32_t height) {
  return bpp == 32 && uint32_t(width) == g_width && uint32_t(height) == g_height;
}

}  // namespace

extern "C" {

KACV_EXPORT FakeCalls* FakeConverterCalls(void) { return &g_calls; }

#ifndef FAKE_OMIT_bKacvInitialize
KacvBool bKacvInitialize(char* name, char* description, int32_t* major, int32_t* minor,
                         int32_t* reserved) {
  g_calls.reservedSeen = *reserved;
#ifdef FAKE_INIT_THROWS
  throw std::runtime_error("initialisation trouble");
#endif
#ifdef FAKE_INIT_FAILS
  return KACV_FALSE;
#endif
  std::snprintf(name, KACV_TEXT_BUFFER_SIZE, "%s", FAKE_NAME);
  std::snprintf(description, KACV_TEXT_BUFFER_SIZE, "%s", "Test converter " FAKE_NAME);
  *major = 3;
  *minor = 14;
  return KACV_TRUE;
}
#endif

#ifndef FAKE_OMIT_bKacvCanConvert
KacvBool bKacvCanConvert(const char* path, const char* extension, const unsigned char* header) {
  ++g_calls.canConvert;
  std::snprintf(g_calls.lastExtension, sizeof g_calls.lastExtension, "%s", extension);
  std::snprintf(g_calls.lastPath, sizeof g_calls.lastPath, "%s", path);
  return std::memcmp(header, "TPLG", 4) == 0;
}
#endif

#ifndef FAKE_OMIT_KacvBeforeConvert
void KacvBeforeConvert(void) { ++g_calls.beforeConvert; }
#endif

#ifndef FAKE_OMIT_bKacvReadHeader
KacvBool bKacvReadHeader(KacvReaderTable* reader, int32_t* bpp, int32_t* width, int32_t* height,
                         char* error) {
  g_calls.order[g_calls.orderCount++ % 16] = 'h';
  const unsigned char* h = nullptr;
  if (!reader->ReadBlock(16, &h)) return Refuse(error, "Short header.");
  return TakeHeader(h, bpp, width, height, error);
}
#endif

#ifdef FAKE_EXPORT_ReadHeader2
KacvBool bKacvReadHeader2(const unsigned char* data, size_t size, int32_t* bpp, int32_t* width,
                          int32_t* height, char* error) {
  g_calls.order[g_calls.orderCount++ % 16] = 'H';
  if (data == nullptr || size < 16) return Refuse(error, "Short header.");
  return TakeHeader(data, bpp, width, height, error);
}
#endif

#ifndef FAKE_OMIT_bKacvDoConversion
KacvBool bKacvDoConversion(KacvReaderTable* reader, unsigned char* const* lines, int32_t bpp,
                           int32_t width, int32_t height, char* error) {
  g_calls.order[g_calls.orderCount++ % 16] = 'c';
  if (!SizeOk(bpp, width, height)) return Refuse(error, "Unexpected size.");
  if (g_flags & kRefuseConversion) return Refuse(error, "Conversion refused by test plug-in.");
  for (uint32_t y = 0; y < g_height; ++y) {
    for (uint32_t x = 0; x < g_width; ++x) {
      // Both reader entries get used: the first byte of each pixel alone, the rest as a block.
      unsigned char pixel[4];
      const unsigned char* rest = nullptr;
      if (!reader->ReadByte(&pixel[0]) || !reader->ReadBlock(3, &rest)) {
        return Refuse(error, "Pixel data ended early.");
      }
      std::memcpy(pixel + 1, rest, 3);
      PutPixel(lines, x, y, pixel);
    }
  }
  return KACV_TRUE;
}
#endif

#ifdef FAKE_EXPORT_DoConversion2
KacvBool bKacvDoConversion2(const unsigned char* data, size_t size, unsigned char* const* lines,
                            int32_t bpp, int32_t width, int32_t height, char* error) {
  g_calls.order[g_calls.orderCount++ % 16] = 'C';
#ifdef FAKE_CONVERT_THROWS
  throw std::runtime_error("conversion trouble");
#endif
  if (!SizeOk(bpp, width, height)) return Refuse(error, "Unexpected size.");
  if (g_flags & kRefuseConversion) return Refuse(error, "Conversion refused by test plug-in.");
  const size_t needed = 16 + size_t(g_width) * g_height * 4;
  if (size < needed) return Refuse(error, "Pixel data ended early.");
  for (uint32_t y = 0; y < g_height; ++y)
    for (uint32_t x = 0; x < g_width; ++x)
      PutPixel(lines, x, y, data + 16 + (size_t(y) * g_width + x) * 4);
  return KACV_TRUE;
}
#endif

#ifdef FAKE_EXPORT_SetCineonValues
void KacvSetCineonValues(double gammaLog, double gammaDisplay, int32_t black, int32_t white,
                         int32_t softClip) {
  ++g_calls.setCineonValues;
  g_calls.order[g_calls.orderCount++ % 16] = 'v';
  g_calls.gammaLog = gammaLog;
  g_calls.gammaDisplay = gammaDisplay;
  g_calls.referenceBlack = black;
  g_calls.referenceWhite = white;
  g_calls.softClip = softClip;
}
#endif

#ifndef FAKE_OMIT_KacvAfterConvert
void KacvAfterConvert(void) { ++g_calls.afterConvert; }
#endif

}  // extern "C"
