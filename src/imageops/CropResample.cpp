#include "imageops/CropResample.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/TextException.h"

namespace {

bool IsSupportedDepth(int bpp) {
  return bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

// Refuses sizes whose row stride would not fit the bitmap's int arithmetic; such a request can
// only come from a mistyped specifier and must not reach the allocator as a wrapped value.
void CheckCreatable(int width, int height, int bpp) {
  if (width < 0 || height < 0 ||
      static_cast<long long>(width) * bpp / 8 + 4 > static_cast<long long>(INT_MAX)) {
    throw CTextException(kErrNoMemory, "Out of memory creating bitmap.");
  }
}

std::unique_ptr<CDIBSectionBitmap> MakeBitmap(int width, int height, int bpp, bool alpha) {
  CheckCreatable(width, height, bpp);
  auto bitmap = std::make_unique<CDIBSectionBitmap>();
  bitmap->Create(width, height, static_cast<std::uint16_t>(bpp), alpha);
  return bitmap;
}

// Palette index of pixel x in a row of 1, 2, 4 or 8 bits per pixel (first pixel in the high bits).
inline unsigned IndexAt(const std::uint8_t* row, int x, int bpp) {
  if (bpp == 8) return row[x];
  const long long bit = static_cast<long long>(x) * bpp;
  const int shift = 8 - bpp - static_cast<int>(bit & 7);
  return (row[bit >> 3] >> shift) & ((1u << bpp) - 1);
}

inline void SetIndexAt(std::uint8_t* row, int x, int bpp, unsigned value) {
  const long long bit = static_cast<long long>(x) * bpp;
  const int shift = 8 - bpp - static_cast<int>(bit & 7);
  const unsigned mask = ((1u << bpp) - 1) << shift;
  std::uint8_t& byte = row[bit >> 3];
  byte = static_cast<std::uint8_t>((byte & ~mask) | ((value << shift) & mask));
}

// ---- resample ----------------------------------------------------------------------------

// The filter taps of one axis: for output index i, taps[i * window .. + count[i]) weigh the
// source samples first[i], first[i] + 1, ...
struct AxisWeights {
  int window = 0;
  std::vector<int> first;
  std::vector<int> count;
  std::vector<double> taps;
};

AxisWeights ComputeAxisWeights(int oldSize, int newSize) {
  AxisWeights axis;
  axis.first.assign(newSize, 0);
  axis.count.assign(newSize, 0);
  if (oldSize <= 0 || newSize <= 0) return axis;

  const double scale = static_cast<double>(newSize) / static_cast<double>(oldSize);
  double filterWidth = 1.0;
  double kernelScale = 1.0;
  if (scale < 1.0) {
    filterWidth = 1.0 / scale;
    kernelScale = scale;
  }
  axis.window = 2 * static_cast<int>(std::ceil(filterWidth)) + 1;
  axis.taps.assign(static_cast<std::size_t>(newSize) * axis.window, 0.0);

  for (int i = 0; i < newSize; ++i) {
    const double centre = static_cast<double>(i) / scale;
    int first = std::max(0, static_cast<int>(std::floor(centre - filterWidth)));
    int last = std::min(oldSize - 1, static_cast<int>(std::ceil(centre + filterWidth)));
    if (last - first + 1 > axis.window) {
      if (first < oldSize - 1) {
        ++first;
      } else {
        --last;
      }
    }
    const int count = std::max(0, last - first + 1);
    double* w = axis.taps.data() + static_cast<std::size_t>(i) * axis.window;
    double sum = 0.0;
    for (int k = 0; k < count; ++k) {
      const double t = std::fabs(centre - static_cast<double>(first + k)) * kernelScale;
      w[k] = kernelScale * (t < 1.0 ? 1.0 - t : 0.0);
      sum += w[k];
    }
    if (sum > 0.0) {
      for (int k = 0; k < count; ++k) w[k] /= sum;
    }
    // Taps of weight 0 at either end add exactly +0.0 to a sum that is never negative, so
    // dropping them changes no byte; it saves a third to a half of the work at scales 2 and 0.5.
    int skip = 0;
    while (skip < count && w[skip] == 0.0) ++skip;
    int used = count - skip;
    while (used > 0 && w[skip + used - 1] == 0.0) --used;
    if (skip > 0) std::copy(w + skip, w + skip + used, w);
    axis.first[i] = first + skip;
    axis.count[i] = used;
  }
  return axis;
}

inline std::uint8_t RoundToByte(double value) {
  const double rounded = value + 0.5;
  return rounded >= 255.0 ? std::uint8_t{255} : static_cast<std::uint8_t>(rounded);
}

// How the source's bytes enter the filter.
enum class SourceKind { kBytes, kPalette };

// All paths below give the same bytes: each output byte is trunc(0 + w0 x s0 + w1 x s1 + ... +
// 0.5) in double precision with the taps added in ascending source order, saturated at 255. The
// SSE2 paths only run several such sums side by side (IEEE double lanes, no fused multiply-add).

// Filters one source row along x into one row of the intermediate. `line` holds the source row
// as doubles (one per channel), filled once per row so the taps never convert again.
template <int C>
void FilterRow(const double* line, const AxisWeights& axis, int newWidth, std::uint8_t* out) {
  for (int x = 0; x < newWidth; ++x) {
    const double* w = axis.taps.data() + static_cast<std::size_t>(x) * axis.window;
    const double* s = line + static_cast<std::size_t>(axis.first[x]) * C;
    const int count = axis.count[x];
#if defined(__SSE2__)
    if constexpr (C == 4) {
      __m128d lo = _mm_setzero_pd();
      __m128d hi = _mm_setzero_pd();
      for (int k = 0; k < count; ++k) {
        const __m128d wk = _mm_set1_pd(w[k]);
        lo = _mm_add_pd(lo, _mm_mul_pd(wk, _mm_loadu_pd(s + 4 * k)));
        hi = _mm_add_pd(hi, _mm_mul_pd(wk, _mm_loadu_pd(s + 4 * k + 2)));
      }
      const __m128d half = _mm_set1_pd(0.5);
      const __m128i ints = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_add_pd(lo, half)),
                                              _mm_cvttpd_epi32(_mm_add_pd(hi, half)));
      const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(ints, ints), ints);
      const int packed = _mm_cvtsi128_si32(bytes);
      std::memcpy(out + 4 * x, &packed, 4);
      continue;
    }
#endif
    double acc[C] = {};
    for (int k = 0; k < count; ++k) {
      for (int c = 0; c < C; ++c) acc[c] += w[k] * s[k * C + c];
    }
    for (int c = 0; c < C; ++c) out[x * C + c] = RoundToByte(acc[c]);
  }
}

