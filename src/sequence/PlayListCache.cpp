// The frame cache of the play list: decoded frames in least-recently-used order under a memory
// budget, with one loaded flag per frame index for the frame bar.
#include "sequence/PlayList.h"

namespace {

constexpr double kBytesToMegabytes = 9.5367431640625e-07;  // 1 / 1,048,576

}  // namespace

bool CRvPlayList::IsOverBudget() const {
  return double(m_cachedCount.load()) * m_largestFrameSize.load() > BudgetMegabytes();
}

void CRvPlayList::RemoveFromCache(CRvFrame* frame) {
  if (!frame->m_inCache) return;
  m_cacheOrder.erase(frame->m_cacheEntry);
  frame->m_inCache = false;
  m_cachedCount = std::uint32_t(m_cacheOrder.size());
}

void CRvPlayList::EvictLeastRecent() {
  CRvFrame* frame = m_cacheOrder.front();
  frame->Unload();
  if (m_loaded && frame->GetIndex() < m_frameCount.load()) m_loaded[frame->GetIndex()].store(0);
  RemoveFromCache(frame);
}

bool CRvPlayList::FetchCurrentFrame(const CRvCrop* crop, const CRvResample* resample,
                                    CRvFrame** frame, bool* fromDisk, bool* cacheChanged,
                                    bool doNotLoad) {
  Lock lock = TakeLock();
  if (!lock.owns_lock()) return false;
  *fromDisk = false;
  *cacheChanged = false;
  if (!m_current.seq) return false;

  CRvFrame* current = m_current.frame->get();
  *frame = current;
  m_currentNumber = current->GetNumber();
  m_currentIndex = current->GetIndex();

  while (m_cacheOrder.size() > 1 && IsOverBudget()) {
    EvictLeastRecent();
    *cacheChanged = true;
  }

  if (current->IsLoaded() && current->m_inCache) {
    // A hit: relink the entry at the most-recently-used end; no allocation, no search.
    m_cacheOrder.splice(m_cacheOrder.end(), m_cacheOrder, current->m_cacheEntry);
    return true;
  }

  *fromDisk = true;
  if (doNotLoad) return false;
  *cacheChanged = true;
  if (!m_decoder) return false;
  int width = 0;
  int height = 0;
  if (!current->Load(m_decoder, crop, resample, &width, &height)) return false;
  m_lastSourceWidth = std::uint32_t(width);
  m_lastSourceHeight = std::uint32_t(height);

  const CDIBSectionBitmap* bitmap = current->GetBitmap();
  const double size =
      double(bitmap->GetBytesPerLine()) * double(bitmap->GetHeight()) * kBytesToMegabytes;
  if (size > m_largestFrameSize.load()) m_largestFrameSize = size;

  current->m_cacheEntry = m_cacheOrder.insert(m_cacheOrder.end(), current);
  current->m_inCache = true;
  m_cachedCount = std::uint32_t(m_cacheOrder.size());
  if (m_loaded && current->GetIndex() < m_frameCount.load()) m_loaded[current->GetIndex()].store(1);
  return true;
}

void CRvPlayList::UnloadAll() {
  Lock lock(m_lock);  // callers hold the worker; the lock only guards against mistakes
  m_largestFrameSize = 0.0;
  const std::uint32_t count = m_frameCount.load();
  if (m_loaded)
    for (std::uint32_t i = 0; i < count; ++i) m_loaded[i].store(0);
  for (const auto& sequence : m_sequences)
    for (const auto& frame : sequence->GetFrames()) {
      frame->Unload();
      frame->m_inCache = false;
    }
  m_cacheOrder.clear();
  m_cachedCount = 0;
}

void CRvPlayList::CheckChangedFrames(int criterion) {
  Lock lock(m_lock);
  std::uint32_t index = 0;
  const std::uint32_t count = m_frameCount.load();
  for (const auto& sequence : m_sequences) {
    for (const auto& frame : sequence->GetFrames()) {
      if (frame->CheckChanged(criterion)) {
        if (m_loaded && index < count) m_loaded[index].store(0);
        RemoveFromCache(frame.get());
      }
      ++index;
    }
  }
}
