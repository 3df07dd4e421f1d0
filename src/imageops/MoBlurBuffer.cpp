#include "imageops/MoBlurBuffer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/TextException.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using ByteTable = std::array<std::uint8_t, 256>;

// table[v] = v x weight / 255, truncated: every ghosting term is one lookup.
ByteTable ScaleTable(unsigned weight) {
  ByteTable table{};
  for (unsigned v = 0; v < 256; ++v) table[v] = static_cast<std::uint8_t>(v * weight / 255);
  return table;
}

#if defined(__SSE2__)
// floor(v x weight / 255) in eight 16-bit lanes: for 0 <= x <= 255 x 255, floor(x / 255) equals
// (x + 1 + (x >> 8)) >> 8, so the SIMD path gives the same bytes as the tables.
inline __m128i MulDiv255(__m128i v, __m128i weight) {
  const __m128i x = _mm_mullo_epi16(v, weight);
  return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, _mm_set1_epi16(1)), _mm_srli_epi16(x, 8)),
                        8);
}
#endif

// out[i] = first[i] x firstWeight / 255 + the sum over k of others[k][i] x otherWeight / 255,
// each term truncated. The weights add up to at most 255, so no sum overflows a byte. An entry
// of others may be out itself (the trail): each position is read before it is written.
void MixRow(const std::uint8_t* first, unsigned firstWeight, const std::uint8_t* const* others,
            std::size_t otherCount, unsigned otherWeight, std::size_t length, std::uint8_t* out) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i w0 = _mm_set1_epi16(static_cast<short>(firstWeight));
  const __m128i w1 = _mm_set1_epi16(static_cast<short>(otherWeight));
  for (; i + 16 <= length; i += 16) {
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + i));
    __m128i lo = MulDiv255(_mm_unpacklo_epi8(f, zero), w0);
    __m128i hi = MulDiv255(_mm_unpackhi_epi8(f, zero), w0);
    for (std::size_t k = 0; k < otherCount; ++k) {
      const __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(others[k] + i));
      lo = _mm_add_epi16(lo, MulDiv255(_mm_unpacklo_epi8(h, zero), w1));
      hi = _mm_add_epi16(hi, MulDiv255(_mm_unpackhi_epi8(h, zero), w1));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
  }
#endif
  if (i == length) return;
  const ByteTable firstTable = ScaleTable(firstWeight);
  const ByteTable otherTable = ScaleTable(otherWeight);
  for (; i < length; ++i) {
    unsigned sum = firstTable[first[i]];
    for (std::size_t k = 0; k < otherCount; ++k) sum += otherTable[others[k][i]];
    out[i] = static_cast<std::uint8_t>(sum);
  }
}

// Alpha 0 would drop the new frame and 255 the old picture; the blend needs a bit of both.
unsigned ClampAlpha(std::uint8_t alpha) { return std::clamp<unsigned>(alpha, 1, 254); }

bool SameSize(const CImageBitmap& a, const CImageBitmap& b) {
  return a.GetWidth() == b.GetWidth() && a.GetHeight() == b.GetHeight();
}

std::size_t RowBytes(const CImageBitmap& bitmap) {
  return static_cast<std::size_t>(bitmap.GetWidth()) * 4;
}

std::unique_ptr<CDIBSectionBitmap> MakeLike(const CImageBitmap& frame) {
  auto bitmap = std::make_unique<CDIBSectionBitmap>();
  bitmap->Create(frame.GetWidth(), frame.GetHeight(), 32, frame.HasAlpha());
  return bitmap;
}

// Copies frame's pixels through the transforms into out (same size, 32 bits).
void TransformInto(const CImageBitmap& frame, const CPixelTransform* a, const CPixelTransform* b,
                   CImageBitmap& out) {
  const int width = frame.GetWidth();
  for (int y = 0; y < frame.GetHeight(); ++y) {
    const auto* in = reinterpret_cast<const std::uint8_t*>(frame.GetLineArray()[y]);
    std::uint8_t* dst = out.GetLineArray()[y];
    for (int x = 0; x < width; ++x) {
      RvPixel p;
      std::memcpy(&p, in + 4 * x, 4);
      if (a != nullptr) p = a->Map(p);
      if (b != nullptr) p = b->Map(p);
      std::memcpy(dst + 4 * x, &p, 4);
    }
  }
}

}  // namespace

CKaMoBlurBuffer::CKaMoBlurBuffer() = default;
CKaMoBlurBuffer::~CKaMoBlurBuffer() = default;

