// Read-ahead with the real engine and the real clock: 2048 x 1556 render-like frames written by
// `rvtool demo --content render`, read from disk (page cache warm, frame cache empty) and
// requested at 60 fps. Each run reports the first-pass rate with the worker decoding every frame
// itself (the old synchronous engine, threads -1), with one decode thread (1) and with one per
// hardware thread (0), all in the same run; the 99th percentile of the frame-interval error at
// 24 fps while the pool works; and the resident memory while looping a sequence larger than the
// budget.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/DrawThread.h"
#include "engine/StatusLine.h"
#include "engine/ViewSurface.h"
#include "imaging/FrameDecoder.h"
#include "sequence/Frame.h"
#include "sequence/PlayList.h"
#include "sequence/SequenceList.h"

namespace {

double WallSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double ResidentMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0.0;
}

class TimingObserver : public CKaPlaybackObserver {
 public:
  void OnInOutChanged(const CRvInOutRecord*) override {}
  void OnPositionChanged(std::uint32_t index) override {
    std::lock_guard guard(m_lock);
    times.push_back(WallSeconds());
    last = index;
  }
  std::mutex m_lock;
  std::vector<double> times;
  std::uint32_t last = 0;
};

// Frames written once per machine into the temp folder; every file read once so the page
// cache is warm.
std::string Frames(const char* format, int count) {
  const auto dir = std::filesystem::temp_directory_path() / (std::string("rv-readahead-") + format);
  char last[32];
  std::snprintf(last, sizeof last, "demo.%04d.%s", count, format);
  if (!std::filesystem::exists(dir / last)) {
    const std::string command = std::string(RV_BIN_DIR) + "/rvtool demo " + dir.string() +
                                " --content render --size 2048x1556 --frames " +
                                std::to_string(count) + " --format " + format + " > /dev/null";
    if (std::system(command.c_str()) != 0) return {};
  }
  std::vector<char> buffer(1 << 20);
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    while (in.read(buffer.data(), std::streamsize(buffer.size()))) {
    }
  }
  return (dir / "demo.0001.").string() + format;
}

struct Run {
  Run(const std::string& first, int threads, std::uint64_t budgetBytes = 0) {
    list = RvLookupSequence(first) ? std::make_unique<CRvPlayList>() : nullptr;
    if (!list) return;
    list->AddSequence(RvLookupSequence(first));
    list->SetFrameDecoder(&decoder);
    list->NumberFrames();
    if (budgetBytes) {
      list->SetRAMPercent(100);
      list->SetPhysicalMemory(budgetBytes);
    }
    KaDrawThreadOptions options;
    options.frameDecoder = &decoder;
    options.decodeThreads = threads;
    engine = std::make_unique<CKaDrawThread>(nullptr, &surface, &status, &observer, options);
    engine->GetMoBlurBuffer()->SetMode(0);
    engine->SetDisplayRect(0, 0, 1024, 778);
    engine->SetZoom(0.5, false);
    CKaHoldGuard hold(engine.get());
    engine->SetPlayList(list.get());
  }
  CFrameDecoder decoder;
  std::unique_ptr<CRvPlayList> list;
  CKaBackBufferSurface surface;
  CKaStatusLine status;
  TimingObserver observer;
  std::unique_ptr<CKaDrawThread> engine;  // last: stopped first
};

// Plays the first pass at `fps` and returns the frame times.
std::vector<double> FirstPass(Run& run, std::uint32_t fps) {
  const std::uint32_t count = run.list->GetFrameCount();
  run.engine->SetPlayMode(RvPlayMode::Once);
  run.engine->SetFps(fps);
  run.engine->Play(false);
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::lock_guard guard(run.observer.m_lock);
    if (run.observer.last + 1 >= count || !run.engine->IsPlaying()) break;
  }
  run.engine->Pause(false);
  std::lock_guard guard(run.observer.m_lock);
  return run.observer.times;
}

double Rate(const std::vector<double>& times) {
  return times.size() > 1 ? double(times.size() - 1) / (times.back() - times.front()) : 0.0;
}