// One output row of the column pass: out[i] = sum over k of w[k] x rows[k][i].
void FilterColumns(const std::uint8_t* const* rows, const double* w, int count, std::size_t length,
                   std::uint8_t* out) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128d half = _mm_set1_pd(0.5);
  for (; i + 8 <= length; i += 8) {
    __m128d a0 = _mm_setzero_pd();
    __m128d a1 = _mm_setzero_pd();
    __m128d a2 = _mm_setzero_pd();
    __m128d a3 = _mm_setzero_pd();
    for (int k = 0; k < count; ++k) {
      const __m128i b8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[k] + i));
      const __m128i b16 = _mm_unpacklo_epi8(b8, zero);
      const __m128i lo32 = _mm_unpacklo_epi16(b16, zero);
      const __m128i hi32 = _mm_unpackhi_epi16(b16, zero);
      const __m128d wk = _mm_set1_pd(w[k]);
      a0 = _mm_add_pd(a0, _mm_mul_pd(wk, _mm_cvtepi32_pd(lo32)));
      a1 = _mm_add_pd(a1, _mm_mul_pd(wk, _mm_cvtepi32_pd(_mm_srli_si128(lo32, 8))));
      a2 = _mm_add_pd(a2, _mm_mul_pd(wk, _mm_cvtepi32_pd(hi32)));
      a3 = _mm_add_pd(a3, _mm_mul_pd(wk, _mm_cvtepi32_pd(_mm_srli_si128(hi32, 8))));
    }
    const __m128i i01 = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_add_pd(a0, half)),
                                           _mm_cvttpd_epi32(_mm_add_pd(a1, half)));
    const __m128i i23 = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_add_pd(a2, half)),
                                           _mm_cvttpd_epi32(_mm_add_pd(a3, half)));
    const __m128i words = _mm_packs_epi32(i01, i23);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(words, words));
  }