void CKaMoBlurBuffer::Clear() {
  m_history.clear();
  m_result.reset();
  m_shown.reset();
}

void CKaMoBlurBuffer::EnsureResult(const CImageBitmap& frame) {
  if (!m_result || !SameSize(*m_result, frame)) {
    m_result.reset();
    m_result = MakeLike(frame);
  }
  m_result->SetHasAlpha(frame.HasAlpha());
}

const CImageBitmap* CKaMoBlurBuffer::Present(const CPixelTransform* a, const CPixelTransform* b) {
  if (a == nullptr && b == nullptr) return m_result.get();
  if (!m_shown || !SameSize(*m_shown, *m_result)) {
    m_shown.reset();
    m_shown = MakeLike(*m_result);
  }
  m_shown->SetHasAlpha(m_result->HasAlpha());
  TransformInto(*m_result, a, b, *m_shown);
  return m_shown.get();
}

void CKaMoBlurBuffer::PushHistory(const CImageBitmap& frame, std::uint32_t keep) {
  // Reuse the oldest entry's storage when it is about to be dropped anyway, so steady playback
  // does not allocate a frame-sized block per frame.
  std::unique_ptr<CDIBSectionBitmap> entry;
  if (!m_history.empty() && m_history.size() >= keep && SameSize(*m_history.front(), frame)) {
    entry = std::move(m_history.front());
    m_history.pop_front();
  } else {
    entry = MakeLike(frame);
  }
  entry->SetHasAlpha(frame.HasAlpha());
  const std::size_t rowBytes = RowBytes(frame);
  for (int y = 0; y < frame.GetHeight(); ++y) {
    std::memcpy(entry->GetLineArray()[y], frame.GetLineArray()[y], rowBytes);
  }
  m_history.push_back(std::move(entry));
  while (m_history.size() > keep) m_history.pop_front();
}

const CImageBitmap* CKaMoBlurBuffer::Process(const CImageBitmap* frame, const CPixelTransform* a,
                                             const CPixelTransform* b) {
  if (frame == nullptr) return nullptr;
  if (frame->GetBitsPerPixel() != 32) return frame;

  // One snapshot of the parameters the UI thread may be changing.
  const std::int32_t mode = GetMode();
  const std::uint32_t frames = GetFrames();
  const unsigned alpha = ClampAlpha(GetAlpha());

  try {
    if ((mode != kModeTrailFade && mode != kModeEqual) || frames == 0) {
      if (a == nullptr && b == nullptr) return frame;
      if (!m_shown || !SameSize(*m_shown, *frame)) {
        m_shown.reset();
        m_shown = MakeLike(*frame);
      }
      m_shown->SetHasAlpha(frame->HasAlpha());
      TransformInto(*frame, a, b, *m_shown);
      return m_shown.get();
    }

    EnsureResult(*frame);
    const int height = frame->GetHeight();
    const std::size_t rowBytes = RowBytes(*frame);

    if (mode == kModeTrailFade) {
      for (int y = 0; y < height; ++y) {
        std::uint8_t* out = m_result->GetLineArray()[y];
        const std::uint8_t* trail = out;
        MixRow(frame->GetLineArray()[y], alpha, &trail, 1, 255 - alpha, rowBytes, out);
      }
      return Present(a, b);
    }

    // Equal mix of the current frame and the newest history frames of the same size.
    std::vector<const CImageBitmap*> mix;
    for (auto it = m_history.rbegin(); it != m_history.rend() && mix.size() < kMaxHistory; ++it) {
      if (SameSize(**it, *frame)) mix.push_back(it->get());
    }
    const unsigned n = static_cast<unsigned>(mix.size());
    unsigned weight = n > 0 ? alpha / n : 0;
    unsigned current = 255 - weight * n;
    if (weight == 0) {
      mix.clear();
      current = 255;
    }
    std::vector<const std::uint8_t*> rows(mix.size());
    for (int y = 0; y < height; ++y) {
      for (std::size_t k = 0; k < mix.size(); ++k) rows[k] = mix[k]->GetLineArray()[y];
      MixRow(frame->GetLineArray()[y], current, rows.data(), rows.size(), weight, rowBytes,
             m_result->GetLineArray()[y]);
    }
    const CImageBitmap* shown = Present(a, b);
    PushHistory(*frame, std::min(frames, kMaxHistory));
    return shown;
  } catch (const std::bad_alloc&) {
    throw CTextException(kErrNoMemory, "Out of memory creating bitmap.");
  }
}
