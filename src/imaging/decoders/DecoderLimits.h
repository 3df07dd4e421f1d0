#pragma once

// Helpers shared by the program's own decoders: size limits checked before a bitmap is
// allocated, a bounds-checked cursor over a block of file data, a scoped bitmap lock and the
// palette expansion used when a caller asks for 32-bit output of an 8-bit image.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

#include "imaging/ImageBitmap.h"
#include "imaging/ImageSource.h"
#include "imaging/TextException.h"

namespace rvdecode {

// No decoder allocates more than this much pixel data for one picture.
inline constexpr std::uint64_t kMaxPixelBytes = std::uint64_t(2) << 30;

inline const char* const kEndOfDataText = "End of file reached while decoding.\n";

[[noreturn]] inline void ThrowEndOfData() { throw CTextException(kErrEndOfFile, kEndOfDataText); }

// Why a picture of this size is refused before anything is allocated, or an empty text: it has
// no pixels, its sides do not fit the bitmap's int geometry, or its pixel data would exceed
// kMaxPixelBytes. Decoders raise the text with code 2.
inline std::string ImageSizeProblem(std::int64_t width, std::int64_t height,
                                    int outputBitsPerPixel) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  if (width <= 0 || height <= 0) return "Image size " + size + " is empty.";
  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) return "Image size " + size + " is too large.";
  const std::uint64_t stride =
      ((std::uint64_t(width) * std::uint64_t(outputBitsPerPixel) + 7) / 8 + 3) & ~std::uint64_t(3);
  if (stride * std::uint64_t(height) > kMaxPixelBytes)
    return "Image size " + size + " is too large.";
  return {};
}

// Why a header is refused that claims more pixel data than the rest of the file could describe
// even at the encoding's best ratio (a lying header must not make us allocate), or an empty
// text. neededBytes is the least file data that can hold the picture.
inline std::string DataCapacityProblem(std::uint64_t neededBytes, std::uint64_t availableBytes) {
  if (neededBytes <= availableBytes) return {};
  return "The header claims " + std::to_string(neededBytes) + " bytes of image data, but only " +
         std::to_string(availableBytes) + " remain in the file.";
}

// A read cursor over a block of file data; running off its end raises code 11 like the source.
class CByteCursor {
 public:
  CByteCursor(const std::uint8_t* data, std::size_t size) : m_pos(data), m_end(data + size) {}

  std::size_t Remaining() const { return std::size_t(m_end - m_pos); }
  bool AtEnd() const { return m_pos == m_end; }
  const std::uint8_t* Position() const { return m_pos; }
  const std::uint8_t* End() const { return m_end; }

  std::uint8_t Byte() {
    if (m_pos == m_end) ThrowEndOfData();
    return *m_pos++;
  }
  std::uint16_t WordBE() {
    const std::uint8_t* p = Bytes(2);
    return std::uint16_t((p[0] << 8) | p[1]);
  }
  const std::uint8_t* Bytes(std::size_t n) {
    if (n > Remaining()) ThrowEndOfData();
    const std::uint8_t* p = m_pos;
    m_pos += n;
    return p;
  }

 private:
  const std::uint8_t* m_pos;
  const std::uint8_t* m_end;
};

// Writes width pixels of a 32-bit row from palette indices.
inline void ExpandIndices(const std::uint8_t* indices, int width, const RvPixel* palette,
                          std::uint8_t* row) {
  for (int x = 0; x < width; ++x) {
    const RvPixel p = palette[indices[x]];
    std::memcpy(row + 4 * std::size_t(x), &p, 4);
  }
}