#endif
  for (; i < length; ++i) {
    double acc = 0.0;
    for (int k = 0; k < count; ++k) acc += w[k] * rows[k][i];
    out[i] = RoundToByte(acc);
  }
}

template <int C>
void ResampleChannels(const CImageBitmap& src, SourceKind kind, int newWidth, int newHeight,
                      CImageBitmap& dst) {
  const int oldWidth = src.GetWidth();
  const int oldHeight = src.GetHeight();
  const AxisWeights xAxis = ComputeAxisWeights(oldWidth, newWidth);
  const AxisWeights yAxis = ComputeAxisWeights(oldHeight, newHeight);
  if (newWidth == 0 || newHeight == 0) return;

  // The row pass fills a ring of intermediate rows just ahead of the column pass instead of a
  // whole new-width x old-height image: the working set stays in cache and no frame-sized
  // scratch block is faulted in per frame. A row is identified by the slot's tag, so a tap
  // range that ever stepped back would refilter the row rather than read a stale one.
  const std::size_t rowLen = static_cast<std::size_t>(newWidth) * C;
  const int ringRows = std::max(1, std::min(yAxis.window + 1, oldHeight));
  std::vector<std::uint8_t> ring(rowLen * ringRows);
  std::vector<int> ringTag(ringRows, -1);
  std::vector<double> line(static_cast<std::size_t>(oldWidth) * C);
  const std::uint8_t* const* srcLines = src.GetLineArray();
  const RvPixel* palette = src.GetPalette();
  const int bpp = src.GetBitsPerPixel();

  auto filteredRow = [&](int y) -> const std::uint8_t* {
    const int slot = y % ringRows;
    std::uint8_t* out = ring.data() + rowLen * slot;
    if (ringTag[slot] == y) return out;
    const std::uint8_t* row = srcLines[y];
    if (kind == SourceKind::kBytes) {
      for (std::size_t i = 0; i < line.size(); ++i) line[i] = row[i];
    } else {
      for (int x = 0; x < oldWidth; ++x) {
        const RvPixel p = palette[IndexAt(row, x, bpp)];
        for (int c = 0; c < C; ++c) line[x * C + c] = static_cast<std::uint8_t>(p >> (8 * c));
      }
    }
    FilterRow<C>(line.data(), xAxis, newWidth, out);
    ringTag[slot] = y;
    return out;
  };

  std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(std::max(yAxis.window, 1)));
  std::uint8_t* const* dstLines = dst.GetLineArray();
  for (int y = 0; y < newHeight; ++y) {
    const int count = yAxis.count[y];
    for (int k = 0; k < count; ++k) rows[k] = filteredRow(yAxis.first[y] + k);
    const double* w = yAxis.taps.data() + static_cast<std::size_t>(y) * yAxis.window;
    FilterColumns(rows.data(), w, count, rowLen, dstLines[y]);
  }
}

}  // namespace

bool RvHasGreyPalette(const CImageBitmap& src) {
  const RvPixel* palette = src.GetPalette();
  if (src.GetBitsPerPixel() != 8 || palette == nullptr) return false;
  for (unsigned i = 0; i < 256; ++i) {
    if ((palette[i] & 0x00FFFFFFu) != (RvMakePixel(i, i, i) & 0x00FFFFFFu)) return false;
  }
  return true;
}

