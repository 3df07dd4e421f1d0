#include "output/FrameSource.h"

#include "imageops/BlendInterleave.h"
#include "imageops/RvResample.h"
#include "sequence/PlayList.h"

namespace {

std::unique_ptr<CDIBSectionBitmap> CopyOf(const CImageBitmap& bitmap) {
  auto copy = std::make_unique<CDIBSectionBitmap>();
  copy->CopyFrom(bitmap);
  return copy;
}

// Enter/Leave around a scope, exceptions included.
class GuardScope {
 public:
  explicit GuardScope(CRvPlayListGuard* guard) : m_guard(guard) {
    if (m_guard) m_guard->Enter();
  }
  ~GuardScope() {
    if (m_guard) m_guard->Leave();
  }
  GuardScope(const GuardScope&) = delete;
  GuardScope& operator=(const GuardScope&) = delete;

 private:
  CRvPlayListGuard* m_guard;
};

}  // namespace

// --- play-list source ------------------------------------------------------------------------

CRvPlayListSource::CRvPlayListSource(CRvPlayList* playList, CRvPlayListGuard* guard)
    : m_playList(playList), m_guard(guard) {
  GuardScope scope(m_guard);
  const std::uint32_t count = m_playList->GetFrameCount();
  if (count == 0 || !m_playList->GoToInPoint()) {
    m_finished = true;
    return;
  }
  const std::uint32_t in = m_playList->GetInPointIndex();
  const std::uint32_t out = m_playList->GetOutPointIndex();
  m_frameCount = out >= in ? out - in + 1 : 0;
}

bool CRvPlayListSource::GetNext(const CRvCrop* crop, const CRvResample* resample,
                                CImageBitmap** bitmap) {
  if (m_finished) return false;
  GuardScope scope(m_guard);
  return FetchAndAdvance(crop, resample, bitmap);
}

bool CRvPlayListSource::FetchAndAdvance(const CRvCrop* crop, const CRvResample* resample,
                                        CImageBitmap** bitmap) {
  CRvFrame* frame = nullptr;
  bool fromDisk = false;
  bool cacheChanged = false;
  m_blank.reset();
  if (m_playList->FetchCurrentFrame(crop, resample, &frame, &fromDisk, &cacheChanged, false) &&
      frame && frame->GetBitmap()) {
    CDIBSectionBitmap* fetched = frame->GetBitmap();
    m_lastWidth = fetched->GetWidth();
    m_lastHeight = fetched->GetHeight();
    if (m_guard) {
      m_copy = CopyOf(*fetched);
      *bitmap = m_copy.get();
    } else {
      *bitmap = fetched;
    }
  } else {
    int width = m_lastWidth;
    int height = m_lastHeight;
    if (resample) resample->GetNewSize(m_lastWidth, m_lastHeight, &width, &height);
    m_blank = std::make_unique<CDIBSectionBitmap>();
    m_blank->Create(width > 0 ? width : 1, height > 0 ? height : 1, 32, false);
    *bitmap = m_blank.get();
  }
  if (!m_playList->Next(false)) m_finished = true;
  return true;
}

// --- 2:3 pull-down ---------------------------------------------------------------------------

CRvPullDownSource::CRvPullDownSource(std::unique_ptr<CRvFrameSource> source, int fieldOrder)
    : m_source(std::move(source)), m_fieldOrder(fieldOrder) {}

std::uint32_t CRvPullDownSource::AdjustRate(std::uint32_t value) const {
  return std::uint32_t(std::uint64_t(m_source->AdjustRate(value)) * 5 / 4);
}

bool CRvPullDownSource::GetNext(const CRvCrop* crop, const CRvResample* resample,
                                CImageBitmap** bitmap) {
  m_made.reset();
  m_phase = m_phase % 5 + 1;
  if (m_phase == 5) {
    if (!m_held) return false;
    *bitmap = m_held.get();
    return true;
  }
  CImageBitmap* input = nullptr;
  if (!m_source->GetNext(crop, resample, &input)) return false;
  if (m_phase >= 3 && m_held) {
    m_made = m_fieldOrder == 0 ? RvInterleaveBitmaps(*m_held, *input)
                               : RvInterleaveBitmaps(*input, *m_held);
  }
  m_held = CopyOf(*input);
  *bitmap = m_made ? static_cast<CImageBitmap*>(m_made.get()) : m_held.get();
  return true;
}

// --- 3:2 pull-up -----------------------------------------------------------------------------

CRvPullUpSource::CRvPullUpSource(std::unique_ptr<CRvFrameSource> source)
    : m_source(std::move(source)) {}

bool CRvPullUpSource::GetNext(const CRvCrop* crop, const CRvResample* resample,
                              CImageBitmap** bitmap) {
  ++m_counter;
  if (m_counter % 3 == 0) {
    CImageBitmap* dropped = nullptr;
    if (!m_source->GetNext(crop, resample, &dropped)) return false;
    ++m_counter;
  }
  return m_source->GetNext(crop, resample, bitmap);
}

// --- intermediate frames ---------------------------------------------------------------------

CRvIntermediateSource::CRvIntermediateSource(std::unique_ptr<CRvFrameSource> source, int count)
    : m_source(std::move(source)), m_count(count < 1 ? 1 : count) {}

std::uint32_t CRvIntermediateSource::AdjustRate(std::uint32_t value) const {
  return std::uint32_t(std::uint64_t(m_source->AdjustRate(value)) * std::uint64_t(m_count + 1));
}

bool CRvIntermediateSource::GetNext(const CRvCrop* crop, const CRvResample* resample,
                                    CImageBitmap** bitmap) {
  m_made.reset();
  m_phase = m_phase % (m_count + 1) + 1;
  if (m_phase > 1) {
    if (!m_current || !m_next) return false;
    const double t = double(m_phase) / double(m_count + 2);
    m_made = RvBlendBitmaps(*m_current, *m_next, t);
    *bitmap = m_made.get();
    return true;
  }
  CImageBitmap* input = nullptr;
  if (!m_source->GetNext(crop, resample, &input)) return false;
  if (!m_started) {
    m_started = true;
    m_current = CopyOf(*input);
    if (!m_source->GetNext(crop, resample, &input)) return false;
  } else {
    // The previous next frame is already our own copy: move it instead of copying again.
    m_current = std::move(m_next);
  }
  m_next = CopyOf(*input);
  *bitmap = m_current.get();
  return true;
}

std::unique_ptr<CRvFrameSource> RvMakeConverter(std::unique_ptr<CRvFrameSource> source, int option,
                                                int fieldOrder, int count) {
  switch (option) {
    case 2:
      return std::make_unique<CRvIntermediateSource>(std::move(source), count);
    case 3:
      return std::make_unique<CRvPullDownSource>(std::move(source), fieldOrder);
    case 4:
      return std::make_unique<CRvPullUpSource>(std::move(source));
    default:
      return source;
  }
}
