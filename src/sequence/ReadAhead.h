// Read-ahead: the order in which the playhead will need frames, and a pool of decode threads
// that fills the play list's frame cache in that order within its memory budget.
//
// Threads: Request and CancelAndWait are called by the playback engine (its worker or the
// user-interface thread while the engine is held); the pool's own threads decode. Decoding
// happens outside the play list's lock; results are published under it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"
#include "sequence/FrameName.h"
#include "sequence/PlayMode.h"

class CRvPlayList;

// What decides the frames the playhead reaches next.
struct RvReadAheadSpec {
  std::uint32_t count = 0;      // frames in the play list
  std::uint32_t current = 0;    // position index
  std::uint32_t in = 0;         // in point index
  std::uint32_t out = kRvNone;  // out point index; none means the last frame
  bool forward = true;
  RvPlayMode mode = RvPlayMode::Loop;
  std::uint32_t step = 1;
  std::uint32_t limit = 0;  // at most this many indices
};

// The indices in the order the playhead shows them, starting with the current one, each once,
// following the step, the in/out range and the end rule of the play mode.
std::vector<std::uint32_t> RvReadAheadOrder(const RvReadAheadSpec& spec);

class CRvDecodePool {
 public:
  // threads 0: one per hardware thread. Decode threads run at a lower scheduling priority than
  // the playback worker, so a cached frame is never late because of a decode.
  explicit CRvDecodePool(unsigned threads);
  // Stops and joins the threads (work in flight is finished first).
  ~CRvDecodePool();
  CRvDecodePool(const CRvDecodePool&) = delete;
  CRvDecodePool& operator=(const CRvDecodePool&) = delete;

  // Replaces the queued work with these indices of list, decoded with copies of crop and
  // resample (either may be null), so the originals may change while the pool works. The list
  // is not owned; it must stay valid until CancelAndWait returns or a later Request names
  // another.
  void Request(CRvPlayList* list, std::vector<std::uint32_t> order, const CRvCrop* crop,
               const CRvResample* resample);
  // Drops the queue and waits until no decode is running. Call before the play list, the crop
  // or the resample given to Request changes or goes.
  void CancelAndWait();
  unsigned ThreadCount() const { return unsigned(m_threads.size()); }
  // Decodes finished by the pool since it started (for tests and benchmarks).
  std::uint64_t DecodedCount() const;

 private:
  void WorkerLoop();

  mutable std::mutex m_mutex;
  std::condition_variable m_work;
  std::condition_variable m_idle;
  std::deque<std::uint32_t> m_queue;
  CRvPlayList* m_list = nullptr;
  std::optional<CRvCrop> m_crop;
  std::optional<CRvResample> m_resample;
  std::uint64_t m_generation = 0;  // the list's generation the queue was made for
  unsigned m_running = 0;
  std::uint64_t m_decoded = 0;
  bool m_stop = false;
  std::vector<std::thread> m_threads;  // last: started after every member exists
};