double P99IntervalErrorMs(const std::vector<double>& times, double fps) {
  std::vector<double> errors;
  for (std::size_t i = 1; i < times.size(); ++i)
    errors.push_back(std::fabs((times[i] - times[i - 1]) - 1.0 / fps));
  if (errors.empty()) return 0.0;
  std::sort(errors.begin(), errors.end());
  return 1000.0 * errors[std::min(errors.size() - 1, std::size_t(errors.size() * 0.99))];
}

// Arguments: format (0 JPEG, 1 PNG), decode threads (-1 synchronous, 0 automatic, n).
void BM_FirstPass60(benchmark::State& state) {
  const bool png = state.range(0) == 1;
  const std::string first = Frames(png ? "png" : "jpg", png ? 24 : 48);
  for (auto _ : state) {
    Run run(first, int(state.range(1)));
    if (!run.list) {
      state.SkipWithError("no frames");
      return;
    }
    const auto times = FirstPass(run, 60);
    state.counters["fps"] = Rate(times);
    state.counters["decode_threads"] = run.engine->GetDecodeThreadCount();
    state.SetIterationTime(times.size() > 1 ? times.back() - times.front() : 0.0);
  }
}
BENCHMARK(BM_FirstPass60)
    ->ArgsProduct({{0, 1}, {-1, 1, 0}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// PNG at 24 fps with the first 8 frames in RAM: the worker shows cached frames while the pool
// decodes the ones after them (2 decode threads keep ahead of 24 fps here).
void BM_IntervalErrorWhilePoolWorks(benchmark::State& state) {
  const std::string first = Frames("png", 24);
  for (auto _ : state) {
    Run run(first, 0);
    {
      CKaHoldGuard hold(run.engine.get());
      for (std::uint32_t i = 0; i < 8; ++i) {
        run.list->SetPositionByIndex(i);
        CRvFrame* frame = nullptr;
        bool fromDisk = false, changed = false;
        run.list->FetchCurrentFrame(nullptr, nullptr, &frame, &fromDisk, &changed, false);
      }
      run.list->GoToFirst();
    }
    {
      std::lock_guard guard(run.observer.m_lock);
      run.observer.times.clear();
    }
    auto times = FirstPass(run, 24);
    // The first two pictures come as playback starts (the first at once, the second catching up
    // on the schedule); the intervals after them are the steady state.
    times.erase(times.begin(),
                times.begin() + std::min<std::ptrdiff_t>(2, std::ptrdiff_t(times.size())));
    state.counters["fps"] = Rate(times);
    state.counters["p99_interval_error_ms"] = P99IntervalErrorMs(times, 24);
    int late = 0;
    for (std::size_t i = 1; i < times.size(); ++i) {
      const double ms = 1000.0 * (times[i] - times[i - 1]);
      if (std::getenv("RV_BENCH_VERBOSE")) std::fprintf(stderr, "%.1f ", ms);
      late += std::fabs(ms - 1000.0 / 24) > 2.0;
    }
    state.counters["intervals_off_by_2ms"] = late;
    state.SetIterationTime(times.size() > 1 ? times.back() - times.front() : 0.0);
  }
}
BENCHMARK(BM_IntervalErrorWhilePoolWorks)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Loops 24 PNG frames (12.2 MB each decoded) with a budget of about 8 of them; resident memory
// is sampled every second after the first 20 s.
void BM_ResidentWhileLooping(benchmark::State& state) {
  const std::string first = Frames("png", 24);
  const std::uint64_t budget = std::uint64_t(100) << 20;
  for (auto _ : state) {
    const double before = ResidentMegabytes();
    Run run(first, 0, budget);
    run.engine->SetPlayMode(RvPlayMode::Loop);
    run.engine->SetFps(24);
    run.engine->Play(false);
    std::this_thread::sleep_for(std::chrono::seconds(20));
    double peak = 0.0;
    for (int s = 0; s < int(state.range(0)); ++s) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
      peak = std::max(peak, ResidentMegabytes() - before);
    }
    run.engine->Pause(false);
    state.counters["budget_mb"] = double(budget >> 20);
    state.counters["resident_growth_mb"] = peak;
    state.counters["over_budget_mb"] = peak - double(budget >> 20);
    state.SetIterationTime(double(state.range(0)));
  }
}
BENCHMARK(BM_ResidentWhileLooping)
    ->Arg(20)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