inline std::uint16_t WordBE(const std::uint8_t* p) { return std::uint16_t((p[0] << 8) | p[1]); }
inline std::uint32_t LongBE(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
         std::uint32_t(p[3]);
}
inline std::uint16_t WordLE(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t LongLE(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}

// A 5-5-5 or 5-6-5 pixel as the 16-bit bitmap readers convert it: each component keeps its top
// five bits, shifted to the top of the byte.
inline RvPixel Pixel555(std::uint32_t v, std::uint8_t alpha) {
  return RvMakePixel(std::uint8_t((v >> 7) & 0xF8), std::uint8_t((v >> 2) & 0xF8),
                     std::uint8_t((v << 3) & 0xFF), alpha);
}
inline RvPixel Pixel565(std::uint32_t v) {
  return RvMakePixel(std::uint8_t((v >> 8) & 0xF8), std::uint8_t((v >> 3) & 0xF8),
                     std::uint8_t((v << 3) & 0xFF), 255);
}

// Takes the rest of the source in one read: run-length data is decoded from memory, which is
// much faster than a source call per byte and lets the cursor guard every access.
inline CByteCursor RestOfSource(CImageSource* source) {
  const std::size_t n = source->GetRemaining();
  return CByteCursor(n ? source->ReadNBytes(n) : nullptr, n);
}

inline void StorePixel(std::uint8_t* at, RvPixel p) { std::memcpy(at, &p, 4); }

// Runs of a few pixels make up much of a rendered frame's run-length data, and a loop whose
// length changes from run to run costs a mispredicted exit each time. Runs and copies of up to
// kShortPixels pixels are therefore written as fixed 64-byte stores where the row has that much
// room ("room": pixels writable from the destination); the pixels past the run are overwritten
// by what follows.
inline constexpr int kShortPixels = 16;

inline void FillPixels(std::uint8_t* at, int count, RvPixel p, int room) {
  if (count > kShortPixels) {
    // The C library's four-byte fill uses the widest stores the processor has. Rows are
    // four-byte aligned.
    static_assert(sizeof(wchar_t) == 4);
    std::wmemset(reinterpret_cast<wchar_t*>(at), wchar_t(p), std::size_t(count));
    return;
  }
#ifdef __SSE2__
  if (room >= kShortPixels) {
    const __m128i four = _mm_set1_epi32(int(p));
    auto* out = reinterpret_cast<__m128i*>(at);
    _mm_storeu_si128(out, four);
    _mm_storeu_si128(out + 1, four);
    _mm_storeu_si128(out + 2, four);
    _mm_storeu_si128(out + 3, four);
    return;
  }
#endif
  for (int i = 0; i < count; ++i) std::memcpy(at + 4 * std::size_t(i), &p, 4);
}

// Copies count 32-bit pixels; src must have srcAvailable readable bytes and dst room for room
// pixels (see kShortPixels).
inline void CopyPixels(std::uint8_t* dst, const std::uint8_t* src, int count, int room,
                       std::size_t srcAvailable) {
#ifdef __SSE2__
  if (count <= kShortPixels && room >= kShortPixels && srcAvailable >= 4 * kShortPixels) {
    const auto* in = reinterpret_cast<const __m128i*>(src);
    auto* out = reinterpret_cast<__m128i*>(dst);
    const __m128i a = _mm_loadu_si128(in), b = _mm_loadu_si128(in + 1);
    const __m128i c = _mm_loadu_si128(in + 2), d = _mm_loadu_si128(in + 3);
    _mm_storeu_si128(out, a);
    _mm_storeu_si128(out + 1, b);
    _mm_storeu_si128(out + 2, c);
    _mm_storeu_si128(out + 3, d);
    return;
  }
#endif
  std::memcpy(dst, src, 4 * std::size_t(count));
}

// Blue, green, red triples to 32-bit pixels with alpha 255. Four-byte loads are safe for every
// pixel but the last, whose fourth byte may lie past the end of the data.
inline void BgrToBgraScalar(const std::uint8_t* src, int count, std::uint8_t* dst) {
  if (count <= 0) return;
  int x = 0;
  for (; x + 1 < count; ++x) {
    std::uint32_t v;
    std::memcpy(&v, src + 3 * std::size_t(x), 4);
    v |= 0xFF000000u;
    std::memcpy(dst + 4 * std::size_t(x), &v, 4);
  }
  const std::uint8_t* s = src + 3 * std::size_t(x);
  StorePixel(dst + 4 * std::size_t(x), RvMakePixel(s[2], s[1], s[0], 255));
}

#if defined(__x86_64__) || defined(__i386__)
// The same with one byte shuffle for four pixels, on processors that have it (all but the
// oldest x86-64 ones): three times the speed of the scalar loop, which matters for 24-bit
// frames.
[[gnu::target("ssse3")]] inline void BgrToBgraShuffle(const std::uint8_t* src, int count,
                                                      std::uint8_t* dst) {
  const __m128i order = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
  int x = 0;
  // Each load reads 16 bytes for the 12 of four pixels; it stays inside the data while six
  // pixels remain.
  for (; x + 6 <= count; x += 4) {
    const __m128i bgr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * std::size_t(x)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * std::size_t(x)),
                     _mm_or_si128(_mm_shuffle_epi8(bgr, order), alpha));
  }
  BgrToBgraScalar(src + 3 * std::size_t(x), count - x, dst + 4 * std::size_t(x));
}
#endif

inline void BgrToBgra(const std::uint8_t* src, int count, std::uint8_t* dst) {
#if defined(__x86_64__) || defined(__i386__)
  static const bool shuffle = __builtin_cpu_supports("ssse3");
  if (shuffle) return BgrToBgraShuffle(src, count, dst);
#endif
  BgrToBgraScalar(src, count, dst);
}

// Short fills and copies make up most of run-length decoding, and a library call for each costs
// more than the bytes. These write whole eight-byte words: the destination needs 7 bytes of
// slack past the item, and bytes past the item may be overwritten (later items or the caller
// put the right values there).
inline constexpr std::size_t kRunSlack = 8;

