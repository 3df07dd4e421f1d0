// The frame cache of the play list: decoded frames under a memory budget, with one loaded flag
// per frame index for the frame bar. Frames the playhead needs soon are ranked; eviction takes
// frames not needed (least recently used first), then the ones needed latest.
#include <chrono>

#include "sequence/PlayList.h"

namespace {

constexpr double kBytesToMegabytes = 9.5367431640625e-07;  // 1 / 1,048,576
constexpr auto kWaitSlice = std::chrono::milliseconds(20);

double SizeOf(const CDIBSectionBitmap& bitmap) {
  return double(bitmap.GetBytesPerLine()) * double(bitmap.GetHeight()) * kBytesToMegabytes;
}

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

bool CRvPlayList::EvictOneFor(std::uint32_t rank) {
  CRvFrame* victim = nullptr;
  std::uint32_t victimRank = 0;
  for (CRvFrame* frame : m_cacheOrder) {
    if (frame == m_pinned) continue;
    const std::uint32_t r = frame->GetIndex() < m_rank.size() ? m_rank[frame->GetIndex()] : kRvNone;
    if (r == kRvNone) {
      victim = frame;  // not needed at all: the least recently used of these goes first
      break;
    }
    if (r > rank && (!victim || r > victimRank)) {
      victim = frame;
      victimRank = r;
    }
  }
  if (!victim) return false;
  victim->Unload();
  if (m_loaded && victim->GetIndex() < m_frameCount.load()) m_loaded[victim->GetIndex()].store(0);
  RemoveFromCache(victim);
  return true;
}

bool CRvPlayList::MakeRoomFor(double size, std::uint32_t rank, bool force) {
  const double largest = std::max(size, m_largestFrameSize.load());
  while (!m_cacheOrder.empty() && double(m_cacheOrder.size() + 1) * largest > BudgetMegabytes()) {
    if (!EvictOneFor(rank)) return force;
  }
  return true;
}

void CRvPlayList::CancelReadAhead() {
  m_generation.fetch_add(1);
  m_published.notify_all();
}

void CRvPlayList::SetReadAheadOrder(const std::vector<std::uint32_t>& order) {
  Lock lock = TakeLock();
  if (!lock.owns_lock()) return;
  for (std::uint32_t index : m_rankedOrder)
    if (index < m_rank.size()) m_rank[index] = kRvNone;
  m_rankedOrder.clear();
  for (std::uint32_t r = 0; r < order.size(); ++r) {
    if (order[r] >= m_rank.size()) continue;
    m_rank[order[r]] = r;
    m_rankedOrder.push_back(order[r]);
  }
}

RvDecodeResult CRvPlayList::PublishLocked(CRvFrame* frame, std::uint64_t generation,
                                          std::unique_ptr<CDIBSectionBitmap> bitmap, int width,
                                          int height, const std::string& error, bool force) {
  frame->m_inFlight = false;
  m_published.notify_all();
  if (generation != m_generation.load()) return RvDecodeResult::NotNeeded;
  if (!bitmap) {
    frame->m_failedGeneration = generation;
    frame->m_error = error;
    return RvDecodeResult::Failed;
  }
  if (frame->IsLoaded()) return RvDecodeResult::NotNeeded;
  const std::uint32_t index = frame->GetIndex();
  const std::uint32_t rank = force ? 0 : (index < m_rank.size() ? m_rank[index] : kRvNone);
  if (rank == kRvNone) return RvDecodeResult::NotNeeded;
  const double size = SizeOf(*bitmap);
  if (!MakeRoomFor(size, rank, force)) return RvDecodeResult::BudgetFull;
  if (size > m_largestFrameSize.load()) m_largestFrameSize = size;
  m_lastSourceWidth = std::uint32_t(width);
  m_lastSourceHeight = std::uint32_t(height);
  frame->m_bitmap = std::move(bitmap);
  frame->m_cacheEntry = m_cacheOrder.insert(m_cacheOrder.end(), frame);
  frame->m_inCache = true;
  m_cachedCount = std::uint32_t(m_cacheOrder.size());
  if (m_loaded && index < m_frameCount.load()) m_loaded[index].store(1);
  return RvDecodeResult::Decoded;
}

RvDecodeResult CRvPlayList::DecodeAhead(std::uint32_t index, std::uint64_t generation,
                                        const CRvCrop* crop, const CRvResample* resample) {
  CRvFrame* frame = nullptr;
  std::string path;
  {
    Lock lock = TakeLock();
    if (!lock.owns_lock() || generation != m_generation.load() || index >= m_byIndex.size() ||
        !m_decoder)
      return RvDecodeResult::NotNeeded;
    frame = m_byIndex[index];
    if (frame->IsLoaded() || frame->m_inFlight || frame->m_failedGeneration == generation ||
        m_rank[index] == kRvNone)
      return RvDecodeResult::NotNeeded;
    // Without room the decode would only be thrown away: stop before spending it.
    if (m_largestFrameSize.load() > 0.0 && !m_cacheOrder.empty()) {
      const double largest = m_largestFrameSize.load();
      bool fits = double(m_cacheOrder.size() + 1) * largest <= BudgetMegabytes();
      if (!fits) {
        for (CRvFrame* cached : m_cacheOrder) {
          const std::uint32_t r = m_rank[cached->GetIndex()];
          if (cached != m_pinned && (r == kRvNone || r > m_rank[index])) {
            fits = true;
            break;
          }
        }
      }
      if (!fits) return RvDecodeResult::BudgetFull;
    }
    frame->m_inFlight = true;
    path = frame->GetPath();
  }
  int width = 0, height = 0;
  std::string error;
  auto bitmap = CRvFrame::Decode(path, m_decoder, crop, resample, &width, &height, &error);
  Lock lock(m_lock);  // must clear the in-flight mark whatever the wait
  return PublishLocked(frame, generation, std::move(bitmap), width, height, error, false);
}

bool CRvPlayList::FetchCurrentFrame(const CRvCrop* crop, const CRvResample* resample,
                                    CRvFrame** frame, bool* fromDisk, bool* cacheChanged,
                                    bool doNotLoad, std::string* error) {
  Lock lock = TakeLock();
  if (!lock.owns_lock()) return false;
  *fromDisk = false;
  *cacheChanged = false;
  if (!m_current.seq) return false;

  CRvFrame* current = m_current.frame->get();
  *frame = current;
  m_pinned = current;
  m_currentNumber = current->GetNumber();
  m_currentIndex = current->GetIndex();

  while (m_cacheOrder.size() > 1 && IsOverBudget() && EvictOneFor(0)) *cacheChanged = true;

  const auto hit = [&] {
    // Relink the entry at the most-recently-used end; no allocation, no search.
    m_cacheOrder.splice(m_cacheOrder.end(), m_cacheOrder, current->m_cacheEntry);
    return true;
  };
  if (current->IsLoaded() && current->m_inCache) return hit();

  *fromDisk = true;
  if (doNotLoad) return false;
  if (!m_decoder) return false;
  const std::uint64_t generation = m_generation.load();
  // A read-ahead decode of this frame is running: wait for it rather than decode twice.
  while (current->m_inFlight && generation == m_generation.load())
    m_published.wait_for(lock, kWaitSlice);
  if (current->IsLoaded() && current->m_inCache) {
    *cacheChanged = true;
    return hit();
  }
  if (generation != m_generation.load()) return false;
  if (current->m_failedGeneration == generation) {
    if (error) *error = current->m_error;
    return false;
  }
  current->m_inFlight = true;
  const std::string path = current->GetPath();
  lock.unlock();
  int width = 0, height = 0;
  std::string reason;
  auto bitmap = CRvFrame::Decode(path, m_decoder, crop, resample, &width, &height, &reason);
  lock.lock();
  *cacheChanged = true;
  const RvDecodeResult result =
      PublishLocked(current, generation, std::move(bitmap), width, height, reason, true);
  if (result == RvDecodeResult::Failed && error) *error = reason;
  return result == RvDecodeResult::Decoded;
}

void CRvPlayList::UnloadAll() {
  Lock lock(m_lock);  // callers hold the worker; the lock only guards against mistakes
  m_generation.fetch_add(1);
  m_largestFrameSize = 0.0;
  m_pinned = nullptr;
  const std::uint32_t count = m_frameCount.load();
  if (m_loaded)
    for (std::uint32_t i = 0; i < count; ++i) m_loaded[i].store(0);
  for (const auto& sequence : m_sequences)
    for (const auto& frame : sequence->GetFrames()) {
      frame->Unload();
      frame->m_inCache = false;
      frame->m_failedGeneration = 0;
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
      frame->m_failedGeneration = 0;  // a file put right is read again
      if (frame->CheckChanged(criterion)) {
        if (m_loaded && index < count) m_loaded[index].store(0);
        RemoveFromCache(frame.get());
      }
      ++index;
    }
  }
}
