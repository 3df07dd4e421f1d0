#include "sequence/ReadAhead.h"

#include <sys/resource.h>
#include <unistd.h>

#include <sys/syscall.h>
#include <algorithm>

#include "sequence/PlayList.h"

namespace {
constexpr int kDecodeNice = 19;  // far below the playback worker, which keeps the default
}

std::vector<std::uint32_t> RvReadAheadOrder(const RvReadAheadSpec& s) {
  std::vector<std::uint32_t> order;
  if (s.count == 0 || s.current >= s.count || s.limit == 0) return order;
  const std::int64_t in = std::min(s.in, s.count - 1);
  const std::int64_t out = s.out == kRvNone ? s.count - 1 : std::min(s.out, s.count - 1);
  const std::int64_t step = std::max<std::uint32_t>(1, s.step);
  std::vector<bool> listed(s.count, false);
  std::int64_t pos = s.current;
  bool forward = s.forward;
  order.push_back(std::uint32_t(pos));
  listed[std::size_t(pos)] = true;
  // Walk the playhead as the engine moves it; frames met again (after a wrap or a turn) are
  // listed once. Two full passes reach everything a loop or a ping-pong can reach.
  bool turned = false;
  for (std::int64_t moves = 0; moves < 2 * std::int64_t(s.count) + 2 && order.size() < s.limit;
       ++moves) {
    const std::int64_t next = forward ? pos + step : pos - step;
    if (next >= in && next <= out) {
      pos = next;
      turned = false;
    } else {
      if (turned || s.mode == RvPlayMode::Once)
        break;  // once ends; a range too short to move in ends too
      turned = true;
      if (s.mode == RvPlayMode::PingPong) {
        forward = !forward;
        continue;
      }
      pos = forward ? in : out;  // loop: back to the in (out) point
    }
    if (listed[std::size_t(pos)]) continue;
    listed[std::size_t(pos)] = true;
    order.push_back(std::uint32_t(pos));
  }
  return order;
}

CRvDecodePool::CRvDecodePool(unsigned threads) {
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  for (unsigned i = 0; i < threads; ++i) m_threads.emplace_back([this] { WorkerLoop(); });
}

CRvDecodePool::~CRvDecodePool() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
    m_queue.clear();
  }
  m_work.notify_all();
  for (std::thread& t : m_threads) t.join();
}

void CRvDecodePool::Request(CRvPlayList* list, std::vector<std::uint32_t> order,
                            const CRvCrop* crop, const CRvResample* resample) {
  {
    std::lock_guard lock(m_mutex);
    m_list = list;
    m_crop.reset();
    m_resample.reset();
    if (crop) m_crop = *crop;
    if (resample) m_resample = *resample;
    m_generation = list ? list->GetGeneration() : 0;
    m_queue.assign(order.begin(), order.end());
    if (!list) m_queue.clear();
  }
  m_work.notify_all();
}

void CRvDecodePool::CancelAndWait() {
  std::unique_lock lock(m_mutex);
  m_queue.clear();
  if (m_list) m_list->CancelReadAhead();  // work in flight is dropped when it publishes
  m_idle.wait(lock, [this] { return m_running == 0; });
  m_list = nullptr;
}

std::uint64_t CRvDecodePool::DecodedCount() const {
  std::lock_guard lock(m_mutex);
  return m_decoded;
}

void CRvDecodePool::WorkerLoop() {
  setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), kDecodeNice);
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_work.wait(lock, [this] { return m_stop || !m_queue.empty(); });
    if (m_stop) return;
    const std::uint32_t index = m_queue.front();
    m_queue.pop_front();
    CRvPlayList* list = m_list;
    // Copies of this job's own: a later Request replaces the pool's.
    const std::optional<CRvCrop> crop = m_crop;
    const std::optional<CRvResample> resample = m_resample;
    const std::uint64_t generation = m_generation;
    ++m_running;
    lock.unlock();
    const RvDecodeResult result = list->DecodeAhead(index, generation, crop ? &*crop : nullptr,
                                                    resample ? &*resample : nullptr);
    lock.lock();
    --m_running;
    if (result == RvDecodeResult::Decoded) ++m_decoded;
    // A full budget ends this read-ahead: what is queued would only push out sooner frames.
    if (result == RvDecodeResult::BudgetFull && generation == m_generation) m_queue.clear();
    if (m_running == 0) m_idle.notify_all();
  }
}
