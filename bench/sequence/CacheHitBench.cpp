// Cost of a cache hit: FetchCurrentFrame on frames already in RAM, visited in loop order, in
// play lists of 100 and of 10,000 cached 1x1 frames. A hit relinks one cache entry, so the
// cost must not grow with the number of cached frames; it must not allocate either (counted
// below through the global allocator).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "imaging/FrameDecoder.h"
#include "sequence/PlayList.h"

namespace {

std::atomic<std::uint64_t> g_allocations{0};

}  // namespace

// The replacement pair below allocates with malloc and frees with free; GCC cannot see that
// they belong together.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Every frame decodes to one pixel without touching the disk.
class CPixelDecoder : public CFrameDecoder {
 public:
  void DecodeFile(const std::string&, CImageBitmap* bitmap, int = 0) override {
    bitmap->Create(1, 1, 32, false);
  }
};

void BM_CacheHitLoop(benchmark::State& state) {
  const auto count = std::uint32_t(state.range(0));
  CPixelDecoder decoder;
  CRvPlayList list;
  auto sequence = std::make_unique<CRvSequence>("shot_#.tif", "/bench/");
  for (std::uint32_t n = 0; n < count; ++n) {
    char path[64];
    std::snprintf(path, sizeof path, "/bench/shot_%06u.tif", n);
    auto frame = std::make_unique<CRvFrame>(path, 0, 0, 0);
    sequence->AddFrame(frame);
  }
  list.AddSequence(std::move(sequence));
  list.NumberFrames();
  list.SetFrameDecoder(&decoder);
  list.SetRAMPercent(100);
  list.SetPhysicalMemory(std::uint64_t(1) << 30);

  CRvFrame* frame = nullptr;
  bool fromDisk = false;
  bool changed = false;
  // Fill the cache once.
  do {
    list.FetchCurrentFrame(nullptr, nullptr, &frame, &fromDisk, &changed, false);
  } while (list.Next(false));
  if (list.GetCachedCount() != count) state.SkipWithError("cache not filled");
  list.GoToFirst();

  const std::uint64_t allocationsBefore = g_allocations.load();
  std::uint64_t misses = 0;
  for (auto _ : state) {
    if (!list.Next(false)) list.GoToFirst();
    list.FetchCurrentFrame(nullptr, nullptr, &frame, &fromDisk, &changed, false);
    misses += fromDisk ? 1 : 0;
    benchmark::DoNotOptimize(frame);
  }
  state.counters["allocs_per_fetch"] =
      double(g_allocations.load() - allocationsBefore) / double(state.iterations());
  state.counters["misses"] = double(misses);
}
BENCHMARK(BM_CacheHitLoop)->Arg(100)->Arg(10000)->Arg(100000);

}  // namespace

BENCHMARK_MAIN();