inline void FillRun(std::uint8_t* dst, std::uint8_t value, std::size_t n) {
  if (n > 32) {
    std::memset(dst, value, n);
    return;
  }
  const std::uint64_t pattern = 0x0101010101010101ull * value;
  for (std::size_t i = 0; i < n; i += 8) std::memcpy(dst + i, &pattern, 8);
}

// src + n must lie within the data; whole words are read only when they do too.
inline void CopyRun(std::uint8_t* dst, const std::uint8_t* src, std::size_t n,
                    const std::uint8_t* srcEnd) {
  if (n > 32 || std::size_t(srcEnd - src) < n + kRunSlack) {
    std::memcpy(dst, src, n);
    return;
  }
  for (std::size_t i = 0; i < n; i += 8) std::memcpy(dst + i, src + i, 8);
}

// Items of run-length data (a run of one value or a stretch of literal bytes) up to this many
// bytes are written as one fixed-size block.
inline constexpr std::size_t kShortItem = 32;

// For loops that branch on the kind of item anyway (the branch follows a pattern the processor
// learns, while the item's length does not): an item of up to 128 bytes is written as
// kShortItem bytes when it is that short and as 128 bytes otherwise, so that the length costs
// at most one mispredicted branch and no call. The destination needs kLongItemSlack bytes of
// room past the last item, which may be overwritten; a copy reads 128 bytes at src.
inline constexpr std::size_t kLongItem = 128;
inline constexpr std::size_t kLongItemSlack = kLongItem;

inline void CopyItem(std::uint8_t* dst, const std::uint8_t* src, std::size_t count) {
#ifdef __SSE2__
  const auto* in = reinterpret_cast<const __m128i*>(src);
  auto* out = reinterpret_cast<__m128i*>(dst);
  _mm_storeu_si128(out, _mm_loadu_si128(in));
  _mm_storeu_si128(out + 1, _mm_loadu_si128(in + 1));
  if (count > kShortItem)
    for (int i = 2; i < 8; ++i) _mm_storeu_si128(out + i, _mm_loadu_si128(in + i));
#else
  std::memcpy(dst, src, count <= kShortItem ? kShortItem : kLongItem);
#endif
}

inline void FillItem(std::uint8_t* dst, std::uint8_t value, std::size_t count) {
#ifdef __SSE2__
  const __m128i fill = _mm_set1_epi8(char(value));
  auto* out = reinterpret_cast<__m128i*>(dst);
  _mm_storeu_si128(out, fill);
  _mm_storeu_si128(out + 1, fill);
  if (count > kShortItem)
    for (int i = 2; i < 8; ++i) _mm_storeu_si128(out + i, fill);
#else
  std::memset(dst, value, count <= kShortItem ? kShortItem : kLongItem);
#endif
}

// memset and memcpy through the C library even where the compiler knows the size is small: its
// inline expansion for such sizes is a string instruction, which starts slowly, while the
// library picks fixed-size vector stores for them.
inline void LibraryFill(std::uint8_t* dst, std::uint8_t value, std::size_t n) {
  asm("" : "+r"(n));  // hides what the compiler knows of n
  std::memset(dst, value, n);
}
inline void LibraryCopy(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) {
  asm("" : "+r"(n));
  std::memcpy(dst, src, n);
}

// Interleaves separate red, green, blue and alpha samples into count blue, green, red, alpha
// pixels. Without an alpha row every alpha byte is alphaFill. The planar formats (SGI, tiles of
// Maya IFF) spend most of their time here, so sixteen pixels go at a time where SSE2 exists.
inline void InterleavePlanes(const std::uint8_t* red, const std::uint8_t* green,
                             const std::uint8_t* blue, const std::uint8_t* alpha,
                             std::uint8_t alphaFill, int count, std::uint8_t* dst) {
  int x = 0;
#ifdef __SSE2__
  const __m128i fill = _mm_set1_epi8(char(alphaFill));
  for (; x + 16 <= count; x += 16) {
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + x));
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + x));
    const __m128i a = alpha ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha + x)) : fill;
    const __m128i bgLow = _mm_unpacklo_epi8(b, g);
    const __m128i bgHigh = _mm_unpackhi_epi8(b, g);
    const __m128i raLow = _mm_unpacklo_epi8(r, a);
    const __m128i raHigh = _mm_unpackhi_epi8(r, a);
    auto* out = reinterpret_cast<__m128i*>(dst + 4 * std::size_t(x));
    _mm_storeu_si128(out, _mm_unpacklo_epi16(bgLow, raLow));
    _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(bgLow, raLow));
    _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(bgHigh, raHigh));
    _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(bgHigh, raHigh));
  }
#endif
  for (; x < count; ++x)
    StorePixel(dst + 4 * std::size_t(x),
               RvMakePixel(red[x], green[x], blue[x], alpha ? alpha[x] : alphaFill));
}

}  // namespace rvdecode