std::unique_ptr<CDIBSectionBitmap> RvCropBitmap(const CImageBitmap& src, int left, int top,
                                                int width, int height) {
  const int bpp = src.GetBitsPerPixel();
  if (!IsSupportedDepth(bpp)) {
    throw CTextException(kErrUnsupported, "Cannot crop a bitmap of this depth.");
  }
  // Clip to the source in 64-bit so huge or negative values cannot wrap.
  const long long srcW = src.GetWidth();
  const long long srcH = src.GetHeight();
  const long long l = std::clamp<long long>(left, 0, srcW);
  const long long t = std::clamp<long long>(top, 0, srcH);
  const long long r =
      std::clamp<long long>(static_cast<long long>(left) + std::max(width, 0), l, srcW);
  const long long b =
      std::clamp<long long>(static_cast<long long>(top) + std::max(height, 0), t, srcH);
  const int outW = static_cast<int>(r - l);
  const int outH = static_cast<int>(b - t);

  auto dst = MakeBitmap(outW, outH, bpp, src.HasAlpha());
  if (src.GetPalette() != nullptr && dst->GetPalette() != nullptr) {
    dst->SetPalette(src.GetPalette());
  }
  if (outW == 0 || outH == 0) return dst;

  CBitmapLock lock(dst.get());
  const std::uint8_t* const* srcLines = src.GetLineArray();
  std::uint8_t* const* dstLines = dst->GetLineArray();
  if (bpp % 8 == 0) {
    const std::size_t bytesPerPixel = static_cast<std::size_t>(bpp / 8);
    const std::size_t offset = static_cast<std::size_t>(l) * bytesPerPixel;
    const std::size_t length = static_cast<std::size_t>(outW) * bytesPerPixel;
    for (int y = 0; y < outH; ++y) {
      std::memcpy(dstLines[y], srcLines[t + y] + offset, length);
    }
  } else {
    for (int y = 0; y < outH; ++y) {
      const std::uint8_t* in = srcLines[t + y];
      std::uint8_t* out = dstLines[y];
      for (int x = 0; x < outW; ++x) {
        SetIndexAt(out, x, bpp, IndexAt(in, static_cast<int>(l) + x, bpp));
      }
    }
  }
  return dst;
}

namespace {

std::unique_ptr<CDIBSectionBitmap> Resample(const CImageBitmap& src, int newWidth, int newHeight) {
  const int bpp = src.GetBitsPerPixel();
  if (newWidth < 0 || newHeight < 0) {
    throw CTextException(kErrFormat, "Resample size must not be negative.");
  }
  const bool paletted = bpp <= 8 && src.GetPalette() != nullptr;
  if (!(bpp == 24 || bpp == 32 || (paletted && IsSupportedDepth(bpp)))) {
    throw CTextException(kErrUnsupported, "Cannot resample a bitmap of this depth.");
  }

  if (bpp == 8 && RvHasGreyPalette(src)) {
    auto dst = MakeBitmap(newWidth, newHeight, 8, src.HasAlpha());
    dst->SetPalette(src.GetPalette());
    CBitmapLock lock(dst.get());
    ResampleChannels<1>(src, SourceKind::kBytes, newWidth, newHeight, *dst);
    return dst;
  }
  if (paletted) {
    auto dst = MakeBitmap(newWidth, newHeight, 32, src.HasAlpha());
    CBitmapLock lock(dst.get());
    ResampleChannels<4>(src, SourceKind::kPalette, newWidth, newHeight, *dst);
    return dst;
  }
  auto dst = MakeBitmap(newWidth, newHeight, bpp, src.HasAlpha());
  CBitmapLock lock(dst.get());
  if (bpp == 32) {
    ResampleChannels<4>(src, SourceKind::kBytes, newWidth, newHeight, *dst);
  } else {
    ResampleChannels<3>(src, SourceKind::kBytes, newWidth, newHeight, *dst);
  }
  return dst;
}

}  // namespace

std::unique_ptr<CDIBSectionBitmap> RvResampleBitmap(const CImageBitmap& src, int newWidth,
                                                    int newHeight) {
  try {
    return Resample(src, newWidth, newHeight);
  } catch (const std::bad_alloc&) {
    // The intermediate image and weight lists are allocated here, outside the bitmap class.
    throw CTextException(kErrNoMemory, "Out of memory creating bitmap.");
  }
}
